#pragma once
// The one object that holds the application's state: card and backups, what to check, the
// window's phase, the running check and byte-by-byte pass, the shown report with its filters and
// selection, the history, the notices and the mounted volumes. It lives on the GUI thread; work
// runs on its own thread pool and comes back as queued calls that carry the verifier (or volume
// generation) they belong to, so a superseded run never reaches the state.
//
// QML reads display text, counts and ids; large lists (visible files, history) reach it through
// list models built on the C++ accessors, never as variant lists. Paths stay bytes in C++.
#include "model/BackupPresence.h"
#include "model/FileList.h"
#include "model/FileRows.h"
#include "model/History.h"
#include "model/PhotoApps.h"
#include "model/ReportTally.h"
#include "model/ScopedAccess.h"
#include "model/VerifierSeam.h"
#include "platform/Account.h"
#include "platform/Platform.h"
#include "verify/CardChanges.h"

#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class QThreadPool;

namespace halvetrop {

class CardWatch;
class CopyRunner;
class SavedReport;
struct CopyRunResult;
struct PreparedReport;

// What one read of the mounted volumes gives: the volumes a user would offer, and every mount
// point of the mount table (the only evidence that a volume is still mounted).
using VolumeListing = MountedListing;

// The model's workers, counted while they run on any of its pools. A worker may outlive the model
// (quitting does not wait for a listing), and one may still hold a drive's folders open: whoever
// must know that none does any more (a test about to unmount a drive) waits here.
class ModelWorkers {
public:
    void begin();
    void end();
    // Returns once no worker of the model runs.
    void waitUntilNone() const;

private:
    mutable std::mutex lock_;
    mutable std::condition_variable none_;
    int running_ = 0;
};

// A copy in progress, as the copy dialog hands it to the model: the model can stop it (removing
// the card, quitting) and wait until it has cleaned up.
struct RunningCopy {
    std::function<void()> cancel;
    std::function<void()> waitUntilDone;
};

// Everything the model is given from outside; tests replace each piece.
struct AppModelDeps {
    PlatformServices platform;
    VerifierFactory verifierFactory;  // the core's Verifier when empty
    QString settingsPath;             // INI file; empty = the desktop's standard location
    QString historyPath;              // empty = the standard data location
    // Called off the GUI thread; Drives::listMounted when empty. Nothing when `stale` said so
    // between two volumes: a newer listing is wanted, and this one stopped where it was.
    std::function<std::optional<VolumeListing>(const std::function<bool()>& stale)> listVolumes;
    // Called off the GUI thread for a path that exists; Drives::info when empty.
    std::function<VolumeInfo(const std::string& path)> describeVolume;
    // Where "check against another backup" opens its picker; the desktop's mount root when empty.
    std::optional<std::string> mountRoot;
    // The wall clock (nanoseconds since the epoch); the system clock when empty. Tests and pictures
    // fix it so relative dates and the copy dialog's dates do not move.
    std::function<TimeNs()> now;
    // Carries out a copy dialog's plan on the copy's own thread: the runner's run() when empty.
    // Tests and pictures script a copy here (its progress, how it ends, a stop).
    std::function<CopyRunResult(CopyRunner& runner)> runCopy;
    // Called off the GUI thread: the card at `path` now, held against what the shown result's check
    // recorded, each listing's folders told to `folders` (cardChangesAt); the check's own walk when
    // empty.
    std::function<CardChanges(const RecordedCard& recorded, const std::string& path,
                              const CardFolders& folders)>
        cardChanges;
    // Called off the GUI thread: what a check of the card at `path` would do to its access times,
    // told without reading it; Verifier::expectedCardAccessTimes when empty.
    std::function<CardAccessTimes(const std::string& path)> expectCardAccessTimes;
    // The most folders of one card watched for changes (CardWatch); the rest of a vast folder tree
    // is left to listings. 0: the card is only listed (as where the system has no watches left).
    size_t cardWatchLimit = 4096;
    // How long quitting waits for the cancelled check, pass and bookmarks to end (and again for the
    // history to be saved) before it leaves them to the process exit; negative: until they end.
    int shutdownWaitMs = 5000;
};

// Lexically clean absolute form of a path ("." and ".." resolved, no doubled or trailing "/");
// relative paths are taken from the working folder. Nothing for an empty text.
std::optional<std::string> cleanAbsolutePath(const std::string& path);

// Sets up the allocator for a process that runs one large check after another: few arenas, so that
// what one check's threads freed serves the next check's rather than staying with threads that
// may never allocate again; and large blocks mapped each on its own, so that they go back to the
// system as they are freed. Called once, before any thread starts.
void setUpAllocator();

class AppModel : public QObject {
    Q_OBJECT
    // Fields, in the model's declaration order.
    // The card and the backups as display text, and as the path keys (present/Paths.h) by which
    // the views ask about them.
    Q_PROPERTY(QString source READ sourceText NOTIFY sourceChanged)
    Q_PROPERTY(QString sourceKey READ sourceKey NOTIFY sourceChanged)
    Q_PROPERTY(QString sourceName READ sourceName NOTIFY sourceChanged)
    Q_PROPERTY(QStringList destinations READ destinationTexts NOTIFY destinationsChanged)
    Q_PROPERTY(QStringList destinationKeys READ destinationKeys NOTIFY destinationsChanged)
    // The keys of the backups whose own drive is not connected: chosen, but left out of every
    // check and copy.
    Q_PROPERTY(QStringList notConnectedBackups READ notConnectedKeys NOTIFY backupPresenceChanged)
    Q_PROPERTY(QStringList kinds READ kindNames WRITE setKindNames NOTIFY kindsChanged)
    Q_PROPERTY(QString level READ levelName NOTIFY levelChanged)
    Q_PROPERTY(QVariantList volumes READ volumeList NOTIFY volumesChanged)
    // The volume facts of the card and of each backup by path key, as volumeInfo gives them (none
    // for a backup whose drive is not connected): the one source of the sidebar and the start
    // screen, current as descriptions arrive, backups come and go, and mounts change.
    Q_PROPERTY(QVariantMap volumeFacts READ volumeFacts NOTIFY volumeFactsChanged)
    Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(QString failureText READ failureText NOTIFY phaseChanged)
    Q_PROPERTY(QVariantMap progress READ progressMap NOTIFY progressChanged)
    Q_PROPERTY(bool hasReport READ hasReport NOTIFY reportChanged)
    Q_PROPERTY(int fileCount READ fileCount NOTIFY filesByIDChanged)
    Q_PROPERTY(Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(FileFilter filter READ filter WRITE setFilter NOTIFY filterChanged)
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY searchChanged)
    // The folder restriction as a path key (present/Paths.h), and its name as the chip shows it.
    Q_PROPERTY(
        QString folderFilter READ folderFilterText WRITE setFolderFilterText NOTIFY folderFilterChanged)
    Q_PROPERTY(QString folderFilterTitle READ folderFilterTitle NOTIFY folderFilterChanged)
    Q_PROPERTY(QString groupFilter READ groupFilterID WRITE setGroupFilterID NOTIFY groupFilterChanged)
    Q_PROPERTY(qint64 selectedFileID READ selectedFileID WRITE setSelectedFileID NOTIFY selectedFileIDChanged)
    // The folder map's selection: a folder's path key, as the folder rows give it.
    Q_PROPERTY(
        QString selectedFolder READ selectedFolder WRITE setSelectedFolder NOTIFY selectedFolderChanged)
    Q_PROPERTY(bool showInspector READ showInspector WRITE setShowInspector NOTIFY showInspectorChanged)
    Q_PROPERTY(bool gridView READ gridView WRITE setGridView NOTIFY gridViewChanged)
    Q_PROPERTY(int visibleFileCount READ visibleFileCount NOTIFY visibleFilesChanged)
    Q_PROPERTY(bool hasCopyRequest READ hasCopyRequest NOTIFY copyRequestChanged)
    Q_PROPERTY(QString copyRequestTitle READ copyRequestTitle NOTIFY copyRequestChanged)
    Q_PROPERTY(QObject* copySheet READ copySheet NOTIFY copyRequestChanged)
    Q_PROPERTY(QStringList photoApps READ photoAppNames NOTIFY lastCopyChanged)
    Q_PROPERTY(QStringList photoAppHelps READ photoAppHelps NOTIFY lastCopyChanged)
    Q_PROPERTY(QVariant lastCopy READ lastCopy WRITE setLastCopy NOTIFY lastCopyChanged)
    Q_PROPERTY(int historyCount READ historyCount NOTIFY historyChanged)
    Q_PROPERTY(
        QString photoFormats READ photoFormatsName WRITE setPhotoFormatsName NOTIFY photoFormatsChanged)
    Q_PROPERTY(QVariantMap newCard READ newCardMap NOTIFY newCardChanged)
    Q_PROPERTY(bool hasNotice READ hasNotice NOTIFY noticeChanged)
    Q_PROPERTY(QString noticeText READ noticeText NOTIFY noticeChanged)
    Q_PROPERTY(bool noticeOk READ noticeOk NOTIFY noticeChanged)
    Q_PROPERTY(bool ejecting READ ejecting NOTIFY ejectingChanged)
    Q_PROPERTY(bool cardOnly READ cardOnly WRITE setCardOnly NOTIFY cardOnlyChanged)
    Q_PROPERTY(bool deepVerifying READ deepVerifying NOTIFY deepVerifyingChanged)
    Q_PROPERTY(QVariantMap deepProgress READ deepProgressMap NOTIFY deepProgressChanged)
    // Of a saved result on screen: whether its card is the one in the reader, and unchanged.
    Q_PROPERTY(SavedCard savedCard READ savedCard NOTIFY savedCardChanged)
    // Computed.
    Q_PROPERTY(bool canCheck READ canCheck NOTIFY canCheckChanged)
    Q_PROPERTY(bool canScan READ canScan NOTIFY canCheckChanged)
    Q_PROPERTY(bool canEjectSource READ canEjectSource NOTIFY canEjectSourceChanged)
    Q_PROPERTY(QVariantList suggestedCards READ suggestedCardList NOTIFY suggestedCardsChanged)
    Q_PROPERTY(bool copying READ copying NOTIFY copyingChanged)
    Q_PROPERTY(bool previewOpen READ previewOpen NOTIFY previewChanged)
    Q_PROPERTY(QList<QUrl> previewUrls READ previewUrls NOTIFY previewChanged)
    Q_PROPERTY(QObject* files READ fileRows CONSTANT)
    Q_PROPERTY(bool hasFolderFilter READ hasFolderFilter NOTIFY folderFilterChanged)
    Q_PROPERTY(QString shootChipText READ shootChipText NOTIFY groupFilterChanged)
    Q_PROPERTY(bool reportCardOnly READ reportCardOnly NOTIFY reportChanged)
    Q_PROPERTY(QString cardAccessTimesNote READ cardAccessTimesNote NOTIFY cardAccessTimesChanged)

public:
    enum class Phase { Setup, Checking, Results, Failed };
    Q_ENUM(Phase)
    enum class Mode { Shoots, Map, Files };
    Q_ENUM(Mode)
    enum class FileFilter { All, NotBackedUp, BackedUp };
    Q_ENUM(FileFilter)
    // What is known of the card of the result on screen. `none`: the result is of a check made
    // now, not a saved one, and nothing has been seen to change on the card since (then `changed`).
    // Of a saved one: `looking` until its card is found and listed; `unchanged` or `changed` since,
    // when the card it checked is here; `notInserted`; `another` card at its place (another UUID);
    // or one that `cannotTell` apart from it. While a result of a card that is here is shown, the
    // card is watched and listed again on every change, so `none` and `unchanged` hold only as
    // long as the card does.
    enum class SavedCard { none, looking, unchanged, changed, notInserted, another, cannotTell };
    Q_ENUM(SavedCard)

    struct Notice {
        QString text;
        bool ok = false;
        QUuid id;
        friend bool operator==(const Notice&, const Notice&) = default;
    };
    struct CopyRequest {
        QUuid id;
        std::vector<int64_t> fileIDs;
        QString title;
    };

    // "Shoots", "Map", "Files" and "All", "Not backed up", "Backed up"; nothing for other texts.
    static QString rawValue(Mode mode);
    static std::optional<Mode> modeFromRaw(const QString& text);
    static QString rawValue(FileFilter filter);
    static std::optional<FileFilter> fileFilterFromRaw(const QString& text);

    explicit AppModel(AppModelDeps deps, QObject* parent = nullptr);
    // The mounted volumes as the model lists them unless told otherwise (AppModelDeps::listVolumes).
    static std::optional<VolumeListing> listMounted(const std::function<bool()>& stale);
    ~AppModel() override;

    // --- fields ---
    const std::optional<std::string>& source() const { return source_; }
    QString sourceText() const;
    QString sourceKey() const;
    QString sourceName() const;
    const std::vector<std::string>& destinations() const { return destinations_; }
    QStringList destinationTexts() const;
    QStringList destinationKeys() const;
    const std::set<MediaKind>& kinds() const { return kinds_; }
    void setKinds(std::set<MediaKind> kinds);
    QStringList kindNames() const;
    void setKindNames(const QStringList& names);
    CheckLevel level() const { return level_; }
    QString levelName() const;
    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    QVariantList volumeList() const;
    QVariantMap volumeFacts() const { return volumeFacts_; }
    Phase phase() const { return phase_; }
    QString failureText() const { return failureText_; }
    const VerifyProgress& progress() const { return progress_; }
    QVariantMap progressMap() const;
    const std::optional<VerifyReport>& report() const { return report_; }
    bool hasReport() const { return report_.has_value(); }
    // Which check the shown report belongs to: a new number for every report of another check
    // (or of none); the byte-by-byte pass's folds and its own report keep the number, so a view
    // can tell a change of the same rows from another report.
    quint64 reportSerial() const { return reportSerial_; }
    // While reportChanged tells of a fold of the byte-by-byte pass, the positions (in the report's
    // files) of the files it changed, so that a view keeping figures per file updates only those;
    // nullptr while it tells of any other change.
    const std::vector<int>* foldedFiles() const { return folded_; }
    // The shown report's file with that id; nullptr when it has none.
    const FileResult* fileByID(int64_t id) const;
    // While reportChanged tells of a new report, its counts by file (looked up by fileByID), made
    // off the GUI thread with it; given once, to the first view that asks.
    std::optional<ReportTally> takeTally();
    int fileCount() const { return report_ ? int(report_->files.size()) : 0; }
    Mode mode() const { return mode_; }
    void setMode(Mode mode);
    FileFilter filter() const { return filter_; }
    void setFilter(FileFilter filter);
    QString search() const { return search_; }
    void setSearch(const QString& text);
    // The folder's bytes below the card (the report's folder bytes, not its display form).
    const std::optional<std::string>& folderFilter() const { return folderFilter_; }
    void setFolderFilter(std::optional<std::string> folder);
    QString folderFilterText() const;
    void setFolderFilterText(const QString& key);  // a key that names no path clears
    QString folderFilterTitle() const;
    const std::optional<ShootGroup>& groupFilter() const { return groupFilter_; }
    void setGroupFilter(std::optional<ShootGroup> group);
    QString groupFilterID() const;
    void setGroupFilterID(const QString& id);  // a group of the shown report; "" clears
    qint64 selectedFileID() const { return selectedFileID_.value_or(-1); }  // -1: none
    void setSelectedFileID(qint64 id);
    QString selectedFolder() const { return selectedFolder_; }
    void setSelectedFolder(const QString& folder);
    bool showInspector() const { return showInspector_; }
    void setShowInspector(bool on);
    bool gridView() const { return gridView_; }
    void setGridView(bool on);
    // The filtered list the file browser shows, as positions into report()->files.
    const std::vector<int>& visibleFiles() const { return visible_; }
    int visibleFileCount() const { return int(visibleFiles().size()); }
    const std::optional<CopyRequest>& copyRequest() const { return copyRequest_; }
    bool hasCopyRequest() const { return copyRequest_.has_value(); }
    QString copyRequestTitle() const { return copyRequest_ ? copyRequest_->title : QString(); }
    QVariant lastCopy() const { return lastCopy_; }
    // The copy dialog of the current request, while a report is shown; the model owns it.
    QObject* copySheet() const { return copySheet_.data(); }
    void setLastCopy(const QVariant& record);
    const std::vector<HistoryItem>& history() const;
    int historyCount() const;
    PhotoFormats photoFormats() const { return photoFormats_; }
    void setPhotoFormats(PhotoFormats formats);
    QString photoFormatsName() const;
    void setPhotoFormatsName(const QString& name);
    const std::optional<VolumeInfo>& newCard() const { return newCard_; }
    QVariantMap newCardMap() const;
    const std::optional<Notice>& notice() const { return notice_; }
    bool hasNotice() const { return notice_.has_value(); }
    QString noticeText() const { return notice_ ? notice_->text : QString(); }
    bool noticeOk() const { return notice_ && notice_->ok; }
    bool ejecting() const { return ejecting_; }
    const ScopedAccess& access() const { return access_; }
    // Chosen backups whose own volume is not mounted where they were chosen (not connected).
    const std::set<std::string>& unresolvedBackups() const { return unresolved_; }
    QStringList notConnectedKeys() const;
    // Stored settings, read when a check is built.
    int64_t requiredCopies() const;
    bool includeSidecars() const;
    bool includeProxies() const;
    bool cardOnly() const { return cardOnly_; }
    void setCardOnly(bool on);
    bool deepVerifying() const { return deepVerifying_; }
    const VerifyProgress& deepProgress() const { return deepProgress_; }
    QVariantMap deepProgressMap() const;
    SavedCard savedCard() const { return savedCard_; }
    // What changed on the card since the saved check, when savedCard() is `changed`.
    const CardChanges& savedCardChanges() const { return savedChanges_; }
    // A file of the shown report that a listing since found gone from the card: nothing of it is
    // there to copy, preview or show.
    bool goneFromCard(int64_t id) const;
    // How many of those copyableIDs would otherwise take.
    int64_t goneCopyable() const;
    // The card the saved result on screen checked is not the one at its place (or not known to be
    // yet): nothing may act on what is there in its name.
    bool savedCardAway() const;
    // The ready-to-format panel and its format guide: a result ready to format, of a check made
    // now or of a card that is here unchanged since.
    bool showsReadyToFormat() const;
    // No saved result is shown, or its card is here unchanged since; either way a listing begun
    // after the shown report was set found the card as the report says.
    bool savedCardAllowsFormat() const;
    // Runs `act` once a listing of the card begun from now on is back, with go true; with go false
    // (to undo what waiting needed) when the result's card stops being watched first. At once, with
    // go true, when no card is watched: nothing is then claimed of the card as it is now. Whatever
    // acts on the claim that the card is as the result says asks here and tests the claim again.
    void whenCardLooked(std::function<void(AppModel&, bool go)> act);

    // --- computed ---
    VerifyScope scope() const;
    bool canCheck() const;
    bool canScan() const;
    bool canEjectSource() const;
    std::vector<VolumeInfo> suggestedCards() const;
    QVariantList suggestedCardList() const;
    bool copying() const { return copy_.has_value(); }
    const FileResult* selectedFile() const;
    bool previewOpen() const { return previewOpen_; }
    QList<QUrl> previewUrls() const { return previewUrls_; }
    // The wall clock every dated text of the model is computed from.
    TimeNs now() const { return deps_.now(); }
    // The instant every relative time on screen is read at ("Checked 3 minutes ago" in the results
    // header and the recent checks, "3 min. ago" in the sidebar). It moves on, with agesChanged,
    // when the history or the shown result changes, when the first of their relative times would
    // read differently, and at least once a minute: read at one instant, they never disagree.
    TimeNs ageNow() const { return agedAt_; }
    // The settings store the Settings window writes into.
    QSettings& settings() { return *settings_; }

    // --- card and backups ---
    // Paths are made clean and absolute; an empty path is ignored.
    void setSource(const std::string& path);
    void addBackups(const std::vector<std::string>& paths);
    void removeBackup(const std::string& path);
    Q_INVOKABLE void chooseSource(const QString& startingAt = QString(), bool autoCheck = false);
    Q_INVOKABLE void chooseBackups();
    Q_INVOKABLE void setSourceUrl(const QUrl& url);
    // No card chosen any more; the backups, the result and a running check are left as they are.
    Q_INVOKABLE void clearSource();
    Q_INVOKABLE void addBackupUrls(const QList<QUrl>& urls);
    Q_INVOKABLE void removeBackupAt(int index);
    // A card on offer, taken alike from the start screen and the sidebar: with backups it is
    // checked against them at once; without, it becomes the card and a notice asks for a backup.
    Q_INVOKABLE void useSuggestedCard(int index);
    // The new-card banner's Check: the announced volume, found by its identity wherever the
    // offered cards have moved it, checked as the sidebar's offered card is.
    Q_INVOKABLE void checkNewCard();
    Q_INVOKABLE void refreshVolumes();
    // The shown result's card is listed again (the window came to the front, say), if it is watched.
    Q_INVOKABLE void lookAtCardAgain();
    // The description of the volume under a location, named by its path key: cached, else
    // described off the GUI thread (volumeInfoReady follows with the key); an empty map until then
    // or when the path does not exist. The descriptions are read again on every mount event and
    // after a copy.
    Q_INVOKABLE QVariantMap volumeInfo(const QString& key);
    std::optional<VolumeInfo> cachedVolumeInfo(const std::string& path) const;
    // The volume under `path` as the mount table and the device database name it, before it is
    // described: its name, place, file system and UUID, no sizes.
    std::optional<VolumeInfo> namedVolume(const std::string& path) const;
    Q_INVOKABLE void ejectSource();
    Q_INVOKABLE void dismissNewCard();
    Q_INVOKABLE void dismissNotice();
    void show(const QString& text, bool ok);
    // A card file at `path` read here (a thumbnail, a preview, a copy) without keeping its access
    // time (see NoAtime.h). Of a file of the shown card, cardAccessTimesNote then says so.
    void noteAccessTimeTouched(const std::string& path);
    // That the card's file system updates access times as it is read, with the way to keep them,
    // as what is done goes: on the start screen of a chosen card that a check would touch so; while
    // a check runs, from its first such open on; of a result, its own sentence, else the one for
    // another user's files when reads made here since met them on the card's mounted volume. Empty
    // when none.
    QString cardAccessTimesNote() const { return cardAccessTimesNote_; }

    // --- checks ---
    // level "verified" with a shown result starts the byte-by-byte pass; anything else a check.
    Q_INVOKABLE void check(const QString& level = QString());
    void check(std::optional<CheckLevel> level);
    Q_INVOKABLE void resetResults();
    // Stops the running check: the window goes back at once, and the run's outcome, whenever it
    // comes, is dropped. The byte-by-byte pass and the shown result are left alone.
    Q_INVOKABLE void stopCheck();
    Q_INVOKABLE void checkAnotherCard(int suggestedIndex = -1);
    Q_INVOKABLE void checkAgainstBackup(bool adding);
    Q_INVOKABLE void startDeepVerify();
    Q_INVOKABLE void stopDeepVerify();

    // --- history ---
    // Shows a saved result at once, without a check; its card and backups are restored from their
    // bookmarks off the GUI thread, and a check asked for before they are waits for them.
    Q_INVOKABLE void showHistory(const QString& id);
    // Shows a saved result and, once its card and backups are restored, checks that card against
    // the saved backups that are connected, naming those that are not.
    Q_INVOKABLE void recheckSaved(const QString& id);
    Q_INVOKABLE void forget(const QString& id);
    bool historyLoaded() const;

    // --- files ---
    Q_INVOKABLE void showFiles(const QString& groupID, bool onlyMissing);
    // The browser on the files of `folder` (its key, relative to the card; "" is the whole card,
    // shown as a restriction by the card's name) and below it that are not backed up.
    Q_INVOKABLE void showNotBackedUp(const QString& folder);
    Q_INVOKABLE void backToShoots();
    Q_INVOKABLE QList<qint64> copyableIDs(const QList<qint64>& ids) const;
    Q_INVOKABLE void requestCopy(const QList<qint64>& ids, const QString& title);
    Q_INVOKABLE void requestCopyAllMissing();
    Q_INVOKABLE void clearCopyRequest();
    // The last copy's report: its files shown in the file manager, saved as CSV. Paths come as the
    // path keys the report view gives.
    Q_INVOKABLE void revealPaths(const QStringList& keys);
    Q_INVOKABLE void openFolder(const QString& key);
    Q_INVOKABLE void saveLastCopyCSV();
    // The installed photo applications, looked up when a copy is recorded; handOff gives the
    // last copy's new files to one of them; each one's help says what it is given.
    QStringList photoAppNames() const;
    QStringList photoAppHelps() const;
    Q_INVOKABLE void handOff(int app);
    // The copy dialog's "Choose…": the folder picker, then the sheet decides what the folder means.
    Q_INVOKABLE void chooseCopyLocation();
    Q_INVOKABLE void exportCSV();
    Q_INVOKABLE QUrl sourceURL(qint64 fileID) const;
    // The file's backup copy at that position of its copies (the first by default).
    Q_INVOKABLE QUrl copyURL(qint64 fileID, int copy = 0) const;
    Q_INVOKABLE void quickLook(qint64 fileID);
    Q_INVOKABLE void closePreview();
    Q_INVOKABLE void reveal(qint64 fileID);
    // Shows these files on the card (or their first backup copies) in the file manager; unknown
    // ids and files without a copy add nothing, and nothing at all is asked for an empty list.
    Q_INVOKABLE void revealFiles(const QList<qint64>& ids, bool onBackup);
    // Shows one of the file's backup copies, by its position among them; nothing for a copy the
    // file does not have.
    Q_INVOKABLE void revealCopy(qint64 fileID, int copy);
    // Shows these paths (bytes) in the file manager.
    void revealOnDisk(const std::vector<std::string>& paths);
    // The browser's rows: the visible files in the table's order.
    FileRows* fileRows() { return &fileRows_; }
    // The browser's header: a folder restriction (the empty text, the card's top, is one), the
    // shoot chip's text, whether the shown report has no backups.
    bool hasFolderFilter() const { return folderFilter_.has_value(); }
    Q_INVOKABLE void clearFolderFilter() { setFolderFilter(std::nullopt); }
    QString shootChipText() const;
    bool reportCardOnly() const { return report_ && report_->isCardOnly(); }

    // --- copy ---
    // The copy dialog reports its run; while one runs, checks, the pass and eject are disabled.
    void copyStarted(RunningCopy copy);
    void copyEnded();

    // Cancels the check, the pass and the copy (waiting for the copy to clean up), then finishes
    // the pending history save. Bounded (shutdownWaitMs): a worker stuck in the kernel is left to
    // the process exit.
    Q_INVOKABLE void shutdown();

    // Waits (processing events) until no check, pass, volume read, listing of the card or history
    // work is pending beyond `running` pieces (checks or passes a test keeps running); for tests
    // and the end of shutdown. A negative time waits for as long as that takes.
    bool waitForIdle(int timeoutMs, int running = 0);
    // The count of the model's running workers, which outlives the model.
    std::shared_ptr<const ModelWorkers> workers() const { return workers_; }

signals:
    void sourceChanged();
    void destinationsChanged();
    void backupPresenceChanged();
    void kindsChanged();
    void levelChanged();
    void volumesChanged();
    void volumeFactsChanged();
    void phaseChanged();
    void progressChanged();
    void reportChanged();
    void filesByIDChanged();
    void modeChanged();
    void filterChanged();
    void searchChanged();
    void folderFilterChanged();
    void groupFilterChanged();
    void selectedFileIDChanged();
    void selectedFolderChanged();
    void showInspectorChanged();
    void gridViewChanged();
    void visibleFilesChanged();
    void copyRequestChanged();
    void lastCopyChanged();
    void historyChanged();
    void photoFormatsChanged();
    void newCardChanged();
    void noticeChanged();
    void ejectingChanged();
    void cardOnlyChanged();
    void deepVerifyingChanged();
    void deepProgressChanged();
    void savedCardChanged();
    void canCheckChanged();
    void canEjectSourceChanged();
    void suggestedCardsChanged();
    void copyingChanged();
    void previewChanged();
    void volumeInfoReady(const QString& key);
    void cardAccessTimesChanged();
    void agesChanged();

private:
    struct Pass;
    struct Check;
    struct Alive;
    struct Restored;
    struct Opening;
    // A saved result whose card and backups are being restored.
    struct Restoring {
        uint64_t serial = 0;  // finishSerial_ of that result
        bool recheck = false;
        bool check = false;  // a check was asked for meanwhile, at this level
        std::optional<CheckLevel> level;
    };

    // Where a dialog the application opens by itself starts: a folder, and an entry of it shown
    // selected.
    struct DialogStart {
        std::string folder;
        std::optional<std::string> selected;
    };

    void loadSettings();
    void updateCardAccessTimesNote();
    // Reads of the card at `card` did not keep access times, in this way.
    void noteCardTouched(const std::string& card, CardAccessTimes what);
    // The mounted volume at `path` as described here: its device and mount; none until described.
    std::optional<std::string> mountedVolumeAt(const std::string& path) const;
    // Asks off the GUI thread what a check of the chosen card would do to its access times.
    void expectAccessTimes();
    void saveDestinations();
    void setDestinations(std::vector<std::string> paths);
    // Where cards and drives are mounted: the desktop's removable-media folder.
    std::string mountRoot() const;
    // Where a dialog asked to open at `wanted` opens: there, unless that lies inside a card, where
    // listing a folder writes its access time; then in the folder that holds the card, with the
    // card selected.
    DialogStart dialogStart(const std::string& wanted) const;
    // What no dialog lists (a listing writes access times): the chosen card (the whole of its
    // volume when that is a card or a removable drive holding no backup) and every volume that
    // looks like a camera card and holds no backup. A picker offers them whole.
    std::vector<std::string> cardFolders() const;
    // Where a saved file goes unless the user says otherwise: the documents folder, else home.
    std::string saveFolder() const;
    bool holdsBackup(const VolumeInfo& v) const;
    bool holdsSource(const VolumeInfo& v) const;
    // A mounted volume the window may offer as an inserted card: removable or card-like, not a
    // disk image nor the system's root, and shown whole (a mount of part of a volume is a folder).
    static bool offerable(const VolumeInfo& v);
    // The sidebar's or the banner's offered card: checked against the backups at once.
    void checkOfferedCard(const std::string& volumePath);
    void updateVolumeFacts();
    void setPhase(Phase phase, QString failure = QString());
    // `sameCheck`: the report continues the shown one (the pass's own report), so views update
    // their rows in place. The report comes with what showing it needs, made off the GUI thread;
    // nullptr for none.
    void setReport(PreparedReport* prepared, bool sameCheck = false);
    void setProgress(const VerifyProgress& progress);
    void setDeepVerifying(bool on);
    void stopPass();
    void cancelCheck();
    void finish(PreparedReport prepared, bool record, bool sameCheck = false);
    void applyCheckOutcome(const std::shared_ptr<IVerifier>& v, std::optional<PreparedReport> report,
                           std::optional<VerifyError> error, QString otherFailure);
    void applyPassOutcome(const std::shared_ptr<IVerifier>& v, std::optional<PreparedReport> report);
    void drainPass();
    void applyLive(const std::vector<FileResult>& batch, const std::vector<std::string>& passBackups);
    // `inPlace`: the same check's files changed, and the browser's rows move rather than reset.
    void refilter(bool inPlace = false);
    // After a report replaced another: the selected folder stays where this report holds it, and
    // the file at `file` (the selected file's path in the report before) stays selected where
    // this report lists it; else each falls back to the whole (the card, no file).
    void keepSelection(const std::optional<std::string>& file);
    FileQuery query() const;  // the browser's restrictions
    std::vector<int> visibleNow() const;
    // Where the file's copy at that position lies; nothing for an unknown file or copy, or one
    // naming no backup of the report.
    std::optional<std::string> copyPath(int64_t fileID, int copy) const;
    void applyVolumes(VolumeListing listing);
    void sourceVolumeRemoved(const std::set<std::string>& vanished);
    // Asks the kernel whether the mounts on screen are mounted still: the shown result's card and
    // the announced card. One that went takes what belongs to it with it at once, whatever is
    // mounted at its place by now. Touches no file system, so it runs on the GUI thread.
    void checkMounts();
    // The shown result's card (or the chosen card) has gone: what was shown of it goes, as when
    // it is ejected.
    void cardLeft();
    // Reads every cached volume description again; volumeInfoReady names those that changed.
    void refreshVolumeFacts();
    // The chosen backups whose drive is not connected are never handed to a verifier.
    std::vector<std::string> connectedBackups() const;
    BackupWatch watchBackups(const std::vector<std::string>& backups) const;
    // A check's run off the GUI thread, and what of its outcome is applied back on it.
    static std::function<std::function<void(AppModel&)>()> checkWork(std::shared_ptr<Check> check,
                                                                     std::vector<std::string> notConnected,
                                                                     BackupWatch watch);
    void checkPresence();
    void applyPlaces(const BackupPlaces& places, const RenewedBookmarks& renewed = {});
    void markNotConnected(const std::vector<std::string>& backups);
    // Tells which backups are not connected, each once for each time its drive went.
    void sayNotConnected(const std::vector<std::string>& backups);
    // The backup's drive is connected again: whether it was not, and it may be told of once more.
    bool backupReturned(const std::string& backup);
    void restartCheckWithout(const std::shared_ptr<IVerifier>& v, const std::vector<std::string>& left);
    void restartPassWithout(const std::shared_ptr<IVerifier>& v, const std::vector<std::string>& left);
    void backupsLeft(const std::vector<std::string>& gone, bool current);
    void pickNextCard(const std::optional<std::string>& start);
    void record(std::shared_ptr<const SavedReport> saved);
    void openSaved(const QString& id, bool recheck);
    void startOpening(const std::shared_ptr<Opening>& opening);
    void applyOpened(const std::shared_ptr<Opening>& opening, const HistoryItem& saved,
                     std::optional<PreparedReport> prepared);
    void applyRestored(const Restored& restored);
    // True when a saved result is being restored: the check (at `level`) then starts after it.
    bool waitForRestore(std::optional<CheckLevel> level);
    void setSavedCard(SavedCard state, CardChanges changes = {});
    // The saved result on screen is of a card that is not here: not inserted, or another at its place.
    bool savedCardNotHere() const;
    // The shown result's card (AppModelCard.cpp): watched and listed from now on, until stopped.
    void watchShownCard();
    void stopWatchingCard();
    // Lists the card off the GUI thread, one listing at a time; asked meanwhile, once more after.
    void lookAtCard();
    void applyCardLook(uint64_t serial, uint64_t look, uint64_t reportEpoch, CardChanges changes);
    // The eject itself, once the card is let go.
    void unmountCard();
    // A saved result's card that was not here: looked for again among the mounted volumes.
    void findSavedCard();
    // The notice of a re-check asked of a saved result whose card is not here; `what` ends it.
    void sayInsertSavedCard(const QString& what);
    std::shared_ptr<IVerifier> makeVerifier(VerifyRequest request);
    // Once the event on hand has let go of what it ended: frees `spent` (a replaced report, its
    // index) on a worker, then hands the allocator's free pages back to the system.
    void giveBack(std::shared_ptr<void> spent = nullptr);
    void emitComputed();
    // Reads the relative times again at now() and wakes when the first of them changes.
    void ageAgain();
    // Runs work on `pool` (the pool of what the user asked for by default); what it returns is
    // applied on the GUI thread while the model lives.
    void runOffGui(std::function<std::function<void(AppModel&)>()> work, QThreadPool* pool = nullptr);
    // Runs `work` on `pool`, counted among the model's workers.
    void startWorker(QThreadPool* pool, std::function<void()> work);
    // Reads the mounted volumes again unless a reading runs; then that one is told it is stale.
    void listVolumesNow();
    void requestBookmark(const std::string& path);
    // A folder the user has just picked is bookmarked as it is now, not as the volume at its path
    // was earlier in the session (reformatted or replaced since, it is another volume).
    void forgetBookmark(const std::string& path);
    static void post(const std::shared_ptr<Alive>& alive, std::function<void(AppModel&)> apply);

    AppModelDeps deps_;
    std::unique_ptr<QSettings> settings_;
    std::shared_ptr<Bookmarks> bookmarks_;
    // What the user asked for (checks and their first steps, passes, openings, the looks at the card
    // a copy or an eject waits for) never queues behind what the model does by itself (listings of
    // the volumes, descriptions, card watches, bookmarks): each has pools of its own. Owned; released
    // without waiting when a worker outlives shutdown.
    QThreadPool* pool_;
    QThreadPool* backgroundPool_;  // listings, descriptions, card watches, freeing
    QThreadPool* bookmarkPool_;    // bookmark probes and presence, one at a time
    std::shared_ptr<ModelWorkers> workers_ = std::make_shared<ModelWorkers>();
    std::shared_ptr<Alive> alive_;

    std::optional<std::string> source_;
    std::vector<std::string> destinations_;
    // The backup chosen last, kept when the list is emptied: where the backup picker opens.
    std::optional<std::string> lastBackup_;
    std::set<MediaKind> kinds_;
    CheckLevel level_ = CheckLevel::standard;
    std::vector<VolumeInfo> volumes_;
    std::set<std::string> mountPoints_;
    Phase phase_ = Phase::Setup;
    QString failureText_;
    VerifyProgress progress_;
    std::optional<VerifyReport> report_;
    FileIndex filesByID_;               // of report_, rebuilt whenever its file list is replaced
    std::optional<ReportTally> tally_;  // of report_, only while reportChanged tells of it
    uint64_t orderDigest_ = 0;          // of report_ (present::FileSortKeys::orderDigest)
    quint64 reportSerial_ = 0;
    const std::vector<int>* folded_ = nullptr;
    bool totalsCounted_ = false;  // report_'s totals were counted from its files since it was set
    Mode mode_ = Mode::Shoots;
    FileFilter filter_ = FileFilter::All;
    QString search_;
    std::optional<std::string> folderFilter_;
    std::optional<ShootGroup> groupFilter_;
    std::optional<int64_t> selectedFileID_;
    QString selectedFolder_ = QStringLiteral("");
    bool showInspector_ = true;
    bool gridView_ = false;
    std::vector<int> visible_;  // positions in report_->files
    FileRows fileRows_;
    std::optional<CopyRequest> copyRequest_;
    QVariant lastCopy_;
    QPointer<QObject> copySheet_;
    std::vector<PhotoApp> photoApps_;
    std::unique_ptr<HistoryStore> history_;
    PhotoFormats photoFormats_ = PhotoFormats::all;
    std::optional<VolumeInfo> newCard_;
    // The mount the shown result's card is: the one its check read, or, of a saved result, the one
    // found holding its card. The result, its ready-to-format panel and Eject belong to it alone.
    std::optional<VolumeInfo> cardMount_;
    std::optional<Notice> notice_;
    bool ejecting_ = false;
    std::shared_ptr<IVerifier> verifier_;
    ScopedAccess access_;
    bool cardOnly_ = false;
    bool deepVerifying_ = false;
    VerifyProgress deepProgress_;
    std::shared_ptr<IVerifier> deepVerifier_;
    std::map<std::string, VolumeInfo> volumeCache_;
    // namedVolume's answers, until the mount table changes.
    mutable std::map<std::string, std::optional<VolumeInfo>> tableNames_;
    QVariantMap volumeFacts_;
    std::vector<VolumeInfo> offeredCards_;  // the suggested cards the views were last told of

    std::map<std::string, QByteArray> knownBookmarks_;  // last good bookmark of each path
    std::map<std::string, uint64_t> bookmarking_;       // being made, by the request's serial
    uint64_t bookmarkSerial_ = 0;
    std::set<std::string> unbookmarkable_;    // make() refused; kept by path alone
    std::set<std::string> unresolved_;        // chosen backups whose drive is not connected
    std::set<std::string> toldNotConnected_;  // of those, the ones the user was told of
    std::shared_ptr<Pass> pass_;
    QTimer drainTimer_;
    // One reading of the volumes at a time: a change meanwhile marks it stale, and one more reading
    // follows it. A stale reading stops between volumes, unless the readings before it all stopped:
    // under mounts that change faster than a reading ends, every third one ends and is shown.
    bool listing_ = false;
    bool listAgain_ = false;
    int listingsStopped_ = 0;
    std::shared_ptr<std::atomic<bool>> listingStale_;
    std::set<std::string> describing_;
    // The cached descriptions are read again one reading at a time, likewise.
    bool factsReading_ = false;
    bool factsAgain_ = false;
    // And the chosen backups' drives are looked for one search at a time.
    bool presenceLooking_ = false;
    bool presenceAgain_ = false;
    std::optional<RunningCopy> copy_;
    bool previewOpen_ = false;
    QList<QUrl> previewUrls_;
    bool shutDown_ = false;
    std::vector<std::shared_ptr<void>> spent_;  // for the next giveBack's worker
    bool givingBack_ = false;
    int pending_ = 0;            // pool work whose result is not applied yet
    uint64_t finishSerial_ = 0;  // which shown result an automatic pass was meant for
    int passesDue_ = 0;          // automatic passes asked for and not yet started
    std::optional<Restoring> restoring_;
    std::shared_ptr<Opening> opening_;  // the saved result asked for last, until it is shown
    SavedCard savedCard_ = SavedCard::none;
    CardChanges savedChanges_;
    std::vector<char> gone_;  // by position in the shown report: savedChanges_'s files gone
    // Cards (paths) read here without keeping access times, each with the volume mounted there then
    // (mountedVolumeAt; none when not described yet): the note belongs to that volume, and a check
    // of the card starts it afresh.
    struct Touched {
        CardAccessTimes what = CardAccessTimes::otherOwner;
        std::optional<std::string> volume;
    };
    std::map<std::string, Touched> touched_;
    // What a check of the chosen card (its path) would do, asked while no result is shown.
    std::optional<std::pair<std::string, CardAccessTimes>> expected_;
    uint64_t expectSerial_ = 0;
    // What the running check will do to its card (its path), asked before the check reads it.
    std::optional<std::pair<std::string, CardAccessTimes>> checkExpects_;
    QString cardAccessTimesNote_;  // as last told
    // The card of the shown result, watched: by the serial its listings carry, one at a time.
    struct CardAct {
        uint64_t after = 0;  // the first listing that may let it go
        std::function<void(AppModel&, bool)> act;
    };
    std::unique_ptr<CardWatch> cardWatch_;
    QTimer cardSoon_;  // a listing shortly after a change, not after each of a copy's notices
    QTimer cardPoll_;  // listings where some folder could not be watched
    uint64_t cardSerial_ = 0;
    uint64_t cardLooks_ = 0;  // listings begun
    // Listings still walking the card, whoever asked for them: each holds its folders open, and an
    // unmount would fail as busy until it is back. What waits for none to be left runs then.
    int cardListingsOut_ = 0;
    std::vector<std::function<void(AppModel&)>> afterCardListings_;
    bool cardLooking_ = false;
    bool cardLookAgain_ = false;
    uint64_t reportEpoch_ = 0;  // a new number for each report set, the pass's own too; folds keep it
    bool cardLooked_ = false;   // a listing begun since the report was set found it as it says
    std::shared_ptr<const RecordedCard> recorded_;
    std::vector<CardAct> cardActs_;
    QTimer ageTimer_;
    TimeNs agedAt_ = 0;
    std::optional<TimeNs> agedShown_;  // the shown result's finishing instant the ages were read with
};

}  // namespace halvetrop
