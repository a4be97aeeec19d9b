#include "BenchUtil.h"

#include "text/Utf8.h"

#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace halvetrop::bench {

double peakRssMiB() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double highWaterMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return peakRssMiB();
}

// Writing 5 to clear_refs resets the peak resident size to the current one.
bool resetHighWater() {
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

std::string jsonString(std::string_view text) {
    return nlohmann::json(repairUtf8(text)).dump();
}

}  // namespace halvetrop::bench
