#include "present/Tokens.h"

namespace halvetrop::present {

namespace {

struct RoleRow {
    ColorRole role;
    std::string_view name;
    std::array<uint32_t, 4> values;  // light, dark, high-contrast light, high-contrast dark
};

constexpr std::array<RoleRow, 9> roleTable{{
    {ColorRole::verified, "verified", {0x16723A, 0x3FB950, 0x0F5D27, 0x6EE58A}},
    {ColorRole::backedUp, "backedUp", {0x228B4C, 0x56D364, 0x166B39, 0x8CEB9E}},
    {ColorRole::partial, "partial", {0x995200, 0xF0A33A, 0x7F4300, 0xFFC56E}},
    {ColorRole::missing, "missing", {0xC0222A, 0xFF7369, 0x9E1A21, 0xFF9A92}},
    {ColorRole::conflict, "conflict", {0xB4237A, 0xF778BA, 0x8A165C, 0xFFA8D6}},
    {ColorRole::pending, "pending", {0x636366, 0xA1A1A6, 0x4A4A4F, 0xC7C7CC}},
    {ColorRole::brand, "brand", {0x0A5FD0, 0x5AA8FF, 0x0848A3, 0x8CC3FF}},
    {ColorRole::brandFill, "brandFill", {0x1A73E8, 0x2F86FF, 0x0A5FD0, 0x5AA8FF}},
    {ColorRole::raised, "raised", {0xFFFFFF, 0x2A2A2C, 0xFFFFFF, 0x2A2A2C}},
}};

constexpr std::array<std::string_view, 4> appearanceNames{"light", "dark", "hc-light", "hc-dark"};

}  // namespace

std::optional<Appearance> appearanceFromName(std::string_view name) {
    for (size_t i = 0; i < appearanceNames.size(); ++i)
        if (appearanceNames[i] == name) return static_cast<Appearance>(i);
    return std::nullopt;
}

std::string_view appearanceName(Appearance appearance) {
    return appearanceNames[static_cast<size_t>(appearance)];
}

bool isDark(Appearance appearance) {
    return appearance == Appearance::dark || appearance == Appearance::hcDark;
}

std::string_view roleName(ColorRole role) { return roleTable[static_cast<size_t>(role)].name; }

std::optional<ColorRole> roleFromName(std::string_view name) {
    for (const auto& row : roleTable)
        if (row.name == name) return row.role;
    return std::nullopt;
}

uint32_t colorValue(ColorRole role, Appearance appearance) {
    return roleTable[static_cast<size_t>(role)].values[static_cast<size_t>(appearance)];
}

ColorRole statusColor(FileStatus status) {
    switch (status) {
        case FileStatus::verified:
            return ColorRole::verified;
        case FileStatus::backedUp:
            return ColorRole::backedUp;
        case FileStatus::likely:
        case FileStatus::cloudOnly:
            return ColorRole::partial;
        case FileStatus::conflict:
            return ColorRole::conflict;
        case FileStatus::missing:
        case FileStatus::unreadable:
        case FileStatus::changed:
            return ColorRole::missing;
        case FileStatus::notCompared:
            return ColorRole::pending;
    }
    return ColorRole::pending;
}

FileStatus worstStatus(const StatusCounts& counts) {
    if (counts.missing > 0) return FileStatus::missing;
    if (counts.conflict > 0) return FileStatus::conflict;
    if (counts.problem > 0) return FileStatus::unreadable;
    if (counts.likely > 0) return FileStatus::likely;
    if (counts.backedUp > 0) return FileStatus::backedUp;
    return FileStatus::verified;
}

std::string_view statusSymbol(FileStatus status) {
    switch (status) {
        case FileStatus::verified:
            return "checkmark.seal.fill";
        case FileStatus::backedUp:
            return "checkmark.circle.fill";
        case FileStatus::likely:
            return "questionmark.circle";
        case FileStatus::conflict:
            return "exclamationmark.triangle.fill";
        case FileStatus::missing:
            return "xmark.circle.fill";
        case FileStatus::cloudOnly:
            return "icloud.slash";
        case FileStatus::unreadable:
        case FileStatus::changed:
            return "xmark.octagon.fill";
        case FileStatus::notCompared:
            return "circle.dashed";
    }
    return "circle.dashed";
}

}  // namespace halvetrop::present
