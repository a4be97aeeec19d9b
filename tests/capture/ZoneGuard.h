#pragma once
// Sets the process time zone for one test and puts the previous one back. Only for the capture
// test executables, which run their tests on one thread: localtime_r reads the zone without a
// lock, so it must never change while another thread formats a date.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace halvetrop::test {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (previous_)
            ::setenv("TZ", previous_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    std::optional<std::string> previous_;
};

inline constexpr int64_t kNsPerSecond = 1'000'000'000;

}  // namespace halvetrop::test
