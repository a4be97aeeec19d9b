#include "match/OnDrive.h"

#include <cerrno>
#include <system_error>

#include "match/Candidates.h"

namespace halvetrop {

namespace {

// The error number a failed probe call stands for: the code of a POSIX error, EIO for anything
// else (an error without a usable code included).
std::int32_t probeErrorNumber(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const ContentReadError& e) {
    return e.code() > 0 ? e.code() : EIO;
  } catch (const std::system_error& e) {
    const std::error_code& code = e.code();
    const bool posix =
        code.category() == std::generic_category() || code.category() == std::system_category();
    if (posix && code.value() > 0) return code.value();
    return EIO;
  } catch (...) {
    return EIO;
  }
}

}  // namespace

std::vector<Location> resolveOnDrive(const SourceFile& source, std::span<const std::uint32_t> rows,
                                     const DestIndex& ix, ContentProbe& probe) {
  std::vector<Location> locations;
  if (rows.empty()) return locations;
  const std::optional<std::uint64_t> sourceHead =
      source.sfp ? std::optional<std::uint64_t>(source.sfp->head) : std::nullopt;

  for (const std::uint32_t row : rows) {
    if (row >= ix.count()) continue;
    PairFacts facts(source.size, ix.size()[row]);
    facts.destDataless = ix.flags()[row].contains(EntryFlags::dataless);
    facts.srcSFP = source.sfp;
    facts.srcCapture = source.capture;

    // A cloud placeholder is never read: asking for its content would download it.
    if (!facts.destDataless) {
      const Validator recorded = ix.validator(row);
      try {
        facts.dstSFP = probe.sampleFP(row, sourceHead);
      } catch (...) {
        facts.readError = probeErrorNumber(std::current_exception());
      }
      if (!facts.readError) {
        try {
          facts.validatorChanged = !(probe.currentValidator(row) == recorded);
        } catch (...) {
          facts.readError = probeErrorNumber(std::current_exception());
        }
      }
    }

    Location location;
    location.row = row;
    location.drive = ix.drive(row).value_or(PhysicalDriveID{"?"});
    location.dirID = ix.dir()[row];
    location.verdict = decide(facts);
    location.sameName = ix.nameKey()[row] == source.nameKey;
    location.cls = LocationClass::primary;
    const bool identical = location.verdict.isIdentical();
    locations.push_back(std::move(location));
    if (identical) break;
  }
  return locations;
}

}  // namespace halvetrop
