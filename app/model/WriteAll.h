#pragma once
#include <QIODevice>

#include <string_view>

namespace halvetrop {

// Writes every byte or fails. A file device reports a short write (a disk that fills up halfway)
// without its reason; asking again for the rest gets the system's reason into errorString().
inline bool writeAll(QIODevice& out, std::string_view bytes) {
    while (!bytes.empty()) {
        const qint64 wrote = out.write(bytes.data(), static_cast<qint64>(bytes.size()));
        if (wrote <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(wrote));
    }
    return true;
}

}  // namespace halvetrop
