#include "support/RtdcFixtureWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace Quorvex3::testing {

namespace {

// HDF5's exceptions are not std::exceptions in 1.10; turn them into ones
// that GoogleTest prints with their text.
template <typename F> auto guarded(const std::string& what, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const H5::Exception& e) {
        throw std::runtime_error("fixture writer: " + what + ": " + e.getFuncName() + ": " +
                                 e.getDetailMsg());
    }
}

template <typename T> struct TypeOf;
#define QV3_FIXTURE_TYPE(T, FILE_T, MEM_T)                                                         \
    template <> struct TypeOf<T> {                                                                 \
        static const H5::PredType& file() { return H5::PredType::FILE_T; }                         \
        static const H5::PredType& mem() { return H5::PredType::MEM_T; }                           \
    };
QV3_FIXTURE_TYPE(int8_t, STD_I8LE, NATIVE_INT8)
QV3_FIXTURE_TYPE(uint8_t, STD_U8LE, NATIVE_UINT8)
QV3_FIXTURE_TYPE(int16_t, STD_I16LE, NATIVE_INT16)
QV3_FIXTURE_TYPE(uint16_t, STD_U16LE, NATIVE_UINT16)
QV3_FIXTURE_TYPE(int32_t, STD_I32LE, NATIVE_INT32)
QV3_FIXTURE_TYPE(uint32_t, STD_U32LE, NATIVE_UINT32)
QV3_FIXTURE_TYPE(int64_t, STD_I64LE, NATIVE_INT64)
QV3_FIXTURE_TYPE(uint64_t, STD_U64LE, NATIVE_UINT64)
QV3_FIXTURE_TYPE(float, IEEE_F32LE, NATIVE_FLOAT)
QV3_FIXTURE_TYPE(double, IEEE_F64LE, NATIVE_DOUBLE)
#undef QV3_FIXTURE_TYPE

size_t product(const std::vector<hsize_t>& dims) {
    size_t n = 1;
    for (hsize_t d : dims)
        n *= static_cast<size_t>(d);
    return n;
}

void checkCount(const std::string& what, size_t expected, size_t actual) {
    if (expected != actual)
        throw std::runtime_error("fixture writer: " + what + ": expected " +
                                 std::to_string(expected) + " values, got " +
                                 std::to_string(actual));
}

const H5::PredType& enumFileBase(EnumBase base) {
    switch (base) {
    case EnumBase::Int8:
        return H5::PredType::STD_I8LE;
    case EnumBase::UInt8:
        return H5::PredType::STD_U8LE;
    case EnumBase::Int16:
        return H5::PredType::STD_I16LE;
    case EnumBase::UInt16:
        return H5::PredType::STD_U16LE;
    case EnumBase::Int32:
        return H5::PredType::STD_I32LE;
    case EnumBase::UInt32:
        return H5::PredType::STD_U32LE;
    case EnumBase::Int64:
        return H5::PredType::STD_I64LE;
    case EnumBase::UInt64:
        return H5::PredType::STD_U64LE;
    }
    return H5::PredType::STD_I8LE;
}

const H5::PredType& enumMemBase(EnumBase base) {
    switch (base) {
    case EnumBase::Int8:
        return H5::PredType::NATIVE_INT8;
    case EnumBase::UInt8:
        return H5::PredType::NATIVE_UINT8;
    case EnumBase::Int16:
        return H5::PredType::NATIVE_INT16;
    case EnumBase::UInt16:
        return H5::PredType::NATIVE_UINT16;
    case EnumBase::Int32:
        return H5::PredType::NATIVE_INT32;
    case EnumBase::UInt32:
        return H5::PredType::NATIVE_UINT32;
    case EnumBase::Int64:
        return H5::PredType::NATIVE_INT64;
    case EnumBase::UInt64:
        return H5::PredType::NATIVE_UINT64;
    }
    return H5::PredType::NATIVE_INT8;
}

size_t enumBaseSize(EnumBase base) {
    switch (base) {
    case EnumBase::Int8:
    case EnumBase::UInt8:
        return 1;
    case EnumBase::Int16:
    case EnumBase::UInt16:
        return 2;
    case EnumBase::Int32:
    case EnumBase::UInt32:
        return 4;
    case EnumBase::Int64:
    case EnumBase::UInt64:
        return 8;
    }
    return 1;
}

// Packs integer values into native integers of the enumeration's base size.
// Truncation to the base width is what a C cast does, for either sign.
std::vector<unsigned char> packEnumValues(EnumBase base, const std::vector<long long>& values) {
    const size_t size = enumBaseSize(base);
    std::vector<unsigned char> out(values.size() * size);
    for (size_t i = 0; i < values.size(); ++i) {
        unsigned char* dst = out.data() + i * size;
        const long long v = values[i];
        switch (size) {
        case 1: {
            auto x = static_cast<int8_t>(v);
            std::memcpy(dst, &x, 1);
            break;
        }
        case 2: {
            auto x = static_cast<int16_t>(v);
            std::memcpy(dst, &x, 2);
            break;
        }
        case 4: {
            auto x = static_cast<int32_t>(v);
            std::memcpy(dst, &x, 4);
            break;
        }
        default:
            std::memcpy(dst, &v, 8);
            break;
        }
    }
    return out;
}

H5::EnumType makeEnumType(const H5::PredType& baseType, EnumBase base,
                          const std::vector<EnumMember>& members) {
    const H5::IntType intType(baseType);
    H5::EnumType type(intType);
    for (const EnumMember& m : members) {
        std::vector<unsigned char> packed = packEnumValues(base, {m.second});
        type.insert(m.first, packed.data());
    }
    return type;
}

H5::StrType makeStrType(size_t size, CharSet charSet, H5T_str_t pad) {
    H5::StrType type(H5::PredType::C_S1, size);
    type.setCset(charSet == CharSet::Utf8 ? H5T_CSET_UTF8 : H5T_CSET_ASCII);
    if (size != H5T_VARIABLE)
        type.setStrpad(pad);
    return type;
}

std::vector<hsize_t> automaticChunk(const std::vector<hsize_t>& dims) {
    std::vector<hsize_t> chunk(dims.size(), 1);
    for (size_t i = 0; i < dims.size(); ++i) {
        const hsize_t limit = (i > 0) ? dims[i] : (dims.size() == 1 ? 10000 : 100);
        chunk[i] = std::max<hsize_t>(1, std::min(dims[i], limit));
    }
    return chunk;
}

} // namespace

// --- TempDir -------------------------------------------------------------------

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorvex3-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw std::runtime_error("TempDir: cannot create " + pattern);
    m_path = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::file(const std::string& name) const {
    return m_path + "/" + name;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("writeBytes: cannot write " + path);
}

void truncateFile(const std::string& path, std::uintmax_t size) {
    std::filesystem::resize_file(path, size); // throws filesystem_error when missing
}

std::uintmax_t fileSize(const std::string& path) {
    return std::filesystem::file_size(path);
}

void corruptChunk(const std::string& path, const std::string& datasetPath, hsize_t chunkIndex) {
    H5::Exception::dontPrint();
    haddr_t address = HADDR_UNDEF;
    hsize_t size = 0;
    guarded("locate chunk of " + datasetPath, [&] {
        H5::H5File file(path, H5F_ACC_RDONLY);
        H5::DataSet dataset = file.openDataSet(datasetPath);
        H5::DataSpace space = dataset.getSpace();
        std::vector<hsize_t> offset(static_cast<size_t>(space.getSimpleExtentNdims()) + 1);
        unsigned filterMask = 0;
        if (H5Dget_chunk_info(dataset.getId(), space.getId(), chunkIndex, offset.data(),
                              &filterMask, &address, &size) < 0)
            throw std::runtime_error("fixture writer: no chunk " + std::to_string(chunkIndex) +
                                     " in " + datasetPath);
        return 0;
    });
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(address));
    const std::string garbage(static_cast<size_t>(size), '\xff');
    io.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    if (!io)
        throw std::runtime_error("corruptChunk: cannot write " + path);
}

// --- RtdcFixtureWriter -----------------------------------------------------------

RtdcFixtureWriter::RtdcFixtureWriter(const std::string& path) : m_path(path) {
    H5::Exception::dontPrint();
    m_file = guarded("create " + path,
                     [&] { return std::make_unique<H5::H5File>(path, H5F_ACC_TRUNC); });
}

RtdcFixtureWriter::~RtdcFixtureWriter() {
    try {
        close();
    } catch (...) {
        // A destructor must not throw; a failed close shows up when the
        // test reads the file.
    }
}

void RtdcFixtureWriter::close() {
    if (!m_file)
        return;
    guarded("close " + m_path, [&] {
        m_file->close();
        return 0;
    });
    m_file.reset();
}

H5::H5File& RtdcFixtureWriter::file() {
    if (!m_file)
        throw std::runtime_error("fixture writer: " + m_path + " is already closed");
    return *m_file;
}

H5::Group RtdcFixtureWriter::ensureParentGroup(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string parent = (slash == std::string::npos || slash == 0) ? "/" : path.substr(0, slash);
    if (parent == "/")
        return file().openGroup("/");
    // Walk down one level at a time: nameExists on a nested path fails when
    // an intermediate group is missing.
    H5::Group group = file().openGroup("/");
    size_t pos = 1;
    while (pos <= parent.size()) {
        size_t next = parent.find('/', pos);
        if (next == std::string::npos)
            next = parent.size();
        const std::string part = parent.substr(pos, next - pos);
        if (!part.empty()) {
            group = group.nameExists(part) ? group.openGroup(part) : group.createGroup(part);
        }
        pos = next + 1;
    }
    return group;
}

H5::DataSet RtdcFixtureWriter::createDataSet(const std::string& path, const H5::DataType& fileType,
                                             const std::vector<hsize_t>& dims,
                                             const Storage& storage) {
    H5::Group parent = ensureParentGroup(path);
    const std::string leaf = path.substr(path.find_last_of('/') + 1);
    H5::DSetCreatPropList props;
    const bool chunked = !storage.chunk.empty() || storage.gzip > 0 || storage.shuffle;
    std::vector<hsize_t> maxDims = dims;
    if (chunked && !dims.empty()) {
        std::vector<hsize_t> chunk = storage.chunk.empty() ? automaticChunk(dims) : storage.chunk;
        if (chunk.size() != dims.size())
            throw std::runtime_error("fixture writer: chunk rank differs from dataset rank for " +
                                     path);
        for (hsize_t& c : chunk)
            c = std::max<hsize_t>(c, 1);
        // Growable along events, as acquisition software writes them.
        maxDims[0] = H5S_UNLIMITED;
        for (size_t i = 1; i < dims.size(); ++i)
            if (dims[i] < chunk[i])
                maxDims[i] = H5S_UNLIMITED;
        props.setChunk(static_cast<int>(chunk.size()), chunk.data());
        if (storage.shuffle)
            props.setShuffle();
        if (storage.gzip > 0)
            props.setDeflate(storage.gzip);
    }
    if (dims.empty())
        return parent.createDataSet(leaf, fileType, H5::DataSpace(H5S_SCALAR), props);
    H5::DataSpace space(static_cast<int>(dims.size()), dims.data(), maxDims.data());
    return parent.createDataSet(leaf, fileType, space, props);
}

template <typename T>
void RtdcFixtureWriter::addColumn(const std::string& name, const std::vector<T>& values,
                                  const Storage& storage) {
    addDataset<T>("/events/" + name, {static_cast<hsize_t>(values.size())}, values, storage);
}

template <typename T>
void RtdcFixtureWriter::addDataset(const std::string& path, const std::vector<hsize_t>& dims,
                                   const std::vector<T>& values, const Storage& storage) {
    checkCount(path, product(dims), values.size());
    guarded("dataset " + path, [&] {
        H5::DataSet ds = createDataSet(path, TypeOf<T>::file(), dims, storage);
        if (!values.empty())
            ds.write(values.data(), TypeOf<T>::mem());
        return 0;
    });
}

void RtdcFixtureWriter::addTypedDataset(const std::string& path, const H5::DataType& fileType,
                                        const std::vector<hsize_t>& dims,
                                        const H5::DataType& memType, const void* data,
                                        const Storage& storage) {
    guarded("dataset " + path, [&] {
        H5::DataSet ds = createDataSet(path, fileType, dims, storage);
        if (data && product(dims) > 0)
            ds.write(data, memType);
        return 0;
    });
}

void RtdcFixtureWriter::addEnumColumn(const std::string& name, const std::vector<long long>& values,
                                      EnumBase base, const std::vector<EnumMember>& members,
                                      const Storage& storage) {
    const std::string path = "/events/" + name;
    guarded("enum column " + path, [&] {
        H5::EnumType fileType = makeEnumType(enumFileBase(base), base, members);
        H5::EnumType memType = makeEnumType(enumMemBase(base), base, members);
        H5::DataSet ds =
            createDataSet(path, fileType, {static_cast<hsize_t>(values.size())}, storage);
        std::vector<unsigned char> packed = packEnumValues(base, values);
        if (!values.empty())
            ds.write(packed.data(), memType);
        return 0;
    });
}

void RtdcFixtureWriter::addStringColumn(const std::string& name,
                                        const std::vector<std::string>& values, size_t fixedSize,
                                        CharSet charSet) {
    const std::string path = "/events/" + name;
    guarded("string column " + path, [&] {
        const std::vector<hsize_t> dims{static_cast<hsize_t>(values.size())};
        if (fixedSize == 0) {
            H5::StrType type = makeStrType(H5T_VARIABLE, charSet, H5T_STR_NULLTERM);
            std::vector<const char*> pointers;
            for (const std::string& v : values)
                pointers.push_back(v.c_str());
            H5::DataSet ds = createDataSet(path, type, dims, {});
            if (!values.empty())
                ds.write(pointers.data(), type);
        } else {
            H5::StrType type = makeStrType(fixedSize, charSet, H5T_STR_NULLPAD);
            std::vector<char> buffer(values.size() * fixedSize, '\0');
            for (size_t i = 0; i < values.size(); ++i)
                std::memcpy(buffer.data() + i * fixedSize, values[i].data(),
                            std::min(fixedSize, values[i].size()));
            H5::DataSet ds = createDataSet(path, type, dims, {});
            if (!values.empty())
                ds.write(buffer.data(), type);
        }
        return 0;
    });
}

void RtdcFixtureWriter::addImageStack(const std::string& name, size_t count, size_t height,
                                      size_t width, const std::vector<uint8_t>& pixels,
                                      const Storage& storage) {
    addDataset<uint8_t>("/events/" + name, {count, height, width}, pixels, storage);
}

void RtdcFixtureWriter::addTrace(const std::string& name, size_t events, size_t samples,
                                 const std::vector<int16_t>& values, const Storage& storage) {
    addDataset<int16_t>("/events/trace/" + name, {events, samples}, values, storage);
}

void RtdcFixtureWriter::addTrace(const std::string& name, size_t events, size_t samples,
                                 const std::vector<uint16_t>& values, const Storage& storage) {
    addDataset<uint16_t>("/events/trace/" + name, {events, samples}, values, storage);
}

void RtdcFixtureWriter::addTrace(const std::string& name, size_t events, size_t samples,
                                 const std::vector<float>& values, const Storage& storage) {
    addDataset<float>("/events/trace/" + name, {events, samples}, values, storage);
}

void RtdcFixtureWriter::addGroup(const std::string& path) {
    guarded("group " + path, [&] {
        H5::Group parent = ensureParentGroup(path);
        const std::string leaf = path.substr(path.find_last_of('/') + 1);
        if (!leaf.empty() && !parent.nameExists(leaf))
            parent.createGroup(leaf);
        return 0;
    });
}

// --- Attributes --------------------------------------------------------------------

void RtdcFixtureWriter::writeAttribute(const std::string& name, const H5::DataType& fileType,
                                       const H5::DataSpace& space, const H5::DataType& memType,
                                       const void* data) {
    guarded("attribute " + name, [&] {
        H5::Group root = file().openGroup("/");
        if (root.attrExists(name))
            root.removeAttr(name);
        H5::Attribute attr = root.createAttribute(name, fileType, space);
        attr.write(memType, data);
        return 0;
    });
}

void RtdcFixtureWriter::setStringAttribute(const std::string& name, const std::string& value,
                                           CharSet charSet) {
    guarded("attribute " + name, [&] {
        H5::StrType type = makeStrType(H5T_VARIABLE, charSet, H5T_STR_NULLTERM);
        const char* pointer = value.c_str();
        writeAttribute(name, type, H5::DataSpace(H5S_SCALAR), type, &pointer);
        return 0;
    });
}

void RtdcFixtureWriter::setFixedStringAttribute(const std::string& name, const std::string& value,
                                                CharSet charSet, StringPad pad, size_t size) {
    const H5T_str_t padding = pad == StringPad::NullTerm  ? H5T_STR_NULLTERM
                              : pad == StringPad::NullPad ? H5T_STR_NULLPAD
                                                          : H5T_STR_SPACEPAD;
    if (size == 0)
        size = value.size() + (pad == StringPad::NullTerm ? 1 : 0);
    size = std::max<size_t>(size, 1);
    std::vector<char> buffer(size, pad == StringPad::SpacePad ? ' ' : '\0');
    const size_t room = pad == StringPad::NullTerm ? size - 1 : size;
    std::memcpy(buffer.data(), value.data(), std::min(room, value.size()));
    guarded("attribute " + name, [&] {
        H5::StrType type = makeStrType(size, charSet, padding);
        writeAttribute(name, type, H5::DataSpace(H5S_SCALAR), type, buffer.data());
        return 0;
    });
}

template <typename T> void RtdcFixtureWriter::setScalarAttribute(const std::string& name, T value) {
    writeAttribute(name, TypeOf<T>::file(), H5::DataSpace(H5S_SCALAR), TypeOf<T>::mem(), &value);
}

void RtdcFixtureWriter::setEnumAttribute(const std::string& name, long long value, EnumBase base,
                                         const std::vector<EnumMember>& members) {
    guarded("attribute " + name, [&] {
        H5::EnumType fileType = makeEnumType(enumFileBase(base), base, members);
        H5::EnumType memType = makeEnumType(enumMemBase(base), base, members);
        std::vector<unsigned char> packed = packEnumValues(base, {value});
        writeAttribute(name, fileType, H5::DataSpace(H5S_SCALAR), memType, packed.data());
        return 0;
    });
}

void RtdcFixtureWriter::setPolygonAttribute(const std::string& name,
                                            const std::vector<std::pair<float, float>>& points) {
    std::vector<float> flat;
    flat.reserve(points.size() * 2);
    for (const auto& p : points) {
        flat.push_back(p.first);
        flat.push_back(p.second);
    }
    setArrayAttribute<float>(name, {static_cast<hsize_t>(points.size()), 2}, flat);
}

template <typename T>
void RtdcFixtureWriter::setArrayAttribute(const std::string& name, const std::vector<hsize_t>& dims,
                                          const std::vector<T>& values) {
    checkCount("attribute " + name, product(dims), values.size());
    guarded("attribute " + name, [&] {
        H5::DataSpace space(static_cast<int>(dims.size()), dims.data());
        writeAttribute(name, TypeOf<T>::file(), space, TypeOf<T>::mem(), values.data());
        return 0;
    });
}

// Every numeric type the writer supports, instantiated once here.
#define QV3_FIXTURE_INSTANTIATE(T)                                                                 \
    template void RtdcFixtureWriter::addColumn<T>(const std::string&, const std::vector<T>&,       \
                                                  const Storage&);                                 \
    template void RtdcFixtureWriter::addDataset<T>(                                                \
        const std::string&, const std::vector<hsize_t>&, const std::vector<T>&, const Storage&);   \
    template void RtdcFixtureWriter::setScalarAttribute<T>(const std::string&, T);                 \
    template void RtdcFixtureWriter::setArrayAttribute<T>(                                         \
        const std::string&, const std::vector<hsize_t>&, const std::vector<T>&);
QV3_FIXTURE_INSTANTIATE(int8_t)
QV3_FIXTURE_INSTANTIATE(uint8_t)
QV3_FIXTURE_INSTANTIATE(int16_t)
QV3_FIXTURE_INSTANTIATE(uint16_t)
QV3_FIXTURE_INSTANTIATE(int32_t)
QV3_FIXTURE_INSTANTIATE(uint32_t)
QV3_FIXTURE_INSTANTIATE(int64_t)
QV3_FIXTURE_INSTANTIATE(uint64_t)
QV3_FIXTURE_INSTANTIATE(float)
QV3_FIXTURE_INSTANTIATE(double)
#undef QV3_FIXTURE_INSTANTIATE

} // namespace Quorvex3::testing
