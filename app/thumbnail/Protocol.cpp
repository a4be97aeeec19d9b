#include "thumbnail/Protocol.h"

#include <charconv>
#include <vector>

namespace halvetrop::thumbs {

namespace {

// A header line is short; a longer one without a newline is no header.
constexpr size_t maxHeader = 64;

// The header's fields split at single spaces; nothing when the line is not complete yet.
std::optional<std::vector<std::string_view>> header(std::string_view buffer, size_t& end, bool& bad) {
    const size_t nl = buffer.substr(0, maxHeader).find('\n');
    if (nl == std::string_view::npos) {
        bad = buffer.size() >= maxHeader;
        return std::nullopt;
    }
    end = nl + 1;
    std::vector<std::string_view> fields;
    std::string_view line = buffer.substr(0, nl);
    while (!line.empty()) {
        const size_t sp = line.find(' ');
        fields.push_back(line.substr(0, sp));
        if (sp == std::string_view::npos) break;
        line.remove_prefix(sp + 1);
        // A trailing space leaves an empty field, which no field accepts.
        if (line.empty()) fields.emplace_back();
    }
    return fields;
}

template <class T>
bool number(std::string_view text, T& out, T max) {
    // One spelling per number ("01" is not 1): a frame reads back as the bytes it came from.
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && p == text.data() + text.size() && out <= max;
}

}  // namespace

std::string encode(const Request& r) {
    return "T " + std::to_string(r.id) + " " + std::to_string(r.side) + " " + std::to_string(r.path.size()) +
           "\n" + r.path;
}

Read<Request> readRequest(std::string_view buffer) {
    Read<Request> out;
    size_t end = 0;
    bool bad = false;
    const auto fields = header(buffer, end, bad);
    if (!fields) {
        if (bad) out.state = Read<Request>::State::error;
        return out;
    }
    size_t length = 0;
    if (fields->size() != 4 || (*fields)[0] != "T" || !number((*fields)[1], out.frame.id, UINT64_MAX) ||
        !number((*fields)[2], out.frame.side, maxSide) || out.frame.side < 1 ||
        !number((*fields)[3], length, maxPath) || length == 0) {
        out.state = Read<Request>::State::error;
        return out;
    }
    if (buffer.size() - end < length) return out;
    out.frame.path.assign(buffer.substr(end, length));
    // A path is handed to the file system: an embedded NUL would cut it short.
    if (out.frame.path.find('\0') != std::string::npos) {
        out.state = Read<Request>::State::error;
        return out;
    }
    out.used = end + length;
    out.state = Read<Request>::State::frame;
    return out;
}

std::string encode(const Reply& r) {
    const std::string touched = r.accessTimeTouched ? " t" : "";
    if (!r.ok) return "F " + std::to_string(r.id) + touched + "\n";
    const std::string range = r.range == VideoRange::full ? " f" : r.range == VideoRange::limited ? " l" : "";
    return "R " + std::to_string(r.id) + " " + std::to_string(r.width) + " " + std::to_string(r.height) +
           range + touched + "\n" + r.pixels;
}

Read<Reply> readReply(std::string_view buffer) {
    Read<Reply> out;
    size_t end = 0;
    bool bad = false;
    const auto fields = header(buffer, end, bad);
    if (!fields) {
        if (bad) out.state = Read<Reply>::State::error;
        return out;
    }
    auto f = *fields;
    // The mark of a read that could not keep the file's access time comes last, after any fields.
    if (f.size() >= 3 && f.back() == "t") {
        out.frame.accessTimeTouched = true;
        f.pop_back();
    }
    if (f.size() == 5 && f[0] == "R" && (f[4] == "f" || f[4] == "l")) {
        out.frame.range = f[4] == "f" ? VideoRange::full : VideoRange::limited;
        f.pop_back();
    }
    if (f.size() == 2 && f[0] == "F" && number(f[1], out.frame.id, UINT64_MAX)) {
        out.used = end;
        out.state = Read<Reply>::State::frame;
        return out;
    }
    if (f.size() != 4 || f[0] != "R" || !number(f[1], out.frame.id, UINT64_MAX) ||
        !number(f[2], out.frame.width, maxSide) || !number(f[3], out.frame.height, maxSide) ||
        out.frame.width < 1 || out.frame.height < 1) {
        out.state = Read<Reply>::State::error;
        return out;
    }
    const size_t length = size_t(out.frame.width) * size_t(out.frame.height) * 4;
    if (buffer.size() - end < length) return out;
    out.frame.ok = true;
    out.frame.pixels.assign(buffer.substr(end, length));
    out.used = end + length;
    out.state = Read<Reply>::State::frame;
    return out;
}

}  // namespace halvetrop::thumbs
