// Spectral starting layout of a UMAP fit, component by component.

#include "dimred/SpectralInit.h"
#include "dimred/Pca.h"
#include "dimred/UmapRandom.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

constexpr int kMaxComponents = 256;
constexpr uint64_t kFnvPrime = 1099511628211ull;
constexpr uint64_t kJitterSeedMask = 0xC0FFEEull;
constexpr double kTiny = 1e-12;
constexpr double kHalfBox = 10.0;
constexpr double kJitter = 0.0001;
constexpr double kPi = 3.14159265358979323846;

SpectralGraph graphFromEdges(const std::vector<UmapEdge>& edges, size_t n) {
    SpectralGraph g;
    g.rowStart.assign(n + 1, 0);
    for (const UmapEdge& e : edges)
        if (e.i != e.j) {
            ++g.rowStart[static_cast<size_t>(e.i) + 1];
            ++g.rowStart[static_cast<size_t>(e.j) + 1];
        }
    for (size_t i = 0; i < n; ++i)
        g.rowStart[i + 1] += g.rowStart[i];
    g.neighbours.resize(g.rowStart[n]);
    g.weights.resize(g.rowStart[n]);
    std::vector<size_t> fill(g.rowStart.begin(), g.rowStart.end() - 1);
    for (const UmapEdge& e : edges) {
        if (e.i == e.j)
            continue;
        const size_t i = static_cast<size_t>(e.i);
        const size_t j = static_cast<size_t>(e.j);
        g.neighbours[fill[i]] = static_cast<uint32_t>(j);
        g.weights[fill[i]++] = e.weight;
        g.neighbours[fill[j]] = static_cast<uint32_t>(i);
        g.weights[fill[j]++] = e.weight;
    }
    return g;
}

// Component number of every node by depth-first search; returns the count.
int labelComponents(const SpectralGraph& g, std::vector<int>& component) {
    const size_t n = g.nodes();
    component.assign(n, -1);
    int count = 0;
    std::vector<uint32_t> stack;
    for (size_t start = 0; start < n; ++start) {
        if (component[start] >= 0)
            continue;
        component[start] = count;
        stack.push_back(static_cast<uint32_t>(start));
        while (!stack.empty()) {
            const uint32_t node = stack.back();
            stack.pop_back();
            for (size_t e = g.rowStart[node]; e < g.rowStart[node + 1]; ++e) {
                const uint32_t other = g.neighbours[e];
                if (component[other] < 0) {
                    component[other] = count;
                    stack.push_back(other);
                }
            }
        }
        ++count;
    }
    return count;
}

// Component centres by classical scaling of the centroid distances, scaled
// so the largest coordinate is 1 (or on the unit circle when they coincide).
std::vector<double> componentCentres(const DimRedMatrix& matrix, const std::vector<int>& component,
                                     int count) {
    const size_t c = static_cast<size_t>(count);
    const size_t f = matrix.cols;
    std::vector<double> centroid(c * f, 0.0);
    std::vector<size_t> members(c, 0);
    for (size_t i = 0; i < matrix.rows; ++i) {
        const size_t k = static_cast<size_t>(component[i]);
        ++members[k];
        for (size_t d = 0; d < f; ++d)
            centroid[k * f + d] += matrix.data[i * f + d];
    }
    for (size_t k = 0; k < c; ++k)
        for (size_t d = 0; d < f; ++d)
            centroid[k * f + d] /= static_cast<double>(members[k]);
    std::vector<double> d2(c * c, 0.0);
    for (size_t a = 0; a < c; ++a)
        for (size_t b = 0; b < c; ++b) {
            double s = 0.0;
            for (size_t d = 0; d < f; ++d) {
                const double t = centroid[a * f + d] - centroid[b * f + d];
                s += t * t;
            }
            const double dist = std::sqrt(s);
            d2[a * c + b] = dist * dist;
        }
    std::vector<double> rowMean(c, 0.0);
    double grand = 0.0;
    for (size_t a = 0; a < c; ++a) {
        for (size_t b = 0; b < c; ++b)
            rowMean[a] += d2[a * c + b];
        rowMean[a] /= static_cast<double>(c);
        grand += rowMean[a];
    }
    grand /= static_cast<double>(c);
    std::vector<double> bm(c * c);
    for (size_t a = 0; a < c; ++a)
        for (size_t b = 0; b < c; ++b)
            bm[a * c + b] = -0.5 * (d2[a * c + b] - rowMean[a] - rowMean[b] + grand);
    std::vector<double> values;
    std::vector<double> vectors;
    jacobiEigenSymmetric(bm, count, values, vectors);
    const size_t last = c - 1;
    const size_t second = c - 2;
    const double s1 = std::sqrt(std::max(values[last], 0.0));
    const double s2 = std::sqrt(std::max(values[second], 0.0));
    std::vector<double> pos(2 * c);
    double largest = 0.0;
    for (size_t k = 0; k < c; ++k) {
        pos[2 * k] = s1 * vectors[k * c + last];
        pos[2 * k + 1] = s2 * vectors[k * c + second];
        largest = std::max({largest, std::fabs(pos[2 * k]), std::fabs(pos[2 * k + 1])});
    }
    if (largest > kTiny) {
        for (double& p : pos)
            p /= largest;
    } else {
        for (size_t k = 0; k < c; ++k) {
            const double angle = 2.0 * kPi * static_cast<double>(k) / static_cast<double>(c);
            pos[2 * k] = std::cos(angle);
            pos[2 * k + 1] = std::sin(angle);
        }
    }
    return pos;
}

double componentRadius(const std::vector<double>& pos, size_t c, size_t k) {
    double nearest = std::numeric_limits<double>::infinity();
    for (size_t o = 0; o < c; ++o) {
        if (o == k)
            continue;
        nearest =
            std::min(nearest, std::hypot(pos[2 * k] - pos[2 * o], pos[2 * k + 1] - pos[2 * o + 1]));
    }
    const double r = 0.5 * nearest;
    return (r > 0.0 && std::isfinite(r)) ? r : 0.25;
}

SpectralGraph subgraph(const SpectralGraph& g, const std::vector<uint32_t>& members,
                       const std::vector<uint32_t>& localIndex) {
    SpectralGraph sub;
    sub.rowStart.assign(members.size() + 1, 0);
    for (size_t l = 0; l < members.size(); ++l) {
        const uint32_t node = members[l];
        for (size_t e = g.rowStart[node]; e < g.rowStart[node + 1]; ++e) {
            sub.neighbours.push_back(localIndex[g.neighbours[e]]);
            sub.weights.push_back(g.weights[e]);
        }
        sub.rowStart[l + 1] = sub.neighbours.size();
    }
    return sub;
}

void layOutComponents(const SpectralGraph& g, const std::vector<int>& component, int count,
                      const std::vector<double>& pos, uint64_t seed,
                      std::vector<double>& embedding) {
    const size_t c = static_cast<size_t>(count);
    std::vector<std::vector<uint32_t>> members(c);
    std::vector<uint32_t> localIndex(g.nodes());
    for (size_t i = 0; i < g.nodes(); ++i) {
        std::vector<uint32_t>& list = members[static_cast<size_t>(component[i])];
        localIndex[i] = static_cast<uint32_t>(list.size());
        list.push_back(static_cast<uint32_t>(i));
    }
    umapdetail::Engine fallback(seed);
    for (size_t k = 0; k < c; ++k) {
        const double r = componentRadius(pos, c, k);
        const SpectralGraph sub = subgraph(g, members[k], localIndex);
        const uint64_t localSeed = (static_cast<uint64_t>(k + 1) * kFnvPrime) ^ seed;
        std::vector<double> local;
        bool ok = computeSpectralEigenvectors(sub, localSeed, local);
        double largest = 0.0;
        if (ok)
            for (const double v : local)
                largest = std::max(largest, std::fabs(v));
        if (ok && largest > kTiny) {
            for (double& v : local)
                v *= r / largest;
        } else {
            local.resize(2 * members[k].size());
            for (double& v : local)
                v = -r + 2.0 * r * umapdetail::uniform(fallback);
        }
        for (size_t l = 0; l < members[k].size(); ++l) {
            const size_t node = members[k][l];
            embedding[2 * node] = local[2 * l] + pos[2 * k];
            embedding[2 * node + 1] = local[2 * l + 1] + pos[2 * k + 1];
        }
    }
}

} // namespace

bool spectralInit(const std::vector<UmapEdge>& edges, const DimRedMatrix& matrix, uint64_t seed,
                  std::vector<double>& embedding) {
    const size_t n = matrix.rows;
    embedding.assign(2 * n, 0.0);
    if (n < 5 || matrix.cols == 0 || edges.empty() || matrix.data.size() != n * matrix.cols)
        return false;
    for (const UmapEdge& e : edges)
        if (e.i < 0 || e.j < 0 || static_cast<size_t>(e.i) >= n || static_cast<size_t>(e.j) >= n)
            return false;
    const SpectralGraph g = graphFromEdges(edges, n);
    std::vector<int> component;
    const int count = labelComponents(g, component);
    if (count == 1) {
        if (!computeSpectralEigenvectors(g, seed, embedding))
            return false;
    } else if (count > kMaxComponents) {
        return false;
    } else {
        const std::vector<double> pos = componentCentres(matrix, component, count);
        layOutComponents(g, component, count, pos, seed, embedding);
    }
    double largest = 0.0;
    for (const double v : embedding) {
        if (!std::isfinite(v))
            return false;
        largest = std::max(largest, std::fabs(v));
    }
    if (!(largest > kTiny))
        return false;
    umapdetail::Engine engine(seed ^ kJitterSeedMask);
    umapdetail::NormalDraw noise(0.0, kJitter);
    const double factor = kHalfBox / largest;
    for (double& v : embedding)
        v = v * factor + noise(engine);
    return true;
}

} // namespace Quorvex3
