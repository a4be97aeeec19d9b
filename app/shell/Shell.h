#pragma once
// What every QML engine of the application needs before it loads a view: the view module's import
// path, the native singletons (Look, Present) and the image providers.
#include <QQmlEngine>

#include "shell/Look.h"
#include "shell/Present.h"

namespace halvetrop::shell {

// Registers the native types once per process; `look` and `present` outlive every engine.
void registerNative(Look& look, Present& present);

// Desktop icon themes: the desktop's own theme, Adwaita as fallback, searched in the XDG data
// folders (platforms such as offscreen search none by themselves).
void useDesktopIcons();

// Where the OpenGL this process would draw with is a software rasteriser (no graphics hardware: a
// virtual machine, a virtual or remote display), the windows are drawn by Qt Quick's software
// renderer instead. The rasteriser compiles its shaders on a screen's first showing, holding the
// window for up to a second, and draws the whole window with the processor's cores on every frame,
// taking them from the check; the software renderer compiles nothing and paints only what changed.
// A renderer chosen in the environment (QT_QUICK_BACKEND, QSG_RHI_BACKEND) is kept. Call once the
// application object exists, before the first window; true when the software renderer was chosen.
bool drawInSoftwareWhereGLIs();

// Adds the import path and the image providers to an engine.
void prepareEngine(QQmlEngine& engine);

}  // namespace halvetrop::shell
