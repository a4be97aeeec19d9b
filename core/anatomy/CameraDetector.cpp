#include "anatomy/CameraDetector.h"

#include <unicode/parseerr.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <stdexcept>

#include "anatomy/Anatomy.h"

namespace halvetrop {

namespace {

std::unique_ptr<const icu::RegexPattern> compile(const char16_t* source) {
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(
        icu::RegexPattern::compile(icu::UnicodeString(source), 0, parseError, status));
    if (U_FAILURE(status) || !pattern) {
        throw std::logic_error("camera folder pattern does not compile");
    }
    return std::unique_ptr<const icu::RegexPattern>(pattern.release());
}

icu::UnicodeString unicode(std::string_view utf8) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

// Lower-cased, with empty components dropped, so "/PRIVATE/M4ROOT/" and "private/m4root" are one
// path to every rule below.
std::string normalisedPath(std::string_view path) {
    const std::string lowered = Anatomy::lower(path);
    std::string out;
    out.reserve(lowered.size());
    std::size_t start = 0;
    while (start <= lowered.size()) {
        std::size_t slash = lowered.find('/', start);
        if (slash == std::string::npos) slash = lowered.size();
        if (slash > start) {
            if (!out.empty()) out += '/';
            out.append(lowered, start, slash - start);
        }
        start = slash + 1;
    }
    return out;
}

// The folder below a DCIM folder at the card root, from a normalised path: "dcim/100msdcf" gives
// "100msdcf"; anything shallower or deeper gives nothing.
std::optional<std::string_view> dcimSubfolder(std::string_view path) {
    constexpr std::string_view prefix = "dcim/";
    if (!path.starts_with(prefix)) return std::nullopt;
    const std::string_view rest = path.substr(prefix.size());
    if (rest.empty() || rest.find('/') != std::string_view::npos) return std::nullopt;
    return rest;
}

}  // namespace

struct CameraDetector::Patterns {
    // \d is any decimal digit of Unicode (Nd), as the platform's regular expressions have it.
    std::unique_ptr<const icu::RegexPattern> sonyStills = compile(u"^\\d{3}msdcf$");
    std::unique_ptr<const icu::RegexPattern> canon = compile(u"^\\d{3}(canon|eos)");
    std::unique_ptr<const icu::RegexPattern> nikon = compile(u"^\\d{3}(nikon|ncz_|nz_)");
    std::unique_ptr<const icu::RegexPattern> fujifilm = compile(u"^\\d{3}_fuji$");
    std::unique_ptr<const icu::RegexPattern> panasonic = compile(u"^\\d{3}_pana$");
    std::unique_ptr<const icu::RegexPattern> gopro = compile(u"^\\d{3}gopro$");
    std::unique_ptr<const icu::RegexPattern> djiNamed = compile(u"^dji_\\d{3}$");
    std::unique_ptr<const icu::RegexPattern> djiMedia = compile(u"^\\d{3}media$");
    std::unique_ptr<const icu::RegexPattern> insta360 = compile(u"^camera\\d{2}$");
    std::unique_ptr<const icu::RegexPattern> olympus = compile(u"^\\d{3}olymp$");
    std::unique_ptr<const icu::RegexPattern> omSystem = compile(u"^\\d{3}omsys");
    std::unique_ptr<const icu::RegexPattern> ricoh = compile(u"^\\d{3}ricoh$");
    std::unique_ptr<const icu::RegexPattern> pentax = compile(u"^\\d{3}_pentx$");
    std::unique_ptr<const icu::RegexPattern> leica = compile(u"^\\d{3}leica$");
};

CameraDetector::CameraDetector() : patterns_(std::make_shared<const Patterns>()) {}
CameraDetector::~CameraDetector() = default;
CameraDetector::CameraDetector(const CameraDetector&) = default;
CameraDetector& CameraDetector::operator=(const CameraDetector&) = default;

const std::vector<CameraProfile>& CameraDetector::profiles() {
    static const std::vector<CameraProfile> table{
        {"sony.stills", "Sony \xCE\xB1 stills"},
        {"sony.xavc", "Sony XAVC video"},
        {"avchd", "AVCHD video"},
        {"canon", "Canon EOS"},
        {"canon.cinema", "Canon Cinema EOS"},
        {"nikon", "Nikon"},
        {"fujifilm", "FUJIFILM"},
        {"panasonic", "Panasonic LUMIX"},
        {"gopro", "GoPro"},
        {"dji", "DJI"},
        {"insta360", "Insta360"},
        {"om", "OM System / Olympus"},
        {"ricoh", "RICOH / PENTAX"},
        {"leica", "Leica"},
        {"red", "RED"},
        {"blackmagic", "Blackmagic RAW"},
        {"dcf", "Camera card (DCIM)"},
    };
    return table;
}

std::vector<CameraProfile> CameraDetector::detect(
    std::span<const std::string> directories, std::span<const std::string> sampleFileNames) const {
    std::vector<std::string> paths;
    paths.reserve(directories.size());
    std::vector<std::string> dcimSubfolders;
    for (const std::string& directory : directories) {
        paths.push_back(normalisedPath(directory));
        // Only direct subfolders of a DCIM folder at the card root name a camera.
        if (auto subfolder = dcimSubfolder(paths.back())) dcimSubfolders.emplace_back(*subfolder);
    }
    std::vector<icu::UnicodeString> subfolders;
    subfolders.reserve(dcimSubfolders.size());
    for (const std::string& s : dcimSubfolders) subfolders.push_back(unicode(s));

    // One matcher per pattern and call: matchers hold state, the patterns are shared.
    auto subfolderMatches = [&subfolders](const icu::RegexPattern& pattern) {
        if (subfolders.empty()) return false;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(status));
        if (U_FAILURE(status) || !matcher) return false;
        for (const icu::UnicodeString& subfolder : subfolders) {
            matcher->reset(subfolder);
            status = U_ZERO_ERROR;
            if (matcher->find(status) && U_SUCCESS(status)) return true;
        }
        return false;
    };
    auto anyPath = [&paths](auto&& test) {
        for (const std::string& p : paths) {
            if (test(std::string_view(p))) return true;
        }
        return false;
    };

    const Patterns& p = *patterns_;
    const std::vector<CameraProfile>& all = profiles();
    std::vector<CameraProfile> result;
    auto addIf = [&result, &all](std::size_t index, bool holds) {
        if (!holds) return;
        for (const CameraProfile& found : result) {
            if (found.id == all[index].id) return;
        }
        result.push_back(all[index]);
    };

    addIf(
        0, subfolderMatches(*p.sonyStills) || [&dcimSubfolders] {
            for (const std::string& s : dcimSubfolders) {
                if (SonyDateFolder::decode(s)) return true;
            }
            return false;
        }());
    addIf(1, anyPath([](std::string_view s) { return s.ends_with("m4root"); }));
    addIf(2, anyPath([](std::string_view s) { return s == "private/avchd"; }));
    addIf(3, subfolderMatches(*p.canon) ||
                 anyPath([](std::string_view s) { return s == "dcim/canonmsc"; }));
    addIf(4, anyPath([](std::string_view s) { return s.starts_with("contents/clips"); }));
    addIf(5, subfolderMatches(*p.nikon));
    addIf(6, subfolderMatches(*p.fujifilm));
    addIf(7, subfolderMatches(*p.panasonic));
    addIf(8, subfolderMatches(*p.gopro));
    addIf(9, subfolderMatches(*p.djiNamed) || subfolderMatches(*p.djiMedia));
    addIf(10, subfolderMatches(*p.insta360));
    addIf(11, subfolderMatches(*p.olympus) || subfolderMatches(*p.omSystem));
    addIf(12, subfolderMatches(*p.ricoh) || subfolderMatches(*p.pentax));
    addIf(13, subfolderMatches(*p.leica));
    addIf(14, anyPath([](std::string_view s) { return s.ends_with(".rdm"); }));
    addIf(15, [&sampleFileNames] {
        for (const std::string& name : sampleFileNames) {
            if (Anatomy::lower(name).ends_with(".braw")) return true;
        }
        return false;
    }());
    // The generic DCIM card only when no family was recognised.
    addIf(16, result.empty() && !dcimSubfolders.empty());
    return result;
}

std::optional<SonyDateFolder::Date> SonyDateFolder::decode(std::string_view folderName) {
    if (folderName.size() != 8) return std::nullopt;
    int d[8];
    for (std::size_t i = 0; i < 8; ++i) {
        const char c = folderName[i];
        if (c < '0' || c > '9') return std::nullopt;
        d[i] = c - '0';
    }
    if (d[0] == 0) return std::nullopt;
    const int month = d[4] * 10 + d[5];
    const int day = d[6] * 10 + d[7];
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    return Date{d[3], month, day};
}

std::optional<std::string> SonyDateFolder::day(std::string_view folderName, int referenceYear) {
    const std::optional<Date> date = decode(folderName);
    if (!date) return std::nullopt;
    // 64-bit, so no reference year can overflow; the remainder is taken as a true modulus.
    const long long reference = referenceYear;
    const long long lastDigit = ((reference % 10) + 10) % 10;
    long long year = reference - ((lastDigit - date->yearDigit + 10) % 10);
    if (year > reference) year -= 10;
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d", year, date->month, date->day);
    return std::string(text);
}

}  // namespace halvetrop
