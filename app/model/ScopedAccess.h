#pragma once
// The locations open for the current check. Linux has no sandbox grant to start or stop, so this
// only remembers which locations the model treats as open: the card first, then the backups.
#include <string>
#include <vector>

namespace halvetrop {

class ScopedAccess {
public:
    // Replaces the open set; the previous one is released first.
    void begin(std::vector<std::string> locations) {
        release();
        open_ = std::move(locations);
    }
    void release() { open_.clear(); }
    const std::vector<std::string>& open() const { return open_; }

private:
    std::vector<std::string> open_;
};

}  // namespace halvetrop
