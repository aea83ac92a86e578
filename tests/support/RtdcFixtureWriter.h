#pragma once

// Test fixtures: measurement files (.rtdc, HDF5) written in code, and a
// per-test temporary directory to put them in.
//
// Typical use:
//
//     Quorvex3::testing::TempDir dir;
//     const std::string path = dir.file("m.rtdc");
//     {
//         Quorvex3::testing::RtdcFixtureWriter w(path);
//         w.addColumn<float>("area_um", {10.f, 20.f, 30.f});
//         w.addImageStack("image", 3, 80, 250, pixels,
//                         Quorvex3::testing::Storage::chunked({1, 80, 250}, 4));
//         w.setStringAttribute("experiment:sample", "blood");
//     } // the file is complete once the writer is destroyed (or close() ran)
//
// Every writer method throws std::runtime_error (with the HDF5 detail text)
// when HDF5 refuses a step, so a broken fixture fails the test loudly.
// The writer does not take the program's HDF5 lock: write fixtures before a
// test starts threads that read files.

#include "H5Cpp.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3::testing {

/// A uniquely named directory below the system's temporary directory,
/// removed with everything in it when the object is destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    /// Absolute path of the directory (no trailing slash).
    const std::string& path() const { return m_path; }
    /// path() + "/" + name; the file itself is not created.
    std::string file(const std::string& name) const;

private:
    std::string m_path;
};

/// Writes `bytes` to `path`, replacing any file there (for foreign files).
void writeBytes(const std::string& path, const std::string& bytes);
/// Cuts the file at `path` down to its first `size` bytes (for truncated
/// files). Throws std::runtime_error when the file is missing.
void truncateFile(const std::string& path, std::uintmax_t size);
/// Size of the file at `path` in bytes.
std::uintmax_t fileSize(const std::string& path);
/// Overwrites the stored bytes of chunk `chunkIndex` (in HDF5's chunk
/// order) of the chunked dataset `datasetPath` in the closed file `path`
/// with 0xFF, so inflating or reading that chunk fails (for read errors).
void corruptChunk(const std::string& path, const std::string& datasetPath, hsize_t chunkIndex = 0);

/// How a dataset is laid out in the file.
struct Storage {
    /// Chunk shape, one entry per dimension. Empty: contiguous storage,
    /// unless gzip > 0, in which case a chunk shape is chosen (up to 10,000
    /// rows for columns, 100 frames/rows for stacks, whole trailing extents).
    std::vector<hsize_t> chunk;
    /// Deflate level 1..9; 0 writes uncompressed.
    int gzip = 0;
    /// Byte-shuffle filter before deflate (as many writers use).
    bool shuffle = false;

    static Storage contiguous() { return {}; }
    static Storage chunked(std::vector<hsize_t> chunkShape, int gzipLevel = 0,
                           bool shuffleBytes = false) {
        return Storage{std::move(chunkShape), gzipLevel, shuffleBytes};
    }
    static Storage compressed(int gzipLevel = 4) { return Storage{{}, gzipLevel, false}; }
};

/// Character set of a string dataset or attribute.
enum class CharSet { Ascii, Utf8 };

/// Padding of a fixed-length string (HDF5's H5T_STR_* values).
enum class StringPad { NullTerm, NullPad, SpacePad };

/// Integer base of an enumeration type.
enum class EnumBase { Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64, UInt64 };

/// One member of an enumeration type: name and integer value.
using EnumMember = std::pair<std::string, long long>;

/// Writes one measurement file. The file is created (truncating any file at
/// the path) by the constructor and closed by close() or the destructor.
/// Groups on the way to a dataset are created as needed.
class RtdcFixtureWriter {
public:
    explicit RtdcFixtureWriter(const std::string& path);
    ~RtdcFixtureWriter();
    RtdcFixtureWriter(const RtdcFixtureWriter&) = delete;
    RtdcFixtureWriter& operator=(const RtdcFixtureWriter&) = delete;

    /// Flushes and closes the file; later calls throw. Safe to call twice.
    void close();
    const std::string& path() const { return m_path; }

    // --- Per-event columns under /events -----------------------------------
    /// 1-D column /events/<name>. T is one of int8_t, uint8_t, int16_t,
    /// uint16_t, int32_t, uint32_t, int64_t, uint64_t, float, double; it is
    /// stored as the little-endian standard type of the same size and sign.
    template <typename T>
    void addColumn(const std::string& name, const std::vector<T>& values,
                   const Storage& storage = {});
    /// 1-D enumeration column. `values` are member values; `members` names
    /// them (default: FALSE = 0, TRUE = 1, as booleans are commonly stored).
    void addEnumColumn(const std::string& name, const std::vector<long long>& values,
                       EnumBase base = EnumBase::Int8,
                       const std::vector<EnumMember>& members = {{"FALSE", 0}, {"TRUE", 1}},
                       const Storage& storage = {});
    /// 1-D string column, variable length (fixedSize == 0) or fixed length
    /// of fixedSize bytes (null-padded).
    void addStringColumn(const std::string& name, const std::vector<std::string>& values,
                         size_t fixedSize = 0, CharSet charSet = CharSet::Ascii);

    /// Frame stack /events/<name> ("image" or "mask"), uint8 of shape
    /// (count, height, width); `pixels` holds count * height * width bytes,
    /// frame after frame, each row-major.
    void addImageStack(const std::string& name, size_t count, size_t height, size_t width,
                       const std::vector<uint8_t>& pixels, const Storage& storage = {});

    /// Trace /events/trace/<name> of shape (events, samples); `values` holds
    /// events * samples entries, event after event. Overloads store int16,
    /// uint16 or float32.
    void addTrace(const std::string& name, size_t events, size_t samples,
                  const std::vector<int16_t>& values, const Storage& storage = {});
    void addTrace(const std::string& name, size_t events, size_t samples,
                  const std::vector<uint16_t>& values, const Storage& storage = {});
    void addTrace(const std::string& name, size_t events, size_t samples,
                  const std::vector<float>& values, const Storage& storage = {});

    // --- Anything else -------------------------------------------------------
    /// Dataset of any rank at an absolute path (e.g. "/events/area_um" with
    /// dims {3, 2}); `values` holds the product of `dims` entries, row-major.
    /// T as for addColumn, or uint8_t for frame-like data.
    template <typename T>
    void addDataset(const std::string& path, const std::vector<hsize_t>& dims,
                    const std::vector<T>& values, const Storage& storage = {});
    /// Dataset of an arbitrary HDF5 file type (odd integer sizes, big-endian,
    /// compound...). `data` points to the product of `dims` elements laid out
    /// as `memType`; null writes no data (the fill value stays).
    void addTypedDataset(const std::string& path, const H5::DataType& fileType,
                         const std::vector<hsize_t>& dims, const H5::DataType& memType,
                         const void* data, const Storage& storage = {});
    /// Creates a group (and the groups above it).
    void addGroup(const std::string& path);

    // --- Attributes of the root group ----------------------------------------
    /// Variable-length string attribute (h5py stores str this way, as UTF-8).
    void setStringAttribute(const std::string& name, const std::string& value,
                            CharSet charSet = CharSet::Ascii);
    /// Fixed-length string attribute of `size` bytes (0: the value's length,
    /// plus one for NullTerm). The value is padded as `pad` says.
    void setFixedStringAttribute(const std::string& name, const std::string& value,
                                 CharSet charSet = CharSet::Ascii,
                                 StringPad pad = StringPad::NullPad, size_t size = 0);
    /// Scalar numeric attribute; T as for addColumn.
    template <typename T> void setScalarAttribute(const std::string& name, T value);
    /// Scalar enumeration attribute holding the member valued `value`.
    void setEnumAttribute(const std::string& name, long long value, EnumBase base = EnumBase::Int8,
                          const std::vector<EnumMember>& members = {{"FALSE", 0}, {"TRUE", 1}});
    /// N x 2 float32 attribute of (x, y) rows, as polygon filters are stored.
    void setPolygonAttribute(const std::string& name,
                             const std::vector<std::pair<float, float>>& points);
    /// Numeric array attribute of any shape; T as for addColumn.
    template <typename T>
    void setArrayAttribute(const std::string& name, const std::vector<hsize_t>& dims,
                           const std::vector<T>& values);

private:
    H5::Group ensureParentGroup(const std::string& path);
    H5::DataSet createDataSet(const std::string& path, const H5::DataType& fileType,
                              const std::vector<hsize_t>& dims, const Storage& storage);
    void writeAttribute(const std::string& name, const H5::DataType& fileType,
                        const H5::DataSpace& space, const H5::DataType& memType, const void* data);
    H5::H5File& file();

    std::string m_path;
    std::unique_ptr<H5::H5File> m_file;
};

} // namespace Quorvex3::testing
