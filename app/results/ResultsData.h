#pragma once
// The results screen's view of the shown report: every text, figure and row list the views place,
// computed by present/ from the model's report and its last copy. The views hand in what they
// read of the model's state (the pass, eject) and place what comes out.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

#include "model/AppModel.h"
#include "model/FileList.h"
#include "model/KeyedRows.h"
#include "model/ReportTally.h"
#include "present/Results.h"
#include "report/Report.h"
#include "results/DiskTool.h"
#include "results/PlaceRows.h"

namespace halvetrop {

class ResultsData;

// One row per shoot, newest day first; the day's texts ride on every row for the section header.
// A new report resets the rows; the same check's report, folded or replaced, moves them.
class ShootRows : public KeyedRows {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    explicit ShootRows(const ResultsData& data) : data_(data) {}
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    int count() const { return int(rows_.size()); }
    void rebuild();
    void update();
    // A fold changed the counts of these shoots (positions in the report's groups): their rows
    // and the headers of their days change, nothing moves.
    void fold(const std::vector<int>& shoots);
    // What each shoot has to copy was told again (files left the card).
    void copyableChanged();
    // The shoot's group at a row (nullptr out of range).
    const ShootGroup* group(int row) const;

signals:
    void countChanged();

private:
    struct Row {
        int group = 0;      // position in the report's groups
        std::string id;     // the group's id
        QString dayHeader;  // the day's text and counts
        QString dayTitle;   // the day's text, on the day's first row
    };
    std::vector<Row> rowsNow() const;
    // The header of the day of rows [begin, end).
    QString dayHeader(const std::vector<Row>& rows, size_t begin, size_t end) const;
    void indexRows();

    const ResultsData& data_;
    std::vector<Row> rows_;
    std::vector<int> rowOf_;  // by position in the report's groups: its row, -1 for none
};

class FolderRows : public KeyedRows {
    Q_OBJECT
public:
    explicit FolderRows(const ResultsData& data) : data_(data) {}
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    void rebuild();
    void update();
    // The same rows, told to be read again.
    void refresh();

private:
    struct Row {
        int folder = 0;    // position in the report's folders
        std::string path;  // the folder's bytes: look-alike names are two folders
    };
    std::vector<Row> rowsNow() const;

    const ResultsData& data_;
    std::vector<Row> rows_;
};

class ResultsData : public QObject {
    Q_OBJECT
    // The application model the screen shows; anything else shows nothing.
    Q_PROPERTY(QObject* model READ model WRITE setModel NOTIFY modelChanged)
    // What the view reads of the model, handed in by binding.
    Q_PROPERTY(bool deepVerifying MEMBER deepVerifying_ WRITE setDeepVerifying NOTIFY changed)
    Q_PROPERTY(bool deepRunning MEMBER deepRunning_ WRITE setDeepRunning NOTIFY changed)
    Q_PROPERTY(bool canEject MEMBER canEject_ WRITE setCanEject NOTIFY changed)

    Q_PROPERTY(bool hasReport READ hasReport NOTIFY changed)
    Q_PROPERTY(bool cardOnly READ cardOnly NOTIFY changed)
    Q_PROPERTY(bool ready READ ready NOTIFY changed)
    Q_PROPERTY(QVariantMap hero READ hero NOTIFY changed)
    Q_PROPERTY(QVariantList segments READ segments NOTIFY changed)
    Q_PROPERTY(QVariantMap readyPanel READ readyPanel NOTIFY changed)
    Q_PROPERTY(QVariantMap contents READ contents NOTIFY changed)
    Q_PROPERTY(QObject* shoots READ shoots CONSTANT)
    Q_PROPERTY(QObject* folders READ folders CONSTANT)
    // The places of the folder the destinations panel shows (showPlaces).
    Q_PROPERTY(QObject* places READ places CONSTANT)

public:
    explicit ResultsData(QObject* parent = nullptr);
    ~ResultsData() override;

    QObject* model() const { return model_; }
    void setModel(QObject* model);
    void setDeepVerifying(bool on);
    void setDeepRunning(bool on);
    void setCanEject(bool on);
    // The desktop's disk tool; a fake in tests.
    void setDiskTool(std::unique_ptr<DiskTool> tool) { diskTool_ = std::move(tool); }

    bool hasReport() const { return report() != nullptr; }
    bool cardOnly() const { return report() && report()->isCardOnly(); }
    // Of a saved result, only while its card is here unchanged.
    bool ready() const;
    QVariantMap hero() const;
    QVariantList segments() const;
    QVariantMap readyPanel() const;
    QVariantMap contents() const;
    QObject* shoots() { return &shoots_; }
    QObject* folders() { return &folders_; }
    QObject* places() { return &places_; }

    // Covered and attention widths of a bar over `counts` (files, verified, backedUp, conflict, problem).
    Q_INVOKABLE QVariantMap bar(const QVariantMap& counts, double width, double height) const;
    // The destinations panel of a folder, named by its key from the folder rows ("" is the whole
    // card); its places are the places rows (showPlaces).
    Q_INVOKABLE QVariantMap panel(const QString& folderKey) const;
    // The places rows follow the folder of this key while a panel shows it; null for none.
    Q_INVOKABLE void showPlaces(const QVariant& folderKey);
    // Ids of the folder's files that are not covered, for a copy request or the jump.
    Q_INVOKABLE QList<qint64> uncoveredIDs(const QString& folderKey) const;
    Q_INVOKABLE QList<qint64> groupIDs(int row) const;
    Q_INVOKABLE QString groupID(int row) const;
    // The copy sheet's title for a shoot's missing files.
    Q_INVOKABLE QString shootCopyTitle(int row) const;
    // Shows a shoot's first landing, or a panel place, in the file manager by the backup folder's
    // own bytes (through the application model; nothing without one).
    Q_INVOKABLE void revealLanding(int row) const;
    Q_INVOKABLE void revealPlace(int destination, const QString& folderKey) const;
    // Starts the disk tool once the card is seen still to be as the ready result says; a notice
    // says why when none started.
    Q_INVOKABLE void openDiskTool();

    // For the row models.
    const VerifyReport* report() const;
    const FileResult* file(int64_t id) const;
    int64_t copyableCount(const std::vector<int64_t>& ids) const;
    // The live counts of the shoot at that position of the report's groups.
    const StatusCounts& shootCounts(size_t group) const { return tally_.shoot(group); }
    const present::DateTexts& dates() const { return dates_; }

signals:
    void modelChanged();
    void changed();

private slots:
    void reload();
    void lastCopyChanged();
    void savedCardChanged();
    void aged();

private:
    QVariantMap computeHero() const;
    void revealOnBackup(int64_t destination, const std::string& folder) const;
    void recount();
    void updatePlaces();
    void notePass();

    // Each is computed once per change: several bindings read it, and a report may hold 100,000 files.
    mutable std::optional<QVariantMap> hero_;
    mutable std::optional<bool> ready_;
    void changedNow() {
        hero_.reset();
        ready_.reset();
        emit changed();
    }

    QPointer<AppModel> model_;
    // The application model's report the rows were built for: another one resets them.
    std::optional<quint64> shownSerial_;
    bool deepVerifying_ = false;
    // The check a byte-by-byte pass ran over while shown (by the model's report serial): its
    // header keeps the pass's room after the pass, as it did before and during it.
    std::optional<quint64> passSerial_;
    bool deepRunning_ = false;
    bool canEject_ = false;
    present::DateTexts dates_;
    // The figures a fold changes, kept by file; the selected folder's is counted when first asked.
    mutable ReportTally tally_;
    present::ReportKinds kinds_;  // of the shown report, found again for each but a fold
    std::unique_ptr<DiskTool> diskTool_;
    ShootRows shoots_;
    FolderRows folders_;
    PlaceRows places_;
    std::optional<std::string> placesFolder_;
    // A moment after a report is first shown, while the user looks at it, the whole card's
    // figures of the destinations panel are counted, which the map's first showing waits for
    // otherwise.
    QTimer countSoon_;
    QList<QMetaObject::Connection> connections_;
};

// Makes ResultsData known to QML as Halvetrop.Native's `Results`.
void registerResults();

}  // namespace halvetrop
