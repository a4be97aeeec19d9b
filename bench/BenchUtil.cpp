#include "BenchUtil.h"

#include "text/Utf8.h"

#include <nlohmann/json.hpp>

#include <sys/resource.h>

namespace halvetrop::bench {

double peakRssMiB() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string jsonString(std::string_view text) {
    return nlohmann::json(repairUtf8(text)).dump();
}

}  // namespace halvetrop::bench
