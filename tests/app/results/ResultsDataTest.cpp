// The verdict header's figures over the real model's report, where they meet the model's last
// copy: the record the copy dialog leaves, never a map.
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

#include "present/CopyReport.h"
#include "results/ResultsData.h"
#include "stage/Stage.h"

using namespace halvetrop;

namespace {

std::shared_ptr<const present::CopyReport> copyFrom(const std::string& card, int files) {
    auto r = std::make_shared<present::CopyReport>();
    r->sourceName = card;
    if (files > 0)
        r->folders.push_back({"/backup/2024", std::vector<std::string>(size_t(files), "/backup/2024/a"), 1});
    return r;
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
        const std::string card = s.model().report()->source.name;
        struct Row {
            QVariant lastCopy;
            bool shown;
        };
        const Row rows[] = {
            {QVariant(), false},
            {QVariant::fromValue(copyFrom(card, 7)), true},
            {QVariant::fromValue(copyFrom(card + " 2", 7)), false},
            {QVariant::fromValue(copyFrom(card, 0)), false},
        };
        for (const auto& row : rows) {
            s.model().setLastCopy(row.lastCopy);
            const QVariantMap hero = data.hero();
            QCOMPARE(hero.value("lastCopy").toBool(), row.shown);
            QCOMPARE(ids(hero).contains("lastCopy"), row.shown);
        }
        s.model().setLastCopy(QVariant::fromValue(copyFrom(card, 7)));
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
            stage::Stage s;
            s.setSaved({QString::fromLatin1(row.fixture)});
            QVERIFY(s.start());
            QVERIFY(s.openSaved(0));
            ResultsData data;
            data.setModel(&s.model());
            QSignalSpy changed(&data, &ResultsData::changed);
            const VerifyReport& r = *s.model().report();
            if (row.readHere) s.model().noteAccessTimeTouched(r.absolutePath(r.files.front()));
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
