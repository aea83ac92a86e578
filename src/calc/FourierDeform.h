#pragma once

#include <QObject>

#include <vector>

namespace cv {
class Mat;
template <typename T> class Point_;
} // namespace cv

namespace Quorvex3 {

class RTDCReader;

/// Deformation measures from the Fourier decomposition of each event's
/// outline: "deform_odd", "deform_even" and "deform_fc" (see
/// FourierComponentAnalysis, run with 11 orders on 100 equidistant angles).
/// Owned by the main window; holds no state between runs.
class FourierDeform : public QObject {
    Q_OBJECT

public:
    explicit FourierDeform(QObject* parent = nullptr);

    /// The outer outline of the largest blob of a binary mask (8-bit, one
    /// channel, non-zero inside), every boundary pixel kept. Only outlines of
    /// more than 4 points and non-zero area count; of equal areas the first
    /// found wins. Empty when no blob qualifies.
    static std::vector<cv::Point_<int>> contourFromMask(const cv::Mat& mask);

    /// The three Fourier deformations of one mask, in the order odd, even,
    /// all orders; NaN where the mask has no usable outline. "odd" and
    /// "even" are both finite or both NaN.
    static std::vector<double> deformationsOfMask(const cv::Mat& mask);

    /// Computes the three features of every event from its mask and adds
    /// them to the reader (one value per event, NaN where an event has no
    /// usable outline). Runs on the calling thread.
    /// @return false, adding nothing, when the reader is null or has no masks.
    bool run(RTDCReader* reader);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
