#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <map>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "match/Candidates.h"
#include "match/DestIndex.h"
#include "match/OnDrive.h"

namespace halvetrop {
namespace {

const PhysicalDriveID kDrive{"dev:/devices/a"};
constexpr std::int64_t kSize = 5000;

SampleFP wholeFile(std::uint64_t hash, bool fromDevice = true) {
  SampleFP f;
  f.head = f.mid = f.tail = hash;
  f.wholeFile = true;
  f.strong = true;
  f.cacheEvicted = fromDevice;
  return f;
}

// A probe that answers from tables and records every request.
class FakeProbe : public ContentProbe {
 public:
  enum class Failure { none, contentRead13, posix13, otherCategory, notPosix };

  std::map<std::uint32_t, SampleFP> fingerprints;
  std::map<std::uint32_t, Failure> sampleFailures;
  std::map<std::uint32_t, Failure> validatorFailures;
  std::map<std::uint32_t, Validator> validators;
  std::vector<std::uint32_t> sampled;
  std::vector<std::uint32_t> validated;
  std::vector<std::optional<std::uint64_t>> heads;

  SampleFP sampleFP(std::uint32_t row, std::optional<std::uint64_t> sourceHead) override {
    sampled.push_back(row);
    heads.push_back(sourceHead);
    fail(sampleFailures, row);
    return fingerprints.at(row);
  }

  Validator currentValidator(std::uint32_t row) override {
    validated.push_back(row);
    fail(validatorFailures, row);
    return validators.at(row);
  }

 private:
  static void fail(const std::map<std::uint32_t, Failure>& table, std::uint32_t row) {
    const auto it = table.find(row);
    if (it == table.end()) return;
    switch (it->second) {
      case Failure::none:
        return;
      case Failure::contentRead13:
        throw ContentReadError(EACCES, "Permission denied");
      case Failure::posix13:
        throw std::system_error(EACCES, std::generic_category());
      case Failure::otherCategory:
        throw std::system_error(std::make_error_code(std::future_errc::broken_promise));
      case Failure::notPosix:
        throw std::runtime_error("no error number");
    }
  }
};

// One backup root with a drive (rows "same.jpg" of several kinds) and one root without.
struct Fixture {
  DestIndex index;
  std::uint32_t dirA = 0, dirNoDrive = 0;
  std::uint32_t differs = 0, copy = 0, later = 0, placeholder = 0, renamed = 0, noDrive = 0,
                shorter = 0;
  SourceFile source;
  FakeProbe probe;

  std::uint32_t add(std::string_view name, std::uint32_t dir, std::int64_t size,
                    EntryFlags flags = EntryFlags{}, std::uint64_t fileID = 100) {
    const std::uint32_t row =
        index.appendFile(name, dir, size, 1'700'000'000'000'000'000 + fileID, 0, 0, fileID, flags, 1);
    probe.validators[row] = Validator{size, 1'700'000'000'000'000'000 + static_cast<std::int64_t>(fileID), 0, fileID};
    return row;
  }

  Fixture() {
    const std::uint32_t root = index.appendDir("backup", std::nullopt, RootID{0}, 0, 1);
    dirA = index.appendDir("A", root, RootID{0}, 0, 2);
    const std::uint32_t root2 = index.appendDir("nodrive", std::nullopt, RootID{1}, 0, 3);
    dirNoDrive = index.appendDir("N", root2, RootID{1}, 0, 4);
    differs = add("same.jpg", dirA, kSize, {}, 101);
    copy = add("same.jpg", dirA, kSize, {}, 102);
    later = add("same.jpg", dirA, kSize, {}, 103);
    placeholder = add("same.jpg", dirA, kSize, EntryFlags::dataless, 104);
    renamed = add("other.jpg", dirA, kSize, {}, 105);
    noDrive = add("same.jpg", dirNoDrive, kSize, {}, 106);
    shorter = add("same.jpg", dirA, kSize - 1, {}, 107);
    index.rootDrive[RootID{0}] = kDrive;
    index.buildMaps();

    source.name = "same.jpg";
    source.nameKey = index.nameKey()[copy];
    source.size = kSize;
    source.sfp = wholeFile(42);
    for (std::uint32_t row : {copy, later, placeholder, renamed, noDrive, shorter})
      probe.fingerprints[row] = wholeFile(42);
    probe.fingerprints[differs] = wholeFile(7);
  }

  std::vector<Location> resolve(std::vector<std::uint32_t> rows) {
    return resolveOnDrive(source, rows, index, probe);
  }
};

TEST(ResolveOnDrive, StopsAtTheFirstIdenticalCopy) {
  Fixture f;
  const std::vector<Location> got = f.resolve({f.differs, f.copy, f.later});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].row, f.differs);
  EXPECT_EQ(got[0].verdict, PairVerdict::different(DifferenceReason::contentDiffers()));
  EXPECT_EQ(got[1].row, f.copy);
  EXPECT_EQ(got[1].verdict, PairVerdict::identical(EvidenceLevel::verified));
  EXPECT_EQ(got[1].drive, kDrive);
  EXPECT_EQ(got[1].dirID, f.dirA);
  EXPECT_TRUE(got[1].sameName);
  EXPECT_EQ(got[1].cls, LocationClass::primary);
  EXPECT_EQ(f.probe.sampled, (std::vector<std::uint32_t>{f.differs, f.copy}));
  EXPECT_EQ(f.probe.validated, (std::vector<std::uint32_t>{f.differs, f.copy}));
  EXPECT_EQ(f.probe.heads, (std::vector<std::optional<std::uint64_t>>{42, 42}));
}

TEST(ResolveOnDrive, EvidenceLevelFollowsTheFingerprints) {
  Fixture f;
  f.source.sfp = wholeFile(42, false);
  const std::vector<Location> got = f.resolve({f.copy});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].verdict, PairVerdict::identical(EvidenceLevel::sampled));
}

TEST(ResolveOnDrive, PlaceholderIsNeverRead) {
  Fixture f;
  const std::vector<Location> got = f.resolve({f.placeholder, f.copy});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].verdict, PairVerdict::placeholder());
  EXPECT_EQ(f.probe.sampled, (std::vector<std::uint32_t>{f.copy}));
  EXPECT_EQ(f.probe.validated, (std::vector<std::uint32_t>{f.copy}));
}

TEST(ResolveOnDrive, ProbeFailuresBecomeUnreadableCopies) {
  using Failure = FakeProbe::Failure;
  struct Case {
    const char* name;
    Failure onSample;
    Failure onValidator;
    std::int32_t expectedErrno;
  };
  const std::vector<Case> cases{
      {"content read error keeps its number", Failure::contentRead13, Failure::none, EACCES},
      {"POSIX error keeps its code", Failure::posix13, Failure::none, EACCES},
      {"error of another category is EIO", Failure::otherCategory, Failure::none, EIO},
      {"error without a number is EIO", Failure::notPosix, Failure::none, EIO},
      {"validator failure keeps its number", Failure::none, Failure::posix13, EACCES},
      {"validator failure without a number", Failure::none, Failure::notPosix, EIO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.probe.sampleFailures[f.copy] = c.onSample;
    f.probe.validatorFailures[f.copy] = c.onValidator;
    const std::vector<Location> got = f.resolve({f.copy, f.later});
    // The failed row is no copy, so the next row is still tried.
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].verdict, PairVerdict::unreadableCopy(c.expectedErrno));
    EXPECT_EQ(got[1].verdict, PairVerdict::identical(EvidenceLevel::verified));
    // A failed fingerprint read is not followed by a validator request for that row.
    const bool sampleFailed = c.onSample != Failure::none;
    EXPECT_EQ(f.probe.validated.size(), sampleFailed ? 1u : 2u);
  }
}

TEST(ResolveOnDrive, ChangedValidatorFieldByField) {
  struct Case {
    const char* name;
    void (*change)(Validator&);
  };
  const std::vector<Case> cases{
      {"size", [](Validator& v) { v.size += 1; }},
      {"modification time", [](Validator& v) { v.mtimeNs += 1; }},
      {"status-change time", [](Validator& v) { v.ctimeNs = 123; }},
      {"file number", [](Validator& v) { v.fileID += 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.change(f.probe.validators[f.copy]);
    const std::vector<Location> got = f.resolve({f.copy});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].verdict, PairVerdict::changed());
  }
}

TEST(ResolveOnDrive, RowFacts) {
  Fixture f;
  const std::vector<Location> noDrive = f.resolve({f.noDrive});
  ASSERT_EQ(noDrive.size(), 1u);
  EXPECT_EQ(noDrive[0].drive.raw, "?");
  EXPECT_EQ(noDrive[0].dirID, f.dirNoDrive);

  const std::vector<Location> renamed = f.resolve({f.renamed});
  ASSERT_EQ(renamed.size(), 1u);
  EXPECT_FALSE(renamed[0].sameName);
  EXPECT_EQ(renamed[0].verdict, PairVerdict::identical(EvidenceLevel::verified));

  const std::vector<Location> shorter = f.resolve({f.shorter});
  ASSERT_EQ(shorter.size(), 1u);
  EXPECT_EQ(shorter[0].verdict, PairVerdict::different(DifferenceReason::sizeDiffers()));
}

TEST(ResolveOnDrive, SourceWithoutFingerprint) {
  Fixture f;
  f.source.sfp.reset();
  f.source.capture = CaptureIdentity{"2024:05:01 10:00:00", std::nullopt, std::nullopt, std::nullopt};
  const std::vector<Location> got = f.resolve({f.copy, f.later});
  // Without the card's fingerprint nothing proves a copy: every row is tried.
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].verdict, PairVerdict::plausible());
  EXPECT_EQ(f.probe.heads, (std::vector<std::optional<std::uint64_t>>{std::nullopt, std::nullopt}));
}

TEST(ResolveOnDrive, EmptyAndForeignRows) {
  Fixture f;
  EXPECT_TRUE(f.resolve({}).empty());
  EXPECT_TRUE(f.probe.sampled.empty());
  const std::vector<Location> got = f.resolve({static_cast<std::uint32_t>(f.index.count()), f.copy});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].row, f.copy);
}

}  // namespace
}  // namespace halvetrop
