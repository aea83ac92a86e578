// The reader against h5py: one file with every storage variant, read by both,
// must give the same listing, the same values bit for bit and the same frames.
// The independent side is tests/core/reader_oracle.py, run as
//   /usr/bin/python3 tests/core/reader_oracle.py <file> 0 4 9
// and skipped where that interpreter or h5py is missing.

#include "ReaderTestUtil.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

const char* const kPython = "/usr/bin/python3";

struct OracleOutput {
    std::vector<std::string> listing;
    std::map<std::string, std::vector<double>> columns;
    std::vector<std::string> absent;
    // name + "/" + index -> (height, width, pixels)
    std::map<std::string, std::tuple<int, int, std::vector<uint8_t>>> frames;
};

std::string runCommand(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return output;
    }
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, n);
    status = ::pclose(pipe);
    return output;
}

OracleOutput parseOracle(const std::string& text) {
    OracleOutput out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        std::string word;
        if (kind == "LIST") {
            while (fields >> word)
                out.listing.push_back(word);
        } else if (kind == "COLUMN") {
            std::string name;
            fields >> name;
            std::vector<double>& values = out.columns[name];
            while (fields >> word)
                values.push_back(std::strtod(word.c_str(), nullptr));
        } else if (kind == "ABSENT") {
            fields >> word;
            out.absent.push_back(word);
        } else if (kind == "FRAME") {
            std::string name;
            int index = 0;
            int height = 0;
            int width = 0;
            fields >> name >> index >> height >> width;
            std::vector<uint8_t> pixels;
            int p = 0;
            while (fields >> p)
                pixels.push_back(static_cast<uint8_t>(p));
            out.frames[name + "/" + std::to_string(index)] = {height, width, pixels};
        }
    }
    return out;
}

// Bit-identical comparison that also holds for NaN and signed zero.
bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof(double)) == 0 || (std::isnan(a) && std::isnan(b));
}

std::string writeEveryVariant(const TempDir& dir) {
    const std::string path = dir.file("variants.rtdc");
    RtdcFixtureWriter w(path);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    w.addColumn<int8_t>("i8", {-128, -1, 0, 127});
    w.addColumn<uint8_t>("u8", {0, 1, 254, 255});
    w.addColumn<int16_t>("i16", {-32768, -300, 0, 32767});
    w.addColumn<uint16_t>("u16", {0, 32767, 32768, 65535}, Storage::chunked({2}, 3));
    w.addColumn<int32_t>("i32", {-2147483647 - 1, -70000, 70000, 2147483647});
    w.addColumn<uint32_t>("u32", {0, 2147483648u, 3000000000u, 4294967295u});
    w.addColumn<int64_t>("i64", {std::numeric_limits<int64_t>::min(), -(int64_t(1) << 53) - 1,
                                 (int64_t(1) << 53) + 1, std::numeric_limits<int64_t>::max()});
    w.addColumn<uint64_t>(
        "u64",
        {0, (uint64_t(1) << 63) + 4096, uint64_t(1) << 63, std::numeric_limits<uint64_t>::max()},
        Storage::compressed(4));
    w.addColumn<float>("f32", {-0.0f, 1e-45f, 3.4028235e38f, static_cast<float>(nan)},
                       Storage::chunked({3}, 9, true));
    w.addColumn<double>("f64", {0.1, -inf, 5e-324, 1.7976931348623157e308});
    w.addEnumColumn("bool_flag", {1, 0, 0, 1});
    w.addEnumColumn("enum16", {-5, 1000, -5, 1000}, EnumBase::Int16, {{"A", -5}, {"B", 1000}});
    w.addStringColumn("text", {"a", "b", "c", "d"});
    w.addStringColumn("utf8_text", {"µ", "²", "x", "y"}, 0, CharSet::Utf8);
    const int32_t big[4] = {1, -2, 3, -4};
    w.addTypedDataset("/events/i32be", H5::PredType::STD_I32BE, {4}, H5::PredType::NATIVE_INT32,
                      big);
    w.addDataset<double>("/events/matrix", {4, 2}, std::vector<double>(8, 1.0));
    std::vector<uint8_t> pixels(10 * 6 * 7);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 31) % 256);
    w.addImageStack("image", 10, 6, 7, pixels, Storage::chunked({4, 6, 7}, 5));
    for (uint8_t& p : pixels)
        p = (p > 128) ? 255 : 0;
    w.addImageStack("mask", 10, 6, 7, pixels);
    return path;
}

TEST(ReaderOracle, MatchesH5pyOnEveryStorageVariant) {
    int status =
        std::system((std::string(kPython) + " -c 'import h5py, numpy' > /dev/null 2>&1").c_str());
    if (status != 0)
        GTEST_SKIP() << kPython << " with h5py and numpy is not available";
    const std::string dataDir = QUORVEX3_ORACLE_DIR;

    TempDir dir;
    const std::string path = writeEveryVariant(dir);
    const std::string text = runCommand(
        std::string(kPython) + " '" + dataDir + "/reader_oracle.py' '" + path + "' 0 4 9", status);
    ASSERT_EQ(status, 0) << text;
    const OracleOutput oracle = parseOracle(text);
    ASSERT_FALSE(oracle.listing.empty()) << text;

    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(path));
    EXPECT_EQ(reader.getAvailableFeatures(), oracle.listing);
    EXPECT_EQ(oracle.columns.size(), 13u); // every numeric column was compared
    for (const auto& [name, expected] : oracle.columns) {
        SCOPED_TRACE(name);
        const std::vector<double>& actual = reader.readScalarFeature(name);
        ASSERT_EQ(actual.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_TRUE(sameBits(actual[i], expected[i]))
                << "at " << i << ": " << actual[i] << " vs " << expected[i];
    }
    EXPECT_EQ(oracle.absent, (std::vector<std::string>{"text", "utf8_text"}));
    for (const std::string& name : oracle.absent)
        EXPECT_TRUE(reader.readScalarFeature(name).empty()) << name;

    ASSERT_EQ(oracle.frames.size(), 6u);
    for (const auto& [key, frame] : oracle.frames) {
        SCOPED_TRACE(key);
        const bool isMask = key.compare(0, 4, "mask") == 0;
        const size_t index = std::stoul(key.substr(key.find('/') + 1));
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> pixels =
            isMask ? reader.readMask(index, width, height) : reader.readImage(index, width, height);
        EXPECT_EQ(height, std::get<0>(frame));
        EXPECT_EQ(width, std::get<1>(frame));
        EXPECT_EQ(pixels, std::get<2>(frame));
    }
}

} // namespace
