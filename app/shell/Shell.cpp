#include "shell/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQmlContext>
#include <QQuickWindow>

#include "shell/FirstRows.h"
#include "shell/HomeRules.h"
#include "shell/KeyedList.h"
#include "shell/Pointer.h"
#include "shell/SettingsStore.h"
#include "shell/Shadows.h"
#include "shell/Symbols.h"
#include "shell/SystemIcons.h"
#include "shell/VideoFrames.h"

namespace halvetrop::shell {

void registerNative(Look& look, Present& present) {
    // Shared by every engine of the process (the screen renderer and the tests make several);
    // the caller keeps ownership.
    qmlRegisterSingletonType<Look>("Halvetrop.Native", 1, 0, "Look",
                                   [&look](QQmlEngine*, QJSEngine*) -> QObject* {
                                       QQmlEngine::setObjectOwnership(&look, QQmlEngine::CppOwnership);
                                       return &look;
                                   });
    qmlRegisterSingletonType<Present>("Halvetrop.Native", 1, 0, "Present",
                                      [&present](QQmlEngine*, QJSEngine*) -> QObject* {
                                          QQmlEngine::setObjectOwnership(&present, QQmlEngine::CppOwnership);
                                          return &present;
                                      });
    qmlRegisterType<FirstRows>("Halvetrop.Native", 1, 0, "FirstRows");
    qmlRegisterType<KeyedList>("Halvetrop.Native", 1, 0, "KeyedList");
    qmlRegisterType<VideoFrames>("Halvetrop.Native", 1, 0, "VideoFrames");
    // Stateless: each engine gets its own.
    qmlRegisterSingletonType<HomeRules>("Halvetrop.Native", 1, 0, "HomeRules",
                                        [](QQmlEngine*, QJSEngine*) -> QObject* { return new HomeRules; });
    // Watching from now on, before any view asks it (the first ask comes with a move); the
    // application owns it.
    auto* pointer = new Pointer(QCoreApplication::instance());
    qmlRegisterSingletonType<Pointer>("Halvetrop.Native", 1, 0, "Pointer",
                                      [pointer](QQmlEngine*, QJSEngine*) -> QObject* {
                                          QQmlEngine::setObjectOwnership(pointer, QQmlEngine::CppOwnership);
                                          return pointer;
                                      });
    qmlRegisterUncreatableType<SettingsStore>("Halvetrop.Native", 1, 0, "SettingsStore",
                                              QStringLiteral("made by the application"));
}

void useDesktopIcons() {
    QStringList paths = QIcon::themeSearchPaths();
    const QString dataHome =
        qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : QStringList{dataHome} + dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (!paths.contains(dir + QStringLiteral("/icons"))) paths << dir + QStringLiteral("/icons");
    QIcon::setThemeSearchPaths(paths);
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

bool drawInSoftwareWhereGLIs() {
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND"))
        return false;
    // Platforms without a display draw in software already.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland"))) return false;
    QOpenGLContext context;
    if (!context.create()) return false;  // no OpenGL at all: Qt Quick finds its way itself
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface)) return false;
    const QByteArray renderer(reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER)));
    context.doneCurrent();
    // Mesa's rasterisers name themselves so.
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"})
        if (renderer.contains(software)) {
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
            return true;
        }
    return false;
}

void prepareEngine(QQmlEngine& engine) {
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    engine.addImageProvider(QStringLiteral("system"), new SystemIconProvider);
    engine.addImageProvider(QStringLiteral("shadow"), new ShadowImageProvider);
}

}  // namespace halvetrop::shell
