#pragma once

#include "calc/EModParams.h"
#include "core/EventFilter.h"
#include "core/RTDCMetadata.h"
#include "model/SpilloverMatrix.h"

#include <QString>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// One measurement opened in the main window, with the plot and calculation
/// state the window restores when the user switches back to it.
///
/// A plain record: the main window owns each entry uniquely and fills it field
/// by field after construction. Only the reader is shared (with duplicates of
/// the entry and with background tasks that read from it).
struct DatasetEntry {
    /// Unique for the program's run; never reused, also not after removal.
    int id = -1;
    /// The opened measurement; shared with duplicates of this entry.
    std::shared_ptr<RTDCReader> reader;
    /// Copy of the measurement's metadata, read once when it was opened.
    RTDCMetadata metadata;
    /// The path exactly as it was opened (UTF-8). Equal paths mean the same
    /// measurement.
    std::string filePath;
    /// Name shown in lists, titles and tool windows.
    QString displayName;
    /// Plotted features. The colour name may be empty (no colouring) or a
    /// density key beginning with "__density_".
    std::string xFeatureName;
    std::string yFeatureName;
    std::string colorFeatureName;
    /// Event shown in the event views, -1 for none.
    int currentEventIndex = -1;
    /// True once the background preload of the features has finished, or
    /// when the entry is a duplicate of a loaded one.
    bool featuresLoaded = false;
    /// The dataset's own filter: no rules, AND, enabled.
    EventFilter filter;
    /// Index of the contour mode choice (0 off, 1 overlay, 2 only).
    int contourMode = 0;
    /// Inner and outer contour levels as fractions (0.1 is 10 %).
    double contourFraction1 = 0.1;
    double contourFraction2 = 0.67;
    /// Axis scale codes: 0 linear, 1 logarithmic, 2 pseudo-logarithmic.
    int scaleXMode = 0;
    int scaleYMode = 0;
    /// Fluorescence refinement / crosstalk compensation were run.
    bool flRefinementApplied = false;
    bool ctcApplied = false;
    /// Fluorescence channel numbers that `spilloverMatrix` refers to.
    std::vector<int> ctcChannels;
    /// Spillover matrix (channels by channels) last used for compensation.
    SpilloverMatrix spilloverMatrix;
    /// Young's modulus was computed, with these parameters.
    bool emodApplied = false;
    EModParams emodParams;
    /// Fourier deformation / image texture features were computed.
    bool fcDeformApplied = false;
    bool imageFeaturesApplied = false;
    /// Filter group id -> switched on for this dataset. A missing key is off.
    std::unordered_map<int, bool> groupEnabled;
    /// Features whose read failed during the preload, as reported by it.
    std::vector<std::string> failedFeatures;
};

/// The scalar features of the entry's measurement, in the reader's order;
/// none without an entry or a reader.
std::vector<std::string> scalarFeaturesOf(const DatasetEntry* entry);

} // namespace Quorvex3
