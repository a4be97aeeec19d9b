#include "platform/Errors.h"

#include <cerrno>
#include <cstring>

namespace halvetrop {

std::string errorText(int error) {
    const char* text = ::strerrordesc_np(error);
    if (text) return text;
    return "Unknown error " + std::to_string(error);
}

int currentError() { return errno != 0 ? errno : EIO; }

std::string systemCallMessage(std::string_view operation, std::string_view path, int error) {
    std::string out;
    out.reserve(operation.size() + path.size() + 40);
    out.append(operation);
    out.push_back(' ');
    out.append(path);
    out.append(": ");
    out.append(errorText(error));
    return out;
}

}  // namespace halvetrop
