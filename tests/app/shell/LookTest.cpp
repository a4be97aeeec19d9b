#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGuiApplication>

#include "shell/Look.h"
#include "shell/Present.h"
#include "shell/Shadows.h"

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
    look.set(Appearance::light, false);
    const Appearance a = Appearance::light;
    struct Row {
        const char* name;
        QColor color;
    };
    const Row rows[] = {
        {"verified", QColor::fromRgb(colorValue(ColorRole::verified, a))},
        {"sidebar", QColor::fromRgb(surfaceValue(Surface::sidebar, a))},
        // Translucent inks keep their alpha on the way to the views.
        {"secondary", QColor::fromRgba(inkValue(Ink::secondary, a))},
        {"focusRing", QColor::fromRgb(focusRingValue(a))},
        {"nothing", QColor()},
    };
    for (const auto& row : rows) EXPECT_EQ(look.color(row.name), row.color) << row.name;
    EXPECT_EQ(look.textColor("backedUp"), QColor::fromRgb(textValue(ColorRole::backedUp, a)));
    EXPECT_NE(look.textColor("backedUp"), look.color("backedUp"));
    EXPECT_FALSE(look.textColor("sidebar").isValid());
    const ControlColors pressed = controlColors(ControlKind::prominent, ControlState::pressed, a);
    EXPECT_EQ(look.control("prominent", "pressed").value("fill").value<QColor>(),
              QColor::fromRgb(pressed.fill));
    EXPECT_TRUE(look.control("prominent", "focused").isEmpty());
    EXPECT_EQ(look.tint("chipOn").value("fill").value<QColor>(),
              QColor::fromRgba(tintColors(Tint::chipOn, a).fill));
    EXPECT_TRUE(look.tint("chip").isEmpty());
}

// Fonts are measured only with a GUI application; it lives until the process ends, past the
// statics Qt tears down first.
void gui() {
    static int argc = 1;
    static char name[] = "app_look_test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
}

// A shadow's nine-patch must stretch without seams: its middle row and column carry the full
// shadow, its corners fade to nothing, and the shape's edge lies where the views place it.
TEST(Look, ShadowPatchesStretchWithoutSeams) {
    struct Row {
        double radius, blur;
    };
    const Row rows[] = {{16, 24}, {12, 6}, {5, 14}, {40, 14}, {8, 0}};
    for (const Row& row : rows) {
        const QImage patch = shadowPatch(row.radius, row.blur, Qt::black);
        const int border = shadowBorder(row.radius, row.blur), reach = shadowReach(row.blur);
        const std::string name = std::to_string(row.radius) + "/" + std::to_string(row.blur);
        ASSERT_EQ(patch.size(), QSize(2 * border + 1, 2 * border + 1)) << name;
        const auto alpha = [&patch](int x, int y) { return qAlpha(patch.pixel(x, y)); };
        // The stretched centre is the shape's full shadow; a rounded or blurred corner is clear.
        EXPECT_EQ(alpha(border, border), 255) << name;
        EXPECT_EQ(alpha(0, 0), 0) << name;
        // Along the middle row the shadow rises from nothing outside to full inside the shape,
        // through half at its edge, never falling back on the way.
        if (row.blur > 0) {
            EXPECT_LE(alpha(0, border), 3) << name;
            EXPECT_NEAR(alpha(reach, border), 128, 12) << name;
        }
        for (int x = 1; x <= border; ++x)
            EXPECT_GE(alpha(x, border), alpha(x - 1, border)) << name << " " << x;
    }
    // The colour is the id's; a bounded id only.
    ShadowImageProvider provider;
    QSize size;
    const QColor middle =
        provider.requestImage("6/4/1a73e8", &size, {}).pixelColor(size.width() / 2, size.height() / 2);
    EXPECT_NEAR(middle.red(), 0x1a, 1);
    EXPECT_NEAR(middle.green(), 0x73, 1);
    EXPECT_NEAR(middle.blue(), 0xe8, 1);
    EXPECT_TRUE(provider.requestImage("6/4000/000000", &size, {}).isNull());
    EXPECT_TRUE(provider.requestImage("x/4/000000", &size, {}).isNull());
}

// The fitting rules as the views call them, widths measured in a real font.
TEST(PresentFit, PathsAndChipsMeasuredInTheirFont) {
    gui();
    const Present present;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    const QFontMetricsF metrics(font);
    const QString path = QStringLiteral("Archive 2025/Photos/2024-04-16/Sony A7 IV/100MSDCF");
    const double whole = metrics.horizontalAdvance(path);
    for (double width : {whole, whole - 1, whole / 2, 20.0}) {
        const QVariantMap cut = present.cutPath(path, font, width);
        EXPECT_LE(metrics.horizontalAdvance(cut.value("text").toString()), width);
        EXPECT_EQ(cut.value("full").toString(), path);
        EXPECT_EQ(cut.value("cut").toBool(), width < whole);
        EXPECT_TRUE(path.endsWith(cut.value("text").toString().mid(1)) || !cut.value("cut").toBool());
    }

    const QStringList names{"A7 IV", "FX3", "Z 9"};
    const QVariantList files{4, 30, 2};
    const QVariantMap all = present.fitCameraChips(names, files, font, 14, 8, 1000);
    EXPECT_EQ(all.value("shown").toList(), (QVariantList{0, 1, 2}));
    EXPECT_EQ(all.value("more").toString(), QString());
    // Room for one chip and "+2": the camera with the most files keeps its chip.
    const double one = metrics.horizontalAdvance(QStringLiteral("FX3")) + 14 + 8 +
                       metrics.horizontalAdvance(QStringLiteral("+2")) + 14 + 0.5;
    const QVariantMap fit = present.fitCameraChips(names, files, font, 14, 8, one);
    EXPECT_EQ(fit.value("shown").toList(), QVariantList{1});
    EXPECT_EQ(fit.value("more").toString(), QStringLiteral("+2"));
    EXPECT_EQ(fit.value("hidden").toStringList(), (QStringList{"A7 IV", "Z 9"}));
    EXPECT_EQ(fit.value("squeezed").toDouble(), -1);
}

// A banner's sentence laid out as its wrapping text lays it out: the quoted name is cut until the
// sentence takes its lines, the words after it kept.
TEST(PresentFit, NamesCutToTheLinesOfASentence) {
    gui();
    const Present present;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    const QString tail = QStringLiteral("\u201D was removed during the check. Insert it again to check it.");
    const QString shortText = QStringLiteral("\u201CCARD") + tail;
    EXPECT_EQ(present.shortenNames(shortText, font, 460, 2), shortText);
    const QString longText =
        QStringLiteral("\u201C") + QString(80, u'W') + QStringLiteral(" of the best man") + tail;
    for (int lines : {2, 3}) {
        const QString shown = present.shortenNames(longText, font, 460, lines);
        EXPECT_NE(shown, longText) << lines;
        EXPECT_TRUE(shown.startsWith(QStringLiteral("\u201CWWW")) && shown.endsWith(tail)) << lines;
        const QFontMetricsF metrics(font);
        const double height = metrics.boundingRect(QRectF(0, 0, 460, 1e6), Qt::TextWordWrap, shown).height();
        EXPECT_LT(height, (lines + 0.5) * metrics.lineSpacing()) << shown.toStdString();
    }
}

}  // namespace
}  // namespace halvetrop::shell
