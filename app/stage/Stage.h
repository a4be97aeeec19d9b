#pragma once
// The real application model on a stage: temporary settings and history files, the desktop's
// services replaced by recording fakes, the volumes it is shown, a fixed clock, and (unless the
// stage is real) a scripted verifier and copy. States are reached only through the model's own
// seams: saved checks written to the history file and opened with showHistory, checks finished with
// a fixture report, volume listings, picked folders, a copy run told how to end. The view tests,
// the screen pictures and the benchmarks use it from QML or C++; a real stage (the core's verifier,
// copy runner, volume list, mount-table watch and bookmarks) serves the end-to-end suite of the
// window, which can still move the clock and hold the byte-by-byte pass's results back.
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "model/AppModel.h"
#include "model/FakeVerifier.h"
#include "platform/Fakes.h"
#include "shell/HistoryRows.h"
#include "shell/Present.h"
#include "shell/SettingsStore.h"
#include "stage/DroppedModel.h"
#include "stage/Hang.h"

namespace halvetrop::stage {

class ScriptedCopy;
struct StageVolumes;
struct PassGate;

class Stage : public QObject {
    Q_OBJECT
    // Set before start().
    // The core's verifier, copy runner, volume list, volume descriptions and bookmarks.
    Q_PROPERTY(bool real MEMBER real_)
    // Saved checks of the sidebar (savedChecks) written to the history file, older than `saved`.
    Q_PROPERTY(int savedChecks MEMBER savedChecks_)
    // Results fixtures written to the history file, newest first, on cards below the stage.
    Q_PROPERTY(QStringList saved MEMBER saved_)
    // Text of the settings file before the model reads it.
    Q_PROPERTY(QString settingsText MEMBER settingsText_)
    // Mounted volumes at start (see setVolumes); none when empty, except the system's.
    Q_PROPERTY(QVariantList volumes MEMBER volumes_)
    // Cards (below the root) whose files belong to another user on a mount that records access
    // times: what the model is told a check of them would do (scripted stage).
    Q_PROPERTY(QStringList otherOwnersCards MEMBER otherOwnersCards_)
    // Takes the model's notices from the views (the Present singleton); it must outlive the stage.
    Q_PROPERTY(QObject* present READ presentObject WRITE setPresentObject)

    Q_PROPERTY(QString root READ root CONSTANT)
    Q_PROPERTY(QObject* model READ modelObject NOTIFY started)
    Q_PROPERTY(QObject* history READ historyObject NOTIFY started)
    Q_PROPERTY(QObject* settingsStore READ settingsObject NOTIFY started)

public:
    explicit Stage(QObject* parent = nullptr);
    ~Stage() override;

    // Writes the files and makes the model; false when the stage could not be built.
    Q_INVOKABLE bool start();
    void setPresent(shell::Present* present) { present_ = present; }
    QObject* presentObject() const { return present_; }
    void setPresentObject(QObject* present) { present_ = qobject_cast<shell::Present*>(present); }
    void setReal(bool real) { real_ = real; }
    void setSavedChecks(int count) { savedChecks_ = count; }
    // Whether start() waits for the model to settle (it does unless told; a benchmark that times
    // the start itself does not).
    void setSettleOnStart(bool settle) { settleOnStart_ = settle; }
    void setSaved(QStringList fixtures) { saved_ = std::move(fixtures); }
    void setSettingsText(QString text) { settingsText_ = std::move(text); }
    void setOtherOwnersCards(QStringList cards) { otherOwnersCards_ = std::move(cards); }
    // Ejects through this one instead of the recording fake (ejectAsked and finishEject then see
    // nothing): the real ejector on a bus of the test's choosing.
    void setEjector(std::unique_ptr<Ejector> ejector) { ejectorInUse_ = std::move(ejector); }
    // Asks through this picker instead of the answering fake (pickFolders and the picker's
    // questions then see nothing): the desktop's own dialog, driven as a user drives it.
    void setFolderPicker(std::unique_ptr<FolderPicker> picker) { pickerInUse_ = std::move(picker); }

    AppModel& model() { return *model_; }
    shell::HistoryRows& history() { return *history_; }
    shell::SettingsStore& settingsStore() { return *store_; }
    QString root() const { return dir_.path(); }
    QObject* modelObject() const { return model_.get(); }
    QObject* historyObject() const { return history_.get(); }
    QObject* settingsObject() const { return store_.get(); }

    // --- places below the root ---
    // A folder (made with its parents) or a file holding `text`; the absolute path.
    Q_INVOKABLE QString folder(const QString& relative);
    Q_INVOKABLE QString file(const QString& relative, const QString& text = QStringLiteral("x"));
    // What a fresh reader of the settings file finds under `key`, as text.
    Q_INVOKABLE QString storedSetting(const QString& key) const;

    // --- volumes ---
    // The mounted volumes, each {path (below the root, or absolute), name, fileSystem, totalBytes,
    // freeBytes, removable, card}; the model is told the mounts changed and has read them when
    // this returns. A path that is no volume is described as the system disk's.
    Q_INVOKABLE void setVolumes(const QVariantList& volumes);
    Q_INVOKABLE void addVolume(const QVariantMap& volume);
    // The volume mounted at that path (below the root, or absolute) taken away, as setVolumes does.
    Q_INVOKABLE void removeVolume(const QString& path);

    // --- the desktop ---
    // The next answers of the folder picker, one list of paths per question.
    Q_INVOKABLE void pickFolders(const QStringList& paths);
    Q_INVOKABLE int pickerQuestions() const;
    Q_INVOKABLE QString pickerStart(int question) const;     // where the picker was asked to start
    Q_INVOKABLE QString pickerSelected(int question) const;  // what it was to show selected there
    Q_INVOKABLE QString pickerTitle(int question) const;
    // What the file manager was asked to show, one list per request.
    Q_INVOKABLE QVariantList revealed() const;
    // Whether a file manager (or anything that opens folders) is there to show them.
    Q_INVOKABLE void setFileManager(bool there);
    Q_INVOKABLE QStringList ejectAsked() const;
    Q_INVOKABLE void finishEject(const QString& reason = QString());
    // The save dialog's answer (a path below the root; "" cancels) and the name it suggested.
    Q_INVOKABLE void answerSave(const QString& path);
    Q_INVOKABLE QString suggestedSaveName() const;
    Q_INVOKABLE QStringList saveFolders() const;  // where each save dialog was asked to open

    // --- checks (scripted stage) ---
    // Checks and passes started so far (on a real stage too); each one's {source, backups, level}.
    Q_INVOKABLE int checkCount() const;
    Q_INVOKABLE QVariantMap checkRequest(int index) const;
    // Progress of the newest check or pass; returns once the model shows it.
    Q_INVOKABLE bool progress(const QString& stage, const QString& detail, double done, double total);
    // Ends the newest check (or pass, at the verified level) with a fixture moved onto its card and
    // backups, or with a read error.
    Q_INVOKABLE bool finishCheck(const QString& fixture);
    Q_INVOKABLE bool failCheck(const QString& path);
    // The newest check opens a card file it cannot keep the access time of; returns once the model
    // says so.
    Q_INVOKABLE bool touchAccessTimes();
    // Opens the saved check made from saved[index] and waits for its card and backups.
    Q_INVOKABLE bool openSaved(int index);
    Q_INVOKABLE QString savedID(int index) const;

    // --- copies (scripted stage) ---
    // Opens the copy dialog for every missing file and waits for its plan.
    Q_INVOKABLE bool requestCopy();
    Q_INVOKABLE bool waitForPlan();
    // The scripted copy: at `fraction` of the plan; then ends as "copied", "problems" or
    // "stopped" and waits for the dialog to show its result.
    Q_INVOKABLE bool copyProgress(double fraction);
    Q_INVOKABLE bool finishCopy(const QString& outcome);
    Q_INVOKABLE bool copyRunning() const;

    // Processes events until the model has no work pending, however long that takes; false only
    // on a hang (kHangDetectorMs).
    Q_INVOKABLE bool settle();

    // --- time ---
    // Moves the model's clock (the fixed one, or the system's on a real stage) by that much.
    Q_INVOKABLE void shiftClock(double seconds);
    // Saved cards opened from now on hold this many files their check did not see.
    Q_INVOKABLE void addToSavedCards(int files) { *addedSince_ = files; }
    // Saved cards opened from now on no longer hold their checks' files at these positions.
    void removeFromSavedCards(std::vector<int64_t> positions);

    // --- the byte-by-byte pass (real stage) ---
    // While held, the pass's per-file results wait before they reach the model; a cancelled pass
    // lets its own go. letPassFiles lets that many more through and waits until they have been
    // handed on (false only on a hang).
    Q_INVOKABLE void holdPasses(bool hold);
    Q_INVOKABLE bool letPassFiles(int count);

    std::shared_ptr<FakeVerifier> verifier(int index) const;

signals:
    void started();

private:
    VolumeInfo describe(const std::string& path) const;
    VerifyReport placed(const QString& fixture, const std::string& card,
                        const std::vector<std::string>& backups);
    void writeFiles(const VerifyReport& report);
    QString below(const QString& path) const;

    bool real_ = false;
    int savedChecks_ = 0;
    bool settleOnStart_ = true;
    QStringList saved_;
    QString settingsText_;
    QVariantList volumes_;
    QStringList otherOwnersCards_;

    QTemporaryDir dir_;
    shell::Present* present_ = nullptr;
    std::shared_ptr<StageVolumes> stageVolumes_;
    std::shared_ptr<ScriptedCopy> copy_;
    std::shared_ptr<PassGate> gate_;
    std::shared_ptr<std::atomic<TimeNs>> clockShift_ = std::make_shared<std::atomic<TimeNs>>(0);
    std::shared_ptr<std::atomic<int>> addedSince_ = std::make_shared<std::atomic<int>>(0);
    struct Removed {
        std::mutex lock;
        std::vector<int64_t> positions;
    };
    std::shared_ptr<Removed> removedSince_ = std::make_shared<Removed>();
    std::shared_ptr<std::mutex> verifiersLock_ = std::make_shared<std::mutex>();
    std::shared_ptr<std::vector<std::shared_ptr<FakeVerifier>>> verifiers_ =
        std::make_shared<std::vector<std::shared_ptr<FakeVerifier>>>();
    std::shared_ptr<std::vector<VerifyRequest>> requests_ = std::make_shared<std::vector<VerifyRequest>>();
    std::vector<QString> savedIDs_;
    FakeFolderPicker* picker_ = nullptr;
    FakeSavePicker* savePicker_ = nullptr;
    FakeVolumeMonitor* monitor_ = nullptr;
    FakeEjector* ejector_ = nullptr;
    std::unique_ptr<Ejector> ejectorInUse_;
    std::unique_ptr<FolderPicker> pickerInUse_;
    FakeReveal* reveal_ = nullptr;
    // Dropped before the stage's files and drives go, and waited for (its workers may outlive it).
    OwnedModel model_;
    std::unique_ptr<shell::HistoryRows> history_;
    std::unique_ptr<shell::SettingsStore> store_;
};

// Makes Stage known to QML as Halvetrop.Stage's `Stage`.
void registerStage();

}  // namespace halvetrop::stage
