#pragma once
// Names the camera families that wrote a card from its folder structure and a sample of its file
// names; opens no file.
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "anatomy/Kinds.h"

namespace halvetrop {

// Date-named folders some cameras make under DCIM: eight ASCII digits, a folder number (100-999),
// the last digit of the year, the month and the day, e.g. "10040316".
struct SonyDateFolder {
    struct Date {
        int yearDigit = 0;
        int month = 0;
        int day = 0;
        friend bool operator==(const Date&, const Date&) = default;
    };

    // No value unless the name is exactly eight ASCII digits, the first not 0, the month 1-12 and
    // the day 1-31 (not checked against the month's length).
    static std::optional<Date> decode(std::string_view folderName);

    // "yyyy-MM-dd" with the latest year not after referenceYear that ends in the year digit, e.g.
    // day("10040316", 2025) == "2024-03-16"; no value when the name is not a date folder.
    static std::optional<std::string> day(std::string_view folderName, int referenceYear);
};

// Holds its compiled patterns (immutable); detect() is const and may run on many threads at once.
class CameraDetector {
public:
    CameraDetector();
    ~CameraDetector();
    // Copies share the immutable compiled patterns; there is no move, so no detector is ever
    // left without them.
    CameraDetector(const CameraDetector&);
    CameraDetector& operator=(const CameraDetector&);

    // Every profile detection can produce, in the order it tests and lists them.
    static const std::vector<CameraProfile>& profiles();

    // `directories`: directory paths relative to the card root ("/"-separated, valid UTF-8);
    // `sampleFileNames`: a sample of card file names. Each profile at most once, in profiles()
    // order; "dcf" only when nothing else was found and DCIM has a direct subfolder.
    std::vector<CameraProfile> detect(std::span<const std::string> directories,
                                      std::span<const std::string> sampleFileNames) const;

private:
    struct Patterns;
    std::shared_ptr<const Patterns> patterns_;
};

}  // namespace halvetrop
