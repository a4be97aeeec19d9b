#include "match/DestIndex.h"

#include "match/NameKey.h"
#include "text/Utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace halvetrop {
namespace {

constexpr uint64_t hardLimit = uint64_t{1} << 32;

// [first, end) of the rows of `perm` whose key equals `wanted`; perm is sorted by keyOf.
template <class KeyOf, class Key>
std::span<const uint32_t> equalRange(const std::vector<uint32_t>& perm, KeyOf keyOf, const Key& wanted) {
    const auto first = std::partition_point(perm.begin(), perm.end(),
                                            [&](uint32_t r) { return keyOf(r) < wanted; });
    const auto last = std::partition_point(first, perm.end(), [&](uint32_t r) { return !(wanted < keyOf(r)); });
    return {perm.data() + (first - perm.begin()), static_cast<size_t>(last - first)};
}

template <class T>
size_t bytesOf(const std::vector<T>& v) {
    return v.capacity() * sizeof(T);
}

template <class Json>
int64_t requireInt64(const Json& j, const char* key, const char* record) {
    const auto& v = j.at(key);
    if (v.is_number_integer()) {
        if (!v.is_number_unsigned()) return v.template get<int64_t>();
        if (v.template get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return v.template get<int64_t>();
    }
    throw std::invalid_argument(std::string(record) + "." + key + " must be a 64-bit signed integer");
}

template <class Json>
uint64_t requireUInt(const Json& j, const char* key, const char* record, uint64_t max) {
    const auto& v = j.at(key);
    if (v.is_number_unsigned() && v.template get<uint64_t>() <= max) return v.template get<uint64_t>();
    throw std::invalid_argument(std::string(record) + "." + key + " must be an integer from 0 to " +
                                std::to_string(max));
}

template <class Json>
void requireObject(const Json& j, const char* record) {
    if (!j.is_object()) throw std::invalid_argument(std::string(record) + " must be a keyed record");
}

}  // namespace

void to_json(nlohmann::json& j, const RootID& id) { j = nlohmann::json{{"raw", id.raw}}; }

namespace {

template <class Json>
void readRootID(const Json& j, RootID& id) {
    requireObject(j, "RootID");
    id.raw = static_cast<uint16_t>(requireUInt(j, "raw", "RootID", std::numeric_limits<uint16_t>::max()));
}

template <class Json>
void readValidator(const Json& j, Validator& v) {
    requireObject(j, "Validator");
    v.size = requireInt64(j, "size", "Validator");
    v.mtimeNs = requireInt64(j, "mtimeNs", "Validator");
    v.ctimeNs = requireInt64(j, "ctimeNs", "Validator");
    v.fileID = requireUInt(j, "fileID", "Validator", std::numeric_limits<uint64_t>::max());
}

}  // namespace

void from_json(const nlohmann::json& j, RootID& id) { readRootID(j, id); }
void from_json(const nlohmann::ordered_json& j, RootID& id) { readRootID(j, id); }
void from_json(const nlohmann::json& j, Validator& v) { readValidator(j, v); }
void from_json(const nlohmann::ordered_json& j, Validator& v) { readValidator(j, v); }

void to_json(nlohmann::json& j, const Validator& v) {
    j = nlohmann::json{{"size", v.size}, {"mtimeNs", v.mtimeNs}, {"ctimeNs", v.ctimeNs}, {"fileID", v.fileID}};
}

void to_json(nlohmann::ordered_json& j, const RootID& id) { j = nlohmann::ordered_json{{"raw", id.raw}}; }

void to_json(nlohmann::ordered_json& j, const Validator& v) {
    j = nlohmann::ordered_json{{"size", v.size}, {"mtimeNs", v.mtimeNs}, {"ctimeNs", v.ctimeNs}, {"fileID", v.fileID}};
}

DestIndex::DestIndex(Limits limits) : limits_(limits) {
    limits_.maxRows = std::min(limits_.maxRows, hardLimit);
    limits_.maxDirs = std::min(limits_.maxDirs, hardLimit);
    limits_.maxArenaBytes = std::min(limits_.maxArenaBytes, hardLimit);
}

void DestIndex::checkNameFits(std::string_view bytes) const {
    if (bytes.size() > maxNameBytes) {
        throw IndexLimitError("The backup index can't hold a name of " + std::to_string(bytes.size()) +
                              " bytes (at most " + std::to_string(maxNameBytes) + ")");
    }
    // The name's offset is stored in 32 bits, and the arena must end within its limit.
    const uint64_t offset = arena_.size();
    if (offset >= hardLimit || offset + bytes.size() > limits_.maxArenaBytes) {
        throw IndexLimitError("The backup index is full: its names would pass " +
                              std::to_string(limits_.maxArenaBytes) + " bytes");
    }
}

uint32_t DestIndex::appendName(std::string_view bytes) {
    const auto offset = static_cast<uint32_t>(arena_.size());
    arena_.insert(arena_.end(), bytes.begin(), bytes.end());
    return offset;
}

namespace {

// Makes room for one more element in every column at once, so that the pushes that follow cannot
// fail half-way and leave the columns of unequal length.
template <class... Columns>
void reserveOneMore(Columns&... columns) {
    auto grow = [](auto& column) {
        if (column.size() == column.capacity()) column.reserve(std::max<size_t>(64, column.capacity() * 2));
    };
    (grow(columns), ...);
}

}  // namespace

uint32_t DestIndex::appendDir(std::string_view name, std::optional<uint32_t> parent, RootID root, int64_t mtimeNs,
                              uint64_t fileID) {
    if (dirs_.size() >= limits_.maxDirs) {
        throw IndexLimitError("The backup index is full: more than " + std::to_string(limits_.maxDirs) +
                              " folders");
    }
    if (parent && (*parent >= dirs_.size() || dirs_[*parent].root != root)) {
        throw std::invalid_argument("Folder " + std::to_string(*parent) +
                                    " is not a folder of the same backup in the index");
    }
    checkNameFits(name);
    const auto number = static_cast<uint32_t>(dirs_.size());
    Dir d;
    d.parent = parent.value_or(number);
    d.nameLen = static_cast<uint16_t>(name.size());
    d.nameKey = NameKey::hashRaw(name).hash;
    d.root = root;
    d.mtimeNs = mtimeNs;
    d.fileID = fileID;
    d.excluded = 0;
    reserveOneMore(dirs_);
    d.nameOff = appendName(name);
    dirs_.push_back(d);
    return number;
}

uint32_t DestIndex::appendFile(std::string_view rawName, uint32_t dir, int64_t size, int64_t mtimeNs,
                               int64_t ctimeNs, int64_t btimeNs, uint64_t fileID, EntryFlags flags,
                               uint16_t extID, uint64_t device) {
    const size_t row = size_.size();
    if (row >= limits_.maxRows) {
        throw IndexLimitError("The backup index is full: more than " + std::to_string(limits_.maxRows) + " files");
    }
    if (dir >= dirs_.size()) {
        throw std::invalid_argument("Folder " + std::to_string(dir) + " is not in the backup index");
    }
    checkNameFits(rawName);
    const NameKey::RawKey key = NameKey::hashRaw(rawName);
    if (key.nonASCII) flags.insert(EntryFlags::nonASCIIName);

    reserveOneMore(size_, mtimeNs_, ctimeNs_, btimeNs_, fileID_, device_, dir_, nameOff_, nameLen_, nameKey_, extID_,
                   flags_);
    nameOff_.push_back(appendName(rawName));
    nameLen_.push_back(static_cast<uint16_t>(rawName.size()));
    size_.push_back(size);
    mtimeNs_.push_back(mtimeNs);
    ctimeNs_.push_back(ctimeNs);
    btimeNs_.push_back(btimeNs);
    fileID_.push_back(fileID);
    device_.push_back(device);
    dir_.push_back(dir);
    nameKey_.push_back(key.hash);
    extID_.push_back(extID);
    flags_.push_back(flags);
    return static_cast<uint32_t>(row);
}

void DestIndex::buildMaps() {
    // The index is read-only from here on: give back what geometric growth left spare.
    for (auto* column : {&size_, &mtimeNs_, &ctimeNs_, &btimeNs_}) column->shrink_to_fit();
    fileID_.shrink_to_fit();
    device_.shrink_to_fit();
    nameKey_.shrink_to_fit();
    dir_.shrink_to_fit();
    nameOff_.shrink_to_fit();
    nameLen_.shrink_to_fit();
    extID_.shrink_to_fit();
    flags_.shrink_to_fit();
    arena_.shrink_to_fit();
    dirs_.shrink_to_fit();

    const size_t n = count();
    suffix2_.resize(n);
    for (size_t r = 0; r < n; ++r) suffix2_[r] = suffixKey(dirs_[dir_[r]].nameKey, nameKey_[r]);

    // Sorting (key, row) records gives the order of a stable sort from row order, and sorts
    // contiguous memory instead of chasing the columns.
    struct Two {
        uint64_t a;
        int64_t b;
        uint32_t row;
    };
    std::vector<Two> work(n);

    for (size_t r = 0; r < n; ++r) work[r] = {nameKey_[r], size_[r], static_cast<uint32_t>(r)};
    std::sort(work.begin(), work.end(), [](const Two& x, const Two& y) {
        if (x.b != y.b) return x.b < y.b;
        if (x.a != y.a) return x.a < y.a;
        return x.row < y.row;
    });
    bySize_.resize(n);
    for (size_t i = 0; i < n; ++i) bySize_[i] = work[i].row;

    for (size_t r = 0; r < n; ++r) work[r] = {nameKey_[r], size_[r], static_cast<uint32_t>(r)};
    std::sort(work.begin(), work.end(), [](const Two& x, const Two& y) {
        if (x.a != y.a) return x.a < y.a;
        if (x.b != y.b) return x.b < y.b;
        return x.row < y.row;
    });
    byName_.resize(n);
    for (size_t i = 0; i < n; ++i) byName_[i] = work[i].row;

    for (size_t r = 0; r < n; ++r) work[r] = {suffix2_[r], 0, static_cast<uint32_t>(r)};
    std::sort(work.begin(), work.end(), [](const Two& x, const Two& y) {
        if (x.a != y.a) return x.a < y.a;
        return x.row < y.row;
    });
    bySuffix2_.resize(n);
    for (size_t i = 0; i < n; ++i) bySuffix2_[i] = work[i].row;
}

std::span<const uint32_t> DestIndex::rowsOfSize(int64_t size) const {
    return equalRange(bySize_, [this](uint32_t r) { return size_[r]; }, size);
}

std::span<const uint32_t> DestIndex::rowsOfNameKey(uint64_t nameKey) const {
    return equalRange(byName_, [this](uint32_t r) { return nameKey_[r]; }, nameKey);
}

std::span<const uint32_t> DestIndex::rowsOfNameKey(uint64_t nameKey, int64_t size) const {
    return equalRange(byName_, [this](uint32_t r) { return std::pair(nameKey_[r], size_[r]); },
                      std::pair(nameKey, size));
}

std::span<const uint32_t> DestIndex::rowsOfSuffix(uint64_t parentKey, uint64_t nameKey) const {
    return equalRange(bySuffix2_, [this](uint32_t r) { return suffix2_[r]; }, suffixKey(parentKey, nameKey));
}

std::string_view DestIndex::rawName(uint32_t row) const {
    return {arena_.data() + nameOff_[row], nameLen_[row]};
}

std::string DestIndex::name(uint32_t row) const { return repairUtf8(rawName(row)); }

std::string_view DestIndex::rawDirName(uint32_t dir) const {
    const Dir& d = dirs_[dir];
    return {arena_.data() + d.nameOff, d.nameLen};
}

std::string DestIndex::dirName(uint32_t dir) const { return repairUtf8(rawDirName(dir)); }

namespace {

// The names from `dir` up to (not including) its root, innermost first.
std::vector<std::string_view> folderNames(const DestIndex& ix, uint32_t dir) {
    std::vector<std::string_view> names;
    const auto& dirs = ix.dirs();
    for (uint32_t d = dir; dirs[d].parent != d; d = dirs[d].parent) names.push_back(ix.rawDirName(d));
    return names;
}

template <class Convert>
std::string joinOutermostFirst(const std::vector<std::string_view>& innermostFirst, Convert convert) {
    std::string out;
    for (auto it = innermostFirst.rbegin(); it != innermostFirst.rend(); ++it) {
        if (it != innermostFirst.rbegin()) out += '/';
        out += convert(*it);
    }
    return out;
}

template <class Convert>
std::string rowPath(const DestIndex& ix, uint32_t row, Convert convert) {
    std::vector<std::string_view> parts = folderNames(ix, ix.dir()[row]);
    parts.insert(parts.begin(), ix.rawName(row));
    return joinOutermostFirst(parts, convert);
}

}  // namespace

std::string DestIndex::rawRelativePath(uint32_t row) const {
    return rowPath(*this, row, [](std::string_view s) { return s; });
}

std::string DestIndex::relativePath(uint32_t row) const {
    return rowPath(*this, row, [](std::string_view s) { return repairUtf8(s); });
}

std::string DestIndex::dirPath(uint32_t dir) const {
    return joinOutermostFirst(folderNames(*this, dir), [](std::string_view s) { return repairUtf8(s); });
}

std::string DestIndex::rawDirPath(uint32_t dir) const {
    return joinOutermostFirst(folderNames(*this, dir), [](std::string_view s) { return s; });
}

std::optional<PhysicalDriveID> DestIndex::drive(uint32_t row) const {
    const auto it = rootDrive.find(root(row));
    if (it == rootDrive.end()) return std::nullopt;
    return it->second;
}

Validator DestIndex::validator(uint32_t row) const {
    return {size_[row], mtimeNs_[row], ctimeNs_[row], fileID_[row]};
}

size_t DestIndex::suffixDepth(uint32_t row, std::span<const uint64_t> keysNameFirst) const {
    if (keysNameFirst.empty() || keysNameFirst[0] != nameKey_[row]) return 0;
    size_t depth = 1;
    uint32_t d = dir_[row];
    for (size_t i = 1; i < keysNameFirst.size(); ++i) {
        if (dirs_[d].parent == d || dirs_[d].nameKey != keysNameFirst[i]) return depth;
        ++depth;
        d = dirs_[d].parent;
    }
    return keysNameFirst.size();
}

std::optional<HeldObject> DestIndex::object(uint32_t row) const {
    const auto mount = rootMount.find(root(row));
    if (device_[row] == 0 || mount == rootMount.end()) return std::nullopt;
    return HeldObject{device_[row], fileID_[row], mount->second};
}

size_t DestIndex::memoryBytes() const {
    size_t bytes = sizeof(*this);
    bytes += bytesOf(size_) + bytesOf(mtimeNs_) + bytesOf(ctimeNs_) + bytesOf(btimeNs_) + bytesOf(fileID_);
    bytes += bytesOf(device_) + rootMount.size() * (sizeof(RootID) + sizeof(MountID));
    bytes += bytesOf(dir_) + bytesOf(nameOff_) + bytesOf(nameLen_) + bytesOf(nameKey_) + bytesOf(extID_);
    bytes += bytesOf(flags_) + bytesOf(arena_) + bytesOf(dirs_);
    bytes += bytesOf(bySize_) + bytesOf(byName_) + bytesOf(bySuffix2_) + bytesOf(suffix2_);
    for (const auto& [root, drive] : rootDrive) bytes += sizeof(root) + sizeof(drive) + drive.raw.capacity();
    return bytes;
}

}  // namespace halvetrop
