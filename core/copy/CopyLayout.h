#pragma once
// The folder layouts a copy can use and the path template behind each.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halvetrop {

class CopyLayout {
public:
    enum class Case { keepCardStructure, nextToShoot, besideShoot, byDate, custom };

    static CopyLayout keepCardStructure() { return CopyLayout(Case::keepCardStructure, {}); }
    static CopyLayout nextToShoot() { return CopyLayout(Case::nextToShoot, {}); }
    static CopyLayout besideShoot(std::string suffix) { return CopyLayout(Case::besideShoot, std::move(suffix)); }
    static CopyLayout byDate() { return CopyLayout(Case::byDate, {}); }
    static CopyLayout custom(std::string pathTemplate) { return CopyLayout(Case::custom, std::move(pathTemplate)); }

    Case kind() const { return case_; }
    // The suffix of besideShoot, the template text of custom, empty otherwise.
    const std::string& payload() const { return payload_; }
    // "{folder}", "{YYYY}/{date}" (also the fallback of the two shoot layouts), or the custom text.
    std::string pathTemplate() const;

    bool operator==(const CopyLayout&) const = default;

    // {"keepCardStructure":{}}, {"besideShoot":{"suffix":"..."}}, {"custom":{"_0":"..."}}, ...
    nlohmann::json encode() const;
    // Throws CopyLayoutDecodeError for a container with not exactly one case key, and
    // nlohmann::json's own errors for a missing or non-text payload.
    static CopyLayout decode(const nlohmann::json& value);

private:
    CopyLayout(Case c, std::string payload) : case_(c), payload_(std::move(payload)) {}
    Case case_;
    std::string payload_;
};

// The most bytes one file-name component may have on the file systems copies go to.
inline constexpr std::size_t fileNameMax = 255;

// How long one name may be on a backup's file system. Most count bytes, up to what statvfs says
// (255 on ext4, XFS and btrfs; less on some stacked file systems). The FAT family stores names as
// UTF-16 and takes 255 of its units, whatever its driver reports: a card's own exFAT names fit
// there, while on ext4 the same 255 units may need up to 765 bytes.
struct NameLimit {
    std::size_t max = fileNameMax;  // bytes, or UTF-16 units
    bool utf16 = false;

    // `namemax`: statvfs's f_namemax of the volume, 0 when unknown.
    static NameLimit of(bool fatFamily, unsigned long namemax);
    // The length of `name` in this limit's unit; a byte that is not UTF-8 counts as one unit.
    std::size_t lengthOf(std::string_view name) const;
    bool fits(std::string_view name) const { return lengthOf(name) <= max; }
    // The most bytes a name made here (a temporary one) may take and surely fit.
    std::size_t byteBudget() const { return utf16 ? fileNameMax : max; }
    bool operator==(const NameLimit&) const = default;
};

// The longest start of `text` of at most maxBytes bytes that does not end inside a UTF-8
// sequence, so that a shortened name stays valid where it was.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// A type mismatch met while decoding a CopyLayout; what() is the description.
class CopyLayoutDecodeError : public std::runtime_error {
public:
    CopyLayoutDecodeError(std::string codingPath, const std::string& description)
        : std::runtime_error(description), codingPath(std::move(codingPath)) {}
    std::string typeName = "CopyLayout";
    std::string codingPath;
};

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::CopyLayout> {
    std::size_t operator()(const halvetrop::CopyLayout& l) const noexcept {
        return std::hash<std::string>{}(l.payload()) * 31 + static_cast<std::size_t>(l.kind());
    }
};
