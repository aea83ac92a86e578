// Checked HDF5 reads and plain writes of the reference file's values.

#include "dimred/DimRedHdf5.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

namespace Quorvex3 {
namespace dimredfile {

namespace {

constexpr hsize_t kChunkRows = 4096;
constexpr size_t kChunkThreshold = 4096;
constexpr int kDeflateLevel = 4;

[[noreturn]] void fail(const std::string& message) {
    throw H5::AttributeIException("", message);
}

H5::Attribute openSingleValue(const H5::H5Object& location, const std::string& name) {
    if (!location.attrExists(name))
        fail("the reference lacks the attribute '" + name + "'");
    H5::Attribute attribute = location.openAttribute(name);
    const H5::DataSpace space = attribute.getSpace();
    if (space.getSimpleExtentNpoints() != 1)
        fail("attribute '" + name + "' is not a single value");
    return attribute;
}

struct HdfFree {
    void operator()(char* p) const {
        if (p)
            H5free_memory(p);
    }
};

} // namespace

bool checkedProduct(size_t a, size_t b, size_t& product) {
    if (a != 0 && b > std::numeric_limits<size_t>::max() / a)
        return false;
    product = a * b;
    return true;
}

void writeInt64Attribute(H5::H5Object& location, const std::string& name, long long value) {
    const H5::DataSpace scalar(H5S_SCALAR);
    H5::Attribute attribute = location.createAttribute(name, H5::PredType::STD_I64LE, scalar);
    attribute.write(H5::PredType::NATIVE_LLONG, &value);
}

void writeDoubleAttribute(H5::H5Object& location, const std::string& name, double value) {
    const H5::DataSpace scalar(H5S_SCALAR);
    H5::Attribute attribute = location.createAttribute(name, H5::PredType::IEEE_F64LE, scalar);
    attribute.write(H5::PredType::NATIVE_DOUBLE, &value);
}

void writeStringAttribute(H5::H5Object& location, const std::string& name,
                          const std::string& value) {
    const H5::DataSpace scalar(H5S_SCALAR);
    const H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    H5::Attribute attribute = location.createAttribute(name, type, scalar);
    const char* text = value.c_str();
    attribute.write(type, &text);
}

void writeStringListDataset(H5::Group& location, const std::string& name,
                            const std::vector<std::string>& values) {
    const hsize_t extent = values.size();
    const H5::DataSpace space(1, &extent);
    const H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    H5::DataSet dataset = location.createDataSet(name, type, space);
    if (values.empty())
        return;
    std::vector<const char*> pointers(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        pointers[i] = values[i].c_str();
    dataset.write(pointers.data(), type);
}

void writeMatrixDataset(H5::Group& location, const std::string& name,
                        const std::vector<double>& values, size_t rows, size_t cols) {
    const int rank = cols == 0 ? 1 : 2;
    const hsize_t dims[2] = {rows, cols};
    const H5::DataSpace space(rank, dims);
    H5::DSetCreatPropList create;
    if (rank == 2 && rows * cols >= kChunkThreshold) {
        const hsize_t chunk[2] = {std::min<hsize_t>(rows, kChunkRows), cols};
        create.setChunk(2, chunk);
        create.setDeflate(kDeflateLevel);
    }
    H5::DataSet dataset = location.createDataSet(name, H5::PredType::IEEE_F64LE, space, create);
    if (rows > 0)
        dataset.write(values.data(), H5::PredType::NATIVE_DOUBLE);
}

long long readInt64Attribute(const H5::H5Object& location, const std::string& name) {
    const H5::Attribute attribute = openSingleValue(location, name);
    if (attribute.getTypeClass() != H5T_INTEGER)
        fail("attribute '" + name + "' is not an integer");
    const H5::IntType type = attribute.getIntType();
    if (type.getSign() == H5T_SGN_NONE) {
        // Read unsigned values as such: a signed read would clamp 2^63 and above.
        unsigned long long value = 0;
        attribute.read(H5::PredType::NATIVE_ULLONG, &value);
        if (value > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
            fail("attribute '" + name + "' is out of range");
        return static_cast<long long>(value);
    }
    long long value = 0;
    attribute.read(H5::PredType::NATIVE_LLONG, &value);
    return value;
}

double readDoubleAttribute(const H5::H5Object& location, const std::string& name) {
    const H5::Attribute attribute = openSingleValue(location, name);
    const H5T_class_t typeClass = attribute.getTypeClass();
    if (typeClass != H5T_FLOAT && typeClass != H5T_INTEGER)
        fail("attribute '" + name + "' is not a number");
    double value = 0.0;
    attribute.read(H5::PredType::NATIVE_DOUBLE, &value);
    return value;
}

std::string readStringAttribute(const H5::H5Object& location, const std::string& name) {
    const H5::Attribute attribute = openSingleValue(location, name);
    if (attribute.getTypeClass() != H5T_STRING)
        fail("attribute '" + name + "' is not text");
    const H5::StrType fileType = attribute.getStrType();
    if (fileType.isVariableStr()) {
        H5::StrType memType(H5::PredType::C_S1, H5T_VARIABLE);
        memType.setCset(fileType.getCset());
        char* raw = nullptr;
        attribute.read(memType, static_cast<void*>(&raw));
        const std::unique_ptr<char, HdfFree> owned(raw);
        return raw ? std::string(raw) : std::string();
    }
    const size_t size = fileType.getSize();
    if (size == 0 || size > kMaxValues)
        fail("attribute '" + name + "' is not text");
    H5::StrType memType(H5::PredType::C_S1, size);
    memType.setCset(fileType.getCset());
    memType.setStrpad(fileType.getStrpad());
    std::string text(size, '\0');
    attribute.read(memType, static_cast<void*>(&text[0]));
    const size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    if (fileType.getStrpad() == H5T_STR_SPACEPAD) {
        const size_t last = text.find_last_not_of(' ');
        text.resize(last == std::string::npos ? 0 : last + 1);
    }
    return text;
}

H5::DataSet openDataset(const H5::Group& location, const std::string& name) {
    if (!location.nameExists(name) || location.childObjType(name) != H5O_TYPE_DATASET)
        fail("the reference lacks the dataset '" + name + "'");
    return location.openDataSet(name);
}

std::vector<std::string> readStringListDataset(const H5::Group& location, const std::string& name) {
    const H5::DataSet dataset = openDataset(location, name);
    if (dataset.getTypeClass() != H5T_STRING)
        fail("dataset '" + name + "' is not a list of names");
    const H5::DataSpace space = dataset.getSpace();
    if (space.getSimpleExtentNdims() != 1)
        fail("dataset '" + name + "' has an unexpected rank");
    hsize_t extent = 0;
    space.getSimpleExtentDims(&extent);
    if (extent > kMaxStrings)
        fail("dataset '" + name + "' is too large");
    const size_t count = static_cast<size_t>(extent);
    std::vector<std::string> out;
    if (count == 0)
        return out;
    const H5::StrType fileType = dataset.getStrType();
    if (fileType.isVariableStr()) {
        H5::StrType memType(H5::PredType::C_S1, H5T_VARIABLE);
        memType.setCset(fileType.getCset());
        std::vector<char*> raw(count, nullptr);
        std::vector<std::unique_ptr<char, HdfFree>> owned;
        owned.reserve(count);
        dataset.read(raw.data(), memType);
        for (char* p : raw)
            owned.emplace_back(p);
        out.reserve(count);
        for (char* p : raw)
            out.emplace_back(p ? p : "");
        return out;
    }
    const size_t size = fileType.getSize();
    size_t bytes = 0;
    if (size == 0 || !checkedProduct(size, count, bytes) || bytes > kMaxValues)
        fail("dataset '" + name + "' is too large");
    H5::StrType memType(H5::PredType::C_S1, size);
    memType.setCset(fileType.getCset());
    memType.setStrpad(fileType.getStrpad());
    std::vector<char> buffer(bytes, '\0');
    dataset.read(buffer.data(), memType);
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::string text(buffer.data() + i * size, size);
        const size_t nul = text.find('\0');
        if (nul != std::string::npos)
            text.resize(nul);
        if (fileType.getStrpad() == H5T_STR_SPACEPAD) {
            const size_t last = text.find_last_not_of(' ');
            text.resize(last == std::string::npos ? 0 : last + 1);
        }
        out.push_back(std::move(text));
    }
    return out;
}

bool datasetShape(const H5::DataSet& dataset, const std::string& name, int& rank, size_t dims[2],
                  std::string& error) {
    const H5::DataSpace space = dataset.getSpace();
    rank = space.getSimpleExtentNdims();
    if (rank != 1 && rank != 2) {
        error = "dataset '" + name + "' has an unexpected rank";
        return false;
    }
    hsize_t extent[2] = {0, 0};
    space.getSimpleExtentDims(extent);
    dims[0] = static_cast<size_t>(extent[0]);
    dims[1] = rank == 2 ? static_cast<size_t>(extent[1]) : 0;
    return true;
}

bool readMatrixDataset(const H5::Group& location, const std::string& name, std::vector<double>& out,
                       size_t expected, std::string& error) {
    if (!location.nameExists(name) || location.childObjType(name) != H5O_TYPE_DATASET) {
        error = "the reference lacks the dataset '" + name + "'";
        return false;
    }
    const H5::DataSet dataset = location.openDataSet(name);
    int rank = 0;
    size_t dims[2] = {0, 0};
    if (!datasetShape(dataset, name, rank, dims, error))
        return false;
    size_t count = dims[0];
    if (rank == 2 && !checkedProduct(dims[0], dims[1], count)) {
        error = "dataset '" + name + "' is too large";
        return false;
    }
    if (expected != 0 && count != expected) {
        error = "dataset '" + name + "' does not have the expected size";
        return false;
    }
    if (count > kMaxValues) {
        error = "dataset '" + name + "' is too large";
        return false;
    }
    const H5T_class_t typeClass = dataset.getTypeClass();
    if (typeClass != H5T_FLOAT && typeClass != H5T_INTEGER) {
        error = "dataset '" + name + "' does not hold numbers";
        return false;
    }
    out.assign(count, 0.0);
    if (count != 0)
        dataset.read(out.data(), H5::PredType::NATIVE_DOUBLE);
    return true;
}

} // namespace dimredfile
} // namespace Quorvex3
