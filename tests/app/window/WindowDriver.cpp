#include "WindowDriver.h"

#include <cmath>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QQmlContext>
#include <QQuickStyle>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "results/ResultsData.h"
#include "shell/Shell.h"
#include "thumbnail/Protocol.h"
#include "thumbnail/ThumbnailProvider.h"
#include "thumbnail/Thumbnailer.h"

namespace halvetrop::test {

namespace {

// The first shown item of that name below `item`, in the order of the rows of a list.
QQuickItem* findShown(QQuickItem* item, const QString& name) {
    if (!item || !item->isVisible()) return nullptr;
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* hit = findShown(child, name)) return hit;
    return nullptr;
}

QPointF middle(QQuickItem* item) { return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)); }

}  // namespace

void WindowDriver::prepare(shell::Look& look, shell::Present& present) {
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    shell::useDesktopIcons();
    shell::registerNative(look, present);
    registerResults();
    look.set(present::Appearance::light, true);
}

void WindowDriver::failOnBindingLoops() {
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Binding loop detected")));
}

bool WindowDriver::addPhotoApp(const QString& dir) {
    if (!QDir().mkpath(dir + QStringLiteral("/applications"))) return false;
    QFile entry(dir + QStringLiteral("/applications/org.kde.digikam.desktop"));
    if (!entry.open(QIODevice::WriteOnly) ||
        entry.write("[Desktop Entry]\nType=Application\nName=digiKam\nExec=/bin/true %F\n"
                    "Categories=Qt;KDE;Graphics;Photography;\n") < 0)
        return false;
    const QByteArray dirs = qgetenv("XDG_DATA_DIRS");
    return qputenv("XDG_DATA_DIRS", dir.toUtf8() + ':' + (dirs.isEmpty() ? "/usr/share" : dirs));
}

WindowDriver::WindowDriver(stage::Stage& stage) : stage_(stage) {
    const QString helper =
        qEnvironmentVariable("HALVETROP_BUILD_DIR") + QStringLiteral("/app/halvetrop-thumbnailer");
    thumbnails_ = std::make_unique<thumbs::Thumbnailer>(
        thumbs::Thumbnailer::Options{helper, {}, kHangDetectorMs, 264, int64_t(64) << 20, 1});
    previews_ = std::make_unique<thumbs::Thumbnailer>(
        thumbs::Thumbnailer::Options{helper, {}, kHangDetectorMs, thumbs::maxSide, int64_t(64) << 20, 1});
    shell::prepareEngine(engine_);
    engine_.addImageProvider(QStringLiteral("thumbnail"), new thumbs::ThumbnailProvider(*thumbnails_));
    engine_.addImageProvider(QStringLiteral("preview"), thumbs::ThumbnailProvider::previews(*previews_));
    videoRanges_ = std::make_unique<thumbs::VideoRanges>(*previews_);
    engine_.rootContext()->setContextProperty(QStringLiteral("videoRanges"), videoRanges_.get());
    engine_.rootContext()->setContextProperty(QStringLiteral("thumbnailsAvailable"), true);
    engine_.setInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue(&stage.model())},
         {QStringLiteral("history"), QVariant::fromValue(&stage.history())},
         {QStringLiteral("settingsStore"), QVariant::fromValue(&stage.settingsStore())}});
    engine_.load(QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
    if (!engine_.rootObjects().isEmpty())
        window_ = qobject_cast<QQuickWindow*>(engine_.rootObjects().constFirst());
    if (!window_) return;
    window_->show();
    window_->requestActivate();
    if (!QTest::qWaitForWindowExposed(window_, kHangDetectorMs) ||
        !QTest::qWaitForWindowActive(window_, kHangDetectorMs))
        window_ = nullptr;
}

WindowDriver::~WindowDriver() {
    // The window goes before the model it binds to, and every item it let go of before the
    // engine; quitting is the model's own shutdown.
    if (window_) window_->close();
    for (QObject* root : engine_.rootObjects()) delete root;
    thumbs::deleteReleasedItems();
}

QQuickItem* WindowDriver::item(const QString& name) const {
    // The window's root item holds the content and, last and over it, the overlay where popups
    // and dialogs are: looked at first.
    if (!window_) return nullptr;
    const QList<QQuickItem*> layers = window_->contentItem()->childItems();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it)
        if (QQuickItem* hit = findShown(*it, name)) return hit;
    return nullptr;
}

bool WindowDriver::click(const QString& name, int timeoutMs) { return clickWhere(name, {}, timeoutMs); }

bool WindowDriver::clickAction(const QString& name) {
    return clickFound(
        [&]() -> QQuickItem* {
            for (const QString& form : {QString(), QStringLiteral("compact-"), QStringLiteral("symbols-")})
                if (QQuickItem* shown = item(form + name)) return shown;
            return nullptr;
        },
        Qt::LeftButton, kHangDetectorMs);
}

bool WindowDriver::resize(QSize size) {
    if (!window_) return false;
    size = size.expandedTo(window_->minimumSize());
    window_->resize(size);
    QCoreApplication::processEvents();
    return waitFor([&] { return window_->contentItem()->size() == QSizeF(size); });
}

QList<QQuickItem*> WindowDriver::items(const QString& name, QQuickItem* within) const {
    QList<QQuickItem*> out;
    if (!window_) return out;
    const std::function<void(QQuickItem*)> collect = [&](QQuickItem* item) {
        if (!item->isVisible()) return;
        if (item->objectName() == name) out << item;
        for (QQuickItem* child : item->childItems()) collect(child);
    };
    collect(within ? within : window_->contentItem());
    return out;
}

bool WindowDriver::clickWhere(const QString& name, const std::function<bool(QQuickItem*)>& pick,
                              int timeoutMs) {
    return clickFound(
        [&]() -> QQuickItem* {
            if (!pick) return item(name);
            for (QQuickItem* candidate : items(name))
                if (pick(candidate)) return candidate;
            return nullptr;
        },
        Qt::LeftButton, timeoutMs);
}

bool WindowDriver::clickAt(const QString& name, int index, Qt::MouseButton button, int timeoutMs) {
    return clickFound(
        [&]() -> QQuickItem* {
            const QList<QQuickItem*> all = items(name);
            return index < all.size() ? all[index] : nullptr;
        },
        button, timeoutMs);
}

bool WindowDriver::clickFound(const std::function<QQuickItem*()>& find, Qt::MouseButton button,
                              int timeoutMs) {
    QQuickItem* target = nullptr;
    const bool shown = waitFor(
        [&] {
            target = find();
            return target && target->isEnabled();
        },
        timeoutMs);
    if (!shown) return false;
    // Layouts settle when a frame is drawn, as one is before a user could aim: draw one, then
    // click where the item stands (found again, views make their items anew).
    activate();
    (void)window_->grabWindow();
    target = find();
    if (!target) return false;
    QTest::mouseClick(window_, button, Qt::NoModifier, middle(target).toPoint());
    QCoreApplication::processEvents();
    return true;
}

QColor WindowDriver::colorAt(QQuickItem* item, QPointF point) {
    if (!window_ || !item) return {};
    const QImage frame = window_->grabWindow();
    const QPointF at = item->mapToScene(point) * window_->effectiveDevicePixelRatio();
    return frame.pixelColor(at.toPoint());
}

double WindowDriver::colorDistance(const QColor& a, const QColor& b) {
    return std::abs(a.redF() - b.redF()) + std::abs(a.greenF() - b.greenF()) +
           std::abs(a.blueF() - b.blueF());
}

void WindowDriver::activate() {
    // A closed window (the preview) hands the keys back as the desktop would.
    if (QGuiApplication::focusWindow() == window_) return;
    window_->requestActivate();
    waitFor([this] { return QGuiApplication::focusWindow() == window_; });
}

void WindowDriver::key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    activate();
    QTest::keyClick(window_, key, modifiers);
    QCoreApplication::processEvents();
}

void WindowDriver::type(const QString& text) {
    activate();
    for (const QChar c : text) QTest::keyClick(window_, c.toLatin1());
    QCoreApplication::processEvents();
}

QString WindowDriver::text(const QString& name) const {
    QQuickItem* shown = item(name);
    return shown ? shown->property("text").toString() : QString();
}

QString WindowDriver::textIn(QQuickItem* scope, const QString& name) {
    QQuickItem* shown = scope ? findShown(scope, name) : nullptr;
    return shown ? shown->property("text").toString() : QString();
}

bool WindowDriver::scroll(const QString& name, qreal by) {
    const QPointer<QQuickItem> view = item(name);
    QQuickItem* bar = nullptr;
    // Its own, or one laid beside it, in the item that holds it.
    for (QQuickItem* holder : {view.data(), view ? view->parentItem() : nullptr})
        for (QQuickItem* child : holder && !bar ? holder->childItems() : QList<QQuickItem*>())
            if (child->inherits("QQuickScrollBar") && child->property("orientation").toInt() == Qt::Vertical)
                bar = child;
    QQuickItem* handle = bar ? bar->property("contentItem").value<QQuickItem*>() : nullptr;
    if (!handle || !bar->isVisible()) return false;
    activate();
    (void)window_->grabWindow();
    const QPoint from = middle(handle).toPoint();
    const QPoint to = from + QPoint(0, int(bar->height() * by));
    QTest::mousePress(window_, Qt::LeftButton, Qt::NoModifier, from);
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i) QTest::mouseMove(window_, from + (to - from) * i / kSteps);
    QTest::mouseRelease(window_, Qt::LeftButton, Qt::NoModifier, to);
    return waitFor([&] { return view && !view->property("moving").toBool(); });
}

bool WindowDriver::waitFor(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

QQuickWindow* WindowDriver::shownWindow(const QString& name) {
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible() && w->objectName() == name) return qobject_cast<QQuickWindow*>(w);
    return nullptr;
}

WindowSession::WindowSession(shell::Present& present, std::unique_ptr<Ejector> ejector,
                             std::unique_ptr<FolderPicker> picker) {
    stage.setReal(true);
    stage.setPresent(&present);
    if (ejector) stage.setEjector(std::move(ejector));
    if (picker) stage.setFolderPicker(std::move(picker));
    started = stage.start();
    if (started) window = std::make_unique<WindowDriver>(stage);
}

ScriptedSession::ScriptedSession(shell::Present& present, const QStringList& saved, int otherChecks) {
    stage.setPresent(&present);
    stage.setSaved(saved);
    stage.setSavedChecks(otherChecks);
    if (stage.start()) window = std::make_unique<WindowDriver>(stage);
    shown = window && window->ready();
}

void WindowSession::chooseCard(const std::string& path) {
    stage.pickFolders({QString::fromStdString(path)});
    window->key(Qt::Key_O, Qt::ControlModifier);
}

void WindowSession::addBackups(const std::vector<std::string>& paths) {
    QStringList picked;
    for (const std::string& p : paths) picked << QString::fromStdString(p);
    stage.pickFolders(picked);
    window->key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
}

}  // namespace halvetrop::test
