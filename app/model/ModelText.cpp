#include "model/ModelText.h"

namespace halvetrop {

std::string lastComponent(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return path;
    if (slash + 1 == path.size()) return path == "/" ? path : lastComponent(path.substr(0, slash));
    return path.substr(slash + 1);
}

QVariantMap volumeMap(const VolumeInfo& v) {
    QVariantMap map{{"path", fromBytes(v.path)},       {"volumePath", fromBytes(v.volumePath)},
                    {"name", fromBytes(v.name)},       {"fileSystem", fromBytes(v.fileSystem)},
                    {"isRemovable", v.isRemovable},    {"isInternal", v.isInternal},
                    {"isNetwork", v.isNetwork},        {"isLikelyCameraCard", v.isLikelyCameraCard},
                    {"isDiskImage", v.isDiskImage},    {"totalBytes", qint64(v.totalBytes)},
                    {"freeBytes", qint64(v.freeBytes)}};
    if (v.mountRoot) map.insert("mountRoot", fromBytes(*v.mountRoot));
    return map;
}

QVariantMap provisionalVolumeMap(const VolumeInfo& v) {
    QVariantMap map = volumeMap(v);
    map.remove(QStringLiteral("totalBytes"));
    map.remove(QStringLiteral("freeBytes"));
    map.insert(QStringLiteral("provisional"), true);
    return map;
}

QVariantMap progressValue(const VerifyProgress& p) {
    return {{"stage", fromBytes(std::string(rawValue(p.stage)))},
            {"detail", fromBytes(p.detail)},
            {"done", qint64(p.done)},
            {"total", qint64(p.total)},
            {"fraction", p.fraction()}};
}

}  // namespace halvetrop
