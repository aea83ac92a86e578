#pragma once

#include "core/EventFilter.h"
#include "session/ExportProgress.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

class RTDCReader;
struct ExportFileOutcome;

/// Writes a filtered copy of one measurement as a new .rtdc file: the
/// source's root attributes, a record of the filter and of the export, and
/// for the chosen events (rows in the order of the index list) the scalar
/// features as 64-bit floats, the images and masks as (N, H, W) bytes in
/// chunks of one frame, and the traces as (N, L) 32-bit floats in chunks of
/// one row, all per-event stacks deflated at level 4.
///
/// Every step returns whether it succeeded; the first failure's text is
/// kept in lastError() (also printed to standard error). A caller that
/// wants no half-written file writes to a temporary file and keeps it only
/// when every step and close() succeeded. Per-event data that cannot be
/// read from the source is not a failure: its row keeps the fill value (0)
/// and is counted.
///
/// Every HDF5 call runs under RTDCReader::s_hdf5Mutex. One thread; not
/// copied or shared; a write step on a closed writer does nothing and
/// returns false.
class RTDCWriter {
public:
    RTDCWriter();
    /// Closes a file still open (its outcome is then lost: call close()).
    ~RTDCWriter();
    RTDCWriter(const RTDCWriter&) = delete;
    RTDCWriter& operator=(const RTDCWriter&) = delete;

    /// Creates (truncating) the file and its group "/events", and forgets the
    /// failures and counts of a file written before. On failure no file
    /// stays open.
    bool createFile(const std::string& path);
    /// Flushes and closes the file, exactly once; false when that failed (a
    /// full disk, the file-size limit) or an earlier step failed. The close
    /// itself cannot fail: a failed file is closed without writing more of
    /// it to the disk, and is only fit to be discarded. A file-size limit
    /// fails the export as a full disk does once SIGXFSZ is ignored
    /// (ignoreFileSizeLimitSignal, at the program's start-up).
    bool close();
    bool isOpen() const;

    /// Copies each root attribute of the source file with its own name,
    /// datatype, shape and value (strings, integers, floats, enumerations,
    /// and arrays of them; references, compounds and other kinds are left
    /// out). "offline_filter:" and "export:" attributes are left out: this
    /// export writes its own.
    bool copyMetadata(RTDCReader& source);
    /// Records the enabled rules of the filter that selected the events
    /// (see offlineFilterRecord); nothing for a disabled filter.
    bool writeOfflineFilterMetadata(const EventFilter& filter);
    /// "export:date" (local date, YYYY-MM-DD), "export:event count" and,
    /// when not empty, "export:changed sample name"; a copied
    /// "experiment:event count" is restated as `eventCount` in its own type.
    bool writeExportMetadata(std::size_t eventCount, const std::string& changedSampleName);
    /// One dataset per feature with readable values; element k is the
    /// column's value at indices[k], NaN beyond the column's end. A feature
    /// without values is left out and listed in skippedFeatures().
    bool writeScalarFeatures(const std::vector<std::string>& features,
                             const std::vector<int>& indices, RTDCReader& reader);
    /// The frames of the listed events; the first listed frame fixes the
    /// shape. Nothing when the source has none or its first frame is
    /// unreadable (counted in unreadableImages()).
    bool writeImages(RTDCReader& reader, const std::vector<int>& indices);
    bool writeMasks(RTDCReader& reader, const std::vector<int>& indices);
    /// "/events/trace" with every trace of the source: each numeric
    /// (events, samples) dataset under the source's "/events/trace",
    /// whatever its name (the reader lists only some), then the reader's
    /// derived traces. Nothing when there is none; a trace of no samples is
    /// left out. Row k is the source's row indices[k] as 32-bit floats.
    bool writeTraces(RTDCReader& reader, const std::vector<int>& indices);

    /// Told how far the step under way has come (features, or rows of the
    /// image, mask or trace stacks); when it answers false the step stops
    /// and fails ("cancelled"), and the file is only fit to be discarded.
    /// Applies to the steps called after it is set.
    void setProgress(ExportProgress progress) { m_progress = std::move(progress); }

    /// Text of the first failure, empty while none occurred.
    const std::string& lastError() const { return m_lastError; }
    /// Rows left at the fill value because the source could not supply them.
    std::size_t unreadableImages() const { return m_unreadableImages; }
    std::size_t unreadableMasks() const { return m_unreadableMasks; }
    std::size_t unreadableTraceRows() const { return m_unreadableTraceRows; }
    const std::vector<std::string>& skippedFeatures() const { return m_skippedFeatures; }

private:
    bool writeFrames(RTDCReader& reader, const std::vector<int>& indices, bool masks);
    bool fail(const std::string& prefix, const std::string& detail);
    /// Whether to go on after `done` of `total` units of the step.
    bool goOn(std::size_t done, std::size_t total) const {
        return !m_progress || m_progress(done, total);
    }

    /// The open file, H5I_INVALID_HID while none; closed exactly once.
    std::int64_t m_file = -1;
    /// The driver's record of the open file's writes.
    std::unique_ptr<ExportFileOutcome> m_outcome;
    std::string m_lastError;
    std::size_t m_unreadableImages = 0;
    std::size_t m_unreadableMasks = 0;
    std::size_t m_unreadableTraceRows = 0;
    std::vector<std::string> m_skippedFeatures;
    ExportProgress m_progress;
};

} // namespace Quorvex3
