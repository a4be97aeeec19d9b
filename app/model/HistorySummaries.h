#pragma once
// The history's summaries, kept in a small file beside the history file, so that the recent checks
// are listed long before the reports themselves (40 of them may take gigabytes) have been read.
// The file names the history file it was made from (its size, modification time and inode) and carries
// a checksum of its text: a summaries file of another history, or one damaged, is not used, and
// the full history is read as before.
#include <QByteArray>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "present/ReportSummary.h"

namespace halvetrop {

// Which history file a summaries file was made from.
struct HistoryStamp {
    int64_t size = 0;
    int64_t modifiedNs = 0;
    uint64_t inode = 0;
    friend bool operator==(const HistoryStamp&, const HistoryStamp&) = default;
};
// The stamp of the file at `path` as it is now; nothing when it cannot be read.
std::optional<HistoryStamp> historyStamp(const QString& path);

// One entry of the history as listed: everything but its report.
struct SummaryEntry {
    QUuid id;
    present::ReportSummary summary;
    std::optional<QByteArray> sourceBookmark;
    std::vector<QByteArray> destinationBookmarks;
    friend bool operator==(const SummaryEntry&, const SummaryEntry&) = default;
};

// The largest summaries file read: 40 entries take a few hundred kilobytes.
inline constexpr int64_t summariesLimit = 16 << 20;

// The text of a summaries file of the history file with this stamp, its entries in order.
std::string encodeSummaries(const HistoryStamp& stamp, const std::vector<SummaryEntry>& entries);
// The entries of a summaries text when it is whole and made from the history file with `stamp`;
// nothing otherwise (also for a text longer than the limit). Never throws.
std::optional<std::vector<SummaryEntry>> decodeSummaries(std::string_view text, const HistoryStamp& stamp);

// Where the summaries of the history file at `historyPath` are kept.
QString summariesPath(const QString& historyPath);

}  // namespace halvetrop
