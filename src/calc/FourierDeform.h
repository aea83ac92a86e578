#pragma once

#include <QObject>

namespace Quorvex3 {

class RTDCReader;

/// Deformation measures from the Fourier decomposition of each event's
/// contour ("deform_fc", "deform_odd", "deform_even"). Owned by the main
/// window.
class FourierDeform : public QObject {
    Q_OBJECT

public:
    explicit FourierDeform(QObject* parent = nullptr);

    /// Computes and registers the three features from the masks.
    /// @return true when they were added. This build computes nothing yet
    ///         and always returns false.
    bool run(RTDCReader* reader);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
