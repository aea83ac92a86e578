#pragma once

// How long the GUI thread's event loop went without a turn while something
// ran: a 1 ms precise timer notes the longest interval between its ticks.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace Quorvex3::bench {

/// Longest interval between two turns of the GUI thread's event loop.
class GapMeter {
public:
    GapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_maxGap = std::max(m_maxGap, m_clock.nsecsElapsed());
            m_clock.restart();
        });
    }
    void start() {
        m_maxGap = 0;
        m_clock.start();
        m_timer.start();
    }
    /// The longest gap since start() or the last take(); starts a new span.
    double takeMs() {
        const qint64 gap = std::max(m_maxGap, m_clock.nsecsElapsed());
        m_maxGap = 0;
        return static_cast<double>(gap) / 1e6;
    }
    /// The longest gap of the span, the timer stopped.
    double stopMs() {
        m_timer.stop();
        return takeMs();
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_maxGap = 0;
};

} // namespace Quorvex3::bench
