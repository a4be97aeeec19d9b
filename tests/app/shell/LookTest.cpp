#include <gtest/gtest.h>

#include "shell/Look.h"

namespace halvetrop::shell {
namespace {

using present::Appearance;

constexpr Appearance appearances[] = {Appearance::light, Appearance::dark, Appearance::hcLight,
                                      Appearance::hcDark};

TEST(Look, PaletteDimsDisabledTextAndSelectsWithTheAccent) {
    for (Appearance a : appearances) {
        const QPalette p = Look::palette(a);
        const auto name = present::appearanceName(a);
        for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
            EXPECT_NE(p.color(QPalette::Disabled, role), p.color(QPalette::Active, role))
                << name << " " << role;
            EXPECT_EQ(p.color(QPalette::Inactive, role), p.color(QPalette::Active, role))
                << name << " " << role;
        }
        const auto selection =
            present::controlColors(present::ControlKind::selection, present::ControlState::normal, a);
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Highlight).rgb() & 0xFFFFFF, selection.fill) << name;
        EXPECT_EQ(p.color(QPalette::Active, QPalette::HighlightedText).rgb() & 0xFFFFFF, selection.text)
            << name;
        EXPECT_EQ(p.color(QPalette::Disabled, QPalette::Text).rgb() & 0xFFFFFF,
                  present::inkValue(present::Ink::disabled, a) & 0xFFFFFF)
            << name;
        EXPECT_EQ(p.color(QPalette::Window).rgb() & 0xFFFFFF,
                  present::surfaceValue(present::Surface::window, a));
        EXPECT_EQ(p.color(QPalette::Button).rgb() & 0xFFFFFF,
                  present::surfaceValue(present::Surface::control, a));
    }
}

TEST(Look, ColoursByName) {
    using namespace present;
    Look look;
    look.set(Appearance::dark, false);
    const Appearance a = Appearance::dark;
    struct Row {
        const char* name;
        QColor color;
    };
    const Row rows[] = {
        {"verified", QColor::fromRgb(colorValue(ColorRole::verified, a))},
        {"sidebar", QColor::fromRgb(surfaceValue(Surface::sidebar, a))},
        {"secondary", QColor::fromRgba(inkValue(Ink::secondary, a))},
        {"hairline", QColor::fromRgba(hairlineValue(a))},
        {"focusRing", QColor::fromRgb(focusRingValue(a))},
        {"nothing", QColor()},
    };
    for (const auto& row : rows) EXPECT_EQ(look.color(row.name), row.color) << row.name;
    // Translucent inks keep their alpha on the way to the views.
    EXPECT_LT(look.color("secondary").alpha(), 255);
    EXPECT_EQ(look.textColor("backedUp"), QColor::fromRgb(textValue(ColorRole::backedUp, a)));
    EXPECT_FALSE(look.textColor("sidebar").isValid());

    look.set(Appearance::light, false);
    EXPECT_EQ(look.textColor("backedUp"), QColor::fromRgb(textValue(ColorRole::backedUp, Appearance::light)));
    EXPECT_NE(look.textColor("backedUp"), look.color("backedUp"));
    const QVariantMap pressed = look.control("prominent", "pressed");
    const ControlColors expected =
        controlColors(ControlKind::prominent, ControlState::pressed, Appearance::light);
    EXPECT_EQ(pressed.value("fill").value<QColor>(), QColor::fromRgb(expected.fill));
    EXPECT_EQ(pressed.value("text").value<QColor>(), QColor::fromRgb(expected.text));
    EXPECT_EQ(pressed.value("border").value<QColor>(), QColor::fromRgb(expected.border));
    EXPECT_TRUE(look.control("prominent", "focused").isEmpty());
    EXPECT_TRUE(look.control("link", "normal").isEmpty());
    const QVariantMap chip = look.tint("chipOn");
    EXPECT_EQ(chip.value("fill").value<QColor>(),
              QColor::fromRgba(tintColors(Tint::chipOn, Appearance::light).fill));
    EXPECT_LT(chip.value("fill").value<QColor>().alpha(), 255);
    EXPECT_TRUE(look.tint("chip").isEmpty());
}

}  // namespace
}  // namespace halvetrop::shell
