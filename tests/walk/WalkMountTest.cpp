// Mount points inside a walked tree: not crossed by default, crossed on request. Needs root.
#include "walk/BulkWalker.h"

#include "support/LoopVolume.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/mount.h>

namespace halvetrop {
namespace {

using test::LoopVolume;
using test::TempDir;

// A bind mount made by the test, undone even when an assertion fails.
struct BindMount {
    std::string target;
    bool ok = false;
    BindMount(const std::string& from, const std::string& to) : target(to) { ok = ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0; }
    ~BindMount() {
        if (ok && ::umount(target.c_str()) != 0) ::umount2(target.c_str(), MNT_DETACH);
    }
};

std::set<std::string> listed(const WalkResult& r) {
    std::set<std::string> out;
    for (std::size_t i = 1; i < r.directories.size(); ++i) out.insert(r.directories[i].relativePath + "/");
    for (const WalkEntry& e : r.entries) out.insert(r.relativePath(e));
    return out;
}

TEST(WalkMounts, OtherVolumesAreListedOnlyWhenAsked) {
    std::string reason;
    if (!LoopVolume::available(&reason, LoopVolume::Type::tmpfs)) GTEST_SKIP() << reason;
    TempDir t("walkmount");
    t.write("card/DCIM/a.jpg", "a");
    t.mkdir("card/mounted");
    t.mkdir("card/bound");
    t.write("elsewhere/b.jpg", "b");

    LoopVolume other(LoopVolume::Type::tmpfs, 1 << 20, "", "");
    {
        // Put a file on the tmpfs, then mount it over card/mounted.
        std::string out;
        ASSERT_EQ(test::runShell("echo x > '" + other.mountPoint() + "/on-other.jpg'"), 0);
    }
    BindMount onTmpfs(other.mountPoint(), t / "card/mounted");
    ASSERT_TRUE(onTmpfs.ok);
    // Same file system, same device number: only the mount-root flag tells it is another mount.
    BindMount sameDevice(t / "elsewhere", t / "card/bound");
    ASSERT_TRUE(sameDevice.ok);

    const struct {
        bool cross;
        std::set<std::string> expected;
    } cases[] = {
        {false, {"DCIM/", "DCIM/a.jpg"}},
        {true, {"DCIM/", "DCIM/a.jpg", "mounted/", "mounted/on-other.jpg", "bound/", "bound/b.jpg"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cross ? "crossing" : "not crossing");
        BulkWalker::Options o;
        o.crossMountPoints = c.cross;
        BulkWalker w(o);
        WalkResult r = w.walk(t / "card");
        EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(listed(r), c.expected);
    }
}

}  // namespace
}  // namespace halvetrop
