// k-d tree over row indices with median splits on the widest coordinate.

#include "dimred/KnnKdTree.h"
#include "dimred/ParallelChunks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

// A range of this many points or more is split.
constexpr uint32_t kSplitThreshold = 17;
constexpr size_t kQueryChunkRows = 1024;

} // namespace

KnnKdTree::KnnKdTree(const double* data, size_t n, size_t dim) : m_data(data), m_n(n), m_dim(dim) {
    if (n == 0 || data == nullptr) {
        m_n = 0;
        return;
    }
    m_perm.resize(n);
    for (size_t i = 0; i < n; ++i)
        m_perm[i] = static_cast<uint32_t>(i);
    m_nodes.reserve(2 * (n / 8 + 1));
    m_root = build(0, static_cast<uint32_t>(n));
}

int KnnKdTree::build(uint32_t lo, uint32_t hi) {
    const int index = static_cast<int>(m_nodes.size());
    Node leaf;
    leaf.leaf = true;
    leaf.begin = lo;
    leaf.end = hi;
    if (hi - lo < kSplitThreshold || m_dim == 0) {
        m_nodes.push_back(leaf);
        return index;
    }
    size_t bestDim = 0;
    double bestSpread = -std::numeric_limits<double>::infinity();
    for (size_t d = 0; d < m_dim; ++d) {
        double lowest = std::numeric_limits<double>::infinity();
        double highest = -std::numeric_limits<double>::infinity();
        for (uint32_t p = lo; p < hi; ++p) {
            const double v = m_data[static_cast<size_t>(m_perm[p]) * m_dim + d];
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
        }
        const double spread = highest - lowest;
        if (spread > bestSpread) {
            bestSpread = spread;
            bestDim = d;
        }
    }
    if (!(bestSpread > 0.0)) {
        m_nodes.push_back(leaf);
        return index;
    }
    const uint32_t mid = lo + (hi - lo) / 2;
    const double* base = m_data;
    const size_t dim = m_dim;
    std::nth_element(m_perm.begin() + lo, m_perm.begin() + mid, m_perm.begin() + hi,
                     [base, dim, bestDim](uint32_t a, uint32_t b) {
                         const double va = base[static_cast<size_t>(a) * dim + bestDim];
                         const double vb = base[static_cast<size_t>(b) * dim + bestDim];
                         // NaN sorts last, so the selection stays well defined.
                         return va < vb || (std::isnan(vb) && !std::isnan(va));
                     });
    Node inner;
    inner.splitDim = static_cast<int>(bestDim);
    inner.splitValue = m_data[static_cast<size_t>(m_perm[mid]) * m_dim + bestDim];
    m_nodes.push_back(inner);
    const int left = build(lo, mid);
    const int right = build(mid, hi);
    m_nodes[static_cast<size_t>(index)].left = left;
    m_nodes[static_cast<size_t>(index)].right = right;
    return index;
}

// Descends near side first. `bound` is the squared distance from the point
// to the node's cell as far as the splits met so far tell (offsets[d] is
// the point's offset from the cell along d). A far side whose bound is not
// below the k-th distance found so far is skipped: it can only hold points
// at least that far, which could not enter the result anyway (an equal
// distance never displaces a pair already held). This bound is never below
// the split distance alone, so it prunes everything the split test would
// and more, with the same result.
void KnnKdTree::search(int node, const double* point, size_t k, uint32_t exclude,
                       std::vector<Candidate>& heap, double bound, double* offsets) const {
    const Node* nd = &m_nodes[static_cast<size_t>(node)];
    while (!nd->leaf) {
        const double diff = point[nd->splitDim] - nd->splitValue;
        const int nearChild = diff < 0.0 ? nd->left : nd->right;
        const int farChild = diff < 0.0 ? nd->right : nd->left;
        search(nearChild, point, k, exclude, heap, bound, offsets);
        const double old = offsets[nd->splitDim];
        const double farBound = bound - old * old + diff * diff;
        if (heap.size() == k &&
            !(diff * diff < heap.front().first && farBound < heap.front().first))
            return;
        offsets[nd->splitDim] = diff;
        search(farChild, point, k, exclude, heap, farBound, offsets);
        offsets[nd->splitDim] = old;
        return;
    }
    for (uint32_t p = nd->begin; p < nd->end; ++p) {
        const uint32_t idx = m_perm[p];
        if (idx == exclude)
            continue;
        const double* x = m_data + static_cast<size_t>(idx) * m_dim;
        const bool full = heap.size() == k;
        const double worst = full ? heap.front().first : 0.0;
        double d2 = 0.0;
        size_t d = 0;
        // Sum four coordinates at a time; stop once the sum is already too
        // far to displace the k-th pair.
        for (; d + 4 <= m_dim; d += 4) {
            const double t0 = point[d] - x[d], t1 = point[d + 1] - x[d + 1];
            const double t2 = point[d + 2] - x[d + 2], t3 = point[d + 3] - x[d + 3];
            d2 += (t0 * t0 + t1 * t1) + (t2 * t2 + t3 * t3);
            if (full && !(d2 < worst))
                break;
        }
        if (d + 4 > m_dim)
            for (; d < m_dim; ++d) {
                const double t = point[d] - x[d];
                d2 += t * t;
                if (full && !(d2 < worst))
                    break;
            }
        if (!full) {
            heap.emplace_back(d2, idx);
            std::push_heap(heap.begin(), heap.end());
        } else if (d == m_dim && d2 < worst) {
            std::pop_heap(heap.begin(), heap.end());
            heap.back() = Candidate(d2, idx);
            std::push_heap(heap.begin(), heap.end());
        }
    }
}

void KnnKdTree::queryInto(const double* point, int k, uint32_t exclude,
                          std::vector<Candidate>& heap) const {
    heap.clear();
    if (k <= 0 || m_root < 0)
        return;
    heap.reserve(static_cast<size_t>(k));
    std::vector<double> offsets(m_dim, 0.0);
    search(m_root, point, static_cast<size_t>(k), exclude, heap, 0.0, offsets.data());
    std::sort_heap(heap.begin(), heap.end());
}

void KnnKdTree::query(const double* point, int k, uint32_t exclude, std::vector<int>& outIdx,
                      std::vector<double>& outDist) const {
    outIdx.clear();
    outDist.clear();
    std::vector<Candidate> heap;
    queryInto(point, k, exclude, heap);
    outIdx.reserve(heap.size());
    outDist.reserve(heap.size());
    for (const Candidate& c : heap) {
        outIdx.push_back(static_cast<int>(c.second));
        outDist.push_back(std::sqrt(c.first));
    }
}

void knnSearch(const double* data, size_t n, size_t dim, int k, std::vector<int>& outIdx,
               std::vector<double>& outDist) {
    const size_t kk = k > 0 ? static_cast<size_t>(k) : 0;
    outIdx.assign(n * kk, -1);
    outDist.assign(n * kk, std::numeric_limits<double>::infinity());
    if (n == 0 || dim == 0 || kk == 0)
        return;
    const KnnKdTree tree(data, n, dim);
    parallelChunks(chunkCount(n, kQueryChunkRows), [&](size_t chunk) {
        std::vector<KnnKdTree::Candidate> heap;
        const size_t end = std::min(n, (chunk + 1) * kQueryChunkRows);
        for (size_t i = chunk * kQueryChunkRows; i < end; ++i) {
            tree.queryInto(data + i * dim, k, static_cast<uint32_t>(i), heap);
            for (size_t l = 0; l < heap.size(); ++l) {
                outIdx[i * kk + l] = static_cast<int>(heap[l].second);
                outDist[i * kk + l] = std::sqrt(heap[l].first);
            }
        }
    });
}

} // namespace Quorvex3
