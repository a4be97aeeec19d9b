#include "model/PhotoApps.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>
#include <set>

namespace halvetrop {

namespace {

struct Candidate {
    const char* name;
    const char* id;
};

// Several ids per application: packagers have named their entries differently over the years.
constexpr Candidate kCandidates[] = {
    {"darktable", "org.darktable.darktable.desktop"},
    {"darktable", "darktable.desktop"},
    {"digiKam", "org.kde.digikam.desktop"},
    {"digiKam", "digikam.desktop"},
    {"RawTherapee", "com.rawtherapee.RawTherapee.desktop"},
    {"RawTherapee", "rawtherapee.desktop"},
    {"Shotwell", "org.gnome.Shotwell.desktop"},
    {"Shotwell", "shotwell.desktop"},
    {"gThumb", "org.gnome.gThumb.desktop"},
    {"gThumb", "gthumb.desktop"},
};

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using AppInfo = std::unique_ptr<GAppInfo, Unref>;

AppInfo lookUp(const std::string& id) { return AppInfo(G_APP_INFO(g_desktop_app_info_new(id.c_str()))); }

FileIntake intakeOf(GAppInfo* info) {
    if (G_IS_DESKTOP_APP_INFO(info) &&
        g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(info), "DBusActivatable"))
        return FileIntake::dbus;
    const char* exec = g_app_info_get_commandline(info);
    std::string line = exec ? exec : "";
    return line.find("%F") != std::string::npos || line.find("%U") != std::string::npos ? FileIntake::list
                                                                                        : FileIntake::single;
}

}  // namespace

std::vector<std::string> handOffArguments(FileIntake intake, const std::vector<std::string>& files,
                                          const std::vector<std::string>& folders, const std::string& root,
                                          std::size_t maxFiles) {
    switch (intake) {
        case FileIntake::dbus:
            return files;
        case FileIntake::list:
            return files.size() <= maxFiles ? files : folders;
        case FileIntake::single:
            return {folders.size() == 1 ? folders.front() : root};
    }
    return {};
}

std::vector<PhotoApp> PhotoApps::installed() {
    std::vector<PhotoApp> apps;
    std::set<std::string> names;
    for (const auto& c : kCandidates) {
        if (names.count(c.name) || !lookUp(c.id)) continue;
        apps.push_back({c.name, c.id});
        names.insert(c.name);
    }
    // The desktop's image viewer, unless it is one of the applications above.
    AppInfo viewer(g_app_info_get_default_for_type("image/jpeg", FALSE));
    if (viewer && g_app_info_get_id(viewer.get())) {
        std::string id = g_app_info_get_id(viewer.get());
        bool listed = false;
        for (const auto& a : apps) listed = listed || a.id == id;
        if (!listed) apps.push_back({g_app_info_get_name(viewer.get()), id});
    }
    return apps;
}

std::optional<std::string> PhotoApps::open(const PhotoApp& app, const std::vector<std::string>& files,
                                           const std::vector<std::string>& folders, const std::string& root) {
    AppInfo info = lookUp(app.id);
    if (!info) return app.name + " is no longer installed.";
    GList* list = nullptr;
    for (const auto& path : handOffArguments(intakeOf(info.get()), files, folders, root))
        list = g_list_prepend(list, g_file_new_for_path(path.c_str()));
    list = g_list_reverse(list);
    GError* error = nullptr;
    const bool ok = g_app_info_launch(info.get(), list, nullptr, &error);
    g_list_free_full(list, g_object_unref);
    if (ok) return std::nullopt;
    std::string reason = error ? error->message : "unknown error";
    if (error) g_error_free(error);
    return app.name + " couldn't be opened: " + reason;
}

}  // namespace halvetrop
