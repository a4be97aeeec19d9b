// Every text the colour tables put on a fill, measured with the WCAG 2 contrast ratio in all four
// appearances. The tables are walked whole, so a kind, state, ink or tint added later is measured
// too.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "present/Tokens.h"

namespace halvetrop::present {
namespace {

constexpr Appearance appearances[] = {Appearance::light, Appearance::dark, Appearance::hcLight,
                                      Appearance::hcDark};

// Text of ordinary size: 13 px and below is all the screens use for labels and buttons.
constexpr double readable = 4.5;
// A focus ring against the colours beside it.
constexpr double ring = 3.0;
// Disabled text may fall below `readable`, but stays legible and clearly dimmer than live text.
constexpr double disabledFloor = 2.0;
constexpr double disabledDimming = 2.0 / 3.0;

double channel(uint32_t value, int shift) {
    const double c = double((value >> shift) & 0xFF) / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(uint32_t rgb) {
    return 0.2126 * channel(rgb, 16) + 0.7152 * channel(rgb, 8) + 0.0722 * channel(rgb, 0);
}

double contrast(uint32_t a, uint32_t b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A translucent 0xAARRGGBB colour drawn over an opaque 0xRRGGBB one.
uint32_t over(uint32_t argb, uint32_t rgb) {
    const double alpha = double(argb >> 24) / 255.0;
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double top = (argb >> shift) & 0xFF, under = (rgb >> shift) & 0xFF;
        out |= uint32_t(std::lround(top * alpha + under * (1 - alpha))) << shift;
    }
    return out;
}

// Ratios below their floor, one line each, so a failure names every pair at once.
class Shortfalls {
public:
    void check(Appearance a, const std::string& pair, double ratio, double floor) {
        if (ratio + 1e-9 < floor) add(a, pair, ratio, "below", floor);
    }
    void atMost(Appearance a, const std::string& pair, double ratio, double ceiling) {
        if (ratio > ceiling + 1e-9) add(a, pair, ratio, "above", ceiling);
    }
    const std::string& lines() const { return lines_; }

private:
    void add(Appearance a, const std::string& pair, double ratio, const char* side, double bound) {
        std::ostringstream line;
        line << appearanceName(a) << ": " << pair << " is " << ratio << ":1, " << side << " " << bound
             << ":1\n";
        lines_ += line.str();
    }
    std::string lines_;
};

TEST(Contrast, RatiosOfKnownPairs) {
    struct Row {
        uint32_t a, b;
        double ratio;
    };
    const Row rows[] = {
        {0x000000, 0xFFFFFF, 21.0}, {0x777777, 0x777777, 1.0},  {0x767676, 0xFFFFFF, 4.54},
        {0xFFFFFF, 0x777777, 4.48}, {0x0000FF, 0xFFFFFF, 8.59}, {0xFF0000, 0x000000, 5.25},
    };
    for (const auto& row : rows) EXPECT_NEAR(contrast(row.a, row.b), row.ratio, 0.01) << std::hex << row.a;
    EXPECT_EQ(over(0x80000000, 0xFFFFFF), 0x7F7F7Fu);
    EXPECT_EQ(over(0xFF123456, 0xFFFFFF), 0x123456u);
    EXPECT_EQ(over(0x00123456, 0xABCDEF), 0xABCDEFu);
}

TEST(Contrast, TextReadsOnEverySurfaceItMaySitOn) {
    Shortfalls low;
    for (Appearance a : appearances)
        for (Surface s : textSurfaces) {
            const uint32_t fill = surfaceValue(s, a);
            for (Ink ink : {Ink::primary, Ink::secondary, Ink::tertiary})
                low.check(a, std::string(inkName(ink)) + " on " + std::string(surfaceName(s)),
                          contrast(over(inkValue(ink, a), fill), fill), readable);
            for (ColorRole role : allColorRoles) {
                if (role == ColorRole::brandFill || role == ColorRole::raised) continue;  // fills, never text
                low.check(a, std::string(roleName(role)) + " text on " + std::string(surfaceName(s)),
                          contrast(textValue(role, a), fill), readable);
            }
        }
    for (Appearance a : appearances) {
        const uint32_t primary = inkValue(Ink::primary, a) & 0xFFFFFF;
        low.check(a, "placeholder in a field",
                  contrast(inkValue(Ink::placeholder, a), surfaceValue(Surface::content, a)), readable);
        low.check(a, "tooltip text", contrast(primary, surfaceValue(Surface::tooltip, a)), readable);
    }
    EXPECT_EQ(low.lines(), "");
}

TEST(Contrast, EveryControlKindAndStateKeepsItsTextReadable) {
    Shortfalls low;
    for (Appearance a : appearances)
        for (ControlKind kind : allControlKinds)
            for (ControlState state : allControlStates) {
                if (state == ControlState::disabled) continue;
                const ControlColors c = controlColors(kind, state, a);
                low.check(a, std::string(controlKindName(kind)) + " " + std::string(controlStateName(state)),
                          contrast(c.text, c.fill), readable);
            }
    EXPECT_EQ(low.lines(), "");
}

TEST(Contrast, TintedFillsKeepTheirTextReadable) {
    Shortfalls low;
    for (Appearance a : appearances)
        for (Tint tint : allTints)
            for (Surface s : tintedSurfaces) {
                const TintColors t = tintColors(tint, a);
                const uint32_t fill = over(t.fill, surfaceValue(s, a));
                low.check(a, std::string(tintName(tint)) + " on " + std::string(surfaceName(s)),
                          contrast(over(t.text, fill), fill), readable);
            }
    EXPECT_EQ(low.lines(), "");
}

TEST(Contrast, DisabledTextIsDimmerYetLegible) {
    Shortfalls low;
    for (Appearance a : appearances) {
        const uint32_t disabled = inkValue(Ink::disabled, a);
        std::vector<Surface> surfaces(textSurfaces.begin(), textSurfaces.end());
        surfaces.push_back(Surface::control);
        for (Surface s : surfaces) {
            const uint32_t fill = surfaceValue(s, a);
            const std::string where = " on " + std::string(surfaceName(s));
            const double ratio = contrast(over(disabled, fill), fill);
            // Dimmer than the faintest live text on the same fill, not only than the primary.
            const double faintest = contrast(over(inkValue(Ink::tertiary, a), fill), fill);
            low.check(a, "disabled" + where, ratio, disabledFloor);
            low.atMost(a, "disabled" + where, ratio, disabledDimming * faintest);
        }
        for (ControlKind kind : allControlKinds) {
            const ControlColors off = controlColors(kind, ControlState::disabled, a);
            const ControlColors on = controlColors(kind, ControlState::normal, a);
            const std::string name = std::string(controlKindName(kind));
            EXPECT_NE(off.text, on.text) << appearanceName(a) << " " << name;
            const double ratio = contrast(off.text, off.fill);
            low.check(a, name + " disabled", ratio, disabledFloor);
            low.atMost(a, name + " disabled", ratio, disabledDimming * contrast(on.text, on.fill));
        }
    }
    EXPECT_EQ(low.lines(), "");
}

TEST(Contrast, ControlOutlinesStandOutFromTheirSurfaces) {
    Shortfalls low;
    for (Appearance a : appearances)
        for (Surface s :
             {Surface::window, Surface::content, Surface::raised, Surface::sidebar, Surface::control})
            low.check(a, "control outline on " + std::string(surfaceName(s)),
                      contrast(controlOutlineValue(a), surfaceValue(s, a)), ring);
    EXPECT_EQ(low.lines(), "");
}

TEST(Contrast, FocusRingStandsOutFromWhatSurroundsIt) {
    Shortfalls low;
    for (Appearance a : appearances) {
        const uint32_t focus = focusRingValue(a);
        // Outside a control the ring has the surface on both sides, and touches a bordered fill.
        for (Surface s : textSurfaces)
            low.check(a, "focus ring on " + std::string(surfaceName(s)), contrast(focus, surfaceValue(s, a)),
                      ring);
        low.check(a, "focus ring beside a bordered control",
                  contrast(focus, controlColors(ControlKind::bordered, ControlState::normal, a).fill), ring);
        // Inside a selected row it takes the selection's text colour.
        const ControlColors selected = controlColors(ControlKind::selection, ControlState::normal, a);
        low.check(a, "focus ring inside a selection", contrast(selected.text, selected.fill), ring);
    }
    EXPECT_EQ(low.lines(), "");
}

}  // namespace
}  // namespace halvetrop::present
