// Trace rows of the measurement (/events/trace) and the derived traces that
// pass a file trace through the trace filter.

#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"
#include "core/TraceFilter.h"

#include <H5Cpp.h>

#include <algorithm>
#include <iostream>
#include <limits>
#include <memory>

namespace Quorvex3 {

namespace {

const char* const kTraceGroup = "/events/trace";

// A row longer than this is taken as a corrupt extent rather than allocated.
constexpr hsize_t kMaxTraceSamples = hsize_t(1) << 26;

// Bytes of one chunk of a chunked dataset; 0 for other layouts or sizes that
// do not fit.
size_t chunkBytes(const H5::DataSet& dataset) {
    const H5::DSetCreatPropList create = dataset.getCreatePlist();
    if (create.getLayout() != H5D_CHUNKED)
        return 0;
    hsize_t chunk[H5S_MAX_RANK] = {};
    const int rank = create.getChunk(H5S_MAX_RANK, chunk);
    if (rank <= 0 || rank > H5S_MAX_RANK)
        return 0;
    size_t bytes = dataset.getDataType().getSize();
    for (int d = 0; d < rank; ++d) {
        if (chunk[d] != 0 && bytes > std::numeric_limits<size_t>::max() / chunk[d])
            return 0;
        bytes *= static_cast<size_t>(chunk[d]);
    }
    return bytes;
}

// Opens a trace dataset with a chunk cache that holds one whole chunk, so
// consecutive rows of a compressed trace inflate their chunk only once.
std::unique_ptr<H5::DataSet> openTraceDataset(const H5::H5File& file, const std::string& path) {
    size_t bytes = 0;
    {
        const H5::DataSet probe = file.openDataSet(path);
        bytes = chunkBytes(probe);
    }
    constexpr size_t kDefaultCache = size_t(1) << 20;
    constexpr size_t kMaxCache = size_t(1) << 28;
    H5::DSetAccPropList access;
    if (bytes > kDefaultCache && bytes <= kMaxCache)
        access.setChunkCache(521, bytes, 0.75);
    return std::make_unique<H5::DataSet>(file.openDataSet(path, access));
}

} // namespace

void RTDCReader::cacheTraceInfoLocked() {
    m_hasTraces = false;
    m_traceLength = 0;
    {
        std::lock_guard<std::mutex> state(m_stateMutex);
        m_traceNames.clear();
    }
    std::vector<std::string> names;
    if (!m_open || !m_file)
        return;
    try {
        // Test the parent first: asking for a nested link whose parent is
        // missing fails instead of answering false.
        if (!m_file->nameExists("/events") || m_file->childObjType("/events") != H5O_TYPE_GROUP ||
            !m_file->nameExists(kTraceGroup))
            return;
        if (m_file->childObjType(kTraceGroup) != H5O_TYPE_GROUP)
            return;
        H5::Group group = m_file->openGroup(kTraceGroup);
        const hsize_t count = group.getNumObjs();
        for (hsize_t i = 0; i < count; ++i) {
            const std::string name = group.getObjnameByIdx(i);
            if (group.childObjType(name) != H5O_TYPE_DATASET)
                continue;
            if (name.find("_median") == std::string::npos && name.find("_raw") == std::string::npos)
                continue;
            H5::DataSet dataset = group.openDataSet(name);
            H5::DataSpace space = dataset.getSpace();
            // A trace is a matrix of events x samples; anything else would
            // make the row arithmetic meaningless.
            if (space.getSimpleExtentNdims() != 2)
                continue;
            hsize_t dims[2] = {0, 0};
            space.getSimpleExtentDims(dims);
            names.push_back(name);
            if (m_traceLength == 0)
                m_traceLength = static_cast<size_t>(dims[1]);
        }
    } catch (const H5::Exception& e) {
        std::cerr << "Error caching trace info: " << e.getDetailMsg() << std::endl;
    }
    std::sort(names.begin(), names.end());
    m_hasTraces = !names.empty();
    std::lock_guard<std::mutex> state(m_stateMutex);
    m_traceNames = std::move(names);
}

std::vector<std::string> RTDCReader::getAvailableTraceNames() const {
    std::lock_guard<std::mutex> state(m_stateMutex);
    return m_traceNames;
}

size_t RTDCReader::getTraceLength() const {
    return m_traceLength;
}

std::vector<float> RTDCReader::readTrace(const std::string& name, size_t index) {
    std::lock_guard<std::recursive_mutex> lock(s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    return readTraceLocked(name, index);
}

std::vector<float> RTDCReader::readTraceLocked(const std::string& name, size_t index) {
    const auto derived = m_derivedTraces.find(name);
    if (derived == m_derivedTraces.end())
        return readFileTraceLocked(name, index);

    if (m_traceCacheName == name && m_traceCacheIndex == index)
        return m_traceCacheSamples;
    // Copy the source name: the recursive read may not touch the map, but the
    // iterator is not worth the reasoning.
    const std::string source = derived->second;
    std::vector<float> samples = readTraceLocked(source, index);
    applyTraceFilter(m_traceFilter, samples);
    m_traceCacheName = name;
    m_traceCacheIndex = index;
    m_traceCacheSamples = samples;
    return samples;
}

std::vector<float> RTDCReader::readFileTraceLocked(const std::string& name, size_t index) {
    std::vector<float> result;
    if (!m_open || !m_file || !m_hasTraces)
        return result;
    // Only the traces listed at open are read; other names are no trace.
    if (!std::binary_search(m_traceNames.begin(), m_traceNames.end(), name))
        return result;
    try {
        if (!m_traceDataset || m_traceDatasetName != name) {
            m_traceDataset.reset();
            m_traceDatasetName.clear();
            m_traceDataset = openTraceDataset(*m_file, std::string(kTraceGroup) + "/" + name);
            m_traceDatasetName = name;
        }
        H5::DataSet& dataset = *m_traceDataset;
        H5::DataSpace fileSpace = dataset.getSpace();
        if (fileSpace.getSimpleExtentNdims() != 2)
            return result;
        hsize_t dims[2] = {0, 0};
        fileSpace.getSimpleExtentDims(dims);
        if (index >= dims[0] || dims[1] == 0)
            return result;
        if (dims[1] > kMaxTraceSamples) {
            std::cerr << "Error reading trace '" << name << "' at index " << index
                      << ": implausible row length " << dims[1] << std::endl;
            return result;
        }
        const size_t length = static_cast<size_t>(dims[1]);
        const hsize_t start[2] = {static_cast<hsize_t>(index), 0};
        const hsize_t count[2] = {1, dims[1]};
        fileSpace.selectHyperslab(H5S_SELECT_SET, count, start);
        const hsize_t memDims[1] = {dims[1]};
        H5::DataSpace memSpace(1, memDims);

        const H5::DataType type = dataset.getDataType();
        if (type.getClass() == H5T_INTEGER && type.getSize() == 2) {
            // Read with the stored signedness: a signed read clamps unsigned
            // samples above 32767.
            const bool isUnsigned = dataset.getIntType().getSign() == H5T_SGN_NONE;
            if (isUnsigned) {
                std::vector<uint16_t> buffer(length);
                dataset.read(buffer.data(), H5::PredType::NATIVE_UINT16, memSpace, fileSpace);
                result.assign(buffer.begin(), buffer.end());
            } else {
                std::vector<int16_t> buffer(length);
                dataset.read(buffer.data(), H5::PredType::NATIVE_INT16, memSpace, fileSpace);
                result.assign(buffer.begin(), buffer.end());
            }
        } else {
            result.resize(length);
            dataset.read(result.data(), H5::PredType::NATIVE_FLOAT, memSpace, fileSpace);
        }
    } catch (const H5::Exception& e) {
        std::cerr << "Error reading trace '" << name << "' at index " << index << ": "
                  << e.getDetailMsg() << std::endl;
        m_traceDataset.reset();
        m_traceDatasetName.clear();
        return {};
    }
    return result;
}

void RTDCReader::addCalculatedTrace(const std::string& name, const std::string& source) {
    std::lock_guard<std::recursive_mutex> lock(s_hdf5Mutex);
    // Follow the chain of derived sources; reaching `name` again would make
    // every read of it recurse without end. The map is acyclic, so the walk
    // ends; the step limit only guards that invariant.
    std::string current = source;
    for (size_t steps = 0; steps <= m_derivedTraces.size(); ++steps) {
        if (current == name)
            return;
        const auto next = m_derivedTraces.find(current);
        if (next == m_derivedTraces.end())
            break;
        current = next->second;
    }
    const auto previous = m_derivedTraces.find(name);
    if (previous != m_derivedTraces.end() && previous->second != source &&
        m_traceCacheName == name) {
        // The cached row was computed from the old source.
        m_traceCacheName.clear();
        m_traceCacheIndex = static_cast<size_t>(-1);
    }
    m_derivedTraces[name] = source;
    std::lock_guard<std::mutex> state(m_stateMutex);
    if (std::find(m_traceNames.begin(), m_traceNames.end(), name) == m_traceNames.end()) {
        m_traceNames.push_back(name);
        std::sort(m_traceNames.begin(), m_traceNames.end());
    }
}

void RTDCReader::setTraceFilterSettings(bool hampel1Enabled, int hampel1HalfWidth,
                                        float hampel1Threshold, bool hampel2Enabled,
                                        int hampel2HalfWidth, float hampel2Threshold,
                                        bool runningMedianEnabled, int runningMedianHalfWidth,
                                        bool movingAverageEnabled, int movingAverageHalfWidth,
                                        bool smoothingEnabled, int smoothingHalfWidth) {
    std::lock_guard<std::recursive_mutex> lock(s_hdf5Mutex);
    m_traceFilter.hampel1Enabled = hampel1Enabled;
    m_traceFilter.hampel1HalfWidth = hampel1HalfWidth;
    m_traceFilter.hampel1Threshold = hampel1Threshold;
    m_traceFilter.hampel2Enabled = hampel2Enabled;
    m_traceFilter.hampel2HalfWidth = hampel2HalfWidth;
    m_traceFilter.hampel2Threshold = hampel2Threshold;
    m_traceFilter.runningMedianEnabled = runningMedianEnabled;
    m_traceFilter.runningMedianHalfWidth = runningMedianHalfWidth;
    m_traceFilter.movingAverageEnabled = movingAverageEnabled;
    m_traceFilter.movingAverageHalfWidth = movingAverageHalfWidth;
    m_traceFilter.smoothingEnabled = smoothingEnabled;
    m_traceFilter.smoothingHalfWidth = smoothingHalfWidth;
    // The samples stay, but no name matches them any more.
    m_traceCacheName.clear();
    m_traceCacheIndex = std::numeric_limits<size_t>::max();
}

TraceFilterSettings RTDCReader::traceFilterSettings() const {
    std::lock_guard<std::recursive_mutex> lock(s_hdf5Mutex);
    return m_traceFilter;
}

} // namespace Quorvex3
