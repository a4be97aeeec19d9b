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

using Four = std::array<uint32_t, 4>;  // light, dark, high-contrast light, high-contrast dark

struct NamedRow {
    std::string_view name;
    Four values;
};

// The raised surface is the raised role; its row here only names it.
constexpr std::array<NamedRow, 7> surfaceTable{{
    {"window", {0xF2F2F4, 0x1E1E1E, 0xFFFFFF, 0x000000}},
    {"content", {0xFFFFFF, 0x2A2A2C, 0xFFFFFF, 0x0A0A0A}},
    {"raised", {}},
    {"sidebar", {0xE9E9EC, 0x252527, 0xFFFFFF, 0x0A0A0A}},
    {"alternate", {0xF5F5F7, 0x323234, 0xF5F5F7, 0x141414}},
    {"control", {0xFBFBFC, 0x3A3A3C, 0xFFFFFF, 0x1A1A1A}},
    {"tooltip", {0xFFFFFF, 0x3A3A3C, 0xFFFFFF, 0x3A3A3C}},
}};

// Secondary and tertiary text stay readable on the palest surface of their appearance (the
// sidebar in light, a list's alternate row in dark); high contrast keeps them further apart.
constexpr std::array<NamedRow, 5> inkTable{{
    {"primary", {0xFF1D1D1F, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
    {"secondary", {0x9E000000, 0xA6FFFFFF, 0xBF000000, 0xCCFFFFFF}},
    {"tertiary", {0x8F000000, 0x8CFFFFFF, 0x99000000, 0xA6FFFFFF}},
    {"placeholder", {0xFF6E6E73, 0xFFA1A1A6, 0xFF3A3A3C, 0xFFC0C0C0}},
    {"disabled", {0xFFA1A1A6, 0xFF6E6E73, 0xFFA1A1A6, 0xFF6E6E73}},
}};

constexpr Four hairlineTable{0x1F000000, 0x1FFFFFFF, 0x80000000, 0x73FFFFFF};

// Roles whose own value is too pale for text in an appearance, and the shade their text takes.
struct TextShade {
    ColorRole role;
    Appearance appearance;
    uint32_t value;
};
constexpr std::array<TextShade, 2> textShades{{
    {ColorRole::backedUp, Appearance::light, 0x1A7540},
    // Brand text sits on brand-tinted chips too.
    {ColorRole::brand, Appearance::light, 0x0852BA},
}};

// The accent fill of prominent buttons and selections, normal, hovered and pressed, under white
// text. The brand fill itself is too pale for white text in the dark appearances, so they take
// the light ones' deeper blues; hovering and pressing only ever deepen it.
constexpr std::array<std::array<uint32_t, 3>, 4> accentTable{{
    {0x1A73E8, 0x1366D6, 0x0A5FD0},
    {0x1A73E8, 0x1366D6, 0x0A5FD0},
    {0x0A5FD0, 0x0853BA, 0x0848A3},
    {0x0A5FD0, 0x0853BA, 0x0848A3},
}};
// In high contrast dark the pale edge keeps the deep fill apart from the black window.
constexpr Four accentBorder{0x1366D6, 0x1366D6, 0x0848A3, 0x8CC3FF};
constexpr Four controlBorder{0xC7C7CC, 0x5A5A5E, 0x4A4A4F, 0xC7C7CC};
constexpr uint32_t onAccent = 0xFFFFFF;
constexpr Four controlOutline{0x7C7C80, 0x8E8E93, 0x4A4A4F, 0xC7C7CC};

constexpr std::array<std::string_view, 5> tintNames{"chipOn", "chipOff", "filterChip", "cameraChip",
                                                    "stripe"};

uint32_t withAlpha(uint32_t rgb, double opacity) {
    return (uint32_t(opacity * 255 + 0.5) << 24) | (rgb & 0xFFFFFF);
}

constexpr std::array<std::string_view, 3> controlKindNames{"prominent", "bordered", "selection"};
constexpr std::array<std::string_view, 4> controlStateNames{"normal", "hovered", "pressed", "disabled"};

size_t column(Appearance appearance) { return static_cast<size_t>(appearance); }

std::string_view nameOf(const NamedRow& row) { return row.name; }
std::string_view nameOf(std::string_view name) { return name; }

template <typename Enum, size_t N, typename Row>
std::optional<Enum> fromName(const std::array<Row, N>& rows, std::string_view name) {
    for (size_t i = 0; i < N; ++i)
        if (nameOf(rows[i]) == name) return static_cast<Enum>(i);
    return std::nullopt;
}

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

std::string_view surfaceName(Surface surface) { return surfaceTable[static_cast<size_t>(surface)].name; }
std::string_view inkName(Ink ink) { return inkTable[static_cast<size_t>(ink)].name; }
std::optional<Surface> surfaceFromName(std::string_view name) {
    return fromName<Surface>(surfaceTable, name);
}
std::optional<Ink> inkFromName(std::string_view name) { return fromName<Ink>(inkTable, name); }

uint32_t surfaceValue(Surface surface, Appearance appearance) {
    if (surface == Surface::raised) return colorValue(ColorRole::raised, appearance);
    return surfaceTable[static_cast<size_t>(surface)].values[column(appearance)];
}

uint32_t inkValue(Ink ink, Appearance appearance) {
    return inkTable[static_cast<size_t>(ink)].values[column(appearance)];
}

uint32_t hairlineValue(Appearance appearance) { return hairlineTable[column(appearance)]; }

uint32_t textValue(ColorRole role, Appearance appearance) {
    for (const auto& shade : textShades)
        if (shade.role == role && shade.appearance == appearance) return shade.value;
    return colorValue(role, appearance);
}

uint32_t focusRingValue(Appearance appearance) { return colorValue(ColorRole::brand, appearance); }

uint32_t controlOutlineValue(Appearance appearance) { return controlOutline[column(appearance)]; }

std::string_view tintName(Tint tint) { return tintNames[static_cast<size_t>(tint)]; }
std::optional<Tint> tintFromName(std::string_view name) { return fromName<Tint>(tintNames, name); }

TintColors tintColors(Tint tint, Appearance appearance) {
    const uint32_t primary = inkValue(Ink::primary, appearance);
    const uint32_t brandText = 0xFF000000 | textValue(ColorRole::brand, appearance);
    switch (tint) {
        case Tint::chipOn:
            return {withAlpha(colorValue(ColorRole::brandFill, appearance), 0.16), brandText};
        case Tint::chipOff:
            return {withAlpha(primary, 0.05), inkValue(Ink::secondary, appearance)};
        case Tint::filterChip:
            return {withAlpha(colorValue(ColorRole::brand, appearance), 0.14), brandText};
        case Tint::cameraChip:
            return {withAlpha(primary, 0.07), primary};
        case Tint::stripe:
            // The faintest text a row carries.
            return {withAlpha(primary, 0.08), inkValue(Ink::tertiary, appearance)};
    }
    return {};
}

std::string_view controlKindName(ControlKind kind) { return controlKindNames[static_cast<size_t>(kind)]; }
std::string_view controlStateName(ControlState state) {
    return controlStateNames[static_cast<size_t>(state)];
}
std::optional<ControlKind> controlKindFromName(std::string_view name) {
    return fromName<ControlKind>(controlKindNames, name);
}
std::optional<ControlState> controlStateFromName(std::string_view name) {
    return fromName<ControlState>(controlStateNames, name);
}

ControlColors controlColors(ControlKind kind, ControlState state, Appearance appearance) {
    const size_t a = column(appearance);
    const uint32_t primary = inkValue(Ink::primary, appearance) & 0xFFFFFF;
    const ControlColors bordered{surfaceValue(Surface::control, appearance), primary, controlBorder[a]};
    // Disabled, every kind looks alike: the accent would claim an action that is not there.
    if (state == ControlState::disabled)
        return {bordered.fill, inkValue(Ink::disabled, appearance) & 0xFFFFFF, bordered.border};
    switch (kind) {
        case ControlKind::bordered:
            // The widget style shades this fill by a few percent on hover and press itself.
            return bordered;
        case ControlKind::prominent: {
            const uint32_t fill = accentTable[a][static_cast<size_t>(state)];
            return {fill, onAccent, accentBorder[a]};
        }
        case ControlKind::selection:
            return {accentTable[a][0], onAccent, accentTable[a][0]};
    }
    return bordered;
}

}  // namespace halvetrop::present
