#pragma once
// Finding where JSON values end without reading them, so that a large document can be cut into
// its parts and only the parts wanted are decoded. Nothing here checks a value beyond what finding
// its end needs; whoever reads a part checks it.
#include <string>
#include <string_view>

namespace halvetrop::jsonscan {

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline size_t skipBlanks(std::string_view text, size_t at) {
    while (at < text.size() && isBlank(text[at])) ++at;
    return at;
}

// Finds where one JSON value ends, across pieces of text fed one after the other: strings are
// passed over with their escapes, containers by their depth, a bare scalar ends at the next
// delimiter.
class ValueScanner {
public:
    // Scans `text` from `from` (the value's first character, or where the previous piece ended).
    // The position one past the value's end, or npos when the value goes on beyond `text`.
    size_t scan(std::string_view text, size_t from);

private:
    size_t skipString(std::string_view text, size_t i);
    static bool oddBackslashesBefore(std::string_view text, size_t at, size_t from);

    size_t depth_ = 0;
    bool started_ = false;
    bool inString_ = false;
    bool escaped_ = false;
    bool scalar_ = false;
};

// The text of a JSON string token (quotes included); throws std::runtime_error when it is none.
std::string text(std::string_view token);
// Whether a string token is exactly `word` (a token with escapes is decoded first).
bool isText(std::string_view token, std::string_view word);

// Calls `member(keyToken, value)` for each member of a JSON object, in order; `value` is the
// member's whole text. Throws std::runtime_error when `object` is not one object.
template <class Member>
void forEachMember(std::string_view object, Member&& member);
// Calls `element(value)` for each element of a JSON array. Throws when `array` is not one array.
template <class Element>
void forEachElement(std::string_view array, Element&& element);

[[noreturn]] void fail(const char* problem);

// ---------------------------------------------------------------------------------------------

namespace detail {

// The end of the value starting at `at` (which must not be a blank); throws when it does not end
// within `text`.
inline size_t valueEnd(std::string_view text, size_t at) {
    ValueScanner scanner;
    const size_t end = scanner.scan(text, at);
    if (end == std::string_view::npos) fail("a value does not end");
    return end;
}

// Past the container's closing character, only blanks may follow.
inline void expectEnd(std::string_view text, size_t closing) {
    if (closing >= text.size() || skipBlanks(text, closing + 1) != text.size())
        fail("a container does not end");
}

}  // namespace detail

template <class Member>
void forEachMember(std::string_view object, Member&& member) {
    size_t i = skipBlanks(object, 0);
    if (i == object.size() || object[i] != '{') fail("expected an object");
    i = skipBlanks(object, i + 1);
    if (i < object.size() && object[i] == '}') return detail::expectEnd(object, i);
    for (;;) {
        if (i == object.size() || object[i] != '"') fail("expected a key");
        const size_t keyEnd = detail::valueEnd(object, i);
        const std::string_view key = object.substr(i, keyEnd - i);
        i = skipBlanks(object, keyEnd);
        if (i == object.size() || object[i] != ':') fail("expected \":\"");
        i = skipBlanks(object, i + 1);
        if (i == object.size()) fail("a value is missing");
        const size_t end = detail::valueEnd(object, i);
        member(key, object.substr(i, end - i));
        i = skipBlanks(object, end);
        if (i < object.size() && object[i] == ',') {
            i = skipBlanks(object, i + 1);
            continue;
        }
        if (i == object.size() || object[i] != '}') fail("expected \",\" or \"}\"");
        return detail::expectEnd(object, i);
    }
}

template <class Element>
void forEachElement(std::string_view array, Element&& element) {
    size_t i = skipBlanks(array, 0);
    if (i == array.size() || array[i] != '[') fail("expected a list");
    i = skipBlanks(array, i + 1);
    if (i < array.size() && array[i] == ']') return detail::expectEnd(array, i);
    for (;;) {
        if (i == array.size()) fail("a list does not end");
        const size_t end = detail::valueEnd(array, i);
        element(array.substr(i, end - i));
        i = skipBlanks(array, end);
        if (i < array.size() && array[i] == ',') {
            i = skipBlanks(array, i + 1);
            continue;
        }
        if (i == array.size() || array[i] != ']') fail("expected \",\" or \"]\"");
        return detail::expectEnd(array, i);
    }
}

}  // namespace halvetrop::jsonscan
