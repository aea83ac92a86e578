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

    /// The inverse of `spillover` in `compensation`. False without a message
    /// for an empty or non-square matrix; false with the line
    /// "FLCompensation: spillover matrix is singular" on standard error, and
    /// `compensation` emptied, when the matrix has no usable inverse
    /// (singular, numerically singular, or holding non-finite entries).
    static bool compensationMatrix(const arma::Mat<double>& spillover,
                                   arma::Mat<double>& compensation);

    /// output[r] = Σ_c compensation(r, c) · input[c], summed in ascending c
    /// with fused multiply-add; all zeros (input's length) unless the matrix
    /// is n × n for the input's n > 0.
    static void compensateEvent(const arma::Mat<double>& compensation,
                                const std::vector<double>& input, std::vector<double>& output);

    /// Compensates the listed channels with the inverse of `spillover`
    /// (channels × channels, row and column k belong to channels[k]). Each
    /// channel's input is "fl<N>_max_rf" once refinement computed it, else
    /// "fl<N>_max"; a missing or short input column counts as NaN for the
    /// events it lacks. Adds "fl<N>_max_ctc" in list order.
    /// @return true when the features were added; false, with the reader
    ///         unchanged, for fewer than 2 channels, a matrix of the wrong
    ///         size, an empty measurement or a singular matrix.
    bool run(RTDCReader* reader, const std::vector<int>& channels,
             const arma::Mat<double>& spillover);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
