#pragma once

#include <string>
#include <vector>

namespace Quorvex3 {

/// The choices of the export dialog. The main window keeps the last
/// accepted one and offers it again as the next dialog's starting point.
/// The format is .rtdc when neither formatTsv nor formatAvi is set.
struct ExportResult {
    /// Names of the checked scalar features, in the dialog's list order.
    std::vector<std::string> features;
    bool includeImages = false;
    bool includeMasks = false;
    bool includeTraces = false;
    bool formatTsv = false;
    bool formatAvi = false;
    /// MJPEG-compressed video, else uncompressed frames.
    bool aviMjpeg = true;
    /// Of the events recorded in one camera frame only the first is written.
    bool aviSkipDuplicateFrames = false;
    /// Write every file to outputDirectory instead of beside its measurement.
    bool useCustomDirectory = false;
    /// The folder field's text (UTF-8), kept whether or not it is used.
    std::string outputDirectory;
    /// Every dataset instead of the current one.
    bool allDatasets = false;
};

} // namespace Quorvex3
