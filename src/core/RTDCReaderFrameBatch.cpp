// Many frames of the image stack at once. Frame stacks are stored in
// deflated chunks of many frames; the library inflates a chunk on the
// calling thread while the process-wide lock is held, so reading frames
// spread over a measurement costs one whole chunk inflation per chunk
// touched, one after the other. Here only the fetch of a stored chunk takes
// the lock; inflating runs on a few worker threads beside it.

#include "core/Hdf5Support.h"
#include "core/ParallelChunkRead.h"
#include "core/RTDCReader.h"

#include <H5Cpp.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace Quorvex3 {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr size_t kMaxWorkers = 4;
// Stored chunks waiting for a worker, per worker: enough to keep them busy.
constexpr size_t kQueuedPerWorker = 2;
// What a read holds at most, about: each worker one inflated chunk and its
// queued stored ones (a stored chunk is at most about a chunk's size).
// Larger chunks get fewer workers.
constexpr size_t kMemoryBudget = size_t(48) << 20;
// A larger chunk goes frame by frame, as readImage reads it.
constexpr size_t kMaxChunkBytes = kMemoryBudget / (1 + kQueuedPerWorker);

struct Wanted {
    size_t index = 0;
    size_t position = 0;
};

// A stack the bulk path handles: uint8 frames stored as-is, in chunks of
// whole frames, deflated (optionally after a byte shuffle, which leaves
// one-byte values as they are).
struct StackLayout {
    size_t frames = 0;
    size_t height = 0;
    size_t width = 0;
    size_t framesPerChunk = 0;
    size_t frameBytes() const { return height * width; }
    size_t chunkBytes() const { return framesPerChunk * frameBytes(); }
};

// Caller holds the HDF5 lock; HDF5 exceptions pass on.
bool bulkLayout(const H5::DataSet& stack, StackLayout& layout) {
    const H5::DataSpace space = stack.getSpace();
    if (space.getSimpleExtentNdims() != 3)
        return false;
    hsize_t dims[3] = {0, 0, 0};
    space.getSimpleExtentDims(dims);
    const H5::DSetCreatPropList create = stack.getCreatePlist();
    if (create.getLayout() != H5D_CHUNKED || create.getChunk(0, nullptr) != 3)
        return false;
    hsize_t chunk[3] = {0, 0, 0};
    create.getChunk(3, chunk);
    bool shuffled = false;
    if (chunk[0] == 0 || chunk[1] != dims[1] || chunk[2] != dims[2] || dims[1] == 0 ||
        dims[2] == 0 || dims[1] > INT_MAX || dims[2] > INT_MAX ||
        !isPlainDeflatePipeline(create, shuffled))
        return false;
    if (H5Tequal(stack.getDataType().getId(), H5::PredType::NATIVE_UINT8.getId()) <= 0)
        return false;
    layout.frames = static_cast<size_t>(dims[0]);
    layout.height = static_cast<size_t>(dims[1]);
    layout.width = static_cast<size_t>(dims[2]);
    if (layout.frameBytes() > kMaxChunkBytes / static_cast<size_t>(chunk[0]))
        return false;
    layout.framesPerChunk = static_cast<size_t>(chunk[0]);
    return true;
}

// The stored bytes of the chunk starting at frame `first`, as
// readStoredChunk fetches them; a stored size beyond what deflate can make
// of a chunk means a damaged index. Caller holds the lock.
bool readStackChunk(const H5::DataSet& stack, const StackLayout& layout, size_t first,
                     std::vector<unsigned char>& raw) {
    const size_t chunkBytes = layout.chunkBytes();
    return readStoredChunk(stack, 3, first, chunkBytes + chunkBytes / 1000 + 1024, raw);
}

// One stored chunk and the run of wanted frames in it.
struct ChunkJob {
    std::vector<unsigned char> raw;
    size_t firstFrame = 0;
    size_t begin = 0; // run [begin, end) of the sorted wanted list
    size_t end = 0;
};

// The bulk read of one stack: the calling thread fetches stored chunks
// under the HDF5 lock and queues them; workers inflate and hand the wanted
// frames on. Chunks that cannot be fetched or inflated are left for the
// frame-by-frame read afterwards.
class FrameBatch {
public:
    FrameBatch(const StackLayout& layout, const std::vector<Wanted>& wanted,
               const RTDCReader::FrameVisitor& visit)
        : m_layout(layout), m_wanted(wanted), m_visit(visit) {}

    /// Runs the read; the runs left for the frame-by-frame read are in
    /// leftOver(). Exceptions of the visitor (or running out of memory)
    /// pass on once every worker has stopped.
    void run(const H5::DataSet& stack) {
        std::vector<std::thread> threads;
        const size_t chunks = countChunks();
        const size_t affordable =
            std::max<size_t>(1, kMemoryBudget / ((1 + kQueuedPerWorker) * m_layout.chunkBytes()));
        const size_t workers = std::min<size_t>(
            {kMaxWorkers, std::max(1u, std::thread::hardware_concurrency()), chunks, affordable});
        for (size_t t = 0; t < workers; ++t) {
            try {
                threads.push_back(startWorker([this] { work(); }));
            } catch (...) {
                break; // fewer workers; with none the chunks are inflated here
            }
        }
        m_inline = threads.empty();
        try {
            feed(stack, threads.size());
        } catch (...) {
            fail(std::current_exception());
        }
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
        for (std::thread& thread : threads)
            thread.join();
        if (m_error)
            std::rethrow_exception(m_error);
    }

    size_t visited() const { return m_visited; }
    const std::vector<std::pair<size_t, size_t>>& leftOver() const { return m_leftOver; }

private:
    size_t countChunks() const {
        size_t chunks = 0;
        for (size_t k = 0; k < m_wanted.size(); ++k)
            if (k == 0 || chunkOf(k) != chunkOf(k - 1))
                ++chunks;
        return chunks;
    }
    size_t chunkOf(size_t k) const { return m_wanted[k].index / m_layout.framesPerChunk; }

    void feed(const H5::DataSet& stack, size_t workers) {
        const size_t capacity = std::max<size_t>(1, workers * kQueuedPerWorker);
        std::vector<unsigned char> inlineFrames;
        for (size_t begin = 0; begin < m_wanted.size();) {
            size_t end = begin + 1;
            while (end < m_wanted.size() && chunkOf(end) == chunkOf(begin))
                ++end;
            ChunkJob job;
            job.firstFrame = chunkOf(begin) * m_layout.framesPerChunk;
            job.begin = begin;
            job.end = end;
            begin = end;
            {
                std::unique_lock<std::mutex> guard(m_mutex);
                m_space.wait(guard, [&] { return m_queue.size() < capacity || m_stop; });
                if (m_stop)
                    return;
            }
            bool fetched = false;
            {
                Lock lock(RTDCReader::s_hdf5Mutex);
                silenceHdf5ErrorsOnThisThread();
                fetched = readStackChunk(stack, m_layout, job.firstFrame, job.raw);
            }
            if (!fetched) {
                leaveOver(job);
            } else if (m_inline) {
                deliver(job, inlineFrames);
            } else {
                {
                    std::lock_guard<std::mutex> guard(m_mutex);
                    m_queue.push_back(std::move(job));
                }
                m_ready.notify_one();
            }
        }
    }

    void work() {
        std::vector<unsigned char> frames;
        for (;;) {
            ChunkJob job;
            {
                std::unique_lock<std::mutex> guard(m_mutex);
                m_ready.wait(guard, [&] { return !m_queue.empty() || m_closed || m_stop; });
                if (m_stop || m_queue.empty())
                    return;
                job = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_space.notify_one();
            try {
                deliver(job, frames);
            } catch (...) {
                fail(std::current_exception());
                return;
            }
        }
    }

    // Inflates the chunk and hands on its wanted frames.
    void deliver(ChunkJob& job, std::vector<unsigned char>& frames) {
        frames.resize(m_layout.chunkBytes());
        const bool inflated =
            inflateExactly(job.raw.data(), job.raw.size(), frames.data(), frames.size());
        job.raw = {};
        if (!inflated) {
            leaveOver(job);
            return;
        }
        std::lock_guard<std::mutex> guard(m_visitMutex);
        for (size_t k = job.begin; k < job.end && !m_visitorThrew; ++k) {
            const size_t offset = (m_wanted[k].index - job.firstFrame) * m_layout.frameBytes();
            try {
                m_visit(m_wanted[k].position, frames.data() + offset,
                        static_cast<int>(m_layout.width), static_cast<int>(m_layout.height));
            } catch (...) {
                // Noted before the lock is released, so no other worker
                // calls the visitor again.
                m_visitorThrew = true;
                throw;
            }
            ++m_visited;
        }
    }

    void leaveOver(const ChunkJob& job) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_leftOver.emplace_back(job.begin, job.end);
    }

    void fail(std::exception_ptr error) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (!m_error)
                m_error = error;
            m_stop = true;
        }
        m_ready.notify_all();
        m_space.notify_all();
    }

    const StackLayout& m_layout;
    const std::vector<Wanted>& m_wanted;
    const RTDCReader::FrameVisitor& m_visit;
    bool m_inline = false;

    std::mutex m_mutex; // guards the queue, the flags, the error and leftOver
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<ChunkJob> m_queue;
    bool m_closed = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::vector<std::pair<size_t, size_t>> m_leftOver;

    std::mutex m_visitMutex; // one visitor call at a time; guards the two below
    size_t m_visited = 0;
    bool m_visitorThrew = false;
};

} // namespace

size_t RTDCReader::visitImages(const std::vector<size_t>& indices, const FrameVisitor& visit) {
    if (!m_open || !m_hasImages || indices.empty())
        return 0;
    std::vector<Wanted> wanted(indices.size());
    for (size_t p = 0; p < indices.size(); ++p)
        wanted[p] = {indices[p], p};
    std::stable_sort(wanted.begin(), wanted.end(),
                     [](const Wanted& a, const Wanted& b) { return a.index < b.index; });

    // An own handle on the stack: it keeps the file's data readable between
    // the locked fetches even if the reader closes meanwhile. Opened and
    // closed under the lock.
    std::unique_ptr<H5::DataSet> stack;
    StackLayout layout;
    {
        Lock lock(s_hdf5Mutex);
        silenceHdf5ErrorsOnThisThread();
        try {
            if (m_open && m_file) {
                stack = std::make_unique<H5::DataSet>(
                    m_file->openDataSet(std::string("/events/image")));
                if (!bulkLayout(*stack, layout))
                    stack.reset();
            }
        } catch (const H5::Exception&) {
            stack.reset(); // the frame-by-frame read reports what is wrong
        }
    }
    struct CloseLocked {
        std::unique_ptr<H5::DataSet>& handle;
        ~CloseLocked() {
            Lock lock(s_hdf5Mutex);
            handle.reset();
        }
    } closeLocked{stack};

    std::vector<std::pair<size_t, size_t>> leftOver;
    size_t visited = 0;
    if (stack) {
        // Frames beyond the stack are never visited, as readImage gives none.
        wanted.erase(std::find_if(wanted.begin(), wanted.end(),
                                  [&](const Wanted& w) { return w.index >= layout.frames; }),
                     wanted.end());
        FrameBatch batch(layout, wanted, visit);
        batch.run(*stack);
        visited = batch.visited();
        leftOver = batch.leftOver();
        std::sort(leftOver.begin(), leftOver.end());
    } else {
        leftOver.emplace_back(0, wanted.size());
    }
    // Whatever the bulk path did not take is read as readImage reads it; a
    // damaged chunk fails there too, with the library's message per frame.
    for (const auto& [begin, end] : leftOver) {
        for (size_t k = begin; k < end; ++k) {
            int width = 0;
            int height = 0;
            const std::vector<uint8_t> frame = readImage(wanted[k].index, width, height);
            if (frame.empty())
                continue;
            visit(wanted[k].position, frame.data(), width, height);
            ++visited;
        }
    }
    return visited;
}

} // namespace Quorvex3
