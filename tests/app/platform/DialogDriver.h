#pragma once
// The desktop's folder and save dialogs driven offscreen as a user drives them, and real drives
// mounted with strictatime, where any listing or read writes an access time, to show that a
// dialog left a card alone. Shared by the dialogs' own suite and the window's.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QTimer>
#include <QtTest>

#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace halvetrop::test {

struct Seen {
    QString title, acceptLabel, folder;
    QAbstractItemView::SelectionMode listMode = QAbstractItemView::NoSelection;
    QAbstractItemView::SelectionMode treeMode = QAbstractItemView::NoSelection;
    QString typedName;
};

// Waits for the dialog and its folder listing, lets `act` work on it, records what the user saw.
inline void whenDialogShows(Seen& seen, std::function<void(QFileDialog&, QFileSystemModel&)> act) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &seen, act] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* model = dialog->findChild<QFileSystemModel*>();
        if (!model || model->rowCount(model->index(dialog->directory().absolutePath())) == 0) return;
        poll->deleteLater();
        seen.title = dialog->windowTitle();
        seen.acceptLabel = dialog->labelText(QFileDialog::Accept);
        seen.folder = dialog->directory().absolutePath();
        seen.listMode = dialog->findChild<QAbstractItemView*>("listView")->selectionMode();
        seen.treeMode = dialog->findChild<QAbstractItemView*>("treeView")->selectionMode();
        act(*dialog, *model);
    });
    poll->start(10);
}

constexpr time_t kAged = 1'000'000'000;

// Sets a folder's access time far back, before its last change: a listing then moves it.
inline bool age(const QString& folder) {
    const timespec times[2] = {{kAged, 0}, {0, UTIME_OMIT}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0) == 0;
}
inline bool listed(const QString& folder) {
    struct stat st {};
    return ::stat(QFile::encodeName(folder).constData(), &st) != 0 || st.st_atim.tv_sec != kAged;
}

// A drive of the test's (ext4 on zram), its folders and files known by name (finding them would list them),
// each aged before a case so that any listing or read shows.
struct StrictDrive {
    std::unique_ptr<ZramVolume> volume;
    QString root;
    QStringList entries;  // the root, and every folder and file made on it

    void make(const QString& media, const std::string& label, const QStringList& files) {
        volume = std::make_unique<ZramVolume>(8 << 20, label, media.toStdString());
        root = QString::fromStdString(volume->mountPoint());
        // Every access writes its time here, as on a card mounted so by a desktop that asks.
        runAsRootOrThrow("mount -o remount,strictatime " + shellQuote(volume->mountPoint()));
        entries = QStringList{root};
        for (const QString& f : files) {
            volume->write(f.toStdString(), "x");
            for (QString part = f; !part.isEmpty(); part = part.section('/', 0, -2))
                if (!entries.contains(root + "/" + part)) entries << root + "/" + part;
        }
    }
    QString name() const { return QFileInfo(root).fileName(); }
    bool ageAll() const { return std::all_of(entries.begin(), entries.end(), age); }
    QStringList touched() const {
        QStringList out;
        for (const QString& e : entries)
            if (listed(e)) out << e;
        return out;
    }
};

// The words a fenced dialog shows below its name field, when shown.
inline QString refusalShown(QFileDialog& dialog) {
    auto* note = dialog.findChild<QLabel*>(QStringLiteral("refusal"));
    return note && note->isVisible() ? note->text() : QString();
}

// A click on one of the dialog's buttons as the window system delivers it, through whatever popup
// is open.
inline void clickThroughWindow(QFileDialog& dialog, QAbstractButton& button) {
    QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {},
                      button.mapTo(&dialog, button.rect().center()));
}

}  // namespace halvetrop::test
