#include "shell/Look.h"

#include <QGuiApplication>
#include <QMetaEnum>

#include "shell/Shadows.h"

namespace halvetrop::shell {

using namespace halvetrop::present;

void Look::set(Appearance appearance, bool reduceMotion) {
    appearance_ = appearance;
    reduceMotion_ = reduceMotion;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setPalette(palette(appearance));
    emit changed();
}

namespace {

QColor rgb(uint32_t value) { return QColor::fromRgb(value & 0xFFFFFF); }
QColor argb(uint32_t value) { return QColor::fromRgba(value); }

}  // namespace

QPalette Look::palette(Appearance appearance) {
    const QColor window = rgb(surfaceValue(Surface::window, appearance));
    const QColor button = rgb(surfaceValue(Surface::control, appearance));
    const QColor text = rgb(inkValue(Ink::primary, appearance));
    const QColor base = rgb(surfaceValue(Surface::content, appearance));
    const bool dark = isDark(appearance);
    const QColor light = dark ? button.lighter(130) : button;
    const QColor darkShade = dark ? window : window.darker(110);
    const QColor mid = dark ? button.darker(120) : window.darker(130);
    QPalette p(text, button, light, darkShade, mid, text, text, base, window);
    p.setColor(QPalette::AlternateBase, rgb(surfaceValue(Surface::alternate, appearance)));
    p.setColor(QPalette::ToolTipBase, rgb(surfaceValue(Surface::tooltip, appearance)));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, rgb(inkValue(Ink::placeholder, appearance)));
    p.setColor(QPalette::Link, rgb(textValue(ColorRole::brand, appearance)));
    const ControlColors selection = controlColors(ControlKind::selection, ControlState::normal, appearance);
    p.setColor(QPalette::Highlight, rgb(selection.fill));
    p.setColor(QPalette::HighlightedText, rgb(selection.text));
    const ControlColors off = controlColors(ControlKind::selection, ControlState::disabled, appearance);
    p.setColor(QPalette::Disabled, QPalette::Highlight, rgb(off.fill));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, rgb(off.text));
    const QColor disabled = rgb(inkValue(Ink::disabled, appearance));
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
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

QColor Look::color(const QString& name) const {
    const std::string n = name.toStdString();
    if (const auto role = roleFromName(n)) return rgb(colorValue(*role, appearance_));
    if (const auto surface = surfaceFromName(n)) return rgb(surfaceValue(*surface, appearance_));
    if (const auto ink = inkFromName(n)) return argb(inkValue(*ink, appearance_));
    if (n == "hairline") return argb(hairlineValue(appearance_));
    if (n == "focusRing") return rgb(focusRingValue(appearance_));
    if (n == "controlOutline") return rgb(controlOutlineValue(appearance_));
    return {};
}

QColor Look::textColor(const QString& role) const {
    const auto r = roleFromName(role.toStdString());
    return r ? rgb(textValue(*r, appearance_)) : QColor();
}

QVariantMap Look::control(const QString& kind, const QString& state) const {
    const auto k = controlKindFromName(kind.toStdString());
    const auto s = controlStateFromName(state.toStdString());
    if (!k || !s) return {};
    const ControlColors c = controlColors(*k, *s, appearance_);
    return {{QStringLiteral("fill"), rgb(c.fill)},
            {QStringLiteral("text"), rgb(c.text)},
            {QStringLiteral("border"), rgb(c.border)}};
}

QVariantMap Look::tint(const QString& name) const {
    const auto t = tintFromName(name.toStdString());
    if (!t) return {};
    const TintColors c = tintColors(*t, appearance_);
    return {{QStringLiteral("fill"), argb(c.fill)}, {QStringLiteral("text"), argb(c.text)}};
}

QVariantMap Look::shadow(double radius, double blur) const {
    return {{QStringLiteral("border"), shadowBorder(radius, blur)},
            {QStringLiteral("reach"), shadowReach(blur)}};
}

}  // namespace halvetrop::shell
