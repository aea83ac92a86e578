#pragma once
// Cell-like event images and masks for the export benchmarks' source files.

#include "core/RTDCReader.h"
#include "session/RowChunkWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <H5Cpp.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvex3::bench {

constexpr int kCellFrameHeight = 80;
constexpr int kCellFrameWidth = 250;
constexpr std::size_t kCellFrameBytes = std::size_t(kCellFrameHeight) * kCellFrameWidth;

/// A cell-like frame: smooth background, sensor noise and a darker ellipse
/// whose place and size vary per event; its mask is the ellipse.
inline void cellFrameOf(int event, bool mask, std::vector<std::uint8_t>& out) {
    out.resize(kCellFrameBytes);
    std::mt19937 noise(static_cast<unsigned>(event) * 7919u + (mask ? 1u : 0u));
    const double cx = 60.0 + (event * 37) % 130;
    const double cy = 40.0 + (event % 9) - 4;
    const double rx = 12.0 + event % 7;
    const double ry = 9.0 + event % 5;
    for (int y = 0; y < kCellFrameHeight; ++y)
        for (int x = 0; x < kCellFrameWidth; ++x) {
            const double dx = (x - cx) / rx;
            const double dy = (y - cy) / ry;
            const bool inside = dx * dx + dy * dy <= 1.0;
            out[static_cast<std::size_t>(y) * kCellFrameWidth + static_cast<std::size_t>(x)] =
                mask ? (inside ? 255 : 0)
                     : static_cast<std::uint8_t>(100 + x / 25 + (inside ? -40 : 0) +
                                                 static_cast<int>(noise() % 7) - 3);
        }
}

/// Writes `rows` rows of `rowBytes` through the parallel chunk writer
/// (deflate level 4); throws on a failed write. Caller holds the HDF5 lock.
inline void writeBenchRows(const H5::DataSet& dataset, int rank, std::size_t rowBytes,
                           std::size_t rows, const RowChunkWriter::FetchRow& fetch) {
    RowChunkWriter writer(dataset.getId(), rank, rowBytes, 4);
    std::size_t missing = 0;
    std::string error;
    if (!writer.writeRows(rows, fetch, missing, error))
        throw std::runtime_error(error);
}

/// "image" and "mask" stacks of `events` cell frames in `group`, one frame a
/// chunk, deflated at level 4. Caller holds the HDF5 lock.
inline void writeCellFrameStacks(H5::Group& group, hsize_t events) {
    for (const bool mask : {false, true}) {
        const hsize_t dims[3] = {events, kCellFrameHeight, kCellFrameWidth};
        const hsize_t chunk[3] = {1, kCellFrameHeight, kCellFrameWidth};
        H5::DSetCreatPropList create;
        create.setChunk(3, chunk);
        create.setDeflate(4);
        const H5::DataSet stack = group.createDataSet(
            mask ? "mask" : "image", H5::PredType::STD_U8LE, H5::DataSpace(3, dims), create);
        writeBenchRows(stack, 3, kCellFrameBytes, events,
                       [mask](std::size_t row, std::vector<std::uint8_t>& bytes) {
                           cellFrameOf(static_cast<int>(row), mask, bytes);
                           return true;
                       });
    }
}

/// Writes a benchmark's source measurement at `path` once: later runs find
/// it. `fill` writes the content under the HDF5 lock into a partial file,
/// which takes the name only when it is complete.
inline void writeBenchSourceOnce(const std::string& path,
                                 const std::function<void(H5::H5File&)>& fill) {
    const QString target = QString::fromStdString(path);
    if (QFileInfo::exists(target))
        return;
    QDir().mkpath(QFileInfo(target).absolutePath());
    const std::string partial = path + ".part";
    {
        std::lock_guard<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
        H5::H5File file(partial, H5F_ACC_TRUNC);
        fill(file);
    }
    QFile::rename(QString::fromStdString(partial), target);
}

} // namespace Quorvex3::bench
