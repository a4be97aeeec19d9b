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

// Adds the import path and the image providers to an engine.
void prepareEngine(QQmlEngine& engine);

}  // namespace halvetrop::shell
