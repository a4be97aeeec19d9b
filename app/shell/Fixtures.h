#pragma once
// Saved checks and stored settings in fixed states, for the view tests and the screen pictures.
#include <QObject>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include "shell/HistoryRows.h"
#include "shell/SettingsStore.h"

namespace halvetrop::shell {

// A saved check of a card named `name` finished `ageSeconds` before `now`.
VerifyReport fixtureReport(const std::string& name, int64_t files, int64_t covered, bool cardOnly, bool ready,
                           TimeNs finishedAt);

// The fixed "now" of every fixture, so relative dates do not move between runs.
TimeNs fixtureNow();

class Fixtures : public QObject {
    Q_OBJECT
    // What the views last asked of the desktop (a notice, a reveal), when a test routes them here.
    Q_PROPERTY(QString lastNotice MEMBER lastNotice NOTIFY asked)
    Q_PROPERTY(QString lastReveal MEMBER lastReveal NOTIFY asked)

public:
    explicit Fixtures(QObject* parent = nullptr);

    // Saved checks, newest first: a mix of covered, missing, card-only and ready reports.
    Q_INVOKABLE QObject* history(int count);
    // A settings store on a fresh file; `content` is written first (key=value lines).
    Q_INVOKABLE QObject* settingsStore(const QString& content);
    // What a fresh QSettings reads under `key` from the last store's file, as text.
    Q_INVOKABLE QString storedSetting(const QString& key) const;
    // Marks the saved check with this index as the one on screen.
    Q_INVOKABLE void showSaved(QObject* rows, int index, bool results);
    // A new empty folder (or file) in the fixtures' temporary folder; its absolute path.
    Q_INVOKABLE QString makeFolder(const QString& name);
    Q_INVOKABLE QString makeFile(const QString& name);
    // The browser's rows over a card of a dozen files of every status (no backups when
    // `cardOnly`): names with markup and a line break, two copies of some files.
    Q_INVOKABLE QObject* files(bool cardOnly);

    QString lastNotice;
    QString lastReveal;

signals:
    void asked();

private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QSettings>> settings_;
    std::vector<std::vector<VerifyReport>> reports_;
    std::vector<std::unique_ptr<VerifyReport>> fileReports_;  // what rows of files() point into
    QString lastFile_;
    int files_ = 0;
};

}  // namespace halvetrop::shell
