#pragma once
// The appearance the window draws in (light, dark and their high-contrast forms) and whether it may
// animate. Qt 6.4 does not follow the desktop's dark style itself, so the widget palette (Fusion
// controls, dialogs) is set here from the same appearance the colour tokens use.
#include <QObject>
#include <QPalette>
#include <QVariantMap>

#include "present/Tokens.h"

namespace halvetrop::shell {

class Look : public QObject {
    Q_OBJECT
    Q_PROPERTY(int appearance READ appearanceIndex NOTIFY changed)  // present::Appearance
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(bool highContrast READ highContrast NOTIFY changed)
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY changed)

public:
    explicit Look(QObject* parent = nullptr) : QObject(parent) {}

    present::Appearance appearance() const { return appearance_; }
    int appearanceIndex() const { return int(appearance_); }
    bool dark() const { return present::isDark(appearance_); }
    bool highContrast() const {
        return appearance_ == present::Appearance::hcLight || appearance_ == present::Appearance::hcDark;
    }
    bool reduceMotion() const { return reduceMotion_; }

    // Also sets the application palette when a GUI application runs.
    void set(present::Appearance appearance, bool reduceMotion);

    // The palette of Fusion controls in an appearance: the surfaces and inks of the tokens, the
    // selection as highlight, and dimmed text in the disabled group.
    static QPalette palette(present::Appearance appearance);

    // A colour of the current appearance by name: a colour role ("verified"), a surface
    // ("sidebar"), an ink ("secondary", translucent), "hairline" or "focusRing".
    Q_INVOKABLE QColor color(const QString& name) const;
    // A colour role where it colours text.
    Q_INVOKABLE QColor textColor(const QString& role) const;
    // {fill, text, border} of a control kind ("prominent", "bordered", "selection") in a state
    // ("normal", "hovered", "pressed", "disabled").
    Q_INVOKABLE QVariantMap control(const QString& kind, const QString& state) const;
    // {fill, text} of a translucent fill with text on it ("chipOn", "chipOff", "filterChip",
    // "cameraChip", "stripe").
    Q_INVOKABLE QVariantMap tint(const QString& name) const;
    // A colour of the current palette by its QPalette role name ("window", "buttonText", ...), for
    // the windows of the views: Qt Quick controls do not follow a palette set after start.
    Q_INVOKABLE QColor paletteColor(const QString& role, bool disabled = false) const;
    // {border, reach} of a soft shadow's nine-patch image ("image://shadow/RADIUS/BLUR/RRGGBB"):
    // the stretch borders, and how far the image reaches outside the shape.
    Q_INVOKABLE QVariantMap shadow(double radius, double blur) const;

signals:
    void changed();

private:
    present::Appearance appearance_ = present::Appearance::light;
    bool reduceMotion_ = false;
};

}  // namespace halvetrop::shell
