// Faults injected through the system-call seam, on real files: refused O_DIRECT, interrupted and
// short reads, failing reads, and an eviction the page cache does not confirm.
#include "match/ContentReader.h"

#include "ContentReaderTestUtil.h"
#include "hash/XXH3.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {
namespace {

using test::DiskDir;
using test::randomContent;
using test::writeFile;

class FaultSys : public Sys {
public:
    // faults
    bool refuseDirectOpen = false;      // EINVAL on open with O_DIRECT
    bool refuseDirectRead = false;      // EINVAL on reads while O_DIRECT is set
    std::int64_t refuseDirectFrom = -1;  // EINVAL on O_DIRECT reads ending past this offset (>= 0)
    bool refuseNoatime = false;         // EPERM on open with O_NOATIME
    int interruptReads = 0;             // the next N reads fail with EINTR
    std::int64_t shortReadLimit = 0;    // reads return at most this many bytes (0: no limit)
    int failReadNumber = 0;             // the Nth read (1-based) fails with failReadErrno
    int failReadErrno = EIO;
    int fdatasyncErrno = 0;
    int fadviseError = 0;
    bool mmapFails = false;
    bool oneResidentPage = false;       // mincore reports the first page resident
    bool pretendFuse = false;
    int openErrno = 0;
    std::optional<unsigned long> mountFlags;  // what fstatvfs says of the mount
    int fstatvfsErrno = 0;

    // observations
    std::vector<int> openFlags;
    int opens = 0;
    int closes = 0;
    int reads = 0;
    int directReads = 0;
    int bufferedReads = 0;
    int mincoreCalls = 0;
    std::function<void()> onRead;

    int open(const char* path, int flags, mode_t mode) override {
        openFlags.push_back(flags);
        if (openErrno) return errno = openErrno, -1;
        if (refuseDirectOpen && (flags & O_DIRECT)) return errno = EINVAL, -1;
        if (refuseNoatime && (flags & O_NOATIME)) return errno = EPERM, -1;
        const int fd = Sys::open(path, flags, mode);
        if (fd >= 0) ++opens;
        return fd;
    }
    int close(int fd) override {
        ++closes;
        return Sys::close(fd);
    }
    ssize_t pread(int fd, void* buf, size_t count, off_t offset) override {
        ++reads;
        if (onRead) onRead();
        if (interruptReads > 0) {
            --interruptReads;
            return errno = EINTR, -1;
        }
        if (failReadNumber == reads) return errno = failReadErrno, -1;
        const bool direct = (::fcntl(fd, F_GETFL) & O_DIRECT) != 0;
        if (direct && refuseDirectRead) return errno = EINVAL, -1;
        if (direct && refuseDirectFrom >= 0 && offset + static_cast<off_t>(count) > refuseDirectFrom) return errno = EINVAL, -1;
        (direct ? directReads : bufferedReads)++;
        // The real read happens in full (O_DIRECT needs aligned counts); only part is reported.
        const ssize_t n = Sys::pread(fd, buf, count, offset);
        if (n > 0 && shortReadLimit > 0 && n > shortReadLimit) return shortReadLimit;
        return n;
    }
    int fdatasync(int fd) override {
        if (fdatasyncErrno) return errno = fdatasyncErrno, -1;
        return Sys::fdatasync(fd);
    }
    int posix_fadvise(int fd, off_t offset, off_t len, int advice) override {
        if (fadviseError) return fadviseError;
        return Sys::posix_fadvise(fd, offset, len, advice);
    }
    void* mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset) override {
        if (mmapFails) return errno = ENODEV, MAP_FAILED;
        return Sys::mmap(addr, length, prot, flags, fd, offset);
    }
    int mincore(void* addr, std::size_t length, unsigned char* vec) override {
        ++mincoreCalls;
        const int rc = Sys::mincore(addr, length, vec);
        if (rc == 0 && oneResidentPage) vec[0] |= 1;
        return rc;
    }
    int fstatvfs(int fd, struct statvfs* out) override {
        if (fstatvfsErrno) return errno = fstatvfsErrno, -1;
        const int rc = Sys::fstatvfs(fd, out);
        if (rc == 0 && mountFlags) out->f_flag = *mountFlags;
        return rc;
    }
    int fstatfs(int fd, struct statfs* out) override {
        const int rc = Sys::fstatfs(fd, out);
        if (rc == 0 && pretendFuse) out->f_type = 0x65735546;
        return rc;
    }
};

class ContentReaderFaults : public ::testing::Test {
protected:
    void SetUp() override {
        if (dir.mediumUnprovable()) GTEST_SKIP() << dir.path() << " can show no read to come from the medium";
        content = randomContent(size, 41);
        file = writeFile(dir.file("f"), content);
    }
    void TearDown() override { EXPECT_EQ(sys.opens, sys.closes) << "a descriptor was left open"; }

    std::uint64_t expectedHash() const { return XXH3::hash64(content.data(), content.size()); }
    std::uint64_t windowHash(std::size_t i) const {
        const ByteRange w = SampleFP::windows(size)[i];
        return XXH3::hash64(content.data() + w.start, static_cast<std::size_t>(w.length()));
    }

    DiskDir dir;
    // Not a multiple of the block size, so that the last read is short and unaligned.
    std::int64_t size = (9 << 20) + 1234;
    std::string content;
    std::string file;
    FaultSys sys;
};

TEST_F(ContentReaderFaults, DirectReadsAreClaimedFromTheMedium) {
    AccessTimesTouched touched;
    const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched, sys);
    EXPECT_TRUE(full.fromMedium);
    EXPECT_EQ(full.digest.lo, expectedHash());
    EXPECT_GT(sys.directReads, 0);
    EXPECT_EQ(sys.bufferedReads, 0);
    EXPECT_TRUE(sys.openFlags.back() & O_NOATIME);
    EXPECT_TRUE(sys.openFlags.back() & O_NOFOLLOW);
}

// The fallback where O_DIRECT is refused, at open, at the first read, or only near the end (a
// file system whose largest file size is not block-aligned refuses a block reaching past it):
// flushed, dropped, checked.
TEST_F(ContentReaderFaults, RefusedDirectFallsBackAndStillProvesTheMedium) {
    AccessTimesTouched touched;
    for (int where = 0; where < 3; ++where) {
        FaultSys local;
        if (where == 2)
            local.refuseDirectFrom = size;
        else
            (where == 0 ? local.refuseDirectOpen : local.refuseDirectRead) = true;
        test::readThroughCache(file);
        const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched, local);
        EXPECT_TRUE(full.fromMedium) << where;
        EXPECT_EQ(full.digest, (Digest128{static_cast<std::uint64_t>(size), expectedHash()})) << where;
        EXPECT_EQ(local.directReads > 0, where == 2);
        EXPECT_GT(local.bufferedReads, 0);
        EXPECT_GT(local.mincoreCalls, 0) << "buffered reads were not checked against the cache";
        EXPECT_EQ(test::residentPagesOf(file), 0) << where;

        test::readThroughCache(file);
        const SampleFP fp = ContentReader::sampleFP(file, size, true, touched, local);
        EXPECT_TRUE(fp.cacheEvicted) << where;
        EXPECT_EQ(fp.head, windowHash(0));
        EXPECT_EQ(fp.mid, windowHash(1));
        EXPECT_EQ(fp.tail, windowHash(2));
        EXPECT_EQ(test::residentPagesOf(file), 0) << where;
        EXPECT_EQ(local.opens, local.closes);
    }
}

// Fault 1: whenever the fallback cannot show that the cache was emptied, nothing is claimed, and
// the content is still hashed correctly.
TEST_F(ContentReaderFaults, UnprovenEvictionIsNeverClaimed) {
    AccessTimesTouched touched;
    const struct {
        const char* name;
        std::function<void(FaultSys&)> fault;
    } cases[] = {
        {"a page stays resident", [](FaultSys& s) { s.oneResidentPage = true; }},
        {"fdatasync fails", [](FaultSys& s) { s.fdatasyncErrno = EIO; }},
        {"fadvise fails", [](FaultSys& s) { s.fadviseError = EINVAL; }},
        {"the residency query cannot map", [](FaultSys& s) { s.mmapFails = true; }},
    };
    for (const auto& c : cases) {
        for (bool atOpen : {true, false}) {
            FaultSys local;
            (atOpen ? local.refuseDirectOpen : local.refuseDirectRead) = true;
            c.fault(local);
            const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched, local);
            EXPECT_FALSE(full.fromMedium) << c.name;
            EXPECT_EQ(full.digest.lo, expectedHash()) << c.name;
            const SampleFP fp = ContentReader::sampleFP(file, size, true, touched, local);
            EXPECT_FALSE(fp.cacheEvicted) << c.name;
            EXPECT_EQ(fp.mid, windowHash(1)) << c.name;
            EXPECT_EQ(local.opens, local.closes) << c.name;
        }
    }
}

TEST_F(ContentReaderFaults, DirectReadsDoNotDependOnTheEviction) {
    AccessTimesTouched touched;
    // O_DIRECT reads bypass the cache by themselves; a failed flush shows up in the read itself.
    sys.fdatasyncErrno = EIO;
    sys.fadviseError = EINVAL;
    EXPECT_TRUE(ContentReader::fullHash(file, {}, {}, touched, sys).fromMedium);
    EXPECT_TRUE(ContentReader::sampleFP(file, size, true, touched, sys).cacheEvicted);
}

TEST_F(ContentReaderFaults, FuseIsNeverClaimedFromTheMedium) {
    AccessTimesTouched touched;
    sys.pretendFuse = true;
    const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched, sys);
    EXPECT_FALSE(full.fromMedium);
    EXPECT_EQ(full.digest.lo, expectedHash());
    EXPECT_FALSE(ContentReader::sampleFP(file, size, true, touched, sys).cacheEvicted);
}

TEST_F(ContentReaderFaults, EinvalAfterTheFirstReadIsAnError) {
    AccessTimesTouched touched;
    sys.failReadNumber = 2;
    sys.failReadErrno = EINVAL;
    try {
        ContentReader::fullHash(file, {}, {}, touched, sys);
        ADD_FAILURE() << "read succeeded";
    } catch (const ContentReadError& e) {
        EXPECT_EQ(e.code(), EINVAL);
    }
}

TEST_F(ContentReaderFaults, ReadErrorsCarryTheirNumber) {
    AccessTimesTouched touched;
    const int codes[] = {EIO, ENXIO, ENODEV, EACCES};
    for (int code : codes) {
        for (int form = 0; form < 2; ++form) {
            FaultSys local;
            local.failReadNumber = form == 0 ? 2 : 1;
            local.failReadErrno = code;
            try {
                if (form == 0) ContentReader::fullHash(file, {}, {}, touched, local);
                if (form == 1) ContentReader::sampleFP(file, size, true, touched, local);
                ADD_FAILURE() << "read succeeded";
            } catch (const ContentReadError& e) {
                EXPECT_EQ(e.code(), code);
                EXPECT_NE(std::string(e.what()).find(file), std::string::npos);
            }
            EXPECT_EQ(local.opens, local.closes);
        }
    }
    // A failure that left no error number is EIO, never success and never 0.
    FaultSys local;
    local.failReadNumber = 1;
    local.failReadErrno = 0;
    try {
        ContentReader::fullHash(file, {}, {}, touched, local);
        ADD_FAILURE() << "read succeeded";
    } catch (const ContentReadError& e) {
        EXPECT_EQ(e.code(), EIO);
    }
}

TEST_F(ContentReaderFaults, OpenErrorsAndTheNoatimeRetry) {
    AccessTimesTouched touched;
    sys.openErrno = EACCES;
    try {
        ContentReader::sampleFP(file, size, false, touched, sys);
        ADD_FAILURE() << "opened";
    } catch (const ContentReadError& e) {
        EXPECT_EQ(e.code(), EACCES);
    }
    EXPECT_EQ(touched.count(), 0);
}

// O_NOATIME is the owner's privilege: a file of another user is still read without it, every
// form noting the open where the mount records access times, and only there.
TEST_F(ContentReaderFaults, FilesOfAnotherUserAreReadAndNoted) {
    const struct {
        const char* what;
        bool refused;
        std::optional<unsigned long> mountFlags;
        int fstatvfsErrno;
        bool noted;
    } rows[] = {
        {"owner", false, std::nullopt, 0, false},
        {"another user, relatime", true, ST_RELATIME, 0, true},
        {"another user, strictatime", true, 0ul, 0, true},
        {"another user, nodiratime (a file still records)", true, ST_NODIRATIME, 0, true},
        {"another user, read-only", true, ST_RDONLY, 0, false},
        {"another user, noatime", true, ST_NOATIME | ST_NODIRATIME, 0, false},
        {"another user, mount unknown", true, std::nullopt, EIO, true},
    };
    for (const auto& row : rows) {
        for (int form = 0; form < 3; ++form) {
            SCOPED_TRACE(std::string(row.what) + ", form " + std::to_string(form));
            FaultSys local;
            local.refuseNoatime = row.refused;
            local.mountFlags = row.mountFlags;
            local.fstatvfsErrno = row.fstatvfsErrno;
            AccessTimesTouched touched;
            std::uint64_t hash = 0;
            if (form == 0) hash = ContentReader::fullHash(file, {}, {}, touched, local).digest.lo;
            if (form == 1) hash = ContentReader::sampleFP(file, size, true, touched, local).head;
            if (form == 2) hash = ContentReader::fullHashAndSample(file, size, {}, {}, touched, local).full.digest.lo;
            EXPECT_EQ(hash, form == 1 ? windowHash(0) : expectedHash());
            EXPECT_EQ(touched.count(), row.noted ? 1 : 0);
            ASSERT_FALSE(local.openFlags.empty());
            EXPECT_TRUE(local.openFlags.front() & O_NOATIME);
            EXPECT_EQ((local.openFlags.back() & O_NOATIME) == 0, row.refused);
            EXPECT_TRUE(local.openFlags.back() & O_DIRECT);
            EXPECT_EQ(local.opens, local.closes);
        }
    }
}

TEST_F(ContentReaderFaults, InterruptedReadsAreRetriedAndPollCancellation) {
    AccessTimesTouched touched;
    sys.interruptReads = 3;
    int polls = 0;
    const FullHashResult full = ContentReader::fullHash(file, [&] { return ++polls, false; }, {}, touched, sys);
    EXPECT_EQ(full.digest.lo, expectedHash());
    // Once per chunk (3 chunks and the read at the end) plus once per interruption.
    EXPECT_EQ(polls, 4 + 3);

    FaultSys local;
    local.interruptReads = 3;
    const SampleFP fp = ContentReader::sampleFP(file, size, true, touched, local);
    EXPECT_EQ(fp.tail, windowHash(2));

    // A stop asked for while a read is interrupted ends the read as cancelled.
    FaultSys stopping;
    stopping.interruptReads = 1000;
    int stopPolls = 0;
    EXPECT_THROW(ContentReader::fullHash(file, [&] { return ++stopPolls > 5; }, {}, touched, stopping), ContentReadCancelled);
    EXPECT_EQ(stopping.opens, stopping.closes);
}

TEST_F(ContentReaderFaults, ShortReadsAreContinued) {
    AccessTimesTouched touched;
    // Unaligned and aligned short counts, with O_DIRECT and without. (Under O_DIRECT a short count
    // below one block happens only at the end of the file.)
    for (std::int64_t limit : {std::int64_t{1000}, std::int64_t{4096}, std::int64_t{70000}}) {
        for (bool direct : {true, false}) {
            if (direct && limit < ContentReader::directAlignment) continue;
            size = 300000 + 1234;
            content = randomContent(static_cast<std::size_t>(size), 43);
            writeFile(file, content);
            FaultSys local;
            local.shortReadLimit = limit;
            local.refuseDirectOpen = !direct;
            std::int64_t progressed = 0;
            const FullHashResult full =
                ContentReader::fullHash(file, {}, [&](std::int64_t n) { progressed += n; }, touched, local);
            EXPECT_EQ(full.digest, (Digest128{static_cast<std::uint64_t>(size), expectedHash()}))
                << limit << " direct " << direct;
            EXPECT_EQ(progressed, size);
            const SampleFP fp = ContentReader::sampleFP(file, size, direct, touched, local);
            EXPECT_EQ(fp.head, windowHash(0)) << limit;
            EXPECT_EQ(fp.mid, windowHash(1)) << limit;
            EXPECT_EQ(fp.tail, windowHash(2)) << limit;
        }
    }
}

TEST_F(ContentReaderFaults, CancellationBeforeAnyReadReadsNothing) {
    AccessTimesTouched touched;
    EXPECT_THROW(ContentReader::fullHash(file, [] { return true; }, {}, touched, sys), ContentReadCancelled);
    EXPECT_EQ(sys.reads, 0);
}

}  // namespace
}  // namespace halvetrop
