#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <H5Cpp.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

using Quorvex3::RTDCMetadata;
using Quorvex3::RTDCReader;
using Quorvex3::testing::CharSet;
using Quorvex3::testing::EnumBase;
using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::StringPad;
using Quorvex3::testing::TempDir;

namespace {

// Writes a measurement whose only content is what `fill` puts in, then opens
// it and reads its metadata.
class MetadataFile : public ::testing::Test {
protected:
    RTDCMetadata readWith(const std::function<void(RtdcFixtureWriter&)>& fill) {
        {
            RtdcFixtureWriter writer(m_path);
            writer.addColumn<float>("area_um", {1.0f, 2.0f});
            fill(writer);
        }
        EXPECT_TRUE(m_reader.openFile(m_path));
        return m_reader.readMetadata();
    }

    // Adds a root attribute of a type the fixture writer has no call for.
    void addRawAttribute(const std::string& name, const H5::DataType& type,
                         const H5::DataSpace& space, const void* data) {
        std::lock_guard<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
        H5::H5File file(m_path, H5F_ACC_RDWR);
        H5::Group root = file.openGroup("/");
        H5::Attribute attribute = root.createAttribute(name, type, space);
        if (data)
            attribute.write(type, data);
    }

    TempDir m_dir;
    std::string m_path = m_dir.file("meta.rtdc");
    RTDCReader m_reader;
};

// Switches LC_NUMERIC for the lifetime of the object.
class NumericLocale {
public:
    explicit NumericLocale(const char* name) {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        m_previous = current ? current : "C";
        m_active = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, m_previous.c_str()); }
    bool active() const { return m_active; }

private:
    std::string m_previous;
    bool m_active = false;
};

} // namespace

// ---- Numbers -------------------------------------------------------------------

TEST_F(MetadataFile, FloatAttributeInSectionAndFullNameMaps) {
    const RTDCMetadata md = readWith(
        [](RtdcFixtureWriter& w) { w.setScalarAttribute<double>("setup:flow rate", 0.5); });
    EXPECT_EQ(md.setup.at("flow rate"), "0.500000");
    EXPECT_EQ(md.allAttributes.at("setup:flow rate"), "0.500000");
    EXPECT_EQ(md.allAttributes.size(), 1u);
}

TEST_F(MetadataFile, FloatsInFixedNotationWithSixDecimals) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setScalarAttribute<double>("imaging:a", 0.34);
        w.setScalarAttribute<double>("imaging:b", 23.0);
        w.setScalarAttribute<double>("imaging:c", 1e-7);
        w.setScalarAttribute<double>("imaging:d", -1.5);
        w.setScalarAttribute<double>("imaging:e", 1e20);
        w.setScalarAttribute<double>("imaging:f", 0.0000005); // rounds half away
        w.setScalarAttribute<float>("imaging:g", 0.1f);       // widened from float
        w.setScalarAttribute<double>("imaging:h", -0.0000001);
    });
    EXPECT_EQ(md.imaging.at("a"), "0.340000");
    EXPECT_EQ(md.imaging.at("b"), "23.000000");
    EXPECT_EQ(md.imaging.at("c"), "0.000000");
    EXPECT_EQ(md.imaging.at("d"), "-1.500000");
    EXPECT_EQ(md.imaging.at("e"), "100000000000000000000.000000");
    // 5e-7 is stored slightly below itself in binary (4.99999...e-7).
    EXPECT_EQ(md.imaging.at("f"), "0.000000");
    EXPECT_EQ(md.imaging.at("g"), "0.100000");
    // As "%f" writes it: a negative value rounding to zero keeps its sign.
    EXPECT_EQ(md.imaging.at("h"), "-0.000000");
}

TEST_F(MetadataFile, FloatsIgnoreTheProcessNumericLocale) {
    // Under a German numeric locale "%f" writes a decimal comma; the
    // metadata text must keep the point, since every consumer parses it.
    NumericLocale german("de_DE.UTF-8");
    if (!german.active()) {
        // Any other installed locale with a decimal comma will do.
        for (const char* name : {"de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
            if (std::setlocale(LC_NUMERIC, name))
                break;
        }
    }
    char probe[32];
    std::snprintf(probe, sizeof probe, "%f", 0.34);
    if (std::string(probe) != "0,340000")
        GTEST_SKIP() << "no locale with a decimal comma is installed";

    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setScalarAttribute<double>("setup:flow rate", 0.34);
        w.setPolygonAttribute("online_filter:area_um,deform polygon points", {{10.5f, 0.02f}});
    });
    EXPECT_EQ(md.setup.at("flow rate"), "0.340000");
    EXPECT_EQ(md.onlineFilter.at("area_um,deform polygon points"), "(10.500000,0.020000)");
}

TEST_F(MetadataFile, IntegersInDecimalOfEverySizeAndSign) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setScalarAttribute<int32_t>("experiment:run index", -3);
        w.setScalarAttribute<int8_t>("experiment:i8", -128);
        w.setScalarAttribute<uint8_t>("experiment:u8", 255);
        w.setScalarAttribute<uint16_t>("experiment:u16", 65535);
        w.setScalarAttribute<uint32_t>("experiment:u32", 4294967295u);
        w.setScalarAttribute<int64_t>("experiment:i64", std::numeric_limits<int64_t>::min());
        w.setScalarAttribute<uint64_t>("experiment:u64", 9223372036854775813ull); // 2^63 + 5
        w.setScalarAttribute<uint64_t>("experiment:u64max", std::numeric_limits<uint64_t>::max());
    });
    EXPECT_EQ(md.experiment.at("run index"), "-3");
    EXPECT_EQ(md.experiment.at("i8"), "-128");
    EXPECT_EQ(md.experiment.at("u8"), "255");
    EXPECT_EQ(md.experiment.at("u16"), "65535");
    EXPECT_EQ(md.experiment.at("u32"), "4294967295");
    EXPECT_EQ(md.experiment.at("i64"), "-9223372036854775808");
    // A signed read would clamp these to 9223372036854775807.
    EXPECT_EQ(md.experiment.at("u64"), "9223372036854775813");
    EXPECT_EQ(md.experiment.at("u64max"), "18446744073709551615");
}

TEST_F(MetadataFile, EnumerationsAsTheirIntegerValue) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setEnumAttribute("setup:identifier", 1);
        w.setEnumAttribute("setup:off", 0);
        w.setEnumAttribute("setup:mode", 7, EnumBase::UInt16, {{"low", 2}, {"high", 7}});
        const std::vector<Quorvex3::testing::EnumMember> wide = {{"neg", -7},
                                                                 {"big", 5000000000LL}};
        w.setEnumAttribute("setup:negative", -7, EnumBase::Int64, wide);
        w.setEnumAttribute("setup:wide", 5000000000LL, EnumBase::Int64, wide);
    });
    EXPECT_EQ(md.setup.at("identifier"), "1");
    EXPECT_EQ(md.setup.at("off"), "0");
    EXPECT_EQ(md.setup.at("mode"), "7");
    EXPECT_EQ(md.setup.at("negative"), "-7");
    // Wide members keep their value instead of being clamped to int.
    EXPECT_EQ(md.setup.at("wide"), "5000000000");
}

// ---- Strings -------------------------------------------------------------------

TEST_F(MetadataFile, StringsOfEveryStorageKindComeThrough) {
    const std::string utf8 = "Blut \xC2\xB5m\xC2\xB2 \xE2\x80\x93 \xCE\xA9"; // "Blut µm² – Ω"
    const RTDCMetadata md = readWith([&](RtdcFixtureWriter& w) {
        w.setStringAttribute("experiment:var ascii", "blood");
        w.setStringAttribute("experiment:var utf8", utf8, CharSet::Utf8);
        w.setStringAttribute("experiment:var empty", "");
        w.setFixedStringAttribute("experiment:fixed nullpad", "M001", CharSet::Ascii,
                                  StringPad::NullPad, 16);
        w.setFixedStringAttribute("experiment:fixed nullterm", "M002", CharSet::Ascii,
                                  StringPad::NullTerm, 16);
        w.setFixedStringAttribute("experiment:fixed spacepad", "M003", CharSet::Ascii,
                                  StringPad::SpacePad, 16);
        w.setFixedStringAttribute("experiment:fixed exact", "M004", CharSet::Ascii,
                                  StringPad::NullPad, 4);
        w.setFixedStringAttribute("experiment:fixed utf8", utf8, CharSet::Utf8, StringPad::NullPad,
                                  40);
        w.setFixedStringAttribute("experiment:fixed utf8 space", utf8, CharSet::Utf8,
                                  StringPad::SpacePad, 40);
    });
    EXPECT_EQ(md.experiment.at("var ascii"), "blood");
    EXPECT_EQ(md.experiment.at("var utf8"), utf8);
    EXPECT_EQ(md.experiment.at("var empty"), "");
    EXPECT_EQ(md.experiment.at("fixed nullpad"), "M001");
    EXPECT_EQ(md.experiment.at("fixed nullterm"), "M002");
    EXPECT_EQ(md.experiment.at("fixed spacepad"), "M003");
    EXPECT_EQ(md.experiment.at("fixed exact"), "M004");
    EXPECT_EQ(md.experiment.at("fixed utf8"), utf8);
    EXPECT_EQ(md.experiment.at("fixed utf8 space"), utf8);
    EXPECT_EQ(md.allAttributes.size(), 9u);
}

TEST_F(MetadataFile, InnerBlanksOfNullPaddedStringsAreData) {
    // Only the padding goes: blanks inside a null-padded field are text.
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setFixedStringAttribute("experiment:sample", "a b  ", CharSet::Ascii, StringPad::NullPad,
                                  12);
        w.setFixedStringAttribute("experiment:note", " x  y", CharSet::Ascii, StringPad::SpacePad,
                                  12);
    });
    EXPECT_EQ(md.experiment.at("sample"), "a b  ");
    EXPECT_EQ(md.experiment.at("note"), " x  y");
}

// ---- Filing into sections ------------------------------------------------------

TEST_F(MetadataFile, AttributesFiledByTheirSection) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setScalarAttribute<double>("imaging:pixel size", 0.34);
        w.setStringAttribute("online_contour:bin kernel", "5");
        w.setStringAttribute("online_filter:area_um min", "10");
        w.setStringAttribute("offline_filter:x", "1");
        w.setStringAttribute("fluorescence:laser count", "2");
        w.setStringAttribute("export:changed sample name", "B");
        w.setStringAttribute("unknown:key", "u");
        w.setStringAttribute("Setup:case", "c"); // sections compare case-sensitively
        w.setStringAttribute("bare name", "b");
        w.setStringAttribute("setup:time:zone", "UTC");
    });
    EXPECT_EQ(md.imaging.at("pixel size"), "0.340000");
    EXPECT_EQ(md.onlineContour.at("bin kernel"), "5");
    EXPECT_EQ(md.onlineFilter.at("area_um min"), "10");
    EXPECT_EQ(md.offlineFilter.at("x"), "1");
    EXPECT_EQ(md.fluorescence.at("laser count"), "2");
    EXPECT_EQ(md.exportSection.at("changed sample name"), "B");
    // The key keeps every colon behind the first.
    ASSERT_EQ(md.setup.size(), 1u);
    EXPECT_EQ(md.setup.at("time:zone"), "UTC");
    EXPECT_TRUE(md.experiment.empty());
    // Everything, known section or not, is in the full map.
    EXPECT_EQ(md.allAttributes.size(), 10u);
    EXPECT_EQ(md.allAttributes.at("unknown:key"), "u");
    EXPECT_EQ(md.allAttributes.at("Setup:case"), "c");
    EXPECT_EQ(md.allAttributes.at("bare name"), "b");
    EXPECT_EQ(md.allAttributes.at("setup:time:zone"), "UTC");
}

TEST(ParseMetadataKey, FilesWithoutTouchingAFile) {
    RTDCReader reader; // closed: filing needs no file
    RTDCMetadata md;
    reader.parseMetadataKey("setup:chip region", "channel", md);
    reader.parseMetadataKey("setup:chip region", "reservoir", md); // replaces
    reader.parseMetadataKey("no colon", "x", md);
    reader.parseMetadataKey(":empty section", "y", md);
    reader.parseMetadataKey("experiment:", "empty key", md);
    EXPECT_EQ(md.setup.size(), 1u);
    EXPECT_EQ(md.setup.at("chip region"), "reservoir");
    EXPECT_EQ(md.experiment.at(""), "empty key");
    // The caller fills allAttributes; filing never does.
    EXPECT_TRUE(md.allAttributes.empty());
}

// ---- Polygons ------------------------------------------------------------------

TEST_F(MetadataFile, PolygonPointsBecomeAPolygonAndText) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setPolygonAttribute("online_filter:area_um,deform polygon points",
                              {{10.5f, 0.02f}, {20.0f, 0.03f}, {15.0f, 0.05f}});
    });
    ASSERT_EQ(md.polygons.size(), 1u);
    const Quorvex3::MetadataPolygon& polygon = md.polygons[0];
    EXPECT_EQ(polygon.featureX, "area_um");
    EXPECT_EQ(polygon.featureY, "deform");
    ASSERT_EQ(polygon.points.size(), 3u);
    // Stored floats widened to double, not re-rounded decimals.
    EXPECT_EQ(polygon.points[0].first, static_cast<double>(10.5f));
    EXPECT_EQ(polygon.points[0].second, static_cast<double>(0.02f));
    EXPECT_EQ(polygon.points[2].second, static_cast<double>(0.05f));
    const std::string text = "(10.500000,0.020000), (20.000000,0.030000), (15.000000,0.050000)";
    EXPECT_EQ(md.onlineFilter.at("area_um,deform polygon points"), text);
    EXPECT_EQ(md.allAttributes.at("online_filter:area_um,deform polygon points"), text);
}

TEST_F(MetadataFile, SeveralPolygonsKeepTheirOrderAndCommaSplit) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setPolygonAttribute("online_filter:area_um,deform polygon points",
                              {{1.0f, 2.0f}, {3.0f, 4.0f}, {5.0f, 6.0f}});
        // Only the first comma splits; the rest belongs to the y feature.
        w.setPolygonAttribute("offline_filter:bright_avg,a,b polygon points",
                              {{-1.0f, 0.5f}, {0.0f, 0.0f}, {1.0f, 0.5f}});
    });
    ASSERT_EQ(md.polygons.size(), 2u);
    // The library's index order of a few attributes is their writing order.
    EXPECT_EQ(md.polygons[0].featureX, "area_um");
    EXPECT_EQ(md.polygons[0].featureY, "deform");
    EXPECT_EQ(md.polygons[1].featureX, "bright_avg");
    EXPECT_EQ(md.polygons[1].featureY, "a,b");
    EXPECT_EQ(md.offlineFilter.at("bright_avg,a,b polygon points"),
              "(-1.000000,0.500000), (0.000000,0.000000), (1.000000,0.500000)");
}

TEST_F(MetadataFile, ArraysThatAreNoPolygonAddNothing) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setArrayAttribute<float>("online_filter:area_um,deform polygon points", {2, 3},
                                   {1, 2, 3, 4, 5, 6});
        w.setArrayAttribute<float>("online_filter:x,y polygon points", {4}, {1, 2, 3, 4});
        w.setArrayAttribute<float>("online_filter:area_um,deform corners", {2, 2}, {1, 2, 3, 4});
        // No comma between the feature names.
        w.setArrayAttribute<float>("online_filter:area_um polygon points", {2, 2}, {1, 2, 3, 4});
        // The key is exactly the suffix: not longer than it.
        w.setArrayAttribute<float>("online_filter: polygon points", {2, 2}, {1, 2, 3, 4});
        // No section colon.
        w.setArrayAttribute<float>("a,b polygon points", {2, 2}, {1, 2, 3, 4});
        // Integer corners are not a polygon of this kind.
        w.setArrayAttribute<int32_t>("online_filter:c,d polygon points", {2, 2}, {1, 2, 3, 4});
        w.setArrayAttribute<float>("online_filter:e,f polygon points", {1, 2, 2}, {1, 2, 3, 4});
    });
    EXPECT_TRUE(md.polygons.empty());
    EXPECT_TRUE(md.onlineFilter.empty());
    EXPECT_TRUE(md.allAttributes.empty());
}

TEST_F(MetadataFile, DoublePolygonIsReadAsFloat) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter& w) {
        w.setArrayAttribute<double>("online_filter:a,b polygon points", {2, 2},
                                    {0.1, 0.2, 0.3, 0.4});
    });
    ASSERT_EQ(md.polygons.size(), 1u);
    EXPECT_EQ(md.polygons[0].points[1].first, static_cast<double>(0.3f));
    EXPECT_EQ(md.onlineFilter.at("a,b polygon points"), "(0.100000,0.200000), (0.300000,0.400000)");
}

// ---- Instrument flag -----------------------------------------------------------

TEST_F(MetadataFile, VeloxarModuleSetsInstrumentFlag) {
    readWith([](RtdcFixtureWriter& w) {
        w.setStringAttribute("setup:module composition", "Cell_Flow_2, Veloxar-7, Fluor");
    });
    EXPECT_TRUE(m_reader.isVeloxar());
}

TEST_F(MetadataFile, OtherModulesLeaveInstrumentFlagOff) {
    readWith([](RtdcFixtureWriter& w) {
        w.setStringAttribute("setup:module composition", "AcCellerator, veloxar");
        w.setStringAttribute("experiment:module composition", "Veloxar");
        w.setStringAttribute("setup:module", "Veloxar");
    });
    EXPECT_FALSE(m_reader.isVeloxar());
}

TEST_F(MetadataFile, NoModuleCompositionLeavesInstrumentFlagOff) {
    readWith([](RtdcFixtureWriter&) {});
    EXPECT_FALSE(m_reader.isVeloxar());
}

// ---- Odd files -----------------------------------------------------------------

TEST_F(MetadataFile, UnsupportedClassesAndEmptySpacesAreSkipped) {
    readWith([](RtdcFixtureWriter& w) { w.setStringAttribute("setup:kept", "yes"); });
    m_reader.closeFile();

    H5::CompType compound(sizeof(double) * 2);
    compound.insertMember("re", 0, H5::PredType::NATIVE_DOUBLE);
    compound.insertMember("im", sizeof(double), H5::PredType::NATIVE_DOUBLE);
    const double value[2] = {1.0, 2.0};
    addRawAttribute("setup:complex", compound, H5::DataSpace(H5S_SCALAR), value);
    H5::StrType text(H5::PredType::C_S1, H5T_VARIABLE);
    addRawAttribute("setup:null string", text, H5::DataSpace(H5S_NULL), nullptr);
    addRawAttribute("setup:null float", H5::PredType::NATIVE_DOUBLE, H5::DataSpace(H5S_NULL),
                    nullptr);
    const unsigned char opaque[4] = {1, 2, 3, 4};
    addRawAttribute("setup:opaque", H5::DataType(H5T_OPAQUE, 4), H5::DataSpace(H5S_SCALAR), opaque);

    ASSERT_TRUE(m_reader.openFile(m_path));
    const RTDCMetadata md = m_reader.readMetadata();
    EXPECT_EQ(md.setup.size(), 1u);
    EXPECT_EQ(md.setup.at("kept"), "yes");
    EXPECT_EQ(md.allAttributes.size(), 1u);
}

TEST_F(MetadataFile, FileWithoutAttributesGivesEmptyRecord) {
    const RTDCMetadata md = readWith([](RtdcFixtureWriter&) {});
    EXPECT_TRUE(md.allAttributes.empty());
    EXPECT_TRUE(md.polygons.empty());
}

TEST(ReadMetadata, ClosedReaderGivesEmptyRecord) {
    RTDCReader reader;
    const RTDCMetadata md = reader.readMetadata();
    EXPECT_TRUE(md.allAttributes.empty());
    EXPECT_TRUE(md.setup.empty());
    EXPECT_TRUE(md.polygons.empty());
    EXPECT_FALSE(reader.isVeloxar());
}

TEST_F(MetadataFile, ReadingAgainGivesTheSameRecord) {
    const RTDCMetadata first = readWith([](RtdcFixtureWriter& w) {
        w.setStringAttribute("experiment:sample", "s");
        w.setPolygonAttribute("online_filter:a,b polygon points", {{1, 2}, {3, 4}, {5, 6}});
    });
    const RTDCMetadata second = m_reader.readMetadata();
    EXPECT_EQ(second.allAttributes, first.allAttributes);
    EXPECT_EQ(second.polygons.size(), 1u);
}

// ---- toString ------------------------------------------------------------------

TEST(MetadataToString, EmptyRecordHasThreeHeadings) {
    EXPECT_EQ(RTDCMetadata().toString(),
              "=== Experiment ===\n\n=== Setup ===\n\n=== Imaging ===\n");
}

TEST(MetadataToString, ListsSectionsInKeyOrderAndSkipsFilterAndExport) {
    RTDCMetadata md;
    md.experiment["sample"] = "blood";
    md.experiment["date"] = "2024-01-02";
    md.setup["flow rate"] = "0.040000";
    md.onlineContour["bin kernel"] = "5";
    md.onlineFilter["area_um min"] = "0";
    md.offlineFilter["x"] = "1";
    md.exportSection["changed sample name"] = "B";
    md.fluorescence["laser count"] = "2";
    md.allAttributes["experiment:sample"] = "blood";
    EXPECT_EQ(md.toString(), "=== Experiment ===\n"
                             "date: 2024-01-02\n"
                             "sample: blood\n"
                             "\n=== Setup ===\n"
                             "flow rate: 0.040000\n"
                             "\n=== Imaging ===\n"
                             "\n=== Online Contour ===\n"
                             "bin kernel: 5\n"
                             "\n=== Fluorescence ===\n"
                             "laser count: 2\n");
}
