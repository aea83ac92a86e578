// The .rtdc writer's per-event data: scalar features, image and mask
// stacks, traces.

#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"
#include "session/Hdf5Handle.h"
#include "session/RTDCWriter.h"
#include "session/RowChunkWriter.h"

#include <H5Cpp.h>

#include <QtGlobal>

#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace Quorvex3 {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Chunks go to the file as they are in memory, which is the file's byte
// order only on a little-endian machine.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "raw chunks are written in host byte order");

constexpr int kDeflateLevel = 4;

// A chunked dataset (rows, extent...) of `type`, one row per chunk,
// deflated; unwritten rows read as zero.
Hdf5Handle createRowChunkedDataset(hid_t parent, const std::string& name, hid_t type,
                                   const std::vector<hsize_t>& dims) {
    std::vector<hsize_t> chunk = dims;
    chunk[0] = 1;
    const Hdf5Handle space(H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr),
                           H5Sclose, "creating the dataspace of '" + name + "'");
    const Hdf5Handle create(H5Pcreate(H5P_DATASET_CREATE), H5Pclose, "creating properties");
    if (H5Pset_chunk(create.id(), static_cast<int>(chunk.size()), chunk.data()) < 0 ||
        H5Pset_deflate(create.id(), kDeflateLevel) < 0)
        throwHdf5Failure("setting the chunks of '" + name + "'");
    return Hdf5Handle(
        H5Dcreate2(parent, name.c_str(), type, space.id(), H5P_DEFAULT, create.id(), H5P_DEFAULT),
        H5Dclose, "creating dataset '" + name + "'");
}

// Longer rows than this mean a damaged source, not a trace.
constexpr hsize_t kMaxTraceSamples = hsize_t(1) << 26;

// One numeric (events, samples) dataset of the source's "/events/trace",
// read row by row as floats (the library converts any integer or float
// type).
class FileTrace {
public:
    FileTrace(Hdf5Handle dataset, hsize_t events, hsize_t samples)
        : m_dataset(std::move(dataset)), m_events(events), m_samples(samples) {}

    /// False when the event is beyond the dataset or its row cannot be read.
    bool readRow(std::size_t event, std::vector<float>& samples) const {
        if (event >= m_events)
            return false;
        const Hdf5Handle space(H5Dget_space(m_dataset.id()), H5Sclose, "reading a dataspace");
        const hsize_t start[2] = {static_cast<hsize_t>(event), 0};
        const hsize_t count[2] = {1, m_samples};
        const Hdf5Handle memory(H5Screate_simple(2, count, nullptr), H5Sclose,
                                "creating a dataspace");
        samples.resize(static_cast<std::size_t>(m_samples));
        return H5Sselect_hyperslab(space.id(), H5S_SELECT_SET, start, nullptr, count, nullptr) >=
                   0 &&
               H5Dread(m_dataset.id(), H5T_NATIVE_FLOAT, memory.id(), space.id(), H5P_DEFAULT,
                       samples.data()) >= 0;
    }

private:
    Hdf5Handle m_dataset;
    hsize_t m_events;
    hsize_t m_samples;
};

// A trace to export: a dataset of the source file, whatever its name, or a
// trace the reader derives (source null).
struct SourceTrace {
    std::string name;
    hsize_t length = 0;
    std::shared_ptr<FileTrace> source;
};

// Every numeric two-dimensional dataset under the source's "/events/trace",
// in name order, then the reader's derived traces. Caller holds the lock.
std::vector<SourceTrace> tracesOf(RTDCReader& reader) {
    std::vector<SourceTrace> traces;
    std::unordered_set<std::string> names;
    const hid_t file = reader.fileIdLocked();
    if (file >= 0 && H5Lexists(file, "/events", H5P_DEFAULT) > 0 &&
        H5Lexists(file, "/events/trace", H5P_DEFAULT) > 0) {
        const Hdf5Handle group(H5Gopen2(file, "/events/trace", H5P_DEFAULT), H5Gclose,
                               "opening the source's traces");
        H5G_info_t info{};
        if (H5Gget_info(group.id(), &info) < 0)
            throwHdf5Failure("listing the source's traces");
        for (hsize_t i = 0; i < info.nlinks; ++i) {
            const ssize_t size = H5Lget_name_by_idx(group.id(), ".", H5_INDEX_NAME, H5_ITER_INC, i,
                                                    nullptr, 0, H5P_DEFAULT);
            if (size <= 0)
                continue;
            std::string name(static_cast<std::size_t>(size) + 1, '\0');
            H5Lget_name_by_idx(group.id(), ".", H5_INDEX_NAME, H5_ITER_INC, i, &name[0],
                               name.size(), H5P_DEFAULT);
            name.resize(static_cast<std::size_t>(size));
            H5O_info_t object{};
            if (H5Oget_info_by_name2(group.id(), name.c_str(), &object, H5O_INFO_BASIC,
                                     H5P_DEFAULT) < 0 ||
                object.type != H5O_TYPE_DATASET)
                continue;
            Hdf5Handle dataset(H5Dopen2(group.id(), name.c_str(), H5P_DEFAULT), H5Dclose,
                               "opening trace '" + name + "'");
            const Hdf5Handle space(H5Dget_space(dataset.id()), H5Sclose, "reading a dataspace");
            const Hdf5Handle type(H5Dget_type(dataset.id()), H5Tclose, "reading a datatype");
            const H5T_class_t typeClass = H5Tget_class(type.id());
            hsize_t dims[2] = {0, 0};
            if (H5Sget_simple_extent_ndims(space.id()) != 2 ||
                H5Sget_simple_extent_dims(space.id(), dims, nullptr) != 2 ||
                (typeClass != H5T_INTEGER && typeClass != H5T_FLOAT))
                continue; // no trace: events by samples of numbers
            names.insert(name);
            traces.push_back(
                {name, dims[1], std::make_shared<FileTrace>(std::move(dataset), dims[0], dims[1])});
        }
    }
    for (const std::string& name : reader.getAvailableTraceNames())
        if (names.insert(name).second)
            traces.push_back({name, static_cast<hsize_t>(reader.getTraceLength()), nullptr});
    return traces;
}

} // namespace

bool RTDCWriter::writeScalarFeatures(const std::vector<std::string>& features,
                                     const std::vector<int>& indices, RTDCReader& reader) {
    if (m_file < 0)
        return false;
    if (indices.empty())
        return true;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    std::unordered_set<std::string> written;
    std::vector<double> values(indices.size());
    for (std::size_t f = 0; f < features.size(); ++f) {
        const std::string& name = features[f];
        if (!goOn(f, features.size()))
            return fail("Error writing features: ", "cancelled");
        if (!written.insert(name).second)
            continue;
        const std::vector<double>& column = reader.readScalarFeature(name);
        if (column.empty()) {
            m_skippedFeatures.push_back(name);
            continue;
        }
        // An event beyond a short column has no value: NaN, never a read
        // past the column's end.
        const double missing = std::numeric_limits<double>::quiet_NaN();
        for (std::size_t k = 0; k < indices.size(); ++k) {
            const int index = indices[k];
            values[k] = index >= 0 && static_cast<std::size_t>(index) < column.size()
                            ? column[static_cast<std::size_t>(index)]
                            : missing;
        }
        try {
            const hsize_t dims[1] = {static_cast<hsize_t>(values.size())};
            const Hdf5Handle space(H5Screate_simple(1, dims, nullptr), H5Sclose,
                                   "creating a dataspace");
            const std::string path = "/events/" + name;
            const Hdf5Handle dataset(H5Dcreate2(m_file, path.c_str(), H5T_IEEE_F64LE, space.id(),
                                                H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                                     H5Dclose, "creating dataset '" + path + "'");
            if (H5Dwrite(dataset.id(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                         values.data()) < 0)
                throwHdf5Failure("writing dataset '" + path + "'");
        } catch (const Hdf5Failure& e) {
            return fail("Error writing feature '" + name + "': ", e.what());
        }
    }
    return true;
}

bool RTDCWriter::writeImages(RTDCReader& reader, const std::vector<int>& indices) {
    return writeFrames(reader, indices, false);
}

bool RTDCWriter::writeMasks(RTDCReader& reader, const std::vector<int>& indices) {
    return writeFrames(reader, indices, true);
}

bool RTDCWriter::writeFrames(RTDCReader& reader, const std::vector<int>& indices, bool masks) {
    if (m_file < 0)
        return false;
    if (indices.empty() || !(masks ? reader.hasMasks() : reader.hasImages()))
        return true;
    const char* const prefix = masks ? "Error writing masks: " : "Error writing images: ";
    std::size_t& unreadable = masks ? m_unreadableMasks : m_unreadableImages;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();

    const auto readFrame = [&reader, masks](int index, int& width, int& height) {
        const std::size_t event = static_cast<std::size_t>(index);
        return masks ? reader.readMask(event, width, height)
                     : reader.readImage(event, width, height);
    };
    int width = 0;
    int height = 0;
    const std::vector<std::uint8_t> first = readFrame(indices.front(), width, height);
    if (first.empty() || width <= 0 || height <= 0) {
        unreadable += indices.size();
        return true;
    }
    const std::size_t frameBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    try {
        const Hdf5Handle events(H5Gopen2(m_file, "/events", H5P_DEFAULT), H5Gclose,
                                "opening group '/events'");
        const Hdf5Handle dataset =
            createRowChunkedDataset(events.id(), masks ? "mask" : "image", H5T_STD_U8LE,
                                    {static_cast<hsize_t>(indices.size()),
                                     static_cast<hsize_t>(height), static_cast<hsize_t>(width)});
        RowChunkWriter writer(dataset.id(), 3, frameBytes, kDeflateLevel);
        std::string error;
        const bool ok = writer.writeRows(
            indices.size(),
            [&](std::size_t row, std::vector<std::uint8_t>& bytes) {
                if (row == 0) {
                    bytes = first;
                    return true;
                }
                // One stack has one frame size; the writer still refuses a
                // row of any other size.
                int w = 0;
                int h = 0;
                bytes = readFrame(indices[row], w, h);
                return !bytes.empty();
            },
            unreadable, error,
            [this](std::size_t stored, std::size_t rows) { return goOn(stored, rows); });
        if (!ok)
            return fail(prefix, error);
    } catch (const Hdf5Failure& e) {
        return fail(prefix, e.what());
    } catch (const H5::Exception& e) {
        return fail(prefix, describeHdf5Exception(e));
    }
    return true;
}

bool RTDCWriter::writeTraces(RTDCReader& reader, const std::vector<int>& indices) {
    if (m_file < 0)
        return false;
    if (indices.empty())
        return true;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    try {
        const std::vector<SourceTrace> traces = tracesOf(reader);
        if (traces.empty())
            return true;
        const Hdf5Handle group(
            H5Gcreate2(m_file, "/events/trace", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose,
            "creating group '/events/trace'");
        // Progress runs over the rows of every trace, one after the other.
        const std::size_t rowsPerTrace = indices.size();
        const std::size_t allRows = rowsPerTrace * traces.size();
        for (std::size_t t = 0; t < traces.size(); ++t) {
            const SourceTrace& trace = traces[t];
            if (trace.length == 0)
                continue;
            if (trace.length > kMaxTraceSamples)
                return fail("Error writing traces: ",
                            "trace '" + trace.name + "': the trace length is out of range");
            const std::size_t length = static_cast<std::size_t>(trace.length);
            const Hdf5Handle dataset =
                createRowChunkedDataset(group.id(), trace.name, H5T_IEEE_F32LE,
                                        {static_cast<hsize_t>(indices.size()), trace.length});
            RowChunkWriter writer(dataset.id(), 2, length * sizeof(float), kDeflateLevel);
            std::vector<float> samples;
            std::string error;
            const bool ok = writer.writeRows(
                indices.size(),
                [&](std::size_t row, std::vector<std::uint8_t>& bytes) {
                    const std::size_t event = static_cast<std::size_t>(indices[row]);
                    const bool read =
                        trace.source ? trace.source->readRow(event, samples)
                                     : !(samples = reader.readTrace(trace.name, event)).empty();
                    if (!read || samples.size() != length)
                        return false;
                    bytes.resize(length * sizeof(float));
                    std::memcpy(bytes.data(), samples.data(), bytes.size());
                    return true;
                },
                m_unreadableTraceRows, error,
                [&](std::size_t stored, std::size_t) {
                    return goOn(t * rowsPerTrace + stored, allRows);
                });
            if (!ok)
                return fail("Error writing traces: ", "trace '" + trace.name + "': " + error);
        }
    } catch (const Hdf5Failure& e) {
        return fail("Error writing traces: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error writing traces: ", describeHdf5Exception(e));
    }
    return true;
}

} // namespace Quorvex3
