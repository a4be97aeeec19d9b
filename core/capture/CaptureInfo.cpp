#include "capture/CaptureInfo.h"

#include "capture/CaptureReader.h"

#include <array>
#include <functional>

namespace halvetrop {
namespace {

constexpr std::array<std::string_view, 5> kSourceNames{"exif", "sonyClipXML", "quickTime", "sonyDateFolder",
                                                       "fileModified"};

}  // namespace

std::string_view rawValue(DateSource source) { return kSourceNames[static_cast<size_t>(source)]; }

std::optional<DateSource> dateSourceFromRaw(std::string_view text) {
    for (size_t i = 0; i < kSourceNames.size(); ++i)
        if (kSourceNames[i] == text) return static_cast<DateSource>(i);
    return std::nullopt;
}

std::optional<std::string> CaptureInfo::day() const {
    if (wallClock && characterCount(firstCharacters(*wallClock, 10)) == 10) {
        std::string day(firstCharacters(*wallClock, 10));
        for (char& c : day)
            if (c == ':') c = '-';
        return day;
    }
    if (date) return CaptureReader::dayFormatter().format(*date);
    return std::nullopt;
}

std::optional<CaptureIdentity> CaptureInfo::identity() const {
    if (!wallClock || (source != DateSource::exif && source != DateSource::sonyClipXML)) return std::nullopt;
    return CaptureIdentity{*wallClock, model, serial, uniqueID};
}

}  // namespace halvetrop

size_t std::hash<halvetrop::CaptureInfo>::operator()(const halvetrop::CaptureInfo& info) const noexcept {
    size_t h = info.date ? std::hash<int64_t>{}(*info.date) : 0x2545f4914f6cdd1dULL;
    for (const auto* field : {&info.wallClock, &info.model, &info.serial, &info.uniqueID}) {
        const size_t v = *field ? std::hash<std::string>{}(**field) : 0x51ed270b27a3c4e1ULL;
        h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    }
    return h ^ (static_cast<size_t>(info.source) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}
