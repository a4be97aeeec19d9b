#pragma once
// Paths and other bytes of the core as the model hands them to QML, and the maps of volumes and
// progress the views read.
#include <QString>
#include <QVariantMap>

#include <string>

#include "drives/Drives.h"
#include "verify/Verifier.h"

namespace halvetrop {

inline QString fromBytes(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline std::string toBytes(const QString& s) { return s.toUtf8().toStdString(); }

// The last component of a path ("/" for the root itself).
std::string lastComponent(const std::string& path);

QVariantMap volumeMap(const VolumeInfo& v);
// A volume named before it is described: its sizes are not known yet and are left out, and
// "provisional" says so.
QVariantMap provisionalVolumeMap(const VolumeInfo& v);
QVariantMap progressValue(const VerifyProgress& p);

}  // namespace halvetrop
