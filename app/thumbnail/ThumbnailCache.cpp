#include "thumbnail/ThumbnailCache.h"

#include <functional>

namespace halvetrop::thumbs {

std::optional<QImage> Cache::find(const Key& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return std::nullopt;
    entries_.splice(entries_.begin(), entries_, it->second);
    return it->second->image;
}

void Cache::insert(const Key& key, const QImage& image) {
    const int64_t size = int64_t(image.sizeInBytes());
    if (index_.count(key) || image.isNull() || size > maxBytes_) return;
    entries_.push_front({key, image, size});
    index_[key] = entries_.begin();
    bytes_ += size;
    while (bytes_ > maxBytes_) erase(std::prev(entries_.end()));
}

void Cache::erase(List::iterator it) {
    bytes_ -= it->bytes;
    index_.erase(it->key);
    entries_.erase(it);
}

void Cache::dropVolume(const std::string& volume) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        auto next = std::next(it);
        if (it->key.volume == volume) erase(it);
        it = next;
    }
    std::erase_if(failed_, [&](const Key& k) { return k.volume == volume; });
}

}  // namespace halvetrop::thumbs
