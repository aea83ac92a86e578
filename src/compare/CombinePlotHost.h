#pragma once

#include <QString>

#include <string>
#include <vector>

namespace Quorvex3 {

struct DatasetEntry;
struct IsoLine;

/// What the combined plot window asks of the window that hosts it, beyond
/// the datasets it reads from the store: the state of the host's own plot
/// controls and the derived-feature settings it keeps. The main window
/// implements it; tests give a small fake. GUI thread only.
class CombinePlotHost {
public:
    virtual ~CombinePlotHost() = default;

    /// Stores the controls of the host's plot into the active dataset's
    /// record, so that a reference made from that record takes what the
    /// host shows (features, scales).
    virtual void saveCurrentDatasetState() = 0;
    /// Lines of constant Young's modulus for a plot of `entry` with these
    /// features, in the plot's orientation; none for any other feature pair
    /// than area and deformation, or a null entry.
    virtual std::vector<IsoLine> isolinesForDataset(const DatasetEntry* entry,
                                                    const std::string& xFeature,
                                                    const std::string& yFeature) const = 0;
    /// The colour map of density colouring, 0 to 5.
    virtual int colorMapIndex() const = 0;
    /// Why no iso-modulus lines can be drawn (the look-up table is missing
    /// or unusable), as a sentence for the user; empty when they can.
    virtual QString isolineTableProblem() const = 0;

protected:
    CombinePlotHost() = default;
    CombinePlotHost(const CombinePlotHost&) = default;
    CombinePlotHost& operator=(const CombinePlotHost&) = default;
};

} // namespace Quorvex3
