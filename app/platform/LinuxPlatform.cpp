#include "platform/Platform.h"

namespace halvetrop {

// Filled in as each Linux service lands; a missing one is a null pointer the model checks.
PlatformServices linuxPlatform() { return {}; }

}  // namespace halvetrop
