#pragma once
// The one error type of verified copying. Its description() is the text the user sees.
#include <cstdint>
#include <string>

namespace halvetrop {

class CopyError {
public:
    enum class Kind {
        posix,               // operation text (word + path) and an error number
        destinationExists,   // "A file is already at " + path
        verifyMismatch,      // "The copy at " + path + " didn't read back identical"
        sourceChanged,       // path + " changed while it was being copied"
        tooLargeForVolume,   // "Too large for the destination's file system (FAT32 limit 4 GB): " + path
        outsideDestination,  // "Refused to write outside the backup folder: " + path
        insideSource,        // "Refused to copy onto the card being checked: " + path
        insideLibrary,       // "Refused to copy into an app library (its app wouldn't see the files): " + path
        backupDisconnected,  // "The backup is no longer connected: " + the backup folder
        backupUnconfirmed,   // "Can't tell whether the drive at " + the backup folder + " is the backup ..."
        cancelled,           // "Cancelled"
    };

    static CopyError posix(std::string operation, std::int32_t error);
    static CopyError destinationExists(std::string path);
    static CopyError verifyMismatch(std::string path);
    static CopyError sourceChanged(std::string path);
    static CopyError tooLargeForVolume(std::string path);
    static CopyError outsideDestination(std::string path);
    static CopyError insideSource(std::string path);
    static CopyError insideLibrary(std::string path);
    static CopyError backupDisconnected(std::string root);
    static CopyError backupUnconfirmed(std::string root);
    static CopyError cancelled();

    Kind kind() const { return kind_; }
    // The path of every case but posix and cancelled; the operation text for posix.
    const std::string& text() const { return text_; }
    // The system error number of posix, 0 otherwise.
    std::int32_t error() const { return error_; }

    // The user's text. Paths are shown as repaired UTF-8, since file names are raw bytes.
    std::string description() const;

    bool operator==(const CopyError&) const = default;

private:
    CopyError(Kind kind, std::string text, std::int32_t error) : kind_(kind), text_(std::move(text)), error_(error) {}
    Kind kind_;
    std::string text_;
    std::int32_t error_ = 0;
};

}  // namespace halvetrop
