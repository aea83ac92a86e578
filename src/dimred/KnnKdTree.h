#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// Exact k-nearest-neighbour search in Euclidean distance over the rows of a
/// row-major matrix. The tree keeps indices only: `data` is not copied and
/// must outlive the tree. Read-only after construction, so any number of
/// threads may query it at once.
class KnnKdTree {
public:
    /// Index that excludes no point from a query.
    static constexpr uint32_t kNoExclude = 0xFFFFFFFFu;

    struct Node {
        int splitDim = 0;        ///< splitting coordinate (0 in a leaf)
        double splitValue = 0.0; ///< the median point's coordinate (0 in a leaf)
        int left = -1;           ///< child node indices (-1 in a leaf)
        int right = -1;
        uint32_t begin = 0; ///< range of perm held by a leaf (0, 0 in an inner node)
        uint32_t end = 0;
        bool leaf = false;
    };

    /// Max-heap entries of a query: (squared distance, point index).
    using Candidate = std::pair<double, uint32_t>;

    /// Builds the tree over n points of dim coordinates each.
    KnnKdTree(const double* data, size_t n, size_t dim);

    /// Up to k neighbours of `point` (dim coordinates) in ascending order of
    /// (distance, index); `exclude` is never reported. outDist holds the
    /// Euclidean distances. Both outputs are cleared first.
    void query(const double* point, int k, uint32_t exclude, std::vector<int>& outIdx,
               std::vector<double>& outDist) const;

    /// The same search with caller-owned scratch space; the heap is left
    /// sorted ascending by (squared distance, index).
    void queryInto(const double* point, int k, uint32_t exclude,
                   std::vector<Candidate>& heap) const;

    size_t size() const { return m_n; }
    size_t dimension() const { return m_dim; }
    int root() const { return m_root; }
    const std::vector<Node>& nodes() const { return m_nodes; }
    const std::vector<uint32_t>& permutation() const { return m_perm; }

private:
    int build(uint32_t lo, uint32_t hi);
    void search(int node, const double* point, size_t k, uint32_t exclude,
                std::vector<Candidate>& heap, double bound, double* offsets) const;

    const double* m_data;
    size_t m_n;
    size_t m_dim;
    std::vector<uint32_t> m_perm;
    std::vector<Node> m_nodes;
    int m_root = -1;
};

/// For every row i of the n x dim matrix, its k nearest other rows:
/// outIdx[i*k + l] and outDist[i*k + l] for l < found, in ascending order of
/// (distance, index), then -1 and +infinity. A row is never its own
/// neighbour; another row at the same place is, at distance 0. Both outputs
/// are empty for k = 0. Rows are searched on several threads; the result
/// does not depend on their number.
void knnSearch(const double* data, size_t n, size_t dim, int k, std::vector<int>& outIdx,
               std::vector<double>& outDist);

} // namespace Quorvex3
