#pragma once
#include <string>
#include <string_view>

namespace halvetrop {

// The core's one way to put a path together: `left` unchanged when `right` is empty, `left` +
// `right` when `left` ends in "/", else `left` + "/" + `right`. Nothing else is normalised: a
// leading "/" of `right` is kept and no "." or ".." is resolved.
std::string join(std::string_view left, std::string_view right);

}  // namespace halvetrop
