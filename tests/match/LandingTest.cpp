#include <gtest/gtest.h>

#include <vector>

#include "match/DestIndex.h"
#include "match/Landing.h"

namespace halvetrop {
namespace {

const PhysicalDriveID kDrive{"dev:/devices/a"};
const PhysicalDriveID kOther{"dev:/devices/b"};

// Two backup roots: root0 { A { sub }, B, D0..D9 }, root1 { C }.
struct Tree {
  DestIndex index;
  std::uint32_t root0, a, sub, b, root1, c;
  std::vector<std::uint32_t> d;

  Tree() {
    root0 = index.appendDir("backup1", std::nullopt, RootID{0}, 0, 1);
    a = index.appendDir("A", root0, RootID{0}, 0, 2);
    sub = index.appendDir("sub", a, RootID{0}, 0, 3);
    b = index.appendDir("B", root0, RootID{0}, 0, 4);
    root1 = index.appendDir("backup2", std::nullopt, RootID{1}, 0, 5);
    c = index.appendDir("C", root1, RootID{1}, 0, 6);
    for (int i = 0; i < 10; ++i) {
      const char name[3] = {'D', static_cast<char>('0' + i), '\0'};
      d.push_back(index.appendDir(name, root0, RootID{0}, 0, 10 + i));
    }
    index.buildMaps();
  }
};

Location at(std::uint32_t dir, PairVerdict verdict = PairVerdict::identical(EvidenceLevel::sampled),
            const PhysicalDriveID& drive = kDrive, LocationClass cls = LocationClass::primary) {
  Location l;
  l.drive = drive;
  l.dirID = dir;
  l.verdict = std::move(verdict);
  l.sameName = true;
  l.cls = cls;
  return l;
}

// n files, each with one usable copy in `dir`.
void addFiles(std::vector<std::vector<Location>>& files, std::uint32_t dir, int n) {
  for (int i = 0; i < n; ++i) files.push_back({at(dir)});
}

TEST(Landing, NothingUsableOnTheDrive) {
  const Tree t;
  const std::vector<std::vector<Location>> files{
      {at(t.a, PairVerdict::plausible())},
      {at(t.a, PairVerdict::identical(EvidenceLevel::verified), kOther)},
      {at(t.a, PairVerdict::identical(EvidenceLevel::plausible))},
      {at(t.a, PairVerdict::damaged())},
      {}};
  const Landing got = landing(files, kDrive, t.index);
  EXPECT_EQ(got.drive, kDrive);
  EXPECT_EQ(got.located, 0);
  EXPECT_TRUE(got.dominant.empty());
  EXPECT_FALSE(got.scattered);
  EXPECT_FALSE(got.lca.has_value());
  EXPECT_EQ(got.total, 5);
}

TEST(Landing, ClassDoesNotMatterButLevelAndDriveDo) {
  const Tree t;
  const std::vector<std::vector<Location>> files{
      {at(t.a, PairVerdict::identical(EvidenceLevel::verified), kDrive, LocationClass::hardLink)},
      {at(t.a, PairVerdict::identical(EvidenceLevel::sampled), kDrive, LocationClass::clone)},
      {at(t.b, PairVerdict::plausible())}};
  const Landing got = landing(files, kDrive, t.index);
  EXPECT_EQ(got.located, 2);
  EXPECT_EQ(got.dominant, (std::vector<LandingDir>{{t.a, 2}}));
  EXPECT_EQ(got.lca, t.a);
  EXPECT_EQ(got.total, 3);
}

struct ThresholdCase {
  const char* name;
  int inA, inB;
  std::vector<LandingDir> (*expected)(const Tree&);
};

TEST(Landing, NineTenthsThreshold) {
  const std::vector<ThresholdCase> cases{
      {"9 and 1: the first reaches 9.0", 9, 1,
       [](const Tree& t) { return std::vector<LandingDir>{{t.a, 9}}; }},
      {"8 and 2: both needed", 8, 2,
       [](const Tree& t) { return std::vector<LandingDir>{{t.a, 8}, {t.b, 2}}; }},
      {"single file", 1, 0, [](const Tree& t) { return std::vector<LandingDir>{{t.a, 1}}; }},
      {"smaller directory listed second", 3, 7,
       [](const Tree& t) { return std::vector<LandingDir>{{t.b, 7}, {t.a, 3}}; }},
  };
  const Tree t;
  for (const ThresholdCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::vector<Location>> files;
    addFiles(files, t.a, c.inA);
    addFiles(files, t.b, c.inB);
    const Landing got = landing(files, kDrive, t.index);
    EXPECT_EQ(got.dominant, c.expected(t));
    EXPECT_EQ(got.located, c.inA + c.inB);
    EXPECT_FALSE(got.scattered);
  }
}

TEST(Landing, FileGoesToTheHeavierDirectoryWhateverTheOrder) {
  const Tree t;
  for (const bool heavyFirst : {false, true}) {
    SCOPED_TRACE(heavyFirst);
    std::vector<std::vector<Location>> files;
    addFiles(files, t.a, 5);
    files.push_back(heavyFirst ? std::vector<Location>{at(t.a), at(t.b)}
                               : std::vector<Location>{at(t.b), at(t.a)});
    const Landing got = landing(files, kDrive, t.index);
    EXPECT_EQ(got.dominant, (std::vector<LandingDir>{{t.a, 6}}));
    EXPECT_EQ(got.located, 6);
  }
}

TEST(Landing, EqualWeightsKeepTheEarlierLocation) {
  const Tree t;
  // A and B both weigh 1/2 + 1: the two-copy file stays with its first location, B.
  const std::vector<std::vector<Location>> files{{at(t.b), at(t.a)}, {at(t.a)}, {at(t.b)}};
  const Landing got = landing(files, kDrive, t.index);
  EXPECT_EQ(got.dominant, (std::vector<LandingDir>{{t.b, 2}, {t.a, 1}}));
  EXPECT_EQ(got.lca, t.root0);
}

TEST(Landing, EqualCountsAreOrderedByDirectoryId) {
  const Tree t;
  // B and sub get equal counts; files in B come first, but the lower directory id leads.
  ASSERT_LT(t.sub, t.b);
  std::vector<std::vector<Location>> files;
  addFiles(files, t.b, 3);
  addFiles(files, t.sub, 3);
  const Landing got = landing(files, kDrive, t.index);
  EXPECT_EQ(got.dominant, (std::vector<LandingDir>{{t.sub, 3}, {t.b, 3}}));
}

TEST(Landing, ScatteredKeepsThreeLowestIdsOnEqualCounts) {
  const Tree t;
  std::vector<std::vector<Location>> files;
  for (auto it = t.d.rbegin(); it != t.d.rend(); ++it) addFiles(files, *it, 1);
  const Landing got = landing(files, kDrive, t.index);
  EXPECT_TRUE(got.scattered);
  EXPECT_EQ(got.dominant, (std::vector<LandingDir>{{t.d[0], 1}, {t.d[1], 1}, {t.d[2], 1}}));
  EXPECT_EQ(got.lca, t.root0);
  EXPECT_EQ(got.located, 10);
  EXPECT_EQ(got.total, 10);
}

TEST(Landing, FourDirectoriesAreNotScattered) {
  const Tree t;
  std::vector<std::vector<Location>> files;
  for (int i = 0; i < 4; ++i) addFiles(files, t.d[i], 1);
  const Landing got = landing(files, kDrive, t.index);
  EXPECT_FALSE(got.scattered);
  EXPECT_EQ(got.dominant.size(), 4u);
}

TEST(Landing, SameResultOverReferencedLists) {
  const Tree t;
  std::vector<std::vector<Location>> files;
  addFiles(files, t.a, 8);
  addFiles(files, t.sub, 2);
  std::vector<const std::vector<Location>*> refs;
  for (const auto& f : files) refs.push_back(&f);
  refs.push_back(nullptr);
  const Landing byRef = landing(std::span<const std::vector<Location>* const>(refs), kDrive, t.index);
  files.push_back({});
  EXPECT_EQ(byRef, landing(files, kDrive, t.index));
  EXPECT_EQ(byRef.total, 11);
  EXPECT_EQ(byRef.lca, t.a);
}

TEST(LowestCommonAncestor, Table) {
  const Tree t;
  struct Case {
    const char* name;
    std::vector<std::uint32_t> dirs;
    std::optional<std::uint32_t> expected;
  };
  const std::vector<Case> cases{
      {"empty", {}, std::nullopt},
      {"one directory is its own", {t.a}, t.a},
      {"a root alone", {t.root0}, t.root0},
      {"directory and its subdirectory", {t.sub, t.a}, t.a},
      {"siblings meet at the root", {t.sub, t.b}, t.root0},
      {"repeated directory", {t.sub, t.sub}, t.sub},
      {"two backup roots", {t.a, t.c}, std::nullopt},
      {"third directory cuts further", {t.sub, t.a, t.d[3]}, t.root0},
      {"id outside the table", {t.a, 9999}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(lowestCommonAncestor(c.dirs, t.index), c.expected);
  }
}

TEST(GroupKey, EqualityAndHash) {
  const GroupKey k{"DCIM/100MSDCF", "ILCE-7M4", "2024-05-01"};
  EXPECT_EQ(k, (GroupKey{"DCIM/100MSDCF", "ILCE-7M4", "2024-05-01"}));
  EXPECT_NE(k, (GroupKey{"DCIM/100MSDCF", "ILCE-7M4", "2024-05-02"}));
  EXPECT_NE(k, (GroupKey{"DCIM/100MSDCF", "", "2024-05-01"}));
  EXPECT_EQ(std::hash<GroupKey>{}(k), std::hash<GroupKey>{}(GroupKey(k)));
}

}  // namespace
}  // namespace halvetrop
