#include "match/ContentReader.h"

#include "ContentReaderTestUtil.h"
#include "hash/XXH3.h"
#include "hash/XXHash64.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <functional>

namespace halvetrop {
namespace {

using test::DiskDir;
using test::randomContent;
using test::writeFile;

std::string hex(std::uint64_t v) { return XXHash64::hex(v); }

TEST(ContentReaderSample, WindowsEqualTheShellOracle) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::int64_t sizes[] = {0, 1, 4097, 100 * 1024, 196608, 196609, (1 << 20) + 123, 10000000};
    for (std::int64_t size : sizes) {
        const std::string file = writeFile(dir.file(std::to_string(size)), randomContent(size, size + 1));
        for (bool fromDevice : {false, true}) {
            const SampleFP fp = ContentReader::sampleFP(file, size, fromDevice, touched);
            const std::vector<ByteRange> windows = SampleFP::windows(size);
            const std::uint64_t hashes[3] = {fp.head, fp.mid, fp.tail};
            EXPECT_EQ(fp.version, 1);
            EXPECT_EQ(fp.wholeFile, windows.size() == 1) << size;
            for (std::size_t i = 0; i < 3; ++i) {
                const ByteRange w = windows[windows.size() == 1 ? 0 : i];
                const auto expected = test::windowOracle(file, w.start, w.length());
                ASSERT_TRUE(expected.has_value());
                EXPECT_EQ(hex(hashes[i]), *expected) << "size " << size << " window " << i << " device " << fromDevice;
            }
        }
    }
}

TEST(ContentReaderSample, StrengthFollowsWindowVariety) {
    AccessTimesTouched touched;
    DiskDir dir;
    const auto patterned = [](std::size_t length, int distinct) {
        std::string bytes(length, '\0');
        for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i % distinct);
        return bytes;
    };
    std::string zeroMiddle = randomContent(1 << 20, 7);
    const std::int64_t middleStart = SampleFP::windows(1 << 20)[1].start;
    std::fill_n(zeroMiddle.begin() + middleStart, SampleFP::window, '\0');
    std::string zeroTailByte = randomContent(1 << 20, 8);
    zeroTailByte.back() = '\0';  // one byte changed changes nothing about variety

    const struct {
        const char* name;
        std::string bytes;
        bool strong;
        bool wholeFile;
    } cases[] = {
        {"100 KiB of zeros", std::string(100 * 1024, '\0'), true, true},
        {"1 MiB of zeros", std::string(1 << 20, '\0'), false, false},
        {"1 MiB random", randomContent(1 << 20, 9), true, false},
        {"1 MiB random, zero middle window", zeroMiddle, false, false},
        {"1 MiB random, last byte zero", zeroTailByte, true, false},
        {"1 MiB of 31 byte values", patterned(1 << 20, 31), false, false},
        {"1 MiB of 32 byte values", patterned(1 << 20, 32), true, false},
        {"empty", std::string(), true, true},
    };
    for (const auto& c : cases) {
        const std::string file = writeFile(dir.file("strength"), c.bytes);
        const SampleFP fp = ContentReader::sampleFP(file, static_cast<std::int64_t>(c.bytes.size()), false, touched);
        EXPECT_EQ(fp.strong, c.strong) << c.name;
        EXPECT_EQ(fp.wholeFile, c.wholeFile) << c.name;
        if (c.wholeFile) {
            EXPECT_EQ(fp.head, XXH3::hash64(c.bytes.data(), c.bytes.size())) << c.name;
            EXPECT_EQ(fp.mid, fp.head);
            EXPECT_EQ(fp.tail, fp.head);
        }
    }
}

TEST(ContentReaderSample, SizeFromTheWalkDecidesTheWindows) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string content = randomContent(600000, 10);
    const std::string file = writeFile(dir.file("grown"), content);
    const std::string truncated = writeFile(dir.file("short"), content.substr(0, 400000));
    for (bool fromDevice : {false, true}) {
        // A file longer than the walk saw: only the windows of the walked size.
        SampleFP grown = ContentReader::sampleFP(file, 400000, fromDevice, touched);
        SampleFP exact = ContentReader::sampleFP(truncated, 400000, fromDevice, touched);
        EXPECT_EQ(grown, exact);
        // A file shorter than the walk saw ends inside a window: EIO.
        try {
            ContentReader::sampleFP(truncated, 600000, fromDevice, touched);
            ADD_FAILURE() << "a short file gave a fingerprint";
        } catch (const ContentReadError& e) {
            EXPECT_EQ(e.code(), EIO);
        }
        // Shorter by a single byte, inside the whole-file window.
        const std::string tiny = writeFile(dir.file("tiny"), "abc");
        EXPECT_THROW(ContentReader::sampleFP(tiny, 4, fromDevice, touched), ContentReadError);
    }
}

TEST(ContentReaderSample, EmptyFileFromDeviceCountsAsEvicted) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string file = writeFile(dir.file("empty"), "");
    const SampleFP device = ContentReader::sampleFP(file, 0, true, touched);
    const SampleFP cached = ContentReader::sampleFP(file, 0, false, touched);
    EXPECT_TRUE(device.cacheEvicted);
    EXPECT_FALSE(cached.cacheEvicted);
    for (const SampleFP& fp : {device, cached}) {
        EXPECT_TRUE(fp.wholeFile);
        EXPECT_TRUE(fp.strong);
        EXPECT_EQ(fp.head, XXH3::hash64(nullptr, 0));
        EXPECT_EQ(fp.mid, fp.head);
        EXPECT_EQ(fp.tail, fp.head);
    }
}

TEST(ContentReaderFull, DigestEqualsOracleForAlignedAndUnalignedSizes) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::size_t sizes[] = {0,       1,           511,     4095,          4096,
                                 4097,    65536 + 17,  4 << 20, (4 << 20) + 1, (9 << 20) + 4093};
    for (std::size_t size : sizes) {
        const std::string file = writeFile(dir.file(std::to_string(size)), randomContent(size, size + 3));
        std::int64_t progressed = 0;
        int progressCalls = 0;
        int pollCalls = 0;
        const FullHashResult result = ContentReader::fullHash(
            file, [&] { return ++pollCalls, false; },
            [&](std::int64_t n) {
                EXPECT_GT(n, 0);
                progressed += n;
                ++progressCalls;
            }, touched);
        const auto expected = test::fileOracle(file);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(hex(result.digest.lo), *expected) << size;
        EXPECT_EQ(result.digest.hi, size);
        EXPECT_EQ(progressed, static_cast<std::int64_t>(size));
        EXPECT_GE(progressCalls, static_cast<int>((size + ContentReader::chunkSize - 1) / ContentReader::chunkSize));
        if (size == 0) {
            EXPECT_EQ(progressCalls, 0);
            EXPECT_EQ(pollCalls, 1);
        }
    }
}

TEST(ContentReaderFull, EmptyCallbacksAreAllowed) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string content = randomContent(12345, 4);
    const std::string file = writeFile(dir.file("f"), content);
    const FullHashResult result = ContentReader::fullHash(file, {}, {}, touched);
    EXPECT_EQ(result.digest, (Digest128{12345, XXH3::hash64(content.data(), content.size())}));
}

TEST(ContentReaderFull, CancellationIsItsOwnError) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string file = writeFile(dir.file("big"), randomContent((9 << 20) + 5, 5));
    int progressCalls = 0;
    // At once: nothing is read.
    EXPECT_THROW(ContentReader::fullHash(file, [] { return true; }, [&](std::int64_t) { ++progressCalls; }, touched),
                 ContentReadCancelled);
    EXPECT_EQ(progressCalls, 0);
    // After the first chunk: stops within one chunk, and is not a read error.
    int polls = 0;
    try {
        ContentReader::fullHash(file, [&] { return ++polls > 1; }, [&](std::int64_t) { ++progressCalls; }, touched);
        ADD_FAILURE() << "not cancelled";
    } catch (const ContentReadError& e) {
        ADD_FAILURE() << "cancellation reported as error " << e.code();
    } catch (const ContentReadCancelled&) {
    }
    EXPECT_EQ(progressCalls, 1);
}

TEST(ContentReaderOpen, FailuresCarryTheSystemErrorNumber) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string target = writeFile(dir.file("target"), "content");
    ASSERT_EQ(::symlink(target.c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    const struct {
        std::string path;
        int code;
    } cases[] = {
        {dir.file("missing"), ENOENT},
        {dir.file("folder"), EISDIR},
        {dir.file("link"), ELOOP},  // never follows a link to content elsewhere
        {dir.file("fifo"), EINVAL},  // and never blocks on one
        {dir.file("target/below"), ENOTDIR},
    };
    for (const auto& c : cases) {
        for (int form = 0; form < 3; ++form) {
            try {
                if (form == 0) ContentReader::sampleFP(c.path, 7, false, touched);
                if (form == 1) ContentReader::sampleFP(c.path, 7, true, touched);
                if (form == 2) ContentReader::fullHash(c.path, {}, {}, touched);
                ADD_FAILURE() << c.path << " was read";
            } catch (const ContentReadError& e) {
                EXPECT_EQ(e.code(), c.code) << c.path << " form " << form;
                EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
            }
        }
    }
}

// The walk reaches files nested deeper than one path may name; every form of reading reaches them
// too, from the medium, and a link at the end is still refused.
TEST(ContentReaderOpen, FilesBelowFoldersDeeperThanOnePathAreRead) {
    AccessTimesTouched touched;
    DiskDir dir;
    int at = -1;
    const std::string deep = test::makeDeepFolders(dir.path(), PATH_MAX + 100, &at);
    const std::string content = randomContent((1 << 20) + 4321, 77);
    const int out = ::openat(at, "DSC01.ARW", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(out, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(out);
    ASSERT_EQ(::symlinkat("DSC01.ARW", at, "link.ARW"), 0);
    ::close(at);

    const std::string file = deep + "/DSC01.ARW";
    const auto size = static_cast<std::int64_t>(content.size());
    const Digest128 expected{content.size(), XXH3::hash64(content.data(), content.size())};
    const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched);
    EXPECT_EQ(full.digest, expected);
    EXPECT_EQ(full.fromMedium, !dir.mediumUnprovable());
    const SampleFP fp = ContentReader::sampleFP(file, size, true, touched);
    EXPECT_EQ(fp.tail, XXH3::hash64(content.data() + size - SampleFP::window, SampleFP::window));
    EXPECT_EQ(ContentReader::fullHashAndSample(file, size, {}, {}, touched).sample, fp);
    try {
        ContentReader::sampleFP(deep + "/link.ARW", size, false, touched);
        ADD_FAILURE() << "a link was followed";
    } catch (const ContentReadError& e) {
        EXPECT_EQ(e.code(), ELOOP);
    }
}

// A read held to the object a walk found reads only that object, through the mount it was found
// through: by every form, a file put in its place with the same bytes, or the same file reached
// through another mount, is refused before anything is read, and what was opened instead is told.
TEST(ContentReaderOpen, AReadHeldToAnObjectRefusesAnyOther) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string content = randomContent(300000, 9);
    const auto size = static_cast<std::int64_t>(content.size());
    const std::string file = writeFile(dir.file("DSC01.ARW"), content);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    const int folder = ::open(dir.path().c_str(), O_PATH | O_CLOEXEC);
    const std::optional<HeldObject> place = heldObject(defaultSys(), folder);
    ::close(folder);
    ASSERT_TRUE(place);
    ASSERT_NE(place->mount.id, 0u);
    const HeldObject found{st.st_dev, st.st_ino, place->mount};
    HeldObject elsewhere = found;
    elsewhere.mount.id += 1;

    const auto readEach = [&](const FileAt& at, const std::function<void(const ContentReadReplaced&)>& refused) {
        for (int form = 0; form < 4; ++form) {
            SCOPED_TRACE(form);
            try {
                if (form == 0) ContentReader::sampleFP(at, size, false, touched);
                if (form == 1) ContentReader::sampleWithDigest(at, size, true, touched);
                if (form == 2) ContentReader::fullHash(at, {}, {}, touched);
                if (form == 3) ContentReader::fullHashAndSample(at, size, {}, {}, touched);
                if (refused) ADD_FAILURE() << "read";
            } catch (const ContentReadReplaced& e) {
                if (!refused) ADD_FAILURE() << e.what();
                else refused(e);
            }
        }
    };
    readEach(FileAt{file, found}, {});
    readEach(FileAt{file, elsewhere}, [&](const ContentReadReplaced& e) { EXPECT_EQ(e.held(), found); });

    const std::string again = writeFile(dir.file("again"), content);
    ASSERT_EQ(::rename(again.c_str(), file.c_str()), 0);
    readEach(FileAt{file, found}, [&](const ContentReadReplaced& e) {
        EXPECT_NE(e.held().inode, found.inode);
        EXPECT_EQ(e.held().mount, found.mount);
        EXPECT_EQ(e.code(), ESTALE);
    });
    // Without an object to hold to, the path is read as it leads.
    readEach(FileAt{file}, {});
}

TEST(ContentReaderOpen, RawNameBytesAreOpenedAndRepairedOnlyForText) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string name = "caf\xC3\xA9-\xFF\xFE.jpg";  // valid é, then bytes that are not UTF-8
    const std::string content = randomContent(3000, 6);
    const std::string file = writeFile(dir.file(name), content);
    EXPECT_EQ(ContentReader::fullHash(file, {}, {}, touched).digest.lo, XXH3::hash64(content.data(), content.size()));
    try {
        ContentReader::fullHash(dir.file("gone-\xFF"), {}, {}, touched);
        ADD_FAILURE() << "missing file read";
    } catch (const ContentReadError& e) {
        EXPECT_NE(std::string(e.what()).find("gone-\xEF\xBF\xBD"), std::string::npos) << e.what();
    }
}

// What fault 1 is about: a digest or fingerprint that says "from the medium" must leave none of
// the file's pages in the cache, even right after the file was written (its pages dirty in memory).
TEST(ContentReaderMedium, ReadsFromTheMediumLeaveNoPageResident) {
    AccessTimesTouched touched;
    DiskDir dir;
    if (dir.mediumUnprovable()) GTEST_SKIP() << dir.path() << " can show no read to come from the medium";
    const std::string content = randomContent((5 << 20) + 333, 11);

    const std::string full = writeFile(dir.file("full"), content);
    ASSERT_GT(test::residentPagesOf(full), 0) << "a just-written file should be cached";
    const FullHashResult result = ContentReader::fullHash(full, {}, {}, touched);
    EXPECT_TRUE(result.fromMedium);
    EXPECT_EQ(result.digest.lo, XXH3::hash64(content.data(), content.size()));
    EXPECT_EQ(test::residentPagesOf(full), 0);
    EXPECT_EQ(test::fincoreBytes(full), 0LL);

    const std::string sampled = writeFile(dir.file("sampled"), content);
    test::readThroughCache(sampled);
    const SampleFP fp = ContentReader::sampleFP(sampled, static_cast<std::int64_t>(content.size()), true, touched);
    EXPECT_TRUE(fp.cacheEvicted);
    EXPECT_EQ(test::residentPagesOf(sampled), 0);
    EXPECT_EQ(test::fincoreBytes(sampled), 0LL);

    // Not asked to come from the device: never claimed, and the cache is left alone.
    test::readThroughCache(sampled);
    const SampleFP cached = ContentReader::sampleFP(sampled, static_cast<std::int64_t>(content.size()), false, touched);
    EXPECT_FALSE(cached.cacheEvicted);
    EXPECT_EQ(cached.head, fp.head);
    EXPECT_EQ(cached.mid, fp.mid);
    EXPECT_EQ(cached.tail, fp.tail);
    EXPECT_GT(test::residentPagesOf(sampled), 0);
}

TEST(ContentReaderMedium, ResidentPagesAgreesWithFincore) {
    AccessTimesTouched touched;
    DiskDir dir;
    if (dir.mediumUnprovable()) GTEST_SKIP() << dir.path() << " can show no read to come from the medium";
    const std::string file = writeFile(dir.file("f"), randomContent(1 << 20, 12));
    test::readThroughCache(file);
    const auto cachedBytes = test::fincoreBytes(file);
    ASSERT_TRUE(cachedBytes.has_value());
    EXPECT_EQ(test::residentPagesOf(file) * 4096, *cachedBytes);
    ContentReader::fullHash(file, {}, {}, touched);
    EXPECT_EQ(test::residentPagesOf(file), 0);
    EXPECT_EQ(test::fincoreBytes(file), 0LL);
    // A range inside the file: only its pages count.
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    // Without read-ahead only the pages read come into the cache.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    char first[8192];
    ASSERT_EQ(::pread(fd, first, sizeof first, 0), 8192);
    EXPECT_GT(PageCache::residentPages(defaultSys(), fd, 0, 8192), 0);
    EXPECT_EQ(PageCache::residentPages(defaultSys(), fd, 512 * 1024, 65536), 0);
    EXPECT_EQ(PageCache::residentPages(defaultSys(), fd, 0, 0), 0);
    ::close(fd);
}

TEST(ContentReaderMedium, CachedSamplesBringInLittleMoreThanTheirWindows) {
    AccessTimesTouched touched;
    DiskDir dir;
    if (dir.mediumUnprovable()) GTEST_SKIP() << dir.path() << " can show no read to come from the medium";
    const std::int64_t size = 16 << 20;
    const std::string file = writeFile(dir.file("clip.mp4"), randomContent(static_cast<std::size_t>(size), 31));
    ContentReader::fullHash(file, {}, {}, touched);  // leaves none of its pages behind
    ASSERT_EQ(test::residentPagesOf(file), 0);
    ContentReader::sampleFP(file, size, false, touched);
    std::int64_t windowBytes = 0;
    for (const ByteRange& w : SampleFP::windows(size)) windowBytes += w.length();
    // Read-ahead would fetch well past each window; allow one page of slack at each window end.
    const std::int64_t slack = 2 * 4096 * static_cast<std::int64_t>(SampleFP::windows(size).size());
    EXPECT_LE(test::residentPagesOf(file) * 4096, windowBytes + slack);
}

}  // namespace
}  // namespace halvetrop
