#pragma once
// What the Settings window binds to: the three stored settings of a check, written and flushed the
// moment the user changes one, read the way the model reads them.
#include <QObject>
#include <QSettings>

namespace halvetrop::shell {

class SettingsStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(int requiredCopies READ requiredCopies WRITE setRequiredCopies NOTIFY changed)
    Q_PROPERTY(bool includeSidecars READ includeSidecars WRITE setIncludeSidecars NOTIFY changed)
    Q_PROPERTY(bool includeProxies READ includeProxies WRITE setIncludeProxies NOTIFY changed)

public:
    // `settings` is the model's store; it outlives this object.
    explicit SettingsStore(QSettings& settings, QObject* parent = nullptr);

    int requiredCopies() const;
    void setRequiredCopies(int copies);
    bool includeSidecars() const;
    void setIncludeSidecars(bool on);
    bool includeProxies() const;
    void setIncludeProxies(bool on);

    // Reads the file again (the window is opened anew).
    Q_INVOKABLE void reload();

signals:
    void changed();

private:
    void write(const QString& key, const QVariant& value);

    QSettings& settings_;
};

}  // namespace halvetrop::shell
