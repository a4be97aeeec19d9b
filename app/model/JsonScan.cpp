#include "model/JsonScan.h"

#include <cstring>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace halvetrop::jsonscan {

void fail(const char* problem) { throw std::runtime_error(problem); }

size_t ValueScanner::scan(std::string_view text, size_t from) {
    size_t i = from;
    while (i < text.size()) {
        if (inString_) {
            i = skipString(text, i);
            if (inString_) return std::string_view::npos;
            if (depth_ == 0) return i;
            continue;
        }
        const char c = text[i++];
        if (!started_) {
            started_ = true;
            if (c == '"') {
                inString_ = true;
            } else if (c == '{' || c == '[') {
                depth_ = 1;
            } else {
                scalar_ = true;
            }
            continue;
        }
        if (scalar_) {
            if (c == ',' || c == ']' || c == '}' || isBlank(c)) return i - 1;
            continue;
        }
        if (c == '"') {
            inString_ = true;
        } else if (c == '{' || c == '[') {
            ++depth_;
        } else if ((c == '}' || c == ']') && --depth_ == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Most of a history is text inside strings: jump from quote to quote. Returns where the string
// ended (one past its quote), or the end of `text` with the string still open.
size_t ValueScanner::skipString(std::string_view text, size_t i) {
    if (escaped_) {
        if (i == text.size()) return i;
        escaped_ = false;
        ++i;
    }
    while (i < text.size()) {
        const void* quote = std::memchr(text.data() + i, '"', text.size() - i);
        if (!quote) {
            escaped_ = oddBackslashesBefore(text, text.size(), i);
            return text.size();
        }
        const auto at = static_cast<size_t>(static_cast<const char*>(quote) - text.data());
        if (!oddBackslashesBefore(text, at, i)) {
            inString_ = false;
            return at + 1;
        }
        i = at + 1;
    }
    return i;
}

// Whether the run of backslashes ending just before `at` (not reaching before `from`, where
// nothing escapes) is odd, so that it escapes the character at `at`.
bool ValueScanner::oddBackslashesBefore(std::string_view text, size_t at, size_t from) {
    size_t run = 0;
    while (at > from && text[at - 1] == '\\') {
        --at;
        ++run;
    }
    return run % 2 == 1;
}

std::string text(std::string_view token) {
    // The stored form escapes nothing in its keys and names of cases: read those without a parser.
    if (token.size() >= 2 && token.front() == '"' && token.back() == '"' &&
        token.find('\\') == std::string_view::npos) {
        bool plain = true;
        for (char c : token.substr(1, token.size() - 2))
            plain = plain && static_cast<unsigned char>(c) >= 0x20;
        if (plain) return std::string(token.substr(1, token.size() - 2));
    }
    auto value = nlohmann::json::parse(token, nullptr, false);
    if (!value.is_string()) fail("expected a text");
    return value.get<std::string>();
}

bool isText(std::string_view token, std::string_view word) {
    if (token.size() == word.size() + 2 && token.front() == '"' && token.back() == '"' &&
        token.substr(1, word.size()) == word)
        return true;
    return token.find('\\') != std::string_view::npos && token.front() == '"' && text(token) == word;
}

}  // namespace halvetrop::jsonscan
