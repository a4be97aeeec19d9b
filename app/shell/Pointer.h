#pragma once
// Whether the pointer itself is moving. Qt Quick hovers an item that moves under a resting pointer
// (the page scrolled, a row came into its place) as if the pointer had come to it; a tooltip comes
// up only for a hover the pointer's own movement began.
#include <QObject>
#include <QPointF>

namespace halvetrop::shell {

class Pointer : public QObject {
    Q_OBJECT
    // True while the events of a move of the pointer (one the desktop reported) are handled.
    Q_PROPERTY(bool moving READ moving NOTIFY movingChanged)

public:
    // Watches the application's events from its making on.
    explicit Pointer(QObject* parent = nullptr);
    bool moving() const { return moving_; }
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void movingChanged();
    // The pointer moved.
    void moved();

private:
    bool moving_ = false;
    QPointF at_{-1e9, -1e9};
};

}  // namespace halvetrop::shell
