// Opening files below folders nested deeper than one path may name, on a real tree.
#include "platform/LongPath.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace halvetrop {
namespace {

std::string contentOf(int fd) {
    char buf[64] = {};
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

TEST(OpenLongPath, ReachesDeepFilesAsOneOpenWould) {
    test::TempDir dir("longpath");
    int folder = -1;
    const std::string deep = test::makeDeepFolders(dir.path(), PATH_MAX + 300, &folder);
    const std::string relative = deep.substr(dir.path().size() + 1);
    const int file = ::openat(folder, "photo.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(file, "deep", 4), 4);
    ::close(file);
    ASSERT_EQ(::symlinkat("photo.jpg", folder, "link.jpg"), 0);
    ::close(folder);
    // A folder link at the shallow end, inside the first piece of a long path.
    const std::string first = relative.substr(0, relative.find('/'));
    ASSERT_EQ(::symlink(first.c_str(), (dir.path() + "/folder-link").c_str()), 0);

    const struct {
        const char* what;
        std::string path;
        int flags;
        int error;  // 0: opens and reads "deep"
    } cases[] = {
        {"absolute", deep + "/photo.jpg", O_RDONLY, 0},
        {"relative to the working folder", relative + "/photo.jpg", O_RDONLY, 0},
        {"doubled slashes", dir.path() + "//" + relative + "//photo.jpg", O_RDONLY, 0},
        {"through a folder link", dir.path() + "/folder-link" + relative.substr(first.size()) + "/photo.jpg", O_RDONLY | O_NOFOLLOW, 0},
        {"a file link followed", deep + "/link.jpg", O_RDONLY, 0},
        {"a file link refused", deep + "/link.jpg", O_RDONLY | O_NOFOLLOW, ELOOP},
        {"missing", deep + "/none.jpg", O_RDONLY, ENOENT},
        {"one component too long", dir.path() + "/" + std::string(PATH_MAX, 'x') + "/photo.jpg", O_RDONLY, ENAMETOOLONG},
    };
    char* const home = ::getcwd(nullptr, 0);
    ASSERT_NE(home, nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GE(c.path.size(), size_t{PATH_MAX});
        errno = 0;
        const int fd = openLongPath(defaultSys(), c.path, c.flags | O_CLOEXEC);
        if (c.error == 0) {
            ASSERT_GE(fd, 0) << errno;
            EXPECT_EQ(contentOf(fd), "deep");
            ::close(fd);
        } else {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(errno, c.error);
        }
    }
    EXPECT_EQ(::chdir(home), 0);
    ::free(home);
}

}  // namespace
}  // namespace halvetrop
