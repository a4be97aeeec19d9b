// The thumbnail helper's request reader and the application's reply reader over any bytes: each
// frame it accepts lies inside the buffer, and a request read back encodes to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "thumbnail/Protocol.h"

using namespace halvetrop::thumbs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::string_view rest = bytes;;) {
        const auto r = readRequest(rest);
        if (r.state != Read<Request>::State::frame) break;
        if (r.used == 0 || r.used > rest.size() || encode(r.frame) != rest.substr(0, r.used)) std::abort();
        rest.remove_prefix(r.used);
    }
    for (std::string_view rest = bytes;;) {
        const auto r = readReply(rest);
        if (r.state != Read<Reply>::State::frame) break;
        if (r.used == 0 || r.used > rest.size()) std::abort();
        if (r.frame.ok && r.frame.pixels.size() != size_t(r.frame.width) * size_t(r.frame.height) * 4)
            std::abort();
        rest.remove_prefix(r.used);
    }
    return 0;
}
