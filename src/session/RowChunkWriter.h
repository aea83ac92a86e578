#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// Fills a chunked, deflate-compressed HDF5 dataset whose chunks are single
/// rows (chunk shape (1, d1, ...) of a dataset (N, d1, ...)) row after row.
///
/// The library deflates one chunk at a time on the calling thread, which
/// makes compression the whole cost of an image export. Here the caller's
/// thread reads rows, a private pool deflates them with zlib exactly as the
/// library's deflate filter would (so every HDF5 reader inflates them), and
/// the finished chunks are stored raw with H5Dwrite_chunk, in row order.
/// A chunk that deflate would not shrink is stored as it is, marked as such
/// in its filter mask, as the library does. The file is the same whatever
/// the number of threads; at most a few batches of rows are held in memory.
class RowChunkWriter {
public:
    /// Fetches row `row` into `bytes` (resized by the callee to the row's
    /// size); false when the row cannot be supplied: its chunk is then not
    /// written and reads as the fill value.
    using FetchRow = std::function<bool(std::size_t row, std::vector<std::uint8_t>& bytes)>;

    /// `dataset` is an open HDF5 dataset identifier of rank `rank` whose
    /// chunks are single rows of `rowBytes` bytes (in file byte order) with
    /// deflate at `level` as its only filter.
    RowChunkWriter(std::int64_t dataset, int rank, std::size_t rowBytes, int level);

    /// Told after each batch of rows is stored: rows stored so far of
    /// rowCount; false stops the writing.
    using RowsStored = std::function<bool(std::size_t stored, std::size_t rowCount)>;

    /// Writes rows 0 .. rowCount-1. Caller holds the HDF5 lock; `fetch`
    /// and `stored` run on the calling thread. Returns false, with the
    /// reason in `error`, when HDF5 refused a chunk, compression failed or
    /// `stored` asked to stop ("cancelled"); rows the fetch could not supply
    /// are counted in `missingRows`.
    bool writeRows(std::size_t rowCount, const FetchRow& fetch, std::size_t& missingRows,
                   std::string& error, const RowsStored& stored = {});

    /// Threads that deflate (the machine's cores, at least one).
    static int threadCount();

private:
    std::int64_t m_dataset;
    int m_rank;
    std::size_t m_rowBytes;
    int m_level;
};

} // namespace Quorvex3
