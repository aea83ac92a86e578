#include "session/RowChunkWriter.h"

#include "session/Hdf5Handle.h"

#include <H5Dpublic.h>
#include <H5Ppublic.h>

#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace Quorvex3 {

namespace {

// Rows per batch: a few MiB, so memory stays flat and the pool has work.
constexpr std::size_t kBatchBytes = std::size_t(4) << 20;
constexpr std::size_t kMinBatchRows = 16;
constexpr std::size_t kMaxBatchRows = 4096;

// Bit 0 of a chunk's filter mask: the first (here the only) filter, deflate,
// was skipped for this chunk.
constexpr std::uint32_t kDeflateSkipped = 1u;

/// Counts finished tasks of one batch; wait() returns once all are done.
class Latch {
public:
    void reset(int count) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = count;
    }
    void countDown() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (--m_pending == 0)
            m_done.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_pending == 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    int m_pending = 0;
};

struct Batch {
    std::size_t first = 0;
    std::size_t count = 0;
    std::vector<std::vector<std::uint8_t>> raw;
    std::vector<char> present;
    std::vector<std::vector<std::uint8_t>> packed;
    std::vector<std::uint32_t> filterMask;
    std::atomic<bool> compressFailed{false};
    Latch latch;
    bool submitted = false;

    void resize(std::size_t rows) {
        raw.resize(rows);
        present.assign(rows, 0);
        packed.resize(rows);
        filterMask.assign(rows, 0);
    }
};

// Deflates one row into a zlib stream, as the library's deflate filter
// does; keeps the row raw when that does not make it smaller.
bool packRow(Batch& batch, std::size_t k, int level) {
    const std::vector<std::uint8_t>& raw = batch.raw[k];
    std::vector<std::uint8_t>& packed = batch.packed[k];
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    packed.resize(size);
    if (compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK)
        return false;
    if (size >= raw.size()) {
        packed = raw;
        batch.filterMask[k] = kDeflateSkipped;
    } else {
        packed.resize(size);
        batch.filterMask[k] = 0;
    }
    return true;
}

void submit(QThreadPool& pool, Batch& batch, int level) {
    const int tasks = std::max(1, std::min(pool.maxThreadCount(), static_cast<int>(batch.count)));
    batch.compressFailed = false;
    batch.latch.reset(tasks);
    for (int t = 0; t < tasks; ++t) {
        pool.start(QRunnable::create([&batch, t, tasks, level] {
            for (std::size_t k = static_cast<std::size_t>(t); k < batch.count;
                 k += static_cast<std::size_t>(tasks)) {
                if (batch.present[k] && !packRow(batch, k, level))
                    batch.compressFailed = true;
            }
            batch.latch.countDown();
        }));
    }
    batch.submitted = true;
}

void finish(Batch& batch) {
    if (batch.submitted)
        batch.latch.wait();
    batch.submitted = false;
}

} // namespace

RowChunkWriter::RowChunkWriter(std::int64_t dataset, int rank, std::size_t rowBytes, int level)
    : m_dataset(dataset), m_rank(rank), m_rowBytes(rowBytes), m_level(level) {}

int RowChunkWriter::threadCount() {
    return std::max(1, QThread::idealThreadCount());
}

bool RowChunkWriter::writeRows(std::size_t rowCount, const FetchRow& fetch,
                               std::size_t& missingRows, std::string& error,
                               const RowsStored& stored) {
    if (m_rank < 1 || m_rank > 8) {
        error = "unsupported rank " + std::to_string(m_rank);
        return false;
    }
    const std::size_t batchRows = std::clamp(kBatchBytes / std::max<std::size_t>(m_rowBytes, 1),
                                             kMinBatchRows, kMaxBatchRows);
    QThreadPool pool;
    pool.setMaxThreadCount(threadCount());

    Batch batches[2];
    batches[0].resize(batchRows);
    batches[1].resize(batchRows);

    const auto fill = [&](Batch& batch, std::size_t first) {
        batch.first = first;
        batch.count = std::min(batchRows, rowCount - first);
        for (std::size_t k = 0; k < batch.count; ++k) {
            std::vector<std::uint8_t>& row = batch.raw[k];
            const bool ok = fetch(first + k, row) && row.size() == m_rowBytes;
            batch.present[k] = ok ? 1 : 0;
            if (!ok)
                ++missingRows;
        }
    };
    const auto store = [&](Batch& batch) {
        if (batch.compressFailed) {
            error = "compressing a chunk failed";
            return false;
        }
        hsize_t offset[8] = {};
        for (std::size_t k = 0; k < batch.count; ++k) {
            if (!batch.present[k])
                continue;
            offset[0] = static_cast<hsize_t>(batch.first + k);
            const std::vector<std::uint8_t>& chunk = batch.packed[k];
            if (H5Dwrite_chunk(m_dataset, H5P_DEFAULT, batch.filterMask[k], offset, chunk.size(),
                               chunk.data()) < 0) {
                const std::string reason = innermostHdf5Error();
                error = "writing the chunk of row " + std::to_string(batch.first + k) + " failed" +
                        (reason.empty() ? std::string() : ": " + reason);
                return false;
            }
        }
        return true;
    };

    // Batch i is deflated on the pool while the batch after it is read and
    // the one before it is stored.
    if (rowCount == 0)
        return true;
    int current = 0;
    fill(batches[current], 0);
    submit(pool, batches[current], m_level);
    bool ok = true;
    for (std::size_t next = batchRows;; next += batchRows) {
        Batch& done = batches[current];
        Batch& upcoming = batches[1 - current];
        const bool more = next < rowCount;
        if (more)
            fill(upcoming, next);
        finish(done);
        if (more)
            submit(pool, upcoming, m_level);
        ok = store(done);
        if (ok && stored && !stored(done.first + done.count, rowCount)) {
            error = "cancelled";
            ok = false;
        }
        if (!ok || !more)
            break;
        current = 1 - current;
    }
    finish(batches[0]);
    finish(batches[1]);
    return ok;
}

} // namespace Quorvex3
