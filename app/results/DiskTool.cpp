// GIO's headers use `signals` as a name: this file includes no Qt header.
#include "results/DiskTool.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace halvetrop {

DesktopDiskTool::DesktopDiskTool(std::vector<std::string> desktopIDs) : ids_(std::move(desktopIDs)) {}

std::optional<std::string> DesktopDiskTool::open() {
    for (const std::string& id : ids_) {
        GDesktopAppInfo* info = g_desktop_app_info_new(id.c_str());
        if (!info) continue;
        GError* error = nullptr;
        const bool started = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
        std::optional<std::string> why;
        if (!started)
            why = std::string("Couldn't open Disks: ") +
                  (error && error->message && *error->message ? error->message : "it did not start") + ".";
        if (error) g_error_free(error);
        g_object_unref(info);
        return why;
    }
    return std::string(
        "Disks isn't installed. Install GNOME Disks or KDE Partition Manager to erase the card on "
        "this computer.");
}

}  // namespace halvetrop
