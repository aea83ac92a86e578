// Which features a plot can use: numeric columns with a value per event.

#include "core/UsableFeatures.h"

#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"

#include <hdf5.h>

#include <mutex>

namespace Quorvex3 {

namespace {

/// Closes an HDF5 identifier when it goes out of scope.
class Handle {
public:
    Handle(hid_t id, herr_t (*close)(hid_t)) : m_id(id), m_close(close) {}
    ~Handle() {
        if (m_id >= 0)
            m_close(m_id);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    hid_t id() const { return m_id; }
    bool valid() const { return m_id >= 0; }

private:
    hid_t m_id;
    herr_t (*m_close)(hid_t);
};

bool isConvertedIntegerSize(size_t size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

/// True for the stored types the reader converts to numbers: any floating
/// point type, integers of 1, 2, 4 or 8 bytes, and enumerations built on
/// such integers.
bool holdsNumbers(hid_t type) {
    switch (H5Tget_class(type)) {
    case H5T_FLOAT:
        return true;
    case H5T_INTEGER:
        return isConvertedIntegerSize(H5Tget_size(type));
    case H5T_ENUM: {
        const Handle base(H5Tget_super(type), H5Tclose);
        return base.valid() && H5Tget_class(base.id()) == H5T_INTEGER &&
               isConvertedIntegerSize(H5Tget_size(base.id()));
    }
    default:
        return false;
    }
}

/// True when /events/<name> of the open file is a one-dimensional numeric
/// dataset of at least `eventCount` values. Caller holds the HDF5 lock.
bool fileColumnUsable(hid_t file, const std::string& name, size_t eventCount) {
    if (name.empty() || name.find('/') != std::string::npos)
        return false;
    if (H5Lexists(file, "/events", H5P_DEFAULT) <= 0)
        return false;
    const std::string path = "/events/" + name;
    if (H5Lexists(file, path.c_str(), H5P_DEFAULT) <= 0)
        return false;
    const Handle dataset(H5Dopen2(file, path.c_str(), H5P_DEFAULT), H5Dclose);
    if (!dataset.valid())
        return false;
    const Handle type(H5Dget_type(dataset.id()), H5Tclose);
    if (!type.valid() || !holdsNumbers(type.id()))
        return false;
    // The listing holds only 1-D columns besides the frame stacks, but the
    // extent below is read into room for one dimension: check, not assume.
    const Handle space(H5Dget_space(dataset.id()), H5Sclose);
    if (!space.valid() || H5Sget_simple_extent_ndims(space.id()) != 1)
        return false;
    hsize_t extent = 0;
    if (H5Sget_simple_extent_dims(space.id(), &extent, nullptr) != 1)
        return false;
    return extent >= eventCount;
}

} // namespace

std::vector<std::string> usableScalarFeatures(RTDCReader& reader) {
    std::vector<std::string> usable;
    const size_t eventCount = reader.getEventCount();
    std::lock_guard<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    const hid_t file = static_cast<hid_t>(reader.fileIdLocked());
    if (file < 0)
        return usable;
    for (const std::string& name : reader.getAvailableFeatures()) {
        if (!RTDCReader::isScalarFeature(name))
            continue;
        bool ok = false;
        if (reader.isCalculatedFeature(name)) {
            // Derived values replace a file column of the same name.
            const auto column = reader.featureColumn(name);
            ok = column && column->size() >= eventCount;
        } else {
            ok = fileColumnUsable(file, name, eventCount);
        }
        if (ok)
            usable.push_back(name);
    }
    return usable;
}

} // namespace Quorvex3
