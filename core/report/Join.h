#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace halvetrop {

// The core's one way to put a path together: `left` unchanged when `right` is empty, `left` +
// `right` when `left` ends in "/", else `left` + "/" + `right`. Nothing else is normalised: a
// leading "/" of `right` is kept and no "." or ".." is resolved.
std::string join(std::string_view left, std::string_view right);

// ... and to take one apart: the non-empty "/"-separated components in order ("/a//b/" gives "a",
// "b"), as views into `path`. "." and ".." are components like any other.
std::vector<std::string_view> pathComponents(std::string_view path);

// The folder holding `path`: all before its last "/" ("/" for a path directly below the root); empty
// when it has no "/".
std::string parentOf(std::string_view path);

// The last non-empty component of `path` ("a/b/" gives "b"), a view into it; empty when it has none.
std::string_view lastComponent(std::string_view path);

}  // namespace halvetrop
