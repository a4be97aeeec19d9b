// The shell's native parts against the real desktop theme, a real mounted volume and the real
// model: every symbol draws, icons follow the volume's kind, the Settings window and the model
// read a stored value alike, saved checks and the shown result reach the rows, and the views bind
// to every property and call of the real model without an error.
#include <QApplication>
#include <QIcon>
#include <QMediaPlayer>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>

#include <QQuickWindow>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "model/ModelFixture.h"
#include "present/Format.h"
#include "present/Paths.h"
#include "results/ResultsData.h"
#include "shell/FirstRows.h"
#include "shell/HomeRules.h"
#include "shell/KeyedList.h"
#include "shell/ModelBridge.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "shell/Symbols.h"
#include "shell/SystemIcons.h"
#include "shell/VideoFrames.h"
#include "stage/Fixtures.h"
#include "support/Privileged.h"
#include "thumbnail/CardFixtures.h"

using namespace halvetrop;

namespace {

int inkedPixels(const QImage& image, QColor* sample = nullptr) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128) {
                if (sample && qAlpha(image.pixel(x, y)) == 255) *sample = QColor::fromRgba(image.pixel(x, y));
                ++n;
            }
    return n;
}

// A tmpfs mounted for the test, unmounted at the end.
struct Volume {
    QTemporaryDir dir;
    bool mounted = false;
    Volume() { mounted = ::mount("tmpfs", dir.path().toLocal8Bit().constData(), "tmpfs", 0, "size=1m") == 0; }
    ~Volume() {
        if (mounted) ::umount2(dir.path().toLocal8Bit().constData(), MNT_DETACH);
    }
};

QQuickItem* findNamed(QQuickItem* item, const QString& name) {
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* hit = findNamed(child, name)) return hit;
    return nullptr;
}

// The main window over a real model, with the saved-check rows and the settings store the
// application gives it; QML warnings are collected in `errors`.
struct MainWindow {
    shell::HistoryRows rows;
    QSettings settings;
    shell::SettingsStore store{settings};
    QQmlEngine engine;
    QStringList errors;
    std::unique_ptr<QObject> root;

    MainWindow(test::Harness& h, AppModel& model, shell::Present& present)
        : settings(h.settingsPath(), QSettings::IniFormat) {
        shell::bridge(model, rows, present);
        shell::prepareEngine(engine);
        QObject::connect(&engine, &QQmlEngine::warnings, &engine, [this](const QList<QQmlError>& list) {
            for (const auto& e : list) errors << e.toString();
        });
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
        root.reset(component.createWithInitialProperties(
            {{QStringLiteral("model"), QVariant::fromValue(&model)},
             {QStringLiteral("history"), QVariant::fromValue(&rows)},
             {QStringLiteral("settingsStore"), QVariant::fromValue(&store)}}));
        if (!root) errors << component.errorString();
    }
    QQuickWindow* window() const { return qobject_cast<QQuickWindow*>(root.get()); }
};

// A check of `card` against `backup` recorded in the model's history, finished at `finishedAt`.
void recordCheck(test::Harness& h, AppModel& model, const QString& card, const QString& backup,
                 TimeNs finishedAt) {
    QDir().mkpath(card);
    QDir().mkpath(backup);
    model.setSource(card.toStdString());
    model.addBackups({backup.toStdString()});
    const size_t before = h.verifierCount();
    model.check(std::optional<CheckLevel>());
    QCOMPARE(h.verifierCount(), before + 1);
    QTRY_VERIFY(h.verifier(before)->running());
    VerifyReport report = test::makeReport(card.toStdString(), {backup.toStdString()}, {FileStatus::missing});
    report.finishedAt = finishedAt;
    h.verifier(before)->complete(report);
    QTRY_COMPARE(int(model.phase()), int(AppModel::Phase::Results));
}

// A frame of one Y'CbCr colour in `format`, each plane's rows filled with its repeating run of
// bytes (P010's 16-bit samples little-endian).
QVideoFrame solidFrame(const QVideoFrameFormat& format, uint8_t y, uint8_t u, uint8_t v) {
    const std::map<QVideoFrameFormat::PixelFormat, std::vector<std::vector<uint8_t>>> runs = {
        {QVideoFrameFormat::Format_YUV420P, {{y}, {u}, {v}}},
        {QVideoFrameFormat::Format_YV12, {{y}, {v}, {u}}},
        {QVideoFrameFormat::Format_NV12, {{y}, {u, v}}},
        {QVideoFrameFormat::Format_NV21, {{y}, {v, u}}},
        {QVideoFrameFormat::Format_UYVY, {{u, y, v, y}}},
        {QVideoFrameFormat::Format_YUYV, {{y, u, y, v}}},
        {QVideoFrameFormat::Format_P010, {{0, y}, {0, u, 0, v}}},
    };
    QVideoFrame frame(format);
    if (!frame.map(QVideoFrame::WriteOnly)) return {};
    const auto& planes = runs.at(format.pixelFormat());
    for (int p = 0; p < frame.planeCount(); ++p)
        for (int at = 0; at < frame.mappedBytes(p); ++at)
            frame.bits(p)[at] =
                planes[size_t(p)][size_t(at % frame.bytesPerLine(p)) % planes[size_t(p)].size()];
    frame.unmap();
    return frame;
}

// The colour a VideoFrames item of 64x48 paints in its middle.
QColor paintedMiddle(shell::VideoFrames& frames) {
    QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    frames.paint(&painter);
    return image.pixelColor(32, 24);
}

bool near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QString rgb(const QColor& c) { return QStringLiteral("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue()); }

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

    shell::Look look_;
    shell::Present present_;

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        shell::useDesktopIcons();
        shell::registerNative(look_, present_);
        registerResults();
    }

    void everySymbolDraws() {
        const QColor tint(0x16, 0x72, 0x3A);
        for (const auto& row : shell::symbolTable()) {
            const QImage image =
                shell::renderSymbol(row.name, tint, 48).convertToFormat(QImage::Format_ARGB32);
            QColor sample;
            QVERIFY2(inkedPixels(image, &sample) > 10, row.name.data());
            QCOMPARE(sample.rgb(), tint.rgb());
        }
        QVERIFY(shell::renderSymbol("no.such.symbol", tint, 24).isNull());
        // A filled folder is inked in its middle, its outline is not.
        for (const auto& [name, filled] : {std::pair{"folder", false}, std::pair{"folder.fill", true}}) {
            const QImage image = shell::renderSymbol(name, tint, 48).convertToFormat(QImage::Format_ARGB32);
            QVERIFY2((qAlpha(image.pixel(24, 28)) > 128) == filled, name);
        }
        // Every status the screens show has a drawing.
        for (FileStatus s : allFileStatuses)
            QVERIFY(!shell::symbolResource(present::statusSymbol(s)).isEmpty());
    }

    // Icons follow the volume a place is on, the place named by its bytes as the views name it: by
    // the model's key for its path, through the image id the engine hands the provider.
    void systemIconsFollowTheVolume() {
        Volume card, drive;
        if (!card.mounted || !drive.mounted)
            QSKIP(test::volumesUnavailable("this machine refuses to mount a tmpfs").c_str());
        const std::string cardRoot = card.dir.path().toStdString(),
                          driveRoot = drive.dir.path().toStdString();
        QVERIFY(QDir().mkpath(card.dir.path() + QStringLiteral("/DCIM/100CANON")));
        QVERIFY(QDir().mkpath(drive.dir.path() + QStringLiteral("/Photos")));
        const std::string raw = driveRoot + "/Shoot\xfe";
        QVERIFY(::mkdir(raw.c_str(), 0700) == 0);
        struct Row {
            std::string path;
            bool card;
            QString icon;
        };
        const std::string missing = cardRoot + "/gone\xfe";
        const Row rows[] = {
            {cardRoot, false, QStringLiteral("media-flash")},
            {cardRoot + "/DCIM/100CANON", false, QStringLiteral("media-flash")},
            {driveRoot + "/Photos", false, QStringLiteral("drive-harddisk")},
            {raw, false, QStringLiteral("drive-harddisk")},
            {missing, true, QStringLiteral("media-flash")},
            {missing, false, QString()},
        };
        // The provider answers on the thread that asks, as the engine's image reader does: the
        // reader deletes a response as soon as it has the answer, so the answer may come on no
        // other thread. Each place is asked twice, the second time from what the first found.
        shell::SystemIconProvider provider;
        QThread reader;
        QObject onReader;
        onReader.moveToThread(&reader);
        reader.start();
        auto stop = qScopeGuard([&] {
            reader.quit();
            reader.wait();
        });
        struct Asked {
            QQuickImageResponse* response = nullptr;
            bool icon = false;
            QList<QThread*> answeredOn;  // written on the reader's thread, read once it is stopped
        };
        std::vector<Asked> asked(2 * std::size(rows));
        std::atomic<int> answers = 0;
        for (size_t i = 0; i < asked.size(); ++i) {
            const Row& row = rows[i % std::size(rows)];
            const QUrl url(QStringLiteral("image://system/") +
                           (row.card ? QStringLiteral("cardkey/") : QStringLiteral("plainkey/")) +
                           QString::fromLatin1(QUrl::toPercentEncoding(present::pathKey(row.path))));
            const QString id = url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).mid(1);
            if (i < std::size(rows)) {
                const shell::IconRequest request = shell::iconRequest(id);
                QVERIFY(request.path == row.path);
                QCOMPARE(request.card, row.card);
                const auto choice = shell::chooseSystemIcon(request.path, request.card);
                QCOMPARE(choice.themeName, row.icon);
                if (!row.icon.isEmpty()) QVERIFY2(!QIcon::fromTheme(row.icon).isNull(), qPrintable(row.icon));
            }
            Asked& a = asked[i];
            QMetaObject::invokeMethod(
                &onReader,
                [&] {
                    a.response = provider.requestImageResponse(id, QSize(32, 32));
                    QObject::connect(
                        a.response, &QQuickImageResponse::finished, a.response,
                        [&a, &answers] {
                            a.answeredOn << QThread::currentThread();
                            a.icon = a.response->errorString().isEmpty();
                            ++answers;
                        },
                        Qt::DirectConnection);
                },
                Qt::BlockingQueuedConnection);
            if (i + 1 == std::size(rows))
                QVERIFY(QTest::qWaitFor([&] { return answers == int(i + 1); }, kHangDetectorMs));
        }
        QVERIFY(QTest::qWaitFor([&] { return answers == int(asked.size()); }, kHangDetectorMs));
        stop.dismiss();
        reader.quit();
        reader.wait();
        for (size_t i = 0; i < asked.size(); ++i) {
            QCOMPARE(asked[i].answeredOn, QList<QThread*>{&reader});
            QCOMPARE(asked[i].icon, !rows[i % std::size(rows)].icon.isEmpty());
            delete asked[i].response;
        }
        const QTemporaryDir plain;
        if (QStorageInfo(plain.path()).rootPath() == QStringLiteral("/")) {
            const auto choice = shell::chooseSystemIcon(plain.path().toStdString(), false);
            QCOMPARE(choice.themeName, QStringLiteral("inode-directory"));
            QVERIFY(!QIcon::fromTheme(choice.themeName, QIcon::fromTheme(choice.fallbackName)).isNull());
        }
    }

    // A dropped folder is taken by its bytes, whatever they are: the sidebar's plan and the start
    // screen's drop zones hand on each folder's own URL and leave out what is not a folder.
    void dropsKeepTheFoldersBytes() {
        QTemporaryDir dir;
        const std::string root = QFile::encodeName(dir.path()).toStdString();
        const std::string raw = root + "/Shoot\xfe", plain = root + "/Photos", file = root + "/notes.txt";
        QVERIFY(::mkdir(raw.c_str(), 0700) == 0);
        QVERIFY(::mkdir(plain.c_str(), 0700) == 0);
        std::FILE* f = std::fopen(file.c_str(), "w");
        QVERIFY(f);
        std::fclose(f);
        const QList<QUrl> urls{present::fileUrl(raw), present::fileUrl(file), present::fileUrl(plain)};
        const QVariantMap plan = present_.planDrop(false, urls);
        QCOMPARE(present::localPath(plan.value("source").toUrl()), std::optional(raw));
        const auto backups = plan.value("backups").value<QList<QUrl>>();
        QCOMPARE(backups.size(), 1);
        QCOMPARE(present::localPath(backups.front()), std::optional(plain));
        QCOMPARE(plan.value("ignored").toInt(), 1);
        const QVariantMap zone = shell::HomeRules().dropFolders(urls);
        const auto folders = zone.value("folders").value<QList<QUrl>>();
        QCOMPARE(folders.size(), 2);
        QCOMPARE(present::localPath(folders.front()), std::optional(raw));
        QCOMPARE(zone.value("ignored").toInt(), 1);
    }

    void settingsWindowAndModelReadAlike() {
        test::Harness h;
        const char* stored[] = {nullptr, "0", "-1", "abc", "1", "2", "3", "9", "2.5", ""};
        for (const char* value : stored) {
            {
                QSettings s(h.settingsPath(), QSettings::IniFormat);
                s.clear();
                if (value) s.setValue(QStringLiteral("requiredCopies"), QString::fromLatin1(value));
            }
            AppModel& model = h.start();
            shell::SettingsStore store(model.settings());
            QCOMPARE(int64_t(store.requiredCopies()), model.requiredCopies());
        }
        const std::pair<const char*, bool> flags[] = {{"1", true},    {"0", false},   {"true", true},
                                                      {"TRUE", true}, {"yes", false}, {"false", false},
                                                      {"", false}};
        for (const auto& [value, on] : flags) {
            {
                QSettings s(h.settingsPath(), QSettings::IniFormat);
                s.clear();
                s.setValue(QStringLiteral("includeSidecars"), QString::fromLatin1(value));
            }
            AppModel& model = h.start();
            shell::SettingsStore store(model.settings());
            QCOMPARE(store.includeSidecars(), on);
            QCOMPARE(model.includeSidecars(), on);
        }
        AppModel& model = h.start();
        shell::SettingsStore store(model.settings());
        store.setRequiredCopies(1);
        store.setIncludeSidecars(true);
        QCOMPARE(model.requiredCopies(), int64_t(1));
        QVERIFY(model.scope().includeSidecars);
        QVERIFY(!model.scope().includeProxies);
        QSettings fresh(h.settingsPath(), QSettings::IniFormat);
        QCOMPARE(fresh.value(QStringLiteral("requiredCopies")).toInt(), 1);
    }

    void savedChecksAndTheShownResultReachTheRows() {
        test::Harness h;
        QDir(h.dir.path()).mkpath(QStringLiteral("card"));
        QDir(h.dir.path()).mkpath(QStringLiteral("backup"));
        AppModel& model = h.start();
        shell::HistoryRows rows;
        shell::Present present;
        shell::bridge(model, rows, present);
        QVERIFY(model.waitForIdle(kHangDetectorMs));
        const std::string card = h.dir.filePath(QStringLiteral("card")).toStdString();
        const std::string backup = h.dir.filePath(QStringLiteral("backup")).toStdString();
        model.setSource(card);
        model.addBackups({backup});
        model.check(std::optional<CheckLevel>());
        QCOMPARE(h.verifierCount(), size_t(1));
        QTRY_VERIFY(h.verifier(0)->running());
        VerifyReport report = test::makeReport(card, {backup}, {FileStatus::verified, FileStatus::missing});
        report.finishedAt = 1'700'000'000'000'000'000;
        h.verifier(0)->complete(report);
        QTRY_COMPARE(int(model.phase()), int(AppModel::Phase::Results));
        QTRY_COMPARE(rows.rowCount(), 1);
        const QModelIndex first = rows.index(0);
        QCOMPARE(rows.data(first, shell::HistoryRows::Current).toBool(), true);
        QCOMPARE(rows.data(first, shell::HistoryRows::CountLine).toString(),
                 QStringLiteral("1 not backed up"));
        QCOMPARE(rows.data(first, shell::HistoryRows::Symbol).toString(),
                 QStringLiteral("exclamationmark.circle.fill"));
        // Its card changed since: the row on screen says so, not what the check found.
        *h.addedSince = 1;
        model.lookAtCardAgain();
        QTRY_COMPARE(rows.data(first, shell::HistoryRows::CountLine).toString(),
                     QStringLiteral("Changed since this check"));
        QCOMPARE(rows.data(first, shell::HistoryRows::SymbolColor).toString(), QStringLiteral("partial"));
        model.resetResults();
        QCOMPARE(rows.data(first, shell::HistoryRows::Current).toBool(), false);
        QCOMPARE(rows.data(first, shell::HistoryRows::CountLine).toString(),
                 QStringLiteral("1 not backed up"));
        present.notify(QStringLiteral("Only folders"), false);
        QCOMPARE(model.noticeText(), QStringLiteral("Only folders"));
    }

    // A card that is a folder below its volume's root is named by that folder wherever it is named
    // (saved checks, the header, the export's file name), on the system disk as on a labelled
    // volume; the stored description keeps the volume's name. Thirteen folders on "/" are thirteen
    // names, not "/" over and over.
    void folderCardsAreNamedByTheirFolder() {
        test::Harness h;
        AppModel& model = h.start();
        shell::HistoryRows rows;
        shell::Present present;
        shell::bridge(model, rows, present);
        ResultsData header;
        header.setModel(&model);
        QVERIFY(model.waitForIdle(kHangDetectorMs));
        const std::string backup = h.dir.filePath(QStringLiteral("backup")).toStdString();
        std::filesystem::create_directories(backup);
        // On a labelled volume mounted at the folder "EOS", then twelve folders on the system disk.
        struct Card {
            std::string path, volumePath, name, shown;
        };
        std::vector<Card> cards{{h.dir.filePath(QStringLiteral("EOS/DCIM")).toStdString(),
                                 h.dir.filePath(QStringLiteral("EOS")).toStdString(), "EOS_DIGITAL", "DCIM"}};
        for (int i = 1; i <= 12; ++i) {
            const std::string folder = "Shoot " + std::to_string(i);
            cards.push_back({h.dir.filePath(QString::fromStdString(folder)).toStdString(), "/", "/", folder});
        }
        for (size_t i = 0; i < cards.size(); ++i) {
            const Card& c = cards[i];
            std::filesystem::create_directories(c.path);
            model.setSource(c.path);
            model.addBackups({backup});
            const size_t before = h.verifierCount();
            model.check(std::optional<CheckLevel>());
            QTRY_VERIFY(h.verifier(before)->running());
            VerifyReport report = test::makeReport(c.path, {backup}, {FileStatus::missing});
            report.source.volumePath = c.volumePath;
            report.source.name = c.name;
            report.finishedAt = TimeNs(1'700'000'000 + int64_t(i)) * 1'000'000'000;
            h.verifier(before)->complete(report);
            QTRY_COMPARE(int(model.phase()), int(AppModel::Phase::Results));
            QCOMPARE(header.hero().value("sourceName").toString(), QString::fromStdString(c.shown));
        }
        QTRY_COMPARE(rows.rowCount(), int(cards.size()));
        for (size_t i = 0; i < cards.size(); ++i) {
            const QModelIndex row = rows.index(int(cards.size() - 1 - i));
            QCOMPARE(rows.data(row, shell::HistoryRows::Name).toString(),
                     QString::fromStdString(cards[i].shown));
        }
        // What is stored is the volume's description, its name with it.
        QCOMPARE(model.history().back().report->summary().source.name, std::string("EOS_DIGITAL"));
        QCOMPARE(model.history().front().report->summary().source.name, std::string("/"));
        h.savePicker->answer.reset();
        model.exportCSV();
        QVERIFY2(h.savePicker->lastSuggestedName.startsWith(
                     QStringLiteral("SD Halvetrop \u2013 Shoot 12 \u2013 ")),
                 qPrintable(h.savePicker->lastSuggestedName));
        QVERIFY(model.waitForIdle(kHangDetectorMs));
    }

    // The saved checks' relative times and the results header's age with the model's one clock,
    // with no change to the history or the result: at every instant they read the same age.
    void relativeTimesAge() {
        test::Harness h;
        const TimeNs second = 1'000'000'000;
        const TimeNs finished = TimeNs(1'767'000'000) * second;
        h.clock->store(finished + 59 * second + 950'000'000);
        AppModel& model = h.start();
        shell::HistoryRows rows([&model] { return model.ageNow(); });
        shell::Present present;
        shell::bridge(model, rows, present);
        ResultsData header;
        header.setModel(&model);
        recordCheck(h, model, h.dir.filePath(QStringLiteral("card")),
                    h.dir.filePath(QStringLiteral("backup")), finished);
        QTRY_COMPARE(rows.rowCount(), 1);
        // The saved result, opened again: its header says when it was checked.
        model.showHistory(model.history().front().id.toString());
        QVERIFY(model.waitForIdle(kHangDetectorMs));
        const QModelIndex first = rows.index(0);
        auto texts = [&](TimeNs at) {
            const QString wide = present::relativeDate(finished, at, present::UnitStyle::wide);
            return QStringList{present::relativeDate(finished, at, present::UnitStyle::abbreviated),
                               "Checked " + wide, "Checked " + wide + "."};
        };
        auto shown = [&] {
            return QStringList{rows.data(first, shell::HistoryRows::Ago).toString(),
                               rows.data(first, shell::HistoryRows::CheckedText).toString(),
                               header.hero().value("savedLine").toString().section(u'.', 0, 0) + "."};
        };
        QCOMPARE(shown(), texts(h.clock->load()));
        QSignalSpy changed(&rows, &QAbstractItemModel::dataChanged);
        QSignalSpy headerChanged(&header, &ResultsData::changed);
        // Past the minute the sidebar and the header both move on, at the same instant.
        const TimeNs later = finished + 3 * 3600 * second;
        QVERIFY(texts(later) != shown());
        h.clock->store(later);
        QTRY_COMPARE(shown(), texts(later));
        QVERIFY(!changed.isEmpty());
        QVERIFY(!headerChanged.isEmpty());
        QCOMPARE(model.ageNow(), later);
        QVERIFY(model.waitForIdle(kHangDetectorMs));
    }

    // The sidebar's location rows show the volume's own facts, before any check too, and follow
    // the volume after a copy.
    void sidebarShowsTheVolumesFacts() {
        test::Harness h;
        AppModel& model = h.start();
        MainWindow main(h, model, present_);
        QQuickWindow* window = main.window();
        QVERIFY2(window, qPrintable(main.errors.join(QLatin1Char('\n'))));
        h.freeBytes->store(5'000'000'000);
        const QString backup = h.dir.filePath(QStringLiteral("backup"));
        QDir().mkpath(backup);
        model.addBackups({backup.toStdString()});
        QQuickItem* row = nullptr;
        QTRY_VERIFY((row = findNamed(window->contentItem(), QStringLiteral("backupRow"))));
        QQuickItem* detail = findNamed(row, QStringLiteral("locationDetail"));
        QVERIFY(detail);
        auto facts = [](int64_t free) { return "described · " + present::byteCount(free) + " free"; };
        QTRY_COMPARE(detail->property("text").toString(), facts(5'000'000'000));
        h.freeBytes->store(2'000'000'000);
        model.copyStarted({[] {}, [] {}});
        model.copyEnded();
        QTRY_COMPARE(detail->property("text").toString(), facts(2'000'000'000));
        QVERIFY(model.waitForIdle(kHangDetectorMs));
    }

    // The first rows of a list follow its changes: forgetting one of 13 brings the 13th into view.
    void firstRowsFollowTheHistory() {
        shell::HistoryRows rows;
        std::vector<shell::SavedCheck> checks;
        int n = 0;
        for (VerifyReport& r : stage::savedChecks(13))
            checks.push_back({QStringLiteral("saved-%1").arg(n++), present::summarize(r)});
        rows.setChecks(std::move(checks));
        shell::FirstRows first;
        first.setRows(&rows);
        first.setLimit(12);
        QCOMPARE(first.count(), 12);
        std::vector<shell::SavedCheck> left;
        for (int i = 1; i < 13; ++i) {
            VerifyReport r;
            r.source.name = "CARD " + std::to_string(i + 1);
            left.push_back({QStringLiteral("saved-%1").arg(i), present::summarize(r)});
        }
        rows.setChecks(std::move(left));
        QCOMPARE(first.count(), 12);
        QCOMPARE(first.data(first.index(11, 0), shell::HistoryRows::ItemId).toString(),
                 QStringLiteral("saved-12"));
    }

    // A list handed out whole reaches a view row by row: a row whose key stays is updated where it
    // is, only a row whose key went is removed, and the list is never reset.
    void keyedListKeepsItsRows() {
        shell::KeyedList list;
        list.setKey(QStringLiteral("path"));
        auto row = [](const char* path, const char* name) {
            return QVariantMap{{QStringLiteral("path"), QLatin1String(path)},
                               {QStringLiteral("name"), QLatin1String(name)}};
        };
        list.setRows({row("/a", "A"), row("/b", "B"), row("/c", "C"), row("", "no key"), row("/a", "again")});
        QCOMPARE(list.count(), 3);
        QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
        QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
        list.setRows({row("/a", "A"), row("/c", "C renamed"), row("/d", "D")});
        QCOMPARE(reset.size(), 0);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed[0].value(1).toInt(), 1);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted[0].value(1).toInt(), 2);
        QStringList names;
        for (int i = 0; i < list.count(); ++i)
            names << list.data(list.index(i), shell::KeyedList::Row)
                         .toMap()
                         .value(QStringLiteral("name"))
                         .toString();
        QCOMPARE(names, (QStringList{"A", "C renamed", "D"}));
    }

    // Where the window is drawn in software, a video's frames are painted as they come, as large
    // as fits in their proportions; before the first frame nothing is.
    void videoFramesPaintTheLastFrame() {
        shell::VideoFrames frames;
        frames.setSize({80, 40});
        const auto painted = [&frames] {
            QImage image(80, 40, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            frames.paint(&painter);
            return image;
        };
        QCOMPARE(painted().pixelColor(40, 20), QColor(Qt::transparent));
        for (const QColor colour : {QColor(0, 200, 0), QColor(0, 0, 200)}) {
            // 0xAARRGGBB words, as QImage's ARGB32.
            QVideoFrame square(QVideoFrameFormat({20, 20}, QVideoFrameFormat::Format_BGRA8888));
            QVERIFY(square.map(QVideoFrame::WriteOnly));
            for (int y = 0; y < 20; ++y)
                std::fill_n(reinterpret_cast<QRgb*>(square.bits(0) + y * square.bytesPerLine(0)), 20,
                            colour.rgba());
            square.unmap();
            frames.videoSink()->setVideoFrame(square);
            const QImage image = painted();
            QCOMPARE(image.pixelColor(40, 20), colour);
            // A square frame in a wide item leaves the sides empty.
            QCOMPARE(image.pixelColor(5, 20), QColor(Qt::transparent));
        }
    }

    // A video's frames keep the colours of their source: each frame's Y'CbCr, as decoded from a
    // video made with that matrix and range, is read with the frame's own, in every layout a
    // player hands frames over in.
    void videoFramesKeepTheirColours_data() {
        QTest::addColumn<int>("matrix");
        QTest::addColumn<bool>("fullRange");
        QTest::addColumn<QColor>("colour");
        for (const auto matrix : {test::VideoColour::Matrix::bt601, test::VideoColour::Matrix::bt709})
            for (const bool full : {false, true})
                for (const QColor colour :
                     {QColor(0, 189, 0), QColor(0, 255, 255), QColor(255, 0, 0), QColor(189, 189, 189)})
                    QTest::addRow("%s %s %s",
                                  matrix == test::VideoColour::Matrix::bt709 ? "BT.709" : "BT.601",
                                  full ? "full" : "limited", qPrintable(rgb(colour)))
                        << int(matrix) << full << colour;
    }
    void videoFramesKeepTheirColours() {
        QFETCH(int, matrix);
        QFETCH(bool, fullRange);
        QFETCH(QColor, colour);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("C0001.MP4"));
        QString why;
        if (!test::writeVideo(path, {64, 48}, colour, 0.3, &why,
                              {test::VideoColour::Matrix(matrix), fullRange}))
            QSKIP(qPrintable(why));
        const std::optional<test::DecodedSample> decoded = test::firstFrameMiddle(path, &why);
        QVERIFY2(decoded, qPrintable(why));
        QCOMPARE(int(decoded->colour.matrix), matrix);
        QCOMPARE(decoded->colour.fullRange, fullRange);
        shell::VideoFrames frames;
        frames.setSize({64, 48});
        // (Qt 6.4 lays out frames of its own in 4:2:2 planes and 10-bit planes too small.)
        for (const auto pixels :
             {QVideoFrameFormat::Format_YUV420P, QVideoFrameFormat::Format_YV12,
              QVideoFrameFormat::Format_NV12, QVideoFrameFormat::Format_NV21, QVideoFrameFormat::Format_UYVY,
              QVideoFrameFormat::Format_YUYV, QVideoFrameFormat::Format_P010}) {
            QVideoFrameFormat format({64, 48}, pixels);
            format.setColorSpace(matrix == int(test::VideoColour::Matrix::bt709)
                                     ? QVideoFrameFormat::ColorSpace_BT709
                                     : QVideoFrameFormat::ColorSpace_BT601);
            format.setColorRange(fullRange ? QVideoFrameFormat::ColorRange_Full
                                           : QVideoFrameFormat::ColorRange_Video);
            frames.videoSink()->setVideoFrame(solidFrame(format, decoded->y, decoded->cb, decoded->cr));
            const QColor painted = paintedMiddle(frames);
            QVERIFY2(near(painted, colour, 4), qPrintable(QVideoFrameFormat::pixelFormatToString(pixels) +
                                                          QStringLiteral(": ") + rgb(painted)));
        }
    }

    // Frames a media player decodes reach the item in the colours of their source.
    void videoFramesPlayInTheirColours() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("C0001.MP4"));
        QString why;
        const QColor red(255, 0, 0);
        if (!test::writeVideo(path, {64, 48}, red, 1.0, &why, {test::VideoColour::Matrix::bt709, false}))
            QSKIP(qPrintable(why));
        shell::VideoFrames frames;
        frames.setSize({64, 48});
        QMediaPlayer player;
        player.setVideoSink(frames.videoSink());
        player.setSource(QUrl::fromLocalFile(path));
        player.play();
        QTRY_VERIFY(paintedMiddle(frames).alpha() == 255 || player.error() != QMediaPlayer::NoError);
        QVERIFY2(player.error() == QMediaPlayer::NoError, qPrintable(player.errorString()));
        const QColor painted = paintedMiddle(frames);
        QVERIFY2(near(painted, red, 4), qPrintable(rgb(painted)));
    }

    // The desktop's appearance reaches the palette of the controls and the tokens of the views.
    void appearanceReachesTheWindow() {
        QQmlEngine engine;
        shell::prepareEngine(engine);
        QQmlComponent component(&engine);
        component.setData(
            "import QtQuick\nimport Halvetrop\nThemedWindow { width: 200; height: 100\n"
            "  property color brand: Theme.brandFill }",
            QUrl(QStringLiteral("qrc:/qt/qml/test/appearance.qml")));
        std::unique_ptr<QObject> window(component.create());
        QVERIFY2(window, qPrintable(component.errorString()));
        for (auto appearance :
             {present::Appearance::dark, present::Appearance::hcLight, present::Appearance::light}) {
            look_.set(appearance, false);
            const QColor expected =
                QColor::fromRgb(present::colorValue(present::ColorRole::brandFill, appearance));
            QCOMPARE(window->property("brand").value<QColor>(), expected);
            const auto* quick = qobject_cast<QQuickWindow*>(window.get());
            QCOMPARE(quick->color().lightness() < 128, present::isDark(appearance));
            const QColor base =
                window->property("palette").value<QObject*>()->property("base").value<QColor>();
            QCOMPARE(base, shell::Look::palette(appearance).color(QPalette::Base));
        }
    }

    // The views bind to the real model: loading the window in each phase gives no QML error.
    void viewsBindToTheRealModel() {
        test::Harness h;
        AppModel& model = h.start();
        MainWindow main(h, model, present_);
        QStringList& errors = main.errors;
        QQuickWindow* window = main.window();
        QVERIFY2(window, qPrintable(errors.join(QLatin1Char('\n'))));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window, kHangDetectorMs));
        QDir(h.dir.path()).mkpath(QStringLiteral("card"));
        model.setSource(h.dir.filePath(QStringLiteral("card")).toStdString());
        model.setCardOnly(true);
        model.check(std::optional<CheckLevel>());
        QCOMPARE(h.verifierCount(), size_t(1));
        QTRY_VERIFY(h.verifier(0)->running());
        (void)window->grabWindow();  // the checking screen drawn
        h.verifier(0)->fail(
            VerifyError::cannotRead(h.dir.filePath(QStringLiteral("card")).toStdString(), EIO));
        QTRY_COMPARE(int(model.phase()), int(AppModel::Phase::Failed));
        (void)window->grabWindow();  // the failure drawn
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        // The results screen over the real model's report, in each of its modes.
        const std::string card = h.dir.filePath(QStringLiteral("card")).toStdString();
        model.setCardOnly(false);
        model.addBackups({h.dir.path().toStdString()});
        model.check(std::optional<CheckLevel>());
        QTRY_COMPARE(h.verifierCount(), size_t(2));
        QTRY_VERIFY(h.verifier(1)->running());
        h.verifier(1)->complete(
            test::makeReport(card, {h.dir.path().toStdString()},
                             {FileStatus::verified, FileStatus::missing, FileStatus::conflict}));
        QTRY_COMPARE(int(model.phase()), int(AppModel::Phase::Results));
        for (auto mode : {AppModel::Mode::Map, AppModel::Mode::Shoots}) {
            model.setMode(mode);
            (void)window->grabWindow();  // the mode drawn
        }
        std::function<QQuickItem*(QQuickItem*)> find = [&find](QQuickItem* item) -> QQuickItem* {
            if (item->objectName() == QStringLiteral("heroTitle")) return item;
            for (QQuickItem* child : item->childItems())
                if (QQuickItem* hit = find(child)) return hit;
            return nullptr;
        };
        QQuickItem* title = find(window->contentItem());
        QVERIFY(title);
        QCOMPARE(title->property("text").toString(), QStringLiteral("2 not backed up"));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        window->close();
        QVERIFY(model.waitForIdle(kHangDetectorMs));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ShellTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ShellTest.moc"
