// The copy sheet's model without a window: defaults per layout, what reaches the planner, the
// remembered save folder, plans that belong to the choices shown, refusals, and a real run on
// folders of this machine that ends in the model's last copy.
#include "ModelFixture.h"
#include "model/CopySheet.h"
#include "support/TempDir.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <future>

using namespace halvetrop;
using namespace halvetrop::test;
using Layout = CopySheet::Layout;

namespace {

constexpr TimeNs kLateUTC = TimeNs(1796601599) * 1000000000;  // 2026-12-06 23:59:59 UTC

struct Setup {
    TempDir dir{"sheet"};
    Harness harness;
    AppModel* model = nullptr;
    VerifyReport report;
    // 1: another drive with a UUID of its own at the backup's place; 2: one that cannot be told from
    // it (no UUID now, another mount).
    std::shared_ptr<std::atomic<int>> swapped = std::make_shared<std::atomic<int>>(0);

    // `listCards`: the model watches and lists the real card folder of a shown result.
    explicit Setup(int files = 3, bool listCards = false) {
        dir.mkdir("card/DCIM");
        dir.mkdir("one/Photos/2024");
        dir.mkdir("two/Photos/2024");
        report = makeReport(dir / "card", {dir / "one", dir / "two"},
                            std::vector<FileStatus>(size_t(files), FileStatus::missing));
        report.destinations[0].name = "Archive";
        report.source.volumeID = "CARD-ID";
        for (auto& d : report.destinations) d.volumeID = "BACKUP-" + d.path;
        writeCard(dir / "card", report);
        harness.listCards = listCards;
        model = &harness.start();
    }
    // The report shown as the result of a check of the card against both backups.
    void checked() {
        model->waitForIdle(kHangDetectorMs);
        model->setSource(report.source.path);
        model->addBackups({report.destinations[0].path, report.destinations[1].path});
        model->check(std::optional<CheckLevel>());
        QCOMPARE(harness.verifierCount(), size_t(1));
        harness.verifier(0)->complete(report);
        QTRY_COMPARE(model->phase(), AppModel::Phase::Results);
        QVERIFY(model->waitForIdle(kHangDetectorMs));
    }
    // Stands in for the runner's run when set.
    std::function<CopyRunResult(CopyRunner&)> runCopy;
    // Called first by every look at a volume, off the GUI thread, when set.
    std::function<void()> beforeDescribe;

    std::unique_ptr<CopySheet> open(int debounceMs = 0) {
        AppModel::CopyRequest request{QUuid::createUuid(), {}, QStringLiteral("Copy them")};
        for (const auto& f : report.files) request.fileIDs.push_back(f.id);
        CopySheetDeps deps;
        auto recorded = report;
        auto swapped = this->swapped;
        deps.describeVolume = [recorded, swapped, before = beforeDescribe](const std::string& path) {
            if (before) before();
            VolumeInfo v = path == recorded.source.path ? recorded.source : recorded.destinations.at(0);
            for (const auto& d : recorded.destinations)
                if (d.path == path) v = d;
            v.totalBytes = 1 << 30;
            v.freeBytes = 1 << 20;
            if (*swapped == 1) v.volumeID = "another";
            if (*swapped == 2) {
                v.volumeID.reset();
                v.mountID = *v.mountID + 1;
            }
            return v;
        };
        deps.now = [] { return kLateUTC; };
        deps.debounceMs = debounceMs;
        deps.runCopy = runCopy;
        return std::make_unique<CopySheet>(*model, report, request, model->settings(), deps);
    }
};

}  // namespace

class CopySheetTest : public QObject {
    Q_OBJECT
private slots:
    void defaultsAndWhatReachesThePlanner_data();
    void defaultsAndWhatReachesThePlanner();
    void rememberedFolderPerBackup();
    void aFolderThatIsNotUtf8();
    void copyActsOnlyOnTheCurrentPlan();
    void aPlanForOlderChoicesIsDropped();
    void refusals();
    void aFolderYouMayNotWriteIn();
    void runEndsInTheLastCopy();
    void filesCountWithTheirBytes();
    void copyThatChangesAccessTimesIsSaid();
    void aCardThatChangesUnderTheSheet_data();
    void aCardThatChangesUnderTheSheet();
    void copyPressedBeforeTheCardWasFirstLookedAt();
    void aNameTooLongForTheBackupIsLeftOut();
    void stopListsEveryFile();
    void progressThrottle();
    void explanatoryLines();
};

void CopySheetTest::explanatoryLines() {
    Setup s;
    s.report.groups[0].landings = {{1, "Other/2024", 3}, {0, "Photos/2024/2024-05-01 Trip", 3}};
    auto sheet = s.open();
    const QString e = QStringLiteral("\u2026/2024/2024-05-01 Trip");
    struct Case {
        Layout layout;
        QString location, base, line;
    };
    const std::vector<Case> cases = {
        {Layout::shoot, "", "",
         "Into the folder where most of the shoot already is, e.g. " + e +
             ". Shoots not on the backup yet are sorted by date."},
        {Layout::beside, "", "",
         "e.g. " + e + " (added 2026-12-06) \u2014 right next to " + e +
             ". Shoots not on the backup yet go into the new dated folder."},
        {Layout::newDated, "Photos/2024", "a/b", "Archive / Photos/2024 / a-b / YYYY / YYYY-MM-DD / file"},
        {Layout::newDated, "", "", "Archive / SD Halvetrop copies 2026-12-06 / YYYY / YYYY-MM-DD / file"},
        {Layout::date, "", "", "Into Archive\u2019s own YYYY / YYYY-MM-DD folders"},
        {Layout::date, "Photos", "", "Archive / Photos / YYYY / YYYY-MM-DD / file"},
    };
    for (const auto& c : cases) {
        sheet->chooseLayout(c.layout);
        sheet->setLocation(c.location);
        sheet->setBaseFolder(c.base);
        QCOMPARE(sheet->detail(c.layout), c.line);
    }
    sheet->setLocation(QStringLiteral("Photos/2024"));
    QCOMPARE(sheet->locationLabel(), QStringLiteral("Archive \u203a Photos \u203a 2024"));
    sheet->setLocation(QString());
    QCOMPARE(sheet->locationLabel(), QStringLiteral("Archive (top level)"));
    // On the other backup the shoot lies in a folder of two levels, shown whole.
    sheet->chooseDestination(1);
    QCOMPARE(sheet->detail(Layout::beside),
             QStringLiteral(
                 "e.g. Other/2024 (added 2026-12-06) \u2014 right next to Other/2024. Shoots not on the "
                 "backup yet go into the new dated folder."));
    // A backup that is a folder on its drive: the copies go inside that folder, never to the
    // drive's top level, and every line says so.
    s.report.destinations[0].volumePath = s.dir.path();
    auto inFolder = s.open();
    inFolder->chooseLayout(Layout::date);
    QCOMPARE(inFolder->locationLabel(), QStringLiteral("Archive \u203a one"));
    QCOMPARE(inFolder->detail(Layout::date), QStringLiteral("Archive / one / YYYY / YYYY-MM-DD / file"));
    QVERIFY(inFolder->waitForPlan(kHangDetectorMs));
    QCOMPARE(inFolder->preview().value(0).toMap().value(QStringLiteral("text")).toString(),
             QStringLiteral("Archive / one / 2026 / 2026-01-02"));
    inFolder->setLocation(QStringLiteral("Photos/2024"));
    QCOMPARE(inFolder->locationLabel(), QStringLiteral("Archive \u203a one \u203a Photos \u203a 2024"));
}

void CopySheetTest::progressThrottle() {
    struct Step {
        qint64 ms;
        int done;
        bool passes;
    };
    // Files done of 3: the first passes at once, 50 ms later is still too soon, the end always.
    const std::vector<Step> steps = {{0, 0, true},   {10, 0, false}, {50, 1, false}, {51, 1, true},
                                     {60, 2, false}, {61, 3, true},  {62, 3, true}};
    ProgressThrottle throttle;
    for (const auto& s : steps) {
        CopyProgress p;
        p.filesDone = s.done;
        p.filesTotal = 3;
        QCOMPARE(throttle.pass(p, s.ms), s.passes);
    }
}

void CopySheetTest::defaultsAndWhatReachesThePlanner_data() {
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<QString>("typed");  // empty: keep the layout's default
    QTest::addColumn<QString>("defaultBase");
    QTest::addColumn<QString>("planned");
    const QString copies = QStringLiteral("SD Halvetrop copies 2026-12-06");
    QTest::newRow("shoot ignores the text") << Layout::shoot << "Trip"
                                            << ""
                                            << "";
    QTest::newRow("beside default") << Layout::beside << "" << copies << copies;
    QTest::newRow("beside blank") << Layout::beside << " \t " << copies << copies;
    QTest::newRow("newDated slash") << Layout::newDated << "2024/trip" << copies << "2024-trip";
    QTest::newRow("date blank kept") << Layout::date << " \t "
                                     << ""
                                     << " \t ";
    QTest::newRow("card default") << Layout::card << ""
                                  << "CARD 2026-12-06"
                                  << "CARD 2026-12-06";
    QTest::newRow("custom") << Layout::custom << " x "
                            << ""
                            << " x ";
}

void CopySheetTest::defaultsAndWhatReachesThePlanner() {
    QFETCH(Layout, layout);
    QFETCH(QString, typed);
    QFETCH(QString, defaultBase);
    QFETCH(QString, planned);
    Setup s;
    auto sheet = s.open();
    QCOMPARE(sheet->layout(), Layout::shoot);
    QCOMPARE(sheet->destination(), 0);
    QCOMPARE(sheet->baseFolder(), QString());
    QCOMPARE(sheet->pathTemplate(), QStringLiteral("{YYYY}/{date} {camera}"));
    sheet->setBaseFolder(QStringLiteral("typed before"));
    sheet->chooseLayout(layout);
    QCOMPARE(sheet->baseFolder(), defaultBase);
    if (!typed.isEmpty()) sheet->setBaseFolder(typed);
    QCOMPARE(QString::fromStdString(sheet->plannerBase()), planned);
    sheet->setLocation(QStringLiteral("Photos"));
    QCOMPARE(QString::fromStdString(sheet->plannerLocation()),
             layout == Layout::shoot ? QString() : QStringLiteral("Photos"));
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QVERIFY2(sheet->planError().isEmpty(), qPrintable(sheet->planError()));
    QCOMPARE(sheet->planCount(), 3);
}

void CopySheetTest::rememberedFolderPerBackup() {
    Setup s;
    QSettings& settings = s.model->settings();
    {
        auto sheet = s.open();
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QCOMPARE(sheet->location(), QString());
        sheet->chooseLayout(Layout::date);
        sheet->setLocation(QStringLiteral("Photos/2024"));
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        sheet->copy();
        QVERIFY(sheet->waitForRun(kHangDetectorMs));
    }
    // Restored for the backup it was saved for, not for the other one with the same folders.
    auto sheet = s.open();
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QCOMPARE(sheet->location(), QStringLiteral("Photos/2024"));
    sheet->chooseDestination(1);
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QCOMPARE(sheet->location(), QString());
    QCOMPARE(settings.value("copyLocations").toMap().size(), 1);

    // A folder picked before the remembered one was looked up stays.
    auto picked = s.open(40);
    picked->pickFolder(QString::fromStdString(s.dir / "one/Photos"));
    QVERIFY(picked->waitForPlan(kHangDetectorMs));
    QCOMPARE(picked->pickError(), QString());
    QCOMPARE(picked->location(), QStringLiteral("Photos"));

    // A remembered folder that is gone, or is written otherwise than it resolves, is ignored.
    for (const QString& stored :
         {QStringLiteral("Gone"), QStringLiteral("Photos//2024"), QStringLiteral("")}) {
        settings.setValue("copyLocations", QVariantMap{{QString::fromStdString(s.dir / "one"), stored}});
        auto again = s.open();
        QVERIFY(again->waitForPlan(kHangDetectorMs));
        QCOMPARE(again->location(), QString());
    }
}

// A picked backup folder whose name is not UTF-8 is where the copies go, shown as text; it is
// remembered by its bytes and found again. Its look-alike with a real U+FFFD is another folder.
void CopySheetTest::aFolderThatIsNotUtf8() {
    Setup s;
    const std::string raw = s.dir.mkdir("one/Shoot\xfe");
    s.dir.mkdir("one/Shoot\xef\xbf\xbd");
    {
        auto sheet = s.open();
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        sheet->chooseLayout(Layout::date);
        sheet->pickFolder(raw);
        QCOMPARE(sheet->pickError(), QString());
        QCOMPARE(sheet->location(), QStringLiteral("Shoot\uFFFD"));
        QCOMPARE(sheet->locationStart(), raw);
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QVERIFY2(sheet->canCopy(), qPrintable(sheet->planError()));
        for (const auto& item : sheet->plan()->items) QVERIFY(item.destDir.starts_with(raw + "/"));
        sheet->copy();
        QVERIFY(sheet->waitForRun(kHangDetectorMs));
        QCOMPARE(sheet->copyReport()->copiedCount(), 3);
    }
    auto again = s.open();
    QVERIFY(again->waitForPlan(kHangDetectorMs));
    QCOMPARE(again->location(), QStringLiteral("Shoot\uFFFD"));
    QCOMPARE(again->locationStart(), raw);
}

void CopySheetTest::copyActsOnlyOnTheCurrentPlan() {
    Setup s;
    auto sheet = s.open(40);
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QVERIFY(sheet->canCopy());
    quint64 before = sheet->generation();
    sheet->chooseLayout(Layout::newDated);
    QVERIFY(sheet->generation() > before);
    QVERIFY(!sheet->planCurrent());
    QVERIFY(!sheet->canCopy());
    sheet->copy();  // Return pressed before the new plan arrived
    QCOMPARE(sheet->phase(), CopySheet::Phase::planning);
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QVERIFY(sheet->canCopy());
    QCOMPARE(sheet->freeBytes(), QVariant(qint64(1 << 20)));
    QCOMPARE(sheet->preview().size(), 1);
    // The header counts the plan and names the backup whose space it gives.
    QVERIFY2(sheet->planSummary().startsWith(QStringLiteral("3 files · ")), qPrintable(sheet->planSummary()));
    QVERIFY2(sheet->planSummary().endsWith(QStringLiteral(" free on Archive")),
             qPrintable(sheet->planSummary()));
}

// A plan still being made for choices the user has changed since is dropped when it comes: the
// folder it found remembered does not replace the one typed meanwhile, and the plan shown is the
// plan of the choices shown.
void CopySheetTest::aPlanForOlderChoicesIsDropped() {
    Setup s;
    s.model->settings().setValue(
        "copyLocations", QVariantMap{{QString::fromStdString(s.dir / "one"), QByteArray("Photos/2024")}});
    // The first plan's first look at a volume waits until it is let go.
    auto go = std::make_shared<std::promise<void>>();
    auto entered = std::make_shared<std::atomic<bool>>(false);
    s.beforeDescribe = [entered, letGo = go->get_future().share()] {
        *entered = true;
        letGo.wait();
    };
    auto sheet = s.open();
    {
        // Let go however this ends, before the sheet waits for its plans.
        auto letGo = qScopeGuard([go] { go->set_value(); });
        QTRY_VERIFY(*entered);
        sheet->chooseLayout(Layout::date);
        sheet->setLocation(QStringLiteral("Photos"));
    }
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QCOMPARE(sheet->location(), QStringLiteral("Photos"));
    QVERIFY2(sheet->canCopy(), qPrintable(sheet->planError()));
    QCOMPARE(sheet->preview().value(0).toMap().value(QStringLiteral("text")).toString(),
             QStringLiteral("Archive / Photos / 2026 / 2026-01-02"));
}

void CopySheetTest::refusals() {
    Setup s;
    auto sheet = s.open();
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    sheet->pickFolder(QString::fromStdString(s.dir / "card/DCIM"));
    QCOMPARE(sheet->pickError(),
             QStringLiteral("That folder is on the card itself. Choose a folder on the backup."));
    sheet->pickFolder(QString::fromStdString(s.dir.path()));
    QVERIFY(sheet->pickError().startsWith(
        QStringLiteral("Choose a folder on Archive and backup \u2014 the backups")));
    sheet->pickFolder(QString::fromStdString(s.dir / "two/Photos"));
    QCOMPARE(sheet->destination(), 1);
    QCOMPARE(sheet->location(), QStringLiteral("Photos"));
    QCOMPARE(sheet->pickError(), QString());

    struct Case {
        Layout layout;
        QString location, base, error;
    };
    const std::vector<Case> cases = {
        {Layout::date, "../..", "", "Refused to write outside the backup folder: "},
        {Layout::date, "Photos", "Lib.photoslibrary", "Refused to copy into an app library"},
        {Layout::newDated, "", QString(256, u'a'), CopySheet::nameTooLongText()},
        {Layout::newDated, "", QString(85, QChar(0x20AC)), ""},  // 255 bytes
    };
    for (const auto& c : cases) {
        sheet->chooseLayout(c.layout);
        sheet->setLocation(c.location);
        sheet->setBaseFolder(c.base);
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QVERIFY2(c.error.isEmpty() ? sheet->planError().isEmpty() : sheet->planError().startsWith(c.error),
                 qPrintable(sheet->planError()));
        QCOMPARE(sheet->canCopy(), c.error.isEmpty());
        QCOMPARE(sheet->nameError().isEmpty(), c.error != CopySheet::nameTooLongText());
    }
    // Another volume now mounted where the backup was, or one that cannot be told from it: no
    // plan, and the sheet says why.
    for (const auto& [swap, text] :
         {std::pair{1, CopySheet::volumesChangedText()}, std::pair{2, CopySheet::volumesUnknownText()}}) {
        *s.swapped = swap;
        sheet->setBaseFolder(QStringLiteral("x%1").arg(swap));
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QCOMPARE(sheet->planError(), text);
        QVERIFY(!sheet->canCopy());
    }
}

// A backup folder this user may not write in is said in the sheet before Copy, naming the folder
// the copy would have to make its files or folders in; a folder below it that is open to the user
// is fine. Root writes in any folder whose mode says no: for root the folder is made immutable,
// which no one writes in.
void CopySheetTest::aFolderYouMayNotWriteIn() {
    Setup s;
    const std::string closed = s.dir / "one";
    s.dir.mkdir("one/Open");
    QVERIFY(::chmod((s.dir / "one/Open").c_str(), 0777) == 0);
    QVERIFY(::chmod(closed.c_str(), 0555) == 0);
    int fd = -1;
    const auto reopen = qScopeGuard([&] {
        if (fd >= 0) {
            int flags = 0;
            if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            ::close(fd);
        }
        ::chmod(closed.c_str(), 0755);
    });
    if (::geteuid() == 0) {
        fd = ::open(closed.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd < 0 || ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
            QSKIP("this file system keeps no file flags");
        flags |= FS_IMMUTABLE_FL;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) QSKIP("this file system keeps no immutable flag");
    }
    auto sheet = s.open();
    struct Case {
        Layout layout;
        QString location;
        bool refused;
    };
    // The shoot's own folder lies below the closed one and does not exist yet; the card's
    // folders would be made in the closed one itself; the open folder takes them.
    const std::vector<Case> cases = {
        {Layout::shoot, "", true}, {Layout::card, "", true}, {Layout::card, "Open", false}};
    for (const auto& c : cases) {
        sheet->chooseLayout(c.layout);
        sheet->setBaseFolder(QString());
        sheet->setLocation(c.location);
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QCOMPARE(sheet->planError(), c.refused ? CopySheet::notWritableText(closed) : QString());
        QCOMPARE(sheet->canCopy(), !c.refused);
    }
    QVERIFY(sheet->planError().isEmpty());
}

void CopySheetTest::runEndsInTheLastCopy() {
    Setup s;
    auto sheet = s.open();
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QSignalSpy copying(s.model, &AppModel::copyingChanged);
    sheet->pressEscape();  // while planning: Cancel
    QVERIFY(!s.model->hasCopyRequest());
    sheet->chooseLayout(Layout::newDated);
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    sheet->copy();
    QCOMPARE(sheet->phase(), CopySheet::Phase::copying);
    QVERIFY(s.model->copying());
    QVERIFY(!sheet->dismissable());
    QVERIFY(sheet->waitForRun(kHangDetectorMs));
    QVERIFY(!s.model->copying());
    QCOMPARE(copying.count(), 2);
    auto report = sheet->copyReport();
    QVERIFY(report);
    QCOMPARE(report->copiedCount(), 3);
    QCOMPARE(report->driveName, std::string("Archive"));
    QCOMPARE(report->folders.size(), size_t(1));
    QCOMPARE(report->folderTitle(report->folders[0].path),
             std::string("SD Halvetrop copies 2026-12-06/2026/2026-01-02"));
    QCOMPARE(s.model->lastCopy().value<std::shared_ptr<const present::CopyReport>>(), report);
    QCOMPARE(sheet->progressMap().value("filesDone").toInt(), 3);
    for (const auto& path : report->allCopiedPaths()) QCOMPARE(readFile(path), std::string(1000, 'x'));

    // Saving the report: where the user says, or a notice with the reason.
    s.harness.savePicker->answer = s.dir / "missing/r.csv";
    s.model->saveLastCopyCSV();
    // In the words of the check report's export: one name for one failure.
    QVERIFY2(s.model->noticeText().startsWith(QStringLiteral("The report could not be saved as \u201c") +
                                              QString::fromStdString(s.dir / "missing/r.csv") +
                                              QStringLiteral("\u201d: ")),
             qPrintable(s.model->noticeText()));
    // Dated by the model's clock, like the sheet's own dates.
    QCOMPARE(s.harness.savePicker->lastSuggestedName,
             QStringLiteral("SD Halvetrop copy \u2013 CARD \u2013 2026-12-06.csv"));
    s.harness.savePicker->answer = s.dir / "r.csv";
    s.model->saveLastCopyCSV();
    QCOMPARE(readFile(s.dir / "r.csv"), report->csv());
}

// A copy whose reads of the shown card could not keep its files' access times makes the result
// say so, as its check would have.
// Small files share one flush of the drive and are proven together after the last is written;
// the sheet still counts each file once its bytes are through, never "0 of 3 files" beside the
// bytes of two. The sheet is told of the run once, when the bytes of two files are through.
void CopySheetTest::filesCountWithTheirBytes() {
    Setup s;
    s.runCopy = [](CopyRunner& runner) {
        runner.onProgress = [shown = runner.onProgress, told = false](const CopyProgress& p) mutable {
            if (told || p.bytesDone < 2000) return;
            told = true;
            shown(p);
        };
        return runner.run();
    };
    auto sheet = s.open();
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    sheet->copy();
    QVERIFY(sheet->waitForRun(kHangDetectorMs));
    QCOMPARE(sheet->copyReport()->copiedCount(), 3);
    // At most the file being written is not counted yet.
    const qint64 bytes = sheet->progressMap().value(QStringLiteral("bytesDone")).toLongLong();
    QVERIFY(bytes >= 2000);
    QCOMPARE(sheet->progressMap().value(QStringLiteral("filesDone")).toInt(), int(bytes / 1000) - 1);
}

void CopySheetTest::copyThatChangesAccessTimesIsSaid() {
    Setup s;
    s.checked();
    QCOMPARE(s.model->cardAccessTimesNote(), QString());
    s.runCopy = [](CopyRunner& runner) {
        CopyRunResult result = runner.run();
        result.sourceAccessTimesTouched = 3;
        return result;
    };
    auto sheet = s.open();
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    sheet->copy();
    QVERIFY(sheet->waitForRun(kHangDetectorMs));
    QVERIFY2(s.model->cardAccessTimesNote().contains(QStringLiteral("belong to another user")),
             qPrintable(s.model->cardAccessTimesNote()));
}

// The model watches the result's card while the sheet is open. Files that leave the card turn the
// plan into the reason Copy is not offered, whether the watch saw it first or Copy was pressed
// before it could: the card is looked at once more before a run starts. Nothing is written.
void CopySheetTest::aCardThatChangesUnderTheSheet_data() {
    QTest::addColumn<bool>("beforeCopy");
    QTest::newRow("seen while the sheet is open") << false;
    QTest::newRow("pressed before the watch could tell") << true;
}

void CopySheetTest::aCardThatChangesUnderTheSheet() {
    QFETCH(bool, beforeCopy);
    Setup s(2, true);
    s.checked();
    auto sheet = s.open();
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QCOMPARE(sheet->copyButtonText(), QStringLiteral("Copy 2 Files"));
    QVERIFY(sheet->canCopy());
    // Every path on the two backups.
    const auto onBackups = [&] {
        std::vector<std::string> paths;
        for (const char* backup : {"one", "two"})
            for (const auto& e : std::filesystem::recursive_directory_iterator(s.dir / backup))
                paths.push_back(e.path());
        std::sort(paths.begin(), paths.end());
        return paths;
    };
    const auto before = onBackups();
    for (const auto& f : s.report.files) QVERIFY(std::filesystem::remove(s.dir / ("card/" + f.relativePath)));
    if (!beforeCopy) {
        QTRY_COMPARE(s.model->savedCard(), AppModel::SavedCard::changed);
        QVERIFY(sheet->planCurrent());
        QVERIFY(!sheet->canCopy());
    }
    sheet->copy();
    QVERIFY(sheet->waitForRun(kHangDetectorMs));
    QCOMPARE(sheet->phase(), CopySheet::Phase::planning);
    QCOMPARE(s.model->savedCard(), AppModel::SavedCard::changed);
    QTRY_VERIFY(sheet->planCurrent());
    QCOMPARE(sheet->planError(),
             QStringLiteral("Since this check, 2 files removed on the card \u2014 check it "
                            "again before copying."));
    QVERIFY(!sheet->canCopy());
    QCOMPARE(sheet->copyButtonText(), QStringLiteral("Copy Files"));
    QCOMPARE(sheet->preview().size(), 0);
    QVERIFY(!s.model->copying());
    QCOMPARE(onBackups(), before);
}

// Copy pressed while the card's first look since its check still runs: that look finds the card
// as it was checked, which changes nothing planned, and the copy goes ahead after the look Copy
// asked for, rather than falling back to the plan without a word.
void CopySheetTest::copyPressedBeforeTheCardWasFirstLookedAt() {
    Setup s(2);
    s.harness.listings->hold(true);
    auto open = qScopeGuard([&] { s.harness.listings->hold(false); });
    s.model->waitForIdle(kHangDetectorMs);
    s.model->setSource(s.report.source.path);
    s.model->addBackups({s.report.destinations[0].path, s.report.destinations[1].path});
    s.model->check(std::optional<CheckLevel>());
    s.harness.verifier(0)->complete(s.report);
    QTRY_COMPARE(s.model->phase(), AppModel::Phase::Results);
    QTRY_VERIFY(s.harness.listings->walking());
    auto sheet = s.open();
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    sheet->copy();
    open.dismiss();
    s.harness.listings->hold(false);
    QVERIFY(sheet->waitForRun(kHangDetectorMs));
    QCOMPARE(sheet->phase(), CopySheet::Phase::done);
    QVERIFY(s.model->lastCopy().isValid());
}

// A card name longer than the backup's file system holds, and a card folder's, are said before
// Copy and left out of it; the other files are copied, and the result lists them with the reason.
void CopySheetTest::aNameTooLongForTheBackupIsLeftOut() {
    Setup s(4);
    FileResult& f = s.report.files[1];
    f.name.clear();
    for (int i = 0; i < 251; ++i) f.name += "\xC3\xA9";  // é: a legal exFAT name, 506 bytes
    f.name += ".JPG";
    f.relativePath = "DCIM/" + f.name;
    FileResult& below = s.report.files[3];
    below.folder = "DCIM/" + std::string(256, 'd');
    below.relativePath = below.folder + "/" + below.name;
    auto sheet = s.open();
    sheet->chooseLayout(Layout::card);
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    QCOMPARE(sheet->copyButtonText(), QStringLiteral("Copy 2 Files"));
    QVERIFY2(sheet->planSummary().startsWith(QStringLiteral("2 files · 2 KB")),
             qPrintable(sheet->planSummary()));
    const QString why =
        QStringLiteral("The name \u201C") + QString::fromStdString(f.name) +
        QStringLiteral("\u201D is longer than the backup drive's file system allows (255 bytes at most)");
    // The reason stays in sight: a name gives way in its middle.
    QCOMPARE(
        sheet->refusedText(),
        QStringLiteral("\u201C") + QString(40, QChar(0xE9)) + QStringLiteral("\u2026") +
            QString(15, QChar(0xE9)) +
            QStringLiteral(".JPG\u201D won't be copied: its name is longer than Archive's file system allows "
                           "(255 bytes at most). \u201C") +
            QString::fromStdString(below.name) +
            QStringLiteral("\u201D won't be copied: the name of its folder \u201C") + QString(40, u'd') +
            QStringLiteral("\u2026") + QString(19, u'd') +
            QStringLiteral("\u201D is longer than Archive's file system allows (255 bytes at most)."));
    sheet->copy();
    QVERIFY(sheet->waitForRun(kHangDetectorMs));
    const auto report = sheet->copyReport();
    QCOMPARE(report->copiedCount(), 2);
    QCOMPARE(report->failed.size(), size_t(2));
    QCOMPARE(QString::fromStdString(report->failed[0].message), why);
}

void CopySheetTest::stopListsEveryFile() {
    Setup s(40);
    auto sheet = s.open();
    sheet->chooseLayout(Layout::card);
    QVERIFY(sheet->waitForPlan(kHangDetectorMs));
    sheet->copy();
    sheet->pressEscape();  // while copying: Stop
    QVERIFY(sheet->waitForRun(kHangDetectorMs));
    auto report = sheet->copyReport();
    QVERIFY(report->cancelled);
    QCOMPARE(report->rows.size(), size_t(40));
    QCOMPARE(report->copiedCount() + report->notCopied + int(report->failed.size()) + report->alreadyThere,
             40);
    QVERIFY(report->notCopied > 0);
}

QTEST_GUILESS_MAIN(CopySheetTest)
#include "CopySheetTest.moc"
