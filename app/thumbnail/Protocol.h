#pragma once
// The pipe between the application and its thumbnail helper. A request names one file on a card;
// a reply carries the picture as raw pixels or says that none could be made. Both sides read
// bounded frames only: a frame that is too long, or whose numbers do not parse, is an error.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvetrop::thumbs {

inline constexpr size_t maxPath = 4096;
inline constexpr int maxSide = 1024;

// "T <id> <side> <path length>\n<path bytes>"
struct Request {
    uint64_t id = 0;
    int side = 0;
    std::string path;
    friend bool operator==(const Request&, const Request&) = default;
};
std::string encode(const Request& request);

// What a reader made of the start of a buffer: a frame and the bytes it used, a need for more
// bytes, or an error (the stream cannot be trusted after it).
template <class Frame>
struct Read {
    enum class State { frame, needMore, error } state = State::needMore;
    Frame frame{};
    size_t used = 0;
};
Read<Request> readRequest(std::string_view buffer);

// How a video's Y'CbCr samples stand for its colours, as its own description says: black at 16 and
// white at 235 (limited, as most cameras write), or all 256 levels (full, as phones write).
enum class VideoRange { unknown, limited, full };

// "R <id> <width> <height>\n" + width*height*4 bytes of premultiplied ARGB32, or "F <id>\n". A
// video's picture says the range of its samples after its size, " l" or " f" ("R <id> <width>
// <height> f\n"). A helper that had to read the file without keeping its access time (see
// NoAtime.h) ends the header line with " t" ("R <id> <width> <height> t\n", "F <id> t\n"), so
// that the application can say so.
struct Reply {
    uint64_t id = 0;
    bool ok = false;
    int width = 0, height = 0;
    std::string pixels;
    bool accessTimeTouched = false;
    VideoRange range = VideoRange::unknown;
};
std::string encode(const Reply& reply);
Read<Reply> readReply(std::string_view buffer);

}  // namespace halvetrop::thumbs
