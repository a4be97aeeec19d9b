// Decodes arbitrary bytes as a stored report (and as a stored policy). A report that decodes must
// be safe to read everywhere: every query, the CSV and every path, and its encoding must decode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "report/CSVExport.h"
#include "report/PolicyJson.h"
#include "report/StoredForm.h"

using namespace halvetrop;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        VerifyReport report = fromStoredJson<VerifyReport>(text);
        (void)report.headline();
        (void)report.skippedKinds();
        (void)report.checkedKinds();
        (void)report.readyToFormat();
        (void)CSVExport::csv(report);
        for (const FileResult& file : report.files) {
            (void)report.absolutePath(file);
            for (const CopyRef& copy : file.copies) (void)report.absolutePath(copy);
        }
        std::string again = toStoredJson(report);
        VerifyReport back = fromStoredJson<VerifyReport>(again);
        if (back.files.size() != report.files.size() || back.groups.size() != report.groups.size() ||
            back.cardUnreadableEntries != report.cardUnreadableEntries) {
            std::abort();
        }
    } catch (const DecodingError&) {
    }
    try {
        SafeToFormatPolicy policy = fromStoredJson<SafeToFormatPolicy>(text);
        (void)fromStoredJson<SafeToFormatPolicy>(toStoredJson(policy));
    } catch (const DecodingError&) {
    }
    return 0;
}
