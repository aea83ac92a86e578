#pragma once

#include "core/EventFilter.h"
#include "core/RTDCMetadata.h"
#include "session/ExportProgress.h"
#include "session/ExportResult.h"

#include <QString>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// What one dataset's export needs of the dataset.
struct DatasetExportJob {
    /// Null, or not open: the dataset is skipped without a message.
    RTDCReader* reader = nullptr;
    /// The measurement's path (UTF-8); names the output.
    std::string filePath;
    QString displayName;
    /// The metadata read when the dataset was opened (TSV header, sample name).
    const RTDCMetadata* metadata = nullptr;
    /// The dataset's own filter followed by its enabled groups' rules.
    EventFilter effectiveFilter;
    /// Told how far the whole export of the dataset has come (`done` of
    /// `total`, both in units of its own) from the thread that runs it;
    /// false cancels it: the outcome is then Cancelled and no file is left,
    /// neither at the output path nor beside it.
    ExportProgress progress;
};

/// How one dataset's export ended, with what was written and left out.
struct ExportOutcome {
    enum class Status {
        Written,
        /// No reader or no open file: nothing to say.
        Skipped,
        NoEvents,
        NoImages,
        NoImageSize,
        /// The output file could not be created.
        CreateFailed,
        /// The video encoder could not be opened.
        EncoderNotOpened,
        /// Writing failed part-way; nothing was left at the output path.
        WriteFailed,
        /// The job's progress asked to stop; nothing was left behind.
        Cancelled,
    };
    Status status = Status::Skipped;
    /// The output file (also when its creation or writing failed).
    QString path;
    /// Rows (.rtdc, TSV) or video frames written.
    std::size_t eventsWritten = 0;
    std::size_t unreadableImages = 0;
    std::size_t unreadableMasks = 0;
    std::size_t unreadableTraceRows = 0;
    std::size_t duplicateFrames = 0;
    std::size_t mismatchedImages = 0;
    /// A chosen feature the dataset lists but whose values could not be
    /// read, with the reader's reason (empty when it gave none).
    struct SkippedFeature {
        std::string name;
        std::string reason;
    };
    /// Left out of an .rtdc file; empty cells in a table.
    std::vector<SkippedFeature> skippedFeatures;
    /// The reason of a failure, as the library or system gave it.
    QString error;
};

/// Exports one dataset as the choices say: output folder and free name,
/// event selection by the effective filter, feature selection, then the
/// .rtdc, TSV or AVI writer. Every file is written beside its final name
/// and moved there only when complete.
ExportOutcome exportDataset(const DatasetExportJob& job, const ExportResult& choices);

/// The .rtdc export of the listed events to `path`.
ExportOutcome exportDatasetAsRtdc(const DatasetExportJob& job, const ExportResult& choices,
                                  const QString& path, const std::vector<std::string>& features,
                                  const std::vector<int>& indices, bool filterApplied,
                                  const EventFilter& recordedFilter);
/// The TSV export of the listed events to `path`.
ExportOutcome exportDatasetAsTsv(const DatasetExportJob& job, const QString& path,
                                 const std::vector<std::string>& features,
                                 const std::vector<int>& indices);
/// The AVI export of the listed events' images to `path`.
ExportOutcome exportDatasetAsAvi(const DatasetExportJob& job, const QString& path,
                                 const std::vector<int>& indices, bool mjpeg,
                                 bool skipDuplicateFrames);

/// A message box to show: kind, title and text.
struct ExportMessage {
    enum class Kind { None, Information, Warning, Critical };
    Kind kind = Kind::None;
    QString title;
    QString text;
};

/// The box that reports a dataset's failed export at once (None for a
/// written or skipped dataset).
ExportMessage failureMessage(const ExportOutcome& outcome, const QString& displayName);

/// The lines about what a written export left out (unreadable images,
/// skipped frames, features without values, each with its reason); empty
/// when nothing.
QStringList exportNotices(const ExportOutcome& outcome);

/// The closing box: `outcomes` holds the display name and outcome of every
/// dataset exported, in order; `allDatasets` for the export of every
/// dataset. It claims success only for what was written, and names each
/// dataset left out with the reason. None after a cancelled export: the
/// user stopped it and needs no box saying so.
ExportMessage closingMessage(const std::vector<std::pair<QString, ExportOutcome>>& outcomes,
                             bool allDatasets);

} // namespace Quorvex3
