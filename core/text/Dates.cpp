#include "text/Dates.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include <array>
#include <cstdio>
#include <ctime>

namespace halvetrop {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool isLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int64_t year, int month) {
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[static_cast<size_t>(month - 1)];
}

// Reads `width` ASCII digits at `pos`; -1 when any is not a digit.
int digits(std::string_view text, size_t pos, size_t width) {
    int value = 0;
    for (size_t i = 0; i < width; ++i) {
        const char c = text[pos + i];
        if (!isAsciiDigit(c)) return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

struct Fields {
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

std::optional<Fields> parseFields(std::string_view text, DatePattern pattern) {
    const bool wall = pattern == DatePattern::wall;
    if (text.size() != (wall ? 19u : 10u)) return std::nullopt;
    const char dateSep = wall ? ':' : '-';
    if (text[4] != dateSep || text[7] != dateSep) return std::nullopt;
    Fields f;
    f.year = digits(text, 0, 4);
    f.month = digits(text, 5, 2);
    f.day = digits(text, 8, 2);
    if (f.year < 0 || f.month < 1 || f.month > 12 || f.day < 1) return std::nullopt;
    if (f.day > daysInMonth(f.year, f.month)) return std::nullopt;
    if (wall) {
        if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
        f.hour = digits(text, 11, 2);
        f.minute = digits(text, 14, 2);
        f.second = digits(text, 17, 2);
        if (f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59)
            return std::nullopt;
    }
    return f;
}

struct tm toTm(const Fields& f) {
    struct tm t {};
    t.tm_year = f.year - 1900;
    t.tm_mon = f.month - 1;
    t.tm_mday = f.day;
    t.tm_hour = f.hour;
    t.tm_min = f.minute;
    t.tm_sec = f.second;
    t.tm_isdst = -1;
    return t;
}

bool sameWall(const struct tm& a, const Fields& f) {
    return a.tm_year == f.year - 1900 && a.tm_mon == f.month - 1 && a.tm_mday == f.day &&
           a.tm_hour == f.hour && a.tm_min == f.minute && a.tm_sec == f.second;
}

// The later instant whose local wall clock shows exactly these fields, if any. The wall time read
// as UTC is W; a real instant showing it is W - offset for an offset in force within the 14 hours
// on either side of W (no zone is further from UTC), so the offsets at those bounds, at W and
// the one mktime chooses are the only candidates. Each candidate is checked by converting back.
std::optional<time_t> localInstant(const Fields& f) {
    struct tm utc = toTm(f);
    // Years 0-9999 are far inside 64-bit time_t, so timegm cannot fail here.
    const time_t wallAsUtc = timegm(&utc);
    constexpr time_t kWidest = 14 * 3600;
    std::array<time_t, 4> candidates{};
    size_t count = 0;
    for (time_t probe : {wallAsUtc - kWidest, wallAsUtc, wallAsUtc + kWidest}) {
        struct tm local {};
        if (localtime_r(&probe, &local)) candidates[count++] = wallAsUtc - local.tm_gmtoff;
    }
    struct tm byMktime = toTm(f);
    const time_t chosen = mktime(&byMktime);
    if (chosen != static_cast<time_t>(-1)) candidates[count++] = chosen;

    std::optional<time_t> best;
    for (size_t i = 0; i < count; ++i) {
        struct tm back {};
        if (!localtime_r(&candidates[i], &back) || !sameWall(back, f)) continue;
        if (!best || candidates[i] > *best) best = candidates[i];
    }
    return best;
}

// An ASCII byte is a character of its own; any other byte starts or continues a longer one.
bool isAscii(unsigned char c) { return c < 0x80; }

// Byte length of the first `count` grapheme clusters (all of them when count is SIZE_MAX), and
// how many clusters that was.
std::pair<size_t, size_t> clusters(std::string_view text, size_t count) {
    // ASCII fast path: every byte is a cluster except CR LF; a non-ASCII byte right after the cut
    // may be a combining mark joining the last cluster, so it sends us to ICU as well.
    size_t i = 0, n = 0;
    bool ascii = true;
    while (n < count && i < text.size()) {
        if (!isAscii(static_cast<unsigned char>(text[i]))) {
            ascii = false;
            break;
        }
        i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        ++n;
    }
    if (ascii && (i >= text.size() || isAscii(static_cast<unsigned char>(text[i])))) return {i, n};

    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    UBreakIterator* bi = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    std::pair<size_t, size_t> result{text.size(), 0};
    if (U_SUCCESS(status)) {
        ubrk_setUText(bi, ut, &status);
        size_t end = 0, seen = 0;
        if (U_SUCCESS(status)) {
            int32_t pos = ubrk_first(bi);
            while (seen < count) {
                pos = ubrk_next(bi);
                if (pos == UBRK_DONE) break;
                end = static_cast<size_t>(pos);
                ++seen;
            }
            result = {end, seen};
        }
    }
    ubrk_close(bi);
    utext_close(ut);
    return result;
}

}  // namespace

size_t DateFormatter::length() const { return pattern_ == DatePattern::wall ? 19 : 10; }

std::string DateFormatter::format(TimeNs instant) const {
    // Floor division so that instants before 1970 keep their second.
    time_t seconds = static_cast<time_t>(instant / kNsPerSecond);
    if (instant % kNsPerSecond < 0) --seconds;
    struct tm t {};
    const bool ok = zone_ == DateZone::utc ? gmtime_r(&seconds, &t) != nullptr : localtime_r(&seconds, &t) != nullptr;
    if (!ok) return {};
    const long long year = static_cast<long long>(t.tm_year) + 1900;
    char buffer[64];
    int n;
    if (pattern_ == DatePattern::day) {
        n = std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d", year, t.tm_mon + 1, t.tm_mday);
    } else {
        n = std::snprintf(buffer, sizeof buffer, "%04lld:%02d:%02d %02d:%02d:%02d", year, t.tm_mon + 1, t.tm_mday,
                          t.tm_hour, t.tm_min, t.tm_sec);
    }
    if (n < 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::optional<TimeNs> DateFormatter::parse(std::string_view text) const {
    const auto fields = parseFields(text, pattern_);
    if (!fields) return std::nullopt;
    time_t seconds;
    if (zone_ == DateZone::utc) {
        struct tm t = toTm(*fields);
        t.tm_isdst = 0;
        seconds = timegm(&t);
    } else {
        const auto local = localInstant(*fields);
        if (!local) return std::nullopt;
        seconds = *local;
    }
    // Four-digit years stay far inside the range of 64-bit nanoseconds (about 292 years
    // either side of 1970 is the limit, so check).
    constexpr time_t kMax = INT64_MAX / kNsPerSecond;
    if (seconds > kMax || seconds < -kMax) return std::nullopt;
    return static_cast<TimeNs>(seconds) * kNsPerSecond;
}

std::string_view firstCharacters(std::string_view text, size_t count) {
    return text.substr(0, clusters(text, count).first);
}

size_t characterCount(std::string_view text) { return clusters(text, SIZE_MAX).second; }

}  // namespace halvetrop
