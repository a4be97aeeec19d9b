#include "copy/CopyLayout.h"

#include "copy/CopyPlanner.h"
#include "report/Report.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>

namespace halvetrop {

namespace {

constexpr std::array<const char*, 5> caseNames = {"keepCardStructure", "nextToShoot", "besideShoot", "byDate", "custom"};

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

void replaceAll(std::string& text, std::string_view what, std::string_view with) {
    if (what.empty()) return;
    std::size_t at = 0;
    while ((at = text.find(what, at)) != std::string::npos) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
}

std::string slashesToDashes(std::string text) {
    for (char& c : text)
        if (c == '/') c = '-';
    return text;
}

// Characters no file system of a backup may refuse in a folder name: ":" (the old Mac separator)
// and what FAT and exFAT refuse, so a folder named after a camera can be made on any drive.
bool isMappedToDash(char c) {
    switch (c) {
    case ':': case '\\': case '*': case '?': case '"': case '<': case '>': case '|': return true;
    default: return false;
    }
}

// Horizontal white space: tab and the Unicode space separators (Zs).
bool isSpace(UChar32 c) { return c >= 0 && u_isblank(c); }

std::string cleanPiece(std::string_view raw) {
    std::string piece;
    piece.reserve(raw.size());
    for (char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) continue;  // control characters never occur inside a multi-byte sequence
        piece.push_back(isMappedToDash(c) ? '-' : c);
    }
    // Trim white space from both ends, a whole code point at a time.
    const auto* bytes = reinterpret_cast<const uint8_t*>(piece.data());
    const int32_t length = static_cast<int32_t>(piece.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (!isSpace(c)) break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, begin, previous, c);
        if (!isSpace(c)) break;
        end = previous;
    }
    piece = piece.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
    std::size_t dots = 0;
    while (dots < piece.size() && piece[dots] == '.') ++dots;
    return piece.substr(dots);
}

// The extension rule of numbered names: the text after the last "." of the name, unless that dot
// starts the name (a hidden name has no extension) or ends it.
std::pair<std::string, std::string> splitExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {name, {}};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

}  // namespace

std::string CopyLayout::pathTemplate() const {
    switch (case_) {
    case Case::keepCardStructure: return "{folder}";
    case Case::custom: return payload_;
    case Case::nextToShoot:
    case Case::besideShoot:
    case Case::byDate: return "{YYYY}/{date}";
    }
    return "{YYYY}/{date}";
}

nlohmann::json CopyLayout::encode() const {
    nlohmann::json inner = nlohmann::json::object();
    if (case_ == Case::besideShoot) inner["suffix"] = payload_;
    if (case_ == Case::custom) inner["_0"] = payload_;
    nlohmann::json outer = nlohmann::json::object();
    outer[caseNames[static_cast<std::size_t>(case_)]] = std::move(inner);
    return outer;
}

CopyLayout CopyLayout::decode(const nlohmann::json& value) {
    const auto& object = value.get_ref<const nlohmann::json::object_t&>();  // a type error when not a container
    std::optional<std::size_t> found;
    int keys = 0;
    for (std::size_t i = 0; i < caseNames.size(); ++i) {
        if (object.count(caseNames[i])) {
            ++keys;
            found = i;
        }
    }
    if (keys != 1) throw CopyLayoutDecodeError("", "Invalid number of keys found, expected one.");
    const nlohmann::json& inner = object.at(caseNames[*found]);
    inner.get_ref<const nlohmann::json::object_t&>();
    switch (static_cast<Case>(*found)) {
    case Case::keepCardStructure: return keepCardStructure();
    case Case::nextToShoot: return nextToShoot();
    case Case::besideShoot: return besideShoot(inner.at("suffix").get<std::string>());
    case Case::byDate: return byDate();
    case Case::custom: return custom(inner.at("_0").get<std::string>());
    }
    throw CopyLayoutDecodeError("", "Invalid number of keys found, expected one.");
}

std::string CopyPlanner::sanitizePath(std::string_view path) {
    std::string out;
    for (std::string_view raw : splitDroppingEmpty(path, '/')) {
        std::string piece = cleanPiece(raw);
        if (piece.empty()) continue;
        if (!out.empty()) out.push_back('/');
        out += piece;
    }
    return out;
}

std::string CopyPlanner::expand(const std::string& pathTemplate, const FileResult& file, const std::string& card) {
    std::string year = "0000", month = "00", day = "00";
    const auto parts = splitDroppingEmpty(file.day, '-');
    if (parts.size() == 3) {
        year = parts[0];
        month = parts[1];
        day = parts[2];
    }
    const std::array<std::pair<std::string_view, std::string>, 7> tokens = {{
        {"{YYYY}", slashesToDashes(year)},
        {"{MM}", slashesToDashes(month)},
        {"{DD}", slashesToDashes(day)},
        {"{date}", slashesToDashes(file.day)},
        {"{camera}", slashesToDashes(file.camera.empty() ? "Unknown camera" : file.camera)},
        {"{card}", slashesToDashes(card)},
        {"{folder}", std::string(file.folderBytes())},  // may span several levels; the card's own bytes
    }};
    std::string text = pathTemplate;
    for (const auto& [token, value] : tokens) replaceAll(text, token, value);
    return sanitizePath(text);
}

std::string CopyPlanner::sibling(const std::string& path, const std::string& suffix) {
    const std::string s = slashesToDashes(suffix);
    auto pieces = splitDroppingEmpty(path, '/');
    if (pieces.empty()) return sanitizePath(s);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) joined.push_back('/');
        joined += pieces[i];
        if (i + 1 == pieces.size()) joined += " " + s;
    }
    return sanitizePath(joined);
}

NameLimit NameLimit::of(bool fatFamily, unsigned long namemax) {
    if (fatFamily) return {fileNameMax, true};
    return {namemax > 0 ? static_cast<std::size_t>(namemax) : fileNameMax, false};
}

std::size_t NameLimit::lengthOf(std::string_view name) const {
    if (!utf16) return name.size();
    const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
    const auto length = static_cast<int32_t>(name.size());
    std::size_t units = 0;
    for (int32_t at = 0; at < length;) {
        UChar32 c;
        U8_NEXT(bytes, at, length, c);
        units += c > 0xFFFF ? 2 : 1;
    }
    return units;
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

std::string CopyPlanner::numbered(const std::string& name, int n) {
    auto [stem, extension] = splitExtension(name);
    std::string tail = " (" + std::to_string(n) + ")";
    if (!extension.empty()) tail += "." + extension;
    // The number and the extension stay whole and the stem gives way; an extension too long to
    // leave any of the stem is no extension worth keeping.
    if (tail.size() >= fileNameMax) {
        stem = name;
        tail = " (" + std::to_string(n) + ")";
    }
    return std::string(utf8Prefix(stem, fileNameMax - tail.size())) + tail;
}

}  // namespace halvetrop
