#include "calc/FLRefinement.h"

#include "calc/FLRefinementCore.h"
#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"
#include "core/TraceFilter.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <thread>

namespace Quorvex3 {

namespace {

using ColumnHandle = std::shared_ptr<const std::vector<double>>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Events whose traces are read before they are refined together.
constexpr std::size_t kEventsPerBlock = 2048;

std::string channelName(int channel, const char* suffix) {
    return "fl" + std::to_string(channel) + suffix;
}

// The column of `name` when it holds a value for every event, else null.
ColumnHandle fullColumn(RTDCReader* reader, const std::string& name, std::size_t eventCount) {
    if (!reader->hasFeature(name))
        return nullptr;
    ColumnHandle column = reader->featureColumn(name);
    return column && column->size() >= eventCount ? column : nullptr;
}

// Half the image width in µm, or 0 when the pixel size or images are
// missing.
double imageCentreX(RTDCReader* reader, const RTDCMetadata& metadata) {
    auto found = metadata.imaging.find("pixel size");
    if (found == metadata.imaging.end())
        found = metadata.imaging.find("pixel_size");
    if (found == metadata.imaging.end())
        return 0.0;
    bool ok = false;
    const double pixelSize = QString::fromStdString(found->second).toDouble(&ok);
    if (!ok || !std::isfinite(pixelSize) || !(pixelSize > 0.0) || !reader->hasImages())
        return 0.0;
    int width = 0;
    int height = 0;
    reader->readImage(0, width, height);
    return width >= 1 ? pixelSize * width / 2.0 : 0.0;
}

} // namespace

FLRefinement::FLRefinement(QObject* parent) : QObject(parent) {}

void FLRefinement::cancel() {
    m_cancel = true;
}

bool FLRefinement::run(RTDCReader* reader, const RTDCMetadata& metadata,
                       const FLRefineSettings& settings) {
    m_cancel = false;
    if (!reader)
        return false;
    const FluorescenceTiming timing = parseFluorescenceTiming(metadata.fluorescence);
    const double centreX = imageCentreX(reader, metadata);
    const std::size_t traceLength = reader->getTraceLength();
    const std::size_t eventCount = reader->getEventCount();
    const ColumnHandle posX = fullColumn(reader, "pos_x", eventCount);
    const ColumnHandle sizeX = fullColumn(reader, "size_x", eventCount);

    const std::vector<int> channels = refinementChannels(reader->getAvailableFeatures());
    if (channels.empty())
        return false;
    const std::vector<std::string> traces = reader->getAvailableTraceNames();
    for (int channel : channels) {
        const std::string raw = channelName(channel, "_raw");
        if (std::find(traces.begin(), traces.end(), raw) != traces.end())
            reader->addCalculatedTrace(channelName(channel, "_median_rf"), raw);
    }
    reader->setTraceFilterSettings(
        settings.hampel1Enabled, settings.hampel1K, settings.hampel1Threshold,
        settings.hampel2Enabled, settings.hampel2K, settings.hampel2Threshold,
        settings.medianEnabled, settings.medianK, settings.rollingAvgEnabled, settings.rollingAvgK,
        settings.savgolEnabled, settings.savgolK);

    const std::size_t halfTrace = traceLength / 2;
    const double halfTime = timing.dt * static_cast<double>(halfTrace);
    const auto [velocity, spread] = estimateVelocity(
        reader, centreX, halfTime, channels, posX.get(), eventCount, settings.flMaxThreshold);
    if (m_cancel)
        return false;
    const int n = static_cast<int>(channels.size());
    for (int i = 0; i < n; ++i) {
        const auto offset = timing.baselineOffsets.find(channels[static_cast<std::size_t>(i)]);
        const double baseline = offset == timing.baselineOffsets.end() ? 0.0 : offset->second;
        if (!extractChannelFeatures(reader, channels[static_cast<std::size_t>(i)], timing.dt,
                                    baseline, velocity, spread, centreX, halfTrace, traceLength,
                                    0.05 * static_cast<double>(traceLength), posX.get(),
                                    sizeX.get(), eventCount, i, n))
            return false;
    }
    emit progressChanged(100);
    return true;
}

std::pair<double, double>
FLRefinement::estimateVelocity(RTDCReader* reader, double centreX, double halfTime,
                               const std::vector<int>& channels, const std::vector<double>* posX,
                               std::size_t eventCount, double flMaxThreshold) {
    if (!reader || !(centreX > 0.0) || !posX || posX->size() < eventCount ||
        reader->getTraceLength() == 0 || channels.empty())
        return {0.0, 0.0};
    std::vector<std::pair<double, double>> pairs;
    for (int channel : channels) {
        const ColumnHandle maxima = fullColumn(reader, channelName(channel, "_max"), eventCount);
        const ColumnHandle positions = fullColumn(reader, channelName(channel, "_pos"), eventCount);
        if (!maxima || !positions)
            continue;
        for (std::size_t e = 0; e < eventCount; ++e) {
            const double delay = (*positions)[e] - halfTime;
            // A NaN maximum is not "at or below" the threshold and passes.
            if ((*maxima)[e] <= flMaxThreshold || std::abs(delay) < 1e-6)
                continue;
            const double offset = (*posX)[e] - centreX;
            pairs.emplace_back(std::abs(offset), offset / delay);
        }
    }
    return velocityFromPairs(std::move(pairs));
}

namespace {

// Everything the window and peak of one event of one channel depend on.
struct ChannelInputs {
    double dt = 1.0;
    double baselineOffset = 0.0;
    double velocity = 0.0;
    double widen = 1.0;
    double centreX = 0.0;
    double halfTrace = 0.0;
    std::size_t traceLength = 0;
    double windowHalfWidth = 0.0;
    bool velocityModel = false;
    const std::vector<double>* posX = nullptr;
    const std::vector<double>* sizeX = nullptr;
    const std::vector<double>* flPos = nullptr;
};

struct ChannelOutputs {
    std::vector<double> maximum;
    std::vector<double> position;
    std::vector<double> width;
};

// The search window of event e in samples, before clamping.
std::pair<double, double> eventWindow(const ChannelInputs& in, std::size_t e) {
    if (in.velocityModel) {
        const double centre = ((*in.posX)[e] - in.centreX) / (in.dt * in.velocity) + in.halfTrace;
        const double half = in.widen * ((*in.sizeX)[e] / in.velocity / in.dt * 0.5);
        return {std::max(centre - half, 0.0), centre + half};
    }
    const double measured = in.flPos ? (*in.flPos)[e] : kNaN;
    const double centre = measured / in.dt;
    return {std::max(centre - in.windowHalfWidth, 0.0), centre + in.windowHalfWidth};
}

// Filters event e's raw trace and finds its peak; a missing trace, or one
// shorter than the window reaches, keeps the measured position.
void refineEvent(const ChannelInputs& in, const TraceFilterSettings& filter, std::size_t e,
                 std::vector<float>& trace, ChannelOutputs& out) {
    const double measured = in.flPos ? (*in.flPos)[e] : kNaN;
    SampleWindow window;
    if (in.traceLength > 0) {
        const auto [low, high] = eventWindow(in, e);
        window = windowSamples(low, high, in.traceLength);
    }
    if (!trace.empty())
        applyTraceFilter(filter, trace);
    if (in.traceLength == 0 || trace.empty() || window.hi >= trace.size()) {
        out.maximum[e] = 0.0;
        out.position[e] = measured;
        out.width[e] = 0.0;
        return;
    }
    const RefinedPeak peak = refinePeak(trace, window, in.baselineOffset, in.dt);
    out.maximum[e] = peak.maximum;
    out.position[e] = peak.position;
    out.width[e] = peak.width;
}

// Runs body(i) for i in [0, count) on up to `threads` threads, each on a
// contiguous share; every i is independent, so the result does not depend
// on the thread count.
template <typename Body> void parallelFor(std::size_t count, unsigned threads, Body body) {
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(count / 16 + 1)));
    if (threads == 1) {
        for (std::size_t i = 0; i < count; ++i)
            body(i);
        return;
    }
    std::vector<std::thread> workers;
    const std::size_t share = (count + threads - 1) / threads;
    for (unsigned t = 0; t < threads; ++t) {
        const std::size_t begin = std::min(count, t * share);
        const std::size_t end = std::min(count, begin + share);
        workers.emplace_back([begin, end, &body] {
            for (std::size_t i = begin; i < end; ++i)
                body(i);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
}

} // namespace

bool FLRefinement::extractChannelFeatures(RTDCReader* reader, int channel, double dt,
                                          double baselineOffset, double velocity, double spread,
                                          double centreX, std::size_t halfTrace,
                                          std::size_t traceLength, double windowHalfWidth,
                                          const std::vector<double>* posX,
                                          const std::vector<double>* sizeX, std::size_t eventCount,
                                          int channelIndex, int channelCount) {
    const ColumnHandle flPos = fullColumn(reader, channelName(channel, "_pos"), eventCount);
    ChannelInputs in;
    in.dt = dt;
    in.baselineOffset = baselineOffset;
    in.velocity = velocity;
    in.centreX = centreX;
    in.halfTrace = static_cast<double>(halfTrace);
    in.traceLength = traceLength;
    in.windowHalfWidth = windowHalfWidth;
    in.velocityModel = posX && sizeX && posX->size() >= eventCount && sizeX->size() >= eventCount &&
                       velocity > 0.0;
    in.widen = in.velocityModel ? std::min(1.0 + spread / velocity, 1.5) : 1.0;
    in.posX = posX;
    in.sizeX = sizeX;
    in.flPos = flPos.get();
    ChannelOutputs out{std::vector<double>(eventCount, 0.0), std::vector<double>(eventCount, 0.0),
                       std::vector<double>(eventCount, 0.0)};

    // The searched trace is the raw trace through the reader's trace
    // filters, as the registered "fl<N>_median_rf" reads. The rows are read
    // in order (file access is serialised anyway); filtering and the peak
    // search, most of the work, run on several threads.
    const std::vector<std::string> traces = reader->getAvailableTraceNames();
    const bool hasTrace =
        std::find(traces.begin(), traces.end(), channelName(channel, "_median_rf")) != traces.end();
    const std::string raw = channelName(channel, "_raw");
    const TraceFilterSettings filter = reader->traceFilterSettings();
    const unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const std::int64_t base = std::int64_t(channelIndex) * 100 / std::max(channelCount, 1);
    const std::int64_t step = 100 / std::max(channelCount, 1);
    std::vector<std::vector<float>> rows;
    for (std::size_t first = 0; first < eventCount; first += kEventsPerBlock) {
        const std::size_t count = std::min(kEventsPerBlock, eventCount - first);
        rows.assign(count, {});
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t e = first + i;
            if (m_cancel)
                return false;
            if (e % 256 == 0)
                emit progressChanged(
                    static_cast<int>(base + static_cast<std::int64_t>(e) * step /
                                                static_cast<std::int64_t>(eventCount)));
            if (hasTrace && traceLength > 0)
                rows[i] = reader->readTrace(raw, e);
        }
        parallelFor(count, threads,
                    [&](std::size_t i) { refineEvent(in, filter, first + i, rows[i], out); });
    }
    reader->addCalculatedFeature(channelName(channel, "_max_rf"), std::move(out.maximum));
    reader->addCalculatedFeature(channelName(channel, "_pos_rf"), std::move(out.position));
    reader->addCalculatedFeature(channelName(channel, "_width_rf"), std::move(out.width));
    return true;
}

} // namespace Quorvex3
