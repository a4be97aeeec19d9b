#include "capture/CaptureInfo.h"

#include "capture/CaptureReader.h"

#include <array>
#include <cmath>
#include <functional>

namespace halvetrop {
namespace {

constexpr std::array<std::string_view, 5> kSourceNames{"exif", "sonyClipXML", "quickTime", "sonyDateFolder",
                                                       "fileModified"};

// 2001-01-01 00:00:00 UTC in seconds since 1970: the epoch of stored instants.
constexpr int64_t kReferenceEpoch = 978307200;
constexpr int64_t kNs = 1'000'000'000;

template <class Json>
bool readOptionalText(const Json& object, const char* key, std::optional<std::string>& out) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->template get<std::string>();
    return true;
}

template <class Json>
std::optional<CaptureInfo> decode(const Json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto source = object.find("source");
    if (source == object.end() || !source->is_string()) return std::nullopt;
    const auto parsed = dateSourceFromRaw(source->template get_ref<const std::string&>());
    if (!parsed) return std::nullopt;
    CaptureInfo info;
    info.source = *parsed;
    const auto date = object.find("date");
    if (date != object.end() && !date->is_null()) {
        if (!date->is_number()) return std::nullopt;
        info.date = fromReferenceSeconds(date->template get<double>());
        if (!info.date) return std::nullopt;
    }
    if (!readOptionalText(object, "wallClock", info.wallClock) || !readOptionalText(object, "model", info.model) ||
        !readOptionalText(object, "serial", info.serial) || !readOptionalText(object, "uniqueID", info.uniqueID))
        return std::nullopt;
    return info;
}

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

double toReferenceSeconds(TimeNs instant) {
    // Whole seconds and the fraction apart, so the subtraction loses nothing before the division.
    const int64_t whole = instant / kNs - kReferenceEpoch;
    const int64_t fraction = instant % kNs;
    return static_cast<double>(whole) + static_cast<double>(fraction) / 1e9;
}

std::optional<TimeNs> fromReferenceSeconds(double seconds) {
    if (!std::isfinite(seconds)) return std::nullopt;
    const double whole = std::floor(seconds);
    // 64-bit nanoseconds reach about 9.2e9 seconds either side of 1970.
    if (whole > 9.0e9 || whole < -9.0e9) return std::nullopt;
    const int64_t wholeSeconds = static_cast<int64_t>(whole) + kReferenceEpoch;
    const int64_t fraction = std::llround((seconds - whole) * 1e9);
    return wholeSeconds * kNs + fraction;
}

nlohmann::ordered_json toJson(const CaptureInfo& info) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    if (info.date) out["date"] = toReferenceSeconds(*info.date);
    if (info.wallClock) out["wallClock"] = *info.wallClock;
    if (info.model) out["model"] = *info.model;
    if (info.serial) out["serial"] = *info.serial;
    if (info.uniqueID) out["uniqueID"] = *info.uniqueID;
    out["source"] = std::string(rawValue(info.source));
    return out;
}

std::optional<CaptureInfo> captureInfoFromJson(const nlohmann::json& object) { return decode(object); }
std::optional<CaptureInfo> captureInfoFromJson(const nlohmann::ordered_json& object) { return decode(object); }

}  // namespace halvetrop

size_t std::hash<halvetrop::CaptureInfo>::operator()(const halvetrop::CaptureInfo& info) const noexcept {
    size_t h = info.date ? std::hash<int64_t>{}(*info.date) : 0x2545f4914f6cdd1dULL;
    for (const auto* field : {&info.wallClock, &info.model, &info.serial, &info.uniqueID}) {
        const size_t v = *field ? std::hash<std::string>{}(**field) : 0x51ed270b27a3c4e1ULL;
        h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    }
    return h ^ (static_cast<size_t>(info.source) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}
