#pragma once

#include "calc/EModParams.h"
#include "core/EventFilter.h"
#include "model/FilterGroup.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// Format version this program writes into session files.
constexpr int kSessionFormatVersion = 1;

/// Contour levels a dataset gets when the stored ones are unusable.
constexpr double kDefaultContourFraction1 = 0.1;
constexpr double kDefaultContourFraction2 = 0.67;

/// What a session remembers of a measurement file so that a changed file is
/// noticed on load. A value the file did not hold (or held as something other
/// than a whole number from 0 to 2^53) is absent, and an absent value never
/// matches a measurement.
struct SessionFingerprint {
    /// Size of the file in bytes when the session was saved.
    std::optional<std::int64_t> fileSize;
    /// The measurement's event count.
    std::optional<std::int64_t> eventCount;
    /// Twelve lowercase hex digits over the file's own feature names
    /// (computeFeatureHash); empty when unknown.
    QString featureHash;
};

/// One element of a session's "datasets" array: everything needed to open
/// the measurement again and restore how it was shown. Its position in
/// SessionDocument::datasets is its session index.
///
/// Records returned by parseSessionDocument are already checked: every
/// value lies in its valid range or has taken its default. The checks that
/// need the opened measurement (event index, fluorescence channels) are
/// done by checkAgainstMeasurement.
struct SessionDataset {
    /// Path of the measurement as stored: relative to the session file's
    /// folder (resolveStoredDatasetPath), or absolute.
    QString filePath;
    /// Name shown in lists; empty keeps the name taken from the file.
    QString displayName;
    /// Plotted features (UTF-8); may be empty.
    std::string xFeatureName;
    std::string yFeatureName;
    std::string colorFeatureName;
    /// Selected event, -1 for none.
    int currentEventIndex = -1;
    /// Contour mode 0..2 and the two contour levels, each inside (0, 1).
    int contourMode = 0;
    double contourFraction1 = kDefaultContourFraction1;
    double contourFraction2 = kDefaultContourFraction2;
    /// ScaleMode codes 0..2 of the axes.
    int scaleXMode = 0;
    int scaleYMode = 0;

    /// Derived-feature computations to redo when the dataset is first shown.
    bool flRefinementApplied = false;
    /// Crosstalk compensation: when set, `ctcChannels` holds n >= 1 distinct
    /// channel numbers and `spilloverMatrix` their n x n finite matrix, row
    /// by row (element (r, c) at r * n + c). Both empty when not set.
    bool ctcApplied = false;
    std::vector<int> ctcChannels;
    std::vector<double> spilloverMatrix;
    /// Young's modulus: when set, `emodParams` holds usable parameters
    /// (positive finite channel width, flow rate and pixel size, known
    /// codes); the defaults otherwise.
    bool emodApplied = false;
    EModParams emodParams;
    bool fcDeformApplied = false;
    bool imageFeaturesApplied = false;

    /// A duplicate shares the measurement of the dataset at
    /// `duplicateOfIndex`, an earlier dataset that is no duplicate itself.
    /// A duplicate whose stored source was not such a dataset keeps
    /// `isDuplicate` with `duplicateOfIndex` -1: it is not recreated.
    bool isDuplicate = false;
    int duplicateOfIndex = -1;
    SessionFingerprint fingerprint;

    /// The dataset's own filter (an absent one reads as disabled, AND, no
    /// rules).
    EventFilter filter;
    /// Filter group id -> switched on; only ids of the document's groups.
    std::map<int, bool> groupEnabled;

    /// What the reader could not use of this dataset as stored, for the
    /// user when the dataset is restored (see SessionDocument::repairs).
    std::vector<QString> repairs;
};

/// The whole content of a session file (".QV3"), as a plain record. The
/// window states are passed through untouched: their owners read them.
struct SessionDocument {
    /// Version read from the file (always kSessionFormatVersion when
    /// written).
    int version = kSessionFormatVersion;
    /// When the file was saved, as stored; never written from here.
    QString savedAt;

    /// Session index of the active dataset: inside 0..datasets-1 when there
    /// are datasets, -1 otherwise.
    int activeDatasetIndex = -1;
    /// Colour map 0..5 of the main scatter plot.
    int colorMapIndex = 0;
    bool expertMode = false;

    std::vector<SessionDataset> datasets;
    /// Groups with distinct ids from 0 to INT_MAX - 1, in stored order.
    std::vector<FilterGroup> filterGroups;
    /// Id of the next new group: never negative and above every group id.
    int nextGroupId = 0;

    /// States of the open combined plot windows and statistical evaluation
    /// windows, in window order.
    std::vector<QJsonObject> combineWindows;
    std::vector<QJsonObject> statEvalWindows;

    /// What the reader could not use as stored, for the user: one line per
    /// value replaced by its default or element left out, naming the
    /// dataset, group or window it belongs to ("b.rtdc: ..."). A missing key
    /// is no damage and is not listed. Never written to a file. Lines about
    /// one dataset's own values are kept with that dataset, so that those of
    /// a dataset the user chose not to load are not listed.
    std::vector<QString> repairs;
};

} // namespace Quorvex3
