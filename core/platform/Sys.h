#pragma once
// The one seam between the core and the kernel. Every system call that a fault test must be able
// to fail goes through a Sys; the default instance calls libc directly. Calls keep libc's
// contract exactly: -1 (or the documented failure value) with errno set.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace halvetrop {

class Sys {
public:
    virtual ~Sys() = default;

    virtual int open(const char* path, int flags, mode_t mode = 0);
    virtual int openat(int dirfd, const char* path, int flags, mode_t mode = 0);
    virtual int close(int fd);
    virtual ssize_t read(int fd, void* buf, size_t count);
    virtual ssize_t pread(int fd, void* buf, size_t count, off_t offset);
    virtual ssize_t write(int fd, const void* buf, size_t count);
    virtual ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset);
    virtual int fsync(int fd);
    virtual int fdatasync(int fd);
    virtual int syncfs(int fd);
    virtual int sync_file_range(int fd, off_t offset, off_t nbytes, unsigned int flags);
    virtual int fstat(int fd, struct stat* st);
    virtual int fstatat(int dirfd, const char* path, struct stat* st, int flags);
    virtual int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out);
    virtual ssize_t getdents64(int fd, void* buf, size_t count);
    virtual int fstatvfs(int fd, struct statvfs* out);
    virtual int mkdirat(int dirfd, const char* path, mode_t mode);
    virtual int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, unsigned flags);
    virtual int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath);
    virtual int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags);
    virtual int unlinkat(int dirfd, const char* path, int flags);
    virtual int fallocate(int fd, int mode, off_t offset, off_t len);
    // Returns an error number (0 on success), as posix_fadvise does.
    virtual int posix_fadvise(int fd, off_t offset, off_t len, int advice);
    virtual int futimens(int fd, const struct timespec times[2]);
    virtual int ftruncate(int fd, off_t length);
    virtual ssize_t flistxattr(int fd, char* list, size_t size);
    virtual ssize_t fgetxattr(int fd, const char* name, void* value, size_t size);
    virtual int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags);
    // The integer-argument form of fcntl (F_GETFL, F_SETFL and the like).
    virtual int fcntl(int fd, int cmd, int arg = 0);
    virtual void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
    virtual int munmap(void* addr, size_t length);
    virtual int mincore(void* addr, size_t length, unsigned char* vec);
    virtual int fstatfs(int fd, struct statfs* out);
    // The pointer form of ioctl (FS_IOC_FIEMAP and the like).
    virtual int ioctl(int fd, unsigned long request, void* arg);
};

// The libc-backed instance. It holds no state, so sharing it between threads is safe.
Sys& defaultSys();

}  // namespace halvetrop
