// The EXIF reader over every container it recognises, fed arbitrary bytes as a file's content.
#include "capture/Parsers.h"
#include "report/StoredForm.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// A report stores every capture it holds: the stored text must read back, and what was read must
// write back unchanged (instants settle to the microsecond, texts to valid UTF-8, on first read).
void expectStoredFormSettles(const halvetrop::CaptureInfo& info) {
    using namespace halvetrop;
    const CaptureInfo once = fromStoredJson<CaptureInfo>(toStoredJson(info));
    const std::string text = toStoredJson(once);
    const CaptureInfo twice = fromStoredJson<CaptureInfo>(text);
    if (!(twice == once) || toStoredJson(twice) != text) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    capture::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto fields = capture::readExifFields(source);
    if (source.bytesRead() > capture::kReadBudget) __builtin_trap();
    if (fields) {
        if (const auto info = capture::captureFromExif(*fields)) {
            (void)info->day();
            (void)info->identity();
            expectStoredFormSettles(*info);
        }
    }
    return 0;
}
