// The verdict header's figures over a fixture report, where they meet the model's other values.
#include <gtest/gtest.h>

#include <memory>

#include "present/CopyReport.h"
#include "results/ResultsData.h"
#include "results/ResultsFixtures.h"

namespace halvetrop {
namespace {

struct Screen {
    explicit Screen(const char* fixture) : report(resultsFixture(fixture)) {
        model.setProperty("report", QVariant::fromValue<QObject*>(&report));
        data.setModel(&model);
    }
    QObject model;
    FixtureReport report;
    ResultsData data;
};

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

TEST(ResultsData, LastCopyFromTheModelsRecordOrItsView) {
    Screen s("missing");
    const std::string card = s.report.report.source.name;
    struct Row {
        QVariant lastCopy;
        bool shown;
    };
    const Row rows[] = {
        {QVariant(), false},
        // The model's own record, as the copy sheet leaves it.
        {QVariant::fromValue(copyFrom(card, 7)), true},
        {QVariant::fromValue(copyFrom(card + " 2", 7)), false},
        {QVariant::fromValue(copyFrom(card, 0)), false},
        // The record's view, as the fixtures hand it in.
        {present::copyReportView(QVariant::fromValue(copyFrom(card, 7))), true},
    };
    for (const auto& row : rows) {
        s.data.setLastCopy(row.lastCopy);
        const QVariantMap hero = s.data.hero();
        EXPECT_EQ(hero.value("lastCopy").toBool(), row.shown);
        EXPECT_EQ(ids(hero).contains("lastCopy"), row.shown);
    }
    s.data.setLastCopy(QVariant::fromValue(copyFrom(card, 7)));
    for (const QVariant& item : s.data.hero().value("actionItems").toList()) {
        const QVariantMap m = item.toMap();
        if (m.value("id") != "lastCopy") continue;
        EXPECT_EQ(m.value("full").toString(), QStringLiteral("Last Copy (7)"));
        EXPECT_EQ(m.value("compact").toString(), QStringLiteral("Last Copy"));
    }
}

}  // namespace
}  // namespace halvetrop
