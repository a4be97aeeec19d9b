#pragma once
// Paths on their way to and from the views. A Linux path is bytes and need not be UTF-8, while a
// QString holds only text: a path made into text and back may name another file. So a path the
// views hand back travels as a key that keeps every byte, a file URL keeps its bytes
// percent-encoded, and only display text is made by repairing.
#include <QString>
#include <QUrl>

#include <optional>
#include <string>
#include <string_view>

namespace halvetrop::present {

// A path's key for the views: its text where the bytes are UTF-8 (with "%" as "%25"), each other
// byte as "%" and two hexadecimal digits. Equal keys are equal bytes.
QString pathKey(std::string_view bytes);
// The bytes of a key; nothing for a text that no key has.
std::optional<std::string> pathOfKey(const QString& key);

// A local file's URL that names exactly these bytes.
QUrl fileUrl(std::string_view bytes);
// The bytes of a local file's URL (nothing for any other URL).
std::optional<std::string> localPath(const QUrl& url);

}  // namespace halvetrop::present
