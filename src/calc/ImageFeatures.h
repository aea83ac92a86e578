#pragma once

#include <QObject>

#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// Names of the 24 image texture features, in their fixed order
/// (brightness, local binary patterns, radial profile, spectrum, focus).
/// Built once, on first use.
const std::vector<std::string>& imageFeatureNames();

/// Texture features of every event's image within its mask, registered as
/// calculated features named by imageFeatureNames(). Owned by the main
/// window.
class ImageFeatures : public QObject {
    Q_OBJECT

public:
    explicit ImageFeatures(QObject* parent = nullptr);

    /// Computes the features of every event (computeImageFeatures on its
    /// image and mask) and adds the 24 columns to the reader; an event whose
    /// image or mask is missing or does not fit keeps NaN. Runs on the
    /// calling thread.
    /// @return false, adding nothing, when the reader is null or lacks
    ///         images or masks.
    bool run(RTDCReader* reader);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
