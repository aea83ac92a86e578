#pragma once

// The optimisation of a UMAP layout, separate from the fit so that it can be
// checked step for step against the plain sequential rules.

#include "dimred/DimRedMatrix.h"
#include "dimred/Umap.h"
#include "dimred/UmapRandom.h"

#include <vector>

namespace Quorvex3 {
namespace umapdetail {

/// nEpochs epochs of gradient steps on the sampled edges, in place on
/// `embedding` (x, y per point): every due edge pulls its ends together and
/// pushes its first end away from negative samples drawn from `engine`.
/// The result equals processing the edges strictly one after the other;
/// consecutive steps that touch disjoint points are overlapped. Reports
/// 35 + 60 e / nEpochs after epoch e; false when the callback cancels.
bool optimiseLayout(const std::vector<UmapEdge>& edges, const UmapParams& params, int nEpochs,
                    double a, double b, std::vector<double>& embedding, Engine& engine,
                    const DimRedProgress& progress);

} // namespace umapdetail
} // namespace Quorvex3
