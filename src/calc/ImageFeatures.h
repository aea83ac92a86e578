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

    /// Computes and registers the features of every event.
    /// @return true when they were added. This build computes nothing yet
    ///         and always returns false.
    bool run(RTDCReader* reader);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
