// Folder and file names on a card are arbitrary bytes: classification, camera detection and the
// date-folder reader must take any of them, and a class must not depend on how the caller
// repaired the name.
#include "anatomy/Anatomy.h"
#include "anatomy/CameraDetector.h"
#include "text/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    static const CameraDetector detector;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string repaired = repairUtf8(bytes);

    const FileClass raw = Anatomy::classify(bytes);
    if (!(raw == Anatomy::classify(repaired))) __builtin_trap();
    (void)Anatomy::ext(bytes);
    (void)Anatomy::isJunk(bytes);
    (void)Anatomy::isRaw(bytes);
    (void)Anatomy::lower(bytes);
    (void)SonyDateFolder::day(repaired, 2025);
    (void)SonyDateFolder::day(repaired, -2147483647 - 1);

    // The input as a tree: "\n" separates folders from file names.
    std::vector<std::string> directories{""}, names;
    size_t start = 0;
    for (size_t i = 0; i <= repaired.size(); ++i) {
        if (i == repaired.size() || repaired[i] == '\n') {
            std::string part = repaired.substr(start, i - start);
            (part.find('.') != std::string::npos ? names : directories).push_back(std::move(part));
            start = i + 1;
        }
    }
    (void)detector.detect(directories, names);
    return 0;
}
