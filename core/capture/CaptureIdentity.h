#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace halvetrop {

// Names the shot a file holds: the camera's wall clock of the shot plus whatever identifies the
// camera and the image. Equality is field by field; telling shots apart is sameShot.
struct CaptureIdentity {
    std::string wallClock;
    std::optional<std::string> model = std::nullopt;
    std::optional<std::string> serial = std::nullopt;
    std::optional<std::string> uniqueID = std::nullopt;

    // Same shot: equal unique ids when both have one (nothing else counts then); otherwise equal
    // wall clocks, and equal models and serials where both sides have them. Texts are compared
    // as Unicode canonical equivalents, case-sensitively. Symmetric.
    bool sameShot(const CaptureIdentity& other) const;

    friend bool operator==(const CaptureIdentity&, const CaptureIdentity&) = default;
};

// True when two texts are canonically equivalent (equal after NFC).
bool canonicallyEqual(const std::string& a, const std::string& b);

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::CaptureIdentity> {
    size_t operator()(const halvetrop::CaptureIdentity& id) const noexcept;
};
