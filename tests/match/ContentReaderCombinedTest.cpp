// One full read that also yields the sampled fingerprint: it must equal, field for field, what a
// sampled read and a full read of the same file give, wherever the windows fall against the chunks.
#include "match/ContentReader.h"

#include "ContentReaderTestUtil.h"
#include "hash/XXH3.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace halvetrop {
namespace {

using test::DiskDir;
using test::randomContent;
using test::writeFile;

// Reports at most `limit` bytes of each read, so that pieces reach the windows cut anywhere.
class ShortReadSys : public Sys {
public:
    explicit ShortReadSys(std::int64_t limit) : limit_(limit) {}
    ssize_t pread(int fd, void* buf, size_t count, off_t offset) override {
        const ssize_t n = Sys::pread(fd, buf, count, offset);
        return n > limit_ ? limit_ : n;
    }

private:
    std::int64_t limit_;
};

TEST(ContentReaderCombined, EqualsTheSampledAndTheFullReadOfTheSameFile) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::int64_t chunk = static_cast<std::int64_t>(ContentReader::chunkSize);
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty", ""},
        {"one byte", randomContent(1, 1)},
        {"one window exactly", randomContent(SampleFP::wholeFileLimit, 2)},
        {"just past one window", randomContent(SampleFP::wholeFileLimit + 1, 3)},
        {"middle window across a chunk boundary", randomContent(static_cast<std::size_t>(2 * chunk + 1234), 4)},
        {"tail window across a chunk boundary", randomContent(static_cast<std::size_t>(chunk + 1000), 5)},
        {"zeros: weak windows", std::string(1 << 20, '\0')},
    };
    for (const auto& c : cases) {
        const std::string file = writeFile(dir.file("f"), c.content);
        const auto size = static_cast<std::int64_t>(c.content.size());
        const SampleFP sampled = ContentReader::sampleFP(file, size, true, touched);
        const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched);
        for (std::int64_t limit : {std::int64_t{0}, std::int64_t{70000}}) {
            ShortReadSys shortReads(limit);
            Sys& sys = limit > 0 ? shortReads : defaultSys();
            std::int64_t progressed = 0;
            const FullAndSample both =
                ContentReader::fullHashAndSample(file, size, {}, [&](std::int64_t n) { progressed += n; }, touched, sys);
            EXPECT_EQ(both.sample, sampled) << c.name << " limit " << limit;
            EXPECT_EQ(both.full.digest, full.digest) << c.name << " limit " << limit;
            EXPECT_EQ(both.full.digest.lo, XXH3::hash64(c.content.data(), c.content.size())) << c.name;
            EXPECT_EQ(progressed, size) << c.name;
            if (!dir.mediumUnprovable()) {
                EXPECT_TRUE(both.full.fromMedium) << c.name;
            }
        }
    }
}

TEST(ContentReaderCombined, AFileShorterThanItsWindowsIsEio) {
    AccessTimesTouched touched;
    DiskDir dir;
    const std::string file = writeFile(dir.file("f"), randomContent(500000, 7));
    try {
        ContentReader::fullHashAndSample(file, 600000, {}, {}, touched);
        ADD_FAILURE() << "read succeeded";
    } catch (const ContentReadError& e) {
        EXPECT_EQ(e.code(), EIO);
    }
    EXPECT_THROW(ContentReader::fullHashAndSample(file, -1, {}, {}, touched), ContentReadError);
    EXPECT_THROW(ContentReader::fullHashAndSample(file, 500000, [] { return true; }, {}, touched), ContentReadCancelled);
}

}  // namespace
}  // namespace halvetrop
