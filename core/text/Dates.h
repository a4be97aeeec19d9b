#pragma once
// Fixed-pattern date texts: shoot days "yyyy-MM-dd" and camera wall clocks "yyyy:MM:dd HH:mm:ss",
// always with ASCII digits (the POSIX locale), in the machine's local zone or in UTC.
//
// A formatter is a small immutable value with no hidden state, so one instance may be used from
// any number of threads. Local time goes through localtime_r, which reads the zone the process
// was started with; a program that changes TZ must do so before it starts threads.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvetrop {

// Nanoseconds since 1970-01-01 00:00:00 UTC: the one representation of an instant in the core.
using TimeNs = int64_t;

enum class DatePattern {
    day,   // yyyy-MM-dd
    wall,  // yyyy:MM:dd HH:mm:ss
};

enum class DateZone { local, utc };

class DateFormatter {
public:
    constexpr DateFormatter(DatePattern pattern, DateZone zone) : pattern_(pattern), zone_(zone) {}

    DatePattern pattern() const { return pattern_; }
    DateZone zone() const { return zone_; }
    // Number of characters of the pattern (10 or 19).
    size_t length() const;

    // The text of an instant (sub-seconds dropped, rounded towards the past). Empty only when the
    // instant lies outside what the C library can convert.
    std::string format(TimeNs instant) const;

    // The instant a text names, or nothing. The whole text must match the pattern: ASCII digits,
    // the exact separators, month 1-12, day within its month, hour 0-23, minute and second 0-59.
    // In the local zone a wall time that falls in a daylight-saving gap names no instant, and one
    // that occurs twice (clocks set back) names the later of the two.
    std::optional<TimeNs> parse(std::string_view text) const;

private:
    DatePattern pattern_;
    DateZone zone_;
};

// The first `count` user-perceived characters (grapheme clusters) of UTF-8 text; the whole text
// when it has fewer. Invalid UTF-8 sequences count as one character each.
std::string_view firstCharacters(std::string_view text, size_t count);

// The number of user-perceived characters in UTF-8 text.
size_t characterCount(std::string_view text);

}  // namespace halvetrop
