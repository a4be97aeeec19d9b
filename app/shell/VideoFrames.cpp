#include "shell/VideoFrames.h"

namespace halvetrop::shell {

VideoFrames::VideoFrames(QQuickItem* parent) : QQuickPaintedItem(parent) {
    connect(&sink_, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
        frame_ = frame;
        update();
    });
}

void VideoFrames::paint(QPainter* painter) {
    if (frame_.isValid()) frame_.paint(painter, boundingRect(), {Qt::transparent, Qt::KeepAspectRatio});
}

}  // namespace halvetrop::shell
