#pragma once
// Return and Enter press the focused button, as everywhere on the desktop; Qt Quick's buttons take
// only Space by themselves. Screens with a default button (Check, Copy) keep their own Return for
// as long as no control holds the keys from the keyboard.
#include <QObject>

namespace halvetrop::shell {

// Whether Return pressed while `focused` has the keys presses it: an enabled, visible button that
// does not answer Return itself (a menu's item does).
bool returnPresses(const QObject* focused);

// Installed on the application: turns a Return or Enter press on such a button into a press of
// it.
class ReturnKey : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace halvetrop::shell
