// The history's summaries over any bytes: as a whole file, and as the list of one whose first line
// names the history file and holds the list's checksum, so that the list itself is read. What
// decodes encodes to a text that decodes to the same entries.
#include <QCryptographicHash>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/HistorySummaries.h"

using namespace halvetrop;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const HistoryStamp stamp{4096, 1'700'000'000'000'000'000, 42};
    (void)decodeSummaries(bytes, stamp);
    const std::string header =
        "halvetrop-history-summaries 1 4096 1700000000000000000 42 " +
        QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(size)), QCryptographicHash::Sha256)
            .toHex()
            .toStdString() +
        "\n";
    const auto entries = decodeSummaries(header + std::string(bytes), stamp);
    if (!entries) return 0;
    const auto again = decodeSummaries(encodeSummaries(stamp, *entries), stamp);
    if (!again || *again != *entries) std::abort();
    return 0;
}
