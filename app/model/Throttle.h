#pragma once
// Rate limits for progress published from worker threads, and the buffer the byte-by-byte pass's
// workers fill between two folds.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

#include "report/Report.h"
#include "verify/Verifier.h"

namespace halvetrop {

inline int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Lets one progress report through per interval, and always the last one (stage done). Several
// worker threads may ask at once; losing the race lets at most one extra report through.
class Throttle {
public:
    explicit Throttle(int64_t intervalNs) : interval_(intervalNs) {}
    bool admit(const VerifyProgress& p) {
        int64_t now = monotonicNs();
        if (p.stage != VerifyProgress::Stage::done &&
            now - last_.load(std::memory_order_relaxed) <= interval_)
            return false;
        last_.store(now, std::memory_order_relaxed);
        return true;
    }

private:
    const int64_t interval_;
    std::atomic<int64_t> last_{std::numeric_limits<int64_t>::min() / 2};
};

// Per-file results of a pass, filled by the verifier's workers and emptied by the fold.
class LiveBuffer {
public:
    void append(const FileResult& r) {
        std::lock_guard<std::mutex> hold(lock_);
        items_.push_back(r);
    }
    std::vector<FileResult> takeAll() {
        std::vector<FileResult> out;
        std::lock_guard<std::mutex> hold(lock_);
        out.swap(items_);
        return out;
    }

private:
    std::mutex lock_;
    std::vector<FileResult> items_;
};

}  // namespace halvetrop
