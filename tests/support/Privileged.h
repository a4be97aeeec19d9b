#pragma once
// Root's rights for the few commands that build and take down a test's volumes (mkfs, losetup,
// mount, umount, sysfs writes). A suite runs either as root, or as an ordinary user with a root
// helper its launcher keeps (halvetrop-test-launch --as-user): then everything but these
// commands runs as that user, as the application does on a desktop.
#include <string>
#include <sys/types.h>

namespace halvetrop::test {

// This run plays an ordinary user with a root helper.
bool playsUser();

// Root, or an ordinary user with the helper: volumes can be built.
bool canRunAsRoot(std::string* reason = nullptr);

// Whether this run must build its real volumes (HALVETROP_REQUIRE_VOLUMES=1, which CI sets): a
// case that cannot build one (no root, zram, loop devices, FUSE or device manager, or a volume
// that fails to come up) then fails instead of being skipped. A user's run without it skips with
// the reason.
bool volumesRequired();
// Gives the reason back for the skip; where volumes are required, first writes a line of its own
// saying so, which fails the suite under ctest (FAIL_REGULAR_EXPRESSION in tests/CMakeLists.txt).
const std::string& volumesUnavailable(const std::string& reason);

// Runs a shell command with root's rights; returns its exit status (-1 when it could not run),
// its stdout and stderr together in *out.
int runAsRoot(const std::string& command, std::string* out = nullptr);

// The same, throwing std::runtime_error with the command and its output when it fails; returns the
// output without its trailing newline.
std::string runAsRootOrThrow(const std::string& command);

// The user the suite's files belong to: the played user, else this process's own.
uid_t testUid();
gid_t testGid();

// Makes a freshly mounted volume's root folder the test user's, as a desktop mounts a card for
// its user. Nothing to do when the suite runs as root.
void giveToTestUser(const std::string& path);

// A fresh folder "halvetrop-TAG-XXXXXX" in parent for a volume to be mounted on, open to everyone to
// look into. Made by the test's user where it may write there, else by root (as a desktop's mount
// points under /media are); *byRoot says which, for removeMountFolder.
std::string makeMountFolder(const std::string& parent, const std::string& tag, bool* byRoot);
// Removes such a folder once nothing is mounted on it (only an empty folder goes).
void removeMountFolder(const std::string& path, bool byRoot) noexcept;

// Asks the device database (when a daemon keeps it) to read the device again and waits until it
// gives the type, UUID and label the superblock gives: a freshly made file system's label and UUID
// are then known to an ordinary user.
void refreshDeviceDatabase(const std::string& device);
// Whether a device manager (udev) runs here, announcing what it reads again.
bool deviceManagerRuns();
// Takes the device out of the device database, as before the device manager first described it:
// an ordinary user then knows neither its label nor its UUID, until refreshDeviceDatabase.
void forgetInDeviceDatabase(const std::string& device);

}  // namespace halvetrop::test
