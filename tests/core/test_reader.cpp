// Listing, column conversion, the feature cache and derived features of the
// measurement reader.

#include "ReaderTestUtil.h"

#include <cstdint>
#include <limits>
#include <memory>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

class ReaderTest : public ::testing::Test {
protected:
    TempDir m_dir;
    RTDCReader m_reader;
};

// =============================================================================
// Listing
// =============================================================================

TEST_F(ReaderTest, FileWithoutEventsGroupOpensWithNothing) {
    const std::string path = m_dir.file("bare.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.setStringAttribute("experiment:sample", "nothing recorded");
    }
    const std::string err = capturedStderr([&] { EXPECT_TRUE(m_reader.openFile(path)); });
    EXPECT_EQ(err, "");
    EXPECT_TRUE(m_reader.isOpen());
    EXPECT_EQ(m_reader.getFilename(), path);
    EXPECT_TRUE(m_reader.getAvailableFeatures().empty());
    EXPECT_EQ(m_reader.getEventCount(), 0u);
    EXPECT_FALSE(m_reader.hasImages());
    EXPECT_FALSE(m_reader.hasMasks());
    EXPECT_FALSE(m_reader.hasTraces());
    EXPECT_FALSE(m_reader.isVeloxar());
}

TEST_F(ReaderTest, ListsOneDimensionalDatasetsAndFrameStacksOnly) {
    const std::string path = m_dir.file("mixed.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("area_um", {1.f, 2.f, 3.f, 4.f});
        w.addImageStack("image", 4, 2, 3, std::vector<uint8_t>(24, 9));
        w.addImageStack("mask", 4, 2, 3, std::vector<uint8_t>(24, 1));
        w.addTrace("fl1_raw", 4, 5, std::vector<int16_t>(20, 1));
        w.addDataset<float>("/events/volume", {4, 2}, std::vector<float>(8, 0.f));
        w.addDataset<double>("/events/sub/deform", {4}, {1, 2, 3, 4});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.getAvailableFeatures(),
              (std::vector<std::string>{"area_um", "image", "mask"}));
    EXPECT_TRUE(m_reader.hasImages());
    EXPECT_TRUE(m_reader.hasMasks());
    EXPECT_TRUE(m_reader.hasFeature("area_um"));
    EXPECT_FALSE(m_reader.hasFeature("volume"));
    EXPECT_FALSE(m_reader.hasFeature("trace"));
    EXPECT_EQ(m_reader.getEventCount(), 4u);
}

TEST_F(ReaderTest, SortsNamesByteWise) {
    const std::string path = m_dir.file("names.rtdc");
    {
        RtdcFixtureWriter w(path);
        for (const char* name : {"beta", "Zeta", "alpha", "_under", "B", "a", "a0", "a_"})
            w.addColumn<float>(name, {1.f, 2.f});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    // Capitals (0x41-0x5A) < '_' (0x5F) < small letters; a prefix sorts first;
    // '0' (0x30) < '_'.
    EXPECT_EQ(m_reader.getAvailableFeatures(),
              (std::vector<std::string>{"B", "Zeta", "_under", "a", "a0", "a_", "alpha", "beta"}));
}

TEST_F(ReaderTest, EventCountIsFirstExtentOfFirstSortedName) {
    const std::string path = m_dir.file("count.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("b", {1, 2, 3, 4, 5});
        w.addColumn<double>("A", {1, 2, 3});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.getEventCount(), 3u);
}

TEST_F(ReaderTest, ReopeningShowsOnlyTheNewFile) {
    const std::string first = m_dir.file("first.rtdc");
    {
        RtdcFixtureWriter w(first);
        w.addColumn<float>("deform", {0.1f, 0.2f});
        w.addImageStack("image", 2, 1, 1, {1, 2});
    }
    ASSERT_TRUE(m_reader.openFile(first));
    m_reader.addCalculatedFeature("emodulus", {1.0, 2.0});
    ASSERT_FALSE(m_reader.readScalarFeature("deform").empty());

    expectReaderStillWorks(m_reader, m_dir);
    EXPECT_FALSE(m_reader.hasFeature("deform"));
    EXPECT_FALSE(m_reader.hasFeature("emodulus"));
    EXPECT_FALSE(m_reader.hasImages());
    EXPECT_EQ(m_reader.featureColumn("deform"), nullptr);
}

TEST_F(ReaderTest, ClosingForgetsEverythingOfTheFile) {
    const std::string path = writeGoodFile(m_dir);
    ASSERT_TRUE(m_reader.openFile(path));
    auto column = m_reader.featureColumn("area_um");
    m_reader.closeFile();
    EXPECT_FALSE(m_reader.isOpen());
    EXPECT_EQ(m_reader.getFilename(), "");
    EXPECT_EQ(m_reader.getEventCount(), 0u);
    EXPECT_TRUE(m_reader.getAvailableFeatures().empty());
    EXPECT_TRUE(m_reader.readScalarFeature("area_um").empty());
    // A handle taken before the close keeps its values.
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(*column, (std::vector<double>{1.0, 2.0, 3.0}));
}

// =============================================================================
// Column conversion
// =============================================================================

TEST_F(ReaderTest, ConvertsEveryNumericTypeExactly) {
    const std::string path = m_dir.file("types.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<int8_t>("i8", {-128, -1, 127});
        w.addColumn<uint8_t>("u8", {0, 128, 255});
        w.addColumn<int16_t>("i16", {-32768, -1, 32767});
        w.addColumn<uint16_t>("u16", {0, 32768, 65535});
        w.addColumn<int32_t>(
            "i32", {std::numeric_limits<int32_t>::min(), -1, std::numeric_limits<int32_t>::max()});
        w.addColumn<uint32_t>("u32", {0, 2147483648u, 4294967295u});
        w.addColumn<int64_t>("i64", {std::numeric_limits<int64_t>::min(), -1, int64_t(1) << 53});
        w.addColumn<uint64_t>("u64",
                              {uint64_t(1) << 63, std::numeric_limits<uint64_t>::max(), 12345});
        w.addColumn<float>("f32", {1.5f, -0.1f, 3.0e38f});
        w.addColumn<double>("f64", {0.1, -1e300, 5e-324});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.readScalarFeature("i8"), (std::vector<double>{-128, -1, 127}));
    EXPECT_EQ(m_reader.readScalarFeature("u8"), (std::vector<double>{0, 128, 255}));
    EXPECT_EQ(m_reader.readScalarFeature("i16"), (std::vector<double>{-32768, -1, 32767}));
    // A signed read would clamp these at 32767.
    EXPECT_EQ(m_reader.readScalarFeature("u16"), (std::vector<double>{0, 32768, 65535}));
    EXPECT_EQ(m_reader.readScalarFeature("i32"),
              (std::vector<double>{-2147483648.0, -1, 2147483647.0}));
    EXPECT_EQ(m_reader.readScalarFeature("u32"),
              (std::vector<double>{0, 2147483648.0, 4294967295.0}));
    EXPECT_EQ(m_reader.readScalarFeature("i64"),
              (std::vector<double>{-9223372036854775808.0, -1, 9007199254740992.0}));
    // 2^63 and 2^64 - 1 (which rounds to 2^64): a signed read would clamp
    // both at 2^63 - 1.
    EXPECT_EQ(m_reader.readScalarFeature("u64"),
              (std::vector<double>{9223372036854775808.0, 18446744073709551616.0, 12345}));
    EXPECT_EQ(m_reader.readScalarFeature("f32"),
              (std::vector<double>{1.5, static_cast<double>(-0.1f), static_cast<double>(3.0e38f)}));
    EXPECT_EQ(m_reader.readScalarFeature("f64"), (std::vector<double>{0.1, -1e300, 5e-324}));
}

TEST_F(ReaderTest, ConvertsBigEndianStorage) {
    const std::string path = m_dir.file("bigendian.rtdc");
    {
        RtdcFixtureWriter w(path);
        const int32_t ints[3] = {-7, 0, 100000};
        const double doubles[3] = {2.5, -0.125, 1e300};
        const uint16_t shorts[3] = {40000, 1, 65535};
        w.addTypedDataset("/events/i32be", H5::PredType::STD_I32BE, {3}, H5::PredType::NATIVE_INT32,
                          ints);
        w.addTypedDataset("/events/f64be", H5::PredType::IEEE_F64BE, {3},
                          H5::PredType::NATIVE_DOUBLE, doubles);
        w.addTypedDataset("/events/u16be", H5::PredType::STD_U16BE, {3},
                          H5::PredType::NATIVE_UINT16, shorts);
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.readScalarFeature("i32be"), (std::vector<double>{-7, 0, 100000}));
    EXPECT_EQ(m_reader.readScalarFeature("f64be"), (std::vector<double>{2.5, -0.125, 1e300}));
    EXPECT_EQ(m_reader.readScalarFeature("u16be"), (std::vector<double>{40000, 1, 65535}));
}

TEST_F(ReaderTest, ReadsEnumerationsAsTheirIntegerValues) {
    const std::string path = m_dir.file("enums.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addEnumColumn("flag", {0, 1, 1, 0});
        w.addEnumColumn("wide", {300, -2, 300}, EnumBase::Int16, {{"BIG", 300}, {"NEG", -2}});
        w.addEnumColumn("unsigned", {200, 3}, EnumBase::UInt8, {{"HIGH", 200}, {"LOW", 3}});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.readScalarFeature("flag"), (std::vector<double>{0, 1, 1, 0}));
    // Read through the enumeration's own base type: an 8-bit signed read
    // would clamp 300 and 200.
    EXPECT_EQ(m_reader.readScalarFeature("wide"), (std::vector<double>{300, -2, 300}));
    EXPECT_EQ(m_reader.readScalarFeature("unsigned"), (std::vector<double>{200, 3}));
}

TEST_F(ReaderTest, ColumnsWithoutNumbersReadAsAbsent) {
    const std::string path = m_dir.file("nonnumeric.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addStringColumn("text", {"a", "bb", "ccc"});
        w.addStringColumn("fixed_text", {"a", "bb", "ccc"}, 4);
        H5::IntType threeBytes(H5::PredType::STD_I32LE);
        threeBytes.setSize(3);
        const int32_t values[3] = {1, 2, 3};
        w.addTypedDataset("/events/int24", threeBytes, {3}, H5::PredType::NATIVE_INT32, values);
        H5::CompType pair(2 * sizeof(float));
        pair.insertMember("x", 0, H5::PredType::NATIVE_FLOAT);
        pair.insertMember("y", sizeof(float), H5::PredType::NATIVE_FLOAT);
        const float pairs[6] = {1, 2, 3, 4, 5, 6};
        w.addTypedDataset("/events/pairs", pair, {3}, pair, pairs);
    }
    ASSERT_TRUE(m_reader.openFile(path));
    for (const char* name : {"text", "fixed_text", "int24", "pairs"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(m_reader.hasFeature(name));
        const std::string err = capturedStderr([&] {
            // Absent, not a column of invented zeros; asking twice does not
            // cache anything either.
            EXPECT_TRUE(m_reader.readScalarFeature(name).empty());
            EXPECT_EQ(m_reader.featureColumn(name), nullptr);
            EXPECT_EQ(&m_reader.readScalarFeature(name), &m_reader.readScalarFeature("nope"));
        });
        EXPECT_EQ(err, "");
    }
    // Unsupported columns are no read failures.
    EXPECT_TRUE(m_reader.preloadAllFeatures().empty());
}

TEST_F(ReaderTest, ReadsChunkedCompressedColumns) {
    const std::string path = m_dir.file("chunked.rtdc");
    std::vector<float> values(25000);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(i) * 0.5f;
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("deform", values, Storage::chunked({1000}, 6, true));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    const std::vector<double>& read = m_reader.readScalarFeature("deform");
    ASSERT_EQ(read.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(read[i], static_cast<double>(i) * 0.5) << "at " << i;
}

TEST_F(ReaderTest, MissingAndEmptyFeaturesAreEmptyAndSilent) {
    const std::string path = m_dir.file("empty.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("area_um", {});
        w.addColumn<float>("empty_chunked", {}, Storage::chunked({16}, 4));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.getEventCount(), 0u);
    const std::string err = capturedStderr([&] {
        const std::vector<double>& missing = m_reader.readScalarFeature("my_feature");
        EXPECT_TRUE(missing.empty());
        EXPECT_EQ(&missing, &m_reader.readScalarFeature("my_feature"));
        EXPECT_TRUE(m_reader.readScalarFeature("area_um").empty());
        EXPECT_TRUE(m_reader.readScalarFeature("empty_chunked").empty());
        EXPECT_TRUE(m_reader.readScalarFeature("").empty());
        EXPECT_TRUE(m_reader.readScalarFeature("a/b/c").empty());
        EXPECT_TRUE(m_reader.readScalarFeature("../events").empty());
        EXPECT_EQ(m_reader.featureColumn("area_um"), nullptr);
    });
    EXPECT_EQ(err, "");
    EXPECT_TRUE(m_reader.preloadAllFeatures().empty());
}

TEST_F(ReaderTest, ClosedReaderReadsNothing) {
    EXPECT_TRUE(m_reader.readScalarFeature("area_um").empty());
    EXPECT_EQ(m_reader.featureColumn("area_um"), nullptr);
    EXPECT_TRUE(m_reader.preloadAllFeatures().empty());
    EXPECT_FALSE(m_reader.isOpen());
}

// =============================================================================
// Cache and preload
// =============================================================================

TEST_F(ReaderTest, SecondReadReturnsTheCachedColumn) {
    ASSERT_TRUE(m_reader.openFile(writeGoodFile(m_dir)));
    const std::vector<double>& first = m_reader.readScalarFeature("area_um");
    const std::vector<double>& second = m_reader.readScalarFeature("area_um");
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(m_reader.featureColumn("area_um").get(), &first);
}

TEST_F(ReaderTest, PreloadCachesScalarFeaturesAndReportsReadFailures) {
    const std::string path = m_dir.file("preload.rtdc");
    std::vector<double> big(4000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<double>(i * 7 % 1000);
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("area_um", big);
        w.addColumn<double>("broken", big, Storage::chunked({1000}, 5));
        w.addStringColumn("text", {"x"});
        w.addImageStack("image", 1, 1, 1, {0});
    }
    corruptChunk(path, "/events/broken", 1);
    ASSERT_TRUE(m_reader.openFile(path));
    std::vector<std::string> failed;
    const std::string err = capturedStderr([&] { failed = m_reader.preloadAllFeatures(); });
    EXPECT_EQ(failed, std::vector<std::string>{"broken"});
    EXPECT_TRUE(startsWith(err, "Error reading feature 'broken': ")) << err;
    EXPECT_EQ(lineCount(err), 1u) << err;

    // The good column is cached by the preload: a later read is the same vector.
    auto cached = m_reader.featureColumn("area_um");
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(*cached, big);
    EXPECT_EQ(&m_reader.readScalarFeature("area_um"), cached.get());
    // Nothing was cached for the failed one; asking again fails again.
    const std::string again =
        capturedStderr([&] { EXPECT_TRUE(m_reader.readScalarFeature("broken").empty()); });
    EXPECT_TRUE(startsWith(again, "Error reading feature 'broken': ")) << again;
}

// =============================================================================
// Derived features
// =============================================================================

class DerivedFeatureTest : public ReaderTest {
protected:
    void SetUp() override {
        const std::string path = m_dir.file("base.rtdc");
        {
            RtdcFixtureWriter w(path);
            w.addColumn<float>("deform", {0.1f, 0.2f, 0.3f});
            w.addColumn<float>("area_um", {10.f, 20.f, 30.f});
        }
        ASSERT_TRUE(m_reader.openFile(path));
    }
};

TEST_F(DerivedFeatureTest, RegistrationListsTheNameAndResorts) {
    m_reader.addCalculatedFeature("emodulus", {1.0, 2.0, 3.0});
    m_reader.addCalculatedFeature("bright_avg", {4.0, 5.0, 6.0});
    EXPECT_TRUE(m_reader.hasFeature("emodulus"));
    EXPECT_TRUE(m_reader.isCalculatedFeature("emodulus"));
    EXPECT_FALSE(m_reader.isCalculatedFeature("deform"));
    EXPECT_EQ(m_reader.getAvailableFeatures(),
              (std::vector<std::string>{"area_um", "bright_avg", "deform", "emodulus"}));
    EXPECT_EQ(m_reader.readScalarFeature("emodulus"), (std::vector<double>{1.0, 2.0, 3.0}));
    // Derived features count as cached: the preload neither rereads nor
    // fails on them.
    EXPECT_TRUE(m_reader.preloadAllFeatures().empty());
}

TEST_F(DerivedFeatureTest, ReRegistrationReplacesValuesAndKeepsOldReferencesAlive) {
    m_reader.addCalculatedFeature("emodulus", {1.0, 2.0, 3.0});
    const std::vector<double>& old = m_reader.readScalarFeature("emodulus");
    std::weak_ptr<const std::vector<double>> oldHandle = m_reader.featureColumn("emodulus");

    m_reader.addCalculatedFeature("emodulus", {7.0, 8.0, 9.0});
    EXPECT_EQ(m_reader.getAvailableFeatures(),
              (std::vector<std::string>{"area_um", "deform", "emodulus"}));
    EXPECT_EQ(m_reader.readScalarFeature("emodulus"), (std::vector<double>{7.0, 8.0, 9.0}));
    // The earlier reference still reads the earlier values ...
    EXPECT_FALSE(oldHandle.expired());
    EXPECT_EQ(old, (std::vector<double>{1.0, 2.0, 3.0}));
    // ... until the retired columns are released.
    m_reader.releaseRetiredColumns();
    EXPECT_TRUE(oldHandle.expired());
    EXPECT_EQ(m_reader.readScalarFeature("emodulus"), (std::vector<double>{7.0, 8.0, 9.0}));
}

TEST_F(DerivedFeatureTest, DerivedValuesReplaceAFileFeatureUnderItsName) {
    const std::vector<double>& fromFile = m_reader.readScalarFeature("deform");
    m_reader.addCalculatedFeature("deform", {0.5, 0.6, 0.7});
    EXPECT_EQ(m_reader.getAvailableFeatures(), (std::vector<std::string>{"area_um", "deform"}));
    EXPECT_TRUE(m_reader.isCalculatedFeature("deform"));
    EXPECT_EQ(m_reader.readScalarFeature("deform"), (std::vector<double>{0.5, 0.6, 0.7}));
    EXPECT_EQ(fromFile[0], static_cast<double>(0.1f));
}

TEST_F(DerivedFeatureTest, RemovalForgetsOnlyDerivedFeatures) {
    m_reader.addCalculatedFeature("emodulus", {1.0, 2.0, 3.0});
    std::weak_ptr<const std::vector<double>> handle = m_reader.featureColumn("emodulus");

    m_reader.removeCalculatedFeature("deform"); // a file feature: no effect
    EXPECT_TRUE(m_reader.hasFeature("deform"));
    EXPECT_FALSE(m_reader.readScalarFeature("deform").empty());

    m_reader.removeCalculatedFeature("emodulus");
    EXPECT_FALSE(m_reader.hasFeature("emodulus"));
    EXPECT_FALSE(m_reader.isCalculatedFeature("emodulus"));
    EXPECT_EQ(m_reader.getAvailableFeatures(), (std::vector<std::string>{"area_um", "deform"}));
    EXPECT_EQ(m_reader.featureColumn("emodulus"), nullptr);
    EXPECT_FALSE(handle.expired());
    m_reader.releaseRetiredColumns();
    EXPECT_TRUE(handle.expired());

    // Registering the name again works like the first time.
    m_reader.addCalculatedFeature("emodulus", {4.0, 5.0, 6.0});
    EXPECT_EQ(m_reader.getAvailableFeatures(),
              (std::vector<std::string>{"area_um", "deform", "emodulus"}));
    EXPECT_EQ(m_reader.readScalarFeature("emodulus"), (std::vector<double>{4.0, 5.0, 6.0}));
}

TEST_F(DerivedFeatureTest, RemovingAllKeepsFileFeatures) {
    m_reader.addCalculatedFeature("emodulus", {1.0, 2.0, 3.0});
    m_reader.addCalculatedFeature("dim_1", {1.0, 2.0, 3.0});
    m_reader.addCalculatedFeature("dim_2", {1.0, 2.0, 3.0});
    m_reader.removeCalculatedFeatures();
    EXPECT_EQ(m_reader.getAvailableFeatures(), (std::vector<std::string>{"area_um", "deform"}));
    for (const char* name : {"emodulus", "dim_1", "dim_2"}) {
        EXPECT_FALSE(m_reader.hasFeature(name)) << name;
        EXPECT_FALSE(m_reader.isCalculatedFeature(name)) << name;
    }
    EXPECT_EQ(m_reader.readScalarFeature("area_um"), (std::vector<double>{10.0, 20.0, 30.0}));
}

TEST_F(DerivedFeatureTest, ClosingFreesDerivedAndRetiredColumns) {
    m_reader.addCalculatedFeature("emodulus", {1.0, 2.0, 3.0});
    std::weak_ptr<const std::vector<double>> first = m_reader.featureColumn("emodulus");
    m_reader.addCalculatedFeature("emodulus", {4.0, 5.0, 6.0});
    std::weak_ptr<const std::vector<double>> second = m_reader.featureColumn("emodulus");
    m_reader.closeFile();
    EXPECT_TRUE(first.expired());
    EXPECT_TRUE(second.expired());
    EXPECT_FALSE(m_reader.hasFeature("emodulus"));
}

} // namespace
