#pragma once

#include <QObject>

#include <armadillo>

#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// Removes the fluorescence spillover between channels from each event's
/// peak heights ("fl<N>_max_ctc"). Owned by the main window.
class FLCompensation : public QObject {
    Q_OBJECT

public:
    explicit FLCompensation(QObject* parent = nullptr);

    /// Compensates the listed channels with the inverse of `spillover`
    /// (channels × channels, row and column k belong to channels[k]).
    /// @return true when the features were added. This build computes
    ///         nothing yet and always returns false.
    bool run(RTDCReader* reader, const std::vector<int>& channels,
             const arma::Mat<double>& spillover);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
