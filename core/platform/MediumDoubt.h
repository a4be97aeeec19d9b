#pragma once
// Why a read of a file could not be shown to come from its drive. A report keeps it beside a copy
// that was read whole but not proven, so that the user learns what holds the card back and what
// to do about it. Stored by its case name: never rename a case.
#include <array>
#include <optional>
#include <string_view>

namespace halvetrop {

enum class MediumDoubt {
    // The volume keeps its files in memory (tmpfs, ramfs).
    memory,
    // A FUSE daemon answers the reads, maybe from a cache below ours.
    fuse,
    // An overlay, whose layer holding the file may be memory.
    overlay,
    // A disk image whose reads may be answered from the page cache of the volume holding it (a
    // buffered loop device, or an image on a file system that reads it through its cache), or a
    // loop device that cannot be asked.
    diskImage,
    // What stores the volume cannot be told.
    unknownVolume,
    // The data lies inside the file system's metadata (small files on btrfs, ext4 inline data),
    // which the kernel caches apart from the file.
    inMetadata,
    // Read through the page cache, and another user's file: the kernel hides whether its pages are
    // cached, so their absence cannot be confirmed.
    othersFile,
    // Read through the page cache (by the file system or its mount mode), and some of its pages
    // could not be dropped: another program holds them (maps the file), or they could not be
    // written out.
    cacheHeld,
};

inline constexpr std::array<MediumDoubt, 8> allMediumDoubts{
    MediumDoubt::memory,     MediumDoubt::fuse,       MediumDoubt::overlay,    MediumDoubt::diskImage,
    MediumDoubt::unknownVolume, MediumDoubt::inMetadata, MediumDoubt::othersFile, MediumDoubt::cacheHeld};

constexpr std::string_view rawValue(MediumDoubt doubt) {
    switch (doubt) {
        case MediumDoubt::memory: return "memory";
        case MediumDoubt::fuse: return "fuse";
        case MediumDoubt::overlay: return "overlay";
        case MediumDoubt::diskImage: return "diskImage";
        case MediumDoubt::unknownVolume: return "unknownVolume";
        case MediumDoubt::inMetadata: return "inMetadata";
        case MediumDoubt::othersFile: return "othersFile";
        case MediumDoubt::cacheHeld: return "cacheHeld";
    }
    return "";
}

constexpr std::optional<MediumDoubt> mediumDoubtFromRaw(std::string_view text) {
    for (MediumDoubt d : allMediumDoubts)
        if (rawValue(d) == text) return d;
    return std::nullopt;
}

}  // namespace halvetrop
