#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace halvetrop {

// Numbers lower-cased file extensions for one check, shared by the backup index and the
// comparison workers: 1, 2, 3... in order of first request, the empty extension included; the
// 65,536th distinct extension gets 0 and later ones repeat earlier numbers.
class ExtTable {
public:
    // The extension is the text after the last "." that is not the name's first character.
    uint16_t id(std::string_view name);
    size_t count() const;

private:
    mutable std::mutex lock_;
    std::unordered_map<std::string, uint16_t> ids_;
};

}  // namespace halvetrop
