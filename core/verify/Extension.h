#pragma once
#include <string>
#include <string_view>

namespace halvetrop {

// The upper-cased text after the last "." of a file name, when that "." is not the first
// character; empty otherwise. Formats are counted under it in shoots and the content summary.
std::string upperExtensionOf(std::string_view name);

}  // namespace halvetrop
