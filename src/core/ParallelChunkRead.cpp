#include "core/ParallelChunkRead.h"

#include <H5Cpp.h>
#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace Quorvex3 {

namespace {

std::thread startStdThread(std::function<void()> work) {
    return std::thread(std::move(work));
}

std::atomic<WorkerStarter> s_startWorker{&startStdThread};

struct RawChunk {
    std::vector<unsigned char> bytes;
    size_t firstValue = 0;
    size_t valueCount = 0;
};

struct Pipeline {
    bool shuffled = false;
    size_t chunkValues = 0;
};

// Only the pipeline written by common tools: optional shuffle, then deflate.
bool simplePipeline(const H5::DataSet& dataset, Pipeline& pipeline) {
    const H5::DSetCreatPropList create = dataset.getCreatePlist();
    if (create.getLayout() != H5D_CHUNKED || create.getChunk(0, nullptr) != 1)
        return false;
    hsize_t chunk = 0;
    create.getChunk(1, &chunk);
    if (chunk == 0)
        return false;
    pipeline.chunkValues = static_cast<size_t>(chunk);
    return isPlainDeflatePipeline(create, pipeline.shuffled);
}

// Inflates one chunk into `out` (chunk bytes), undoing the shuffle.
bool inflateChunk(const RawChunk& raw, const Pipeline& pipeline, size_t valueSize,
                  std::vector<unsigned char>& scratch, unsigned char* out) {
    const size_t chunkBytes = pipeline.chunkValues * valueSize;
    scratch.resize(chunkBytes);
    if (!inflateExactly(raw.bytes.data(), raw.bytes.size(), scratch.data(), chunkBytes))
        return false;
    const size_t used = raw.valueCount * valueSize;
    if (!pipeline.shuffled || valueSize == 1) {
        std::memcpy(out, scratch.data(), used);
        return true;
    }
    // Shuffled chunks store byte b of every value together.
    for (size_t v = 0; v < raw.valueCount; ++v)
        for (size_t b = 0; b < valueSize; ++b)
            out[v * valueSize + b] = scratch[b * pipeline.chunkValues + v];
    return true;
}

} // namespace

bool readDeflatedColumnInParallel(const H5::DataSet& dataset, const H5::PredType& memType,
                                  size_t count, unsigned char* dest) {
    Pipeline pipeline;
    if (count == 0 || !simplePipeline(dataset, pipeline))
        return false;
    const H5::DataType stored = dataset.getDataType();
    if (H5Tequal(stored.getId(), memType.getId()) <= 0)
        return false;
    const size_t valueSize = memType.getSize();
    const size_t chunks = (count + pipeline.chunkValues - 1) / pipeline.chunkValues;
    if (chunks < 2)
        return false;

    // The raw reads go through the library (under the caller's lock); only
    // the inflating runs in parallel.
    std::vector<RawChunk> raw(chunks);
    for (size_t k = 0; k < chunks; ++k) {
        if (!readStoredChunk(dataset, 1, k * pipeline.chunkValues, SIZE_MAX, raw[k].bytes))
            return false;
        raw[k].firstValue = k * pipeline.chunkValues;
        raw[k].valueCount = std::min(pipeline.chunkValues, count - raw[k].firstValue);
    }

    const size_t workers =
        std::min<size_t>({chunks, std::max(1u, std::thread::hardware_concurrency()), 8});
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        std::vector<unsigned char> scratch;
        for (size_t k = next++; k < chunks && !failed; k = next++) {
            if (!inflateChunk(raw[k], pipeline, valueSize, scratch,
                              dest + raw[k].firstValue * valueSize))
                failed = true;
        }
    };
    // A worker that cannot be started makes the whole column go the usual
    // way: the workers already running stop after their chunk and are
    // joined (a joinable thread must never be destroyed).
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (size_t t = 1; t < workers && !failed; ++t) {
        try {
            threads.push_back(startWorker(work));
        } catch (...) {
            failed = true;
        }
    }
    if (!failed)
        work();
    for (std::thread& thread : threads)
        thread.join();
    return !failed;
}

bool isPlainDeflatePipeline(const H5::DSetCreatPropList& create, bool& shuffled) {
    shuffled = false;
    const int filters = create.getNfilters();
    bool deflated = false;
    for (int i = 0; i < filters; ++i) {
        unsigned int flags = 0;
        size_t elements = 0;
        unsigned int values[8] = {};
        unsigned int config = 0;
        char name[64] = {};
        const H5Z_filter_t id =
            create.getFilter(i, flags, elements, values, sizeof(name), name, config);
        if (id == H5Z_FILTER_SHUFFLE && !deflated && !shuffled)
            shuffled = true;
        else if (id == H5Z_FILTER_DEFLATE && !deflated)
            deflated = true;
        else
            return false;
    }
    return deflated;
}

bool inflateExactly(const unsigned char* source, size_t sourceSize, unsigned char* target,
                    size_t targetSize) {
    // One call over the whole buffer, the stream's check sum verified; a
    // stream of any other length than targetSize is refused.
    struct Free {
        void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
    };
    const std::unique_ptr<libdeflate_decompressor, Free> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor && libdeflate_zlib_decompress(decompressor.get(), source, sourceSize,
                                                      target, targetSize,
                                                      nullptr) == LIBDEFLATE_SUCCESS;
}

bool readStoredChunk(const H5::DataSet& dataset, size_t rank, size_t first,
                     size_t maxStoredBytes, std::vector<unsigned char>& raw) {
    if (rank < 1)
        return false;
    std::vector<hsize_t> offset(rank, 0);
    offset[0] = static_cast<hsize_t>(first);
    hsize_t stored = 0;
    // An unallocated chunk's fill value is the library's business.
    if (H5Dget_chunk_storage_size(dataset.getId(), offset.data(), &stored) < 0 || stored == 0 ||
        stored > maxStoredBytes)
        return false;
    raw.resize(static_cast<size_t>(stored));
    uint32_t skipped = 0;
    return H5Dread_chunk(dataset.getId(), H5P_DEFAULT, offset.data(), &skipped, raw.data()) >= 0 &&
           skipped == 0;
}

std::thread startWorker(std::function<void()> work) {
    return s_startWorker.load()(std::move(work));
}

WorkerStarter setWorkerStarter(WorkerStarter starter) {
    return s_startWorker.exchange(starter ? starter : &startStdThread);
}

} // namespace Quorvex3
