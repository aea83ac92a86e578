#pragma once

// Fork-join over the datasets of a combined plot rebuild: each job is done
// whole by one thread, so what it computes never depends on how many
// threads share the jobs.

#include <cstddef>
#include <functional>

namespace Quorvex3 {

/// Calls job(i) once for every i in [0, count), on the global thread pool
/// and the calling thread, and returns when all are done. When jobs throw,
/// the exception of the lowest such i is rethrown here after every job has
/// ended. Jobs must not wait for the calling thread.
void runCombineJobs(std::size_t count, const std::function<void(std::size_t)>& job);

} // namespace Quorvex3
