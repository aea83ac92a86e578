// Event images and masks of the measurement reader.

#include "ReaderTestUtil.h"

#include <cstdint>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

// Pixel value of frame f, row y, column x: distinct per position and frame.
uint8_t pixel(size_t f, size_t y, size_t x) {
    return static_cast<uint8_t>((f * 37 + y * 11 + x * 3) % 251);
}

std::vector<uint8_t> makeStack(size_t count, size_t height, size_t width) {
    std::vector<uint8_t> pixels(count * height * width);
    for (size_t f = 0; f < count; ++f)
        for (size_t y = 0; y < height; ++y)
            for (size_t x = 0; x < width; ++x)
                pixels[(f * height + y) * width + x] = pixel(f, y, x);
    return pixels;
}

void expectFrame(const std::vector<uint8_t>& frame, size_t f, int width, int height) {
    ASSERT_EQ(frame.size(), static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(frame[static_cast<size_t>(y * width + x)],
                      pixel(f, static_cast<size_t>(y), static_cast<size_t>(x)))
                << "frame " << f << " row " << y << " column " << x;
}

class ReaderFrameTest : public ::testing::Test {
protected:
    TempDir m_dir;
    RTDCReader m_reader;
};

TEST_F(ReaderFrameTest, ReadsFramesRowMajorWithTheirSize) {
    const std::string path = m_dir.file("frames.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("area_um", {1.f, 2.f, 3.f});
        w.addImageStack("image", 3, 4, 5, makeStack(3, 4, 5));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    ASSERT_TRUE(m_reader.hasImages());
    EXPECT_FALSE(m_reader.hasMasks());
    for (size_t f = 0; f < 3; ++f) {
        int width = -1;
        int height = -1;
        const std::vector<uint8_t> frame = m_reader.readImage(f, width, height);
        EXPECT_EQ(width, 5);
        EXPECT_EQ(height, 4);
        expectFrame(frame, f, width, height);
    }
}

TEST_F(ReaderFrameTest, MasksKeepTheirStoredBytes) {
    const std::string path = m_dir.file("mask.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", 1, 1, 3, {5, 6, 7});
        w.addImageStack("mask", 1, 1, 3, {0, 255, 1});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    ASSERT_TRUE(m_reader.hasMasks());
    int width = 0;
    int height = 0;
    EXPECT_EQ(m_reader.readMask(0, width, height), (std::vector<uint8_t>{0, 255, 1}));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 1);
    EXPECT_EQ(m_reader.readImage(0, width, height), (std::vector<uint8_t>{5, 6, 7}));
}

TEST_F(ReaderFrameTest, IndexOutOfRangeGivesNothingAndKeepsTheSize) {
    const std::string path = m_dir.file("range.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", 2, 2, 2, makeStack(2, 2, 2));
        w.addImageStack("mask", 2, 2, 2, makeStack(2, 2, 2));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    int width = -7;
    int height = -9;
    const std::string err = capturedStderr([&] {
        EXPECT_TRUE(m_reader.readImage(2, width, height).empty());
        EXPECT_TRUE(m_reader.readMask(2, width, height).empty());
        EXPECT_TRUE(m_reader.readImage(static_cast<size_t>(-1), width, height).empty());
    });
    EXPECT_EQ(err, "");
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -9);
}

TEST_F(ReaderFrameTest, FileWithoutFramesGivesNothing) {
    ASSERT_TRUE(m_reader.openFile(writeGoodFile(m_dir)));
    int width = -7;
    int height = -9;
    EXPECT_TRUE(m_reader.readImage(0, width, height).empty());
    EXPECT_TRUE(m_reader.readMask(0, width, height).empty());
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -9);
    m_reader.closeFile();
    EXPECT_TRUE(m_reader.readImage(0, width, height).empty());
}

// Compressed stacks are stored in chunks of many frames; reading them frame
// by frame, forwards, backwards and across chunk borders must give each frame.
TEST_F(ReaderFrameTest, ReadsChunkedCompressedStacksInAnyOrder) {
    const std::string path = m_dir.file("compressed.rtdc");
    const size_t count = 23;
    const size_t height = 80;
    const size_t width = 250;
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", count, height, width, makeStack(count, height, width),
                        Storage::chunked({10, height, width}, 4));
        w.addImageStack("mask", count, height, width, makeStack(count, height, width),
                        Storage::chunked({7, height, width}, 9, true));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    int w = 0;
    int h = 0;
    auto expectImage = [&](size_t f, bool mask) {
        const std::vector<uint8_t> frame =
            mask ? m_reader.readMask(f, w, h) : m_reader.readImage(f, w, h);
        EXPECT_EQ(w, 250);
        EXPECT_EQ(h, 80);
        expectFrame(frame, f, w, h);
    };
    for (size_t f = 0; f < count; ++f)
        expectImage(f, false);
    for (size_t f = count; f-- > 0;)
        expectImage(f, true);
    for (size_t f : {size_t(9), size_t(10), size_t(0), size_t(22), size_t(15)})
        expectImage(f, false);
}

TEST_F(ReaderFrameTest, FramesOfAReopenedFileComeFromTheNewFile) {
    const std::string first = m_dir.file("a.rtdc");
    const std::string second = m_dir.file("b.rtdc");
    {
        RtdcFixtureWriter w(first);
        w.addImageStack("image", 1, 1, 2, {1, 2});
    }
    {
        RtdcFixtureWriter w(second);
        w.addImageStack("image", 1, 2, 1, {3, 4});
    }
    int width = 0;
    int height = 0;
    ASSERT_TRUE(m_reader.openFile(first));
    EXPECT_EQ(m_reader.readImage(0, width, height), (std::vector<uint8_t>{1, 2}));
    ASSERT_TRUE(m_reader.openFile(second));
    EXPECT_EQ(m_reader.readImage(0, width, height), (std::vector<uint8_t>{3, 4}));
    EXPECT_EQ(width, 1);
    EXPECT_EQ(height, 2);
}

TEST_F(ReaderFrameTest, EmptyStackHasNoFrames) {
    const std::string path = m_dir.file("emptystack.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", 0, 80, 250, {}, Storage::chunked({10, 80, 250}, 4));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    int width = -1;
    int height = -1;
    const std::string err =
        capturedStderr([&] { EXPECT_TRUE(m_reader.readImage(0, width, height).empty()); });
    EXPECT_EQ(err, "");
    EXPECT_EQ(width, -1);
}

// A stack of the wrong rank is malformed: no frame, one clear line, and the
// rest of the file stays readable.
TEST_F(ReaderFrameTest, StacksOfTheWrongRankGiveNoFrames) {
    const std::string path = m_dir.file("rank.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("area_um", {1.f, 2.f});
        w.addDataset<uint8_t>("/events/image", {2, 6}, std::vector<uint8_t>(12, 1));
        w.addDataset<uint8_t>("/events/mask", {2}, {1, 0});
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.getAvailableFeatures(),
              (std::vector<std::string>{"area_um", "image", "mask"}));
    int width = -1;
    int height = -1;
    std::string err =
        capturedStderr([&] { EXPECT_TRUE(m_reader.readImage(0, width, height).empty()); });
    EXPECT_TRUE(startsWith(err, "Error reading image at index 0: ")) << err;
    EXPECT_EQ(lineCount(err), 1u);
    err = capturedStderr([&] { EXPECT_TRUE(m_reader.readMask(1, width, height).empty()); });
    EXPECT_TRUE(startsWith(err, "Error reading mask at index 1: ")) << err;
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -1);
    EXPECT_EQ(m_reader.readScalarFeature("area_um"), (std::vector<double>{1.0, 2.0}));
}

TEST_F(ReaderFrameTest, CorruptChunkReportsTheFrameAndLaterFramesStillRead) {
    const std::string path = m_dir.file("corrupt.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", 20, 8, 8, makeStack(20, 8, 8), Storage::chunked({10, 8, 8}, 4));
    }
    corruptChunk(path, "/events/image", 0);
    ASSERT_TRUE(m_reader.openFile(path));
    int width = 0;
    int height = 0;
    const std::string err =
        capturedStderr([&] { EXPECT_TRUE(m_reader.readImage(3, width, height).empty()); });
    EXPECT_TRUE(startsWith(err, "Error reading image at index 3: ")) << err;
    EXPECT_EQ(lineCount(err), 1u) << err;
    const std::vector<uint8_t> later = m_reader.readImage(12, width, height);
    expectFrame(later, 12, width, height);
}

} // namespace
