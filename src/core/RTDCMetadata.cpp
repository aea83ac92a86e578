// The measurement's metadata: root attributes "<section>:<key>" as text.

#include "core/RTDCMetadata.h"
#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"

#include <H5Cpp.h>

#include <charconv>
#include <iostream>
#include <memory>

namespace Quorvex3 {

namespace {

const std::string kPolygonSuffix = " polygon points";

// Fixed notation with six decimals, like "%f" in the C locale. The process
// locale must not matter: under a German locale "%f" writes a decimal comma,
// and every consumer of the metadata parses a point.
std::string formatFixed(double value) {
    char buffer[400]; // DBL_MAX in fixed notation needs 309 digits + 7
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (ec != std::errc())
        return {};
    return std::string(buffer, end);
}

template <typename Integer> std::string formatInteger(Integer value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc())
        return {};
    return std::string(buffer, end);
}

struct HdfFree {
    void operator()(char* p) const {
        if (p)
            H5free_memory(p);
    }
};

// Reads a scalar string attribute through a memory type built from its own
// type: a fixed variable-length ASCII memory type cannot be converted to from
// UTF-8 or fixed-length strings.
std::string readStringAttribute(const H5::Attribute& attribute) {
    const H5::StrType fileType = attribute.getStrType();
    const H5T_cset_t cset = fileType.getCset();
    if (fileType.isVariableStr()) {
        H5::StrType memType(H5::PredType::C_S1, H5T_VARIABLE);
        memType.setCset(cset);
        char* raw = nullptr;
        attribute.read(memType, static_cast<void*>(&raw));
        const std::unique_ptr<char, HdfFree> owned(raw);
        return raw ? std::string(raw) : std::string();
    }
    const size_t size = fileType.getSize();
    const H5T_str_t pad = fileType.getStrpad();
    H5::StrType memType(H5::PredType::C_S1, size);
    memType.setCset(cset);
    memType.setStrpad(pad);
    std::string text(size, '\0');
    attribute.read(memType, static_cast<void*>(&text[0]));
    // Null padding and null termination end at the first NUL; space padding
    // fills the rest of the field with blanks.
    const size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    if (pad == H5T_STR_SPACEPAD) {
        const size_t last = text.find_last_not_of(' ');
        text.resize(last == std::string::npos ? 0 : last + 1);
    }
    return text;
}

// Integer (or enumeration) attribute in decimal. Unsigned values of 2^63 and
// above would be clamped by a signed read, so the memory type keeps the sign.
std::string readIntegerText(const H5::Attribute& attribute, bool isUnsigned) {
    if (isUnsigned) {
        unsigned long long value = 0;
        attribute.read(H5::PredType::NATIVE_ULLONG, &value);
        return formatInteger(value);
    }
    long long value = 0;
    attribute.read(H5::PredType::NATIVE_LLONG, &value);
    return formatInteger(value);
}

// Scalar attribute as text; false for classes that have no text form.
bool readScalarText(const H5::Attribute& attribute, H5T_class_t typeClass, std::string& text) {
    switch (typeClass) {
    case H5T_STRING:
        text = readStringAttribute(attribute);
        return true;
    case H5T_INTEGER:
        text = readIntegerText(attribute, attribute.getIntType().getSign() == H5T_SGN_NONE);
        return true;
    case H5T_FLOAT: {
        double value = 0.0;
        attribute.read(H5::PredType::NATIVE_DOUBLE, &value);
        text = formatFixed(value);
        return true;
    }
    case H5T_ENUM: {
        // The member's integer value, through the sign of the enumeration's
        // base type so that wide members are not clamped to int.
        const H5::DataType base = attribute.getEnumType().getSuper();
        text = readIntegerText(attribute, H5Tget_sign(base.getId()) == H5T_SGN_NONE);
        return true;
    }
    default:
        return false;
    }
}

// "<section>:<x>,<y> polygon points" -> x and y; false for any other name.
bool parsePolygonName(const std::string& name, std::string& featureX, std::string& featureY) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string key = name.substr(colon + 1);
    if (key.size() <= kPolygonSuffix.size() ||
        key.compare(key.size() - kPolygonSuffix.size(), kPolygonSuffix.size(), kPolygonSuffix) != 0)
        return false;
    const std::string pair = key.substr(0, key.size() - kPolygonSuffix.size());
    const size_t comma = pair.find(',');
    if (comma == std::string::npos)
        return false;
    featureX = pair.substr(0, comma);
    featureY = pair.substr(comma + 1);
    return true;
}

} // namespace

std::string RTDCMetadata::toString() const {
    std::string out;
    auto section = [&out](const char* heading, const std::map<std::string, std::string>& entries) {
        out += heading;
        out += '\n';
        for (const auto& [key, value] : entries) {
            out += key;
            out += ": ";
            out += value;
            out += '\n';
        }
    };
    section("=== Experiment ===", experiment);
    section("\n=== Setup ===", setup);
    section("\n=== Imaging ===", imaging);
    if (!onlineContour.empty())
        section("\n=== Online Contour ===", onlineContour);
    if (!fluorescence.empty())
        section("\n=== Fluorescence ===", fluorescence);
    return out;
}

void RTDCReader::parseMetadataKey(const std::string& key, const std::string& value,
                                  RTDCMetadata& metadata) const {
    const size_t colon = key.find(':');
    if (colon == std::string::npos)
        return;
    const std::string section = key.substr(0, colon);
    const std::string name = key.substr(colon + 1);
    std::map<std::string, std::string>* target = nullptr;
    if (section == "experiment")
        target = &metadata.experiment;
    else if (section == "setup")
        target = &metadata.setup;
    else if (section == "imaging")
        target = &metadata.imaging;
    else if (section == "online_contour")
        target = &metadata.onlineContour;
    else if (section == "online_filter")
        target = &metadata.onlineFilter;
    else if (section == "offline_filter")
        target = &metadata.offlineFilter;
    else if (section == "fluorescence")
        target = &metadata.fluorescence;
    else if (section == "export")
        target = &metadata.exportSection;
    if (target)
        (*target)[name] = value;
}

namespace {

// One root attribute into the record. Throws H5::Exception on read failures.
void readOneAttribute(const RTDCReader& reader, const H5::Group& root, unsigned index,
                      RTDCMetadata& metadata) {
    const H5::Attribute attribute = root.openAttribute(index);
    const std::string name = attribute.getName();
    const H5::DataType type = attribute.getDataType();
    const H5::DataSpace space = attribute.getSpace();
    const H5T_class_t typeClass = type.getClass();

    if (space.getSimpleExtentType() == H5S_SCALAR) {
        std::string text;
        if (!readScalarText(attribute, typeClass, text))
            return;
        metadata.allAttributes[name] = text;
        reader.parseMetadataKey(name, text, metadata);
        return;
    }
    // A null dataspace holds no value at all.
    if (space.getSimpleExtentType() != H5S_SIMPLE || typeClass != H5T_FLOAT ||
        space.getSimpleExtentNdims() != 2)
        return;
    hsize_t dims[2] = {0, 0};
    space.getSimpleExtentDims(dims);
    // Metadata polygons have a handful of corners; a huge extent is corrupt.
    constexpr hsize_t kMaxCorners = hsize_t(1) << 24;
    if (dims[1] != 2 || dims[0] > kMaxCorners)
        return;
    MetadataPolygon polygon;
    if (!parsePolygonName(name, polygon.featureX, polygon.featureY))
        return;
    std::vector<float> values(static_cast<size_t>(dims[0]) * 2);
    if (!values.empty())
        attribute.read(H5::PredType::NATIVE_FLOAT, values.data());
    std::string text;
    for (size_t row = 0; row < static_cast<size_t>(dims[0]); ++row) {
        const float x = values[2 * row];
        const float y = values[2 * row + 1];
        polygon.points.emplace_back(static_cast<double>(x), static_cast<double>(y));
        if (row > 0)
            text += ", ";
        text += "(" + formatFixed(x) + "," + formatFixed(y) + ")";
    }
    metadata.allAttributes[name] = text;
    reader.parseMetadataKey(name, text, metadata);
    metadata.polygons.push_back(std::move(polygon));
}

} // namespace

RTDCMetadata RTDCReader::readMetadata() {
    RTDCMetadata metadata;
    if (!m_open)
        return metadata;
    std::lock_guard<std::recursive_mutex> lock(s_hdf5Mutex);
    if (!m_open || !m_file)
        return metadata;
    silenceHdf5ErrorsOnThisThread();
    try {
        const H5::Group root = m_file->openGroup("/");
        const int count = root.getNumAttrs();
        for (int i = 0; i < count; ++i) {
            try {
                readOneAttribute(*this, root, static_cast<unsigned>(i), metadata);
            } catch (const H5::Exception& e) {
                std::cerr << "Warning: failed to read attribute " << i << ": " << e.getDetailMsg()
                          << std::endl;
            }
        }
    } catch (const H5::Exception& e) {
        std::cerr << "Error reading metadata: " << e.getDetailMsg() << std::endl;
    }
    const auto composition = metadata.setup.find("module composition");
    if (composition != metadata.setup.end() &&
        composition->second.find("Veloxar") != std::string::npos)
        m_isVeloxar = true;
    return metadata;
}

} // namespace Quorvex3
