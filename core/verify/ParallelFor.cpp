#include "verify/ParallelFor.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace halvetrop {

void parallelFor(int64_t count, int64_t width, const std::function<void(int64_t)>& body) {
    if (count <= 0) return;
    const int64_t workers = std::min(count, std::max<int64_t>(width, 1));

    std::mutex mutex;
    int64_t cursor = 0;
    std::exception_ptr failure;  // the first exception of any body; stops the hand-out

    auto work = [&] {
        for (;;) {
            int64_t i;
            {
                std::lock_guard<std::mutex> guard(mutex);
                if (failure) return;
                i = cursor++;
            }
            if (i >= count) return;
            try {
                body(i);
            } catch (...) {
                // An exception leaving a thread would end the process; carry it to the caller.
                std::lock_guard<std::mutex> guard(mutex);
                if (!failure) failure = std::current_exception();
                return;
            }
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(workers - 1));
    try {
        for (int64_t t = 1; t < workers; ++t) threads.emplace_back(work);
    } catch (const std::system_error&) {
        // The system refused another thread: the ones running and this one finish the loop.
    }
    work();
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace halvetrop
