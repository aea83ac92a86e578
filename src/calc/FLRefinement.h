#pragma once

#include <QObject>

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
/// trace "fl<N>_median_rf"). Owned by the main window.
class FLRefinement : public QObject {
    Q_OBJECT

public:
    explicit FLRefinement(QObject* parent = nullptr);

    /// Computes and registers the refined features with the reader.
    /// @return true when features were added. This build computes nothing
    ///         yet and always returns false.
    bool run(RTDCReader* reader, const RTDCMetadata& metadata, const FLRefineSettings& settings);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
