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

// --- what the roles are drawn on, and the system colours around them ---

// The fills text is drawn on. `alternate` is every other row of a list; `control` the fill of a
// bordered button; `tooltip` the fill of a tooltip.
enum class Surface { window, content, raised, sidebar, alternate, control, tooltip };
inline constexpr std::array<Surface, 7> allSurfaces{Surface::window,  Surface::content,   Surface::raised,
                                                    Surface::sidebar, Surface::alternate, Surface::control,
                                                    Surface::tooltip};
// The surfaces any text of a screen may sit on; a control or a tooltip carries only its own text.
inline constexpr std::array<Surface, 5> textSurfaces{Surface::window, Surface::content, Surface::raised,
                                                     Surface::sidebar, Surface::alternate};

// The colours of text and symbols. Secondary and tertiary are translucent, so they take on a
// little of whatever they are drawn on.
enum class Ink { primary, secondary, tertiary, placeholder, disabled };
inline constexpr std::array<Ink, 5> allInks{Ink::primary, Ink::secondary, Ink::tertiary, Ink::placeholder,
                                            Ink::disabled};

std::string_view surfaceName(Surface surface);
std::string_view inkName(Ink ink);
std::optional<Surface> surfaceFromName(std::string_view name);
std::optional<Ink> inkFromName(std::string_view name);

// 0xRRGGBB, opaque.
uint32_t surfaceValue(Surface surface, Appearance appearance);
// 0xAARRGGBB.
uint32_t inkValue(Ink ink, Appearance appearance);
// Separator lines, 0xAARRGGBB.
uint32_t hairlineValue(Appearance appearance);

// A role's colour where it colours text: the role itself, or a deeper shade of it where the
// role's own value is too pale to read as text on the appearance's surfaces.
uint32_t textValue(ColorRole role, Appearance appearance);

// The ring that shows which control has keyboard focus. It is drawn 2 px outside the control's
// edge, so the surface lies on both of its sides; a selected row draws it inside its fill in the
// selection's text colour instead.
uint32_t focusRingValue(Appearance appearance);

// The edge of a control drawn by its outline alone, as a switch that is off is: at least 3:1
// against every surface a control sits on. 0xRRGGBB.
uint32_t controlOutlineValue(Appearance appearance);

// Translucent fills a view lays over a surface, with the text they carry: a chosen and an
// unchosen toggle chip, a filter's chip, a camera's chip and every other row of a list.
enum class Tint { chipOn, chipOff, filterChip, cameraChip, stripe };
inline constexpr std::array<Tint, 5> allTints{Tint::chipOn, Tint::chipOff, Tint::filterChip, Tint::cameraChip,
                                              Tint::stripe};
// The surfaces chips and lists are laid on.
inline constexpr std::array<Surface, 4> tintedSurfaces{Surface::window, Surface::content, Surface::raised,
                                                       Surface::sidebar};

std::string_view tintName(Tint tint);
std::optional<Tint> tintFromName(std::string_view name);

// 0xAARRGGBB each.
struct TintColors {
    uint32_t fill = 0;
    uint32_t text = 0;
};
TintColors tintColors(Tint tint, Appearance appearance);

// --- filled controls ---

// prominent: the one accent-filled button of a screen (copy, check, try again); bordered: every
// other button, drawn by the widget style from the palette; selection: a selected row or tile.
enum class ControlKind { prominent, bordered, selection };
enum class ControlState { normal, hovered, pressed, disabled };
inline constexpr std::array<ControlKind, 3> allControlKinds{ControlKind::prominent, ControlKind::bordered,
                                                            ControlKind::selection};
inline constexpr std::array<ControlState, 4> allControlStates{ControlState::normal, ControlState::hovered,
                                                              ControlState::pressed, ControlState::disabled};

std::string_view controlKindName(ControlKind kind);
std::string_view controlStateName(ControlState state);
std::optional<ControlKind> controlKindFromName(std::string_view name);
std::optional<ControlState> controlStateFromName(std::string_view name);

// 0xRRGGBB each.
struct ControlColors {
    uint32_t fill = 0;
    uint32_t text = 0;
    uint32_t border = 0;
    friend bool operator==(const ControlColors&, const ControlColors&) = default;
};
ControlColors controlColors(ControlKind kind, ControlState state, Appearance appearance);

}  // namespace halvetrop::present
