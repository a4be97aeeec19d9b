#include "model/History.h"

namespace halvetrop {

std::string historyKey(const VolumeInfo&) { return {}; }
HistoryItem makeHistoryItem(VerifyReport report, std::optional<QByteArray> sourceBookmark,
                            std::vector<QByteArray> destinationBookmarks) {
    return {QUuid::createUuid(), std::make_shared<const VerifyReport>(std::move(report)),
            std::move(sourceBookmark), std::move(destinationBookmarks)};
}
bool recordInto(std::vector<HistoryItem>&, HistoryItem) { return false; }
bool forgetIn(std::vector<HistoryItem>&, const QUuid&) { return false; }
std::string encodeHistory(const std::vector<HistoryItem>&) { return "[]"; }
DecodedHistory decodeHistory(std::string_view, int) { return {}; }
HistoryLoad readHistoryFile(const QString&, int) { return {}; }
std::optional<QString> writeHistoryFile(const QString&, const std::vector<HistoryItem>&) { return {}; }

struct HistoryStore::Shared {};
HistoryStore::HistoryStore(QString file, QObject* parent) : QObject(parent), file_(std::move(file)) {}
HistoryStore::~HistoryStore() = default;
QString HistoryStore::defaultFile() { return {}; }
const HistoryItem* HistoryStore::find(const QUuid&) const { return nullptr; }
void HistoryStore::load() {}
bool HistoryStore::record(HistoryItem) { return false; }
void HistoryStore::forget(const QUuid&) {}
bool HistoryStore::flush(int) { return true; }
void HistoryStore::collectLoad() {}
void HistoryStore::save() {}

}  // namespace halvetrop
