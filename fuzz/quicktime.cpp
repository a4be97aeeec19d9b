// The movie-header walk over arbitrary bytes; the first byte picks a name with or without a
// local-clock prefix so that both readings of the header run.
#include "capture/Parsers.h"
#include "StoredCapture.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    const std::string_view name = size > 0 && (data[0] & 1) ? "GX010042.MP4" : "C0001.MP4";
    capture::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto info = capture::quickTimeFrom(source, name);
    // 64 headers of 16 bytes and one movie atom read of 64 KiB at most.
    if (source.bytesRead() > 64 * 16 + 65536) __builtin_trap();
    if (info) fuzz::expectStoredFormSettles(*info);
    return 0;
}
