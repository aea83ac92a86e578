#include "session/DatasetExport.h"

#include "core/RTDCReader.h"
#include "session/AviExport.h"
#include "session/ExportPlanning.h"
#include "session/RTDCWriter.h"
#include "session/TsvExport.h"
#include "util/AtomicFile.h"

#include <QFile>

#include <algorithm>
#include <functional>

namespace Quorvex3 {

namespace {

using Status = ExportOutcome::Status;

ExportOutcome failed(Status status, const QString& path, const QString& error) {
    ExportOutcome outcome;
    outcome.status = status;
    outcome.path = path;
    outcome.error = error;
    return outcome;
}

// One dataset's progress over the steps of its export, each step an equal
// share, told on to the job's progress; remembers a request to stop.
class StepProgress {
public:
    StepProgress(const ExportProgress& report, std::size_t steps)
        : m_report(report), m_steps(std::max<std::size_t>(steps, 1)) {}

    /// The progress of step `index` (0-based), told within the step.
    ExportProgress step(std::size_t index) {
        return [this, index](std::size_t done, std::size_t total) {
            const double within = total == 0 ? 1.0 : std::min(1.0, double(done) / double(total));
            return goOn(index * kShare + static_cast<std::size_t>(within * kShare));
        };
    }
    bool goOn(std::size_t units) {
        if (!m_report || m_cancelled)
            return !m_cancelled;
        m_cancelled = !m_report(units, m_steps * kShare);
        return !m_cancelled;
    }
    bool cancelled() const { return m_cancelled; }

private:
    static constexpr std::size_t kShare = 1000;
    const ExportProgress& m_report;
    std::size_t m_steps;
    bool m_cancelled = false;
};

// The per-event parts of an .rtdc export, one step of the progress each.
std::vector<std::function<bool()>> rtdcParts(RTDCWriter& writer, RTDCReader& reader,
                                             const ExportResult& choices,
                                             const std::vector<std::string>& features,
                                             const std::vector<int>& indices) {
    std::vector<std::function<bool()>> parts;
    parts.emplace_back([&] { return writer.writeScalarFeatures(features, indices, reader); });
    if (choices.includeImages && reader.hasImages())
        parts.emplace_back([&] { return writer.writeImages(reader, indices); });
    if (choices.includeMasks && reader.hasMasks())
        parts.emplace_back([&] { return writer.writeMasks(reader, indices); });
    if (choices.includeTraces)
        parts.emplace_back([&] { return writer.writeTraces(reader, indices); });
    return parts;
}

// The steps of an .rtdc export in their order; false at the first failure
// or when the progress asked to stop.
bool writeRtdcSteps(RTDCWriter& writer, const DatasetExportJob& job,
                    const std::vector<std::function<bool()>>& parts,
                    const std::vector<int>& indices, bool filterApplied,
                    const EventFilter& recordedFilter, StepProgress& steps) {
    RTDCReader& reader = *job.reader;
    static const RTDCMetadata s_noMetadata;
    const RTDCMetadata& metadata = job.metadata ? *job.metadata : s_noMetadata;
    bool ok =
        steps.goOn(0) && writer.copyMetadata(reader) &&
        (!filterApplied || writer.writeOfflineFilterMetadata(recordedFilter)) &&
        writer.writeExportMetadata(indices.size(), changedSampleName(job.displayName, metadata));
    for (std::size_t i = 0; ok && i < parts.size(); ++i) {
        writer.setProgress(steps.step(i));
        ok = parts[i]();
    }
    writer.setProgress({});
    return ok && writer.close();
}

// The chosen features among `names` with the reader's reason why they
// gave no values.
std::vector<ExportOutcome::SkippedFeature> skippedWithReasons(const std::vector<std::string>& names,
                                                              const RTDCReader& reader) {
    std::vector<ExportOutcome::SkippedFeature> skipped;
    for (const std::string& name : names)
        skipped.push_back({name, reader.featureReadError(name)});
    return skipped;
}

QString countLine(std::size_t count, const char* text) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(text));
}

QString reasonLeftOut(const ExportOutcome& outcome) {
    const QString detail =
        outcome.error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(outcome.error);
    switch (outcome.status) {
    case Status::Skipped:
        return QStringLiteral("the measurement is not open");
    case Status::NoEvents:
        return QStringLiteral("no events pass the filter");
    case Status::NoImages:
        return QStringLiteral("no images available");
    case Status::NoImageSize:
        return QStringLiteral("failed to read image dimensions");
    case Status::CreateFailed:
        return QStringLiteral("failed to create %1").arg(outcome.path) + detail;
    case Status::EncoderNotOpened:
        return QStringLiteral("failed to create video file %1").arg(outcome.path) + detail;
    case Status::WriteFailed:
        return QStringLiteral("failed to write %1").arg(outcome.path) + detail;
    case Status::Cancelled:
        return QStringLiteral("cancelled");
    case Status::Written:
        break;
    }
    return QString();
}

} // namespace

ExportOutcome exportDatasetAsRtdc(const DatasetExportJob& job, const ExportResult& choices,
                                  const QString& path, const std::vector<std::string>& features,
                                  const std::vector<int>& indices, bool filterApplied,
                                  const EventFilter& recordedFilter) {
    TemporaryTarget target(path);
    QString error;
    if (!target.create(&error))
        return failed(Status::CreateFailed, path, error);
    RTDCWriter writer;
    if (!writer.createFile(QFile::encodeName(target.temporaryPath()).toStdString()))
        return failed(Status::CreateFailed, path, QString::fromStdString(writer.lastError()));
    const std::vector<std::function<bool()>> parts =
        rtdcParts(writer, *job.reader, choices, features, indices);
    StepProgress steps(job.progress, parts.size());
    if (!writeRtdcSteps(writer, job, parts, indices, filterApplied, recordedFilter, steps)) {
        writer.close();
        // The temporary file goes with the target object: nothing is left.
        if (steps.cancelled())
            return failed(Status::Cancelled, path, QString());
        return failed(Status::WriteFailed, path, QString::fromStdString(writer.lastError()));
    }
    if (!target.commit(&error))
        return failed(Status::WriteFailed, path, error);
    ExportOutcome outcome;
    outcome.status = Status::Written;
    outcome.path = path;
    outcome.eventsWritten = indices.size();
    outcome.unreadableImages = writer.unreadableImages();
    outcome.unreadableMasks = writer.unreadableMasks();
    outcome.unreadableTraceRows = writer.unreadableTraceRows();
    outcome.skippedFeatures = skippedWithReasons(writer.skippedFeatures(), *job.reader);
    return outcome;
}

ExportOutcome exportDatasetAsTsv(const DatasetExportJob& job, const QString& path,
                                 const std::vector<std::string>& features,
                                 const std::vector<int>& indices) {
    RTDCReader& reader = *job.reader;
    static const RTDCMetadata s_noMetadata;
    const RTDCMetadata& metadata = job.metadata ? *job.metadata : s_noMetadata;
    std::vector<TsvColumn> columns;
    std::vector<std::string> unreadable;
    for (const std::string& name : features) {
        columns.push_back({reader.getFeatureLabel(name), &reader.readScalarFeature(name)});
        if (columns.back().values->empty())
            unreadable.push_back(name);
    }
    const std::vector<std::string> header = tsvHeaderLines(
        indices.size(), changedSampleName(job.displayName, metadata), metadata, localIsoDate());
    bool openFailed = false;
    QString error;
    StepProgress steps(job.progress, 1);
    if (!writeTsvFile(path, header, columns, indices, openFailed, error, steps.step(0))) {
        if (steps.cancelled())
            return failed(Status::Cancelled, path, QString());
        return failed(openFailed ? Status::CreateFailed : Status::WriteFailed, path, error);
    }
    ExportOutcome outcome;
    outcome.status = Status::Written;
    outcome.path = path;
    outcome.eventsWritten = indices.size();
    outcome.skippedFeatures = skippedWithReasons(unreadable, reader);
    return outcome;
}

ExportOutcome exportDatasetAsAvi(const DatasetExportJob& job, const QString& path,
                                 const std::vector<int>& indices, bool mjpeg,
                                 bool skipDuplicateFrames) {
    RTDCReader& reader = *job.reader;
    if (!reader.hasImages())
        return failed(Status::NoImages, path, QString());
    const std::vector<double>* frameNumbers = nullptr;
    std::vector<std::string> unreadable;
    if (skipDuplicateFrames) {
        const std::vector<double>& column = reader.readScalarFeature("frame");
        if (!column.empty())
            frameNumbers = &column;
        else if (reader.hasFeature("frame"))
            unreadable.push_back("frame"); // no frame is skipped: the user should know why
    }
    StepProgress steps(job.progress, 1);
    const AviOutcome written = writeAviFile(
        path, indices,
        [&reader](int event, int& width, int& height) {
            return reader.readImage(static_cast<std::size_t>(event), width, height);
        },
        frameNumbers, mjpeg, steps.step(0));
    if (steps.cancelled())
        return failed(Status::Cancelled, path, QString());
    ExportOutcome outcome;
    outcome.path = path;
    outcome.error = written.error;
    outcome.eventsWritten = written.framesWritten;
    outcome.duplicateFrames = written.duplicateFrames;
    outcome.unreadableImages = written.unreadableImages;
    outcome.mismatchedImages = written.mismatchedImages;
    outcome.skippedFeatures = skippedWithReasons(unreadable, reader);
    switch (written.status) {
    case AviOutcome::Status::Written:
        outcome.status = Status::Written;
        break;
    case AviOutcome::Status::NoImageSize:
        outcome.status = Status::NoImageSize;
        break;
    case AviOutcome::Status::EncoderNotOpened:
        outcome.status = Status::EncoderNotOpened;
        break;
    case AviOutcome::Status::WriteFailed:
        outcome.status = Status::WriteFailed;
        break;
    }
    return outcome;
}

ExportOutcome exportDataset(const DatasetExportJob& job, const ExportResult& choices) {
    if (!job.reader || !job.reader->isOpen())
        return ExportOutcome{};
    const ExportFormat format = exportFormatOf(choices);
    const QString path = firstFreeExportPath(exportFolder(job.filePath, choices),
                                             exportFileName(job.filePath, format));
    const EventSelection selection = selectExportEvents(job.effectiveFilter, *job.reader);
    if (selection.indices.empty())
        return failed(Status::NoEvents, path, QString());
    const std::vector<std::string> features = selectExportFeatures(choices.features, *job.reader);
    switch (format) {
    case ExportFormat::Tsv:
        return exportDatasetAsTsv(job, path, features, selection.indices);
    case ExportFormat::Avi:
        return exportDatasetAsAvi(job, path, selection.indices, choices.aviMjpeg,
                                  choices.aviSkipDuplicateFrames);
    case ExportFormat::Rtdc:
        break;
    }
    return exportDatasetAsRtdc(job, choices, path, features, selection.indices,
                               selection.filterApplied, selection.recordedFilter);
}

ExportMessage failureMessage(const ExportOutcome& outcome, const QString& displayName) {
    const QString detail =
        outcome.error.isEmpty() ? QString() : QStringLiteral("\n\n") + outcome.error;
    const QString exportTitle = QStringLiteral("Export");
    const QString errorTitle = QStringLiteral("Export Error");
    using Kind = ExportMessage::Kind;
    switch (outcome.status) {
    case Status::NoEvents:
        return {Kind::Warning, exportTitle,
                QStringLiteral("No events pass the filter for: %1").arg(displayName)};
    case Status::NoImages:
        return {Kind::Warning, exportTitle,
                QStringLiteral("No images available in: %1").arg(displayName)};
    case Status::NoImageSize:
        return {Kind::Warning, exportTitle, QStringLiteral("Failed to read image dimensions.")};
    case Status::CreateFailed:
        return {Kind::Critical, errorTitle,
                QStringLiteral("Failed to create: %1").arg(outcome.path) + detail};
    case Status::EncoderNotOpened:
        return {Kind::Critical, errorTitle,
                QStringLiteral("Failed to create video file: %1").arg(outcome.path) + detail};
    case Status::WriteFailed:
        return {Kind::Critical, errorTitle,
                QStringLiteral("Failed to write: %1").arg(outcome.path) + detail};
    case Status::Written:
    case Status::Skipped:
    case Status::Cancelled:
        break;
    }
    return {};
}

QStringList exportNotices(const ExportOutcome& outcome) {
    QStringList lines;
    if (outcome.status != Status::Written)
        return lines;
    if (outcome.unreadableImages > 0)
        lines << countLine(outcome.unreadableImages,
                           "image(s) could not be read and were left out");
    if (outcome.unreadableMasks > 0)
        lines << countLine(outcome.unreadableMasks, "mask(s) could not be read and were left out");
    if (outcome.unreadableTraceRows > 0)
        lines << countLine(outcome.unreadableTraceRows,
                           "trace row(s) could not be read and were left out");
    if (outcome.mismatchedImages > 0)
        lines << countLine(outcome.mismatchedImages,
                           "frame(s) left out: image size differs from the first image");
    if (outcome.duplicateFrames > 0)
        lines << countLine(outcome.duplicateFrames, "duplicate frame(s) skipped");
    if (!outcome.skippedFeatures.empty()) {
        QStringList names;
        QStringList reasons;
        for (const ExportOutcome::SkippedFeature& feature : outcome.skippedFeatures) {
            names << QString::fromStdString(feature.name);
            if (!feature.reason.empty())
                reasons << QString::fromStdString(feature.reason);
        }
        lines << QStringLiteral("Features without readable values left out: %1")
                     .arg(names.join(QStringLiteral(", ")));
        lines << reasons;
    }
    return lines;
}

ExportMessage closingMessage(const std::vector<std::pair<QString, ExportOutcome>>& outcomes,
                             bool allDatasets) {
    using Kind = ExportMessage::Kind;
    const QString title = QStringLiteral("Export");
    int written = 0;
    QStringList leftOut;
    QStringList notices;
    for (const auto& [name, outcome] : outcomes) {
        if (outcome.status == Status::Cancelled)
            return {};
        if (outcome.status != Status::Written) {
            leftOut << QStringLiteral("%1: %2").arg(name, reasonLeftOut(outcome));
            continue;
        }
        ++written;
        for (const QString& line : exportNotices(outcome))
            notices << (allDatasets ? QStringLiteral("%1: %2").arg(name, line) : line);
    }
    const QString noticeText =
        notices.isEmpty() ? QString() : QStringLiteral("\n\n") + notices.join(QLatin1Char('\n'));
    if (!allDatasets) {
        // A failed single export was reported by its own box already.
        if (written == 0)
            return {};
        return {Kind::Information, title,
                QStringLiteral("Dataset exported successfully.") + noticeText};
    }
    const int total = static_cast<int>(outcomes.size());
    if (written == total)
        return {Kind::Information, title,
                QStringLiteral("Exported %1 dataset(s) successfully.").arg(total) + noticeText};
    return {Kind::Warning, title,
            QStringLiteral("Exported %1 of %2 datasets.").arg(written).arg(total) +
                QStringLiteral("\n\nNot exported:\n") + leftOut.join(QLatin1Char('\n')) +
                noticeText};
}

} // namespace Quorvex3
