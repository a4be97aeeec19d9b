// Mount points carry names a card chose (its label becomes /media/USER/LABEL): the mountinfo
// reader must take any bytes.
#include "platform/MountInfo.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<halvetrop::MountEntry> mounts = halvetrop::parseMountInfo(text);
    for (const halvetrop::MountEntry& m : mounts) {
        halvetrop::findMount(mounts, m.mountID, m.major, m.minor, m.mountPoint);
    }
    halvetrop::unescapeMountField(text);
    return 0;
}
