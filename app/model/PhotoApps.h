#pragma once
// The installed photo applications a copy's new files can be handed to, found through the
// desktop's application entries, and the hand-off itself.
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {

// How an application takes files, from its desktop entry.
enum class FileIntake { list, single, dbus };

struct PhotoApp {
    std::string name;  // the entry's Name, as the button names it
    std::string id;    // the desktop entry's id, e.g. org.darktable.darktable.desktop
    FileIntake intake = FileIntake::list;
    bool operator==(const PhotoApp&) const = default;
};

// What an application is given: D-Bus-activated ones get every file; ones taking a list get the
// files up to `maxFiles`, else the folders; ones taking one file get one folder (the only folder,
// else the backup folder that holds them all).
std::vector<std::string> handOffArguments(FileIntake intake, const std::vector<std::string>& files,
                                          const std::vector<std::string>& folders, const std::string& root,
                                          std::size_t maxFiles = 500);

// The hand-off button's help: what the application is given, files or the folders that hold
// them. Nothing is promised of what the application then shows: no entry says.
std::string handOffHelp(const PhotoApp& app, std::size_t files, std::size_t folders,
                        std::size_t maxFiles = 500);

struct PhotoApps {
    // The applications whose entries declare themselves photography software (the registered
    // "Photography" category), shown in menus and taking files, other than this one; one per name,
    // ordered by name.
    static std::vector<PhotoApp> installed();
    // Starts the application with the files; the user's text of what went wrong otherwise.
    static std::optional<std::string> open(const PhotoApp& app, const std::vector<std::string>& files,
                                           const std::vector<std::string>& folders, const std::string& root);
};

}  // namespace halvetrop
