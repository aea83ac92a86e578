#pragma once

// Numeric pieces of the fluorescence peak refinement, free of the reader:
// the timing metadata, channel discovery, the flow-velocity median and the
// peak search in one window of one trace.

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// What the "fluorescence" metadata section says about the traces.
struct FluorescenceTiming {
    /// Samples per second; 0 when missing or not a number.
    double sampleRate = 0.0;
    /// Sample period in µs: 1,000,000 / sampleRate, or 1,000,000 without a
    /// sample rate.
    double dt = 1'000'000.0;
    /// Baseline offset per channel number, from keys "baseline <N> offset"
    /// or "baseline_<N>_offset" (all digits of N).
    std::map<int, double> baselineOffsets;
};

/// Reads the sample rate ("sample rate" or "sample_rate", the later key in
/// order wins) and the baseline offsets. Values that are not numbers are
/// ignored.
FluorescenceTiming parseFluorescenceTiming(const std::map<std::string, std::string>& section);

/// The fluorescence channels named by "fl<N>_max" features (at least 6
/// characters, no "_max_" inside, N the number at the start of the middle
/// part), ascending and without repeats.
std::vector<int> refinementChannels(const std::vector<std::string>& features);

/// Velocity and spread from (distance from the image centre, ratio) pairs:
/// the pairs farthest from the centre (the first half, at least one) vote;
/// the velocity is the upper median of their ratios (0 when that is not
/// positive), the spread 1.4826 times the upper median of the absolute
/// deviations. Pairs with a non-finite distance or ratio are dropped first;
/// (0, 0) when none is left. Ties in distance keep their input order.
std::pair<double, double> velocityFromPairs(std::vector<std::pair<double, double>> pairs);

/// Inclusive sample range of a search window.
struct SampleWindow {
    std::size_t lo = 0;
    std::size_t hi = 0;
};

/// The window [low, high] (fractional samples) as sample indices of a trace
/// of `traceLength` (> 0) samples: NaN or negative ends become 0, ends at
/// or past the trace's end (or NaN highs) its last sample; lo never exceeds
/// hi.
SampleWindow windowSamples(double low, double high, std::size_t traceLength);

/// Peak of one window: maximum (baseline offset added), its position in µs
/// and the width in µs between the half-level crossings.
struct RefinedPeak {
    double maximum = 0.0;
    double position = 0.0;
    double width = 0.0;
};

/// The peak of samples lo..hi (hi < trace.size()) of `trace` with `offset`
/// added to every sample and a sample period of `dt` µs. The first of equal
/// maxima wins; NaN samples never win and count as not below the half
/// level. A window without any usable sample has no peak: all three values
/// are NaN.
RefinedPeak refinePeak(const std::vector<float>& trace, SampleWindow window, double offset,
                       double dt);

} // namespace Quorvex3
