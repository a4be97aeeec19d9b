#pragma once
// How camera cards are laid out: the class of a file from its path relative to the card root
// alone (nothing is opened, no size or date is looked at).
#include <string>
#include <string_view>
#include <unordered_set>

#include "anatomy/Kinds.h"

namespace halvetrop {

struct Anatomy {
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept {
            return std::hash<std::string_view>{}(s);
        }
    };
    // A set of lower-case texts (extensions without the dot), searchable by string_view.
    using Table = std::unordered_set<std::string, TextHash, std::equal_to<>>;

    // Fixed tables, built once on first use and read-only afterwards (safe from any thread).
    static const Table& rawPhoto();         // 26 RAW photo extensions
    static const Table& photo();            // 43: every RAW extension plus processed formats
    static const Table& video();            // 21
    static const Table& audio();            // 12
    static const Table& junkNames();        // 10 file names computers leave on cards
    static const Table& junkDirs();         // 7 folder names computers leave on cards
    static const Table& cameraDataNames();  // 9
    static const Table& cameraDataDirs();   // 6
    static const Table& thumbnailDirs();    // 3

    // The text after the last "." of the name, lower-cased; empty when there is no ".", when the
    // only "." is the first character (".ds_store") or when the name ends in ".".
    static std::string ext(std::string_view name);

    // By name alone: starts with "._" or its lower-cased form is a junk name. Folders are not
    // consulted.
    static bool isJunk(std::string_view name);

    // A folder name whose whole content is litter: one of junkDirs, or what Linux desktops and
    // fsck leave behind (".Trash", ".Trash-<uid>", "lost+found"). Any case.
    static bool isJunkDirectory(std::string_view folderName);

    // ext(name) is a RAW photo extension. A bare "arw" (no dot) is not.
    static bool isRaw(std::string_view name);

    // The class of a file from its "/"-separated path relative to the card root (valid UTF-8;
    // leading, trailing and doubled separators make no difference). Never fails.
    static FileClass classify(std::string_view relativePath);

    // Full Unicode lower-casing without a locale, as every table comparison uses it.
    static std::string lower(std::string_view text);
};

}  // namespace halvetrop
