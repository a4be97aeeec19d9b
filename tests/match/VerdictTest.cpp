#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "match/Verdict.h"

namespace halvetrop {
namespace {

SampleFP fp(std::uint64_t head, std::uint64_t mid, std::uint64_t tail, bool wholeFile = false,
            bool strong = true, bool cacheEvicted = false) {
  SampleFP f;
  f.head = head;
  f.mid = mid;
  f.tail = tail;
  f.wholeFile = wholeFile;
  f.strong = strong;
  f.cacheEvicted = cacheEvicted;
  return f;
}

CaptureIdentity shot(std::string wall, std::optional<std::string> model = std::nullopt,
                     std::optional<std::string> serial = std::nullopt,
                     std::optional<std::string> uniqueID = std::nullopt) {
  return CaptureIdentity{std::move(wall), std::move(model), std::move(serial),
                         std::move(uniqueID)};
}

const std::string kWall = "2024:05:01 10:00:00";
const std::string kOtherWall = "2024:05:01 10:00:07";

struct DecideCase {
  const char* name;
  PairFacts facts;
  PairVerdict expected;
};

PairFacts sized(std::int64_t src, std::int64_t dst) { return PairFacts(src, dst); }

template <class F>
PairFacts with(PairFacts facts, F change) {
  change(facts);
  return facts;
}

std::vector<DecideCase> decideCases() {
  const PairFacts eq = sized(1000, 1000);
  const PairFacts shorter = sized(1000, 600);
  const PairFacts longer = sized(1000, 1400);
  auto sameShots = [](PairFacts& f) {
    f.srcCapture = shot(kWall, "X-T5", "123");
    f.dstCapture = shot(kWall, "X-T5", "123");
  };
  auto otherShots = [](PairFacts& f) {
    f.srcCapture = shot(kWall, "X-T5");
    f.dstCapture = shot(kOtherWall, "X-T5");
  };
  auto matchingSFP = [](PairFacts& f) {
    f.srcSFP = fp(1, 2, 3);
    f.dstSFP = fp(1, 2, 3);
  };
  return {
      // Object, placeholder, read error, change: each wins over the ones after it.
      {"sameObject wins over everything", with(eq, [](PairFacts& f) {
         f.sameObject = true;
         f.destDataless = true;
         f.readError = 5;
         f.validatorChanged = true;
       }), PairVerdict::notACopy()},
      {"dataless wins over read error", with(eq, [](PairFacts& f) {
         f.destDataless = true;
         f.readError = 5;
         f.validatorChanged = true;
       }), PairVerdict::placeholder()},
      {"read error wins over change", with(eq, [](PairFacts& f) {
         f.readError = 13;
         f.validatorChanged = true;
       }), PairVerdict::unreadableCopy(13)},
      {"changed wins over matching content", with(eq, [&](PairFacts& f) {
         f.validatorChanged = true;
         f.srcFull = Digest128{1000, 7};
         f.dstFull = Digest128{1000, 7};
         f.fullReadsCacheEvicted = true;
       }), PairVerdict::changed()},
      // Sizes differ.
      {"shorter with matching prefix is incomplete even for another shot",
       with(shorter, [&](PairFacts& f) {
         otherShots(f);
         f.truncatedPrefixMatches = true;
       }), PairVerdict::incomplete(600)},
      {"shorter whose prefix differs goes on to identity: edited", with(shorter, [&](PairFacts& f) {
         sameShots(f);
         f.truncatedPrefixMatches = false;
       }), PairVerdict::edited(false)},
      {"shorter, prefix not compared, no identity", with(shorter, [](PairFacts&) {}),
       PairVerdict::different(DifferenceReason::sizeDiffers())},
      {"longer backup never incomplete", with(longer, [](PairFacts& f) {
         f.truncatedPrefixMatches = true;
       }), PairVerdict::different(DifferenceReason::sizeDiffers())},
      {"longer same shot, essence not compared", with(longer, sameShots), PairVerdict::edited(false)},
      {"longer same shot, essence unequal", with(longer, [&](PairFacts& f) {
         sameShots(f);
         f.essenceEqual = false;
       }), PairVerdict::edited(false)},
      {"longer same shot, essence equal", with(longer, [&](PairFacts& f) {
         sameShots(f);
         f.essenceEqual = true;
       }), PairVerdict::edited(true)},
      {"same shot in another format family", with(longer, [&](PairFacts& f) {
         sameShots(f);
         f.sameFormatFamily = false;
         f.dstFormat = "heic";
         f.essenceEqual = true;
       }), PairVerdict::converted("heic")},
      {"size differs and shots differ: never otherShot", with(longer, otherShots),
       PairVerdict::different(DifferenceReason::sizeDiffers())},
      {"size differs, capture on one side only", with(longer, [](PairFacts& f) {
         f.srcCapture = shot(kWall);
       }), PairVerdict::different(DifferenceReason::sizeDiffers())},
      {"equal unique ids are one shot despite wall clocks", with(longer, [](PairFacts& f) {
         f.srcCapture = shot(kWall, "A", "1", "uid-9");
         f.dstCapture = shot(kOtherWall, "B", "2", "uid-9");
       }), PairVerdict::edited(false)},
      {"different unique ids are different shots", with(longer, [](PairFacts& f) {
         f.srcCapture = shot(kWall, "A", "1", "uid-9");
         f.dstCapture = shot(kWall, "A", "1", "uid-8");
       }), PairVerdict::different(DifferenceReason::sizeDiffers())},
      {"unique id on one side falls back to the wall clock", with(longer, [](PairFacts& f) {
         f.srcCapture = shot(kWall, "A", std::nullopt, "uid-9");
         f.dstCapture = shot(kWall, std::nullopt, "77");
       }), PairVerdict::edited(false)},
      {"models differing makes other shots", with(longer, [](PairFacts& f) {
         f.srcCapture = shot(kWall, "A");
         f.dstCapture = shot(kWall, "B");
       }), PairVerdict::different(DifferenceReason::sizeDiffers())},
      // Full digests on both sides.
      {"equal digests read from the devices", with(eq, [](PairFacts& f) {
         f.srcFull = Digest128{1000, 42};
         f.dstFull = Digest128{1000, 42};
         f.fullReadsCacheEvicted = true;
       }), PairVerdict::identical(EvidenceLevel::verified)},
      {"equal digests through the page cache", with(eq, [](PairFacts& f) {
         f.srcFull = Digest128{1000, 42};
         f.dstFull = Digest128{1000, 42};
       }), PairVerdict::identical(EvidenceLevel::sampled)},
      {"digests beat differing fingerprints", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(9, 9, 9);
         f.srcFull = Digest128{1000, 42};
         f.dstFull = Digest128{1000, 42};
       }), PairVerdict::identical(EvidenceLevel::sampled)},
      {"digests differing in byte count only", with(eq, [](PairFacts& f) {
         f.srcFull = Digest128{1000, 42};
         f.dstFull = Digest128{999, 42};
       }), PairVerdict::different(DifferenceReason::contentDiffers())},
      {"digests differ, same shots", with(eq, [&](PairFacts& f) {
         sameShots(f);
         f.srcFull = Digest128{1000, 1};
         f.dstFull = Digest128{1000, 2};
       }), PairVerdict::damaged()},
      {"digests differ, shots differ", with(eq, [&](PairFacts& f) {
         otherShots(f);
         f.srcFull = Digest128{1000, 1};
         f.dstFull = Digest128{1000, 2};
       }), PairVerdict::different(DifferenceReason::otherShot(kOtherWall))},
      {"digests differ, no identity, heads agree", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(1, 5, 3);
         f.srcFull = Digest128{1000, 1};
         f.dstFull = Digest128{1000, 2};
       }), PairVerdict::damaged()},
      {"digests differ, no identity, heads differ", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(4, 2, 3);
         f.srcFull = Digest128{1000, 1};
         f.dstFull = Digest128{1000, 2};
       }), PairVerdict::different(DifferenceReason::contentDiffers())},
      {"digests differ, no identity, one fingerprint missing", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3);
         f.srcFull = Digest128{1000, 1};
         f.dstFull = Digest128{1000, 2};
       }), PairVerdict::different(DifferenceReason::contentDiffers())},
      // Fingerprints on both sides, full digests not.
      {"digest on one side only is ignored", with(eq, [&](PairFacts& f) {
         matchingSFP(f);
         f.srcFull = Digest128{1000, 1};
         f.fullReadsCacheEvicted = true;
       }), PairVerdict::identical(EvidenceLevel::sampled)},
      {"whole-file fingerprints read from both devices", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(5, 5, 5, true, true, true);
         f.dstSFP = fp(5, 5, 5, true, true, true);
       }), PairVerdict::identical(EvidenceLevel::verified)},
      {"whole-file, card read through the cache", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(5, 5, 5, true, true, false);
         f.dstSFP = fp(5, 5, 5, true, true, true);
       }), PairVerdict::identical(EvidenceLevel::sampled)},
      {"whole-file, backup read through the cache", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(5, 5, 5, true, true, true);
         f.dstSFP = fp(5, 5, 5, true, true, false);
       }), PairVerdict::identical(EvidenceLevel::sampled)},
      {"three windows from the devices are only sampled", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3, false, true, true);
         f.dstSFP = fp(1, 2, 3, false, true, true);
       }), PairVerdict::identical(EvidenceLevel::sampled)},
      {"fingerprint versions are not compared", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(1, 2, 3);
         f.dstSFP->version = 2;
       }), PairVerdict::identical(EvidenceLevel::sampled)},
      {"weak windows on one side give plausible", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(0, 0, 0, false, false, true);
         f.dstSFP = fp(0, 0, 0, false, true, true);
       }), PairVerdict::plausible()},
      {"middle window differs, no identity, heads agree", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(1, 9, 3);
       }), PairVerdict::damaged()},
      {"head window differs, no identity", with(eq, [](PairFacts& f) {
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(8, 2, 3);
       }), PairVerdict::different(DifferenceReason::contentDiffers())},
      {"tail differs, same shots", with(eq, [&](PairFacts& f) {
         sameShots(f);
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(7, 7, 7);
       }), PairVerdict::damaged()},
      {"windows differ, shots differ", with(eq, [&](PairFacts& f) {
         otherShots(f);
         f.srcSFP = fp(1, 2, 3);
         f.dstSFP = fp(1, 2, 4);
       }), PairVerdict::different(DifferenceReason::otherShot(kOtherWall))},
      // Equal sizes, no pair of content evidence.
      {"no evidence, no captures", eq, PairVerdict::plausible()},
      {"no evidence, fingerprint on one side only", with(eq, [](PairFacts& f) {
         f.dstSFP = fp(1, 2, 3);
       }), PairVerdict::plausible()},
      {"no evidence, same shots", with(eq, sameShots), PairVerdict::plausible()},
      {"no evidence, shots differ", with(eq, otherShots),
       PairVerdict::different(DifferenceReason::otherShot(kOtherWall))},
  };
}

TEST(Decide, FollowsTheRulesInOrder) {
  for (const DecideCase& c : decideCases()) {
    SCOPED_TRACE(c.name);
    const PairVerdict got = decide(c.facts);
    EXPECT_EQ(got, c.expected) << "got " << rawValue(got.kind);
  }
}

TEST(Decide, SymmetricShotIdentityDoesNotDependOnSide) {
  // Swapping which side lacks the model must not change the verdict.
  PairFacts a(1000, 1500);
  a.srcCapture = shot(kWall, "A");
  a.dstCapture = shot(kWall);
  PairFacts b(1000, 1500);
  b.srcCapture = shot(kWall);
  b.dstCapture = shot(kWall, "A");
  EXPECT_EQ(decide(a), PairVerdict::edited(false));
  EXPECT_EQ(decide(b), PairVerdict::edited(false));
}

TEST(EvidenceLevel, RawValuesAndOrder) {
  for (int raw = 0; raw <= 3; ++raw) {
    const auto level = evidenceLevelFromRaw(raw);
    ASSERT_TRUE(level.has_value()) << raw;
    EXPECT_EQ(rawValue(*level), raw);
    EXPECT_EQ(evidenceLevelFromName(caseName(*level)), level);
  }
  EXPECT_FALSE(evidenceLevelFromRaw(4).has_value());
  EXPECT_FALSE(evidenceLevelFromRaw(-1).has_value());
  EXPECT_FALSE(evidenceLevelFromName("Verified").has_value());
  EXPECT_LT(EvidenceLevel::none, EvidenceLevel::plausible);
  EXPECT_LT(EvidenceLevel::plausible, EvidenceLevel::sampled);
  EXPECT_LT(EvidenceLevel::sampled, EvidenceLevel::verified);
  EXPECT_EQ(caseName(EvidenceLevel::sampled), "sampled");
}

TEST(PairVerdict, EvidenceOfEachCase) {
  EXPECT_EQ(PairVerdict::identical(EvidenceLevel::verified).evidence(), EvidenceLevel::verified);
  EXPECT_EQ(PairVerdict::identical(EvidenceLevel::sampled).evidence(), EvidenceLevel::sampled);
  EXPECT_EQ(PairVerdict::plausible().evidence(), EvidenceLevel::plausible);
  for (const PairVerdict& v :
       {PairVerdict::notACopy(), PairVerdict::placeholder(), PairVerdict::unreadableCopy(5),
        PairVerdict::changed(), PairVerdict::incomplete(3), PairVerdict::edited(true),
        PairVerdict::converted("jpg"), PairVerdict::damaged(),
        PairVerdict::different(DifferenceReason::sizeDiffers())})
    EXPECT_EQ(v.evidence(), EvidenceLevel::none) << rawValue(v.kind);
}

TEST(PairVerdict, EqualityIsCaseAndPayloadOnly) {
  EXPECT_NE(PairVerdict::unreadableCopy(5), PairVerdict::unreadableCopy(13));
  EXPECT_NE(PairVerdict::identical(EvidenceLevel::sampled),
            PairVerdict::identical(EvidenceLevel::verified));
  EXPECT_NE(PairVerdict::different(DifferenceReason::otherShot("a")),
            PairVerdict::different(DifferenceReason::otherShot("b")));
  EXPECT_NE(PairVerdict::different(DifferenceReason::sizeDiffers()),
            PairVerdict::different(DifferenceReason::contentDiffers()));
  EXPECT_NE(PairVerdict::damaged(), PairVerdict::changed());

  // A payload field of another case takes no part in equality or hashing.
  PairVerdict stray = PairVerdict::damaged();
  stray.errNo = 9;
  stray.format = "x";
  stray.reason = DifferenceReason::otherShot("t");
  EXPECT_EQ(stray, PairVerdict::damaged());
  EXPECT_EQ(std::hash<PairVerdict>{}(stray), std::hash<PairVerdict>{}(PairVerdict::damaged()));
  DifferenceReason size = DifferenceReason::sizeDiffers();
  size.takenAt = "ignored";
  EXPECT_EQ(size, DifferenceReason::sizeDiffers());
  EXPECT_EQ(std::hash<DifferenceReason>{}(size),
            std::hash<DifferenceReason>{}(DifferenceReason::sizeDiffers()));

  std::unordered_set<PairVerdict> set{PairVerdict::edited(true), PairVerdict::edited(false),
                                      PairVerdict::edited(true)};
  EXPECT_EQ(set.size(), 2u);
}

TEST(PairVerdict, KindNamesRoundTrip) {
  const std::vector<std::string> names{"notACopy", "placeholder", "unreadableCopy", "changed",
                                       "identical", "plausible", "incomplete", "edited",
                                       "converted", "damaged", "different"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto kind = pairVerdictKindFromRaw(names[i]);
    ASSERT_TRUE(kind.has_value()) << names[i];
    EXPECT_EQ(static_cast<std::size_t>(*kind), i);
    EXPECT_EQ(rawValue(*kind), names[i]);
  }
  EXPECT_FALSE(pairVerdictKindFromRaw("Identical").has_value());
  EXPECT_FALSE(pairVerdictKindFromRaw("").has_value());
  for (const char* name : {"sizeDiffers", "contentDiffers", "otherShot"}) {
    const auto kind = differenceReasonKindFromRaw(name);
    ASSERT_TRUE(kind.has_value()) << name;
    EXPECT_EQ(rawValue(*kind), name);
  }
  EXPECT_FALSE(differenceReasonKindFromRaw("other").has_value());
}

}  // namespace
}  // namespace halvetrop
