#pragma once
// The one error type of verified copying. Its description() is the text the user sees.
#include "copy/CopyLayout.h"

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
        nameRefused,         // "The backup drive refused the name “" + the file's name + "”: " + why
        sourceGone,          // "No longer on the card" (the path is the card file's)
        nameTooLong,         // "The name “" + the last piece of the path + "” is longer than ..."
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
    // The drive turned the file's name away: `refused` holds the characters of the name its file
    // system does not allow (FAT, exFAT and NTFS refuse " * : < > ? \ | and control characters);
    // empty, the name is not UTF-8 text, which such a drive cannot store.
    static CopyError nameRefused(std::string path, std::string refused);
    // Nothing is at the card file's path any more (deleted, moved, its card taken out).
    static CopyError sourceGone(std::string source);
    // A name in `path` (the destination folder, or the file's final path) is longer than the
    // `limit` bytes one name may have on the backup's file system.
    static CopyError nameTooLong(std::string path, const NameLimit& limit);

    Kind kind() const { return kind_; }
    // The path of every case but posix and cancelled; the operation text for posix.
    const std::string& text() const { return text_; }
    // The refused characters of nameRefused; empty otherwise.
    const std::string& refused() const { return refused_; }
    // The system error number of posix, the limit of nameTooLong, 0 otherwise.
    std::int32_t error() const { return error_; }
    // nameTooLong: the limit counts UTF-16 units (characters), not bytes.
    bool limitInUtf16() const { return utf16_; }

    // The user's text. Paths are shown as repaired UTF-8, since file names are raw bytes.
    std::string description() const;
    // The user's text said after the name of the file it is about, whose folder is `destDir`: a
    // name the file has there is not said twice ("Its name is longer than …"); a folder's still is.
    std::string reasonFor(const std::string& destDir) const;

    bool operator==(const CopyError&) const = default;

private:
    CopyError(Kind kind, std::string text, std::int32_t error, std::string refused = {}, bool utf16 = false)
        : kind_(kind), text_(std::move(text)), error_(error), refused_(std::move(refused)), utf16_(utf16) {}
    Kind kind_;
    std::string text_;
    std::int32_t error_ = 0;
    std::string refused_;
    bool utf16_ = false;  // nameTooLong: the limit counts UTF-16 units, not bytes
};

}  // namespace halvetrop
