// Placing new points into a fitted UMAP embedding.

#include "dimred/KnnKdTree.h"
#include "dimred/ParallelChunks.h"
#include "dimred/Umap.h"
#include "dimred/UmapMath.h"
#include "dimred/UmapRandom.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

constexpr uint64_t kTransformSeedMask = 0x9E3779B97F4A7C15ull;
constexpr size_t kChunkRows = 2048;

bool report(const DimRedProgress& progress, int value) {
    return !progress || progress(value);
}

bool rowFinite(const double* x, size_t cols) {
    for (size_t j = 0; j < cols; ++j)
        if (!std::isfinite(x[j]))
            return false;
    return true;
}

struct Neighbours {
    size_t k = 0;
    std::vector<int> idx;
    std::vector<double> dist;
};

Neighbours findNeighbours(const UmapModel& model, const DimRedMatrix& matrix) {
    Neighbours nb;
    nb.k = std::min(static_cast<size_t>(std::max(model.params.n_neighbors, 2)), model.nTrain);
    const size_t k = nb.k;
    nb.idx.assign(matrix.rows * k, -1);
    nb.dist.assign(matrix.rows * k, std::numeric_limits<double>::infinity());
    const KnnKdTree tree(model.trainData.data(), model.nTrain, model.nFeatures);
    parallelChunks(chunkCount(matrix.rows, kChunkRows), [&](size_t chunk) {
        std::vector<KnnKdTree::Candidate> heap;
        const size_t end = std::min(matrix.rows, (chunk + 1) * kChunkRows);
        for (size_t p = chunk * kChunkRows; p < end; ++p) {
            const double* x = matrix.data.data() + p * matrix.cols;
            if (!rowFinite(x, matrix.cols))
                continue;
            tree.queryInto(x, static_cast<int>(k), KnnKdTree::kNoExclude, heap);
            for (size_t l = 0; l < heap.size(); ++l) {
                nb.idx[p * k + l] = static_cast<int>(heap[l].second);
                nb.dist[p * k + l] = std::sqrt(heap[l].first);
            }
        }
    });
    return nb;
}

// Membership-weighted mean of the neighbours' training positions.
void startPositions(const UmapModel& model, const DimRedMatrix& matrix, const Neighbours& nb,
                    const std::vector<double>& sigma, const std::vector<double>& rho,
                    std::vector<double>& out) {
    const size_t k = nb.k;
    for (size_t p = 0; p < matrix.rows; ++p) {
        if (!rowFinite(matrix.data.data() + p * matrix.cols, matrix.cols))
            continue;
        double sw = 0.0, sx = 0.0, sy = 0.0;
        for (size_t l = 0; l < k; ++l) {
            const int q = nb.idx[p * k + l];
            if (q < 0)
                continue;
            const double d = nb.dist[p * k + l] - rho[p];
            const double w = d > 0.0 ? std::exp(-(d / sigma[p])) : 1.0;
            sw += w;
            sx += w * model.embedding[2 * static_cast<size_t>(q)];
            sy += w * model.embedding[2 * static_cast<size_t>(q) + 1];
        }
        if (sw > 0.0) {
            out[2 * p] = sx / sw;
            out[2 * p + 1] = sy / sw;
        }
    }
}

struct Stepper {
    const UmapModel& model;
    double a;
    double b;
    double repulsion;
    double alpha = 0.0;

    void attract(double* p, size_t q) const {
        const double dx = p[0] - model.embedding[2 * q];
        const double dy = p[1] - model.embedding[2 * q + 1];
        const double d2 = dx * dx + dy * dy;
        const double g = umapdetail::attraction(d2, a, b);
        p[0] += umapdetail::clip4(g * dx) * alpha;
        p[1] += umapdetail::clip4(g * dy) * alpha;
    }

    void repel(double* p, size_t m) const {
        const double dx = p[0] - model.embedding[2 * m];
        const double dy = p[1] - model.embedding[2 * m + 1];
        const double d2 = dx * dx + dy * dy;
        if (!(d2 > 0.0))
            return;
        const double g = umapdetail::repulsion(d2, a, b, repulsion);
        p[0] += umapdetail::clip4(g * dx) * alpha;
        p[1] += umapdetail::clip4(g * dy) * alpha;
    }
};

} // namespace

void umapTransform(const UmapModel& model, const DimRedMatrix& matrix, std::vector<double>& out,
                   const DimRedProgress& progress) {
    out.assign(2 * matrix.rows, std::numeric_limits<double>::quiet_NaN());
    if (!model.valid || matrix.cols != model.nFeatures || matrix.rows == 0 || model.nTrain == 0 ||
        model.trainData.size() != model.nTrain * model.nFeatures ||
        model.embedding.size() != 2 * model.nTrain ||
        matrix.data.size() != matrix.rows * matrix.cols)
        return;
    if (!report(progress, 0))
        return;
    const Neighbours nb = findNeighbours(model, matrix);
    if (!report(progress, 30))
        return;
    std::vector<double> sigma;
    std::vector<double> rho;
    smoothKnnDist(nb.dist, matrix.rows, nb.k, sigma, rho);
    startPositions(model, matrix, nb, sigma, rho, out);
    if (!report(progress, 60))
        return;

    // Points with a finite start draw their negative samples in row order;
    // the draws of one epoch are taken first, so the points can then move
    // on several threads with the same result as one after the other.
    std::vector<uint32_t> active;
    for (size_t p = 0; p < matrix.rows; ++p)
        if (std::isfinite(out[2 * p]))
            active.push_back(static_cast<uint32_t>(p));
    const size_t negatives = model.params.negative_sample_rate > 0
                                 ? static_cast<size_t>(model.params.negative_sample_rate)
                                 : 0;
    std::vector<uint32_t> draws(active.size() * negatives);
    umapdetail::Engine engine(model.params.seed ^ kTransformSeedMask);
    const umapdetail::FastModulo modTrain(model.nTrain);
    const int epochs = std::max(model.params.n_epochs / 3, 1);
    Stepper step{model, model.a, model.b, model.params.repulsion_strength};
    const size_t k = nb.k;
    for (int t = 0; t < epochs; ++t) {
        step.alpha = model.params.learning_rate *
                     (1.0 - static_cast<double>(t) / static_cast<double>(epochs));
        for (uint32_t& m : draws)
            m = static_cast<uint32_t>(modTrain(engine()));
        parallelChunks(chunkCount(active.size(), kChunkRows), [&](size_t chunk) {
            const size_t end = std::min(active.size(), (chunk + 1) * kChunkRows);
            for (size_t a = chunk * kChunkRows; a < end; ++a) {
                const size_t p = active[a];
                double* pos = &out[2 * p];
                for (size_t l = 0; l < k; ++l) {
                    const int q = nb.idx[p * k + l];
                    if (q >= 0)
                        step.attract(pos, static_cast<size_t>(q));
                }
                for (size_t s = 0; s < negatives; ++s)
                    step.repel(pos, draws[a * negatives + s]);
            }
        });
        if (!report(progress, 60 + (t + 1) * 40 / epochs))
            return;
    }
    report(progress, 100);
}

} // namespace Quorvex3
