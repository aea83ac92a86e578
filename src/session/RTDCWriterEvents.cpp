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

// A product of extents that must fit in memory as bytes.
bool fitsInMemory(std::size_t a, std::size_t b, std::size_t elementBytes) {
    return a == 0 || (b <= std::numeric_limits<std::size_t>::max() / a &&
                      a * b <= std::numeric_limits<std::size_t>::max() / elementBytes);
}

} // namespace

bool RTDCWriter::writeScalarFeatures(const std::vector<std::string>& features,
                                     const std::vector<int>& indices, RTDCReader& reader) {
    if (!m_file)
        return false;
    if (indices.empty())
        return true;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    std::unordered_set<std::string> written;
    std::vector<double> values(indices.size());
    for (const std::string& name : features) {
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
            H5::DataSpace space(1, dims);
            H5::DataSet dataset =
                m_file->createDataSet("/events/" + name, H5::PredType::IEEE_F64LE, space);
            dataset.write(values.data(), H5::PredType::NATIVE_DOUBLE);
        } catch (const H5::Exception& e) {
            return fail("Error writing feature '" + name + "': ", describeHdf5Exception(e));
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
    if (!m_file)
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
        const H5::Group events = m_file->openGroup("/events");
        const Hdf5Handle dataset =
            createRowChunkedDataset(events.getId(), masks ? "mask" : "image", H5T_STD_U8LE,
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
            unreadable, error);
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
    if (!m_file)
        return false;
    if (indices.empty() || !reader.hasTraces())
        return true;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    try {
        const H5::Group traces = m_file->createGroup("/events/trace");
        const std::size_t length = reader.getTraceLength();
        if (length == 0)
            return true;
        if (!fitsInMemory(length, 1, sizeof(float)))
            return fail("Error writing traces: ", "the trace length is out of range");
        std::unordered_set<std::string> written;
        for (const std::string& name : reader.getAvailableTraceNames()) {
            if (!written.insert(name).second)
                continue;
            const Hdf5Handle dataset = createRowChunkedDataset(
                traces.getId(), name, H5T_IEEE_F32LE,
                {static_cast<hsize_t>(indices.size()), static_cast<hsize_t>(length)});
            RowChunkWriter writer(dataset.id(), 2, length * sizeof(float), kDeflateLevel);
            std::string error;
            const bool ok = writer.writeRows(
                indices.size(),
                [&](std::size_t row, std::vector<std::uint8_t>& bytes) {
                    const std::vector<float> samples =
                        reader.readTrace(name, static_cast<std::size_t>(indices[row]));
                    if (samples.size() != length)
                        return false;
                    bytes.resize(length * sizeof(float));
                    std::memcpy(bytes.data(), samples.data(), bytes.size());
                    return true;
                },
                m_unreadableTraceRows, error);
            if (!ok)
                return fail("Error writing traces: ", "trace '" + name + "': " + error);
        }
    } catch (const Hdf5Failure& e) {
        return fail("Error writing traces: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error writing traces: ", describeHdf5Exception(e));
    }
    return true;
}

} // namespace Quorvex3
