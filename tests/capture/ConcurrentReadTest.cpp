#include "capture/CaptureReader.h"

#include "PhotoFixtures.h"
#include "ZoneGuard.h"
#include "report/StoredForm.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace halvetrop {
namespace {

using test::be32Bytes;
using test::box;

// Many workers date the same files at once, as the card scan does; every answer must equal the
// one a single thread gets. The zone is set once, before any worker starts.
TEST(CaptureReaderConcurrency, ParallelReadsAgreeWithSequentialOnes) {
    AccessTimesTouched touched;
    test::ZoneGuard zone("Europe/Berlin");
    test::TempDir dir("parallel");
    std::vector<std::pair<std::string, MediaKind>> files;
    int n = 0;
    for (int round = 0; round < 12; ++round) {
        for (test::Container c : test::allContainers()) {
            test::PhotoTags tags;
            tags.dateTimeOriginal = "2024:03:31 0" + std::to_string(round % 4) + ":30:00";  // some in the gap
            if (round % 2) tags.offsetTimeOriginal = "+01:00";
            tags.model = "M" + std::to_string(round);
            tags.imageUniqueID = "U" + std::to_string(n);
            files.emplace_back(dir.write("P" + std::to_string(n++) + test::extensionOf(c), test::buildPhoto(c, tags)),
                               MediaKind::photo);
        }
        const std::string mvhd = box("mvhd", std::string(4, '\0') + be32Bytes(3794690000u + round * 3600u) + std::string(84, '\0'));
        const std::string movie = box("ftyp", "mp42") + box("mdat", std::string(64, 'x')) + box("moov", mvhd);
        files.emplace_back(dir.write((round % 2 ? "GX0" : "C0") + std::to_string(round) + ".MP4", movie), MediaKind::video);
        const std::string clip = dir.write("S" + std::to_string(round) + ".MP4", movie);
        dir.write("S" + std::to_string(round) + "M01.XML",
                  "<NonRealTimeMeta><CreationDate value=\"2024-10-27T02:30:0" + std::to_string(round % 10) +
                      "\"/><Device modelName=\"ILCE\" serialNo=\"1\"/></NonRealTimeMeta>");
        files.emplace_back(clip, MediaKind::video);
        files.emplace_back(dir.write("A" + std::to_string(round) + ".WAV", "RIFF"), MediaKind::audio);
    }
    std::vector<CaptureInfo> expected;
    for (const auto& [path, kind] : files) expected.push_back(CaptureReader::read(path, kind, 1'700'000'000'000'000'000, touched));

    constexpr int kWorkers = 6;
    std::vector<std::vector<CaptureInfo>> got(kWorkers, std::vector<CaptureInfo>(files.size()));
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int pass = 0; pass < 5; ++pass) {
                for (size_t k = 0; k < files.size(); ++k) {
                    const size_t i = (k + static_cast<size_t>(w) * 37 + static_cast<size_t>(pass) * 11) % files.size();  // each its own order
                    got[w][i] = CaptureReader::read(files[i].first, files[i].second, 1'700'000'000'000'000'000, touched);
                    (void)got[w][i].day();
                }
            }
        });
    }
    for (auto& t : workers) t.join();
    for (int w = 0; w < kWorkers; ++w)
        for (size_t i = 0; i < files.size(); ++i)
            EXPECT_TRUE(got[w][i] == expected[i])
                << files[i].first << ": " << toStoredJson(got[w][i]) << " != " << toStoredJson(expected[i]);
    // The set really exercises every reader.
    size_t sources[5] = {};
    for (const CaptureInfo& info : expected) ++sources[static_cast<size_t>(info.source)];
    EXPECT_GT(sources[static_cast<size_t>(DateSource::exif)], 0u);
    EXPECT_GT(sources[static_cast<size_t>(DateSource::sonyClipXML)], 0u);
    EXPECT_GT(sources[static_cast<size_t>(DateSource::quickTime)], 0u);
    EXPECT_GT(sources[static_cast<size_t>(DateSource::fileModified)], 0u);
}

}  // namespace
}  // namespace halvetrop
