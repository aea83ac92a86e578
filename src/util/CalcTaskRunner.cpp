#include "util/CalcTaskRunner.h"

#include <QDebug>
#include <QMetaObject>
#include <QThreadPool>
#include <QtConcurrent>

#include <exception>
#include <utility>

namespace Quorvex3 {

struct CalcTaskControl::State {
    std::atomic<bool> cancelled{false};
    /// Receives the progress reports; lives as long as the runner, which
    /// waits for the work before it goes.
    QObject* receiver = nullptr;
    std::function<void(int)> report;
};

bool CalcTaskControl::progress(int percent) {
    State& state = *m_state;
    if (state.report && state.receiver) {
        const std::shared_ptr<State> keep = m_state;
        QMetaObject::invokeMethod(
            state.receiver, [keep, percent] { keep->report(percent); }, Qt::QueuedConnection);
    }
    return !state.cancelled.load();
}

bool CalcTaskControl::cancelled() const {
    return m_state->cancelled.load();
}

CalcTaskRunner::CalcTaskRunner(Hooks hooks) : m_hooks(std::move(hooks)) {
    QObject::connect(&m_watcher, &QFutureWatcher<void>::finished, &m_watcher,
                     [this] { onFinished(); });
}

CalcTaskRunner::~CalcTaskRunner() {
    waitForFinished();
}

bool CalcTaskRunner::start(Work work, std::function<void()> done) {
    if (m_busy)
        return false;
    m_busy = true;
    m_done = std::move(done);
    m_state = std::make_shared<CalcTaskControl::State>();
    m_state->receiver = &m_watcher;
    m_state->report = m_hooks.progress;
    if (m_hooks.started)
        m_hooks.started();
    // An exception would be stored in the future and thrown again by
    // whoever waits for it (the destructor among them): stop it here.
    m_watcher.setFuture(
        QtConcurrent::run(QThreadPool::globalInstance(), [work = std::move(work), state = m_state] {
            CalcTaskControl control(state);
            try {
                work(control);
            } catch (const std::exception& e) {
                qCritical().noquote() << "Calculation failed:" << QString::fromUtf8(e.what());
            } catch (...) {
                qCritical("Calculation failed with a non-standard exception");
            }
        }));
    return true;
}

void CalcTaskRunner::cancel() {
    if (m_busy && m_state)
        m_state->cancelled.store(true);
}

void CalcTaskRunner::waitForFinished() {
    try {
        m_watcher.waitForFinished();
    } catch (...) {
        // The work stops its own exceptions; nothing may leave a destructor.
        qWarning("A background calculation ended with an exception while it was awaited");
    }
}

void CalcTaskRunner::onFinished() {
    m_busy = false;
    if (m_hooks.ended)
        m_hooks.ended();
    // The finish step may start the next task, which sets a new one.
    std::function<void()> done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done();
    // Taken out first: a step may start a task, after which the next steps
    // queue again behind it.
    std::vector<std::function<void()>> steps = std::move(m_idleSteps);
    m_idleSteps.clear();
    for (auto& step : steps)
        whenIdle(std::move(step));
}

void CalcTaskRunner::whenIdle(std::function<void()> step) {
    if (!step)
        return;
    if (m_busy)
        m_idleSteps.push_back(std::move(step));
    else
        step();
}

} // namespace Quorvex3
