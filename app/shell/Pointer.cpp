#include "shell/Pointer.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

namespace halvetrop::shell {

Pointer::Pointer(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

bool Pointer::eventFilter(QObject* watched, QEvent* event) {
    // A move reaches the window first (and then, for widgets, the widget under it, at the same
    // place); the hovers it makes are handled before the events queued after it.
    if (event->type() != QEvent::MouseMove || !qobject_cast<QWindow*>(watched)) return false;
    const QPointF at = static_cast<QMouseEvent*>(event)->globalPosition();
    if (at == at_) return false;
    at_ = at;
    if (!moving_) {
        moving_ = true;
        emit movingChanged();
        QTimer::singleShot(0, this, [this] {
            moving_ = false;
            emit movingChanged();
        });
    }
    emit moved();
    return false;
}

}  // namespace halvetrop::shell
