#pragma once
// D-Bus shapes shared by the services and their test doubles.
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>
#include <QString>
#include <QVariantMap>

namespace halvetrop {

// org.freedesktop.DBus.ObjectManager.GetManagedObjects: a{oa{sa{sv}}}
using DBusInterfaceMap = QMap<QString, QVariantMap>;
using DBusObjectMap = QMap<QDBusObjectPath, DBusInterfaceMap>;

inline void registerDBusObjectMap() {
    qDBusRegisterMetaType<QByteArrayList>();  // mount points: aay
    qDBusRegisterMetaType<DBusInterfaceMap>();
    qDBusRegisterMetaType<DBusObjectMap>();
}

}  // namespace halvetrop
