#include "present/Paths.h"

#include "text/Utf8.h"

#include <QByteArray>

namespace halvetrop::present {

QString pathKey(std::string_view bytes) {
    const std::string key = escapeIllFormed(bytes);
    return QString::fromUtf8(key.data(), qsizetype(key.size()));
}

std::optional<std::string> pathOfKey(const QString& key) { return unescapeIllFormed(key.toStdString()); }

QUrl fileUrl(std::string_view bytes) {
    const QByteArray path(bytes.data(), qsizetype(bytes.size()));
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

std::optional<std::string> localPath(const QUrl& url) {
    if (!url.isLocalFile()) return std::nullopt;
    // The encoded form keeps a byte that is not UTF-8 as its escape; the decoded one would not.
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace halvetrop::present
