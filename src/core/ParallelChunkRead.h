#pragma once

#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace H5 {
class DataSet;
class DSetCreatPropList;
class PredType;
} // namespace H5

namespace Quorvex3 {

/// Reads a one-dimensional, chunked, deflate-compressed (optionally
/// shuffled) dataset by fetching its chunks raw and inflating them on
/// several threads; decompression dominates a feature read and the library
/// itself inflates one chunk at a time.
///
/// Writes `count` values of `memType` to `dest` and returns true only when
/// the dataset is of that simple kind, its stored type equals `memType` and
/// every chunk inflates to its full size. Otherwise it returns false and the
/// caller reads the usual way (what was written to `dest` is then
/// overwritten), also when a worker thread cannot be started. Caller holds
/// the HDF5 lock; HDF5 exceptions pass on.
bool readDeflatedColumnInParallel(const H5::DataSet& dataset, const H5::PredType& memType,
                                  size_t count, unsigned char* dest);

/// Starts one inflating worker, as std::thread does (throwing
/// std::system_error when the system grants no further thread).
using WorkerStarter = std::thread (*)(std::function<void()> work);

/// Replaces how workers are started (null: std::thread itself) and returns
/// the previous starter. For tests that make a start fail; not thread-safe
/// against reads running meanwhile.
WorkerStarter setWorkerStarter(WorkerStarter starter);

/// Starts `work` on a new thread through the current starter; throws as
/// std::thread does when no thread can be had.
std::thread startWorker(std::function<void()> work);

/// True when the filters of `create` are exactly deflate, optionally
/// preceded by shuffle (`shuffled` tells which): the pipeline common
/// writers use, and the only one whose raw chunks we inflate ourselves.
/// Caller holds the HDF5 lock; HDF5 exceptions pass on.
bool isPlainDeflatePipeline(const H5::DSetCreatPropList& create, bool& shuffled);

/// Fetches the stored (still filtered) bytes of the chunk of `dataset` (of
/// `rank` dimensions) that starts at row `first` (every other coordinate 0)
/// into `raw`. False when the chunk was never written (its fill value is
/// the library's business), a filter was skipped for it, it is stored in
/// more than `maxStoredBytes` (nothing that size is allocated), or the
/// library fails. Caller holds the HDF5 lock.
bool readStoredChunk(const H5::DataSet& dataset, size_t rank, size_t first,
                     size_t maxStoredBytes, std::vector<unsigned char>& raw);

/// Inflates the zlib stream `source` (as the deflate filter stores a chunk)
/// into `target`, which must come out exactly `targetSize` bytes long.
/// False on any damage (bad stream, check sum, other length) or when no
/// memory is left for the decompressor. Needs no lock.
bool inflateExactly(const unsigned char* source, size_t sourceSize, unsigned char* target,
                    size_t targetSize);

} // namespace Quorvex3
