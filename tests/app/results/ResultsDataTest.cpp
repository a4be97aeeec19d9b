// The verdict header's figures over the real model's report, where they meet the model's last
// copy: the record the copy dialog leaves, never a map.
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <functional>
#include <memory>

#include "model/AppModel.h"
#include "present/CopyReport.h"
#include "results/ResultsData.h"
#include "stage/Stage.h"

using namespace halvetrop;

namespace {

// A copy of `files` files made over the check `over`, as its record says.
std::shared_ptr<const present::CopyReport> copyFrom(
    const VerifyReport& over, int files, const std::function<void(present::CopyReport&)>& change = {}) {
    auto r = std::make_shared<present::CopyReport>(present::CopyReport::make({}, {}, over, "B", {}, 0));
    if (files > 0)
        r->folders.push_back({"/backup/2024", std::vector<std::string>(size_t(files), "/backup/2024/a"), 1});
    if (change) change(*r);
    return r;
}

// A stage with these saved checks, the first of them opened; none when that failed.
std::unique_ptr<stage::Stage> opened(const QStringList& saved) {
    auto s = std::make_unique<stage::Stage>();
    s->setSaved(saved);
    if (!s->start() || !s->openSaved(0)) return nullptr;
    return s;
}

// The verdict's action ids, those held back for the row's fitting marked with a "?".
QStringList ids(const QVariantMap& hero, bool markHeld) {
    QStringList out;
    for (const QVariant& item : hero.value("actionItems").toList())
        out << item.toMap().value("id").toString() +
                   (markHeld && item.toMap().value("held").toBool() ? "?" : "");
    return out;
}

QStringList ids(const QVariantMap& hero) {
    QStringList out;
    for (const QVariant& item : hero.value("actionItems").toList())
        out << item.toMap().value("id").toString();
    return out;
}

}  // namespace

class ResultsDataTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void lastCopyFromTheModelsRecord() {
        stage::Stage s;
        s.setSaved({QStringLiteral("missing")});
        QVERIFY(s.start());
        QVERIFY(s.openSaved(0));
        ResultsData data;
        data.setModel(&s.model());
        const VerifyReport& shown = *s.model().report();
        struct Row {
            const char* what;
            QVariant lastCopy;
            bool shown;
        };
        const Row rows[] = {
            {"none", QVariant(), false},
            {"this check's", QVariant::fromValue(copyFrom(shown, 7)), true},
            {"another card's", QVariant::fromValue(copyFrom(shown, 7, [](auto& r) { r.sourceName += " 2"; })),
             false},
            {"into no folder", QVariant::fromValue(copyFrom(shown, 0)), false},
            {"against another backup",
             QVariant::fromValue(copyFrom(shown, 7, [](auto& r) { r.backupPaths.back() += " 2"; })), false},
        };
        for (const auto& row : rows) {
            s.model().setLastCopy(row.lastCopy);
            const QVariantMap hero = data.hero();
            QVERIFY2(hero.value("lastCopy").toBool() == row.shown, row.what);
            QVERIFY2(ids(hero).contains("lastCopy") == row.shown, row.what);
        }
        s.model().setLastCopy(QVariant::fromValue(copyFrom(shown, 7)));
        bool seen = false;
        for (const QVariant& item : data.hero().value("actionItems").toList()) {
            const QVariantMap m = item.toMap();
            if (m.value("id") != "lastCopy") continue;
            seen = true;
            QCOMPARE(m.value("full").toString(), QStringLiteral("Last Copy (7)"));
            QCOMPARE(m.value("compact").toString(), QStringLiteral("Last Copy"));
        }
        QVERIFY(seen);
    }

    // The byte-by-byte strip's room and the verify button's place in the row's fitting are kept
    // while a pass is offered over the result, runs, or ran over it; not over a result the pass
    // never touched at the verified level, nor over one with nothing covered.
    void passRoomFollowsThePass() {
        const struct {
            const char* fixture;
            bool pass;    // a pass runs, then ends
            bool before;  // the room kept before it, while it runs (when it does), after it
            bool running;
            bool after;
            const char* actions;  // the row while it runs, or as opened
        } rows[] = {
            {"missing", false, true, true, true, "copy verify nextCard eject"},
            {"missing", true, true, true, true, "copy verify? nextCard eject"},
            {"safe", false, false, false, false, "nextCard"},
            {"safe", true, false, true, true, "verify? nextCard"},
            {"card-only", false, false, false, false, "nextCard eject"},
        };
        for (const auto& row : rows) {
            const auto s = opened({QString::fromLatin1(row.fixture)});
            QVERIFY(s);
            ResultsData data;
            data.setModel(&s->model());
            data.setCanEject(true);
            const QString what = QString::fromLatin1(row.fixture) + (row.pass ? " with a pass" : "");
            QVERIFY2(data.hero().value("passRoom").toBool() == row.before, qPrintable(what));
            if (row.pass) {
                data.setDeepVerifying(true);
                QVERIFY2(data.hero().value("passRoom").toBool() == row.running, qPrintable(what));
            }
            QCOMPARE(ids(data.hero(), true).join(u' '), QLatin1String(row.actions));
            data.setDeepVerifying(false);
            QVERIFY2(data.hero().value("passRoom").toBool() == row.after, qPrintable(what));
        }
        // Another check shown afterwards starts without the room its predecessor's pass left.
        const auto s = opened({QStringLiteral("safe"), QStringLiteral("safe")});
        QVERIFY(s);
        ResultsData data;
        data.setModel(&s->model());
        data.setDeepVerifying(true);
        data.setDeepVerifying(false);
        QVERIFY(data.hero().value("passRoom").toBool());
        QVERIFY(s->openSaved(1));
        QVERIFY(!data.hero().value("passRoom").toBool());
    }

    // A result's counts come with it from the thread that prepared it: they are what counting the
    // shown report from scratch gives, and the header, the shoots and a folder's panel read the same
    // from them as from a count made on the screen.
    void countsMadeWithTheReportAreAFreshCount() {
        for (const char* fixture : {"missing", "fuse-card", "unread-clips", "missing-many", "safe-cameras"}) {
            const QString name = QString::fromLatin1(fixture);
            const auto s = std::make_unique<stage::Stage>();
            s->setSaved({name, name});
            QVERIFY(s->start());
            AppModel& model = s->model();
            int given = 0;
            const QMetaObject::Connection peek = connect(&model, &AppModel::reportChanged, this, [&] {
                std::optional<ReportTally> tally = model.takeTally();
                if (!tally || !model.report()) return;
                ++given;
                const VerifyReport& r = *model.report();
                QVERIFY2(tally->adopt(&r), fixture);
                ReportTally fresh;
                fresh.rebuild(&r, [&model](int64_t id) { return model.fileByID(id); });
                for (size_t g = 0; g < r.groups.size(); ++g)
                    QVERIFY2(tally->shoot(g) == fresh.shoot(g), fixture);
                QCOMPARE(tally->copyable(), fresh.copyable());
                QCOMPARE(tally->readsInDoubt(), fresh.readsInDoubt());
                const ReportTally::Folder& all = tally->folder(r, std::string());
                const ReportTally::Folder& allFresh = fresh.folder(r, std::string());
                QCOMPARE(all.uncovered, allFresh.uncovered);
                QCOMPARE(all.copyable, allFresh.copyable);
                QVERIFY2(all.places() == allFresh.places(), fixture);
            });
            QVERIFY(s->openSaved(0));
            disconnect(peek);
            QVERIFY2(given == 1, fixture);

            ResultsData early;
            early.setModel(&model);
            QVERIFY(s->openSaved(1));
            ResultsData late;
            late.setModel(&model);
            QCOMPARE(early.hero(), late.hero());
            QCOMPARE(early.contents(), late.contents());
            QCOMPARE(early.panel(QString()), late.panel(QString()));
            auto* shoots = qobject_cast<QAbstractItemModel*>(early.shoots());
            auto* shootsLate = qobject_cast<QAbstractItemModel*>(late.shoots());
            QVERIFY(shoots && shootsLate && shoots->rowCount() > 0);
            QCOMPARE(shoots->rowCount(), shootsLate->rowCount());
            for (int row = 0; row < shoots->rowCount(); ++row)
                for (int role : shoots->roleNames().keys())
                    QVERIFY2(shoots->index(row, 0).data(role) == shootsLate->index(row, 0).data(role),
                             qPrintable(name + " shoot " + QString::number(row) + " " +
                                        shoots->roleNames()[role]));
        }
    }

    // The header's line on what reading the card does to it: the result's own, or the one reads
    // made here add for a card whose check kept its access times; and its figure says "every byte
    // compared" only where every byte came from the drives.
    void cardNoteAndFigure() {
        const struct {
            const char* fixture;
            bool readHere;
            const char* note;  // how the sentence starts; "" for none
            const char* figure;
        } rows[] = {
            {"safe", false, "", "every byte compared"},
            {"safe", true, "Files on SONY A7IV belong to another user", "every byte compared"},
            {"fuse-card", true, "SONY A7IV is mounted read-write through FUSE", "content compared"},
        };
        for (const auto& row : rows) {
            const auto s = opened({QString::fromLatin1(row.fixture)});
            QVERIFY(s);
            ResultsData data;
            data.setModel(&s->model());
            QSignalSpy changed(&data, &ResultsData::changed);
            const VerifyReport& r = *s->model().report();
            if (row.readHere) s->model().noteAccessTimeTouched(r.absolutePath(r.files.front()));
            const QString note = data.hero().value("cardNote").toString();
            QVERIFY2(*row.note ? note.startsWith(QLatin1String(row.note)) : note.isEmpty(), qPrintable(note));
            QCOMPARE(changed.count() > 0, row.readHere && row.fixture == std::string("safe"));
            QVERIFY2(data.hero().value("detail").toString().endsWith(QLatin1String(row.figure)),
                     qPrintable(data.hero().value("detail").toString()));
        }
    }
};

QTEST_GUILESS_MAIN(ResultsDataTest)

#include "ResultsDataTest.moc"
