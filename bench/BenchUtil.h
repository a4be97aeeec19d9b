#pragma once
#include <chrono>
#include <string>
#include <string_view>

namespace halvetrop::bench {

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// Peak resident set size of this process in MiB (from getrusage).
double peakRssMiB();
// Peak resident size since the last reset, in MiB (VmHWM; getrusage's peak where it is missing).
double highWaterMiB();
// Resets the peak resident size to the current one; false where the kernel does not allow it.
bool resetHighWater();

// A JSON string literal of valid UTF-8 text (quotes included).
std::string jsonString(std::string_view text);

}  // namespace halvetrop::bench
