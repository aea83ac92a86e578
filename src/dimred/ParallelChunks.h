#pragma once

#include <cstddef>
#include <functional>

namespace Quorvex3 {

/// Number of threads the dimension-reduction kernels spread their work over
/// (at least 1). Results never depend on it: work is cut into chunks of a
/// size fixed by the data, and partial results are combined in chunk order.
int dimRedThreadCount();

/// Sets the thread count; 0 (or less) restores the default, the number of
/// hardware threads. Meant for tests and benchmarks.
void setDimRedThreadCount(int count);

/// Calls body(chunk) once for every chunk in [0, chunks), spread over up to
/// dimRedThreadCount() threads (the calling thread is one of them). Returns
/// when all chunks are done. An exception thrown by a chunk is rethrown on
/// the calling thread after the others have finished.
void parallelChunks(size_t chunks, const std::function<void(size_t)>& body);

/// Number of chunks of at most `grain` items that cover `count` items.
inline size_t chunkCount(size_t count, size_t grain) {
    return grain == 0 ? 0 : (count + grain - 1) / grain;
}

} // namespace Quorvex3
