#pragma once
#include <cstdint>
#include <functional>

namespace halvetrop {

// Runs body(0) ... body(count - 1) on min(count, max(width, 1)) threads (the calling thread is
// one of them) that take the next index from a shared cursor under a mutex: indices are handed
// out in increasing order, each once, and finish in any order. Returns when every worker has
// ended. When a body throws, no further index is handed out and the first exception is rethrown
// here after the join; the others are dropped.
void parallelFor(int64_t count, int64_t width, const std::function<void(int64_t)>& body);

}  // namespace halvetrop
