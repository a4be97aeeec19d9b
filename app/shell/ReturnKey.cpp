#include "shell/ReturnKey.h"

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
    QMetaObject::invokeMethod(watched, "click");
    key->accept();
    return true;
}

}  // namespace halvetrop::shell
