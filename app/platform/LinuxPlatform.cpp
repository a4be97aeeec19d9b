#include "platform/LinuxServices.h"

namespace halvetrop {

PlatformServices linuxPlatform() {
    PlatformServices s;
    s.folderPicker = std::make_unique<DialogFolderPicker>();
    s.savePicker = std::make_unique<DialogSavePicker>();
    s.volumeMonitor = std::make_unique<MountTableMonitor>();
    s.ejector = std::make_unique<UDisksEjector>();
    s.reveal = std::make_unique<FileManagerReveal>();
    s.bookmarks = std::make_unique<VolumeBookmarks>();
    s.appearance = std::make_unique<PortalAppearance>();
    s.singleInstance = std::make_unique<LocalSingleInstance>();
    return s;
}

}  // namespace halvetrop
