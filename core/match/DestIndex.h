#pragma once
#include "drives/Drives.h"
#include "platform/HeldObject.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace halvetrop {

// The number of an indexed backup root: the position of the backup in the check's list.
struct RootID {
    uint16_t raw = 0;
    bool operator==(const RootID&) const = default;
    auto operator<=>(const RootID&) const = default;
};

// Keyed as {"raw": n}.
void to_json(nlohmann::json& j, const RootID& id);
void to_json(nlohmann::ordered_json& j, const RootID& id);
void from_json(const nlohmann::json& j, RootID& id);
void from_json(const nlohmann::ordered_json& j, RootID& id);

// The stamp by which a later look at a file tells whether it changed or was replaced.
struct Validator {
    int64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    uint64_t fileID = 0;
    bool operator==(const Validator&) const = default;
};

// Keyed as {"size", "mtimeNs", "ctimeNs", "fileID"} (in that order in an ordered_json).
void to_json(nlohmann::json& j, const Validator& v);
void to_json(nlohmann::ordered_json& j, const Validator& v);
void from_json(const nlohmann::json& j, Validator& v);
void from_json(const nlohmann::ordered_json& j, Validator& v);

// Per-row facts, a set of bits.
struct EntryFlags {
    uint16_t raw = 0;

    static const EntryFlags dataless;          // content not on the drive (cloud placeholder)
    static const EntryFlags hardLinked;        // declared, never set
    static const EntryFlags compressed;        // declared, never set
    static const EntryFlags nonASCIIName;      // the raw name holds a byte of 0x80 or above
    static const EntryFlags caseVariantInDir;  // declared, never set

    constexpr bool isEmpty() const { return raw == 0; }
    constexpr bool contains(EntryFlags other) const { return (raw & other.raw) == other.raw; }
    constexpr EntryFlags operator|(EntryFlags o) const { return {static_cast<uint16_t>(raw | o.raw)}; }
    constexpr EntryFlags operator&(EntryFlags o) const { return {static_cast<uint16_t>(raw & o.raw)}; }
    constexpr EntryFlags operator^(EntryFlags o) const { return {static_cast<uint16_t>(raw ^ o.raw)}; }
    constexpr EntryFlags& operator|=(EntryFlags o) { raw |= o.raw; return *this; }
    constexpr EntryFlags& operator&=(EntryFlags o) { raw &= o.raw; return *this; }
    constexpr void insert(EntryFlags o) { raw |= o.raw; }
    constexpr void remove(EntryFlags o) { raw = static_cast<uint16_t>(raw & ~o.raw); }
    bool operator==(const EntryFlags&) const = default;
};
inline constexpr EntryFlags EntryFlags::dataless{0x01};
inline constexpr EntryFlags EntryFlags::hardLinked{0x02};
inline constexpr EntryFlags EntryFlags::compressed{0x04};
inline constexpr EntryFlags EntryFlags::nonASCIIName{0x08};
inline constexpr EntryFlags EntryFlags::caseVariantInDir{0x10};

// The sizes and name keys of the card's files: a backup file is worth a row only when it shares
// one of them.
struct ProbeSet {
    std::unordered_set<int64_t> sizes;
    std::unordered_set<uint64_t> nameKeys;

    bool admits(int64_t size, uint64_t nameKey) const {
        return sizes.count(size) != 0 || nameKeys.count(nameKey) != 0;
    }
};

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::RootID> {
    size_t operator()(const halvetrop::RootID& id) const noexcept { return std::hash<uint16_t>{}(id.raw); }
};
template <>
struct std::hash<halvetrop::EntryFlags> {
    size_t operator()(const halvetrop::EntryFlags& f) const noexcept { return std::hash<uint16_t>{}(f.raw); }
};

namespace halvetrop {

// An append that would pass one of the index's fixed-width limits. Nothing is appended then: a
// wrapped offset or count would make rows point at other rows' names or directories.
class IndexLimitError : public std::length_error {
public:
    using std::length_error::length_error;
};

// Every backup file one check may match against, from all its backups, column-wise: one array per
// attribute, all names in one byte arena, a directory table, and three sorted permutations for
// lookup. Filled by one thread, then buildMaps(), then shared read-only without a lock.
//
// Names are kept exactly as the file system listed them (bytes, not necessarily UTF-8): the raw
// accessors are what a file is opened by; name(), dirName(), relativePath() and dirPath() give
// the repaired text that a report shows.
class DestIndex {
public:
    struct Dir {
        uint32_t parent = 0;  // a root is its own parent
        uint32_t nameOff = 0;
        uint16_t nameLen = 0;
        uint64_t nameKey = 0;
        RootID root;
        int64_t mtimeNs = 0;
        uint64_t fileID = 0;
        uint8_t excluded = 0;
    };

    // The fixed widths allow at most these; tests lower them to reach the limits.
    struct Limits {
        uint64_t maxRows = uint64_t{1} << 32;
        uint64_t maxDirs = uint64_t{1} << 32;
        uint64_t maxArenaBytes = uint64_t{1} << 32;
    };
    static constexpr size_t maxNameBytes = 65535;

    // Combines a folder's and a file's name keys into the suffix key of the pair.
    static constexpr uint64_t suffixKey(uint64_t parentKey, uint64_t nameKey) {
        return nameKey ^ (parentKey * 0x9E3779B97F4A7C15ULL);
    }

    DestIndex() = default;
    explicit DestIndex(Limits limits);
    // One owner: the check that built it. Moving is cheap, a copy of millions of rows is a mistake.
    DestIndex(const DestIndex&) = delete;
    DestIndex& operator=(const DestIndex&) = delete;
    DestIndex(DestIndex&&) = default;
    DestIndex& operator=(DestIndex&&) = default;

    size_t count() const { return size_.size(); }

    // `name` is the directory's name as listed; a root (no parent) gets its own number as parent.
    // Throws IndexLimitError past a limit and std::invalid_argument for a parent that is not a
    // directory of the same root.
    uint32_t appendDir(std::string_view name, std::optional<uint32_t> parent, RootID root, int64_t mtimeNs,
                       uint64_t fileID);

    // `device` and `fileID` are the object the walk found (st_dev, st_ino); a row whose device is
    // not known (0) names no object a later open could be held to, and its copy is never read.
    // Throws IndexLimitError past a limit and std::invalid_argument for an unknown directory.
    uint32_t appendFile(std::string_view rawName, uint32_t dir, int64_t size, int64_t mtimeNs, int64_t ctimeNs,
                        int64_t btimeNs, uint64_t fileID, EntryFlags flags, uint16_t extID, uint64_t device = 0);

    // Computes the suffix keys and the three permutations from all rows so far, replacing any
    // earlier maps.
    void buildMaps();

    // Equal ranges of the permutations, valid while the index lives and until the next buildMaps.
    std::span<const uint32_t> rowsOfSize(int64_t size) const;                      // by name key, then row
    std::span<const uint32_t> rowsOfNameKey(uint64_t nameKey) const;               // by size, then row
    std::span<const uint32_t> rowsOfNameKey(uint64_t nameKey, int64_t size) const;  // by row
    // Rows whose folder and file name combine to the same suffix key (a combination may collide:
    // compare the row's own keys where certainty is needed), by row.
    std::span<const uint32_t> rowsOfSuffix(uint64_t parentKey, uint64_t nameKey) const;

    std::string name(uint32_t row) const;
    std::string_view rawName(uint32_t row) const;
    std::string dirName(uint32_t dir) const;
    std::string_view rawDirName(uint32_t dir) const;
    // Path below the backup root ("a/b/name"); the root's own name is never part of it.
    std::string relativePath(uint32_t row) const;
    std::string rawRelativePath(uint32_t row) const;
    // Path of a directory below its root; "" for the root.
    std::string dirPath(uint32_t dir) const;
    std::string rawDirPath(uint32_t dir) const;

    std::optional<PhysicalDriveID> drive(uint32_t row) const;
    Validator validator(uint32_t row) const;
    RootID root(uint32_t row) const { return dirs_[dir_[row]].root; }

    // How many of keysNameFirst (the card file's name key, then its folders' keys innermost
    // first) the row's path repeats from the end; root directories are never compared.
    size_t suffixDepth(uint32_t row, std::span<const uint64_t> keysNameFirst) const;

    // Columns, element r describing row r.
    const std::vector<int64_t>& size() const { return size_; }
    const std::vector<int64_t>& mtimeNs() const { return mtimeNs_; }
    const std::vector<int64_t>& ctimeNs() const { return ctimeNs_; }
    const std::vector<int64_t>& btimeNs() const { return btimeNs_; }
    const std::vector<uint64_t>& fileID() const { return fileID_; }
    const std::vector<uint64_t>& device() const { return device_; }
    const std::vector<uint32_t>& dir() const { return dir_; }
    const std::vector<uint32_t>& nameOff() const { return nameOff_; }
    const std::vector<uint16_t>& nameLen() const { return nameLen_; }
    const std::vector<uint64_t>& nameKey() const { return nameKey_; }
    const std::vector<uint16_t>& extID() const { return extID_; }
    const std::vector<EntryFlags>& flags() const { return flags_; }
    const std::vector<Dir>& dirs() const { return dirs_; }

    // The physical drive of each indexed root; set by the indexing stage.
    std::unordered_map<RootID, PhysicalDriveID> rootDrive;
    // The mount each root's walk listed through, and so the one its rows must be read through; set
    // by the indexing stage. A root without one has no row whose copy is read.
    std::unordered_map<RootID, MountID> rootMount;

    // The object a row's path must still lead to, through its root's mount; nothing when the index
    // does not know it.
    std::optional<HeldObject> object(uint32_t row) const;

    // Bytes held by the columns, arena, directory table and maps.
    size_t memoryBytes() const;

private:
    void checkNameFits(std::string_view bytes) const;
    uint32_t appendName(std::string_view bytes);

    Limits limits_;
    std::vector<int64_t> size_;
    std::vector<int64_t> mtimeNs_;
    std::vector<int64_t> ctimeNs_;
    std::vector<int64_t> btimeNs_;
    std::vector<uint64_t> fileID_;
    std::vector<uint64_t> device_;
    std::vector<uint32_t> dir_;
    std::vector<uint32_t> nameOff_;
    std::vector<uint16_t> nameLen_;
    std::vector<uint64_t> nameKey_;
    std::vector<uint16_t> extID_;
    std::vector<EntryFlags> flags_;
    std::vector<char> arena_;
    std::vector<Dir> dirs_;
    std::vector<uint32_t> bySize_;
    std::vector<uint32_t> byName_;
    std::vector<uint32_t> bySuffix2_;
    std::vector<uint64_t> suffix2_;
};

}  // namespace halvetrop
