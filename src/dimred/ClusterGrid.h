#pragma once

// Hash grid of 2-D points shared by the clustering and the assignment. A
// cell (cx, cy) = (floor(x / h), floor(y / h)) has the key
// (cx << 32) | (cy & 0xFFFFFFFF); cells far apart can share a key, which
// only adds candidates that the distance test rejects.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quorvex3 {
namespace dbscandetail {

/// Cell coordinate of a value; the ratio is clamped into the 64-bit range
/// first, so absurd coordinates cannot overflow the conversion.
int64_t cellCoordinate(double value, double cellSize);

inline uint64_t cellKey(int64_t cx, int64_t cy) {
    return (static_cast<uint64_t>(cx) << 32) | (static_cast<uint64_t>(cy) & 0xFFFFFFFFull);
}

/// Points grouped by cell key: every cell lists its point indices in
/// ascending order as one contiguous run of `order`.
class CellIndex {
public:
    struct Run {
        uint32_t begin = 0;
        uint32_t end = 0;
    };

    /// keys[i] is the cell key of point `ids[i]`; ids ascend.
    CellIndex(const std::vector<uint64_t>& keys, const std::vector<uint32_t>& ids);

    /// The run of a key; empty when no point has it.
    Run find(uint64_t key) const;

    /// Point indices, grouped by cell.
    const std::vector<uint32_t>& order() const { return m_order; }

private:
    std::vector<uint32_t> m_order;
    std::vector<uint64_t> m_slotKeys;
    std::vector<Run> m_slotRuns;
    uint64_t m_mask = 0;
};

} // namespace dbscandetail
} // namespace Quorvex3
