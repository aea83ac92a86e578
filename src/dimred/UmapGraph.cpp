// Directed memberships, their table order and the symmetrised edge list.

#include "dimred/UmapGraph.h"
#include "dimred/ParallelChunks.h"

#include <cmath>
#include <limits>

namespace Quorvex3 {
namespace umapdetail {

namespace {

constexpr int32_t kEmpty = -1;
constexpr int32_t kFront = -2; // the position before the first entry
constexpr size_t kGraphChunkRows = 4096;

bool isPrime(uint64_t n) {
    if (n < 2)
        return false;
    if (n % 2 == 0)
        return n == 2;
    for (uint64_t d = 3; d <= n / d; d += 2)
        if (n % d == 0)
            return false;
    return true;
}

uint64_t bucketOf(uint64_t key, uint64_t buckets, bool powerOfTwo) {
    return powerOfTwo ? (key & (buckets - 1)) : key % buckets;
}

} // namespace

uint64_t nextPrime(uint64_t n) {
    while (!isPrime(n))
        ++n;
    return n;
}

uint64_t tableBucketCount(uint64_t expected, uint64_t minimum) {
    uint64_t n = static_cast<uint64_t>(static_cast<float>(expected));
    if (n < minimum)
        n = minimum;
    if (n <= 1)
        return 2;
    if ((n & (n - 1)) == 0)
        return n;
    return nextPrime(n);
}

std::vector<uint32_t> chainedTableOrder(const std::vector<uint64_t>& keys, uint64_t buckets) {
    const size_t count = keys.size();
    std::vector<uint32_t> order;
    if (count == 0 || buckets == 0)
        return order;
    const bool powerOfTwo = (buckets & (buckets - 1)) == 0;
    // For every bucket, the entry just before its first entry (kFront when
    // that first entry heads the sequence), or kEmpty.
    std::vector<int32_t> before(static_cast<size_t>(buckets), kEmpty);
    std::vector<int32_t> next(count, kEmpty);
    int32_t head = kEmpty;
    for (size_t e = 0; e < count; ++e) {
        const int32_t id = static_cast<int32_t>(e);
        const uint64_t b = bucketOf(keys[e], buckets, powerOfTwo);
        const int32_t prev = before[b];
        if (prev == kEmpty) {
            next[e] = head;
            head = id;
            before[b] = kFront;
            if (next[e] != kEmpty)
                before[bucketOf(keys[static_cast<size_t>(next[e])], buckets, powerOfTwo)] = id;
        } else {
            int32_t& link = prev == kFront ? head : next[static_cast<size_t>(prev)];
            next[e] = link;
            link = id;
        }
    }
    order.reserve(count);
    for (int32_t e = head; e != kEmpty; e = next[static_cast<size_t>(e)])
        order.push_back(static_cast<uint32_t>(e));
    return order;
}

std::vector<UmapEdge> buildFuzzyGraph(const std::vector<int>& knnIdx,
                                      const std::vector<double>& knnDist, size_t n, size_t k,
                                      const std::vector<double>& sigma,
                                      const std::vector<double>& rho) {
    std::vector<UmapEdge> edges;
    if (n == 0 || k == 0 || knnIdx.size() < n * k || knnDist.size() < n * k || sigma.size() < n ||
        rho.size() < n)
        return edges;
    // Directed entries in insertion order (row, then neighbour slot); slot
    // s of row i is entry slotEntry[i*k + s], or -1 when it holds none.
    std::vector<int32_t> slotEntry(n * k, -1);
    std::vector<uint64_t> keys;
    std::vector<uint32_t> entrySlot;
    keys.reserve(n * k);
    entrySlot.reserve(n * k);
    for (size_t i = 0; i < n; ++i)
        for (size_t s = 0; s < k; ++s) {
            const int j = knnIdx[i * k + s];
            if (j < 0 || static_cast<size_t>(j) == i || static_cast<size_t>(j) >= n)
                continue;
            slotEntry[i * k + s] = static_cast<int32_t>(keys.size());
            keys.push_back((static_cast<uint64_t>(i) << 32) | static_cast<uint32_t>(j));
            entrySlot.push_back(static_cast<uint32_t>(i * k + s));
        }
    const size_t count = keys.size();
    std::vector<double> weight(count);
    std::vector<int32_t> reverse(count, -1);
    parallelChunks(chunkCount(n, kGraphChunkRows), [&](size_t chunk) {
        const size_t end = std::min(n, (chunk + 1) * kGraphChunkRows);
        for (size_t i = chunk * kGraphChunkRows; i < end; ++i)
            for (size_t s = 0; s < k; ++s) {
                const int32_t e = slotEntry[i * k + s];
                if (e < 0)
                    continue;
                const double d = knnDist[i * k + s] - rho[i];
                weight[static_cast<size_t>(e)] = d > 0.0 ? std::exp(-(d / sigma[i])) : 1.0;
                const size_t j = static_cast<size_t>(knnIdx[i * k + s]);
                for (size_t t = 0; t < k; ++t)
                    if (knnIdx[j * k + t] == static_cast<int>(i)) {
                        reverse[static_cast<size_t>(e)] = slotEntry[j * k + t];
                        break;
                    }
            }
    });
    const uint64_t buckets = tableBucketCount(static_cast<uint64_t>(n) * k, count);
    const std::vector<uint32_t> order = chainedTableOrder(keys, buckets);
    // An undirected pair is met twice at most, once from each side; the
    // entry met first decides its orientation.
    std::vector<uint8_t> met(count, 0);
    edges.reserve(count);
    for (const uint32_t e : order) {
        met[e] = 1;
        const int32_t r = reverse[e];
        if (r >= 0 && met[static_cast<size_t>(r)])
            continue;
        const double w = weight[e];
        const double wr = r >= 0 ? weight[static_cast<size_t>(r)] : 0.0;
        const double s = std::fma(-w, wr, w + wr);
        if (s > 0.0) {
            const uint32_t slot = entrySlot[e];
            UmapEdge edge;
            edge.i = static_cast<int32_t>(slot / k);
            edge.j = knnIdx[slot];
            edge.weight = s;
            edges.push_back(edge);
        }
    }
    return edges;
}

} // namespace umapdetail
} // namespace Quorvex3
