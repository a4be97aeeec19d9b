// The EXIF reader over every container it recognises, fed arbitrary bytes as a file's content.
#include "capture/Parsers.h"
#include "StoredCapture.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    capture::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto fields = capture::readExifFields(source);
    if (source.bytesRead() > capture::kReadBudget) __builtin_trap();
    if (fields) {
        if (const auto info = capture::captureFromExif(*fields)) {
            (void)info->day();
            (void)info->identity();
            fuzz::expectStoredFormSettles(*info);
        }
    }
    return 0;
}
