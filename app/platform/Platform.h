#pragma once
// The desktop services the application model and the screens need, each behind a small interface
// with one Linux implementation and one fake, so every behaviour of the model is testable without
// a desktop session. Paths are raw bytes (std::string); display text is made from them elsewhere.
#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {

// The one folder picker. It opens in `startingAt` and nowhere else first, with `selected`, an entry
// of that folder, shown chosen; without a folder that is still there (or with "/") it opens in
// homeForDialogs(). A `fenced` folder (a card) is never listed, for listing a card's folder writes
// its access time: the picker offers it to be chosen whole, never opened, and takes nothing below
// it, however the user asks, typed paths included. `refused` (the card being checked, never its own
// backup) is not taken at all; `refusedWhy` says why in the words of what is being chosen (a
// backup's, when empty). Where the picker refuses, it says why. An empty list means nothing was
// chosen (also for a cancelled dialog).
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::vector<std::string> pickFolder(const QString& title, const QString& prompt,
                                                const std::optional<std::string>& startingAt, bool multiple,
                                                const std::optional<std::string>& selected,
                                                const std::vector<std::string>& fenced = {},
                                                const std::optional<std::string>& refused = {},
                                                const QString& refusedWhy = {}) = 0;
};

// Asks where to save a file, opening in `folder` (a suggested name that is a whole path opens in
// its own folder) as the folder picker does; nothing is saved in or below a `fenced` folder, which
// is never listed either. Nothing when the user cancels.
class SavePicker {
public:
    virtual ~SavePicker() = default;
    virtual std::optional<std::string> saveFile(const QString& title, const QString& suggestedName,
                                                const QString& nameFilter, const std::string& folder,
                                                const std::vector<std::string>& fenced = {}) = 0;
};

// Calls onChange on the GUI thread after mounts, unmounts and renames. Several kernel events may
// merge into one call; the receiver re-reads the whole volume list anyway.
class VolumeMonitor {
public:
    virtual ~VolumeMonitor() = default;
    virtual void start(std::function<void()> onChange) = 0;
};

// Why an eject did not happen. Without the desktop's disk service nothing can be ejected and
// closing files would not help; nor when the file system at the mount point is `another` than the
// one asked for (nothing was unmounted); anything else is the reason the service gave.
struct EjectFailure {
    enum class Kind { refused, noService, another };
    Kind kind = Kind::refused;
    QString reason;  // in the user's words, without a final full stop
    friend bool operator==(const EjectFailure&, const EjectFailure&) = default;
};

// The file system an eject is for: where it is mounted, its device number ("MAJ:MIN") and its
// UUID, each empty when not known. Another file system mounted at that place since (another card
// put in the same reader) is not ejected in its name.
struct EjectTarget {
    std::string mountPoint;
    std::string deviceNumber;
    std::string volumeID;
};

// Unmounts the file system mounted at the target's mount point, when it is still the target, and
// powers off (or ejects) its drive. `done` runs on the GUI thread with nothing on success, else
// why not.
class Ejector {
public:
    virtual ~Ejector() = default;
    virtual void eject(const EjectTarget& target,
                       std::function<void(std::optional<EjectFailure> failure)> done) = 0;
};

// Shows files selected in the file manager (their folder when the file manager cannot select).
// `failed` runs on the GUI thread when nothing on this desktop could show them.
class Reveal {
public:
    virtual ~Reveal() = default;
    virtual void reveal(const std::vector<std::string>& paths, std::function<void()> failed) = 0;
};

// A remembered folder that survives remounts: made from a path, resolved back to the path where
// the same volume is mounted now. An opaque blob to its holders.
class Bookmarks {
public:
    virtual ~Bookmarks() = default;
    // Nothing when the path cannot be described (it does not exist).
    virtual std::optional<QByteArray> make(const std::string& path) = 0;
    // Nothing when the remembered volume is not mounted (or the blob is not a bookmark).
    virtual std::optional<std::string> resolve(const QByteArray& bookmark) = 0;
    // The bookmark made again of the place it resolves to, where that volume is now known by more
    // than when it was made (its UUID, which the device database gave later); nothing otherwise.
    virtual std::optional<QByteArray> renewed(const QByteArray& bookmark) {
        (void)bookmark;
        return std::nullopt;
    }
};

// How the desktop wants the application to look and move. Defaults: light, normal contrast,
// motion on.
struct AppearanceValues {
    bool dark = false;
    bool highContrast = false;
    bool reduceMotion = false;
    friend bool operator==(const AppearanceValues&, const AppearanceValues&) = default;
};

// The desktop's appearance settings, followed while the application runs.
class Appearance {
public:
    virtual ~Appearance() = default;
    virtual AppearanceValues current() const = 0;
    // Runs on the GUI thread after current() changed; replaces an earlier callback.
    virtual void onChange(std::function<void()> callback) = 0;
};

// One running instance per user, so two processes never write the same history.
class SingleInstance {
public:
    virtual ~SingleInstance() = default;
    // True: this process is the first; from now on onRaise runs on the GUI thread whenever another
    // launch asks for the window. False: the running instance was asked to show its window and
    // this process should exit.
    virtual bool claim(std::function<void()> onRaise) = 0;
};

// What the model is given of the desktop; one owner (the model), each service replaceable.
struct PlatformServices {
    std::unique_ptr<FolderPicker> folderPicker;
    std::unique_ptr<SavePicker> savePicker;
    std::unique_ptr<VolumeMonitor> volumeMonitor;
    std::unique_ptr<Ejector> ejector;
    std::unique_ptr<Reveal> reveal;
    std::unique_ptr<Bookmarks> bookmarks;
    std::unique_ptr<Appearance> appearance;
    std::unique_ptr<SingleInstance> singleInstance;
};

// The services of this desktop (QFileDialog, /proc/self/mountinfo, UDisks2, FileManager1, ...).
PlatformServices linuxPlatform();

}  // namespace halvetrop
