#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace halvetrop::test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it when the object dies.
class TempDir {
public:
    explicit TempDir(std::string_view tag = "t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string operator/(std::string_view relative) const;

    // Creates parent folders as needed and writes the bytes; returns the full path.
    std::string write(std::string_view relative, std::string_view bytes) const;
    std::string mkdir(std::string_view relative) const;

private:
    std::string path_;
};

// Reads a whole file; fails the current test when it cannot.
std::string readFile(const std::string& path);

// Runs a shell command, returns its exit status (or -1); stdout is captured into *out when given.
int runShell(const std::string& command, std::string* out = nullptr);

// The text as one single-quoted shell word.
std::string shellQuote(const std::string& text);

// Runs a shell command with its stderr folded into its output; returns the output without its
// trailing newline, or throws std::runtime_error with the command and output when it fails.
std::string runOrThrow(const std::string& command);

// A fresh folder "halvetrop-TAG-XXXXXX" in parent ("" = $TMPDIR or /tmp); throws when it cannot.
// Not removed by anyone but the caller.
std::string makeTempFolder(const std::string& parent, std::string_view tag);
// Folders nested under `parent` until the full path is longer than `longerThan` bytes (made
// relative to a descriptor, since no single path can name them); returns that full path, and the
// deepest folder's open descriptor (the caller's to close) in *deepest when asked.
std::string makeDeepFolders(const std::string& parent, std::size_t longerThan, int* deepest = nullptr);

// Tries `done` again until it holds, for as long as the machine takes (a device node udev has not
// made yet, a drive a lazy unmount has not let go of): `between` runs between two tries (a test's
// event loop, say), else a few milliseconds pass. False only on a hang (kHangDetectorMs).
bool tryUntilHang(const std::function<bool()>& done, const std::function<void()>& between = {});

// True when the process can build loop devices (as root, or through the root helper of a suite
// playing an ordinary user); otherwise *reason says why not.
bool canUseLoopDevices(std::string* reason);

}  // namespace halvetrop::test
