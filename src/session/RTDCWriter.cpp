// The .rtdc writer: the file itself, the copied metadata and the records of
// the filter and of the export. The per-event data are in
// RTDCWriterEvents.cpp.

#include "session/RTDCWriter.h"

#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"
#include "session/ExportFileDriver.h"
#include "session/ExportPlanning.h"
#include "session/FilterRecord.h"
#include "session/Hdf5Handle.h"

#include <H5Cpp.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <iostream>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace Quorvex3 {

static_assert(std::is_same_v<hid_t, std::int64_t>, "the writer keeps the file as a 64-bit id");

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

// Restates the copied "experiment:event count" of `root` (if any) as
// `count`, in the attribute's own type: a number stays a number of its
// width, a text stays a text of its kind (a fixed length grows to fit).
void restateEventCount(hid_t root, std::size_t count) {
    const char* const name = kExperimentEventCount;
    const htri_t exists = H5Aexists(root, name);
    if (exists < 0)
        throwHdf5Failure(std::string("looking for attribute '") + name + "'");
    if (exists == 0)
        return;
    std::optional<Hdf5Handle> attribute;
    attribute.emplace(H5Aopen(root, name, H5P_DEFAULT), H5Aclose,
                      std::string("opening attribute '") + name + "'");
    const Hdf5Handle storedType(H5Aget_type(attribute->id()), H5Tclose, "reading a datatype");
    const Hdf5Handle type(H5Tcopy(storedType.id()), H5Tclose, "copying a datatype");
    const Hdf5Handle space(H5Aget_space(attribute->id()), H5Sclose, "reading a dataspace");
    const hssize_t points = H5Sget_simple_extent_npoints(space.id());
    if (points < 1)
        return; // no value to restate
    const H5T_class_t typeClass = H5Tget_class(type.id());
    const std::string text = std::to_string(count);
    if (typeClass == H5T_INTEGER || typeClass == H5T_FLOAT) {
        // The library converts to the stored width and kind.
        const std::vector<unsigned long long> values(static_cast<std::size_t>(points), count);
        if (H5Awrite(attribute->id(), H5T_NATIVE_ULLONG, values.data()) < 0)
            throwHdf5Failure(std::string("writing attribute '") + name + "'");
        return;
    }
    if (typeClass != H5T_STRING || points != 1)
        return; // left as copied: no count can be stated in it
    if (H5Tis_variable_str(type.id()) > 0) {
        const char* value = text.c_str();
        if (H5Awrite(attribute->id(), type.id(), &value) < 0)
            throwHdf5Failure(std::string("writing attribute '") + name + "'");
        return;
    }
    std::size_t size = H5Tget_size(type.id());
    if (size < text.size()) {
        // Too short for the new count: made again, one character per digit.
        const Hdf5Handle createList(H5Aget_create_plist(attribute->id()), H5Pclose,
                                    "reading attribute properties");
        size = text.size();
        if (H5Tset_size(type.id(), size) < 0)
            throwHdf5Failure("sizing a string type");
        attribute.reset();
        if (H5Adelete(root, name) < 0)
            throwHdf5Failure(std::string("replacing attribute '") + name + "'");
        attribute.emplace(
            H5Acreate2(root, name, type.id(), space.id(), createList.id(), H5P_DEFAULT), H5Aclose,
            std::string("creating attribute '") + name + "'");
    }
    std::string value(size, H5Tget_strpad(type.id()) == H5T_STR_SPACEPAD ? ' ' : '\0');
    value.replace(0, text.size(), text);
    if (H5Awrite(attribute->id(), type.id(), value.data()) < 0)
        throwHdf5Failure(std::string("writing attribute '") + name + "'");
}

// The descriptor of a file opened by the default (POSIX) driver, or -1.
int descriptorOf(hid_t file) {
    void* handle = nullptr;
    if (H5Fget_vfd_handle(file, H5P_DEFAULT, &handle) < 0 || handle == nullptr)
        return -1;
    return *static_cast<int*>(handle);
}

// Room the close may still need beyond the space already allocated.
constexpr off_t kCloseSlackBytes = off_t(1) << 20;

// Makes sure the blocks the library still writes while closing (all within
// the allocated end of the file, plus some slack) are there: false, with
// the reason, when the disk or the process's file-size limit has no room.
bool reserveRoomToFinish(hid_t file, std::string& reason) {
    haddr_t end = 0;
    if (H5Fget_eoa(file, &end) < 0)
        return true; // nothing to go by; the flush will tell
    const off_t needed = static_cast<off_t>(end) + kCloseSlackBytes;
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(needed) > limit.rlim_cur) {
        reason = "the file would exceed the largest file size allowed";
        return false;
    }
    const int fd = descriptorOf(file);
#if defined(__linux__)
    // Reserved without changing the file's size, so the file stays exactly
    // what the library writes.
    if (fd >= 0 && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, needed) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        reason = std::string("no room to finish the file (") + std::strerror(errno) + ")";
        return false;
    }
#else
    (void)fd;
#endif
    return true;
}

} // namespace

RTDCWriter::RTDCWriter() = default;

RTDCWriter::~RTDCWriter() {
    close();
}

bool RTDCWriter::isOpen() const {
    return m_file >= 0;
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
    m_lastError.clear();
    m_unreadableImages = m_unreadableMasks = m_unreadableTraceRows = 0;
    m_skippedFeatures.clear();
    m_outcome = std::make_unique<ExportFileOutcome>();
    try {
        const Hdf5Handle access(createExportFileAccess(m_outcome.get()), H5Pclose,
                                "creating file access properties");
        // Object headers of the 1.8 format, so a root group with many or
        // large attributes (long polygons) can hold them.
        if (H5Pset_libver_bounds(access.id(), H5F_LIBVER_V18, H5F_LIBVER_LATEST) < 0)
            throwHdf5Failure("choosing the file format");
        m_file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.id());
        if (m_file < 0)
            throwHdf5Failure("creating '" + path + "'");
        const Hdf5Handle events(
            H5Gcreate2(m_file, "/events", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose,
            "creating group '/events'");
    } catch (const Hdf5Failure& e) {
        fail("Error creating file: ", e.what());
        // A file whose group could not be made is of no use: closed as a
        // failed file.
        close();
        return false;
    }
    return true;
}

bool RTDCWriter::close() {
    if (m_file < 0)
        return false;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    // The file is closed exactly once, and its close cannot fail: from here
    // on the driver keeps a failed write's reason instead of reporting it
    // (HDF5 cannot recover from a failed close), and a failed file's
    // remaining writes go nowhere. Whether the file is whole is the
    // driver's record, read after the close.
    const hid_t file = std::exchange(m_file, H5I_INVALID_HID);
    ExportFileOutcome& outcome = *m_outcome;
    outcome.closing = true;
    bool ok = m_lastError.empty();
    // A write the library did not pass on (it had other work to finish)
    // still failed the file.
    if (ok && !outcome.failure.empty())
        ok = fail("Error writing file: ", outcome.failure);
    std::string reason;
    // A full disk shows before the flush, with a clear reason.
    if (ok && !reserveRoomToFinish(file, reason))
        ok = fail("Error closing file: ", reason);
    if (!ok)
        outcome.discarding = true;
    if (ok && H5Fflush(file, H5F_SCOPE_GLOBAL) < 0)
        ok = fail("Error closing file: ", "flushing the file failed: " + innermostHdf5Error());
    if (H5Fclose(file) < 0) // not expected: no write can fail it
        ok = fail("Error closing file: ", "closing the file failed: " + innermostHdf5Error());
    if (ok && !outcome.failure.empty())
        ok = fail("Error closing file: ", outcome.failure);
    return ok;
}

bool RTDCWriter::copyMetadata(RTDCReader& source) {
    if (m_file < 0)
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
        const Hdf5Handle targetRoot(H5Gopen2(m_file, "/", H5P_DEFAULT), H5Gclose,
                                    "opening the root group");
        for (hsize_t i = 0; i < info.num_attrs; ++i)
            copyAttribute(sourceRoot.id(), targetRoot.id(), i);
    } catch (const Hdf5Failure& e) {
        return fail("Error copying metadata: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error copying metadata: ", describeHdf5Exception(e));
    }
    return true;
}

bool RTDCWriter::writeOfflineFilterMetadata(const EventFilter& filter) {
    if (m_file < 0)
        return false;
    const std::vector<FilterRecordEntry> entries = offlineFilterRecord(filter);
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    try {
        const Hdf5Handle root(H5Gopen2(m_file, "/", H5P_DEFAULT), H5Gclose,
                              "opening the root group");
        for (const FilterRecordEntry& entry : entries) {
            if (entry.isPolygon)
                writePolygonAttribute(root.id(), entry.name, entry.points);
            else
                writeStringAttribute(root.id(), entry.name, entry.text);
        }
    } catch (const Hdf5Failure& e) {
        return fail("Error writing offline filter metadata: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error writing offline filter metadata: ", describeHdf5Exception(e));
    }
    return true;
}

bool RTDCWriter::writeExportMetadata(std::size_t eventCount, const std::string& changedSampleName) {
    if (m_file < 0)
        return false;
    Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    try {
        const Hdf5Handle root(H5Gopen2(m_file, "/", H5P_DEFAULT), H5Gclose,
                              "opening the root group");
        writeStringAttribute(root.id(), "export:date", localIsoDate());
        writeStringAttribute(root.id(), "export:event count", std::to_string(eventCount));
        restateEventCount(root.id(), eventCount);
        if (!changedSampleName.empty())
            writeStringAttribute(root.id(), "export:changed sample name", changedSampleName);
    } catch (const Hdf5Failure& e) {
        return fail("Error writing export metadata: ", e.what());
    } catch (const H5::Exception& e) {
        return fail("Error writing export metadata: ", describeHdf5Exception(e));
    }
    return true;
}

} // namespace Quorvex3
