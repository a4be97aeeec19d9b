#pragma once
// What names one thumbnail, and its image URL for the views.
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

namespace halvetrop::thumbs {

struct Key {
    std::string volume;  // mount point of the volume the file lies on
    std::string path;
    int64_t size = 0;
    int64_t modified = 0;  // nanoseconds
    friend bool operator==(const Key&, const Key&) = default;
    friend bool operator<(const Key& a, const Key& b) {
        return std::tie(a.volume, a.path, a.size, a.modified) <
               std::tie(b.volume, b.path, b.size, b.modified);
    }
};

struct KeyHash {
    size_t operator()(const Key& k) const;
};

// "image://thumbnail/<volume>/<size>/<modified>/<path>", the volume and path percent-encoded
// bytes (names need not be UTF-8); and the key an image id (the URL after "image://thumbnail/")
// names, nothing for a malformed one.
QString thumbnailUrl(const Key& key);
std::optional<Key> keyOfId(const QString& id);

}  // namespace halvetrop::thumbs
