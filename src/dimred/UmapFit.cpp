// UMAP fit: neighbours, fuzzy graph, starting layout and the optimisation of
// the layout by stochastic gradient steps on sampled edges.

#include "dimred/KnnKdTree.h"
#include "dimred/SpectralInit.h"
#include "dimred/Umap.h"
#include "dimred/UmapGraph.h"
#include "dimred/UmapLayout.h"
#include "dimred/UmapRandom.h"

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

constexpr int kAutoEpochsSmall = 500;
constexpr int kAutoEpochsLarge = 200;
constexpr size_t kSmallDataRows = 10000;

bool report(const DimRedProgress& progress, int value) {
    return !progress || progress(value);
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

    if (!umapdetail::optimiseLayout(edges, params, nEpochs, model.a, model.b, model.embedding,
                                    engine, progress))
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
