// The .rtdc writer: the file itself, the copied metadata and the records of
// the filter and of the export. The per-event data are in
// RTDCWriterEvents.cpp.

#include "session/RTDCWriter.h"

#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"
#include "session/ExportPlanning.h"
#include "session/FilterRecord.h"
#include "session/Hdf5Handle.h"

#include <H5Cpp.h>

#include <iostream>
#include <mutex>

namespace Quorvex3 {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Attributes are small; a larger extent means a damaged source file.
constexpr std::size_t kMaxAttributeBytes = std::size_t(64) << 20;

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Kinds of attribute values that carry over between files unchanged.
bool copyableClass(H5T_class_t typeClass) {
    return typeClass == H5T_INTEGER || typeClass == H5T_FLOAT || typeClass == H5T_STRING ||
           typeClass == H5T_ENUM;
}

std::string attributeName(hid_t attribute) {
    const ssize_t length = H5Aget_name(attribute, 0, nullptr);
    if (length < 0)
        throwHdf5Failure("reading an attribute name");
    std::string name(static_cast<std::size_t>(length) + 1, '\0');
    H5Aget_name(attribute, name.size(), &name[0]);
    name.resize(static_cast<std::size_t>(length));
    return name;
}

// Copies one attribute of `sourceRoot` (by its position in name order) to
// `targetRoot` with its own datatype, dataspace and name encoding.
void copyAttribute(hid_t sourceRoot, hid_t targetRoot, hsize_t position) {
    const Hdf5Handle attribute(H5Aopen_by_idx(sourceRoot, ".", H5_INDEX_NAME, H5_ITER_INC, position,
                                              H5P_DEFAULT, H5P_DEFAULT),
                               H5Aclose, "opening an attribute");
    const std::string name = attributeName(attribute.id());
    // This export states its own filter and export record.
    if (startsWith(name, "offline_filter:") || startsWith(name, "export:"))
        return;
    const Hdf5Handle storedType(H5Aget_type(attribute.id()), H5Tclose, "reading a datatype");
    if (!copyableClass(H5Tget_class(storedType.id())))
        return;
    // A transient copy, so a type committed in the source file can be used here.
    const Hdf5Handle type(H5Tcopy(storedType.id()), H5Tclose, "copying a datatype");
    const Hdf5Handle space(H5Aget_space(attribute.id()), H5Sclose, "reading a dataspace");
    const hssize_t points = H5Sget_simple_extent_npoints(space.id());
    const std::size_t elementBytes = H5Tget_size(type.id());
    if (points < 0 || elementBytes == 0)
        throw Hdf5Failure("attribute '" + name + "' has no valid extent");
    const std::size_t count = static_cast<std::size_t>(points);
    if (count != 0 && elementBytes > kMaxAttributeBytes / count)
        throw Hdf5Failure("attribute '" + name + "' is too large to copy");

    std::vector<unsigned char> buffer(count * elementBytes);
    const bool variableString = H5Tis_variable_str(type.id()) > 0;
    if (count > 0 && H5Aread(attribute.id(), type.id(), buffer.data()) < 0)
        throwHdf5Failure("reading attribute '" + name + "'");
    // Variable-length strings were allocated by the library for the read.
    struct Reclaim {
        hid_t type;
        hid_t space;
        void* data;
        bool active;
        ~Reclaim() {
            if (active)
                H5Dvlen_reclaim(type, space, H5P_DEFAULT, data);
        }
    } reclaim{type.id(), space.id(), buffer.data(), variableString && count > 0};

    const Hdf5Handle createList(H5Aget_create_plist(attribute.id()), H5Pclose,
                                "reading attribute properties");
    const Hdf5Handle copy(
        H5Acreate2(targetRoot, name.c_str(), type.id(), space.id(), createList.id(), H5P_DEFAULT),
        H5Aclose, "creating attribute '" + name + "'");
    if (count > 0 && H5Awrite(copy.id(), type.id(), buffer.data()) < 0)
        throwHdf5Failure("writing attribute '" + name + "'");
}

// Attribute creation list whose names are marked as UTF-8.
Hdf5Handle utf8NameList() {
    Hdf5Handle list(H5Pcreate(H5P_ATTRIBUTE_CREATE), H5Pclose, "creating attribute properties");
    H5Pset_char_encoding(list.id(), H5T_CSET_UTF8);
    return list;
}

// One scalar variable-length UTF-8 string attribute on `root`.
void writeStringAttribute(hid_t root, const std::string& name, const std::string& value) {
    const Hdf5Handle type(H5Tcopy(H5T_C_S1), H5Tclose, "creating a string type");
    H5Tset_size(type.id(), H5T_VARIABLE);
    H5Tset_cset(type.id(), H5T_CSET_UTF8);
    const Hdf5Handle space(H5Screate(H5S_SCALAR), H5Sclose, "creating a dataspace");
    const Hdf5Handle names = utf8NameList();
    const Hdf5Handle attribute(
        H5Acreate2(root, name.c_str(), type.id(), space.id(), names.id(), H5P_DEFAULT), H5Aclose,
        "creating attribute '" + name + "'");
    const char* text = value.c_str();
    if (H5Awrite(attribute.id(), type.id(), &text) < 0)
        throwHdf5Failure("writing attribute '" + name + "'");
}

// One (P, 2) little-endian float attribute of (x, y) rows on `root`.
void writePolygonAttribute(hid_t root, const std::string& name,
                           const std::vector<std::pair<double, double>>& points) {
    std::vector<float> values;
    values.reserve(points.size() * 2);
    for (const auto& [x, y] : points) {
        values.push_back(static_cast<float>(x));
        values.push_back(static_cast<float>(y));
    }
    const hsize_t dims[2] = {static_cast<hsize_t>(points.size()), 2};
    const Hdf5Handle space(H5Screate_simple(2, dims, nullptr), H5Sclose, "creating a dataspace");
    const Hdf5Handle names = utf8NameList();
    const Hdf5Handle attribute(
        H5Acreate2(root, name.c_str(), H5T_IEEE_F32LE, space.id(), names.id(), H5P_DEFAULT),
        H5Aclose, "creating attribute '" + name + "'");
    if (!values.empty() && H5Awrite(attribute.id(), H5T_NATIVE_FLOAT, values.data()) < 0)
        throwHdf5Failure("writing attribute '" + name + "'");
}

} // namespace

RTDCWriter::RTDCWriter() = default;

RTDCWriter::~RTDCWriter() {
    close();
}

bool RTDCWriter::isOpen() const {
    return m_file != nullptr;
}

bool RTDCWriter::fail(const std::string& prefix, const std::string& detail) {
    std::cerr << prefix << detail << std::endl;
    if (m_lastError.empty())
        m_lastError = prefix + detail;
    return false;
}

bool RTDCWriter::createFile(const std::string& path) {
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    close();
    try {
        // Object headers of the 1.8 format, so a root group with many or
        // large attributes (long polygons) can hold them.
        H5::FileAccPropList access;
        access.setLibverBounds(H5F_LIBVER_V18, H5F_LIBVER_LATEST);
        m_file = std::make_unique<H5::H5File>(path, H5F_ACC_TRUNC, H5::FileCreatPropList::DEFAULT,
                                              access);
        m_file->createGroup("/events");
    } catch (const H5::Exception& e) {
        const std::string detail = describeHdf5Exception(e);
        // A file whose group could not be made is of no use: close it.
        if (m_file) {
            try {
                m_file->close();
            } catch (const H5::Exception&) {
            }
            m_file.reset();
        }
        return fail("Error creating file: ", detail);
    }
    return true;
}

bool RTDCWriter::close() {
    if (!m_file)
        return false;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    bool ok = true;
    try {
        // Flushed first: the close of a file whose buffered data no longer
        // fits on the disk does not always say so.
        m_file->flush(H5F_SCOPE_GLOBAL);
        m_file->close();
    } catch (const H5::Exception& e) {
        ok = fail("Error closing file: ", describeHdf5Exception(e));
    }
    m_file.reset();
    return ok;
}

bool RTDCWriter::copyMetadata(RTDCReader& source) {
    if (!m_file)
        return false;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    try {
        const hid_t sourceFile = source.fileIdLocked();
        if (sourceFile < 0)
            throw Hdf5Failure("the source file is not open");
        const Hdf5Handle sourceRoot(H5Gopen2(sourceFile, "/", H5P_DEFAULT), H5Gclose,
                                    "opening the source's root group");
        H5O_info_t info{};
        if (H5Oget_info2(sourceRoot.id(), &info, H5O_INFO_NUM_ATTRS) < 0)
            throwHdf5Failure("counting the source's attributes");
        const H5::Group targetRoot = m_file->openGroup("/");
        for (hsize_t i = 0; i < info.num_attrs; ++i)
            copyAttribute(sourceRoot.id(), targetRoot.getId(), i);
    } catch (const Hdf5Failure& e) {
        return fail("Error copying metadata: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error copying metadata: ", describeHdf5Exception(e));
    }
    return true;
}

bool RTDCWriter::writeOfflineFilterMetadata(const EventFilter& filter) {
    if (!m_file)
        return false;
    const std::vector<FilterRecordEntry> entries = offlineFilterRecord(filter);
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    try {
        const H5::Group root = m_file->openGroup("/");
        for (const FilterRecordEntry& entry : entries) {
            if (entry.isPolygon)
                writePolygonAttribute(root.getId(), entry.name, entry.points);
            else
                writeStringAttribute(root.getId(), entry.name, entry.text);
        }
    } catch (const Hdf5Failure& e) {
        return fail("Error writing offline filter metadata: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error writing offline filter metadata: ", describeHdf5Exception(e));
    }
    return true;
}

bool RTDCWriter::writeExportMetadata(std::size_t eventCount, const std::string& changedSampleName) {
    if (!m_file)
        return false;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    try {
        const H5::Group root = m_file->openGroup("/");
        writeStringAttribute(root.getId(), "export:date", localIsoDate());
        writeStringAttribute(root.getId(), "export:event count", std::to_string(eventCount));
        if (!changedSampleName.empty())
            writeStringAttribute(root.getId(), "export:changed sample name", changedSampleName);
    } catch (const Hdf5Failure& e) {
        return fail("Error writing export metadata: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error writing export metadata: ", describeHdf5Exception(e));
    }
    return true;
}

} // namespace Quorvex3
