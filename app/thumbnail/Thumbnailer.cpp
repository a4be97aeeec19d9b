#include "thumbnail/Thumbnailer.h"

#include "thumbnail/Protocol.h"

#include <algorithm>

namespace halvetrop::thumbs {

int Thumbnailer::helpersFor(int cores) { return std::clamp(cores, 1, 4); }

Thumbnailer::Thumbnailer(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), cache_(options_.cacheBytes) {
    for (int i = 0; i < std::max(options_.helpers, 1); ++i) {
        auto slot = std::make_unique<Slot>();
        slot->deadline.setSingleShot(true);
        Slot* s = slot.get();
        connect(&slot->deadline, &QTimer::timeout, this, [this, s] { giveUp(*s, false); });
        slots_.push_back(std::move(slot));
    }
}

Thumbnailer::~Thumbnailer() {
    for (auto& slot : slots_)
        if (slot->process) stopHelper(*slot);
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
    ++waiters_[key];
    for (const auto& slot : slots_)
        if (slot->current == key) return;
    // Asked again: it moves ahead as a new request.
    std::erase(queue_, key);
    queue_.push_front(key);
    dispatch();
}

void Thumbnailer::withdraw(const Key& key) {
    const auto it = waiters_.find(key);
    if (it == waiters_.end() || --it->second > 0) return;
    waiters_.erase(it);
    std::erase(queue_, key);
}

void Thumbnailer::answered(const Key& key) { waiters_.erase(key); }

void Thumbnailer::dispatch() {
    for (auto& slot : slots_) {
        if (queue_.empty()) return;
        if (slot->current) continue;
        const Key key = queue_.front();
        queue_.pop_front();
        send(*slot, key);
    }
}

void Thumbnailer::send(Slot& slot, const Key& key) {
    slot.current = key;
    slot.id = nextId_++;
    slot.buffer.clear();
    slot.deadline.start(options_.deadlineMs);
    if (!slot.process) {
        QProcess* p = new QProcess(this);
        slot.process = p;
        p->setProcessChannelMode(QProcess::SeparateChannels);
        p->setStandardErrorFile(QProcess::nullDevice());
        Slot* s = &slot;
        connect(p, &QProcess::readyReadStandardOutput, this, [this, s] { readReplies(*s); });
        connect(p, &QProcess::finished, this, [this, s] {
            if (s->current) giveUp(*s, true);
        });
        // Queued: a start that fails at once reports it from inside start().
        connect(
            p, &QProcess::errorOccurred, this,
            [this, s, p](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart || s->process != p) return;
                if (!missingSaid_) {
                    missingSaid_ = true;
                    emit helperMissing();
                }
                giveUp(*s, false);
            },
            Qt::QueuedConnection);
        p->start(options_.program, options_.arguments);
    }
    slot.process->write(QByteArray::fromStdString(encode(Request{slot.id, options_.side, key.path})));
}

void Thumbnailer::readReplies(Slot& slot) {
    if (!slot.process) return;
    slot.buffer += slot.process->readAllStandardOutput().toStdString();
    const Read<Reply> r = readReply(slot.buffer);
    if (r.state == Read<Reply>::State::needMore) return;
    if (r.state == Read<Reply>::State::error || !slot.current || r.frame.id != slot.id) {
        giveUp(slot, true);
        return;
    }
    slot.deadline.stop();
    slot.buffer.erase(0, r.used);
    const Key key = *slot.current;
    slot.current.reset();
    answered(key);
    if (r.frame.accessTimeTouched) emit accessTimeTouched(key);
    if (r.frame.ok) {
        QImage image(r.frame.width, r.frame.height, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < image.height(); ++y)
            std::copy_n(r.frame.pixels.data() + size_t(y) * size_t(image.width()) * 4,
                        size_t(image.width()) * 4, reinterpret_cast<char*>(image.scanLine(y)));
        if (r.frame.range != VideoRange::unknown)
            image.setText(videoRangeText, r.frame.range == VideoRange::full ? "full" : "limited");
        cache_.insert(key, image);
        emit ready(key, image);
    } else {
        cache_.markFailed(key);
        emit failed(key);
    }
    dispatch();
}

void Thumbnailer::giveUp(Slot& slot, bool fileToBlame) {
    slot.deadline.stop();
    if (slot.process) {
        stopHelper(slot);
        ++restarts_;
    }
    if (slot.current) {
        const Key key = *slot.current;
        slot.current.reset();
        answered(key);
        if (fileToBlame) cache_.markFailed(key);
        emit failed(key);
    }
    dispatch();
}

void Thumbnailer::stopHelper(Slot& slot) {
    slot.process->disconnect(this);
    slot.process->kill();
    slot.process->waitForFinished(1000);
    slot.process->deleteLater();
    slot.process = nullptr;
}

void Thumbnailer::cancelVolume(const std::string& volume) {
    std::erase_if(queue_, [&](const Key& k) { return k.volume == volume; });
    std::erase_if(waiters_, [&](const auto& w) { return w.first.volume == volume; });
    for (auto& slot : slots_) {
        if (!slot->current || slot->current->volume != volume) continue;
        // Not a failure of the file: it is asked for again when the volume comes back.
        slot->current.reset();
        slot->deadline.stop();
        if (slot->process) stopHelper(*slot);
    }
    dispatch();
}

void Thumbnailer::dropVolume(const std::string& volume) {
    cancelVolume(volume);
    cache_.dropVolume(volume);
}

}  // namespace halvetrop::thumbs
