// Frames read in bulk (RTDCReader::visitImages) must be exactly what
// readImage gives for the same events, whatever the stack's storage; deflated
// stacks take the chunk-parallel path, everything else goes frame by frame,
// and a damaged chunk costs its frames, never the process.

#include "ReaderTestUtil.h"

#include "core/ParallelChunkRead.h"

#include <H5Cpp.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

constexpr size_t kHeight = 20;
constexpr size_t kWidth = 30;
constexpr size_t kFramePixels = kHeight * kWidth;

// Noisy but reproducible grey values, so compressed chunks are realistic.
std::vector<uint8_t> makeStack(size_t frames, unsigned seed) {
    std::vector<uint8_t> pixels(frames * kFramePixels);
    uint32_t state = seed;
    for (size_t i = 0; i < pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        pixels[i] = static_cast<uint8_t>((i / kFramePixels) * 3 + (state >> 27));
    }
    return pixels;
}

// How often a worker thread was started: bulk reads of deflated stacks
// start at least one, frame-by-frame reads none. Refuses the start whose
// number (1-based) is s_refuse, or every start when s_refuse is -1.
std::atomic<int> s_starts{0};
std::atomic<int> s_refuse{0};

std::thread countingStarter(std::function<void()> work) {
    const int start = ++s_starts;
    if (s_refuse == -1 || start == s_refuse)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(work));
}

class StarterScope {
public:
    explicit StarterScope(int refuse) : m_previous(setWorkerStarter(&countingStarter)) {
        s_starts = 0;
        s_refuse = refuse;
    }
    ~StarterScope() { setWorkerStarter(m_previous); }

private:
    WorkerStarter m_previous;
};

// Everything one bulk read handed over, by position in the request.
struct Visits {
    std::map<size_t, std::vector<uint8_t>> frames;
    size_t returned = 0;
    int overlapping = 0;
};

Visits visitAll(RTDCReader& reader, const std::vector<size_t>& indices) {
    Visits visits;
    std::atomic<int> inside{0};
    visits.returned =
        reader.visitImages(indices, [&](size_t position, const uint8_t* pixels, int w, int h) {
            if (++inside > 1)
                ++visits.overlapping;
            EXPECT_EQ(visits.frames.count(position), 0u) << "position " << position;
            visits.frames[position].assign(pixels, pixels + static_cast<size_t>(w) * h);
            EXPECT_TRUE(w == static_cast<int>(kWidth) && h == static_cast<int>(kHeight));
            --inside;
        });
    return visits;
}

// Every requested entry whose frame readImage gives is visited once with
// those bytes; no other entry is. Returns how many were visited.
size_t expectSameAsReadImage(RTDCReader& reader, const std::vector<size_t>& indices,
                             const std::string& label) {
    const Visits visits = visitAll(reader, indices);
    size_t readable = 0;
    for (size_t p = 0; p < indices.size(); ++p) {
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> frame = reader.readImage(indices[p], width, height);
        const auto found = visits.frames.find(p);
        if (frame.empty()) {
            EXPECT_TRUE(found == visits.frames.end()) << label << ": event " << indices[p];
            continue;
        }
        ++readable;
        EXPECT_TRUE(found != visits.frames.end() && found->second == frame)
            << label << ": event " << indices[p];
    }
    EXPECT_EQ(visits.returned, readable) << label;
    EXPECT_EQ(visits.frames.size(), readable) << label;
    EXPECT_EQ(visits.overlapping, 0) << label;
    return readable;
}

// Every frame backwards, some twice, and events beyond the stack.
std::vector<size_t> scrambledRequest(size_t frames) {
    std::vector<size_t> indices;
    for (size_t i = frames; i-- > 0;)
        indices.push_back(i);
    for (size_t i : {size_t{0}, frames / 2, frames - 1, frames, frames + 100, size_t{3}})
        indices.push_back(i);
    return indices;
}

class ReaderFrameBatchTest : public ::testing::Test {
protected:
    TempDir m_dir;
    RTDCReader m_reader;
};

TEST_F(ReaderFrameBatchTest, EveryStorageGivesTheBytesOfReadImage) {
    const size_t frames = 257; // partial last chunks
    const std::vector<uint8_t> pixels = makeStack(frames, 5);
    const auto stack = [&](const Storage& storage) {
        return [&pixels, storage, frames](RtdcFixtureWriter& w) {
            w.addImageStack("image", frames, kHeight, kWidth, pixels, storage);
        };
    };
    const struct {
        const char* name;
        std::function<void(RtdcFixtureWriter&)> write;
        bool bulk; // the chunk-parallel path is taken
    } cases[] = {
        {"gzip, 100 frames a chunk", stack(Storage::chunked({100, kHeight, kWidth}, 4)), true},
        {"gzip and shuffle", stack(Storage::chunked({16, kHeight, kWidth}, 9, true)), true},
        {"gzip, one frame a chunk", stack(Storage::chunked({1, kHeight, kWidth}, 1)), true},
        // Larger than a bulk read may hold: read frame by frame.
        {"30,000 frames a chunk", stack(Storage::chunked({30000, kHeight, kWidth}, 1)), false},
        {"uncompressed chunks", stack(Storage::chunked({10, kHeight, kWidth})), false},
        {"contiguous", stack(Storage::contiguous()), false},
        {"chunks of half frames", stack(Storage::chunked({10, kHeight / 2, kWidth}, 4)), false},
        {"shuffle without gzip", stack(Storage::chunked({10, kHeight, kWidth}, 0, true)), false},
        // Signed bytes are converted (negative values become 0) by the library.
        {"signed bytes",
         [&pixels, frames](RtdcFixtureWriter& w) {
             w.addTypedDataset("/events/image", H5::PredType::STD_I8LE, {frames, kHeight, kWidth},
                               H5::PredType::NATIVE_INT8, pixels.data(),
                               Storage::chunked({50, kHeight, kWidth}, 4));
         },
         false},
        // Never written: every chunk unallocated, the frames are the fill value.
        {"unwritten chunks",
         [frames](RtdcFixtureWriter& w) {
             w.addTypedDataset("/events/image", H5::PredType::STD_U8LE, {frames, kHeight, kWidth},
                               H5::PredType::NATIVE_UINT8, nullptr,
                               Storage::chunked({50, kHeight, kWidth}, 4));
         },
         true},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = m_dir.file("storage" + std::to_string(n++) + ".rtdc");
        {
            RtdcFixtureWriter w(path);
            c.write(w);
        }
        ASSERT_TRUE(m_reader.openFile(path)) << c.name;
        StarterScope starter(0);
        EXPECT_EQ(expectSameAsReadImage(m_reader, scrambledRequest(frames), c.name), frames + 4)
            << c.name;
        EXPECT_EQ(s_starts > 0, c.bulk) << c.name;
    }
}

// Writes `frames` frames of `pixels` from frame `first` into the stack of
// the closed file at `path` (allocating only the chunks they touch).
void writeFrames(const std::string& path, size_t first, size_t frames,
                 const std::vector<uint8_t>& pixels) {
    H5::H5File file(path, H5F_ACC_RDWR);
    H5::DataSet stack = file.openDataSet("/events/image");
    H5::DataSpace space = stack.getSpace();
    const hsize_t start[3] = {first, 0, 0};
    const hsize_t count[3] = {frames, kHeight, kWidth};
    space.selectHyperslab(H5S_SELECT_SET, count, start);
    const H5::DataSpace memory(3, count);
    stack.write(pixels.data() + first * kFramePixels, H5::PredType::NATIVE_UINT8, memory, space);
}

// Only some chunks written: the others read as the fill value.
TEST_F(ReaderFrameBatchTest, PartlyWrittenStackMixesStoredAndFillFrames) {
    const std::string path = m_dir.file("partly.rtdc");
    const size_t frames = 120;
    {
        RtdcFixtureWriter w(path);
        w.addTypedDataset("/events/image", H5::PredType::STD_U8LE, {frames, kHeight, kWidth},
                          H5::PredType::NATIVE_UINT8, nullptr,
                          Storage::chunked({25, kHeight, kWidth}, 4));
    }
    const std::vector<uint8_t> pixels = makeStack(frames, 9);
    writeFrames(path, 25, 30, pixels); // chunks 1 and 2 (partly)
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(expectSameAsReadImage(m_reader, scrambledRequest(frames), "partly written"),
              frames + 4);
    int w = 0, h = 0;
    EXPECT_EQ(m_reader.readImage(30, w, h),
              std::vector<uint8_t>(pixels.begin() + 30 * kFramePixels,
                                   pixels.begin() + 31 * kFramePixels));
}

enum class Damage { Garbage, BadChecksum, ShortStream, Oversized };

// Replaces the stored bytes of chunk `chunk` (of `framesPerChunk` frames).
void damageChunk(const std::string& path, size_t chunk, size_t framesPerChunk, Damage damage,
                 const std::vector<uint8_t>& pixels) {
    if (damage == Damage::Garbage) {
        corruptChunk(path, "/events/image", chunk);
        return;
    }
    // A well-formed stream of the chunk's frames, then damaged: its check
    // sum (the stream's last four bytes) no longer fits, or it inflates to
    // half a chunk.
    const size_t bytes = framesPerChunk * kFramePixels / (damage == Damage::ShortStream ? 2 : 1);
    std::vector<Bytef> stream(compressBound(static_cast<uLong>(bytes)));
    uLongf size = static_cast<uLongf>(stream.size());
    ASSERT_EQ(compress(stream.data(), &size, pixels.data() + chunk * framesPerChunk * kFramePixels,
                       static_cast<uLong>(bytes)),
              Z_OK);
    if (damage == Damage::BadChecksum)
        stream[size - 1] ^= 0x5a;
    if (damage == Damage::Oversized) { // more bytes than deflate makes of a chunk
        size = static_cast<uLongf>(3 * bytes);
        stream.resize(size, 0xab);
    }
    H5::H5File file(path, H5F_ACC_RDWR);
    H5::DataSet stack = file.openDataSet("/events/image");
    const hsize_t offset[3] = {chunk * framesPerChunk, 0, 0};
    ASSERT_GE(H5Dwrite_chunk(stack.getId(), H5P_DEFAULT, 0, offset, size, stream.data()), 0);
}

TEST_F(ReaderFrameBatchTest, DamagedChunkCostsOnlyItsFrames) {
    const size_t frames = 100;
    const size_t perChunk = 20;
    const std::vector<uint8_t> pixels = makeStack(frames, 13);
    const struct {
        const char* name;
        Damage damage;
        bool framesLost; // the library cannot read the damaged chunk's frames either
    } cases[] = {{"garbage", Damage::Garbage, true},
                 {"bad check sum", Damage::BadChecksum, true},
                 {"short stream", Damage::ShortStream, false},
                 // Bytes after the end of the stream are ignored.
                 {"oversized", Damage::Oversized, false}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = m_dir.file("damaged" + std::to_string(n++) + ".rtdc");
        {
            RtdcFixtureWriter w(path);
            w.addImageStack("image", frames, kHeight, kWidth, pixels,
                            Storage::chunked({perChunk, kHeight, kWidth}, 4));
        }
        damageChunk(path, 2, perChunk, c.damage, pixels);
        ASSERT_TRUE(m_reader.openFile(path)) << c.name;
        // The library inflates half a chunk without complaint and leaves
        // the rest of its buffer as it was: those frames are undefined.
        std::vector<size_t> request = scrambledRequest(frames);
        if (c.damage == Damage::ShortStream)
            request.erase(std::remove_if(request.begin(), request.end(),
                                         [](size_t i) { return i >= 50 && i < 60; }),
                          request.end());
        size_t readable = 0;
        const std::string errors =
            capturedStderr([&] { readable = expectSameAsReadImage(m_reader, request, c.name); });
        if (c.framesLost) {
            // Frames 40..59 are gone, the one requested twice (50) and 3 still read.
            EXPECT_EQ(readable, frames + 4 - perChunk - 1) << c.name;
            EXPECT_NE(errors.find("Error reading image at index 45: "), std::string::npos)
                << c.name << ": " << errors;
        } else {
            EXPECT_EQ(readable, frames + 4 - (c.damage == Damage::ShortStream ? 10 + 1 : 0))
                << c.name;
        }
        // The frames around the damage are intact.
        int w = 0, h = 0;
        for (size_t f : {size_t{39}, size_t{60}})
            EXPECT_EQ(m_reader.readImage(f, w, h),
                      std::vector<uint8_t>(pixels.begin() + f * kFramePixels,
                                           pixels.begin() + (f + 1) * kFramePixels))
                << c.name << " frame " << f;
    }
}

// Without worker threads (the system refuses them) the chunks are inflated
// on the calling thread; with fewer than asked for the rest share the work.
TEST_F(ReaderFrameBatchTest, RefusedWorkerThreadsStillReadEveryFrame) {
    const std::string path = m_dir.file("threads.rtdc");
    const size_t frames = 300;
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", frames, kHeight, kWidth, makeStack(frames, 17),
                        Storage::chunked({10, kHeight, kWidth}, 4));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    for (const int refuse : {-1, 1, 2}) {
        StarterScope starter(refuse);
        EXPECT_EQ(expectSameAsReadImage(m_reader, scrambledRequest(frames),
                                        "refusing start " + std::to_string(refuse)),
                  frames + 4);
        EXPECT_GE(s_starts.load(), 1);
    }
}

// An exception of the visitor ends the read once every worker has stopped,
// and the reader goes on working.
TEST_F(ReaderFrameBatchTest, VisitorExceptionPassesOnAndTheReaderStaysUsable) {
    const std::string path = m_dir.file("throwing.rtdc");
    const size_t frames = 200;
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", frames, kHeight, kWidth, makeStack(frames, 19),
                        Storage::chunked({5, kHeight, kWidth}, 4));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    std::vector<size_t> all(frames);
    for (size_t i = 0; i < frames; ++i)
        all[i] = i;
    for (const int refuse : {0, -1}) {
        StarterScope starter(refuse);
        int calls = 0;
        EXPECT_THROW(m_reader.visitImages(all,
                                          [&](size_t, const uint8_t*, int, int) {
                                              // Waiting first lets the other workers
                                              // queue up for the visitor.
                                              if (++calls == 7) {
                                                  std::this_thread::sleep_for(
                                                      std::chrono::milliseconds(30));
                                                  throw std::runtime_error("stop");
                                              }
                                          }),
                     std::runtime_error);
        EXPECT_EQ(calls, 7);
    }
    EXPECT_EQ(expectSameAsReadImage(m_reader, all, "after the exception"), frames);
}

// The stored chunks are inflated by our own code: only a complete, intact
// stream of exactly the chunk's size counts, anything else goes the
// library's way.
TEST(InflateExactly, AcceptsOnlyAnIntactStreamOfExactlyTheChunkSize) {
    const std::vector<uint8_t> data = makeStack(10, 29);
    const auto zlibStream = [](const std::vector<uint8_t>& bytes) {
        std::vector<Bytef> stream(compressBound(static_cast<uLong>(bytes.size())));
        uLongf size = static_cast<uLongf>(stream.size());
        EXPECT_EQ(compress(stream.data(), &size, bytes.data(), static_cast<uLong>(bytes.size())),
                  Z_OK);
        stream.resize(size);
        return stream;
    };
    const std::vector<Bytef> whole = zlibStream(data);
    std::vector<Bytef> badSum = whole;
    badSum.back() ^= 1;
    std::vector<Bytef> cut(whole.begin(), whole.end() - 5);
    std::vector<Bytef> trailing = whole;
    trailing.insert(trailing.end(), {1, 2, 3});
    const struct {
        const char* name;
        std::vector<Bytef> stream;
        size_t target;
        bool ok;
    } cases[] = {
        {"intact", whole, data.size(), true},
        {"bytes after the stream", trailing, data.size(), true},
        {"expects more", whole, data.size() + 1, false},
        {"expects less", whole, data.size() - 1, false},
        {"bad check sum", badSum, data.size(), false},
        {"cut short", cut, data.size(), false},
        {"garbage", std::vector<Bytef>(100, 0xff), data.size(), false},
        {"nothing", {}, data.size(), false},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out(c.target + 16, 0x77);
        EXPECT_EQ(inflateExactly(c.stream.data(), c.stream.size(), out.data(), c.target), c.ok)
            << c.name;
        if (c.ok) {
            EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin())) << c.name;
        }
        // Never beyond the target.
        EXPECT_EQ(std::count(out.begin() + static_cast<long>(c.target), out.end(), 0x77), 16)
            << c.name;
    }
}

TEST_F(ReaderFrameBatchTest, NothingToVisitWithoutAnImageStack) {
    std::vector<size_t> some{0, 1, 2};
    const auto none = [](size_t, const uint8_t*, int, int) { ADD_FAILURE() << "visited"; };
    EXPECT_EQ(m_reader.visitImages(some, none), 0u); // no file
    ASSERT_TRUE(m_reader.openFile(writeGoodFile(m_dir)));
    EXPECT_EQ(m_reader.visitImages(some, none), 0u); // no images
    const std::string path = m_dir.file("frames.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", 3, kHeight, kWidth, makeStack(3, 23),
                        Storage::chunked({2, kHeight, kWidth}, 4));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.visitImages({}, none), 0u);
    EXPECT_EQ(m_reader.visitImages({3, 4, 1000000}, none), 0u);
    m_reader.closeFile();
    EXPECT_EQ(m_reader.visitImages(some, none), 0u);
}

} // namespace
