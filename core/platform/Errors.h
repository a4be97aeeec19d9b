#pragma once
#include <string>
#include <string_view>

namespace halvetrop {

// The system's English text for an error number, safe to call from any thread.
std::string errorText(int error);

// The current errno, or EIO when a failed call left none, so that a failure never reads as success.
int currentError();

// "operation path: system text" — how a failed system call reads to the user.
std::string systemCallMessage(std::string_view operation, std::string_view path, int error);

}  // namespace halvetrop
