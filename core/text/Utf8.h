#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace halvetrop {

// File names on Linux are bytes. These give the text shown to the user, used in name keys and
// written to JSON and CSV: every ill-formed sequence becomes U+FFFD, valid input is returned as is.
bool isValidUtf8(std::string_view bytes);
std::string repairUtf8(std::string_view bytes);

// Valid UTF-8 text that still holds every byte, for a name to be stored where only text goes:
// well-formed characters as they are, "%" as "%25", and each byte of an ill-formed sequence as
// "%" and two upper-case hexadecimal digits. Readable, and equal to the input for a name whose
// bytes are valid UTF-8 without a "%".
std::string escapeIllFormed(std::string_view bytes);
// The bytes escapeIllFormed was given. Nothing for a "%" that is not followed by two hexadecimal
// digits.
std::optional<std::string> unescapeIllFormed(std::string_view text);

// No byte of 0x80 or above: the text is valid UTF-8 and every Unicode step (normalisation, case
// mapping) reduces to its ASCII form, so callers can skip ICU.
inline bool isAllAscii(std::string_view bytes) {
    for (unsigned char b : bytes) {
        if (b >= 0x80) return false;
    }
    return true;
}

}  // namespace halvetrop
