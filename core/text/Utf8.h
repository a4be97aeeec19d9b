#pragma once
#include <string>
#include <string_view>

namespace halvetrop {

// File names on Linux are bytes. These give the text shown to the user, used in name keys and
// written to JSON and CSV: every ill-formed sequence becomes U+FFFD, valid input is returned as is.
bool isValidUtf8(std::string_view bytes);
std::string repairUtf8(std::string_view bytes);

}  // namespace halvetrop
