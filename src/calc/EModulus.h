#pragma once

#include <QObject>

#include <utility>
#include <vector>

namespace Quorvex3 {

class RTDCReader;
struct EModParams;

/// Young's modulus of deformed cells from a finite-element look-up table,
/// and the lines of constant modulus drawn over area and deformation.
class EModulus : public QObject {
    Q_OBJECT

public:
    /// One line of constant Young's modulus, as drawn on scatter plots.
    struct IsoLine {
        /// Modulus of the line in kPa, in the dataset's conditions.
        double value = 0.0;
        /// Points (projected area in µm², deformation) in increasing area.
        /// Plots skip lines with fewer than two points.
        std::vector<std::pair<double, double>> points;
    };

    /// The main window owns one, as a child.
    explicit EModulus(QObject* parent = nullptr);

    /// Computes "emodulus" for every event and registers it with the reader.
    /// @return true when the feature was added. This build has no look-up
    ///         table yet: it computes nothing and returns false.
    bool run(RTDCReader* reader, const EModParams& params);

    /// Lines of the fixed modulus levels in the conditions of `params`;
    /// empty when the look-up table is not available (always, in this build).
    std::vector<IsoLine> computeIsolines(const EModParams& params);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);
};

} // namespace Quorvex3
