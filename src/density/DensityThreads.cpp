// The worker threads of the density estimator's parallel passes.
//
// A plot's densities go through a dozen short passes, each split over
// threads. Starting fresh threads for every pass cost more than the pass on a
// busy machine: a new thread waits its turn behind every running one (up to
// several milliseconds), while a parked thread that is woken runs almost at
// once. So the helpers are kept, parked, in one pool for the whole process.
#include "density/DensityDetail.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace Quorvex3::densitydetail {

namespace {

constexpr std::size_t kMaxThreads = 8;

std::size_t usableThreads() {
    return std::min<std::size_t>(std::max(1U, std::thread::hardware_concurrency()), kMaxThreads);
}

/// Parked threads that run posted tasks in posting order; stopped and joined
/// when the process ends.
class WorkerPool {
public:
    static WorkerPool& instance() {
        static WorkerPool pool;
        return pool;
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    ~WorkerPool() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }

    std::size_t size() const { return m_threads.size(); }

    void post(std::function<void()> task) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(std::move(task));
        }
        m_wake.notify_one();
    }

private:
    WorkerPool() {
        const std::size_t helpers = usableThreads() - 1;
        for (std::size_t t = 0; t < helpers; ++t) {
            try {
                m_threads.emplace_back([this] { run(); });
            } catch (const std::system_error&) {
                break; // fewer helpers: the callers run the remaining blocks
            }
        }
    }

    void run() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
                if (m_queue.empty())
                    return; // stopping
                task = std::move(m_queue.front());
                m_queue.pop_front();
            }
            task();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

/// One call's blocks. Helpers hold it shared: one that starts after every
/// block is taken finds nothing to do and never touches the caller's work,
/// which the caller keeps alive until every taken block is finished.
struct Job {
    std::size_t count = 0;
    std::size_t grain = 1;
    std::size_t blocks = 0;
    const std::function<void(std::size_t, std::size_t)>* work = nullptr;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::mutex mutex;
    std::condition_variable allFinished;
    std::exception_ptr failure;

    void markFinished(std::size_t n) {
        if (n == 0)
            return;
        if (finished.fetch_add(n) + n == blocks) {
            const std::lock_guard<std::mutex> lock(mutex);
            allFinished.notify_all();
        }
    }

    /// Takes blocks until none is left. Which thread runs a block does not
    /// change what the block computes.
    void runBlocks() {
        for (;;) {
            const std::size_t block = next.fetch_add(1);
            if (block >= blocks)
                return;
            std::size_t done = 1;
            try {
                const std::size_t begin = block * grain;
                (*work)(begin, std::min(count, begin + grain));
            } catch (...) {
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    if (!failure)
                        failure = std::current_exception();
                }
                // No block after a failure is started; they count as finished.
                const std::size_t untaken = next.exchange(blocks);
                done += blocks - std::min(untaken, blocks);
            }
            markFinished(done);
        }
    }
};

} // namespace

void parallelChunks(std::size_t count, std::size_t minItemsPerThread,
                    const std::function<void(std::size_t, std::size_t)>& work) {
    if (count == 0)
        return;
    const std::size_t grain = std::max<std::size_t>(minItemsPerThread, 1);
    const std::size_t blocks = (count + grain - 1) / grain;
    const std::size_t threads = std::min(usableThreads(), blocks);
    if (threads <= 1) {
        work(0, count);
        return;
    }
    WorkerPool& pool = WorkerPool::instance();
    auto job = std::make_shared<Job>();
    job->count = count;
    job->grain = grain;
    job->blocks = blocks;
    job->work = &work;
    const std::size_t helpers = std::min(threads - 1, pool.size());
    for (std::size_t t = 0; t < helpers; ++t)
        pool.post([job] { job->runBlocks(); });
    job->runBlocks();
    {
        std::unique_lock<std::mutex> lock(job->mutex);
        job->allFinished.wait(lock, [&] { return job->finished.load() == job->blocks; });
    }
    if (job->failure)
        std::rethrow_exception(job->failure);
}

} // namespace Quorvex3::densitydetail
