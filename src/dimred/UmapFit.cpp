// UMAP fit: neighbours, fuzzy graph, starting layout and the optimisation of
// the layout by stochastic gradient steps on sampled edges.

#include "dimred/KnnKdTree.h"
#include "dimred/SpectralInit.h"
#include "dimred/Umap.h"
#include "dimred/UmapGraph.h"
#include "dimred/UmapRandom.h"

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

constexpr int kAutoEpochsSmall = 500;
constexpr int kAutoEpochsLarge = 200;
constexpr size_t kSmallDataRows = 10000;
constexpr double kClip = 4.0;
// Bounds the negative samples of one step, so an absurd sample rate cannot
// overflow the count.
constexpr int kMaxNegatives = 1 << 30;

bool report(const DimRedProgress& progress, int value) {
    return !progress || progress(value);
}

inline double clip(double v) {
    return v > kClip ? kClip : (v < -kClip ? -kClip : v);
}

struct Layout {
    std::vector<double>& pos; // x, y per point
    size_t rows;
    double a;
    double b;
    double repulsion;
    double alpha = 0.0;

    // Pull i and j together along their edge.
    void attract(size_t i, size_t j) {
        double* pi = &pos[2 * i];
        double* pj = &pos[2 * j];
        const double dx = pi[0] - pj[0];
        const double dy = pi[1] - pj[1];
        const double d2 = dx * dx + dy * dy;
        double g = 0.0;
        if (d2 > 0.0) {
            const double pb = std::pow(d2, b);
            g = (-2.0 * a * b * (pb / d2)) / (1.0 + a * pb);
        }
        const double cx = clip(g * dx) * alpha;
        const double cy = clip(g * dy) * alpha;
        pi[0] += cx;
        pi[1] += cy;
        pj[0] -= cx;
        pj[1] -= cy;
    }

    // Push i away from the sampled point m (only i moves).
    void repel(size_t i, size_t m) {
        double* pi = &pos[2 * i];
        const double* pm = &pos[2 * m];
        const double dx = pi[0] - pm[0];
        const double dy = pi[1] - pm[1];
        const double d2 = dx * dx + dy * dy;
        if (d2 > 0.0) {
            const double g = (2.0 * repulsion * b) / ((d2 + 0.001) * (1.0 + a * std::pow(d2, b)));
            if (g > 0.0) {
                pi[0] += clip(g * dx) * alpha;
                pi[1] += clip(g * dy) * alpha;
                return;
            }
        }
        pi[0] += kClip * alpha;
        pi[1] += kClip * alpha;
    }
};

// The epochs of stochastic gradient steps. False when cancelled.
bool optimiseLayout(const std::vector<UmapEdge>& edges, const UmapParams& params, int nEpochs,
                    Layout& layout, umapdetail::Engine& engine, const DimRedProgress& progress) {
    const std::vector<double> epochsPerSample = makeEpochsPerSample(edges, nEpochs);
    std::vector<double> nextSample = epochsPerSample;
    // Below one negative sample per positive one there is no negative
    // sampling at all (the period would be infinite or undefined).
    const bool negatives = params.negative_sample_rate >= 1;
    std::vector<double> epochsPerNeg(edges.size(), 0.0);
    if (negatives)
        for (size_t e = 0; e < edges.size(); ++e)
            epochsPerNeg[e] = epochsPerSample[e] / static_cast<double>(params.negative_sample_rate);
    std::vector<double> nextNeg = epochsPerNeg;
    const uint64_t rows = layout.rows;
    for (int t = 0; t < nEpochs; ++t) {
        const double epoch = static_cast<double>(t);
        layout.alpha = params.learning_rate * (1.0 - epoch / static_cast<double>(nEpochs));
        for (size_t e = 0; e < edges.size(); ++e) {
            if (!(epochsPerSample[e] > 0.0) || !(nextSample[e] <= epoch))
                continue;
            const size_t i = static_cast<size_t>(edges[e].i);
            layout.attract(i, static_cast<size_t>(edges[e].j));
            nextSample[e] += epochsPerSample[e];
            if (!negatives)
                continue;
            const double due = (epoch - nextNeg[e]) / epochsPerNeg[e];
            const int nNeg = due < kMaxNegatives ? static_cast<int>(due) : kMaxNegatives;
            for (int s = 0; s < nNeg; ++s) {
                const size_t m = static_cast<size_t>(engine() % rows);
                if (m != i)
                    layout.repel(i, m);
            }
            if (nNeg >= 1)
                nextNeg[e] += nNeg * epochsPerNeg[e];
        }
        if (!report(progress, 35 + (t + 1) * 60 / nEpochs))
            return false;
    }
    return true;
}

} // namespace

UmapModel umapFit(const DimRedMatrix& matrix, const UmapParams& params,
                  const DimRedProgress& progress) {
    const UmapModel invalid;
    const size_t rows = matrix.rows;
    if (rows < 5 || matrix.cols == 0 || matrix.data.size() != rows * matrix.cols)
        return invalid;
    const size_t k = std::min(static_cast<size_t>(std::max(params.n_neighbors, 2)), rows - 1);
    const int nEpochs = params.n_epochs >= 1     ? params.n_epochs
                        : rows <= kSmallDataRows ? kAutoEpochsSmall
                                                 : kAutoEpochsLarge;
    if (!report(progress, 0))
        return invalid;
    std::vector<int> knnIdx;
    std::vector<double> knnDist;
    knnSearch(matrix.data.data(), rows, matrix.cols, static_cast<int>(k), knnIdx, knnDist);
    if (!report(progress, 20))
        return invalid;
    std::vector<double> sigma;
    std::vector<double> rho;
    smoothKnnDist(knnDist, rows, k, sigma, rho);
    const std::vector<UmapEdge> edges =
        umapdetail::buildFuzzyGraph(knnIdx, knnDist, rows, k, sigma, rho);
    knnIdx = {};
    knnDist = {};
    if (edges.empty())
        return invalid;
    if (!report(progress, 30))
        return invalid;

    UmapModel model;
    fitAbParams(params.min_dist, params.spread, model.a, model.b);
    umapdetail::Engine engine(params.seed);
    model.initUsed = 1;
    if (params.init == 0 && spectralInit(edges, matrix, params.seed, model.embedding)) {
        model.initUsed = 0;
    } else {
        model.embedding.resize(2 * rows);
        for (double& v : model.embedding)
            v = -10.0 + 20.0 * umapdetail::uniform(engine);
    }
    if (!report(progress, 35))
        return invalid;

    Layout layout{model.embedding, rows, model.a, model.b, params.repulsion_strength};
    if (!optimiseLayout(edges, params, nEpochs, layout, engine, progress))
        return invalid;

    model.trainData = matrix.data;
    model.nTrain = rows;
    model.nFeatures = matrix.cols;
    model.params = params;
    model.params.n_epochs = nEpochs;
    model.valid = true;
    report(progress, 100);
    return model;
}

} // namespace Quorvex3
