#pragma once
// The process's thumbnails, bounded by bytes. A picture is known by the volume it was read from
// and the file's path, size and modification time: cards of one camera repeat the same paths
// under the same mount point, so a path alone would show the last card's picture for a new card.
// Files that gave no picture are remembered for the life of the process.
#include <QImage>

#include "thumbnail/Key.h"

#include <cstdint>
#include <list>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>

namespace halvetrop::thumbs {

class Cache {
public:
    explicit Cache(int64_t maxBytes = int64_t(256) << 20) : maxBytes_(maxBytes) {}

    // The picture, which becomes the most recently used; nothing when none is kept.
    std::optional<QImage> find(const Key& key);
    // Keeps the first picture of a key (a later one of another size is not kept); the least
    // recently used pictures go until the bound holds. A picture larger than the bound is not kept.
    void insert(const Key& key, const QImage& image);
    void markFailed(const Key& key) { failed_.insert(key); }
    bool failed(const Key& key) const { return failed_.count(key) != 0; }
    // Everything of a volume that was unmounted.
    void dropVolume(const std::string& volume);

    int64_t bytes() const { return bytes_; }
    size_t count() const { return entries_.size(); }

private:
    struct Entry {
        Key key;
        QImage image;
        int64_t bytes;
    };
    using List = std::list<Entry>;
    void erase(List::iterator it);

    int64_t maxBytes_;
    int64_t bytes_ = 0;
    List entries_;  // most recently used first
    std::unordered_map<Key, List::iterator, KeyHash> index_;
    std::set<Key> failed_;
};

}  // namespace halvetrop::thumbs
