#include "platform/Errors.h"
#include "platform/Fd.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace halvetrop;

TEST(Errors, MessagesReadAsOperationPathAndSystemText) {
    EXPECT_EQ(systemCallMessage("open", "/media/card/A.JPG", ENOENT), "open /media/card/A.JPG: No such file or directory");
    EXPECT_EQ(errorText(ENOSPC), "No space left on device");
    EXPECT_FALSE(errorText(99999).empty());
}

TEST(Errors, AFailureWithoutErrnoReadsAsIoError) {
    errno = 0;
    EXPECT_EQ(currentError(), EIO);
    errno = EACCES;
    EXPECT_EQ(currentError(), EACCES);
}

namespace {
struct CountingSys : Sys {
    int closes = 0;
    int close(int fd) override {
        ++closes;
        return Sys::close(fd);
    }
};
}  // namespace

TEST(UniqueFd, ClosesThroughItsSeamExactlyOnce) {
    CountingSys sys;
    {
        UniqueFd a(sys.open("/dev/null", O_RDONLY), sys);
        ASSERT_TRUE(a.valid());
        UniqueFd b = std::move(a);
        EXPECT_FALSE(a.valid());
        EXPECT_TRUE(b.valid());
    }
    EXPECT_EQ(sys.closes, 1);
}
