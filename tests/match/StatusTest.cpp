#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "match/Status.h"

namespace halvetrop {
namespace {

const PhysicalDriveID kCard{"dev:/devices/card"};
const PhysicalDriveID kA{"dev:/devices/a"};
const PhysicalDriveID kB{"dev:/devices/b"};

const PairVerdict kVerified = PairVerdict::identical(EvidenceLevel::verified);
const PairVerdict kSampled = PairVerdict::identical(EvidenceLevel::sampled);

Location loc(const PhysicalDriveID& drive, PairVerdict verdict, bool sameName = true,
             LocationClass cls = LocationClass::primary, std::uint32_t row = 0) {
  Location l;
  l.row = row;
  l.drive = drive;
  l.dirID = 0;
  l.verdict = std::move(verdict);
  l.sameName = sameName;
  l.cls = cls;
  return l;
}

PairVerdict otherShot(const char* when) {
  return PairVerdict::different(DifferenceReason::otherShot(when));
}

struct StatusCase {
  const char* name;
  std::vector<Location> locations;
  bool readFailed = false;
  bool changed = false;
  bool pending = false;
  std::optional<PhysicalDriveID> sourceDrive;
  PrimaryStatus expected;
};

std::vector<StatusCase> statusCases() {
  const auto none = std::nullopt;
  return {
      // The card file itself.
      {"read failure beats verified copies", {loc(kA, kVerified)}, true, false, false, none,
       PrimaryStatus::cantRead()},
      {"read failure tested before change", {}, true, true, false, none, PrimaryStatus::cantRead()},
      {"changed card file", {loc(kA, kVerified)}, false, true, false, none,
       PrimaryStatus::changed()},
      // Which locations are considered.
      {"copy on the card's drive is no copy", {loc(kCard, kVerified)}, false, false, false, kCard,
       PrimaryStatus::missing()},
      {"copy on a volume over the card's disk is no copy",
       {loc(PhysicalDriveID{"dev:/devices/a + dev:/devices/card"}, kVerified)}, false, false, false,
       kCard, PrimaryStatus::missing()},
      {"without a card drive every drive counts", {loc(kCard, kVerified)}, false, false, false,
       none, PrimaryStatus::verified(1, false)},
      {"a hard link is never a copy", {loc(kA, kVerified, true, LocationClass::hardLink)}, false,
       false, false, none, PrimaryStatus::missing()},
      {"a clone stays a copy", {loc(kA, kVerified, true, LocationClass::clone)}, false, false,
       false, none, PrimaryStatus::verified(1, false)},
      {"card-drive copy does not hide a plausible elsewhere",
       {loc(kCard, kVerified), loc(kA, PairVerdict::plausible())}, false, false, false, kCard,
       PrimaryStatus::likelyBackedUp()},
      // Best copy and drive count.
      {"only verified copies are counted, by drive",
       {loc(kA, kVerified), loc(kA, kVerified), loc(kB, kSampled)}, false, false, false, none,
       PrimaryStatus::verified(1, false)},
      {"verified copies on two drives", {loc(kA, kVerified), loc(kB, kVerified), loc(kA, kVerified)},
       false, false, false, none, PrimaryStatus::verified(2, false)},
      {"card-drive verified copy not counted", {loc(kCard, kVerified), loc(kB, kVerified)}, false,
       false, false, kCard, PrimaryStatus::verified(1, false)},
      {"hard-linked verified copy not counted",
       {loc(kA, kVerified, true, LocationClass::hardLink), loc(kB, kVerified)}, false, false, false,
       none, PrimaryStatus::verified(1, false)},
      {"verified under another name beats sampled under the name",
       {loc(kA, kSampled, true), loc(kB, kVerified, false)}, false, false, false, none,
       PrimaryStatus::verified(1, true)},
      {"equal level: a later same-named copy wins",
       {loc(kA, kVerified, false), loc(kB, kVerified, true)}, false, false, false, none,
       PrimaryStatus::verified(2, false)},
      {"equal level: the earlier same-named copy stays",
       {loc(kA, kSampled, true), loc(kB, kSampled, false)}, false, false, false, none,
       PrimaryStatus::backedUp(false)},
      {"equal level, both renamed", {loc(kA, kSampled, false), loc(kB, kSampled, false)}, false,
       false, false, none, PrimaryStatus::backedUp(true)},
      {"identical copy beats pending and conflicts",
       {loc(kA, PairVerdict::damaged()), loc(kB, kSampled)}, false, false, true, none,
       PrimaryStatus::backedUp(false)},
      // Pending, plausible, placeholder.
      {"pending beats plausible", {loc(kA, PairVerdict::plausible())}, false, false, true, none,
       PrimaryStatus::checking()},
      {"plausible without pending", {loc(kA, PairVerdict::plausible())}, false, false, false, none,
       PrimaryStatus::likelyBackedUp()},
      {"plausible under another name", {loc(kA, PairVerdict::plausible(), false)}, false, false,
       false, none, PrimaryStatus::likelyBackedUp()},
      {"plausible beats a same-name conflict",
       {loc(kA, PairVerdict::edited(true)), loc(kB, PairVerdict::plausible(), false)}, false, false,
       false, none, PrimaryStatus::likelyBackedUp()},
      {"plausible beats a placeholder",
       {loc(kA, PairVerdict::placeholder()), loc(kB, PairVerdict::plausible())}, false, false,
       false, none, PrimaryStatus::likelyBackedUp()},
      {"same-name placeholder", {loc(kA, PairVerdict::placeholder())}, false, false, false, none,
       PrimaryStatus::cloudOnlyPlaceholder()},
      {"placeholder under another name does not count",
       {loc(kA, PairVerdict::placeholder(), false)}, false, false, false, none,
       PrimaryStatus::missing()},
      {"placeholder beats a same-name conflict",
       {loc(kA, PairVerdict::damaged()), loc(kB, PairVerdict::placeholder())}, false, false, false,
       none, PrimaryStatus::cloudOnlyPlaceholder()},
      // Most telling same-name verdict.
      {"edited beats damaged", {loc(kA, PairVerdict::damaged()), loc(kB, PairVerdict::edited(false))},
       false, false, false, none, PrimaryStatus::differentFileSameName(PairVerdict::edited(false))},
      {"edited beats damaged in either order",
       {loc(kA, PairVerdict::edited(true)), loc(kB, PairVerdict::damaged())}, false, false, false,
       none, PrimaryStatus::differentFileSameName(PairVerdict::edited(true))},
      {"incomplete beats damaged",
       {loc(kA, PairVerdict::damaged()), loc(kB, PairVerdict::incomplete(10))}, false, false, false,
       none, PrimaryStatus::differentFileSameName(PairVerdict::incomplete(10))},
      {"damaged beats unreadable",
       {loc(kA, PairVerdict::unreadableCopy(5)), loc(kB, PairVerdict::damaged())}, false, false,
       false, none, PrimaryStatus::differentFileSameName(PairVerdict::damaged())},
      {"unreadable beats another shot",
       {loc(kA, otherShot("t1")), loc(kB, PairVerdict::unreadableCopy(13))}, false, false, false,
       none, PrimaryStatus::differentFileSameName(PairVerdict::unreadableCopy(13))},
      {"another shot beats a size difference",
       {loc(kA, PairVerdict::different(DifferenceReason::sizeDiffers())), loc(kB, otherShot("t1"))},
       false, false, false, none, PrimaryStatus::differentFileSameName(otherShot("t1"))},
      {"two other shots keep the first", {loc(kA, otherShot("t1")), loc(kB, otherShot("t2"))},
       false, false, false, none, PrimaryStatus::differentFileSameName(otherShot("t1"))},
      {"content difference has priority 1",
       {loc(kA, PairVerdict::notACopy()),
        loc(kB, PairVerdict::different(DifferenceReason::contentDiffers()))},
       false, false, false, none,
       PrimaryStatus::differentFileSameName(
           PairVerdict::different(DifferenceReason::contentDiffers()))},
      {"renamed damaged copy is no conflict", {loc(kA, PairVerdict::damaged(), false)}, false,
       false, false, none, PrimaryStatus::missing()},
      {"same-name conflict beats a converted hint",
       {loc(kA, PairVerdict::converted("heic")), loc(kB, PairVerdict::damaged())}, false, false,
       false, none, PrimaryStatus::differentFileSameName(PairVerdict::damaged())},
      // Converted hint, or nothing.
      {"same-name converted alone is a hint", {loc(kA, PairVerdict::converted("heic"))}, false,
       false, false, none, PrimaryStatus::missing(PairVerdict::converted("heic"))},
      {"first converted wins, renamed too",
       {loc(kA, PairVerdict::converted("dng"), false), loc(kB, PairVerdict::converted("heic"))},
       false, false, false, none, PrimaryStatus::missing(PairVerdict::converted("dng"))},
      {"same-name notACopy alone", {loc(kA, PairVerdict::notACopy())}, false, false, false, none,
       PrimaryStatus::missing()},
      {"same-name changed alone", {loc(kA, PairVerdict::changed())}, false, false, false, none,
       PrimaryStatus::missing()},
      {"empty list", {}, false, false, false, none, PrimaryStatus::missing()},
      {"empty list while pending", {}, false, false, true, none, PrimaryStatus::checking()},
  };
}

TEST(PrimaryStatus, TakesTheFirstStepThatDecides) {
  const SafeToFormatPolicy policy;
  for (const StatusCase& c : statusCases()) {
    SCOPED_TRACE(c.name);
    const PrimaryStatus got =
        primaryStatus(c.locations, c.readFailed, c.changed, c.pending, policy, c.sourceDrive);
    EXPECT_EQ(got, c.expected) << "got " << rawValue(got.kind) << " copies " << got.copies
                               << " renamed " << got.renamed;
  }
}

TEST(PrimaryStatus, PolicyIsNotConsulted) {
  SafeToFormatPolicy loose;
  loose.minEvidence = EvidenceLevel::none;
  loose.acceptEditedCopies = true;
  const std::vector<Location> locations{loc(kA, kSampled), loc(kB, PairVerdict::edited(true))};
  EXPECT_EQ(primaryStatus(locations, false, false, false, loose, std::nullopt),
            primaryStatus(locations, false, false, false, SafeToFormatPolicy(), std::nullopt));
}

TEST(PrimaryStatus, EqualityLooksAtThePayloadOfTheCase) {
  EXPECT_NE(PrimaryStatus::verified(1, false), PrimaryStatus::verified(2, false));
  EXPECT_NE(PrimaryStatus::verified(1, false), PrimaryStatus::verified(1, true));
  EXPECT_NE(PrimaryStatus::missing(), PrimaryStatus::missing(PairVerdict::converted("x")));
  PrimaryStatus stray = PrimaryStatus::checking();
  stray.copies = 4;
  stray.relatedHint = PairVerdict::damaged();
  EXPECT_EQ(stray, PrimaryStatus::checking());
  EXPECT_EQ(std::hash<PrimaryStatus>{}(stray), std::hash<PrimaryStatus>{}(PrimaryStatus::checking()));
}

struct DrivesCase {
  const char* name;
  std::vector<Location> locations;
  SafeToFormatPolicy policy;
  std::optional<PhysicalDriveID> sourceDrive;
  std::set<PhysicalDriveID> expected;
};

SafeToFormatPolicy policyWith(EvidenceLevel minEvidence, bool acceptEdited) {
  SafeToFormatPolicy p;
  p.minEvidence = minEvidence;
  p.acceptEditedCopies = acceptEdited;
  return p;
}

std::vector<DrivesCase> drivesCases() {
  const SafeToFormatPolicy standard;
  const SafeToFormatPolicy sampled = policyWith(EvidenceLevel::sampled, false);
  const SafeToFormatPolicy edited = policyWith(EvidenceLevel::verified, true);
  return {
      {"default policy counts verified identical only",
       {loc(kA, kVerified), loc(kB, kSampled)}, standard, kCard, {kA}},
      {"two folders on one drive count once", {loc(kA, kVerified, true), loc(kA, kVerified, false)},
       standard, kCard, {kA}},
      {"lower minimum evidence admits sampled", {loc(kA, kVerified), loc(kB, kSampled)}, sampled,
       kCard, {kA, kB}},
      {"plausible never qualifies", {loc(kA, PairVerdict::plausible())},
       policyWith(EvidenceLevel::none, true), kCard, {}},
      {"verified edited copy only when accepted", {loc(kA, PairVerdict::edited(true))}, standard,
       kCard, {}},
      {"verified edited copy accepted", {loc(kA, PairVerdict::edited(true))}, edited, kCard, {kA}},
      {"unverified edited copy never", {loc(kA, PairVerdict::edited(false))}, edited, kCard, {}},
      {"card's drive never counts", {loc(kCard, kVerified), loc(kA, kVerified)}, standard, kCard,
       {kA}},
      {"without a card drive it counts", {loc(kCard, kVerified)}, standard, std::nullopt, {kCard}},
      {"hard links and clones do not count",
       {loc(kA, kVerified, true, LocationClass::hardLink),
        loc(kB, kVerified, true, LocationClass::clone)},
       standard, kCard, {}},
      {"mirror and other classes count like primary",
       {loc(kA, kVerified, true, LocationClass::mirror),
        loc(kB, kVerified, true, LocationClass::insideLibrary)},
       standard, kCard, {kA, kB}},
      {"placeholders are not copies here", {loc(kA, PairVerdict::placeholder())},
       [] {
         SafeToFormatPolicy p;
         p.countCloudCopies = true;
         return p;
       }(),
       kCard, {}},
      // An unresolved drive could be the card's own.
      {"unknown drives never qualify",
       {loc(PhysicalDriveID{"?"}, kVerified), loc(PhysicalDriveID{""}, kVerified),
        loc(PhysicalDriveID{"unknown:/mnt/x"}, kVerified),
        loc(PhysicalDriveID{"dev:/devices/b + unknown:/devices/virtual/block/loop3"}, kVerified)},
       standard, kCard, {}},
      {"a multi-disk volume holding the card's disk is the card's drive",
       {loc(PhysicalDriveID{"dev:/devices/a + dev:/devices/card"}, kVerified)}, standard, kCard,
       {}},
  };
}

TEST(QualifyingDrives, CountsSeparateDrivesUnderThePolicy) {
  for (const DrivesCase& c : drivesCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qualifyingDrives(c.locations, c.policy, c.sourceDrive), c.expected);
  }
  EXPECT_TRUE(qualifyingDrives({}, SafeToFormatPolicy(), kCard).empty());
}

TEST(SafeToFormatPolicy, DefaultsAndEquality) {
  const SafeToFormatPolicy p;
  EXPECT_EQ(p.requiredCopies, 2);
  EXPECT_EQ(p.minEvidence, EvidenceLevel::verified);
  EXPECT_TRUE(p.requiredDrives.empty());
  EXPECT_FALSE(p.acceptEditedCopies);
  EXPECT_FALSE(p.countCloudCopies);
  EXPECT_EQ(p.maxDestEvidenceAge, 604800.0);

  std::vector<SafeToFormatPolicy> variants(6);
  variants[0].requiredCopies = 3;
  variants[1].minEvidence = EvidenceLevel::sampled;
  variants[2].requiredDrives = {"dev:/devices/a"};
  variants[3].acceptEditedCopies = true;
  variants[4].countCloudCopies = true;
  variants[5].maxDestEvidenceAge = 60;
  std::unordered_set<SafeToFormatPolicy> distinct{p};
  for (const SafeToFormatPolicy& v : variants) {
    EXPECT_NE(v, p);
    distinct.insert(v);
  }
  EXPECT_EQ(distinct.size(), 7u);
  SafeToFormatPolicy zero;
  zero.maxDestEvidenceAge = 0.0;
  SafeToFormatPolicy negativeZero;
  negativeZero.maxDestEvidenceAge = -0.0;
  EXPECT_EQ(zero, negativeZero);
  EXPECT_EQ(std::hash<SafeToFormatPolicy>{}(zero), std::hash<SafeToFormatPolicy>{}(negativeZero));
}

TEST(StatusNames, RoundTrip) {
  const std::vector<std::string> classes{"primary", "mirror",        "duplicate", "hardLink",
                                         "clone",   "insideLibrary", "cardMirror"};
  for (std::size_t i = 0; i < classes.size(); ++i) {
    const auto cls = locationClassFromRaw(classes[i]);
    ASSERT_TRUE(cls.has_value()) << classes[i];
    EXPECT_EQ(static_cast<std::size_t>(*cls), i);
    EXPECT_EQ(rawValue(*cls), classes[i]);
  }
  EXPECT_FALSE(locationClassFromRaw("hardlink").has_value());
  EXPECT_EQ(fromRawValue<LocationClass>("clone"), LocationClass::clone);
  const std::vector<std::string> statuses{
      "verified", "backedUp",       "differentFileSameName", "missing", "cloudOnlyPlaceholder",
      "checking", "likelyBackedUp", "cantRead",              "changed", "notNeeded"};
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    const auto kind = primaryStatusKindFromRaw(statuses[i]);
    ASSERT_TRUE(kind.has_value()) << statuses[i];
    EXPECT_EQ(static_cast<std::size_t>(*kind), i);
    EXPECT_EQ(rawValue(*kind), statuses[i]);
  }
  EXPECT_FALSE(primaryStatusKindFromRaw("Missing").has_value());
}

TEST(Location, EqualityAndHashCoverEveryField) {
  const Location base = loc(kA, kVerified, true, LocationClass::primary, 7);
  std::vector<Location> variants(6, base);
  variants[0].row = 8;
  variants[1].drive = kB;
  variants[2].dirID = 3;
  variants[3].verdict = kSampled;
  variants[4].sameName = false;
  variants[5].cls = LocationClass::mirror;
  std::unordered_set<Location> set{base};
  for (const Location& v : variants) {
    EXPECT_NE(v, base);
    set.insert(v);
  }
  set.insert(base);
  EXPECT_EQ(set.size(), 7u);
}

}  // namespace
}  // namespace halvetrop
