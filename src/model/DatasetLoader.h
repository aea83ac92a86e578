#pragma once

#include <QString>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// Names one background preload: the dataset it loads and the generation
/// it was started in. A finish is counted only for the ticket of the
/// preload under way, so a late finish of an abandoned preload never marks
/// the dataset of a newer one as loaded.
struct PreloadTicket {
    int datasetId = -1;
    std::uint64_t generation = 0;
};

/// What a preload task hands back: its own ticket and the names of the
/// features it failed to read.
struct PreloadOutcome {
    PreloadTicket ticket;
    std::vector<std::string> failedFeatures;
};

/// The order in which measurements are loaded: one preload at a time, and
/// meanwhile three queues (preloads of datasets already listed, datasets of
/// a session being loaded, paths chosen or dropped), taken in that order.
/// Datasets are named by id, so removing or moving rows never points a
/// queued or running preload at another dataset. GUI-free; one thread.
class DatasetLoader {
public:
    /// One step of draining the queues; exactly one of the fields is set.
    struct Next {
        std::optional<int> preloadDatasetId;
        std::optional<std::pair<int, QString>> sessionDataset;
        std::optional<QString> path;
        bool empty() const { return !preloadDatasetId && !sessionDataset && !path; }
    };

    /// Whether a preload is under way.
    bool busy() const { return m_busy; }
    /// Id of the dataset whose preload is under way, -1 when none is.
    int preloadingId() const { return m_busy ? m_current.datasetId : -1; }
    /// Starts the preload of `datasetId` and returns its ticket when none
    /// is under way; otherwise queues the id (once) and returns nothing.
    std::optional<PreloadTicket> begin(int datasetId);
    /// A preload task has ended. True, and no preload under way any more,
    /// when `ticket` is that of the preload under way; false for a stale
    /// ticket (abandoned, or of an earlier preload), which changes nothing.
    bool finish(const PreloadTicket& ticket);
    /// Whether `ticket` names the preload under way; a preload whose launch
    /// was queued before it was abandoned must not start at all.
    bool isCurrent(const PreloadTicket& ticket) const {
        return m_busy && ticket.generation == m_current.generation &&
               ticket.datasetId == m_current.datasetId;
    }
    /// Stops waiting for the preload under way: its finish no longer
    /// counts, and the next one may start at once.
    void abandon();
    /// A dataset is gone: its queued preload is dropped. Its running
    /// preload, if any, is abandoned.
    void forget(int datasetId);

    /// Queues a path that arrived while a preload ran.
    void addPendingPath(const QString& path) { m_pendingPaths.push_back(path); }
    /// Queues a session's dataset: its index in the session and its path.
    void queueSessionDataset(int sessionIndex, const QString& path) {
        m_sessionQueue.emplace_back(sessionIndex, path);
    }
    /// Takes the next item of the queues (queued preloads first, then the
    /// session's datasets, then pending paths); empty when all are empty.
    Next takeNext();
    /// Empties every queue; the preload under way is left alone.
    void clearQueues();
    /// Empties the queue of preloads waiting to start.
    void clearPreloadQueue() { m_preloadQueue.clear(); }
    /// Empties the queue of a session's datasets (a load given up).
    void clearSessionQueue() { m_sessionQueue.clear(); }

    std::size_t queuedPreloadCount() const { return m_preloadQueue.size(); }
    std::size_t pendingPathCount() const { return m_pendingPaths.size(); }
    std::size_t sessionQueueCount() const { return m_sessionQueue.size(); }

private:
    bool m_busy = false;
    PreloadTicket m_current;
    std::uint64_t m_generation = 0;
    std::deque<int> m_preloadQueue;
    std::deque<std::pair<int, QString>> m_sessionQueue;
    std::deque<QString> m_pendingPaths;
};

} // namespace Quorvex3
