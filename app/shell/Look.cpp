#include "shell/Look.h"

#include <QGuiApplication>
#include <QMetaEnum>

namespace halvetrop::shell {

using namespace halvetrop::present;

void Look::set(Appearance appearance, bool reduceMotion) {
    appearance_ = appearance;
    reduceMotion_ = reduceMotion;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setPalette(palette(appearance));
    emit changed();
}

QPalette Look::palette(Appearance appearance) {
    const QColor brand = QColor::fromRgb(colorValue(ColorRole::brandFill, appearance));
    const bool hc = appearance == Appearance::hcLight || appearance == Appearance::hcDark;
    QPalette p;
    if (isDark(appearance)) {
        const QColor window(hc ? 0x000000 : 0x1E1E1E), base(hc ? 0x0A0A0A : 0x2A2A2C), text(0xFFFFFF);
        const QColor button(hc ? 0x1A1A1A : 0x3A3A3C);
        p = QPalette(text, button, button.lighter(130), window, button.darker(120), text, text, base, window);
        p.setColor(QPalette::AlternateBase, QColor(hc ? 0x141414 : 0x323234));
        p.setColor(QPalette::ToolTipBase, QColor(0x3A3A3C));
        p.setColor(QPalette::ToolTipText, text);
        p.setColor(QPalette::PlaceholderText, QColor(hc ? 0xC0C0C0 : 0x8E8E93));
        p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6E6E73));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6E6E73));
        p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6E6E73));
        p.setColor(QPalette::Link, QColor::fromRgb(colorValue(ColorRole::brand, appearance)));
    } else {
        const QColor window(hc ? 0xFFFFFF : 0xF2F2F4), base(0xFFFFFF), text(hc ? 0x000000 : 0x1D1D1F);
        const QColor button(hc ? 0xFFFFFF : 0xFBFBFC);
        p = QPalette(text, button, button, window.darker(110), window.darker(130), text, text, base, window);
        p.setColor(QPalette::AlternateBase, QColor(0xF5F5F7));
        p.setColor(QPalette::ToolTipBase, QColor(0xFFFFFF));
        p.setColor(QPalette::ToolTipText, text);
        p.setColor(QPalette::PlaceholderText, QColor(hc ? 0x3A3A3C : 0x8E8E93));
        p.setColor(QPalette::Disabled, QPalette::Text, QColor(0xA1A1A6));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0xA1A1A6));
        p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0xA1A1A6));
        p.setColor(QPalette::Link, QColor::fromRgb(colorValue(ColorRole::brand, appearance)));
    }
    p.setColor(QPalette::Highlight, brand);
    p.setColor(QPalette::HighlightedText, QColor(0xFFFFFF));
    return p;
}

QColor Look::paletteColor(const QString& role, bool disabled) const {
    const QMetaEnum roles = QMetaEnum::fromType<QPalette::ColorRole>();
    bool ok = false;
    QString name = role;
    if (!name.isEmpty()) name[0] = name[0].toUpper();
    const int value = roles.keyToValue(name.toLatin1().constData(), &ok);
    if (!ok) return {};
    return palette(appearance_)
        .color(disabled ? QPalette::Disabled : QPalette::Active, QPalette::ColorRole(value));
}

QColor Look::color(const QString& role) const {
    const auto r = roleFromName(role.toStdString());
    return r ? QColor::fromRgb(colorValue(*r, appearance_)) : QColor();
}

}  // namespace halvetrop::shell
