#pragma once
// The look of the application in one place: the colour table in four appearances, what colour a
// file status takes, the order statuses are drawn in, the most severe status of a set of counters
// and the symbol of each status. Every screen reads these; none hard-codes a colour.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "report/Report.h"

namespace halvetrop::present {

enum class Appearance { light, dark, hcLight, hcDark };

// "light", "dark", "hc-light", "hc-dark"; anything else is nothing.
std::optional<Appearance> appearanceFromName(std::string_view name);
std::string_view appearanceName(Appearance appearance);
bool isDark(Appearance appearance);

enum class ColorRole { verified, backedUp, partial, missing, conflict, pending, brand, brandFill, raised };

inline constexpr std::array<ColorRole, 9> allColorRoles{
    ColorRole::verified, ColorRole::backedUp, ColorRole::partial,   ColorRole::missing, ColorRole::conflict,
    ColorRole::pending,  ColorRole::brand,    ColorRole::brandFill, ColorRole::raised};

std::string_view roleName(ColorRole role);
std::optional<ColorRole> roleFromName(std::string_view name);

// 0xRRGGBB, opaque.
uint32_t colorValue(ColorRole role, Appearance appearance);

ColorRole statusColor(FileStatus status);

// The order of segments in bars and legends; notCompared is never drawn in a bar.
inline constexpr std::array<FileStatus, 8> barOrder{
    FileStatus::verified,  FileStatus::backedUp, FileStatus::likely,     FileStatus::conflict,
    FileStatus::cloudOnly, FileStatus::changed,  FileStatus::unreadable, FileStatus::missing};

// The most severe status present; verified for empty counters.
FileStatus worstStatus(const StatusCounts& counts);

// The design's symbol name for a status (see the symbol table of the icons).
std::string_view statusSymbol(FileStatus status);

}  // namespace halvetrop::present
