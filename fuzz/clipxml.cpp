// The clip sidecar text and the attribute reader over arbitrary bytes.
#include "capture/CaptureReader.h"
#include "capture/Parsers.h"
#include "StoredCapture.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view text = capture::clipText(bytes);
    if (text.size() > static_cast<size_t>(capture::kClipTextLimit) + 3) __builtin_trap();
    if (const auto info = capture::clipFromText(text)) {
        (void)info->day();
        fuzz::expectStoredFormSettles(*info);
    }
    (void)CaptureReader::attribute(bytes, "Device", "serialNo");
    (void)CaptureReader::zone(bytes.substr(0, 16));
    return 0;
}
