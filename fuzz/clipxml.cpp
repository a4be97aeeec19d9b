// The clip sidecar text and the attribute reader over arbitrary bytes.
#include "capture/CaptureReader.h"
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
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view text = capture::clipText(bytes);
    if (text.size() > static_cast<size_t>(capture::kClipTextLimit) + 3) __builtin_trap();
    if (const auto info = capture::clipFromText(text)) {
        (void)info->day();
        expectStoredFormSettles(*info);
    }
    (void)CaptureReader::attribute(bytes, "Device", "serialNo");
    (void)CaptureReader::zone(bytes.substr(0, 16));
    return 0;
}
