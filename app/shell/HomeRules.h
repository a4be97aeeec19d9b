#pragma once
// The start and checking screens' rules as QML sees them: texts, fractions, colour roles and the
// picture's packets, each computed by present/Home, so no rule lives in a QML file.
#include <QColor>
#include <QObject>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <optional>
#include <string>

namespace halvetrop::shell {

// The bytes of a dropped local folder, read from its URL (its text may not name it); nothing for
// anything else.
std::optional<std::string> droppedFolder(const QUrl& url);

class HomeRules : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The Check button's help, naming the window's Check shortcut as the desktop writes it.
    Q_INVOKABLE QString checkHelp(bool canCheck) const;
    Q_INVOKABLE QString scanHelp() const;
    // {name, detail} of the chosen card; `info` is the model's volume description (may be empty).
    Q_INVOKABLE QVariantMap selectedCard(const QString& path, const QVariantMap& info) const;
    // {title, subtitle, help, action} of a card on offer, in the start screen and the sidebar.
    Q_INVOKABLE QVariantMap offeredCard(const QVariantMap& volume, bool hasBackups) const;
    // {name, freeLine, bar, used, usedColor}; freeLine empty and no bar without a known capacity;
    // for a backup whose drive is not connected the line says so, without a bar.
    Q_INVOKABLE QVariantMap backup(const QString& path, const QVariantMap& info, bool connected = true) const;
    Q_INVOKABLE QString backupsLabel(int count) const;
    // {folders: [url], ignored: n}: only local directories remain of a drop.
    Q_INVOKABLE QVariantMap dropFolders(const QList<QUrl>& urls) const;

    Q_INVOKABLE QString stageTitle(const QString& stage, const QString& detail) const;
    Q_INVOKABLE QString countLine(double done, double total) const;
    // The bar's filled fraction, or -1 while no total is known.
    Q_INVOKABLE double barFraction(double done, double total) const;
    // {cardName, driveName, extraDrives}: the card and the first backup named as the sidebar names
    // them, from the model's keys and volume facts.
    Q_INVOKABLE QVariantMap pictureNames(const QString& sourceKey, const QStringList& destinationKeys,
                                         const QVariantMap& facts) const;
    // [{x, y, opacity, backwards}] of the seven packets at `t` seconds.
    Q_INVOKABLE QVariantList packets(double t, const QString& stage, double width, double height) const;
    Q_INVOKABLE double cardGlow(double t) const;
    Q_INVOKABLE double driveGlow(double t, const QString& stage) const;
    // The light end of the progress bar's gradient in an appearance (Look.appearance).
    Q_INVOKABLE QColor brandHighlight(int appearance) const;
};

}  // namespace halvetrop::shell
