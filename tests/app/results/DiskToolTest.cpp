#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "results/DiskTool.h"

namespace halvetrop {
namespace {

// Desktop entries in a folder of their own, the only one GIO looks in.
class DiskToolTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::filesystem::temp_directory_path() / ("hv-disktool-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir / "applications");
        entry("hv-test-works.desktop", "/bin/true");
        entry("hv-test-broken.desktop", "/nonexistent/disks");
        ::setenv("XDG_DATA_DIRS", dir.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "home").c_str(), 1);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }
    static void entry(const std::string& id, const std::string& exec) {
        std::ofstream(dir / "applications" / id)
            << "[Desktop Entry]\nType=Application\nName=Disks\nExec=" << exec << "\n";
    }
    static inline std::filesystem::path dir;
};

TEST_F(DiskToolTest, FirstInstalledToolStartsElseANoticeSaysWhy) {
    struct Row {
        std::vector<std::string> ids;
        const char* noticeStart;  // nullptr: a tool started
    };
    const Row rows[] = {
        {{"hv-test-missing.desktop", "hv-test-works.desktop"}, nullptr},
        {{"hv-test-missing.desktop", "hv-test-gone.desktop"}, "Disks isn't installed."},
        // An entry whose program is gone counts as not installed: the next choice starts.
        {{"hv-test-broken.desktop", "hv-test-works.desktop"}, nullptr},
        {{"hv-test-broken.desktop"}, "Disks isn't installed."},
    };
    for (const Row& row : rows) {
        const auto notice = DesktopDiskTool(row.ids).open();
        if (!row.noticeStart)
            EXPECT_FALSE(notice) << *notice;
        else {
            ASSERT_TRUE(notice) << row.ids.front();
            EXPECT_EQ(notice->rfind(row.noticeStart, 0), 0u) << *notice;
        }
    }
}

}  // namespace
}  // namespace halvetrop
