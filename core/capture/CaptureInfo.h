#pragma once
#include "anatomy/Kinds.h"
#include "capture/CaptureIdentity.h"
#include "text/Dates.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace halvetrop {

// Where the capture information of a file came from. Raw values are the case names.
enum class DateSource { exif, sonyClipXML, quickTime, sonyDateFolder, fileModified };

std::string_view rawValue(DateSource source);  // "exif", "sonyClipXML", ..., "fileModified"
// The case whose raw value is exactly `text` (case-sensitive), or nothing.
std::optional<DateSource> dateSourceFromRaw(std::string_view text);
template <>
inline std::optional<DateSource> fromRawValue<DateSource>(std::string_view text) {
    return dateSourceFromRaw(text);
}

// When and with which camera a shot was taken, and where that knowledge came from. Its stored
// (JSON) form belongs to the report library, which keeps every record a report embeds.
struct CaptureInfo {
    std::optional<TimeNs> date;             // absent when the wall-clock text reads as no date
    std::optional<std::string> wallClock;   // "yyyy:MM:dd HH:mm:ss", EXIF may add "." and sub-seconds
    std::optional<std::string> model;
    std::optional<std::string> serial;
    std::optional<std::string> uniqueID;
    DateSource source = DateSource::fileModified;

    // "yyyy-MM-dd": from the wall-clock text when it has at least 10 characters (even without a
    // date), else the local calendar day of the date, else absent.
    std::optional<std::string> day() const;

    // The shot identity; only records that name a shot (EXIF, Sony clip XML) with a wall clock.
    std::optional<CaptureIdentity> identity() const;

    friend bool operator==(const CaptureInfo&, const CaptureInfo&) = default;
};

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::CaptureInfo> {
    size_t operator()(const halvetrop::CaptureInfo& info) const noexcept;
};
