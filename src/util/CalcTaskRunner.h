#pragma once

#include <QFutureWatcher>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace Quorvex3 {

/// What a running task's work may call, from its pool thread: report how
/// far it got and learn whether it was asked to stop.
class CalcTaskControl {
public:
    /// Reports `percent` (0 to 100) to the runner's progress hook, on the
    /// thread of the runner; returns false once cancel() was asked, and the
    /// work should then return early.
    bool progress(int percent);
    /// Whether cancel() was asked for this task.
    bool cancelled() const;

private:
    friend class CalcTaskRunner;
    struct State;
    explicit CalcTaskControl(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};

/// Runs one background calculation at a time on Qt's global thread pool and
/// its finish step on the runner's thread: the busy flag, the finish closure
/// and the progress reporting every compute action shares. A start while a
/// task runs is refused, not queued.
///
/// An exception from the work is logged and stopped on the pool thread; the
/// finish step runs all the same, so the caller's state never stays busy.
/// Qt Core and Qt Concurrent only.
class CalcTaskRunner {
public:
    using Work = std::function<void(CalcTaskControl&)>;
    /// Called on the runner's thread: when a task starts, with each progress
    /// report (percent), and when it has ended (before its finish step).
    struct Hooks {
        std::function<void()> started;
        std::function<void(int percent)> progress;
        std::function<void()> ended;
    };

    explicit CalcTaskRunner(Hooks hooks = {});
    /// Waits for a running task: its work may point into what the owner
    /// destroys next. Its finish step is not run.
    ~CalcTaskRunner();
    CalcTaskRunner(const CalcTaskRunner&) = delete;
    CalcTaskRunner& operator=(const CalcTaskRunner&) = delete;

    /// Starts `work` on the pool and, once it returned, `done` here.
    /// Returns false (and runs nothing) while another task runs.
    bool start(Work work, std::function<void()> done);
    bool busy() const { return m_busy; }
    /// Asks the running task to stop: its progress() returns false from now
    /// on. Its finish step still runs. Nothing happens when none runs.
    void cancel();
    /// Blocks until the running task's work has returned (its finish step
    /// then follows from the event loop).
    void waitForFinished();
    /// Runs `step` now when no task runs, else once the running task and
    /// its finish step are over; a step finding a newer task running (its
    /// finish step started one) waits for that one too. Steps run in the
    /// order given. Steps still waiting when the runner goes are dropped.
    void whenIdle(std::function<void()> step);

private:
    void onFinished();

    Hooks m_hooks;
    QFutureWatcher<void> m_watcher;
    bool m_busy = false;
    std::function<void()> m_done;
    std::vector<std::function<void()>> m_idleSteps;
    std::shared_ptr<CalcTaskControl::State> m_state;
};

} // namespace Quorvex3
