// A minimal fork-join helper: every kernel that runs on several threads cuts
// its work into chunks whose bounds depend only on the data size, so the
// thread count changes the speed and never the bits of a result.

#include "dimred/ParallelChunks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace Quorvex3 {

namespace {

std::atomic<int> s_threadCount{0};

int hardwareThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

} // namespace

int dimRedThreadCount() {
    const int n = s_threadCount.load(std::memory_order_relaxed);
    return n > 0 ? n : hardwareThreads();
}

void setDimRedThreadCount(int count) {
    s_threadCount.store(count > 0 ? count : 0, std::memory_order_relaxed);
}

void parallelChunks(size_t chunks, const std::function<void(size_t)>& body) {
    if (chunks == 0)
        return;
    const size_t threads = std::min(chunks, static_cast<size_t>(dimRedThreadCount()));
    if (threads <= 1) {
        for (size_t c = 0; c < chunks; ++c)
            body(c);
        return;
    }
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto worker = [&]() {
        for (;;) {
            const size_t c = next.fetch_add(1, std::memory_order_relaxed);
            if (c >= chunks)
                return;
            try {
                body(c);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureMutex);
                if (!failure)
                    failure = std::current_exception();
                next.store(chunks, std::memory_order_relaxed);
            }
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    try {
        for (size_t t = 1; t < threads; ++t)
            pool.emplace_back(worker);
    } catch (...) {
        // Could not start more threads: the ones running and this one share
        // the remaining chunks.
    }
    worker();
    for (std::thread& t : pool)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace Quorvex3
