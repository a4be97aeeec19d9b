#pragma once
// Judging a card file's candidate rows one at a time through a reader the caller supplies, until
// one proves to be an identical copy. Does no file input or output of its own.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "match/ContentReader.h"
#include "match/DestIndex.h"
#include "match/Status.h"

namespace halvetrop {

struct SourceFile;

// The reader of backup files. Either operation may fail by throwing: a ContentReadError, or a
// std::system_error of the generic or system category, counts with its error number; any other
// exception (a cancellation included) counts as EIO. A probe that serves several resolutions at once must allow concurrent
// calls; one resolution never calls it twice at once.
class ContentProbe {
 public:
  virtual ~ContentProbe() = default;
  // The backup file's sampled fingerprint. `sourceHead` is the head hash of the card file's
  // fingerprint, absent when the card file has none; a probe may use it to stop early.
  virtual SampleFP sampleFP(std::uint32_t row, std::optional<std::uint64_t> sourceHead) = 0;
  // The backup file's validator now, from the same kind of source (and units) as the index holds.
  virtual Validator currentValidator(std::uint32_t row) = 0;
};

// One Location per row tried, in order; stops after the first identical copy. Never throws for a
// probe failure: it becomes the verdict unreadableCopy. A row number the index never handed out
// is not tried.
std::vector<Location> resolveOnDrive(const SourceFile& source, std::span<const std::uint32_t> rows,
                                     const DestIndex& ix, ContentProbe& probe);

}  // namespace halvetrop
