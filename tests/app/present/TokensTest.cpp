#include <gtest/gtest.h>

#include <set>

#include "present/Tokens.h"

namespace halvetrop::present {
namespace {

TEST(Tokens, ColourTableInFourAppearances) {
    struct Row {
        ColorRole role;
        std::array<uint32_t, 4> values;
    };
    // Rows chosen so that every role and every appearance column is read at least once.
    const Row rows[] = {
        {ColorRole::verified, {0x16723A, 0x3FB950, 0x0F5D27, 0x6EE58A}},
        {ColorRole::partial, {0x995200, 0xF0A33A, 0x7F4300, 0xFFC56E}},
        {ColorRole::conflict, {0xB4237A, 0xF778BA, 0x8A165C, 0xFFA8D6}},
        {ColorRole::pending, {0x636366, 0xA1A1A6, 0x4A4A4F, (199u << 16) | (199u << 8) | 204u}},
        {ColorRole::brand, {0x0A5FD0, 0x5AA8FF, 0x0848A3, (140u << 16) | (195u << 8) | 255u}},
        {ColorRole::brandFill, {0x1A73E8, 0x2F86FF, 0x0A5FD0, 0x5AA8FF}},
    };
    const Appearance order[] = {Appearance::light, Appearance::dark, Appearance::hcLight, Appearance::hcDark};
    for (const auto& row : rows)
        for (size_t a = 0; a < 4; ++a)
            EXPECT_EQ(colorValue(row.role, order[a]), row.values[a]) << roleName(row.role) << " " << a;

    EXPECT_EQ(colorValue(ColorRole::brandFill, Appearance::hcDark),
              colorValue(ColorRole::brand, Appearance::dark));
    for (Appearance a : order) EXPECT_EQ(colorValue(ColorRole::raised, a), isDark(a) ? 0x2A2A2Cu : 0xFFFFFFu);
    // Every role has a name that leads back to it, and distinct roles differ in light.
    std::set<uint32_t> light;
    for (ColorRole role : allColorRoles) {
        EXPECT_EQ(roleFromName(roleName(role)), role);
        light.insert(colorValue(role, Appearance::light));
    }
    EXPECT_EQ(light.size(), allColorRoles.size());
    EXPECT_EQ(roleFromName("Verified"), std::nullopt);
}

TEST(Tokens, AppearanceNames) {
    EXPECT_EQ(appearanceFromName("hc-dark"), Appearance::hcDark);
    EXPECT_EQ(appearanceFromName("hc-light"), Appearance::hcLight);
    EXPECT_EQ(appearanceFromName("dark"), Appearance::dark);
    EXPECT_EQ(appearanceFromName("Dark"), std::nullopt);
    EXPECT_EQ(appearanceFromName(""), std::nullopt);
    for (Appearance a : {Appearance::light, Appearance::dark, Appearance::hcLight, Appearance::hcDark})
        EXPECT_EQ(appearanceFromName(appearanceName(a)), a);
}

TEST(Tokens, SystemColourNamesLeadBack) {
    auto roundTrip = [](const auto& all, auto nameOf, auto fromName) {
        std::set<std::string_view> names;
        for (auto value : all) {
            EXPECT_EQ(fromName(nameOf(value)), value) << nameOf(value);
            names.insert(nameOf(value));
        }
        EXPECT_EQ(names.size(), all.size());
        EXPECT_EQ(fromName(""), std::nullopt);
        EXPECT_EQ(fromName("verified"), std::nullopt);
    };
    roundTrip(allSurfaces, surfaceName, surfaceFromName);
    roundTrip(allInks, inkName, inkFromName);
    roundTrip(allTints, tintName, tintFromName);
    roundTrip(allControlKinds, controlKindName, controlKindFromName);
    roundTrip(allControlStates, controlStateName, controlStateFromName);
    EXPECT_EQ(surfaceFromName("Window"), std::nullopt);
}

TEST(Tokens, StatusColoursAndSymbols) {
    struct Row {
        FileStatus status;
        ColorRole color;
        std::string_view symbol;
    };
    const Row rows[] = {
        {FileStatus::verified, ColorRole::verified, "checkmark.seal.fill"},
        {FileStatus::backedUp, ColorRole::backedUp, "checkmark.circle.fill"},
        {FileStatus::likely, ColorRole::partial, "questionmark.circle"},
        {FileStatus::conflict, ColorRole::conflict, "exclamationmark.triangle.fill"},
        {FileStatus::missing, ColorRole::missing, "xmark.circle.fill"},
        {FileStatus::cloudOnly, ColorRole::partial, "icloud.slash"},
        {FileStatus::unreadable, ColorRole::missing, "xmark.octagon.fill"},
        {FileStatus::changed, ColorRole::missing, "xmark.octagon.fill"},
        {FileStatus::notCompared, ColorRole::pending, "circle.dashed"},
    };
    ASSERT_EQ(std::size(rows), allFileStatuses.size());
    for (const auto& row : rows) {
        EXPECT_EQ(statusColor(row.status), row.color) << rawValue(row.status);
        EXPECT_EQ(statusSymbol(row.status), row.symbol) << rawValue(row.status);
    }
}

TEST(Tokens, BarOrderHoldsEveryDrawnStatusOnce) {
    std::set<FileStatus> seen(barOrder.begin(), barOrder.end());
    EXPECT_EQ(seen.size(), barOrder.size());
    EXPECT_FALSE(seen.count(FileStatus::notCompared));
    EXPECT_EQ(barOrder.front(), FileStatus::verified);
    EXPECT_EQ(barOrder.back(), FileStatus::missing);
    EXPECT_EQ(barOrder[4], FileStatus::cloudOnly);
}

TEST(Tokens, WorstStatus) {
    auto counts = [](int64_t missing, int64_t conflict, int64_t problem, int64_t likely, int64_t backedUp) {
        StatusCounts c;
        c.missing = missing;
        c.conflict = conflict;
        c.problem = problem;
        c.likely = likely;
        c.backedUp = backedUp;
        c.verified = 3;
        c.files = 3 + missing + conflict + problem + likely + backedUp;
        return c;
    };
    struct Row {
        StatusCounts counts;
        FileStatus worst;
    };
    const Row rows[] = {
        {counts(1, 1, 1, 1, 1), FileStatus::missing},    {counts(0, 2, 1, 1, 1), FileStatus::conflict},
        {counts(0, 0, 4, 1, 1), FileStatus::unreadable}, {counts(0, 0, 0, 1, 1), FileStatus::likely},
        {counts(0, 0, 0, 0, 1), FileStatus::backedUp},   {counts(0, 0, 0, 0, 0), FileStatus::verified},
        {StatusCounts{}, FileStatus::verified},
    };
    for (const auto& row : rows) EXPECT_EQ(worstStatus(row.counts), row.worst);
}

}  // namespace
}  // namespace halvetrop::present
