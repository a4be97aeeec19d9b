#include "thumbnail/Thumbnailer.h"

#include "thumbnail/Protocol.h"

#include <algorithm>

namespace halvetrop::thumbs {

Thumbnailer::Thumbnailer(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), cache_(options_.cacheBytes) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &Thumbnailer::giveUp);
}

Thumbnailer::~Thumbnailer() {
    if (helper_) {
        helper_->disconnect(this);
        helper_->kill();
        helper_->waitForFinished(1000);
    }
}

void Thumbnailer::request(const Key& key) {
    if (auto image = cache_.find(key)) {
        emit ready(key, *image);
        return;
    }
    if (cache_.failed(key)) {
        emit failed(key);
        return;
    }
    if ((current_ && *current_ == key) || std::find(queue_.begin(), queue_.end(), key) != queue_.end())
        return;
    queue_.push_back(key);
    next();
}

void Thumbnailer::startHelper() {
    helper_ = new QProcess(this);
    helper_->setProcessChannelMode(QProcess::SeparateChannels);
    helper_->setStandardErrorFile(QProcess::nullDevice());
    connect(helper_, &QProcess::readyReadStandardOutput, this, &Thumbnailer::readReplies);
    connect(helper_, &QProcess::finished, this, [this] {
        if (current_) giveUp();
    });
    connect(helper_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart && current_) giveUp();
    });
    helper_->start(options_.program, options_.arguments);
}

void Thumbnailer::next() {
    if (current_ || queue_.empty()) return;
    if (!helper_) startHelper();
    current_ = queue_.front();
    queue_.pop_front();
    currentId_ = nextId_++;
    buffer_.clear();
    helper_->write(QByteArray::fromStdString(encode(Request{currentId_, options_.side, current_->path})));
    deadline_.start(options_.deadlineMs);
}

void Thumbnailer::readReplies() {
    if (!helper_) return;
    buffer_ += helper_->readAllStandardOutput().toStdString();
    const Read<Reply> r = readReply(buffer_);
    if (r.state == Read<Reply>::State::needMore) return;
    if (r.state == Read<Reply>::State::error || r.frame.id != currentId_ || !current_) {
        giveUp();
        return;
    }
    deadline_.stop();
    buffer_.erase(0, r.used);
    const Key key = *current_;
    current_.reset();
    if (r.frame.ok) {
        QImage image(r.frame.width, r.frame.height, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < image.height(); ++y)
            std::copy_n(r.frame.pixels.data() + size_t(y) * size_t(image.width()) * 4,
                        size_t(image.width()) * 4, reinterpret_cast<char*>(image.scanLine(y)));
        cache_.insert(key, image);
        emit ready(key, image);
    } else {
        cache_.markFailed(key);
        emit failed(key);
    }
    next();
}

void Thumbnailer::giveUp() {
    deadline_.stop();
    if (helper_) {
        stopHelper();
        ++restarts_;
    }
    if (current_) {
        const Key key = *current_;
        current_.reset();
        cache_.markFailed(key);
        emit failed(key);
    }
    next();
}

void Thumbnailer::stopHelper() {
    helper_->disconnect(this);
    helper_->kill();
    helper_->waitForFinished(1000);
    helper_->deleteLater();
    helper_ = nullptr;
}

void Thumbnailer::cancelVolume(const std::string& volume) {
    std::erase_if(queue_, [&](const Key& k) { return k.volume == volume; });
    if (current_ && current_->volume == volume) {
        // Not a failure of the file: it is asked for again when the volume comes back.
        current_.reset();
        deadline_.stop();
        if (helper_) stopHelper();
        next();
    }
}

void Thumbnailer::dropVolume(const std::string& volume) {
    cancelVolume(volume);
    cache_.dropVolume(volume);
}

}  // namespace halvetrop::thumbs
