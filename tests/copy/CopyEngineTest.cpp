#include "copy/CopyEngine.h"

#include "copy/CardFence.h"

#include "FaultSys.h"
#include "drives/DrivesInternal.h"
#include "platform/Fd.h"
#include "platform/PageCache.h"
#include "platform/VolumeFlush.h"
#include "support/TempDir.h"
#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <xxhash.h>

#include <climits>
#include <filesystem>
#include <random>
#include <tuple>

namespace halvetrop {
namespace {

namespace fs = std::filesystem;
using test::FaultSys;
using test::readFile;
using test::TempDir;
using Op = FaultSys::Op;

std::string randomBytes(std::size_t size, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(rng());
    return out;
}

// Every name in a folder that looks like one of our temporary files.
std::vector<std::string> partials(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".halvetrop-") != std::string::npos) out.push_back(name);
    }
    return out;
}

std::string describe(const TargetOutcome& o) {
    return o.kind == TargetOutcome::Kind::copied ? "copied " + o.path : "failed " + o.path + ": " + o.error->description();
}

struct EngineFixture : ::testing::Test {
    TempDir tmp{"copy-engine"};
    std::string content = randomBytes(300000);
    std::string source;
    std::string dirA, dirB;
    void SetUp() override {
        source = tmp.write("card/DCIM/IMG_0001.JPG", content);
        dirA = tmp.mkdir("a");
        dirB = tmp.mkdir("b");
    }
    std::vector<CopyTarget> twoTargets() const { return {{dirA, "IMG_0001.JPG"}, {dirB, "IMG_0001.JPG"}}; }
};

TEST_F(EngineFixture, CopiesToEveryTargetWithOneReadAndTheSourceHash) {
    FaultSys sys;
    CopyEngine engine(sys);
    engine.bufferSize = 65536;
    std::vector<std::int64_t> seen;
    engine.progress = [&](std::int64_t n) { seen.push_back(n); };
    const CopyResult r = engine.copy(source, twoTargets());
    ASSERT_EQ(r.outcomes.size(), 2u);
    for (const auto& o : r.outcomes) {
        EXPECT_EQ(o.kind, TargetOutcome::Kind::copied) << describe(o);
        EXPECT_EQ(readFile(o.path), content);
        EXPECT_TRUE(o.readBackFromMedium) << "ext4 under O_DIRECT reaches the disk";
    }
    EXPECT_EQ(r.outcomes[0].path, dirA + "/IMG_0001.JPG");
    EXPECT_EQ(r.bytes, 300000);
    EXPECT_EQ(r.sourceHash, XXH64(content.data(), content.size(), 0));
    // The source is read once whatever the number of targets: ceil(300000/65536) chunks + EOF.
    EXPECT_EQ(sys.count(Op::read, "IMG_0001.JPG") - sys.count(Op::read, ".partial"), 6);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 300000);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(partials(dirA).empty());
    EXPECT_TRUE(partials(dirB).empty());
    // The copy carries the source's modification time.
    struct stat s {}, c {};
    ::stat(source.c_str(), &s);
    ::stat(r.outcomes[1].path.c_str(), &c);
    EXPECT_EQ(s.st_mtim.tv_sec, c.st_mtim.tv_sec);
    EXPECT_EQ(s.st_mtim.tv_nsec, c.st_mtim.tv_nsec);
    // After the final name, its folder is flushed so the name survives a power loss.
    const auto calls = sys.calls();
    for (const std::string& dir : {dirA, dirB}) {
        auto rename = std::find_if(calls.begin(), calls.end(), [&](const FaultSys::Call& c) {
            return c.op == Op::renameat2 && c.path == dir + "/IMG_0001.JPG";
        });
        ASSERT_NE(rename, calls.end());
        EXPECT_TRUE(std::any_of(rename, calls.end(), [&](const FaultSys::Call& c) { return c.op == Op::fsync && c.path == dir; }))
            << dir;
    }
}

// A card file nested deeper than one path may name is opened where the walk found it.
TEST_F(EngineFixture, ASourceDeeperThanOnePathMayNameIsCopied) {
    int deepest = -1;
    const std::string deep = test::makeDeepFolders(tmp.mkdir("deep"), PATH_MAX + 100, &deepest);
    const int fd = ::openat(deepest, "IMG_0001.JPG", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ::close(deepest);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
    CopyEngine engine(defaultSys());
    const CopyResult r = engine.copy(deep + "/IMG_0001.JPG", twoTargets());
    ASSERT_EQ(r.outcomes.size(), 2u);
    for (const auto& o : r.outcomes) {
        EXPECT_EQ(o.kind, TargetOutcome::Kind::copied) << describe(o);
        EXPECT_EQ(readFile(o.path), content);
    }
}

TEST_F(EngineFixture, EmptySourceIsCopiedWithoutProgress) {
    const std::string empty = tmp.write("card/EMPTY.JPG", "");
    CopyEngine engine;
    int calls = 0;
    engine.progress = [&](std::int64_t) { ++calls; };
    const CopyResult r = engine.copy(empty, twoTargets());
    EXPECT_EQ(r.bytes, 0);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(r.outcomes.size(), 2u);
    for (const auto& o : r.outcomes) {
        EXPECT_EQ(o.kind, TargetOutcome::Kind::copied) << describe(o);
        EXPECT_EQ(readFile(o.path), "");
    }
}

TEST_F(EngineFixture, NeverReplacesWhatIsAtTheFinalName) {
    enum class When { before, duringCopy, danglingLink };
    for (When when : {When::before, When::duringCopy, When::danglingLink}) {
        SCOPED_TRACE(static_cast<int>(when));
        TempDir t{"never-replace"};
        const std::string dir = t.mkdir("backup");
        const std::string final = dir + "/IMG_0001.JPG";
        const std::string existing = "precious bytes that must stay";
        if (when == When::before) t.write("backup/IMG_0001.JPG", existing);
        if (when == When::danglingLink) {
            ASSERT_EQ(::symlink("/nonexistent/target", final.c_str()), 0);
        }
        CopyEngine engine;
        engine.bufferSize = 16384;
        bool made = false;
        engine.progress = [&](std::int64_t) {
            if (when == When::duringCopy && !made) {
                t.write("backup/IMG_0001.JPG", existing);
                made = true;
            }
        };
        const CopyResult r = engine.copy(source, {{dir, "IMG_0001.JPG"}});
        ASSERT_EQ(r.outcomes.size(), 1u);
        EXPECT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
        EXPECT_EQ(r.outcomes[0].error->description(), "A file is already at " + final);
        if (when == When::danglingLink) {
            char target[256] = {};
            ASSERT_GT(::readlink(final.c_str(), target, sizeof target - 1), 0);
            EXPECT_STREQ(target, "/nonexistent/target");
        } else {
            EXPECT_EQ(readFile(final), existing);
        }
        EXPECT_TRUE(partials(dir).empty());
    }
}

TEST_F(EngineFixture, TwoTargetsWithOneNameGetOneCopy) {
    CopyEngine engine;
    const CopyResult r = engine.copy(source, {{dirA, "X.JPG"}, {dirA, "X.JPG"}});
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied);
    EXPECT_EQ(r.outcomes[1].error->kind(), CopyError::Kind::destinationExists);
    EXPECT_TRUE(partials(dirA).empty());
    EXPECT_EQ(readFile(dirA + "/X.JPG"), content);
}

// A fault injected at one step of one target costs that target only, with that step's text.
TEST_F(EngineFixture, TargetFaultsAtEveryStepCostOnlyThatTarget) {
    struct Row {
        const char* step;
        Op op;
        bool tmpFile;       // the call is on the temporary file (else on the final name)
        int flagsMustHave;  // for openat: the create or the reopen
        std::string expected;  // description with {tmp}/{final} placeholders
    };
    const std::vector<Row> rows = {
        {"create", Op::openat, true, O_CREAT, "create {final}: Permission denied"},
        {"write", Op::write, true, 0, "write {final}: No space left on device"},
        {"set times", Op::futimens, true, 0, "set times on {final}: Operation not permitted"},
        {"flush", Op::fsync, true, 0, "flush {final}: Input/output error"},
        {"close", Op::close, true, 0, "close {final}: Input/output error"},
        {"reopen", Op::openat, true, O_RDONLY, "reopen {tmp}: Input/output error"},
        {"read-back", Op::read, true, 0, "verify read {tmp}: Input/output error"},
        {"rename", Op::renameat2, false, 0, "rename {final}: Input/output error"},
    };
    const std::map<std::string, int> errors = {{"create", EACCES}, {"write", ENOSPC}, {"set times", EPERM}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step);
        TempDir t{"fault"};
        const std::string a = t.mkdir("a"), b = t.mkdir("b");
        FaultSys sys;
        const int error = errors.count(row.step) ? errors.at(row.step) : EIO;
        // The close and read-back rows must hit the right descriptor: the written file's close
        // comes before any read-back; the read-back is the only read of a ".partial" file.
        sys.fault = [&](Op op, const std::string& path, int flags) {
            if (op != row.op) return 0;
            const bool onB = row.tmpFile ? path.rfind(b + "/.", 0) == 0 && path.find(".partial") != std::string::npos
                                         : path == b + "/IMG_0001.JPG";
            if (!onB) return 0;
            if (row.op == Op::openat) {
                const bool creating = flags & O_CREAT;
                if ((row.flagsMustHave == O_CREAT) != creating) return 0;
            }
            return error;
        };
        CopyEngine engine(sys);
        engine.bufferSize = 65536;
        const CopyResult r = engine.copy(source, {{a, "IMG_0001.JPG"}, {b, "IMG_0001.JPG"}});
        ASSERT_EQ(r.outcomes.size(), 2u);
        const TargetOutcome& okOne = row.op == Op::openat && row.flagsMustHave == O_CREAT ? r.outcomes[1] : r.outcomes[0];
        const TargetOutcome& bad = &okOne == &r.outcomes[0] ? r.outcomes[1] : r.outcomes[0];
        EXPECT_EQ(okOne.kind, TargetOutcome::Kind::copied) << describe(okOne);
        EXPECT_EQ(readFile(a + "/IMG_0001.JPG"), content);
        ASSERT_EQ(bad.kind, TargetOutcome::Kind::failed);
        EXPECT_EQ(bad.path, b + "/IMG_0001.JPG");
        std::string expected = row.expected;
        const std::string desc = bad.error->description();
        if (auto at = expected.find("{final}"); at != std::string::npos) expected.replace(at, 7, b + "/IMG_0001.JPG");
        if (auto at = expected.find("{tmp}"); at != std::string::npos) {
            // The temporary name is random; check its form and the rest of the text.
            const std::string prefix = expected.substr(0, at) + b + "/.IMG_0001.JPG.halvetrop-";
            EXPECT_EQ(desc.rfind(prefix, 0), 0u) << desc;
            const std::string tail = ".partial" + expected.substr(at + 5);
            EXPECT_EQ(desc.substr(desc.size() - tail.size()), tail) << desc;
            const std::string token = desc.substr(prefix.size(), 8);
            EXPECT_EQ(token.find_first_not_of("0123456789ABCDEF"), std::string::npos) << token;
        } else {
            EXPECT_EQ(desc, expected);
        }
        EXPECT_TRUE(partials(a).empty());
        EXPECT_TRUE(partials(b).empty());
        EXPECT_FALSE(fs::exists(b + "/IMG_0001.JPG"));
    }
}

// A drive that will not create a file under its name says which name it refused and why, never
// the hidden temporary name the engine asked for; a clean name's trouble stays a system error.
// (The real exFAT's answers are in the volume suite.)
TEST_F(EngineFixture, ARefusedNameIsNamedWithItsReason) {
    const std::vector<std::tuple<std::string, int, std::string>> rows = {
        {"A:B*?.JPG", EINVAL, "refused the name \u201CA:B*?.JPG\u201D: its file system doesn't allow :, * and ? in names"},
        {"A\x01.JPG", ENOENT, "refused the name \u201CA\x01.JPG\u201D: its file system doesn't allow control characters in names"},
        {"IMG_0001.JPG", ENOENT, "create " + dirA + "/IMG_0001.JPG: No such file or directory"},
    };
    for (const auto& [name, error, expected] : rows) {
        FaultSys sys;
        sys.fault = [&, error = error](Op op, const std::string& path, int flags) {
            return op == Op::openat && (flags & O_CREAT) && path.find(".partial") != std::string::npos ? error : 0;
        };
        const CopyResult r = CopyEngine(sys).copy(source, {{dirA, name}});
        ASSERT_TRUE(r.outcomes.at(0).error);
        const std::string desc = r.outcomes[0].error->description();
        EXPECT_EQ(desc.substr(desc.size() - std::min(desc.size(), expected.size())), expected);
    }
}

TEST_F(EngineFixture, SourceFaultsCostEveryTargetAndLeaveNothing) {
    struct Row {
        const char* step;
        Op op;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"open", Op::open, "open " + source + ": Input/output error"},
        {"fstat", Op::fstat, "fstat " + source + ": Input/output error"},
        {"read", Op::read, "read " + source + ": Input/output error"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step);
        FaultSys sys;
        sys.fault = [&](Op op, const std::string& path, int) { return op == row.op && path == source ? EIO : 0; };
        CopyEngine engine(sys);
        try {
            engine.copy(source, twoTargets());
            ADD_FAILURE() << "no error";
        } catch (const CopyError& e) {
            EXPECT_EQ(e.description(), row.expected);
        }
        EXPECT_TRUE(partials(dirA).empty());
        EXPECT_TRUE(partials(dirB).empty());
        EXPECT_FALSE(fs::exists(dirA + "/IMG_0001.JPG"));
    }
}

TEST_F(EngineFixture, InterruptedCallsAreRetriedNotReported) {
    FaultSys sys;
    int reads = 0, writes = 0;
    sys.fault = [&](Op op, const std::string&, int) {
        if (op == Op::read && reads++ % 2 == 0) return EINTR;
        if (op == Op::write && writes++ % 2 == 0) return EINTR;
        return 0;
    };
    CopyEngine engine(sys);
    engine.bufferSize = 65536;
    const CopyResult r = engine.copy(source, twoTargets());
    for (const auto& o : r.outcomes) EXPECT_EQ(o.kind, TargetOutcome::Kind::copied) << describe(o);
}

TEST_F(EngineFixture, AFlippedByteFailsOnlyThatTargetsReadBack) {
    FaultSys sys;
    sys.tamper = [&](const std::string& path, unsigned char* data, size_t count) {
        if (path.rfind(dirB + "/.", 0) == 0 && count > 10) data[10] ^= 0x01;
    };
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, twoTargets());
    EXPECT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied);
    ASSERT_EQ(r.outcomes[1].kind, TargetOutcome::Kind::failed);
    EXPECT_EQ(r.outcomes[1].error->description(), "The copy at " + dirB + "/IMG_0001.JPG didn't read back identical");
    EXPECT_TRUE(partials(dirB).empty());
    EXPECT_FALSE(fs::exists(dirB + "/IMG_0001.JPG"));
}

TEST_F(EngineFixture, AWriteOfZeroBytesIsAnErrorNotALoop) {
    FaultSys sys;
    sys.fault = [&](Op op, const std::string& path, int) { return op == Op::write && path.rfind(dirA, 0) == 0 ? -1 : 0; };
    CopyEngine engine(sys);
    engine.bufferSize = 65536;
    const CopyResult r = engine.copy(source, {{dirA, "IMG_0001.JPG"}});
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_EQ(r.outcomes[0].error->description(), "write " + dirA + "/IMG_0001.JPG: Input/output error");
    // Reading stopped once no target was left, and the short read is no "changed" source.
    EXPECT_EQ(sys.count(Op::read, source), 1);
    EXPECT_TRUE(partials(dirA).empty());
}

TEST_F(EngineFixture, AWrittenCopyDroppedUnprovedLeavesNothing) {
    CopyEngine engine;
    {
        WrittenCopy written = engine.write(source, twoTargets());
        EXPECT_EQ(partials(dirA).size(), 1u);
        EXPECT_EQ(partials(dirB).size(), 1u);
    }
    EXPECT_TRUE(partials(dirA).empty());
    EXPECT_TRUE(partials(dirB).empty());
    EXPECT_FALSE(fs::exists(dirA + "/IMG_0001.JPG"));
    EXPECT_FALSE(fs::exists(dirB + "/IMG_0001.JPG"));
    EXPECT_TRUE(engine.finish(WrittenCopy()).outcomes.empty());

    // Written, then proved and named later: the same copies as in one go.
    WrittenCopy written = engine.write(source, twoTargets());
    EXPECT_FALSE(fs::exists(dirA + "/IMG_0001.JPG"));
    const CopyResult r = engine.finish(std::move(written));
    ASSERT_EQ(r.outcomes.size(), 2u);
    for (const auto& o : r.outcomes) {
        EXPECT_EQ(o.kind, TargetOutcome::Kind::copied) << describe(o);
        EXPECT_EQ(readFile(o.path), content);
    }
    EXPECT_TRUE(partials(dirA).empty());
}

TEST_F(EngineFixture, OneFsyncNeverRetried) {
    FaultSys sys;
    int attempts = 0;
    sys.fault = [&](Op op, const std::string& path, int) {
        if (op != Op::fsync || path.find(".partial") == std::string::npos) return 0;
        ++attempts;
        return EIO;
    };
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, {{dirA, "IMG_0001.JPG"}});
    EXPECT_EQ(r.outcomes[0].error->description(), "flush " + dirA + "/IMG_0001.JPG: Input/output error");
    // A second fsync after a failed one can succeed on pages the kernel already dropped.
    EXPECT_EQ(attempts, 1);
}

// Early writeback is a hint: whether it fails or not, the copy is decided by its one fsync and
// its read-back, and a flush that fails after failed hints still fails the copy.
TEST_F(EngineFixture, EarlyWritebackFailuresAreIgnoredAndTheFlushStillDecides) {
    struct Row {
        const char* name;
        int hintError;
        bool flushFails;
        bool copied;
    };
    for (const Row row : {Row{"hints pass", 0, false, true}, Row{"hints fail", EIO, false, true},
                          Row{"hints unsupported", ESPIPE, false, true}, Row{"hints fail, flush fails", EIO, true, false}}) {
        SCOPED_TRACE(row.name);
        const std::string dir = tmp.mkdir(std::string("hint-") + row.name);
        FaultSys sys;
        int hints = 0;
        sys.fault = [&](Op op, const std::string& path, int flags) {
            if (op == Op::syncFileRange) {
                EXPECT_NE(path.find(".partial"), std::string::npos);
                EXPECT_EQ(flags, SYNC_FILE_RANGE_WRITE);
                ++hints;
                return row.hintError;
            }
            return op == Op::fsync && row.flushFails && path.find(".partial") != std::string::npos ? EIO : 0;
        };
        CopyEngine engine(sys);
        engine.bufferSize = 65536;
        const CopyResult r = engine.copy(source, {{dir, "IMG_0001.JPG"}});
        ASSERT_EQ(r.outcomes.size(), 1u);
        // One hint per written piece, starting writeback before the flush.
        EXPECT_EQ(hints, static_cast<int>((content.size() + 65535) / 65536));
        EXPECT_EQ(sys.count(Op::fsync, ".partial"), row.flushFails ? 0 : 1);
        if (row.copied) {
            EXPECT_EQ(describe(r.outcomes[0]), "copied " + dir + "/IMG_0001.JPG");
            EXPECT_EQ(readFile(dir + "/IMG_0001.JPG"), content);
        } else {
            EXPECT_EQ(describe(r.outcomes[0]), "failed " + dir + "/IMG_0001.JPG: flush " + dir + "/IMG_0001.JPG: Input/output error");
            EXPECT_FALSE(fs::exists(dir + "/IMG_0001.JPG"));
        }
        EXPECT_TRUE(partials(dir).empty());
    }
}

TEST_F(EngineFixture, AFolderFlushFailureAfterTheRenameIsNotCalledCopied) {
    FaultSys sys;
    sys.fault = [&](Op op, const std::string& path, int) { return op == Op::fsync && path == dirA ? EIO : 0; };
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, {{dirA, "IMG_0001.JPG"}});
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
    EXPECT_EQ(r.outcomes[0].error->description(), "flush " + dirA + ": Input/output error");
}

// Files written into one batch share one flush of their drive and one of their folder. What goes
// wrong with one file costs that file; a flush that fails costs every file it covered and is never
// tried again, neither whole nor file by file; a stop keeps only the files already read back.
TEST_F(EngineFixture, ABatchSharesOneFlushAndEachFaultCostsWhatItCovered) {
    struct utsname kernel {};
    if (::uname(&kernel) != 0 || !VolumeFlush::syncfsReportsFailures(kernel.release))
        GTEST_SKIP() << "this kernel's syncfs does not report failed writes: every copy is flushed on its own";
    struct Row {
        const char* name;
        long fsType;
        Op op;              // the call that fails, on B's temporary file (or the folder for a folder flush)
        int error;
        bool flipB;         // a byte of B's copy changes on its way to the drive
        bool stopAtB;       // Stop is pressed as B is read back
        const char* outcomes[3];  // "copied", "-" (dropped by the stop) or the failure, {final} for its path
        int driveFlushes, fileFlushes;
    };
    const char* copied = "copied";
    const Row rows[] = {
        {"one flush for all", EXT4_SUPER_MAGIC, Op::open, 0, false, false, {copied, copied, copied}, 1, 0},
        {"the drive's flush fails", XFS_SUPER_MAGIC, Op::syncfs, EIO, false, false,
         {"flush {final}: Input/output error", "flush {final}: Input/output error", "flush {final}: Input/output error"}, 1, 0},
        {"one read-back differs", BTRFS_SUPER_MAGIC, Op::open, 0, true, false,
         {copied, "The copy at {final} didn't read back identical", copied}, 1, 0},
        {"no room for one", EXT4_SUPER_MAGIC, Op::write, ENOSPC, false, false, {copied, "write {final}: No space left on device", copied}, 1, 0},
        {"stopped as the second is read back", EXT4_SUPER_MAGIC, Op::open, 0, false, true, {copied, "-", "-"}, 1, 0},
        {"the folder's flush fails", EXT4_SUPER_MAGIC, Op::fsync, EIO, false, false,
         {"flush {dir}: Input/output error", "flush {dir}: Input/output error", "flush {dir}: Input/output error"}, 1, 0},
        {"a drive that cannot be flushed whole", TMPFS_MAGIC, Op::open, 0, false, false, {copied, copied, copied}, 0, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir t{"batch"};
        const std::string dir = t.mkdir("f");
        const std::vector<std::string> names = {"A.JPG", "B.JPG", "C.JPG"};
        std::vector<std::string> contents, sources;
        for (unsigned k = 0; k < 3; ++k) {
            contents.push_back(randomBytes(20000 + 10000 * k, 40 + k));
            sources.push_back(t.write("card/" + names[k], contents.back()));
        }
        FaultSys sys;
        sys.fsType = row.fsType;
        bool stopped = false;
        int driveFlushes = 0, fileFlushes = 0, folderFlushes = 0;  // attempts, failed ones too
        sys.fault = [&](Op op, const std::string& path, int) {
            driveFlushes += op == Op::syncfs;
            fileFlushes += op == Op::fsync && path.find(".partial") != std::string::npos;
            folderFlushes += op == Op::fsync && path == dir;
            if (op != row.op) return 0;
            if (op == Op::syncfs || (op == Op::fsync && path == dir)) return row.error;
            return path.rfind(dir + "/.B.JPG.halvetrop-", 0) == 0 ? row.error : 0;
        };
        sys.tamper = [&](const std::string& path, unsigned char* data, size_t count) {
            if (row.flipB && path.rfind(dir + "/.B.JPG.", 0) == 0 && count > 10) data[10] ^= 0x01;
        };
        sys.beforeRead = [&](const std::string& path) {
            if (row.stopAtB && path.rfind(dir + "/.B.JPG.", 0) == 0) stopped = true;
        };
        CopyEngine engine(sys);
        engine.isCancelled = [&] { return stopped; };
        CopyBatch batch;
        for (std::size_t k = 0; k < 3; ++k) {
            const bool shared = engine.write(batch, sources[k], engine.openSource(sources[k]), {{dir, names[k]}});
            EXPECT_EQ(shared, row.fsType != TMPFS_MAGIC && !(k == 1 && row.op == Op::write));
        }
        EXPECT_EQ(batch.size(), 3u);
        EXPECT_EQ(batch.bytes(), 20000 + 30000 + 40000);
        const BatchResult r = engine.finish(std::move(batch));
        EXPECT_EQ(r.cancelled, row.stopAtB);
        ASSERT_EQ(r.copies.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            SCOPED_TRACE(names[k]);
            std::string expected = row.outcomes[k];
            const std::string final = dir + "/" + names[k];
            if (expected == "-") {
                EXPECT_FALSE(r.copies[k].has_value());
                EXPECT_FALSE(fs::exists(final));
                continue;
            }
            ASSERT_TRUE(r.copies[k].has_value());
            ASSERT_EQ(r.copies[k]->outcomes.size(), 1u);
            const TargetOutcome& o = r.copies[k]->outcomes[0];
            if (expected == copied) {
                EXPECT_EQ(describe(o), "copied " + final);
                EXPECT_EQ(readFile(final), contents[k]);
                continue;
            }
            for (const auto& [mark, path] : {std::pair{"{final}", final}, std::pair{"{dir}", dir}})
                if (auto at = expected.find(mark); at != std::string::npos) expected.replace(at, std::string(mark).size(), path);
            EXPECT_EQ(describe(o), "failed " + final + ": " + expected);
            // A copy whose folder could not be flushed keeps its name; any other failed copy has none.
            EXPECT_EQ(fs::exists(final), row.op == Op::fsync);
        }
        EXPECT_TRUE(partials(dir).empty());
        EXPECT_EQ(driveFlushes, row.driveFlushes);
        EXPECT_EQ(fileFlushes, row.fileFlushes);
        EXPECT_EQ(folderFlushes, row.op == Op::syncfs ? 0 : 1);
    }
    EXPECT_FALSE(VolumeFlush::syncfsReportsFailures("5.7.19"));
    EXPECT_TRUE(VolumeFlush::syncfsReportsFailures("5.10.0-28-amd64"));
    EXPECT_FALSE(VolumeFlush::syncfsReportsFailures("4.19.0"));
}

TEST_F(EngineFixture, RenameFallsBackToLinkThenToLookAndRename) {
    struct Row {
        const char* name;
        int renameError;
        int linkError;
        bool existsBefore;  // something appears at the final name after the set-up
        std::string expected;  // "" = copied; "{final}" stands for the final path
        int plainRenameError = 0;
    };
    const std::vector<Row> rows = {
        {"no exclusive rename: link", EINVAL, 0, false, ""},
        {"ENOTSUP too", ENOTSUP, 0, false, ""},
        {"no links either: look, then rename", EINVAL, EPERM, false, ""},
        {"link finds the name taken", EINVAL, EEXIST, true, "A file is already at {final}"},
        {"the look finds the name taken", ENOTSUP, EPERM, true, "A file is already at {final}"},
        {"other rename error", EXDEV, 0, false, "rename {final}: Invalid cross-device link"},
        {"the plain rename fails", EINVAL, EPERM, false, "rename {final}: Input/output error", EIO},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir t{"fallback"};
        const std::string dir = t.mkdir("b");
        FaultSys sys;
        sys.fault = [&](Op op, const std::string&, int) {
            if (op == Op::renameat2) return row.renameError;
            if (op == Op::linkat && row.linkError && row.linkError != EEXIST) return row.linkError;
            if (op == Op::renameat) return row.plainRenameError;
            return 0;
        };
        CopyEngine engine(sys);
        bool made = false;
        engine.progress = [&](std::int64_t) {
            if (row.existsBefore && !made) t.write("b/IMG_0001.JPG", "other"), made = true;
        };
        const CopyResult r = engine.copy(source, {{dir, "IMG_0001.JPG"}});
        ASSERT_EQ(r.outcomes.size(), 1u);
        std::string expected = row.expected;
        if (auto at = expected.find("{final}"); at != std::string::npos) expected.replace(at, 7, dir + "/IMG_0001.JPG");
        if (expected.empty()) {
            EXPECT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied) << describe(r.outcomes[0]);
            EXPECT_EQ(readFile(dir + "/IMG_0001.JPG"), content);
        } else {
            ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
            EXPECT_EQ(r.outcomes[0].error->description(), expected);
            if (row.existsBefore) {
                EXPECT_EQ(readFile(dir + "/IMG_0001.JPG"), "other");
            }
        }
        EXPECT_TRUE(partials(dir).empty());
    }
}

TEST_F(EngineFixture, FileSizeLimitOfTheVolume) {
    CopyEngine engine;
    // b's volume takes exactly the source's size, c's one byte less.
    const std::string dirC = tmp.mkdir("c");
    engine.maxFileSizeOf = [&](const std::string& dir) -> std::optional<std::int64_t> {
        if (dir == dirB) return 300000;
        if (dir == dirC) return 299999;
        return std::nullopt;
    };
    // One device holds all three folders here; the engine asks once per device, so use one target
    // per call.
    EXPECT_EQ(engine.copy(source, {{dirB, "X.JPG"}}).outcomes[0].kind, TargetOutcome::Kind::copied);
    const CopyResult r = engine.copy(source, {{dirC, "X.JPG"}});
    EXPECT_EQ(r.outcomes[0].error->description(),
              "Too large for the destination's file system (FAT32 limit 4 GB): " + dirC + "/X.JPG");
}

TEST(CopyEngineFat, FourGiBSourceIsRefusedBeforeAnyByteOnAFatTypeVolume) {
    TempDir t{"fat4g"};
    const std::string big = t / "BIG.MP4";
    {
        std::FILE* f = std::fopen(big.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    ASSERT_EQ(::truncate(big.c_str(), std::int64_t{4} << 30), 0);  // sparse: costs no disk
    const std::string ok = t.mkdir("exfat"), fat = t.mkdir("fat");
    FaultSys sys;
    CopyEngine engine(sys);
    // The limits come from the volume table by file-system type.
    engine.maxFileSizeOf = [&](const std::string& dir) { return maxFileSizeOf(dir == fat ? "vfat" : "exfat", 4096); };
    bool progressed = false;
    engine.progress = [&](std::int64_t) { progressed = true; };
    const CopyResult r = engine.copy(big, {{fat, "BIG.MP4"}});
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_EQ(r.outcomes[0].error->kind(), CopyError::Kind::tooLargeForVolume);
    EXPECT_EQ(r.bytes, std::int64_t{4} << 30);
    EXPECT_EQ(r.sourceHash, 0u);
    EXPECT_FALSE(progressed);
    EXPECT_EQ(sys.count(Op::read), 0);
    EXPECT_EQ(sys.count(Op::openat, fat + "/."), 0) << "no temporary file was made";
    EXPECT_TRUE(fs::is_empty(fat));
}

TEST_F(EngineFixture, EveryTargetRefusedMeansNothingIsRead) {
    tmp.write("a/IMG_0001.JPG", "x");
    tmp.write("b/IMG_0001.JPG", "y");
    FaultSys sys;
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, twoTargets());
    EXPECT_EQ(r.sourceHash, 0u);
    EXPECT_EQ(r.bytes, 300000);
    EXPECT_EQ(r.outcomes.size(), 2u);
    EXPECT_EQ(sys.count(Op::read), 0);
}

TEST_F(EngineFixture, RefusedTargetsComeFirstInTheOutcomes) {
    tmp.write("b/IMG_0001.JPG", "y");
    CopyEngine engine;
    const CopyResult r = engine.copy(source, {{dirA, "IMG_0001.JPG"}, {dirB, "IMG_0001.JPG"}});
    EXPECT_EQ(r.outcomes[0].path, dirB + "/IMG_0001.JPG");
    EXPECT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
    EXPECT_EQ(r.outcomes[1].path, dirA + "/IMG_0001.JPG");
    EXPECT_EQ(r.outcomes[1].kind, TargetOutcome::Kind::copied);
}

TEST_F(EngineFixture, ASourceThatChangesIsCaught) {
    // The last: the file's folder swapped for another holding a file of that name, which leaves
    // the file being read untouched (times, size, change time): only the path says it is gone.
    // A file deleted while it is read is no longer on the card.
    enum class Change { mtime, appended, replacedSameSizeAndTime, chmod, folderSwapped, removed };
    for (Change change : {Change::mtime, Change::appended, Change::replacedSameSizeAndTime, Change::chmod,
                          Change::folderSwapped, Change::removed}) {
        SCOPED_TRACE(static_cast<int>(change));
        const std::string path = tmp.write("card/CHG/CHG.JPG", content);
        const std::string folder = tmp / "card/CHG";
        CopyEngine engine;
        engine.bufferSize = 65536;
        bool done = false;
        engine.progress = [&](std::int64_t) {
            if (done) return;
            done = true;
            if (change == Change::mtime) {
                const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000, 5}};
                ::utimensat(AT_FDCWD, path.c_str(), times, 0);
            } else if (change == Change::appended) {
                std::FILE* f = std::fopen(path.c_str(), "a");
                std::fputs("more", f);
                std::fclose(f);
            } else if (change == Change::replacedSameSizeAndTime) {
                const std::string other = tmp.write("card/OTHER.JPG", content);
                struct stat st {};
                ::stat(path.c_str(), &st);
                const struct timespec times[2] = {st.st_atim, st.st_mtim};
                ::utimensat(AT_FDCWD, other.c_str(), times, 0);
                ::rename(other.c_str(), path.c_str());
            } else if (change == Change::chmod) {
                ::chmod(path.c_str(), 0600);  // only the change time moves
            } else if (change == Change::removed) {
                fs::remove(path);
            } else {
                struct stat st {};
                ::stat(path.c_str(), &st);
                fs::rename(folder, folder + ".old");
                const std::string other = tmp.write("card/CHG/CHG.JPG", content);
                const struct timespec times[2] = {st.st_atim, st.st_mtim};
                ::utimensat(AT_FDCWD, other.c_str(), times, 0);
            }
        };
        try {
            engine.copy(path, twoTargets());
            ADD_FAILURE() << "not caught";
        } catch (const CopyError& e) {
            EXPECT_EQ(e.description(),
                      change == Change::removed ? "No longer on the card" : path + " changed while it was being copied");
        }
        EXPECT_TRUE(partials(dirA).empty());
        EXPECT_TRUE(partials(dirB).empty());
        EXPECT_FALSE(fs::exists(dirA + "/IMG_0001.JPG"));
        fs::remove_all(folder + ".old");
    }
}

TEST_F(EngineFixture, CancellationLeavesNothing) {
    for (int at : {1, 2}) {  // while streaming; after the flush, before the read-back
        SCOPED_TRACE(at);
        CopyEngine engine;
        engine.bufferSize = 65536;
        int polls = 0;
        engine.isCancelled = [&] { return ++polls > (at == 1 ? 2 : 6); };
        EXPECT_THROW(
            {
                try {
                    engine.copy(source, twoTargets());
                } catch (const CopyError& e) {
                    EXPECT_EQ(e.description(), "Cancelled");
                    throw;
                }
            },
            CopyError);
        EXPECT_TRUE(partials(dirA).empty());
        EXPECT_TRUE(partials(dirB).empty());
        EXPECT_FALSE(fs::exists(dirA + "/IMG_0001.JPG"));
    }
}

TEST_F(EngineFixture, TheSourceIsNeverFollowedNorBlockedOnNorTouched) {
    const std::string link = tmp / "card/LINK.JPG";
    ASSERT_EQ(::symlink(source.c_str(), link.c_str()), 0);
    const std::string fifo = tmp / "card/FIFO.JPG";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string folder = tmp.mkdir("card/FOLDER.JPG");
    struct Row {
        std::string path;
        std::string expected;
    };
    for (const Row& row : std::vector<Row>{{link, "open " + link + ": Too many levels of symbolic links"},
                                           {fifo, "open " + fifo + ": Invalid argument"},
                                           {folder, "open " + folder + ": Is a directory"}}) {
        CopyEngine engine;
        try {
            engine.copy(row.path, {{dirA, "X"}});
            ADD_FAILURE() << row.path;
        } catch (const CopyError& e) {
            EXPECT_EQ(e.description(), row.expected);
        }
        EXPECT_TRUE(fs::is_empty(dirA));
    }
    // Reading the card must not write its access times (older than mtime, so relatime would).
    const struct timespec old[2] = {{1000, 0}, {UTIME_OMIT, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), old, 0), 0);
    CopyEngine engine;
    engine.copy(source, {{dirA, "IMG_0001.JPG"}});
    struct stat st {};
    ::stat(source.c_str(), &st);
    EXPECT_EQ(st.st_atim.tv_sec, 1000);
}

TEST_F(EngineFixture, ATooLongTemporaryNameIsShortenedOnACharacterBoundary) {
    std::string name;
    while (name.size() < 236) name += "\xC3\xA9";  // é: 2 bytes, final name 236 bytes
    name += ".JPG";
    ASSERT_LE(name.size(), 255u);
    FaultSys sys;
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, {{dirA, name}});
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied) << describe(r.outcomes[0]);
    EXPECT_EQ(readFile(dirA + "/" + name), content);
    for (const auto& c : sys.calls()) {
        if (c.op != Op::openat || c.path.find(".partial") == std::string::npos) continue;
        const std::string tmpName = c.path.substr(c.path.rfind('/') + 1);
        EXPECT_LE(tmpName.size(), 255u);
        EXPECT_TRUE(isValidUtf8(tmpName)) << tmpName;
    }
}

// The engine judges the folder it holds, not the path it was given: a folder on the card is
// refused before anything is made in it, however it was reached, and so is one on the card's
// device whose place cannot be told, whether it is the card's place or the folder's.
TEST_F(EngineFixture, AFolderOnTheCardIsRefusedBeforeAnythingIsMadeInIt) {
    const std::string card = tmp.path() + "/card";
    const std::string noMountTable = tmp.mkdir("proc");
    struct Row {
        const char* name;
        std::string folder;
        bool refused;
        bool swapAtOpen = false;  // the folder is swapped for a link into the card as the engine opens it
        std::string procRoot = "/proc";
        bool folderPlaceUnknown = false;  // the card's place is known, the folder's is not
    };
    const std::vector<Row> rows = {
        {"the card itself", card, true},
        {"a folder inside the card", card + "/DCIM", true},
        {"a folder beside the card", dirA, false},
        {"the folder holding the card", tmp.path(), false},
        {"swapped for a link into the card", dirB, true, true},
        {"beside the card, no mount table to tell", dirA, true, false, noMountTable},
        {"beside the card, its own place unknown", dirA, true, false, "/proc", true},
    };
    const auto before = test::treeOf(card);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FaultSys sys;
        sys.fault = [&](Op op, const std::string& path, int) {
            if (row.swapAtOpen && op == Op::openat && path == dirB) {
                fs::rename(dirB, dirB + ".aside");
                fs::create_directory_symlink(card + "/DCIM", dirB);
            }
            return row.folderPlaceUnknown && op == Op::statx && path == row.folder ? ENOSYS : 0;
        };
        const CardFence fence = CardFence::around(sys, card, row.procRoot);
        CopyEngine engine(sys);
        engine.vetFolder = [&](int fd, const std::string& dir) -> std::optional<CopyError> {
            if (fence.mayHold(sys, fd)) return CopyError::insideSource(dir);
            return std::nullopt;
        };
        // Opened by the engine where the test must know it by its path.
        const bool engineOpens = row.swapAtOpen || row.folderPlaceUnknown;
        const UniqueFd held(engineOpens ? -1 : ::open(row.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const CopyResult r = engine.copy(source, {{row.folder, "NEW.JPG", held.get()}});
        ASSERT_EQ(r.outcomes.size(), 1u);
        if (row.refused) {
            ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
            EXPECT_EQ(r.outcomes[0].error->description(), "Refused to copy onto the card being checked: " + row.folder);
        } else {
            EXPECT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied) << describe(r.outcomes[0]);
            fs::remove(row.folder + "/NEW.JPG");
        }
        EXPECT_EQ(test::treeOf(card), before);
        if (row.swapAtOpen) {
            fs::remove(dirB);
            fs::rename(dirB + ".aside", dirB);
        }
    }
}

TEST(TemporaryName, FormAndShortening) {
    EXPECT_EQ(temporaryName("IMG_0001.JPG", "0A1B2C3D"), ".IMG_0001.JPG.halvetrop-0A1B2C3D.partial");
    const std::string longAscii(255, 'x');
    EXPECT_EQ(temporaryName(longAscii, "0A1B2C3D").size(), 255u);
    std::string threeByte;
    for (int i = 0; i < 85; ++i) threeByte += "\xE2\x82\xAC";  // €, 255 bytes
    const std::string shortened = temporaryName(threeByte, "0A1B2C3D");
    EXPECT_LE(shortened.size(), 255u);
    EXPECT_GE(shortened.size(), 253u);
    EXPECT_TRUE(isValidUtf8(shortened));
    // A file system of shorter names (an encrypted home folder's 143 bytes) gets one that fits.
    const std::string stacked = temporaryName(threeByte, "0A1B2C3D", 143);
    EXPECT_LE(stacked.size(), 143u);
    EXPECT_GE(stacked.size(), 141u);
    EXPECT_TRUE(isValidUtf8(stacked));
}

// A name longer than the folder's file system holds is refused before a byte is written: no
// temporary file is made for it, and a name at the limit is copied.
TEST_F(EngineFixture, ANameLongerThanTheDriveHoldsIsRefusedBeforeAnythingIsWritten) {
    FaultSys sys;
    CopyEngine engine(sys);
    engine.nameLimitOf = [](int, const std::string&) { return NameLimit{100, false}; };
    const std::string longName = std::string(97, 'x') + ".JPG";
    const CopyResult r = engine.copy(source, {{dirA, longName}, {dirB, std::string(96, 'x') + ".JPG"}});
    ASSERT_EQ(r.outcomes.size(), 2u);
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
    EXPECT_EQ(r.outcomes[0].error->description(),
              "The name \u201C" + longName + "\u201D is longer than the backup drive's file system allows (100 bytes at most)");
    EXPECT_EQ(sys.count(Op::openat, dirA + "/"), 0) << "nothing made in the folder";
    EXPECT_TRUE(fs::is_empty(dirA));
    EXPECT_EQ(r.outcomes[1].kind, TargetOutcome::Kind::copied) << describe(r.outcomes[1]);
    for (const auto& c : sys.calls()) {
        if (c.op == Op::openat && c.path.find(".partial") != std::string::npos) {
            EXPECT_LE(c.path.size() - c.path.rfind('/') - 1, 100u) << c.path;
        }
    }
}

TEST_F(EngineFixture, ReadBackFromTheMediumOrSaysItWasNot) {
    struct Row {
        const char* name;
        bool refuseDirect;
        int resident;
        long fsType;
        bool expected;
    };
    const std::vector<Row> rows = {
        {"O_DIRECT on a disk", false, 0, 0, true},
        {"no O_DIRECT, cache emptied", true, 0, 0, true},
        {"no O_DIRECT, cache kept pages", true, 1, 0, false},
        {"no O_DIRECT, mincore failed", true, -1, 0, false},
        {"tmpfs", false, 0, TMPFS_MAGIC, false},
        {"FUSE", true, 0, 0x65735546, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir t{"medium"};
        const std::string dir = t.mkdir("b");
        FaultSys sys;
        sys.fault = [&](Op op, const std::string&, int flags) { return row.refuseDirect && op == Op::openat && (flags & O_DIRECT) ? EINVAL : 0; };
        sys.resident = row.resident;
        sys.fsType = row.fsType;
        CopyEngine engine(sys);
        const CopyResult r = engine.copy(source, {{dir, "X.JPG"}});
        ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied) << describe(r.outcomes[0]);
        EXPECT_EQ(r.outcomes[0].readBackFromMedium, row.expected);
    }
}

// Without O_DIRECT every chunk of the read-back is proven absent from the cache right before it is
// read, and the copy leaves none of its pages behind.
TEST_F(EngineFixture, BufferedReadBackProvesEveryChunk) {
    FaultSys sys;
    sys.fault = [](Op op, const std::string&, int flags) { return op == Op::openat && (flags & O_DIRECT) ? EINVAL : 0; };
    CopyEngine engine(sys);
    engine.bufferSize = 65536;
    const CopyResult r = engine.copy(source, {{dirA, "X.JPG"}});
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied) << describe(r.outcomes[0]);
    EXPECT_TRUE(r.outcomes[0].readBackFromMedium);
    EXPECT_GE(sys.mincoreCalls, 5) << "300000 bytes in 64 KiB chunks are five reads, each checked";
    const int fd = ::open((dirA + "/X.JPG").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(PageCache::residentPages(defaultSys(), fd, 0, static_cast<std::int64_t>(content.size())), 0);
    ::close(fd);
    EXPECT_EQ(readFile(dirA + "/X.JPG"), content);
}

TEST_F(EngineFixture, UserExtendedAttributesFollowWhenAsked) {
    if (::setxattr(source.c_str(), "user.halvetrop.test", "rating=5", 8, 0) != 0) GTEST_SKIP() << "no user xattrs here";
    for (bool copyXattrs : {true, false}) {
        TempDir t{"xattr"};
        const std::string dir = t.mkdir("b");
        CopyEngine engine;
        engine.copyXattrs = copyXattrs;
        engine.copy(source, {{dir, "X.JPG"}});
        char value[32] = {};
        const ssize_t n = ::getxattr((dir + "/X.JPG").c_str(), "user.halvetrop.test", value, sizeof value);
        if (copyXattrs) {
            EXPECT_EQ(std::string(value, n > 0 ? static_cast<std::size_t>(n) : 0), "rating=5");
        } else {
            EXPECT_LT(n, 0);
        }
    }
}

TEST_F(EngineFixture, NamesThatAreNotNamesInTheFolderAreRefused) {
    CopyEngine engine;
    const CopyResult r = engine.copy(source, {{dirA, ""}, {dirA, ".."}, {dirA, "../escape"}});
    for (const auto& o : r.outcomes) EXPECT_EQ(o.error->kind(), CopyError::Kind::outsideDestination) << o.path;
    EXPECT_FALSE(fs::exists(tmp / "escape"));
}

}  // namespace
}  // namespace halvetrop
