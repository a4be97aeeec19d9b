#include "shell/ReturnKey.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QQuickItem>

namespace halvetrop::shell {

bool returnPresses(const QObject* focused) {
    const auto* item = qobject_cast<const QQuickItem*>(focused);
    if (!item || !item->hasActiveFocus() || !item->isEnabled() || !item->isVisible()) return false;
    if (!item->inherits("QQuickAbstractButton")) return false;
    // Menus press their items on Return themselves.
    return !item->inherits("QQuickMenuItem");
}

bool ReturnKey::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || key->isAutoRepeat()) return false;
    if (!returnPresses(watched)) return false;
    // A button of this Qt has no click() to call: it is pressed as Space would press it, down and
    // up, with every signal and state change a real press makes.
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(watched, &down);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(watched, &up);
    key->accept();
    return true;
}

}  // namespace halvetrop::shell
