#include "compare/CombineParallel.h"

#include <QtConcurrent/QtConcurrentMap>

#include <exception>
#include <numeric>
#include <vector>

namespace Quorvex3 {

void runCombineJobs(std::size_t count, const std::function<void(std::size_t)>& job) {
    if (count == 0)
        return;
    if (count == 1) {
        job(0);
        return;
    }
    std::vector<std::size_t> indices(count);
    std::iota(indices.begin(), indices.end(), std::size_t{0});
    // The pool would wrap a foreign exception; each job keeps its own.
    std::vector<std::exception_ptr> failures(count);
    QtConcurrent::blockingMap(indices, [&](std::size_t& i) {
        try {
            job(i);
        } catch (...) {
            failures[i] = std::current_exception();
        }
    });
    for (const std::exception_ptr& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

} // namespace Quorvex3
