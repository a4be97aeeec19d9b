#pragma once
// The appearance the window draws in (light, dark and their high-contrast forms) and whether it may
// animate. Qt 6.4 does not follow the desktop's dark style itself, so the widget palette (Fusion
// controls, dialogs) is set here from the same appearance the colour tokens use.
#include <QObject>
#include <QPalette>

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

    // The palette of Fusion controls in an appearance, with the brand fill as highlight.
    static QPalette palette(present::Appearance appearance);

    // The colour of a role in the current appearance.
    Q_INVOKABLE QColor color(const QString& role) const;
    // A colour of the current palette by its QPalette role name ("window", "buttonText", ...), for
    // the windows of the views: Qt Quick controls do not follow a palette set after start.
    Q_INVOKABLE QColor paletteColor(const QString& role, bool disabled = false) const;

signals:
    void changed();

private:
    present::Appearance appearance_ = present::Appearance::light;
    bool reduceMotion_ = false;
};

}  // namespace halvetrop::shell
