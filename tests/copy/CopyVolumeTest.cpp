// Copies onto real volumes: a full tmpfs, an exFAT drive through FUSE (which cannot rename without
// replacing), and ext4 on a loop device.
#include "copy/CopyEngine.h"
#include "copy/CopyRunner.h"

#include "FaultSys.h"
#include "drives/Drives.h"
#include "support/LoopVolume.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>

namespace halvetrop {
namespace {

namespace fs = std::filesystem;
using test::FaultSys;
using test::LoopVolume;
using test::readFile;
using test::TempDir;
using Op = FaultSys::Op;

using test::bytesOf;

#define VOLUME_OR_SKIP(var, type, size)                                                   \
    std::string reason_##var;                                                             \
    if (!LoopVolume::available(&reason_##var, type)) GTEST_SKIP() << reason_##var;        \
    auto var = std::make_unique<LoopVolume>(type, size)

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    return out;
}

TEST(CopyOnRealVolumes, AFullTmpfsFailsTheWriteAndLeavesNothing) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::tmpfs, 1 << 20);
    TempDir card{"full-card"};
    const std::string content = bytesOf(2 << 20, 1);
    const std::string source = card.write("DCIM/BIG.MOV", content);
    const std::string dir = volume->mountPoint();
    CopyEngine engine;
    const CopyResult r = engine.copy(source, {{dir, "BIG.MOV"}});
    ASSERT_EQ(r.outcomes.size(), 1u);
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
    EXPECT_EQ(r.outcomes[0].error->description(), "write " + dir + "/BIG.MOV: No space left on device");
    EXPECT_TRUE(entries(dir).empty()) << "the temporary file is gone";

    // The runner sees the room the volume reports and refuses the plan before writing.
    CopyPlan plan;
    plan.root = dir;
    plan.items.push_back(PlannedCopy{7, source, dir + "/DCIM", "BIG.MOV", static_cast<std::int64_t>(content.size())});
    CopyRunner runner(plan);
    const CopyRunResult result = runner.run();
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].message.rfind("Not enough free space on ", 0), 0u) << result.failed[0].message;
    EXPECT_TRUE(entries(dir).empty());

    // What fits is copied, and the copy says its read-back was not from a medium past the cache.
    const std::string small = card.write("DCIM/SMALL.JPG", bytesOf(100000, 2));
    CopyPlan fits;
    fits.root = dir;
    fits.items.push_back(PlannedCopy{8, small, dir + "/DCIM", "SMALL.JPG", 100000});
    const CopyRunResult ok = CopyRunner(fits).run();
    ASSERT_EQ(ok.copied.size(), 1u);
    EXPECT_FALSE(ok.copied[0].readBackFromMedium);
    EXPECT_EQ(readFile(dir + "/DCIM/SMALL.JPG"), bytesOf(100000, 2));
}

TEST(CopyOnRealVolumes, ExfatTakesTheFallbackForRenamingWithoutReplacing) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::exfat, 16 << 20);
    TempDir card{"exfat-card"};
    const std::string content = bytesOf(3 << 20, 3);
    const std::string source = card.write("DCIM/C0001.MP4", content);
    const std::string dir = volume->mountPoint();

    FaultSys sys;
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, {{dir, "C0001.MP4"}});
    ASSERT_EQ(r.outcomes.size(), 1u);
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied) << r.outcomes[0].error->description();
    EXPECT_EQ(readFile(dir + "/C0001.MP4"), content);
    EXPECT_FALSE(r.outcomes[0].readBackFromMedium) << "FUSE keeps its own cache below ours";
    const auto calls = sys.calls();
    const auto rename2 = std::find_if(calls.begin(), calls.end(), [](const FaultSys::Call& c) { return c.op == Op::renameat2; });
    ASSERT_NE(rename2, calls.end());
    EXPECT_NE(rename2->result, 0) << "exFAT through FUSE was expected to refuse RENAME_NOREPLACE";
    EXPECT_TRUE(std::any_of(rename2, calls.end(), [](const FaultSys::Call& c) {
        return (c.op == Op::linkat || c.op == Op::renameat) && c.result == 0;
    }));
    EXPECT_EQ(entries(dir), std::vector<std::string>{"C0001.MP4"});

    // The fallback still never replaces.
    const CopyResult again = engine.copy(source, {{dir, "C0001.MP4"}});
    EXPECT_EQ(again.outcomes[0].error->kind(), CopyError::Kind::destinationExists);
    card.write("DCIM/C0002.MP4", "new bytes");
    {
        std::FILE* f = std::fopen((dir + "/C0002.MP4").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("already here", f);
        std::fclose(f);
    }
    const CopyResult clash = engine.copy(card / "DCIM/C0002.MP4", {{dir, "C0002.MP4"}});
    EXPECT_EQ(clash.outcomes[0].error->kind(), CopyError::Kind::destinationExists);
    EXPECT_EQ(readFile(dir + "/C0002.MP4"), "already here");

    // The runner on exFAT: the real volume description, folders made, no extended attributes.
    EXPECT_EQ(Drives::info(dir).fileSystem, "exfat");
    CopyPlan plan;
    plan.root = dir;
    plan.card = card.path();
    plan.items.push_back(PlannedCopy{1, source, dir + "/2024/2024-05-17", "C0001.MP4", static_cast<std::int64_t>(content.size())});
    plan.items.push_back(PlannedCopy{2, source, dir, "C0001.MP4", static_cast<std::int64_t>(content.size())});
    const CopyRunResult result = CopyRunner(plan).run();
    ASSERT_EQ(result.copied.size(), 1u);
    EXPECT_EQ(readFile(dir + "/2024/2024-05-17/C0001.MP4"), content);
    ASSERT_EQ(result.alreadyThere.size(), 1u);
    EXPECT_EQ(result.alreadyThere[0].path, dir + "/C0001.MP4");
}

TEST(CopyOnRealVolumes, Ext4ReadsBackFromTheDisk) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::ext4, 32 << 20);
    TempDir card{"ext4-card"};
    const std::string content = bytesOf(5 << 20, 5);
    const std::string source = card.write("DCIM/A.CR3", content);
    FaultSys sys;
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, {{volume->mountPoint(), "A.CR3"}});
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied);
    EXPECT_TRUE(r.outcomes[0].readBackFromMedium);
    EXPECT_EQ(sys.count(Op::linkat), 0) << "ext4 renames without replacing itself";
    EXPECT_EQ(readFile(volume->mountPoint() + "/A.CR3"), content);
}

}  // namespace
}  // namespace halvetrop
