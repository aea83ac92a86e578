// Open-addressing table from cell key to the run of its points.

#include "dimred/ClusterGrid.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Quorvex3 {
namespace dbscandetail {

namespace {

constexpr double kMaxRatio = 4.0e18; // below 2^63

uint64_t mix(uint64_t key) {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdull;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ull;
    key ^= key >> 33;
    return key;
}

} // namespace

int64_t cellCoordinate(double value, double cellSize) {
    double ratio = std::floor(value / cellSize);
    if (std::isnan(ratio))
        return 0;
    ratio = std::min(std::max(ratio, -kMaxRatio), kMaxRatio);
    return static_cast<int64_t>(ratio);
}

CellIndex::CellIndex(const std::vector<uint64_t>& keys, const std::vector<uint32_t>& ids) {
    const size_t n = keys.size();
    std::vector<uint32_t> pos(n);
    std::iota(pos.begin(), pos.end(), 0u);
    // Stable by position, and ids ascend: each cell's points stay in
    // ascending index order.
    std::stable_sort(pos.begin(), pos.end(),
                     [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    m_order.resize(n);
    for (size_t i = 0; i < n; ++i)
        m_order[i] = ids[pos[i]];
    size_t runs = 0;
    for (size_t i = 0; i < n; ++i)
        if (i == 0 || keys[pos[i]] != keys[pos[i - 1]])
            ++runs;
    size_t slots = 16;
    while (slots < 2 * runs)
        slots *= 2;
    m_mask = slots - 1;
    m_slotKeys.assign(slots, 0);
    m_slotRuns.assign(slots, Run{});
    size_t start = 0;
    for (size_t i = 1; i <= n; ++i) {
        if (i < n && keys[pos[i]] == keys[pos[start]])
            continue;
        const uint64_t key = keys[pos[start]];
        uint64_t slot = mix(key) & m_mask;
        while (m_slotRuns[slot].end != 0)
            slot = (slot + 1) & m_mask;
        m_slotKeys[slot] = key;
        m_slotRuns[slot] = Run{static_cast<uint32_t>(start), static_cast<uint32_t>(i)};
        start = i;
    }
}

CellIndex::Run CellIndex::find(uint64_t key) const {
    uint64_t slot = mix(key) & m_mask;
    while (m_slotRuns[slot].end != 0) {
        if (m_slotKeys[slot] == key)
            return m_slotRuns[slot];
        slot = (slot + 1) & m_mask;
    }
    return Run{};
}

} // namespace dbscandetail
} // namespace Quorvex3
