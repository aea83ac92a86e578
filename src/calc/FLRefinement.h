#pragma once

#include <QObject>

#include <atomic>
#include <cstddef>
#include <utility>
#include <vector>

namespace Quorvex3 {

class RTDCReader;
struct RTDCMetadata;

/// Trace filters and velocity threshold of one fluorescence refinement. The
/// defaults are the calculations dock's starting values.
struct FLRefineSettings {
    /// First Hampel filter: on, half-window k (window 2k+1 samples), outlier
    /// threshold in scaled median absolute deviations.
    bool hampel1Enabled = true;
    int hampel1K = 5;
    float hampel1Threshold = 3.0f;
    /// Second Hampel filter, the same three values.
    bool hampel2Enabled = true;
    int hampel2K = 11;
    float hampel2Threshold = 3.0f;
    /// Running median and its half-window.
    bool medianEnabled = false;
    int medianK = 3;
    /// Rolling average and its half-window.
    bool rollingAvgEnabled = false;
    int rollingAvgK = 3;
    /// Savitzky-Golay smoothing and its half-window.
    bool savgolEnabled = true;
    int savgolK = 3;
    /// Events whose "fl<N>_max" is at or below this value take no part in
    /// the flow-velocity estimate.
    double flMaxThreshold = 400.0;
};

/// Refines the fluorescence peak of every event and channel from its
/// filtered trace ("fl<N>_max_rf", "fl<N>_pos_rf", "fl<N>_width_rf" and the
/// trace "fl<N>_median_rf"), searching only the window in which the cell is
/// expected to pass the laser. Owned by the main window.
///
/// Times are in µs from the start of the trace, "pos_x", "size_x" and the
/// pixel size in µm, the velocity in µm/µs. A column shorter than the
/// event count counts as missing.
class FLRefinement : public QObject {
    Q_OBJECT

public:
    explicit FLRefinement(QObject* parent = nullptr);

    /// Computes and registers the refined features with the reader.
    /// @return false when the measurement has no fluorescence channel or
    ///         the run was cancelled (channels finished before the cancel
    ///         keep their features); true otherwise.
    bool run(RTDCReader* reader, const RTDCMetadata& metadata, const FLRefineSettings& settings);

    /// Asks a running run to stop; safe from any thread.
    void cancel();

    /// Flow velocity and its spread from events whose peak time and image
    /// position disagree with the trace centre (see velocityFromPairs).
    /// `posX` is the "pos_x" column or null; (0, 0) without a usable one,
    /// without channels, with centreX <= 0 or a trace length of 0.
    std::pair<double, double> estimateVelocity(RTDCReader* reader, double centreX, double halfTime,
                                               const std::vector<int>& channels,
                                               const std::vector<double>* posX,
                                               std::size_t eventCount, double flMaxThreshold);

    /// Refines channel `channel` for every event and adds its three
    /// features. `posX`/`sizeX` are columns or null; `channelIndex` of
    /// `channelCount` places the channel's share of the progress.
    /// @return false when cancelled (nothing added for this channel).
    bool extractChannelFeatures(RTDCReader* reader, int channel, double dt, double baselineOffset,
                                double velocity, double spread, double centreX,
                                std::size_t halfTrace, std::size_t traceLength,
                                double windowHalfWidth, const std::vector<double>* posX,
                                const std::vector<double>* sizeX, std::size_t eventCount,
                                int channelIndex, int channelCount);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);

private:
    std::atomic<bool> m_cancel{false};
};

} // namespace Quorvex3
