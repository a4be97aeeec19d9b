#pragma once
// A video's frames painted into the window, where the window is drawn by Qt Quick's software
// renderer, which does not draw Qt Multimedia's VideoOutput. A media player plays into it as into a
// VideoOutput (through its sink).
#include <QImage>
#include <QQuickPaintedItem>
#include <QVideoFrame>
#include <QVideoSink>

namespace halvetrop::shell {

class VideoFrames : public QQuickPaintedItem {
    Q_OBJECT
    // The range of the played video's samples as the video itself says: "full", "limited", or ""
    // when it is not known. It goes before the range a frame states: the default media back end
    // (GStreamer) states limited for the frames of a full-range video.
    Q_PROPERTY(QString streamRange READ streamRange WRITE setStreamRange NOTIFY streamRangeChanged)
public:
    explicit VideoFrames(QQuickItem* parent = nullptr);
    // What a media player's video output plays into.
    Q_INVOKABLE QVideoSink* videoSink() { return &sink_; }
    // The last frame, as large as fits, in its proportions, in the colours its source has: its
    // Y'CbCr is read with the frame's own colour matrix (BT.601, BT.709 or BT.2020) and range
    // (limited or full; the stream's where known), which Qt's conversions do not all follow.
    void paint(QPainter* painter) override;

    QString streamRange() const;
    void setStreamRange(const QString& range);

signals:
    void streamRangeChanged();

private:
    QVideoSink sink_;
    QVideoFrame frame_;
    QVideoFrameFormat::ColorRange streamRange_ = QVideoFrameFormat::ColorRange_Unknown;
    // The last frame in RGB, made when it is first painted: frames that come faster than the
    // window draws are never converted.
    QImage picture_;
};

}  // namespace halvetrop::shell
