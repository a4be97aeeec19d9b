#pragma once
// The saved checks the model's benchmarks start from: 40 synthetic reports (of 5,000 files unless
// told), each of another card, as a history file.
#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "SyntheticReport.h"
#include "model/History.h"

namespace halvetrop::bench {

inline constexpr int historyReports = 40;
inline constexpr int historyFiles = 5000;

// Writes the history to `path`, every entry with these bookmarks; the failure's text, or nothing.
// Each report is packed as it is made: 40 large reports are never held whole at once.
inline std::optional<QString> writeSyntheticHistory(const QString& path,
                                                    const std::optional<QByteArray>& card,
                                                    const std::vector<QByteArray>& backups,
                                                    int files = historyFiles) {
    std::vector<HistoryItem> items;
    for (int i = 0; i < historyReports; ++i) {
        VerifyReport report = syntheticReport(files);
        report.source.volumeID = "CARD-" + std::to_string(i);
        items.push_back(makeHistoryItem(std::move(report), card, backups));
        (void)items.back().report->storedText();
    }
    return writeHistoryFile(path, items);
}

}  // namespace halvetrop::bench
