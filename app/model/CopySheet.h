#pragma once
// The copy dialog's state from plan to result. Every choice the user makes is turned into a plan
// off the GUI thread, after a short quiet spell, and tagged with the generation of the choices it
// was made from: Copy acts only on the plan of the choices shown. The run goes through the core's
// CopyRunner on a thread of its own; the model is told a copy runs, so quitting can stop it.
#include "copy/CopyPlanner.h"
#include "copy/CopyRunner.h"
#include "model/AppModel.h"
#include "present/CopyReport.h"

#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QVariantList>

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QThreadPool;

namespace halvetrop {

struct CopySheetDeps {
    // Called off the GUI thread; Drives::info when empty.
    std::function<VolumeInfo(const std::string& path)> describeVolume;
    // The instant the sheet opens; the system clock when empty.
    std::function<TimeNs()> now;
    // Runs the plan on the copy thread; the runner's run() when empty.
    std::function<CopyRunResult(CopyRunner& runner)> runCopy;
    int debounceMs = 150;
    // Backup paths whose drive is not connected as the sheet opens: not offered.
    std::set<std::string> notConnected;
};

// Which progress reports reach the screen: the first, then one more than 50 ms after the last
// forwarded one on a monotonic clock (a clock set back never stops them), and always the report
// after the last file.
class ProgressThrottle {
public:
    bool pass(const CopyProgress& progress, qint64 nowMs);

private:
    std::optional<qint64> last_;
};

class CopySheet : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString today READ today CONSTANT)
    // The backups offered, and the chosen one's row among them.
    Q_PROPERTY(QStringList backups READ backupTexts NOTIFY backupsChanged)
    Q_PROPERTY(int destination READ destinationRow WRITE chooseDestinationRow NOTIFY inputsChanged)
    Q_PROPERTY(Layout layout READ layout WRITE chooseLayout NOTIFY inputsChanged)
    Q_PROPERTY(QString pathTemplate READ pathTemplate WRITE setPathTemplate NOTIFY inputsChanged)
    Q_PROPERTY(QString baseFolder READ baseFolder WRITE setBaseFolder NOTIFY inputsChanged)
    Q_PROPERTY(QString location READ location WRITE setLocation NOTIFY inputsChanged)
    Q_PROPERTY(QString pickError READ pickError NOTIFY inputsChanged)
    Q_PROPERTY(QString nameError READ nameError NOTIFY inputsChanged)
    Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(bool planCurrent READ planCurrent NOTIFY planChanged)
    Q_PROPERTY(QString planError READ planError NOTIFY planChanged)
    Q_PROPERTY(int planCount READ planCount NOTIFY planChanged)
    Q_PROPERTY(qint64 planBytes READ planBytes NOTIFY planChanged)
    Q_PROPERTY(int renamedForCollision READ renamedForCollision NOTIFY planChanged)
    Q_PROPERTY(QVariantList preview READ preview NOTIFY planChanged)
    Q_PROPERTY(QVariant freeBytes READ freeBytes NOTIFY planChanged)
    // "1,234 files · 31.4 GB · 812 GB free on Archive": the preview's header.
    Q_PROPERTY(QString planSummary READ planSummary NOTIFY planChanged)
    // "Copy 1 File", "Copy 1,234 Files"; without a count until the plan of the choices shown is
    // there, or when there is none (never "Copy 0 Files" for a plan still being made or refused);
    // "Looking at the Card…" while Copy waits for a look at the card.
    Q_PROPERTY(QString copyButtonText READ copyButtonText NOTIFY planChanged)
    // How many files get a number for sharing a name in their folder; "" when none does.
    Q_PROPERTY(QString collisionText READ collisionText NOTIFY planChanged)
    // The files of the plan that will not be copied, and why; "" when every file will be.
    Q_PROPERTY(QString refusedText READ refusedText NOTIFY planChanged)
    Q_PROPERTY(bool canCopy READ canCopy NOTIFY planChanged)
    Q_PROPERTY(QVariantMap progress READ progressMap NOTIFY progressChanged)
    Q_PROPERTY(QVariantMap reportView READ reportView NOTIFY phaseChanged)
    Q_PROPERTY(QString locationLabel READ locationLabel NOTIFY inputsChanged)
    Q_PROPERTY(bool hasBackup READ hasBackup CONSTANT)

public:
    enum class Layout { shoot, beside, newDated, date, card, custom };
    Q_ENUM(Layout)
    enum class Phase { planning, copying, done };
    Q_ENUM(Phase)

    // The texts of a refused plan that the planner cannot know.
    static QString volumesChangedText();
    static QString volumesUnknownText();
    static QString nameTooLongText();
    // The card of the result changed since its check (`changes` as the result says them).
    static QString cardChangedText(const CardChanges& changes);
    // A copy this user could not write: the backup's volume is mounted read-only, or `folder` (a
    // destination folder, or the nearest folder above one that exists) may not be written in.
    static QString readOnlyText(const QString& backup);
    static QString notWritableText(const std::string& folder);
    // What the save-folder picker says of the card being checked, called `card`.
    static QString cardIsNoSaveFolderText(const QString& card);

    // `report` and `request` are fixed for the sheet's life; `settings` holds the remembered
    // save folders and outlives the sheet.
    CopySheet(AppModel& model, VerifyReport report, AppModel::CopyRequest request, QSettings& settings,
              CopySheetDeps deps = {}, QObject* parent = nullptr);
    // Stops a running copy and waits for it to clean up.
    ~CopySheet() override;

    QString title() const { return request_.title; }
    QString cardName() const;
    QString today() const { return QString::fromStdString(today_); }
    QStringList backupTexts() const;
    // The chosen backup, as an index into the report's backups.
    int destination() const { return destination_; }
    int destinationRow() const;
    void chooseDestinationRow(int row);
    // The report's backups a copy may go to: those whose drive is connected, in report order.
    std::vector<int> offered() const;
    // The drives of these backup paths left (or came back) while the sheet is open.
    void setNotConnected(std::set<std::string> paths);
    bool destinationConnected() const;
    Layout layout() const { return layout_; }
    QString pathTemplate() const { return template_; }
    QString baseFolder() const { return baseFolder_; }
    QString location() const { return location_; }
    QString pickError() const { return pickError_; }
    QString nameError() const;
    Phase phase() const { return phase_; }

    void chooseDestination(int index);
    void chooseLayout(Layout layout);
    void setPathTemplate(const QString& text);
    void setBaseFolder(const QString& text);
    void setLocation(const QString& text);
    // The folder the user picked: moves to its backup, or explains why it cannot be used.
    Q_INVOKABLE void pickFolder(const QString& path);
    void pickFolder(const std::string& path);
    // Where the folder picker starts: the save folder on the chosen backup.
    std::string locationStart() const;

    // What the planner gets for the current choices (the pure part of building a plan).
    CopyLayout copyLayout() const;
    std::string plannerLocation() const;
    std::string plannerBase() const;
    QString detail(Layout layout) const;
    Q_INVOKABLE QString detailText(int layout) const { return detail(Layout(layout)); }
    QString locationLabel() const;
    static QString baseDefault(Layout layout, const QString& today, const QString& cardName);

    // The plan of the current choices, once worked out; nothing while one is pending.
    bool planCurrent() const { return planGeneration_ == generation_ && planResult_.has_value(); }
    const CopyPlan* plan() const;
    QString planError() const;
    int planCount() const;
    qint64 planBytes() const;
    int renamedForCollision() const;
    QVariantList preview() const;
    QVariant freeBytes() const;  // nothing while unknown
    QString planSummary() const;
    QString copyButtonText() const;
    QString collisionText() const { return present::collisionNote(renamedForCollision()); }
    QString refusedText() const;
    bool canCopy() const;
    // Copy was pressed and waits for a look at the card before the run starts.
    bool starting() const { return starting_; }
    quint64 generation() const { return generation_; }

    // Return and Copy; nothing unless the plan shown is the plan of the current choices.
    Q_INVOKABLE void copy();
    Q_INVOKABLE void stop();
    // Escape: Cancel while planning, Stop while copying, Done on the result.
    Q_INVOKABLE void pressEscape();
    Q_INVOKABLE void cancel();
    Q_INVOKABLE void done();
    bool dismissable() const { return phase_ != Phase::copying; }

    QVariantMap progressMap() const;
    QVariantMap reportView() const {
        return copyReport_ ? present::copyReportView(QVariant::fromValue(copyReport_)) : QVariantMap();
    }
    bool hasBackup() const;
    const std::optional<CopyRunResult>& result() const { return result_; }
    std::shared_ptr<const present::CopyReport> copyReport() const { return copyReport_; }
    // For tests: waits (processing events) until the pending plan or run has reported.
    bool waitForPlan(int timeoutMs);
    bool waitForRun(int timeoutMs);

signals:
    void inputsChanged();
    void backupsChanged();
    void planChanged();
    void phaseChanged();
    void progressChanged();
    // The sheet has nothing more to show: Cancel or Done.
    void finished();

private:
    struct Inputs;
    struct Outcome;
    void changed(bool restoreLocation = false);
    // The model's word on the result's card moved: the plan is made again, or refused, at once.
    void cardMoved();
    // Why nothing may be copied from the card as it is now; nothing when it is as checked.
    std::optional<QString> cardRefusal() const;
    void start();
    void launchPlan();
    void applyOutcome(Outcome outcome);
    void finish(CopyRunResult result);
    QString settingsKeyPath() const;
    static Outcome work(const Inputs& in);

    AppModel& model_;
    std::shared_ptr<const VerifyReport> report_;
    AppModel::CopyRequest request_;
    QSettings& settings_;
    CopySheetDeps deps_;
    std::string today_;

    int destination_ = 0;
    std::set<std::string> notConnected_;
    Layout layout_ = Layout::shoot;
    QString template_ = QStringLiteral("{YYYY}/{date} {camera}");
    QString baseFolder_;
    QString location_;           // as the field shows it
    std::string locationBytes_;  // the folder it names, as bytes below the backup
    QString pickError_;
    Phase phase_ = Phase::planning;

    quint64 generation_ = 0;
    bool restorePending_ = false;
    QTimer debounce_;
    quint64 planGeneration_ = 0;
    // What the card was known to be when the plan was asked for: only a change of it makes the
    // plan (and a Copy waiting for its look at the card) out of date.
    std::pair<AppModel::SavedCard, CardChanges> cardSeen_{AppModel::SavedCard::none, {}};
    std::optional<std::variant<CopyPlan, QString>> planResult_;
    QVariantList preview_;
    std::optional<std::int64_t> freeBytes_;
    int plansInFlight_ = 0;
    bool starting_ = false;

    std::shared_ptr<CopyRunner> runner_;
    std::optional<CopyProgress> progress_;
    std::optional<CopyRunResult> result_;
    std::shared_ptr<const present::CopyReport> copyReport_;
    std::future<void> run_;
    QThreadPool* pool_;  // owned; plans, one at a time
};

}  // namespace halvetrop
