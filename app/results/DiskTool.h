#pragma once
// Opens the desktop's disk tool, by the desktop ids of the tools we know, first found first.
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {

class DiskTool {
public:
    virtual ~DiskTool() = default;
    // Nothing when a tool started; else the user's text saying why none did.
    virtual std::optional<std::string> open() = 0;
};

// GNOME Disks, then KDE Partition Manager, through GIO's desktop app info.
class DesktopDiskTool : public DiskTool {
public:
    explicit DesktopDiskTool(std::vector<std::string> desktopIDs = {"org.gnome.DiskUtility.desktop",
                                                                    "org.kde.partitionmanager.desktop"});
    std::optional<std::string> open() override;

private:
    std::vector<std::string> ids_;
};

}  // namespace halvetrop
