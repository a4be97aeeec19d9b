#include "platform/Sys.h"

#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/xattr.h>

#include <cstdio>

namespace halvetrop {

int Sys::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int Sys::openat(int dirfd, const char* path, int flags, mode_t mode) { return ::openat(dirfd, path, flags, mode); }
int Sys::close(int fd) { return ::close(fd); }
ssize_t Sys::read(int fd, void* buf, size_t count) { return ::read(fd, buf, count); }
ssize_t Sys::pread(int fd, void* buf, size_t count, off_t offset) { return ::pread(fd, buf, count, offset); }
ssize_t Sys::write(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }
ssize_t Sys::pwrite(int fd, const void* buf, size_t count, off_t offset) { return ::pwrite(fd, buf, count, offset); }
int Sys::fsync(int fd) { return ::fsync(fd); }
int Sys::fdatasync(int fd) { return ::fdatasync(fd); }
int Sys::syncfs(int fd) { return ::syncfs(fd); }
int Sys::sync_file_range(int fd, off_t offset, off_t nbytes, unsigned int flags) {
    return ::sync_file_range(fd, offset, nbytes, flags);
}
int Sys::fstat(int fd, struct stat* st) { return ::fstat(fd, st); }
int Sys::fstatat(int dirfd, const char* path, struct stat* st, int flags) { return ::fstatat(dirfd, path, st, flags); }
int Sys::statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) {
    return ::statx(dirfd, path, flags, mask, out);
}
ssize_t Sys::getdents64(int fd, void* buf, size_t count) { return ::syscall(SYS_getdents64, fd, buf, count); }
int Sys::fstatvfs(int fd, struct statvfs* out) { return ::fstatvfs(fd, out); }
int Sys::mkdirat(int dirfd, const char* path, mode_t mode) { return ::mkdirat(dirfd, path, mode); }
int Sys::renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, unsigned flags) {
    return static_cast<int>(::syscall(SYS_renameat2, olddirfd, oldpath, newdirfd, newpath, flags));
}
int Sys::renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
    return ::renameat(olddirfd, oldpath, newdirfd, newpath);
}
int Sys::linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
    return ::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
}
int Sys::unlinkat(int dirfd, const char* path, int flags) { return ::unlinkat(dirfd, path, flags); }
int Sys::fallocate(int fd, int mode, off_t offset, off_t len) { return ::fallocate(fd, mode, offset, len); }
int Sys::posix_fadvise(int fd, off_t offset, off_t len, int advice) { return ::posix_fadvise(fd, offset, len, advice); }
int Sys::futimens(int fd, const struct timespec times[2]) { return ::futimens(fd, times); }
int Sys::ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
ssize_t Sys::flistxattr(int fd, char* list, size_t size) { return ::flistxattr(fd, list, size); }
ssize_t Sys::fgetxattr(int fd, const char* name, void* value, size_t size) { return ::fgetxattr(fd, name, value, size); }
int Sys::fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    return ::fsetxattr(fd, name, value, size, flags);
}
int Sys::fcntl(int fd, int cmd, int arg) { return ::fcntl(fd, cmd, arg); }
void* Sys::mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    return ::mmap(addr, length, prot, flags, fd, offset);
}
int Sys::munmap(void* addr, size_t length) { return ::munmap(addr, length); }
int Sys::mincore(void* addr, size_t length, unsigned char* vec) { return ::mincore(addr, length, vec); }
int Sys::fstatfs(int fd, struct statfs* out) { return ::fstatfs(fd, out); }
int Sys::ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

Sys& defaultSys() {
    static Sys instance;
    return instance;
}

}  // namespace halvetrop
