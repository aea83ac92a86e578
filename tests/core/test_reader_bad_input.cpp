// Files the reader must refuse or read in part: missing, foreign, truncated
// and malformed measurements. Each case wants one clear line on stderr, no
// crash, and a reader that still opens a good file afterwards.

#include "ReaderTestUtil.h"

#include <filesystem>
#include <thread>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

class ReaderBadInputTest : public ::testing::Test {
protected:
    // Opens `path`, expecting the open to fail with one "Error opening file"
    // line and a reason for the user that begins with `reason`, and checks
    // the reader is left closed.
    void expectOpenFails(const std::string& path, const std::string& reason) {
        bool opened = true;
        const std::string err = capturedStderr([&] { opened = m_reader.openFile(path); });
        EXPECT_FALSE(opened);
        EXPECT_TRUE(startsWith(m_reader.openError(), reason)) << m_reader.openError();
        EXPECT_TRUE(startsWith(err, "Error opening file: ")) << err;
        EXPECT_EQ(lineCount(err), 1u) << err;
        EXPECT_FALSE(m_reader.isOpen());
        EXPECT_EQ(m_reader.getFilename(), "");
        EXPECT_TRUE(m_reader.getAvailableFeatures().empty());
        EXPECT_EQ(m_reader.getEventCount(), 0u);
    }

    TempDir m_dir;
    RTDCReader m_reader;
};

TEST_F(ReaderBadInputTest, MissingFile) {
    expectOpenFails(m_dir.file("does-not-exist.rtdc"), "The file does not exist.");
    expectReaderStillWorks(m_reader, m_dir);
    EXPECT_EQ(m_reader.openError(), "");
}

TEST_F(ReaderBadInputTest, ForeignFiles) {
    const std::string text = m_dir.file("notes.rtdc");
    writeBytes(text, "area_um,deform\n1,2\n");
    expectOpenFails(text, "The file is not an HDF5 file");
    const std::string empty = m_dir.file("empty.rtdc");
    writeBytes(empty, "");
    expectOpenFails(empty, "The file is not an HDF5 file");
    // A directory named like a measurement.
    expectOpenFails(m_dir.path(), "The path names a folder");
    expectReaderStillWorks(m_reader, m_dir);
}

TEST_F(ReaderBadInputTest, FailedOpenClosesThePreviousFile) {
    ASSERT_TRUE(m_reader.openFile(writeGoodFile(m_dir)));
    expectOpenFails(m_dir.file("missing.rtdc"), "The file does not exist.");
    EXPECT_TRUE(m_reader.readScalarFeature("area_um").empty());
}

// A file cut short (an interrupted copy). Either the open is refused, or
// whatever lies beyond the cut fails to read with a message; nothing reads
// past a buffer and the reader stays usable.
TEST_F(ReaderBadInputTest, TruncatedFiles) {
    const std::string good = m_dir.file("full.rtdc");
    std::vector<float> values(20000, 1.5f);
    {
        RtdcFixtureWriter w(good);
        w.addColumn<float>("area_um", values);
        w.addColumn<float>("deform", values);
        w.addImageStack("image", 4, 16, 16, std::vector<uint8_t>(4 * 16 * 16, 3));
    }
    const auto size = fileSize(good);
    for (const double fraction : {0.9, 0.5, 0.1}) {
        SCOPED_TRACE(fraction);
        const std::string cut = m_dir.file("cut.rtdc");
        writeBytes(cut, "");
        std::filesystem::copy_file(good, cut, std::filesystem::copy_options::overwrite_existing);
        truncateFile(cut, static_cast<std::uintmax_t>(static_cast<double>(size) * fraction));
        bool opened = false;
        std::string err = capturedStderr([&] { opened = m_reader.openFile(cut); });
        if (!opened) {
            EXPECT_TRUE(startsWith(err, "Error opening file: ")) << err;
            // The header is there, the rest is not: the library's own words.
            EXPECT_TRUE(startsWith(m_reader.openError(), "The HDF5 library could not open it: "))
                << m_reader.openError();
        } else {
            // Everything that can be asked stays within bounds.
            err += capturedStderr([&] {
                m_reader.preloadAllFeatures();
                int width = 0;
                int height = 0;
                m_reader.readImage(0, width, height);
            });
            EXPECT_FALSE(err.empty());
        }
    }
    expectReaderStillWorks(m_reader, m_dir);
}

TEST_F(ReaderBadInputTest, TwoDimensionalColumnIsNotAFeature) {
    const std::string path = m_dir.file("rank.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addDataset<float>("/events/area_um", {3, 2}, {1, 2, 3, 4, 5, 6});
        w.addColumn<float>("deform", {0.1f, 0.2f, 0.3f});
        w.addDataset<float>("/events/scalar", {}, {4.f});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.getAvailableFeatures(), std::vector<std::string>{"deform"});
    EXPECT_EQ(m_reader.getEventCount(), 3u);
    // Asking for it anyway yields nothing rather than a wrongly sized column.
    EXPECT_TRUE(m_reader.readScalarFeature("area_um").empty());
    EXPECT_TRUE(m_reader.readScalarFeature("scalar").empty());
}

TEST_F(ReaderBadInputTest, EventsThatIsNoGroup) {
    const std::string path = m_dir.file("flat.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addDataset<float>("/events", {3}, {1, 2, 3});
    }
    bool opened = false;
    const std::string err = capturedStderr([&] { opened = m_reader.openFile(path); });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(startsWith(err, "Error caching features: ")) << err;
    EXPECT_TRUE(m_reader.getAvailableFeatures().empty());
    EXPECT_EQ(m_reader.getEventCount(), 0u);
    const std::string readErr =
        capturedStderr([&] { EXPECT_TRUE(m_reader.readScalarFeature("area_um").empty()); });
    EXPECT_EQ(readErr, ""); // no such feature, like any missing one
    expectReaderStillWorks(m_reader, m_dir);
}

TEST_F(ReaderBadInputTest, EmptyDatasetsEverywhere) {
    const std::string path = m_dir.file("empty.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("area_um", {});
        w.addColumn<uint8_t>("flags", {});
        w.addImageStack("image", 0, 4, 4, {});
        w.addImageStack("mask", 0, 0, 0, {});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.getEventCount(), 0u);
    EXPECT_TRUE(m_reader.preloadAllFeatures().empty());
    int width = -1;
    int height = -1;
    EXPECT_TRUE(m_reader.readImage(0, width, height).empty());
    EXPECT_TRUE(m_reader.readMask(0, width, height).empty());
    EXPECT_EQ(width, -1);
    expectReaderStillWorks(m_reader, m_dir);
}

TEST_F(ReaderBadInputTest, CorruptColumnFailsAloneAndOtherColumnsRead) {
    const std::string path = m_dir.file("corrupt.rtdc");
    std::vector<double> values(3000, 2.0);
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("area_um", values, Storage::chunked({1000}, 4));
        w.addColumn<double>("deform", values);
    }
    corruptChunk(path, "/events/area_um", 0);
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.getEventCount(), 3000u);
    const std::string err =
        capturedStderr([&] { EXPECT_TRUE(m_reader.readScalarFeature("area_um").empty()); });
    EXPECT_TRUE(startsWith(err, "Error reading feature 'area_um': ")) << err;
    EXPECT_EQ(lineCount(err), 1u) << err;
    EXPECT_EQ(m_reader.readScalarFeature("deform"), values);
    expectReaderStillWorks(m_reader, m_dir);
}

// HDF5 prints its own error stack per thread unless told not to on that
// thread; a failure on a pool thread must still give our one line only.
TEST_F(ReaderBadInputTest, FailureOnAnotherThreadPrintsOneLine) {
    const std::string path = m_dir.file("corrupt.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("deform", std::vector<double>(2000, 1.0), Storage::chunked({500}, 4));
    }
    corruptChunk(path, "/events/deform", 2);
    ASSERT_TRUE(m_reader.openFile(path));
    std::vector<std::string> failed;
    const std::string err = capturedStderr([&] {
        std::thread worker([&] { failed = m_reader.preloadAllFeatures(); });
        worker.join();
    });
    EXPECT_EQ(failed, std::vector<std::string>{"deform"});
    EXPECT_TRUE(startsWith(err, "Error reading feature 'deform': ")) << err;
    EXPECT_EQ(lineCount(err), 1u) << err;
}

// A column that gives no values says why, for the user's error box; a
// column that reads says nothing, also after an earlier failure.
TEST_F(ReaderBadInputTest, AColumnWithoutValuesSaysWhy) {
    const std::string path = m_dir.file("reasons.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("area_um", std::vector<double>(3000, 2.0), Storage::chunked({1000}, 4));
        w.addColumn<double>("deform", {1.0, 2.0, 3.0});
        w.addColumn<double>("nothing", {});
        w.addStringColumn("strings", {"a", "b", "c"});
        w.addDataset<double>("/events/table", {3, 2}, {1, 2, 3, 4, 5, 6});
    }
    corruptChunk(path, "/events/area_um", 0);
    ASSERT_TRUE(m_reader.openFile(path));
    const struct {
        const char* name;
        const char* reason; // the start of it; empty: no reason
    } cases[] = {{"deform", ""},
                 {"area_um", "The feature \"area_um\" could not be read from the file: "},
                 {"porosity", "The measurement has no feature \"porosity\"."},
                 {"nothing", "The feature \"nothing\" holds no values."},
                 {"strings", "The feature \"strings\" holds no numbers."},
                 {"table", "The feature \"table\" is not one value per event."}};
    capturedStderr([&] {
        for (const auto& c : cases) {
            EXPECT_EQ(m_reader.readScalarFeature(c.name).empty(), *c.reason != '\0') << c.name;
            const std::string reason = m_reader.featureReadError(c.name);
            EXPECT_TRUE(startsWith(reason, c.reason)) << c.name << ": " << reason;
            EXPECT_EQ(reason.empty(), *c.reason == '\0') << c.name;
        }
    });
    // A derived feature that replaces a missing one clears its reason.
    m_reader.addCalculatedFeature("porosity", {1.0, 2.0, 3.0});
    EXPECT_EQ(m_reader.readScalarFeature("porosity").size(), 3u);
    EXPECT_EQ(m_reader.featureReadError("porosity"), "");
    m_reader.closeFile();
    EXPECT_EQ(m_reader.featureReadError("area_um"), "");
}

} // namespace
