// Opening a measurement file, listing and reading its per-event features,
// frames of its image and mask stacks, and the derived features held beside
// them. Metadata and traces live in files of their own.

#include "core/RTDCReader.h"
#include "core/Hdf5Support.h"
#include "core/ParallelChunkRead.h"

#include <H5Cpp.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Quorvex3 {

std::recursive_mutex RTDCReader::s_hdf5Mutex;

void silenceHdf5ErrorsOnThisThread() {
    thread_local bool silenced = false;
    if (!silenced) {
        H5::Exception::dontPrint();
        silenced = true;
    }
}

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using StateLock = std::lock_guard<std::mutex>;

const char* const kEventsGroup = "/events";

// The chunk cache of a frame stack is enlarged to hold one whole chunk, but
// not beyond this; a larger chunk is inflated per read instead.
constexpr size_t kMaxFrameCacheBytes = size_t(256) << 20;
constexpr size_t kDefaultChunkCacheBytes = size_t(1) << 20;

const std::vector<double>& emptyColumn() {
    static const std::vector<double> s_empty;
    return s_empty;
}

// True when every link on the way to `path` (absolute, "/"-separated)
// exists and all but the last lead to groups. Asking for a nested link whose
// parent is missing (or is no group) fails in HDF5 instead of answering
// false, so each level is tested in turn.
bool linkExists(const H5::H5File& file, const std::string& path) {
    if (path.empty() || path[0] != '/')
        return false;
    size_t pos = 1;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        const std::string component = path.substr(pos, next - pos);
        if (component.empty() || component == "." || component == "..")
            return false;
        const std::string prefix = path.substr(0, next);
        if (!file.nameExists(prefix))
            return false;
        if (next < path.size() && file.childObjType(prefix) != H5O_TYPE_GROUP)
            return false;
        pos = next + 1;
    }
    return true;
}

enum class ReadStatus { Ok, Absent, Failed };

struct ColumnRead {
    ReadStatus status = ReadStatus::Absent;
    std::vector<double> values;
    /// Why there are no values, for the user; empty when they were read.
    std::string reason;
};

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// A column is written page by page right after its allocation; backing it
// with transparent huge pages (a hint only, as numpy gives for its large
// arrays) saves most of those page faults, which otherwise cost about a
// tenth of a whole preload.
void adviseHugePages(void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    const uintptr_t address = reinterpret_cast<uintptr_t>(data);
    const uintptr_t begin = (address + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (address + bytes) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Sized storage for `count` doubles, its pages advised before first touch.
void allocateColumn(std::vector<double>& out, size_t count) {
    out.reserve(count);
    adviseHugePages(out.data(), count * sizeof(double));
    out.resize(count);
}

// Reads the first `count` values of the one-dimensional dataset as
// `memType` into `dest`: the whole dataset, or its leading rows when it
// holds more values than the measurement has events.
void readLeadingValues(const H5::DataSet& dataset, const H5::PredType& memType, size_t count,
                       void* dest) {
    H5::DataSpace fileSpace = dataset.getSpace();
    hsize_t extent = 0;
    fileSpace.getSimpleExtentDims(&extent);
    if (extent == count) {
        dataset.read(dest, memType);
        return;
    }
    const hsize_t start = 0;
    const hsize_t rows = count;
    fileSpace.selectHyperslab(H5S_SELECT_SET, &rows, &start);
    const H5::DataSpace memorySpace(1, &rows);
    dataset.read(dest, memType, memorySpace, fileSpace);
}

// One bulk read of `count` values as T straight into the tail of the
// result's own storage, then one forward pass that widens them in place, so
// no scratch column (and none of its page faults) is needed. The pass works
// in blocks copied out first: the doubles of a block ending at j never reach
// a stored value at or above j, and the copy lets the widening vectorise.
template <typename T>
void readConverted(const H5::DataSet& dataset, const H5::PredType& memType, size_t count,
                   std::vector<double>& out) {
    static_assert(sizeof(T) <= sizeof(double), "in-place widening needs T no wider than double");
    allocateColumn(out, count);
    unsigned char* bytes = reinterpret_cast<unsigned char*>(out.data());
    const unsigned char* packed = bytes + count * (sizeof(double) - sizeof(T));
    unsigned char* tail = bytes + count * (sizeof(double) - sizeof(T));
    if (!readDeflatedColumnInParallel(dataset, memType, count, tail))
        readLeadingValues(dataset, memType, count, tail);
    constexpr size_t kBlock = 2048;
    T block[kBlock];
    for (size_t start = 0; start < count; start += kBlock) {
        const size_t length = std::min(kBlock, count - start);
        std::memcpy(block, packed + start * sizeof(T), length * sizeof(T));
        double* target = out.data() + start;
        for (size_t k = 0; k < length; ++k)
            target[k] = static_cast<double>(block[k]);
    }
}

// Reads an integer column (or the integer values of an enumeration) with
// the memory type of its own size and sign: a signed read would clamp
// unsigned values of 2^63 and above, or above 32767 for 16 bits.
bool readIntegerColumn(const H5::DataSet& dataset, size_t size, bool isUnsigned, size_t count,
                       std::vector<double>& out) {
    using P = H5::PredType;
    switch (size) {
    case 1:
        isUnsigned ? readConverted<uint8_t>(dataset, P::NATIVE_UINT8, count, out)
                   : readConverted<int8_t>(dataset, P::NATIVE_INT8, count, out);
        return true;
    case 2:
        isUnsigned ? readConverted<uint16_t>(dataset, P::NATIVE_UINT16, count, out)
                   : readConverted<int16_t>(dataset, P::NATIVE_INT16, count, out);
        return true;
    case 4:
        isUnsigned ? readConverted<uint32_t>(dataset, P::NATIVE_UINT32, count, out)
                   : readConverted<int32_t>(dataset, P::NATIVE_INT32, count, out);
        return true;
    case 8:
        isUnsigned ? readConverted<uint64_t>(dataset, P::NATIVE_UINT64, count, out)
                   : readConverted<int64_t>(dataset, P::NATIVE_INT64, count, out);
        return true;
    default:
        return false;
    }
}

// Converts the dataset's first `count` values by its stored type. False for
// types that carry no number per event (strings, compounds, odd sizes).
bool readColumnValues(const H5::DataSet& dataset, size_t count, std::vector<double>& out) {
    const H5::DataType type = dataset.getDataType();
    switch (type.getClass()) {
    case H5T_FLOAT:
        if (type.getSize() == 4) {
            readConverted<float>(dataset, H5::PredType::NATIVE_FLOAT, count, out);
        } else {
            allocateColumn(out, count);
            if (!readDeflatedColumnInParallel(dataset, H5::PredType::NATIVE_DOUBLE, count,
                                              reinterpret_cast<unsigned char*>(out.data())))
                readLeadingValues(dataset, H5::PredType::NATIVE_DOUBLE, count, out.data());
        }
        return true;
    case H5T_INTEGER: {
        const H5::IntType intType = dataset.getIntType();
        return readIntegerColumn(dataset, intType.getSize(), intType.getSign() == H5T_SGN_NONE,
                                 count, out);
    }
    case H5T_ENUM: {
        // Members are read as their integer values, through the integer type
        // the enumeration is built on.
        const H5::DataType base = dataset.getEnumType().getSuper();
        if (base.getClass() != H5T_INTEGER)
            return false;
        const bool isUnsigned = H5Tget_sign(base.getId()) == H5T_SGN_NONE;
        return readIntegerColumn(dataset, base.getSize(), isUnsigned, count, out);
    }
    default:
        return false;
    }
}

// Reads /events/<name> as a column of doubles, at most `events` values (the
// measurement's event count): a dataset's rows beyond the last event belong
// to no event, and a damaged or sparse file may claim billions of them.
// Absent: no such dataset, not one-dimensional, empty, or of a type without
// numbers. Failed: HDF5 refused a step (the message is printed here).
ColumnRead readColumnFromFile(const H5::H5File& file, const std::string& name, size_t events) {
    ColumnRead result;
    const std::string path = std::string(kEventsGroup) + "/" + name;
    const std::string feature = "The feature " + quoted(name);
    try {
        if (name.empty() || !linkExists(file, path)) {
            result.reason = "The measurement has no feature " + quoted(name) + ".";
            return result;
        }
        result.reason = feature + " is not one value per event.";
        if (file.childObjType(path) != H5O_TYPE_DATASET)
            return result;
        const H5::DataSet dataset = file.openDataSet(path);
        const H5::DataSpace space = dataset.getSpace();
        if (space.getSimpleExtentNdims() != 1)
            return result;
        hsize_t extent = 0;
        space.getSimpleExtentDims(&extent);
        if (extent == 0) {
            result.reason = feature + " holds no values.";
            return result;
        }
        if (events == 0) {
            result.reason = "The measurement holds no events.";
            return result;
        }
        extent = std::min<hsize_t>(extent, events);
        if (extent > std::numeric_limits<size_t>::max() / sizeof(double)) {
            std::cerr << "Error reading feature '" << name << "': " << extent
                      << " values do not fit in memory" << std::endl;
            result.status = ReadStatus::Failed;
            result.reason = feature + " could not be read from the file: its " +
                            std::to_string(extent) + " values do not fit in memory.";
            return result;
        }
        if (!readColumnValues(dataset, static_cast<size_t>(extent), result.values)) {
            result.values = {};
            result.reason = feature + " holds no numbers.";
            return result;
        }
        result.status = ReadStatus::Ok;
        result.reason.clear();
    } catch (const H5::Exception& e) {
        std::cerr << "Error reading feature '" << name << "': " << e.getDetailMsg() << std::endl;
        result = ColumnRead{ReadStatus::Failed, {},
                            feature + " could not be read from the file: " + e.getDetailMsg()};
    } catch (const std::bad_alloc&) {
        std::cerr << "Error reading feature '" << name << "': out of memory" << std::endl;
        result = ColumnRead{ReadStatus::Failed, {},
                            feature + " could not be read from the file: out of memory."};
    }
    return result;
}

// Access list whose chunk cache holds at least one whole chunk of the stack,
// so consecutive frames of a compressed stack inflate each chunk once.
H5::DSetAccPropList frameAccessList(const H5::DataSet& dataset) {
    H5::DSetAccPropList access;
    const H5::DSetCreatPropList create = dataset.getCreatePlist();
    if (create.getLayout() != H5D_CHUNKED)
        return access;
    constexpr int kMaxRank = 8;
    const int rank = create.getChunk(0, nullptr);
    if (rank <= 0 || rank > kMaxRank)
        return access;
    hsize_t chunk[kMaxRank] = {};
    create.getChunk(rank, chunk);
    size_t bytes = dataset.getDataType().getSize();
    for (int d = 0; d < rank; ++d) {
        if (chunk[d] != 0 && bytes > kMaxFrameCacheBytes / chunk[d])
            return access;
        bytes *= static_cast<size_t>(chunk[d]);
    }
    if (bytes > kDefaultChunkCacheBytes) {
        // Room for two chunks, so a frame range crossing a chunk boundary
        // does not evict the chunk it is about to return to.
        const size_t cacheBytes = std::min(kMaxFrameCacheBytes, bytes * 2);
        access.setChunkCache(521, cacheBytes, 1.0);
    }
    return access;
}

} // namespace

// --- Life cycle -------------------------------------------------------------------

RTDCReader::RTDCReader() {
    m_featureSet.max_load_factor(1.0f);
    m_featureCache.max_load_factor(1.0f);
    m_calculatedFeatures.max_load_factor(1.0f);
    m_derivedTraces.max_load_factor(1.0f);
    Lock lock(s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
}

RTDCReader::~RTDCReader() {
    Lock lock(s_hdf5Mutex);
    closeFileLocked();
    m_retiredColumns.clear();
}

bool RTDCReader::openFile(const std::string& path) {
    Lock lock(s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    closeFileLocked();
    // Closing keeps the one-row cache of derived traces, but a row computed
    // from the previous file's events must not be served for this one.
    m_traceCacheName.clear();
    m_traceCacheIndex = static_cast<size_t>(-1);
    m_traceCacheSamples.clear();
    try {
        m_file = std::make_unique<H5::H5File>(path, H5F_ACC_RDONLY);
    } catch (const H5::Exception& e) {
        std::cerr << "Error opening file: " << e.getDetailMsg() << std::endl;
        m_openError = openFailureReason(path);
        m_file.reset();
        m_open = false;
        return false;
    }
    m_openError.clear();
    {
        StateLock state(m_stateMutex);
        m_filePath = path;
    }
    m_open = true;
    cacheFeatureListLocked();
    cacheTraceInfoLocked();
    determineEventCountLocked();
    return true;
}

void RTDCReader::closeFile() {
    Lock lock(s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    closeFileLocked();
}

void RTDCReader::closeFileLocked() {
    // Datasets first: the file stays open in HDF5 while any object in it is.
    m_imageDataset.reset();
    m_maskDataset.reset();
    m_traceDataset.reset();
    m_traceDatasetName.clear();
    if (m_file) {
        try {
            m_file->close();
        } catch (const H5::Exception& e) {
            std::cerr << "Error closing file: " << e.getDetailMsg() << std::endl;
        }
        m_file.reset();
    }
    m_open = false;
    m_eventCount = 0;
    m_hasImages = false;
    m_hasMasks = false;
    m_hasTraces = false;
    m_isVeloxar = false;
    m_traceLength = 0;
    StateLock state(m_stateMutex);
    m_filePath.clear();
    m_featureList.clear();
    m_featureSet.clear();
    m_featureCache.clear();
    m_readErrors.clear();
    m_retiredColumns.clear();
    m_traceNames.clear();
}

bool RTDCReader::isOpen() const {
    return m_open;
}

std::int64_t RTDCReader::fileIdLocked() const {
    static_assert(std::is_same<hid_t, std::int64_t>::value, "hid_t is a 64-bit integer");
    return m_open && m_file ? m_file->getId() : -1;
}

std::string RTDCReader::getFilename() const {
    StateLock state(m_stateMutex);
    return m_filePath;
}

size_t RTDCReader::getEventCount() const {
    return m_eventCount;
}

void RTDCReader::cacheFeatureListLocked() {
    std::vector<std::string> list;
    std::unordered_set<std::string> set;
    set.max_load_factor(1.0f);
    if (m_open && m_file) {
        try {
            if (m_file->nameExists(kEventsGroup)) {
                const H5::Group group = m_file->openGroup(kEventsGroup);
                const hsize_t count = group.getNumObjs();
                for (hsize_t i = 0; i < count; ++i) {
                    const std::string name = group.getObjnameByIdx(i);
                    if (group.childObjType(name) != H5O_TYPE_DATASET)
                        continue;
                    const H5::DataSet dataset = group.openDataSet(name);
                    const int rank = dataset.getSpace().getSimpleExtentNdims();
                    if (rank != 1 && name != "image" && name != "mask")
                        continue;
                    if (set.insert(name).second)
                        list.push_back(name);
                }
            }
        } catch (const H5::Exception& e) {
            std::cerr << "Error caching features: " << e.getDetailMsg() << std::endl;
        }
    }
    std::sort(list.begin(), list.end());
    m_hasImages = set.count("image") > 0;
    m_hasMasks = set.count("mask") > 0;
    StateLock state(m_stateMutex);
    m_featureList = std::move(list);
    m_featureSet = std::move(set);
}

void RTDCReader::determineEventCountLocked() {
    m_eventCount = 0;
    std::string first;
    {
        StateLock state(m_stateMutex);
        if (!m_featureList.empty())
            first = m_featureList.front();
    }
    if (!m_open || !m_file || first.empty())
        return;
    try {
        const H5::DataSet dataset = m_file->openDataSet(std::string(kEventsGroup) + "/" + first);
        const H5::DataSpace space = dataset.getSpace();
        const int rank = space.getSimpleExtentNdims();
        if (rank < 1 || rank > 3)
            return;
        hsize_t dims[3] = {0, 0, 0};
        space.getSimpleExtentDims(dims);
        m_eventCount = static_cast<size_t>(dims[0]);
    } catch (const H5::Exception& e) {
        std::cerr << "Error determining event count: " << e.getDetailMsg() << std::endl;
    }
}

// --- Feature listing ----------------------------------------------------------------

std::vector<std::string> RTDCReader::getAvailableFeatures() const {
    StateLock state(m_stateMutex);
    return m_featureList;
}

void RTDCReader::ensureFeaturesSorted() {
    // Derived features are inserted in order, so the list is always sorted.
}

bool RTDCReader::hasFeature(const std::string& name) const {
    StateLock state(m_stateMutex);
    return m_featureSet.count(name) > 0;
}

bool RTDCReader::hasImages() const {
    return m_hasImages;
}

bool RTDCReader::hasMasks() const {
    return m_hasMasks;
}

bool RTDCReader::hasTraces() const {
    return m_hasTraces;
}

bool RTDCReader::isVeloxar() const {
    return m_isVeloxar;
}

// --- Feature columns ----------------------------------------------------------------

const std::vector<double>& RTDCReader::readScalarFeature(const std::string& name) {
    // The cache (or, once replaced, the retired list) keeps the column alive,
    // so the reference outlives the local handle.
    const Column column = featureColumn(name);
    return column ? *column : emptyColumn();
}

std::shared_ptr<const std::vector<double>> RTDCReader::featureColumn(const std::string& name) {
    {
        // Cache hits need no file access and must not wait behind a read.
        StateLock state(m_stateMutex);
        const auto cached = m_featureCache.find(name);
        if (cached != m_featureCache.end())
            return cached->second;
    }
    Lock lock(s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    {
        StateLock state(m_stateMutex);
        const auto cached = m_featureCache.find(name);
        if (cached != m_featureCache.end())
            return cached->second; // read by another thread meanwhile
    }
    if (!m_open || !m_file)
        return nullptr;
    ColumnRead read = readColumnFromFile(*m_file, name, m_eventCount);
    StateLock state(m_stateMutex);
    if (read.status != ReadStatus::Ok) {
        m_readErrors[name] = std::move(read.reason);
        return nullptr;
    }
    m_readErrors.erase(name);
    Column column = std::make_shared<const std::vector<double>>(std::move(read.values));
    m_featureCache.emplace(name, column);
    return column;
}

std::string RTDCReader::featureReadError(const std::string& name) const {
    StateLock state(m_stateMutex);
    if (m_featureCache.count(name) > 0)
        return {};
    const auto found = m_readErrors.find(name);
    return found != m_readErrors.end() ? found->second : std::string();
}

std::vector<std::string> RTDCReader::preloadAllFeatures() {
    std::vector<std::string> failed;
    // A snapshot: derived features registered meanwhile are already cached.
    const std::vector<std::string> names = getAvailableFeatures();
    for (const std::string& name : names) {
        if (!isScalarFeature(name))
            continue;
        // One lock per column, so other threads get their turn between reads.
        Lock lock(s_hdf5Mutex);
        silenceHdf5ErrorsOnThisThread();
        if (!m_open || !m_file)
            break;
        {
            StateLock state(m_stateMutex);
            if (m_featureCache.count(name) > 0)
                continue;
        }
        ColumnRead read = readColumnFromFile(*m_file, name, m_eventCount);
        if (read.status == ReadStatus::Failed)
            failed.push_back(name);
        if (read.status != ReadStatus::Ok)
            continue;
        auto column = std::make_shared<const std::vector<double>>(std::move(read.values));
        StateLock state(m_stateMutex);
        m_featureCache.emplace(name, std::move(column));
    }
    return failed;
}

// --- Frames -------------------------------------------------------------------------

std::vector<uint8_t> RTDCReader::readImage(size_t index, int& width, int& height) {
    std::vector<uint8_t> frame;
    if (!m_open || !m_hasImages)
        return frame;
    Lock lock(s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    readFrameLocked(false, index, width, height, frame);
    return frame;
}

std::vector<uint8_t> RTDCReader::readMask(size_t index, int& width, int& height) {
    std::vector<uint8_t> frame;
    if (!m_open || !m_hasMasks)
        return frame;
    Lock lock(s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    readFrameLocked(true, index, width, height, frame);
    return frame;
}

bool RTDCReader::readFrameLocked(bool mask, size_t index, int& width, int& height,
                                 std::vector<uint8_t>& out) {
    out.clear();
    if (!m_open || !m_file)
        return false;
    const char* const what = mask ? "mask" : "image";
    std::unique_ptr<H5::DataSet>& stack = mask ? m_maskDataset : m_imageDataset;
    try {
        if (!stack) {
            const std::string path = std::string(kEventsGroup) + "/" + what;
            H5::DSetAccPropList access;
            {
                const H5::DataSet probe = m_file->openDataSet(path);
                access = frameAccessList(probe);
            }
            stack = std::make_unique<H5::DataSet>(m_file->openDataSet(path, access));
        }
        H5::DataSpace fileSpace = stack->getSpace();
        const int rank = fileSpace.getSimpleExtentNdims();
        if (rank != 3) {
            std::cerr << "Error reading " << what << " at index " << index << ": the " << what
                      << " stack has " << rank << " dimensions instead of 3" << std::endl;
            return false;
        }
        hsize_t dims[3] = {0, 0, 0};
        fileSpace.getSimpleExtentDims(dims);
        if (index >= dims[0])
            return false;
        if (dims[1] > static_cast<hsize_t>(INT_MAX) || dims[2] > static_cast<hsize_t>(INT_MAX) ||
            (dims[1] != 0 && dims[2] > std::numeric_limits<size_t>::max() / dims[1])) {
            std::cerr << "Error reading " << what << " at index " << index << ": frame size "
                      << dims[2] << " x " << dims[1] << " is out of range" << std::endl;
            return false;
        }
        height = static_cast<int>(dims[1]);
        width = static_cast<int>(dims[2]);
        const size_t pixels = static_cast<size_t>(dims[1]) * static_cast<size_t>(dims[2]);
        if (pixels == 0)
            return true;
        const hsize_t start[3] = {static_cast<hsize_t>(index), 0, 0};
        const hsize_t count[3] = {1, dims[1], dims[2]};
        fileSpace.selectHyperslab(H5S_SELECT_SET, count, start);
        const hsize_t memDims[2] = {dims[1], dims[2]};
        const H5::DataSpace memSpace(2, memDims);
        out.assign(pixels, 0);
        stack->read(out.data(), H5::PredType::NATIVE_UINT8, memSpace, fileSpace);
        return true;
    } catch (const H5::Exception& e) {
        std::cerr << (mask ? "Error reading mask at index " : "Error reading image at index ")
                  << index << ": " << e.getDetailMsg() << std::endl;
    } catch (const std::bad_alloc&) {
        std::cerr << "Error reading " << what << " at index " << index << ": out of memory"
                  << std::endl;
    }
    out = {};
    stack.reset();
    return false;
}

// --- Derived features ---------------------------------------------------------------

// Caller holds m_stateMutex.
void RTDCReader::retireColumnLocked(const std::string& name) {
    const auto cached = m_featureCache.find(name);
    if (cached == m_featureCache.end())
        return;
    // Someone may still read the old values through a reference handed out
    // earlier; they are freed only when that can no longer happen.
    m_retiredColumns.push_back(std::move(cached->second));
    m_featureCache.erase(cached);
}

void RTDCReader::addCalculatedFeature(const std::string& name, std::vector<double> values) {
    Column column = std::make_shared<const std::vector<double>>(std::move(values));
    Lock lock(s_hdf5Mutex);
    StateLock state(m_stateMutex);
    retireColumnLocked(name);
    m_featureCache.emplace(name, std::move(column));
    m_calculatedFeatures.insert(name);
    if (m_featureSet.insert(name).second)
        m_featureList.insert(std::lower_bound(m_featureList.begin(), m_featureList.end(), name),
                             name);
}

void RTDCReader::removeCalculatedFeature(const std::string& name) {
    Lock lock(s_hdf5Mutex);
    StateLock state(m_stateMutex);
    if (m_calculatedFeatures.erase(name) == 0)
        return;
    retireColumnLocked(name);
    m_featureSet.erase(name);
    m_featureList.erase(std::remove(m_featureList.begin(), m_featureList.end(), name),
                        m_featureList.end());
}

void RTDCReader::removeCalculatedFeatures() {
    Lock lock(s_hdf5Mutex);
    StateLock state(m_stateMutex);
    for (const std::string& name : m_calculatedFeatures) {
        retireColumnLocked(name);
        m_featureSet.erase(name);
    }
    m_featureList.erase(
        std::remove_if(m_featureList.begin(), m_featureList.end(),
                       [this](const std::string& n) { return m_calculatedFeatures.count(n) > 0; }),
        m_featureList.end());
    m_calculatedFeatures.clear();

    m_traceNames.erase(
        std::remove_if(m_traceNames.begin(), m_traceNames.end(),
                       [this](const std::string& n) { return m_derivedTraces.count(n) > 0; }),
        m_traceNames.end());
    m_derivedTraces.clear();
    m_traceCacheName.clear();
    m_traceCacheIndex = std::numeric_limits<size_t>::max();
    m_traceCacheSamples.clear();
}

bool RTDCReader::isCalculatedFeature(const std::string& name) const {
    StateLock state(m_stateMutex);
    return m_calculatedFeatures.count(name) > 0;
}

void RTDCReader::releaseRetiredColumns() {
    StateLock state(m_stateMutex);
    m_retiredColumns.clear();
}

} // namespace Quorvex3
