#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcessEnvironment>

#include "platform/LinuxServices.h"

namespace halvetrop {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
constexpr int kReadTimeoutMs = 1000;

struct Key {
    const char* nameSpace;
    const char* key;
};
// Qt 6.4 follows none of these: the colour scheme has no API, and Debian's portal has no
// contrast key of its own, so GNOME's keys are read through the portal's view of them.
constexpr Key kColorScheme{"org.freedesktop.appearance", "color-scheme"};
constexpr Key kHighContrast{"org.gnome.desktop.a11y.interface", "high-contrast"};
constexpr Key kAnimations{"org.gnome.desktop.interface", "enable-animations"};

bool is(const Key& k, const QString& nameSpace, const QString& key) {
    return nameSpace == QLatin1String(k.nameSpace) && key == QLatin1String(k.key);
}

// The older Read answers a variant inside a variant.
QVariant unwrap(QVariant v) {
    for (int depth = 0; depth < 4 && v.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        v = v.value<QDBusVariant>().variant();
    return v;
}

std::optional<bool> asBool(const QVariant& v) {
    if (v.metaType() != QMetaType::fromType<bool>()) return std::nullopt;
    return v.toBool();
}

// color-scheme: 0 no preference, 1 prefer dark, 2 prefer light.
std::optional<bool> asDark(const QVariant& v) {
    bool ok = false;
    const uint value = v.toUInt(&ok);
    if (!ok || v.metaType() == QMetaType::fromType<QString>()) return std::nullopt;
    return value == 1;
}

}  // namespace

class AppearanceListener : public QObject {
    Q_OBJECT
public:
    AppearanceListener(QDBusConnection bus, const QHash<QString, QString>& environment)
        : bus_(std::move(bus)) {
        const QString appearance = environment.value(QStringLiteral("HV_APPEARANCE"));
        if (appearance == QLatin1String("light") || appearance == QLatin1String("dark") ||
            appearance == QLatin1String("hc-light") || appearance == QLatin1String("hc-dark")) {
            fixedScheme_ = true;
            values_.dark = appearance.endsWith(QLatin1String("dark"));
            values_.highContrast = appearance.startsWith(QLatin1String("hc-"));
        } else if (!appearance.isEmpty()) {
            qWarning("HV_APPEARANCE=%s is not light, dark, hc-light or hc-dark", qPrintable(appearance));
        }
        const QString motion = environment.value(QStringLiteral("HV_REDUCE_MOTION"));
        if (motion == QLatin1String("1") || motion == QLatin1String("0")) {
            fixedMotion_ = true;
            values_.reduceMotion = motion == QLatin1String("1");
        }
        if (fixedScheme_ && fixedMotion_) return;
        if (!bus_.isConnected()) return;
        bus_.connect(kPortal, kPortalPath, kSettings, QStringLiteral("SettingChanged"), this,
                     SLOT(settingChanged(QString, QString, QDBusVariant)));
        for (const Key* k : {&kColorScheme, &kHighContrast, &kAnimations}) {
            if (std::optional<QVariant> v = read(*k))
                apply(QLatin1String(k->nameSpace), QLatin1String(k->key), *v);
            if (portalAbsent_) break;  // the first window waits for these answers
        }
    }

    AppearanceValues values() const { return values_; }
    void setCallback(std::function<void()> callback) { callback_ = std::move(callback); }

public slots:
    void settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value) {
        const AppearanceValues before = values_;
        apply(nameSpace, key, unwrap(value.variant()));
        if (values_ != before && callback_) callback_();
    }

private:
    std::optional<QVariant> read(const Key& k) {
        for (const QString& method : {QStringLiteral("ReadOne"), QStringLiteral("Read")}) {
            QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kSettings, method);
            call << QLatin1String(k.nameSpace) << QLatin1String(k.key);
            const QDBusMessage reply = bus_.call(call, QDBus::Block, kReadTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                return unwrap(reply.arguments().constFirst());
            static const QStringList absent = {
                QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
                QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
                QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
                QStringLiteral("org.freedesktop.DBus.Error.Timeout"),
                QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
            };
            portalAbsent_ = absent.contains(reply.errorName());
            // Portals before version 2 have only Read; a key the portal does not know is not
            // asked for twice.
            if (portalAbsent_ || reply.errorName() == QLatin1String("org.freedesktop.portal.Error.NotFound"))
                break;
        }
        return std::nullopt;
    }

    void apply(const QString& nameSpace, const QString& key, const QVariant& value) {
        if (is(kColorScheme, nameSpace, key) && !fixedScheme_) {
            if (std::optional<bool> dark = asDark(value)) values_.dark = *dark;
        } else if (is(kHighContrast, nameSpace, key) && !fixedScheme_) {
            if (std::optional<bool> on = asBool(value)) values_.highContrast = *on;
        } else if (is(kAnimations, nameSpace, key) && !fixedMotion_) {
            if (std::optional<bool> on = asBool(value)) values_.reduceMotion = !*on;
        }
    }

    QDBusConnection bus_;
    AppearanceValues values_;
    bool fixedScheme_ = false;
    bool fixedMotion_ = false;
    bool portalAbsent_ = false;
    std::function<void()> callback_;
};

PortalAppearance::PortalAppearance(QDBusConnection bus, QHash<QString, QString> environment)
    : listener_(std::make_unique<AppearanceListener>(std::move(bus), environment)) {}

PortalAppearance::~PortalAppearance() = default;

AppearanceValues PortalAppearance::current() const { return listener_->values(); }

void PortalAppearance::onChange(std::function<void()> callback) {
    listener_->setCallback(std::move(callback));
}

QHash<QString, QString> PortalAppearance::systemEnvironment() {
    QHash<QString, QString> out;
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys()) out.insert(key, env.value(key));
    return out;
}

}  // namespace halvetrop

#include "PortalAppearance.moc"
