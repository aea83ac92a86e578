#include "model/DatasetLoader.h"

#include <algorithm>

namespace Quorvex3 {

std::optional<PreloadTicket> DatasetLoader::begin(int datasetId) {
    if (m_busy) {
        if (datasetId != m_current.datasetId &&
            std::find(m_preloadQueue.begin(), m_preloadQueue.end(), datasetId) ==
                m_preloadQueue.end())
            m_preloadQueue.push_back(datasetId);
        return std::nullopt;
    }
    m_busy = true;
    m_current = PreloadTicket{datasetId, ++m_generation};
    return m_current;
}

bool DatasetLoader::finish(const PreloadTicket& ticket) {
    if (!isCurrent(ticket))
        return false;
    m_busy = false;
    return true;
}

void DatasetLoader::abandon() {
    if (!m_busy)
        return;
    m_busy = false;
    // A new generation even before the next preload starts: the abandoned
    // ticket can then never match again.
    ++m_generation;
    m_current = PreloadTicket{-1, m_generation};
}

void DatasetLoader::forget(int datasetId) {
    m_preloadQueue.erase(std::remove(m_preloadQueue.begin(), m_preloadQueue.end(), datasetId),
                         m_preloadQueue.end());
    if (m_busy && m_current.datasetId == datasetId)
        abandon();
}

DatasetLoader::Next DatasetLoader::takeNext() {
    Next next;
    if (!m_preloadQueue.empty()) {
        next.preloadDatasetId = m_preloadQueue.front();
        m_preloadQueue.pop_front();
    } else if (!m_sessionQueue.empty()) {
        next.sessionDataset = m_sessionQueue.front();
        m_sessionQueue.pop_front();
    } else if (!m_pendingPaths.empty()) {
        next.path = m_pendingPaths.front();
        m_pendingPaths.pop_front();
    }
    return next;
}

void DatasetLoader::clearQueues() {
    m_preloadQueue.clear();
    m_sessionQueue.clear();
    m_pendingPaths.clear();
}

} // namespace Quorvex3
