#pragma once
// A video's frames painted into the window, where the window is drawn by Qt Quick's software
// renderer, which does not draw Qt Multimedia's VideoOutput. A media player plays into it as into a
// VideoOutput (through its sink).
#include <QQuickPaintedItem>
#include <QVideoFrame>
#include <QVideoSink>

namespace halvetrop::shell {

class VideoFrames : public QQuickPaintedItem {
    Q_OBJECT
public:
    explicit VideoFrames(QQuickItem* parent = nullptr);
    // What a media player's video output plays into.
    Q_INVOKABLE QVideoSink* videoSink() { return &sink_; }
    // The last frame, as large as fits, in its proportions.
    void paint(QPainter* painter) override;

private:
    QVideoSink sink_;
    QVideoFrame frame_;
};

}  // namespace halvetrop::shell
