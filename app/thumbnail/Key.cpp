#include "thumbnail/Key.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

namespace halvetrop::thumbs {

namespace {

QString part(const std::string& bytes) {
    return QString::fromLatin1(QByteArray::fromStdString(bytes).toPercentEncoding());
}

// The engine hands the provider the id with the escapes of UTF-8 characters decoded (é, U+FFFD),
// those of other bytes kept: both come back as the bytes they were.
std::string unpart(const QString& text) {
    return QByteArray::fromPercentEncoding(text.toUtf8()).toStdString();
}

}  // namespace

size_t KeyHash::operator()(const Key& k) const {
    size_t h = std::hash<std::string>()(k.volume);
    for (size_t v :
         {std::hash<std::string>()(k.path), std::hash<int64_t>()(k.size), std::hash<int64_t>()(k.modified)})
        h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

QString thumbnailUrl(const Key& key) {
    // One substitution for all parts: an encoded part holds "%2F", which a later arg() would take
    // for a place marker.
    return QStringLiteral("image://thumbnail/%1/%2/%3/%4")
        .arg(part(key.volume), QString::number(key.size), QString::number(key.modified), part(key.path));
}

std::optional<Key> keyOfId(const QString& id) {
    const QStringList parts = id.split(QLatin1Char('/'));
    if (parts.size() != 4) return std::nullopt;
    bool sizeOk = false, modifiedOk = false;
    Key key{unpart(parts[0]), unpart(parts[3]), parts[1].toLongLong(&sizeOk),
            parts[2].toLongLong(&modifiedOk)};
    if (!sizeOk || !modifiedOk || key.path.empty()) return std::nullopt;
    return key;
}

}  // namespace halvetrop::thumbs
