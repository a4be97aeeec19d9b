// The fitting rules as the views call them: widths measured in a real font, forms and indices
// handed back as script values.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGuiApplication>

#include "shell/Present.h"

namespace halvetrop::shell {
namespace {

// Fonts are measured only with a GUI application; it lives until the process ends, past the
// statics Qt tears down first.
void gui() {
    static int argc = 1;
    static char name[] = "present_fit_test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
}

TEST(PresentFit, ActionRowFormByName) {
    const Present present;
    const QVariantList widths{QVariantList{200, 100, 40}, QVariantList{150, 90, 30}};
    struct Row {
        double available;
        const char* form;
        bool fits;
    };
    const Row rows[] = {
        {358, "full", true}, {198, "compact", true}, {78, "symbols", true}, {10, "symbols", false}};
    for (const auto& row : rows) {
        const QVariantMap fit = present.fitActionRow(widths, 8, row.available);
        EXPECT_EQ(fit.value("form").toString().toStdString(), row.form) << row.available;
        EXPECT_EQ(fit.value("fits").toBool(), row.fits) << row.available;
    }
}

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

}  // namespace
}  // namespace halvetrop::shell
