// Decodes arbitrary bytes as a stored report (and as a stored policy). A report that decodes must
// be safe to read everywhere: every query, the CSV and every path; every path's bytes must show as
// its display form, and its encoding must decode to the very same report. Read with its lists cut
// into pieces of a few bytes, the text must decode to the same report, or fail as it does whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "report/CSVExport.h"
#include "report/PolicyJson.h"
#include "report/StoredForm.h"
#include "text/Utf8.h"

using namespace halvetrop;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<VerifyReport> inPieces;
    try {
        inPieces = reportFromStoredJson(text, 0, 1 + size % 61);
    } catch (const DecodingError&) {
    }
    try {
        VerifyReport report = fromStoredJson<VerifyReport>(text);
        if (!inPieces || !(*inPieces == report)) std::abort();
        (void)report.headline();
        (void)report.skippedKinds();
        (void)report.checkedKinds();
        (void)report.readyToFormat();
        (void)CSVExport::csv(report);
        auto shows = [](std::string_view bytes, const std::string& display) {
            if (repairUtf8(bytes) != display || bytes.find('\0') != std::string_view::npos) std::abort();
        };
        for (const FileResult& file : report.files) {
            (void)report.absolutePath(file);
            shows(file.relativePathBytes(), file.relativePath);
            (void)file.nameBytes();
            (void)file.folderBytes();
            for (const CopyRef& copy : file.copies) {
                (void)report.absolutePath(copy);
                shows(copy.relativePathBytes(), copy.relativePath);
            }
        }
        for (const FolderSummary& folder : report.folders) shows(folder.pathBytes(), folder.path);
        for (const ShootGroup& group : report.groups)
            for (const LandingRef& landing : group.landings) shows(landing.folderBytes(), landing.folder);
        std::string again = toStoredJson(report);
        VerifyReport back = fromStoredJson<VerifyReport>(again);
        if (!(back == report) || toStoredJson(back) != again) std::abort();
    } catch (const DecodingError&) {
        if (inPieces) std::abort();
    }
    try {
        SafeToFormatPolicy policy = fromStoredJson<SafeToFormatPolicy>(text);
        (void)fromStoredJson<SafeToFormatPolicy>(toStoredJson(policy));
    } catch (const DecodingError&) {
    }
    return 0;
}
