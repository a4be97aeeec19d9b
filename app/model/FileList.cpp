#include "model/FileList.h"

namespace halvetrop {

QString rawValue(FileFilter) { return {}; }
std::optional<FileFilter> fileFilterFromRaw(const QString&) { return {}; }
QString trimSearch(const QString& s) { return s; }
std::string searchKey(std::string_view t) { return std::string(t); }
FileIndex::FileIndex(const VerifyReport&) {}
std::optional<int> FileIndex::position(int64_t) const { return {}; }
const FileResult* FileIndex::file(const VerifyReport&, int64_t) const { return nullptr; }
std::vector<int> FileIndex::refilter(const VerifyReport&, const FileQuery&) const { return {}; }
std::vector<int64_t> copyableIDs(const VerifyReport&, const FileIndex&, const std::vector<int64_t>&) {
    return {};
}
std::vector<int64_t> allFileIDs(const VerifyReport&) { return {}; }
QString copyAllMissingTitle() { return {}; }
std::vector<std::string> previewPaths(const VerifyReport&, const FileResult&) { return {}; }
LiveFold foldLive(VerifyReport&, const std::vector<FileResult>&) { return {}; }
bool sameBackups(const VerifyReport&, const std::vector<std::string>&) { return false; }
QString csvFileName(const VerifyReport&, const QDate&, const QLocale&) { return {}; }
QString ExportFailure::noticeText() const { return {}; }
std::optional<ExportFailure> writeCSV(const VerifyReport&, const QString&) { return {}; }

}  // namespace halvetrop
