#include "model/PhotoApps.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>

#include <QLocale>
#include <QString>

#include <algorithm>
#include <memory>
#include <string_view>

namespace halvetrop {

namespace {

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using AppInfo = std::unique_ptr<GAppInfo, Unref>;

AppInfo lookUp(const std::string& id) { return AppInfo(G_APP_INFO(g_desktop_app_info_new(id.c_str()))); }

bool dbusActivated(GAppInfo* info) {
    return G_IS_DESKTOP_APP_INFO(info) &&
           g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(info), "DBusActivatable");
}

FileIntake intakeOf(GAppInfo* info) {
    if (dbusActivated(info)) return FileIntake::dbus;
    const char* exec = g_app_info_get_commandline(info);
    std::string line = exec ? exec : "";
    return line.find("%F") != std::string::npos || line.find("%U") != std::string::npos ? FileIntake::list
                                                                                        : FileIntake::single;
}

// The registered category of camera and photography tools: what a photo manager says of itself.
// An image viewer or editor names only Graphics, Viewer or RasterGraphics.
bool declaresPhotography(GAppInfo* info) {
    const char* categories =
        G_IS_DESKTOP_APP_INFO(info) ? g_desktop_app_info_get_categories(G_DESKTOP_APP_INFO(info)) : nullptr;
    std::string_view rest = categories ? categories : "";
    while (!rest.empty()) {
        const size_t end = std::min(rest.find(';'), rest.size());
        if (rest.substr(0, end) == "Photography") return true;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
}

// An entry that starts without the files it is handed would open empty.
bool takesFiles(GAppInfo* info) {
    return g_app_info_supports_files(info) || g_app_info_supports_uris(info) || dbusActivated(info);
}

bool sameFile(const char* a, const char* b) {
    struct stat sa {
    }, sb{};
    return a && b && ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// This application's own entry names photography too.
bool isThisApplication(GAppInfo* info) {
    const char* id = g_app_info_get_id(info);
    if (id && std::string_view(id) == "halvetrop.desktop") return true;
    const char* executable = g_app_info_get_executable(info);
    if (!executable) return false;
    gchar* program = g_find_program_in_path(executable);
    const bool self = sameFile(program, "/proc/self/exe");
    g_free(program);
    return self;
}

int compareNames(const PhotoApp& a, const PhotoApp& b) {
    return QString::fromStdString(a.name).compare(QString::fromStdString(b.name), Qt::CaseInsensitive);
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

std::string handOffHelp(const PhotoApp& app, std::size_t files, std::size_t folders, std::size_t maxFiles) {
    const bool givenFiles =
        app.intake == FileIntake::dbus || (app.intake == FileIntake::list && files <= maxFiles);
    const auto count = [](std::size_t n) { return QLocale().toString(qulonglong(n)).toStdString(); };
    std::string what;
    if (givenFiles)
        what = "the " + count(files) + (files == 1 ? " new file" : " new files");
    else if (app.intake == FileIntake::list && folders > 1)
        what = "the " + count(folders) + " folders with the new files";
    else
        what = "the folder with the new files";
    return "Open " + what + " in " + app.name;
}

std::vector<PhotoApp> PhotoApps::installed() {
    std::vector<PhotoApp> apps;
    GList* all = g_app_info_get_all();
    for (GList* entry = all; entry; entry = entry->next) {
        auto* info = G_APP_INFO(entry->data);
        const char* id = g_app_info_get_id(info);
        const char* name = g_app_info_get_name(info);
        if (!id || !name || !*name || !g_app_info_should_show(info) || !declaresPhotography(info) ||
            !takesFiles(info) || isThisApplication(info))
            continue;
        apps.push_back({name, id, intakeOf(info)});
    }
    g_list_free_full(all, g_object_unref);
    std::sort(apps.begin(), apps.end(), [](const PhotoApp& a, const PhotoApp& b) {
        const int order = compareNames(a, b);
        return order != 0 ? order < 0 : a.id < b.id;
    });
    // One application installed twice (a package and a sandboxed copy) is offered once.
    apps.erase(std::unique(apps.begin(), apps.end(),
                           [](const PhotoApp& a, const PhotoApp& b) { return compareNames(a, b) == 0; }),
               apps.end());
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
    std::string reason = error && error->message && *error->message ? error->message : "it did not start";
    if (error) g_error_free(error);
    return app.name + " couldn't be opened: " + reason;
}

}  // namespace halvetrop
