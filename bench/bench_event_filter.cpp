// Cost of EventFilter::apply on a plot refresh: 4 range rules and 2 polygons
// (20 and 200 corners) over 1e6 and 1e7 events, for each axis scale of the
// polygons. Arguments: event count, scale code of both polygon axes.
#include "core/EventFilter.h"
#include "core/ScaleTransform.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::EventFilter;
using Quorvex3::FilterRule;
using Quorvex3::ScaleMode;

// Columns shared by every benchmark of one size (built once, they are big).
struct Dataset {
    std::vector<double> x, y, r0, r1;
};

const Dataset& dataset(std::size_t n) {
    static std::map<std::size_t, std::unique_ptr<Dataset>> cache;
    auto& slot = cache[n];
    if (!slot) {
        slot = std::make_unique<Dataset>();
        std::mt19937_64 rng(42);
        std::lognormal_distribution<double> size(5.0, 1.2); // ~20 .. 5000
        std::normal_distribution<double> signal(300.0, 600.0);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        slot->x.resize(n);
        slot->y.resize(n);
        slot->r0.resize(n);
        slot->r1.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            slot->x[i] = size(rng);
            slot->y[i] = signal(rng);
            slot->r0[i] = u(rng);
            slot->r1[i] = u(rng);
        }
    }
    return *slot;
}

// A ragged star around the bulk of the events, laid out in the axis space
// of `mode` and returned in data units, as the plot would store it.
std::vector<std::pair<double, double>> star(int corners, ScaleMode mode, unsigned seed) {
    const std::vector<double> cx = Quorvex3::applyScaleTransform({150.0}, mode);
    const std::vector<double> cy = Quorvex3::applyScaleTransform({300.0}, mode);
    const std::vector<double> spanX = Quorvex3::applyScaleTransform({150.0, 2000.0}, mode);
    const std::vector<double> spanY = Quorvex3::applyScaleTransform({300.0, 1200.0}, mode);
    const double rx = spanX[1] - spanX[0];
    const double ry = spanY[1] - spanY[0];
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> ragged(0.6, 1.0);
    std::vector<std::pair<double, double>> out;
    for (int k = 0; k < corners; ++k) {
        const double angle = 2 * std::acos(-1.0) * k / corners;
        const double f = ragged(rng);
        double px = cx[0] + f * rx * std::cos(angle);
        double py = cy[0] + f * ry * std::sin(angle);
        Quorvex3::inverseScaleTransformInPlace(px, py, mode, mode);
        out.emplace_back(px, py);
    }
    return out;
}

EventFilter makeFilter(ScaleMode mode, bool withRanges) {
    EventFilter f;
    if (withRanges) {
        // Each keeps ~90% of the events.
        const struct {
            const char* feature;
            double lo, hi;
        } ranges[] = {{"r0", 0.05, 0.95}, {"r1", 0.0, 0.9}, {"x", 10.0, 1e9}, {"y", -600.0, 1e9}};
        for (const auto& r : ranges) {
            FilterRule rule;
            rule.featureName = r.feature;
            rule.minValue = r.lo;
            rule.maxValue = r.hi;
            f.addRule(rule);
        }
    }
    for (int corners : {20, 200}) {
        FilterRule rule;
        rule.type = 1;
        rule.featureName = "x";
        rule.featureNameY = "y";
        rule.polygonVertices = star(corners, mode, static_cast<unsigned>(corners));
        rule.scaleXMode = static_cast<int>(mode);
        rule.scaleYMode = static_cast<int>(mode);
        f.addRule(rule);
    }
    return f;
}

void runApply(benchmark::State& state, bool withRanges) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto mode = static_cast<ScaleMode>(state.range(1));
    const Dataset& d = dataset(n);
    const EventFilter::FeatureMap map = {{"x", &d.x}, {"y", &d.y}, {"r0", &d.r0}, {"r1", &d.r1}};
    const EventFilter filter = makeFilter(mode, withRanges);
    std::size_t shown = 0;
    for (auto _ : state) {
        const std::vector<int> indices = filter.apply(map, n);
        shown = indices.size();
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
    state.counters["shown"] = static_cast<double>(shown) / static_cast<double>(n);
    state.counters["ns_per_event"] =
        benchmark::Counter(static_cast<double>(state.iterations() * n),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The case asked for: 4 range rules, then the two polygons.
void BM_EventFilterApply(benchmark::State& state) {
    runApply(state, true);
}

// Worst case for the polygons: every event reaches both of them.
void BM_EventFilterPolygonsOnly(benchmark::State& state) {
    runApply(state, false);
}

void sizesAndModes(benchmark::internal::Benchmark* b) {
    for (int64_t n : {1000000, 10000000})
        for (int64_t mode : {0, 1, 2})
            b->Args({n, mode});
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_EventFilterApply)->Apply(sizesAndModes);
BENCHMARK(BM_EventFilterPolygonsOnly)->Apply(sizesAndModes);

BENCHMARK_MAIN();
