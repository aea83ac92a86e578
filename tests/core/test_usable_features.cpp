// Which features a plot may offer: numeric columns with a value for every
// event. A string column and a column shorter than the event count used to
// be offered on the axes, where the string one failed without a reason and
// the short one plotted only its first events as if a filter were active.

#include "ReaderTestUtil.h"

#include "core/UsableFeatures.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

using Names = std::vector<std::string>;

constexpr size_t kEvents = 5;

std::vector<double> ramp(size_t count) {
    std::vector<double> values(count);
    for (size_t i = 0; i < count; ++i)
        values[i] = 1.0 + static_cast<double>(i);
    return values;
}

class UsableFeatures : public ::testing::Test {
protected:
    /// A measurement of kEvents events: "area_um" sets the event count
    /// (first in byte order), then whatever `more` adds.
    template <typename F> void open(F&& more) {
        const std::string path = m_dir.file("m.rtdc");
        {
            RtdcFixtureWriter w(path);
            w.addColumn<double>("area_um", ramp(kEvents));
            more(w);
        }
        ASSERT_TRUE(m_reader.openFile(path));
        ASSERT_EQ(m_reader.getEventCount(), kEvents);
    }

    TempDir m_dir;
    RTDCReader m_reader;
};

// ===== stored types ==========================================================

struct TypedColumn {
    const char* name;
    bool usable;
    void (*write)(RtdcFixtureWriter& w, const std::string& name);
};

const TypedColumn kTypedColumns[] = {
    {"f32", true,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addColumn<float>(n, {1, 2, 3, 4, 5});
     }},
    {"f64", true,
     [](RtdcFixtureWriter& w, const std::string& n) { w.addColumn<double>(n, ramp(kEvents)); }},
    {"i8", true,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addColumn<int8_t>(n, {1, 2, 3, 4, 5});
     }},
    {"u16", true,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addColumn<uint16_t>(n, {1, 2, 3, 4, 5});
     }},
    {"i32", true,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addColumn<int32_t>(n, {1, 2, 3, 4, 5});
     }},
    {"u64", true,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addColumn<uint64_t>(n, {1, 2, 3, 4, 5});
     }},
    {"flag", true,
     [](RtdcFixtureWriter& w, const std::string& n) { w.addEnumColumn(n, {0, 1, 1, 0, 1}); }},
    {"wide_enum", true,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addEnumColumn(n, {300, -2, 300, 300, -2}, EnumBase::Int16, {{"BIG", 300}, {"NEG", -2}});
     }},
    {"strings", false,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addStringColumn(n, {"a", "bb", "ccc", "d", "e"});
     }},
    {"fixed_strings", false,
     [](RtdcFixtureWriter& w, const std::string& n) {
         w.addStringColumn(n, {"a", "bb", "ccc", "d", "e"}, 4, CharSet::Utf8);
     }},
    {"int24", false,
     [](RtdcFixtureWriter& w, const std::string& n) {
         H5::IntType threeBytes(H5::PredType::STD_I32LE);
         threeBytes.setSize(3);
         const int32_t values[kEvents] = {1, 2, 3, 4, 5};
         w.addTypedDataset("/events/" + n, threeBytes, {kEvents}, H5::PredType::NATIVE_INT32,
                           values);
     }},
    {"pairs", false,
     [](RtdcFixtureWriter& w, const std::string& n) {
         H5::CompType pair(2 * sizeof(float));
         pair.insertMember("x", 0, H5::PredType::NATIVE_FLOAT);
         pair.insertMember("y", sizeof(float), H5::PredType::NATIVE_FLOAT);
         const float values[2 * kEvents] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
         w.addTypedDataset("/events/" + n, pair, {kEvents}, pair, values);
     }},
};

// The list agrees with what the reader can read: every type it converts is
// offered, and every column it reads as absent is not.
TEST_F(UsableFeatures, OffersExactlyTheColumnsTheReaderReadsAsNumbers) {
    open([](RtdcFixtureWriter& w) {
        for (const TypedColumn& column : kTypedColumns)
            column.write(w, column.name);
    });
    const Names usable = usableScalarFeatures(m_reader);
    for (const TypedColumn& column : kTypedColumns) {
        SCOPED_TRACE(column.name);
        ASSERT_TRUE(m_reader.hasFeature(column.name));
        const bool offered = std::find(usable.begin(), usable.end(), column.name) != usable.end();
        EXPECT_EQ(offered, column.usable);
        EXPECT_EQ(m_reader.readScalarFeature(column.name).size() == kEvents, column.usable);
    }
}

// ===== lengths ===============================================================

struct LengthCase {
    const char* what;
    size_t values;
    bool usable;
};

const LengthCase kLengths[] = {
    {"one value per event", kEvents, true},
    {"more values than events", kEvents + 2, true},
    {"one value short", kEvents - 1, false},
    {"two values for five events", 2, false},
    {"no values", 0, false},
};

TEST_F(UsableFeatures, LeavesOutAColumnWithFewerValuesThanEvents) {
    for (const LengthCase& c : kLengths) {
        SCOPED_TRACE(c.what);
        open([&](RtdcFixtureWriter& w) { w.addColumn<float>("short", std::vector<float>(c.values)); });
        EXPECT_EQ(usableScalarFeatures(m_reader),
                  c.usable ? Names({"area_um", "short"}) : Names({"area_um"}));
        m_reader.closeFile();
    }
}

TEST_F(UsableFeatures, JudgesDerivedFeaturesByTheirValues) {
    open([](RtdcFixtureWriter& w) {
        w.addColumn<double>("deform", ramp(2)); // short in the file
        w.addStringColumn("text", {"a", "b", "c", "d", "e"});
    });
    EXPECT_EQ(usableScalarFeatures(m_reader), Names({"area_um"}));

    m_reader.addCalculatedFeature("emodulus", ramp(kEvents));
    m_reader.addCalculatedFeature("volume", ramp(kEvents - 1));
    EXPECT_EQ(usableScalarFeatures(m_reader), Names({"area_um", "emodulus"}));

    // Derived values of full length stand in for the file's column, and a
    // short replacement takes a full one away.
    m_reader.addCalculatedFeature("deform", ramp(kEvents));
    m_reader.addCalculatedFeature("text", ramp(kEvents));
    m_reader.addCalculatedFeature("area_um", ramp(3));
    EXPECT_EQ(usableScalarFeatures(m_reader), Names({"deform", "emodulus", "text"}));
}

// ===== what stays as before ==================================================

TEST_F(UsableFeatures, KeepsTheListOrderAndDropsImageLikeFeatures) {
    open([](RtdcFixtureWriter& w) {
        w.addColumn<double>("porosity", ramp(kEvents));
        w.addColumn<double>("bright_avg", ramp(kEvents));
        w.addColumn<double>("contour", ramp(kEvents));
        w.addImageStack("image", kEvents, 2, 3, std::vector<uint8_t>(kEvents * 6));
        w.addImageStack("mask", kEvents, 2, 3, std::vector<uint8_t>(kEvents * 6));
    });
    m_reader.addCalculatedFeature("deform", ramp(kEvents));
    EXPECT_EQ(usableScalarFeatures(m_reader),
              Names({"area_um", "bright_avg", "deform", "porosity"}));
}

// A numeric column that cannot be read stays offered: choosing it reports
// the failure rather than the column silently disappearing.
TEST_F(UsableFeatures, KeepsANumericColumnWhoseReadFails) {
    const std::string path = m_dir.file("corrupt.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("area_um", ramp(kEvents));
        w.addColumn<double>("deform", ramp(kEvents), Storage::chunked({2}, 4));
    }
    corruptChunk(path, "/events/deform");
    ASSERT_TRUE(m_reader.openFile(path));
    capturedStderr([&] { ASSERT_TRUE(m_reader.readScalarFeature("deform").empty()); });
    EXPECT_EQ(usableScalarFeatures(m_reader), Names({"area_um", "deform"}));
}

// Without events there is nothing to plot, but the lists still name the
// measurement's numeric features (not its strings).
TEST_F(UsableFeatures, AMeasurementWithoutEventsKeepsItsNumericFeatures) {
    const std::string path = m_dir.file("empty.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("area_um", {});
        w.addColumn<double>("deform", {});
        w.addStringColumn("text", {});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    ASSERT_EQ(m_reader.getEventCount(), 0u);
    EXPECT_EQ(usableScalarFeatures(m_reader), Names({"area_um", "deform"}));
}

TEST_F(UsableFeatures, AClosedReaderOffersNothing) {
    EXPECT_TRUE(usableScalarFeatures(m_reader).empty());
    open([](RtdcFixtureWriter&) {});
    m_reader.closeFile();
    EXPECT_TRUE(usableScalarFeatures(m_reader).empty());
}

TEST_F(UsableFeatures, AFileWithoutAnEventsGroupOffersNothing) {
    const std::string path = m_dir.file("bare.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.setStringAttribute("experiment:sample", "none");
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_TRUE(usableScalarFeatures(m_reader).empty());
}

} // namespace
