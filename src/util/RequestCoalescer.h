#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

namespace Quorvex3 {

/// Folds every request made during one turn of the event loop into a single
/// run of an expensive refresh. A request only marks parts of the work as
/// wanted and posts one queued call; the call runs the work once with the
/// union of the parts asked for since the last run.
///
/// A caller that reads the refreshed state right after asking (an export, a
/// switch that highlights an event) calls flush() to have the pending work
/// done at once; the queued call then finds nothing to do.
///
/// Requests made while the work runs are not lost: they post a new call and
/// run in a later turn. GUI thread only (the thread of `context`). Qt Core.
class RequestCoalescer {
public:
    /// Parts of the work as bit flags; their meaning is the caller's.
    using Parts = std::uint32_t;
    using Run = std::function<void(Parts parts)>;

    /// `context` carries the queued calls; they die with it, so the work is
    /// never run for a destroyed owner. `run` must not be empty.
    RequestCoalescer(QObject* context, Run run);
    ~RequestCoalescer();
    RequestCoalescer(const RequestCoalescer&) = delete;
    RequestCoalescer& operator=(const RequestCoalescer&) = delete;

    /// Marks `parts` as wanted and, unless a call is posted already, posts one.
    void request(Parts parts);
    /// Runs the pending work now (nothing when none is pending).
    void flush();
    /// Drops the pending work; the posted call then does nothing.
    void cancel() { m_pending = 0; }
    /// Parts wanted and not yet run.
    Parts pending() const { return m_pending; }
    /// How many times the work has run: the counter tests and benchmarks use
    /// to see that a burst of requests cost one run.
    std::uint64_t runCount() const { return m_runCount; }

private:
    void runPosted();

    QObject* m_context;
    Run m_run;
    Parts m_pending = 0;
    bool m_posted = false;
    bool m_running = false;
    std::uint64_t m_runCount = 0;
    /// Shared with the posted calls so one posted after this object is gone
    /// (its context outliving it) finds out and does nothing.
    std::shared_ptr<RequestCoalescer*> m_self;
};

} // namespace Quorvex3
