#include "calc/FLRefinement.h"

#include "calc/FLRefinementCore.h"
#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace Quorvex3 {

namespace {

using ColumnHandle = std::shared_ptr<const std::vector<double>>;

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

bool FLRefinement::extractChannelFeatures(RTDCReader* reader, int channel, double dt,
                                          double baselineOffset, double velocity, double spread,
                                          double centreX, std::size_t halfTrace,
                                          std::size_t traceLength, double windowHalfWidth,
                                          const std::vector<double>* posX,
                                          const std::vector<double>* sizeX, std::size_t eventCount,
                                          int channelIndex, int channelCount) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const ColumnHandle flPos = fullColumn(reader, channelName(channel, "_pos"), eventCount);
    std::vector<double> maximum(eventCount, 0.0);
    std::vector<double> position(eventCount, 0.0);
    std::vector<double> width(eventCount, 0.0);
    const bool velocityModel = posX && sizeX && posX->size() >= eventCount &&
                               sizeX->size() >= eventCount && velocity > 0.0;
    const double widen = velocityModel ? std::min(1.0 + spread / velocity, 1.5) : 1.0;
    const std::int64_t base = std::int64_t(channelIndex) * 100 / std::max(channelCount, 1);
    const std::int64_t step = 100 / std::max(channelCount, 1);
    const std::string traceName = channelName(channel, "_median_rf");

    for (std::size_t e = 0; e < eventCount; ++e) {
        if (m_cancel)
            return false;
        if (e % 256 == 0)
            emit progressChanged(
                static_cast<int>(base + static_cast<std::int64_t>(e) * step /
                                            static_cast<std::int64_t>(eventCount)));
        const double measuredPos = flPos ? (*flPos)[e] : kNaN;
        // A trace of no samples has no window: the event keeps the
        // no-trace values below.
        std::vector<float> trace;
        SampleWindow window;
        if (traceLength > 0) {
            double low = 0.0;
            double high = 0.0;
            if (velocityModel) {
                const double centre =
                    ((*posX)[e] - centreX) / (dt * velocity) + static_cast<double>(halfTrace);
                const double half = widen * ((*sizeX)[e] / velocity / dt * 0.5);
                low = std::max(centre - half, 0.0);
                high = centre + half;
            } else {
                const double centre = measuredPos / dt;
                low = std::max(centre - windowHalfWidth, 0.0);
                high = centre + windowHalfWidth;
            }
            window = windowSamples(low, high, traceLength);
            trace = reader->readTrace(traceName, e);
        }
        if (trace.empty() || window.hi >= trace.size()) {
            maximum[e] = 0.0;
            position[e] = measuredPos;
            width[e] = 0.0;
            continue;
        }
        const RefinedPeak peak = refinePeak(trace, window, baselineOffset, dt);
        maximum[e] = peak.maximum;
        position[e] = peak.position;
        width[e] = peak.width;
    }
    reader->addCalculatedFeature(channelName(channel, "_max_rf"), std::move(maximum));
    reader->addCalculatedFeature(channelName(channel, "_pos_rf"), std::move(position));
    reader->addCalculatedFeature(channelName(channel, "_width_rf"), std::move(width));
    return true;
}

} // namespace Quorvex3
