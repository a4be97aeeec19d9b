#include "copy/CopyError.h"

#include "platform/Errors.h"
#include "report/Join.h"
#include "text/Utf8.h"

#include <vector>

namespace halvetrop {

CopyError CopyError::posix(std::string operation, std::int32_t error) { return {Kind::posix, std::move(operation), error}; }
CopyError CopyError::destinationExists(std::string path) { return {Kind::destinationExists, std::move(path), 0}; }
CopyError CopyError::verifyMismatch(std::string path) { return {Kind::verifyMismatch, std::move(path), 0}; }
CopyError CopyError::sourceChanged(std::string path) { return {Kind::sourceChanged, std::move(path), 0}; }
CopyError CopyError::tooLargeForVolume(std::string path) { return {Kind::tooLargeForVolume, std::move(path), 0}; }
CopyError CopyError::outsideDestination(std::string path) { return {Kind::outsideDestination, std::move(path), 0}; }
CopyError CopyError::insideSource(std::string path) { return {Kind::insideSource, std::move(path), 0}; }
CopyError CopyError::insideLibrary(std::string path) { return {Kind::insideLibrary, std::move(path), 0}; }
CopyError CopyError::backupDisconnected(std::string root) { return {Kind::backupDisconnected, std::move(root), 0}; }
CopyError CopyError::backupUnconfirmed(std::string root) { return {Kind::backupUnconfirmed, std::move(root), 0}; }
CopyError CopyError::cancelled() { return {Kind::cancelled, {}, 0}; }
CopyError CopyError::nameRefused(std::string path, std::string refused) {
    return {Kind::nameRefused, std::move(path), 0, std::move(refused)};
}
CopyError CopyError::sourceGone(std::string source) { return {Kind::sourceGone, std::move(source), 0}; }
CopyError CopyError::nameTooLong(std::string path, const NameLimit& limit) {
    return {Kind::nameTooLong, std::move(path), static_cast<std::int32_t>(limit.max), {}, limit.utf16};
}

namespace {

// "its file system doesn't allow " and * in names", the control characters named as such.
std::string whyRefused(const std::string& refused) {
    if (refused.empty()) return "its file system stores only names that are UTF-8 text";
    std::vector<std::string> shown;
    bool control = false;
    for (char c : refused) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            control = true;
        else
            shown.emplace_back(1, c);
    }
    if (control) shown.emplace_back("control characters");
    std::string list;
    for (std::size_t i = 0; i < shown.size(); ++i)
        list += (i == 0 ? "" : i + 1 == shown.size() ? " and " : ", ") + shown[i];
    return "its file system doesn't allow " + list + " in names";
}

std::string lastPiece(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string allowed(std::int32_t limit, bool utf16) {
    return " the backup drive's file system allows (" + std::to_string(limit) + (utf16 ? " characters" : " bytes") +
           " at most)";
}

}  // namespace

std::string CopyError::description() const {
    const std::string shown = repairUtf8(text_);
    switch (kind_) {
    case Kind::posix: return shown + ": " + errorText(error_);
    case Kind::destinationExists: return "A file is already at " + shown;
    case Kind::verifyMismatch: return "The copy at " + shown + " didn't read back identical";
    case Kind::sourceChanged: return shown + " changed while it was being copied";
    case Kind::tooLargeForVolume: return "Too large for the destination's file system (FAT32 limit 4 GB): " + shown;
    case Kind::outsideDestination: return "Refused to write outside the backup folder: " + shown;
    case Kind::insideSource: return "Refused to copy onto the card being checked: " + shown;
    case Kind::insideLibrary: return "Refused to copy into an app library (its app wouldn't see the files): " + shown;
    case Kind::backupDisconnected: return "The backup is no longer connected: " + shown;
    case Kind::backupUnconfirmed:
        return "Can't tell whether the drive at " + shown + " is the backup that was checked. Check the card again first.";
    case Kind::cancelled: return "Cancelled";
    case Kind::nameRefused:
        return "The backup drive refused the name \u201C" + lastPiece(shown) + "\u201D: " + whyRefused(refused_);
    case Kind::sourceGone: return "No longer on the card";
    case Kind::nameTooLong: return "The name \u201C" + lastPiece(shown) + "\u201D is longer than" + allowed(error_, utf16_);
    }
    return "Cancelled";
}

std::string CopyError::reasonFor(const std::string& destDir) const {
    const bool ownName = parentOf(text_) == destDir;
    switch (kind_) {
    case Kind::nameTooLong:
        if (ownName) return "Its name is longer than" + allowed(error_, utf16_);
        return "The name of the folder \u201C" + lastPiece(repairUtf8(text_)) + "\u201D is longer than" +
               allowed(error_, utf16_);
    case Kind::nameRefused:
        if (ownName) return "The backup drive refused its name: " + whyRefused(refused_);
        break;
    default: break;
    }
    return description();
}

}  // namespace halvetrop
