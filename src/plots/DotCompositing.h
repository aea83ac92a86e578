#pragma once

// Shared by the two dot curves that composite many dots themselves: Qt's
// rounding of a source-over blend, and the threads that blend row bands.

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace Quorvex3::dotcompositing {

/// Fewer dots per thread than this cost more in starting threads than they
/// save; more threads than this gain little on the memory bus.
constexpr std::size_t kMinDotsPerThread = 20000;
constexpr int kMaxThreads = 8;

/// Multiplies every channel of a premultiplied ARGB pixel by a/255, rounded
/// as Qt's raster engine does.
inline uint byteMul(uint x, uint a) {
    uint t = (x & 0xff00ffu) * a;
    t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
    t &= 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = (x + ((x >> 8) & 0xff00ffu) + 0x800080u);
    x &= 0xff00ff00u;
    return x | t;
}

/// Threads for `dots` dots over `rows` rows: `requested` when above 0,
/// else by the number of dots and the machine; at least 1, at most one per
/// `minRowsPerThread` rows.
inline int threadsFor(std::size_t dots, int rows, int requested, int minRowsPerThread) {
    const int byRows = std::max(1, rows / std::max(1, minRowsPerThread));
    if (requested > 0)
        return std::max(1, std::min(requested, std::max(1, rows)));
    const int hardware = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    const int byDots = static_cast<int>(std::min<std::size_t>(dots / kMinDotsPerThread, 64));
    return std::max(1, std::min({hardware, kMaxThreads, byDots, byRows}));
}

/// Runs work(0) .. work(count - 1) at once, work(0) on the calling thread,
/// and returns when all are done.
template <typename Work> void runOnThreads(int count, const Work& work) {
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(std::max(0, count - 1)));
    for (int i = 1; i < count; ++i)
        helpers.emplace_back([&work, i] { work(i); });
    work(0);
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace Quorvex3::dotcompositing
