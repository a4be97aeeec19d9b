#include "drives/DeviceDatabase.h"

#include <libudev.h>
#include <sys/sysmacros.h>

#include <memory>

namespace halvetrop {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

}  // namespace

std::string decodeDeviceDatabaseText(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x') {
            const int hi = hexValue(encoded[i + 2]), lo = hexValue(encoded[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 3;
                continue;
            }
        }
        out.push_back(encoded[i]);
    }
    return out;
}

std::optional<FileSystemFacts> deviceDatabaseFacts(unsigned major, unsigned minor) {
    std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context) return std::nullopt;
    std::unique_ptr<udev_device, UdevDeleter> device(
        udev_device_new_from_devnum(context.get(), 'b', ::makedev(major, minor)));
    // A device the daemon has not finished with may carry the kernel's facts alone.
    if (!device || !udev_device_get_is_initialized(device.get())) return std::nullopt;
    auto property = [&](const char* key) -> std::string {
        const char* value = udev_device_get_property_value(device.get(), key);
        return value ? value : "";
    };
    FileSystemFacts facts;
    // The plain label has every character the database finds unsafe replaced; the encoded one
    // keeps them as escapes.
    const std::string encodedLabel = property("ID_FS_LABEL_ENC");
    facts.label = !encodedLabel.empty() ? decodeDeviceDatabaseText(encodedLabel) : property("ID_FS_LABEL");
    facts.uuid = property("ID_FS_UUID");
    facts.type = property("ID_FS_TYPE");
    if (facts.label.empty() && facts.uuid.empty() && facts.type.empty()) return std::nullopt;
    return facts;
}

}  // namespace halvetrop
