#pragma once
// The Linux implementations of the desktop services. The constructors take what tests replace:
// the D-Bus connection a service is reached on, socket names, the environment.
#include "platform/Platform.h"

#include <QDBusConnection>
#include <QHash>
#include <QUrl>

#include <sys/types.h>

#include <set>

class QLockFile;
class QObject;
struct udev;
struct udev_monitor;

namespace halvetrop {

class AppearanceListener;

// A picked or dropped local file name as the bytes the file system knows: absolute, "." and ".."
// resolved, no trailing "/" (except for "/" itself).
std::string cleanLocalPath(const QString& path);

// Non-native QFileDialog: the same dialog everywhere, testable offscreen, and the only one whose
// views can be switched to extended selection for several folders at once.
class DialogFolderPicker : public FolderPicker {
public:
    std::vector<std::string> pickFolder(const QString& title, const QString& prompt,
                                        const std::optional<std::string>& startingAt, bool multiple,
                                        const std::optional<std::string>& selected,
                                        const std::vector<std::string>& fenced = {},
                                        const std::optional<std::string>& refused = {},
                                        const QString& refusedWhy = {}) override;
};

class DialogSavePicker : public SavePicker {
public:
    std::optional<std::string> saveFile(const QString& title, const QString& suggestedName,
                                        const QString& nameFilter, const std::string& folder,
                                        const std::vector<std::string>& fenced = {}) override;
};

// Watches the kernel's mount table, and the device manager's changes of block devices (a volume
// relabelled while mounted); bursts of events become one call.
class MountTableMonitor : public VolumeMonitor {
public:
    explicit MountTableMonitor(QString mountInfoPath = QStringLiteral("/proc/self/mountinfo"));
    ~MountTableMonitor() override;
    void start(std::function<void()> onChange) override;

private:
    void stop();
    void watchDevices(std::function<void()> merge);
    // Whether one of the devices holds a volume of the mount table.
    bool holdsMount(const std::set<dev_t>& devices) const;

    QString path_;
    int fd_ = -1;
    udev* udev_ = nullptr;
    udev_monitor* devices_ = nullptr;
    std::unique_ptr<QObject> owner_;  // the notifiers and the merge timer
};

// UDisks2 on the given bus (the system bus in the application).
class UDisksEjector : public Ejector {
public:
    explicit UDisksEjector(QDBusConnection bus = QDBusConnection::systemBus());
    ~UDisksEjector() override;
    void eject(const EjectTarget& target, std::function<void(std::optional<EjectFailure>)> done) override;

private:
    QDBusConnection bus_;
    std::unique_ptr<QObject> context_;  // replies arriving after the ejector is gone are dropped
};

// The file manager's ShowItems; opens the parent folder when no file manager answers, and fails
// when nothing opens folders either. The opener says whether it could.
class FileManagerReveal : public Reveal {
public:
    using Opener = std::function<bool(const QUrl&)>;
    explicit FileManagerReveal(QDBusConnection bus = QDBusConnection::sessionBus(), Opener openFolder = {});
    ~FileManagerReveal() override;
    void reveal(const std::vector<std::string>& paths, std::function<void()> failed) override;

private:
    QDBusConnection bus_;
    Opener open_;
    std::unique_ptr<QObject> context_;
};

// Bookmarks that name the volume by its file-system UUID, so a mount-point folder left behind by
// an unplugged drive, or another card with the same label at the same place, never passes for
// the remembered volume. Both calls read the mount table and probe devices: call them off the GUI
// thread.
class VolumeBookmarks : public Bookmarks {
public:
    std::optional<QByteArray> make(const std::string& path) override;
    std::optional<std::string> resolve(const QByteArray& bookmark) override;
    std::optional<QByteArray> renewed(const QByteArray& bookmark) override;
};

// A lock file and a local socket in the user's runtime folder: the first instance holds the lock
// and listens, later ones tell it to raise.
class LocalSingleInstance : public SingleInstance {
public:
    // serverName: the socket's path (the lock is that + ".lock"); empty = the user's runtime
    // folder + "/halvetrop.socket".
    explicit LocalSingleInstance(QString serverName = {});
    ~LocalSingleInstance() override;
    bool claim(std::function<void()> onRaise) override;

private:
    QString name_;
    std::unique_ptr<QLockFile> lock_;  // the lock goes after the server
    std::unique_ptr<QObject> server_;
};

// The settings portal (colour scheme, and GNOME's contrast and animation keys through it), with
// HV_APPEARANCE=light|dark|hc-light|hc-dark and HV_REDUCE_MOTION=1|0 taking precedence.
class PortalAppearance : public Appearance {
public:
    explicit PortalAppearance(QDBusConnection bus = QDBusConnection::sessionBus(),
                              QHash<QString, QString> environment = systemEnvironment());
    ~PortalAppearance() override;
    AppearanceValues current() const override;
    void onChange(std::function<void()> callback) override;

    static QHash<QString, QString> systemEnvironment();

private:
    std::unique_ptr<AppearanceListener> listener_;
};

}  // namespace halvetrop
