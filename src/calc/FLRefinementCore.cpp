#include "calc/FLRefinementCore.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

bool parseNumber(const std::string& text, double& value) {
    bool ok = false;
    const double parsed = QString::fromStdString(text).toDouble(&ok);
    if (!ok || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The channel of "baseline <N> offset" / "baseline_<N>_offset": every digit
// after the prefix, so channel 12 is not mistaken for channel 1.
bool baselineChannel(const std::string& key, int& channel) {
    const bool spaced = startsWith(key, "baseline ") && key.find(" offset") != std::string::npos;
    const bool underscored =
        startsWith(key, "baseline_") && key.find("_offset") != std::string::npos;
    if (!spaced && !underscored)
        return false;
    const char* begin = key.data() + 9;
    const char* end = key.data() + key.size();
    const char* digits = begin;
    while (digits != end && *digits >= '0' && *digits <= '9')
        ++digits;
    if (digits == begin)
        return false;
    const auto [ptr, ec] = std::from_chars(begin, digits, channel);
    return ec == std::errc() && ptr == digits;
}

double upperMedian(std::vector<double>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

FluorescenceTiming parseFluorescenceTiming(const std::map<std::string, std::string>& section) {
    FluorescenceTiming timing;
    for (const auto& [key, text] : section) {
        double value = 0.0;
        int channel = 0;
        if (key == "sample rate" || key == "sample_rate") {
            if (parseNumber(text, value))
                timing.sampleRate = value;
        } else if (baselineChannel(key, channel) && parseNumber(text, value)) {
            timing.baselineOffsets[channel] = value;
        }
    }
    timing.dt = timing.sampleRate > 0.0 ? 1'000'000.0 / timing.sampleRate : 1'000'000.0;
    return timing;
}

std::vector<int> refinementChannels(const std::vector<std::string>& features) {
    std::vector<int> channels;
    for (const std::string& name : features) {
        if (name.size() < 6 || !startsWith(name, "fl") ||
            name.compare(name.size() - 4, 4, "_max") != 0 ||
            name.find("_max_") != std::string::npos)
            continue;
        const char* begin = name.data() + 2;
        const char* end = name.data() + name.size() - 4;
        int channel = 0;
        const auto [ptr, ec] = std::from_chars(begin, end, channel);
        if (ec != std::errc() || ptr == begin)
            continue;
        channels.push_back(channel);
    }
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    return channels;
}

std::pair<double, double> velocityFromPairs(std::vector<std::pair<double, double>> pairs) {
    pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                               [](const std::pair<double, double>& p) {
                                   return !std::isfinite(p.first) || !std::isfinite(p.second);
                               }),
                pairs.end());
    if (pairs.empty())
        return {0.0, 0.0};
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    const std::size_t kept = pairs.size() == 1 ? 1 : pairs.size() / 2;
    std::vector<double> ratios(kept);
    for (std::size_t i = 0; i < kept; ++i)
        ratios[i] = pairs[i].second;
    const double median = upperMedian(ratios);
    std::vector<double> deviations(kept);
    for (std::size_t i = 0; i < kept; ++i)
        deviations[i] = std::abs(ratios[i] - median);
    const double spread = 1.4826 * upperMedian(deviations);
    return {median > 0.0 ? median : 0.0, spread};
}

SampleWindow windowSamples(double low, double high, std::size_t traceLength) {
    const std::size_t last = traceLength - 1;
    // Only values known to lie inside the trace are converted: a NaN,
    // negative or huge double has no unsigned value.
    auto toIndex = [last](double value) -> std::size_t {
        if (!(value >= 0.0))
            return 0;
        if (value >= static_cast<double>(last))
            return last;
        return static_cast<std::size_t>(value);
    };
    SampleWindow window;
    window.hi = std::isnan(high) ? last : toIndex(high);
    window.lo = std::min(toIndex(low), window.hi);
    return window;
}

RefinedPeak refinePeak(const std::vector<float>& trace, SampleWindow window, double offset,
                       double dt) {
    const std::size_t lo = window.lo;
    const std::size_t hi = window.hi;
    auto v = [&trace, offset](std::size_t j) { return offset + static_cast<double>(trace[j]); };
    double best = -1e30;
    std::size_t peak = lo;
    bool found = false;
    for (std::size_t j = lo; j <= hi; ++j) {
        if (v(j) > best) {
            best = v(j);
            peak = j;
            found = true;
        }
    }
    RefinedPeak result;
    if (!found) {
        constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
        result.maximum = result.position = result.width = kNaN;
        return result;
    }
    const double half = best * 0.5;
    std::size_t left = peak;
    if (peak > lo) {
        left = lo + 1;
        for (std::size_t j = peak; j > lo; --j) {
            if (v(j) < half) {
                left = j;
                break;
            }
        }
    }
    std::size_t right = hi;
    for (std::size_t j = peak; j <= hi; ++j) {
        if (v(j) < half) {
            right = j;
            break;
        }
    }
    result.maximum = best;
    result.position = dt * static_cast<double>(peak);
    result.width = dt * (static_cast<double>(right) - static_cast<double>(left));
    return result;
}

} // namespace Quorvex3
