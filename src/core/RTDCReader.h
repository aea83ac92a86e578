#pragma once

#include "core/RTDCMetadata.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace H5 {
class H5File;
class DataSet;
} // namespace H5

namespace Quorvex3 {

/// Settings of the five filter stages applied to derived traces, in the
/// order they run. Half-widths are in samples.
struct TraceFilterSettings {
    bool hampel1Enabled = true;
    int hampel1HalfWidth = 5;
    float hampel1Threshold = 3.0f;
    bool hampel2Enabled = true;
    int hampel2HalfWidth = 11;
    float hampel2Threshold = 3.0f;
    bool runningMedianEnabled = false;
    int runningMedianHalfWidth = 3;
    bool movingAverageEnabled = false;
    int movingAverageHalfWidth = 3;
    bool smoothingEnabled = true;
    int smoothingHalfWidth = 3;
};

/// Read-only access to one measurement file (.rtdc, HDF5).
///
/// Every HDF5 call of the whole program runs under s_hdf5Mutex. The reader
/// also guards its own containers with that lock, because derived features
/// are registered from worker threads while the GUI thread lists and reads.
/// No HDF5 exception leaves the class: failures print one line to stderr
/// and yield false or an empty result.
class RTDCReader {
public:
    /// Process-wide recursive lock around every HDF5 call.
    static std::recursive_mutex s_hdf5Mutex;

    RTDCReader();
    ~RTDCReader();
    RTDCReader(const RTDCReader&) = delete;
    RTDCReader& operator=(const RTDCReader&) = delete;

    // --- File -------------------------------------------------------------
    /// Opens `path` read-only (closing any open file first). Returns false
    /// only when the file itself cannot be opened.
    bool openFile(const std::string& path);
    void closeFile();
    /// Caller holds s_hdf5Mutex.
    void closeFileLocked();
    bool isOpen() const;
    /// Why the last openFile failed, as an English sentence for the user;
    /// empty after a successful open.
    std::string openError() const { return m_openError; }
    std::string getFilename() const;
    /// HDF5 identifier of the open file, for code that copies from it
    /// directly (the export writer); -1 when no file is open. Caller holds
    /// s_hdf5Mutex for as long as it uses the identifier.
    std::int64_t fileIdLocked() const;
    size_t getEventCount() const;

    // --- Features -----------------------------------------------------------
    /// Names of the file's features (1-D datasets under /events plus "image"
    /// and "mask") followed by derived features, sorted byte-wise. A copy
    /// taken under the lock, so it stays valid while other threads register.
    std::vector<std::string> getAvailableFeatures() const;
    void ensureFeaturesSorted();
    bool hasFeature(const std::string& name) const;

    /// Column of `name` as doubles, read once and cached: one value per
    /// event, at most getEventCount() (the rows of a longer dataset beyond
    /// the last event belong to no event and are not read). An absent
    /// feature yields a reference to a shared empty vector. The reference
    /// stays valid until the file closes, the reader is destroyed or
    /// releaseRetiredColumns() runs, even if the name is re-registered.
    const std::vector<double>& readScalarFeature(const std::string& name);
    /// The same column as a shared handle, for code on pool threads that
    /// must keep it alive independently of the reader. Null when absent.
    std::shared_ptr<const std::vector<double>> featureColumn(const std::string& name);
    /// Why the last read of `name` from the file gave no values, as an
    /// English sentence for the user; empty when it gave values or was not
    /// tried since the file was opened.
    std::string featureReadError(const std::string& name) const;

    /// Reads every scalar feature into the cache. Returns the names of the
    /// features whose read failed (read errors only; absent or unsupported
    /// columns are not failures).
    std::vector<std::string> preloadAllFeatures();

    bool hasImages() const;
    bool hasMasks() const;
    bool hasTraces() const;
    bool isVeloxar() const;

    /// One frame of /events/image (or /events/mask), row-major, width x
    /// height bytes. Empty on a closed file, a missing stack, an index out of
    /// range or a read error; width/height are set only for a valid index.
    std::vector<uint8_t> readImage(size_t index, int& width, int& height);
    std::vector<uint8_t> readMask(size_t index, int& width, int& height);

    /// Receives one frame of a bulk read: the entry's position in the
    /// requested list, and width x height bytes, row-major, valid only
    /// during the call.
    using FrameVisitor =
        std::function<void(size_t position, const uint8_t* pixels, int width, int height)>;
    /// Hands the /events/image frame of every entry of `indices` that can be
    /// read to `visit`: the same bytes as readImage gives, once per entry
    /// (repeated indices too), never for an index out of range or a frame
    /// that cannot be read or has no pixels. Calls come in no fixed order,
    /// possibly from worker threads, but never two at once; an exception
    /// thrown by `visit` ends the read and passes on. Deflated stacks are
    /// read chunk by chunk: the stored chunk is fetched under the HDF5 lock
    /// and inflated outside it on up to four threads, so many frames cost
    /// far less than as many readImage calls. Returns the frames visited.
    size_t visitImages(const std::vector<size_t>& indices, const FrameVisitor& visit);

    // --- Derived features ---------------------------------------------------
    /// Registers (or replaces) a derived feature; one value per event.
    void addCalculatedFeature(const std::string& name, std::vector<double> values);
    void removeCalculatedFeature(const std::string& name);
    void removeCalculatedFeatures();
    bool isCalculatedFeature(const std::string& name) const;
    /// Frees columns that were replaced or removed. Call only when no
    /// reference handed out earlier can still be in use.
    void releaseRetiredColumns();

    // --- Metadata -----------------------------------------------------------
    RTDCMetadata readMetadata();
    void parseMetadataKey(const std::string& key, const std::string& value,
                          RTDCMetadata& metadata) const;

    // --- Traces -------------------------------------------------------------
    std::vector<std::string> getAvailableTraceNames() const;
    size_t getTraceLength() const;
    std::vector<float> readTrace(const std::string& name, size_t index);
    /// Caller holds s_hdf5Mutex.
    std::vector<float> readTraceLocked(const std::string& name, size_t index);
    /// Registers `name` as a derived trace of `source`. A registration whose
    /// chain of sources leads back to `name` is ignored.
    void addCalculatedTrace(const std::string& name, const std::string& source);
    void setTraceFilterSettings(bool hampel1Enabled, int hampel1HalfWidth, float hampel1Threshold,
                                bool hampel2Enabled, int hampel2HalfWidth, float hampel2Threshold,
                                bool runningMedianEnabled, int runningMedianHalfWidth,
                                bool movingAverageEnabled, int movingAverageHalfWidth,
                                bool smoothingEnabled, int smoothingHalfWidth);
    TraceFilterSettings traceFilterSettings() const;

    // --- Vocabulary ---------------------------------------------------------
    /// Display label with the unit in brackets, e.g. "Area [µm²]".
    std::string getFeatureLabel(const std::string& name) const;
    std::string getFeatureUnit(const std::string& name) const;
    /// False for exactly "image", "mask" and "contour".
    static bool isScalarFeature(const std::string& name);

private:
    using Column = std::shared_ptr<const std::vector<double>>;

    void cacheFeatureListLocked();
    void cacheTraceInfoLocked();
    void determineEventCountLocked();
    bool readFrameLocked(bool mask, size_t index, int& width, int& height,
                         std::vector<uint8_t>& out);
    std::vector<float> readFileTraceLocked(const std::string& name, size_t index);
    void retireColumnLocked(const std::string& name);
    bool lookupLabel(const std::string& name, std::string& label, std::string& unit) const;

    // Data members, in the order the reader's state is described.
    std::unique_ptr<H5::H5File> m_file;
    std::string m_filePath;
    std::atomic<bool> m_open{false};
    std::atomic<size_t> m_eventCount{0};
    // Kept sorted byte-wise: derived features are inserted in place.
    std::vector<std::string> m_featureList;
    std::unordered_set<std::string> m_featureSet;
    std::atomic<bool> m_hasImages{false};
    std::atomic<bool> m_hasMasks{false};
    std::atomic<bool> m_hasTraces{false};
    std::atomic<bool> m_isVeloxar{false};
    std::vector<std::string> m_traceNames;
    std::atomic<size_t> m_traceLength{0};
    std::unordered_map<std::string, Column> m_featureCache;
    // Why the last read of a column gave no values (see featureReadError).
    std::unordered_map<std::string, std::string> m_readErrors;
    std::unordered_set<std::string> m_calculatedFeatures;
    std::unordered_map<std::string, std::string> m_derivedTraces;
    TraceFilterSettings m_traceFilter;
    std::string m_traceCacheName;
    size_t m_traceCacheIndex = static_cast<size_t>(-1);
    std::vector<float> m_traceCacheSamples;

    // Columns replaced or removed while references to them may be in use.
    std::vector<Column> m_retiredColumns;

    // Guards the listings, the column cache, the retired columns, the trace
    // names and the path for short look-ups. Writers hold it together with
    // s_hdf5Mutex (always taken first); readers hold either, so listing and
    // cache hits on the GUI thread never wait behind a long read elsewhere.
    mutable std::mutex m_stateMutex;

    // Datasets kept open between reads so consecutive frames and trace rows
    // reuse the decompressed chunk instead of inflating it again per read.
    std::unique_ptr<H5::DataSet> m_imageDataset;
    std::unique_ptr<H5::DataSet> m_maskDataset;
    std::unique_ptr<H5::DataSet> m_traceDataset;
    std::string m_traceDatasetName;

    std::string m_openError;
};

} // namespace Quorvex3
