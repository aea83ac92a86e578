#include "util/RequestCoalescer.h"

#include <QMetaObject>

#include <utility>

namespace Quorvex3 {

RequestCoalescer::RequestCoalescer(QObject* context, Run run)
    : m_context(context), m_run(std::move(run)), m_self(std::make_shared<RequestCoalescer*>(this)) {
}

RequestCoalescer::~RequestCoalescer() {
    *m_self = nullptr;
}

void RequestCoalescer::request(Parts parts) {
    if (parts == 0)
        return;
    m_pending |= parts;
    if (m_posted)
        return;
    m_posted = true;
    std::weak_ptr<RequestCoalescer*> self = m_self;
    QMetaObject::invokeMethod(
        m_context,
        [self] {
            if (const auto alive = self.lock(); alive && *alive)
                (*alive)->runPosted();
        },
        Qt::QueuedConnection);
}

void RequestCoalescer::runPosted() {
    m_posted = false;
    flush();
}

void RequestCoalescer::flush() {
    // A flush from inside the work (a step that needs the state it is
    // building) would run the work inside itself: the outer run covers it.
    if (m_pending == 0 || m_running)
        return;
    const Parts parts = m_pending;
    m_pending = 0;
    m_running = true;
    ++m_runCount;
    try {
        m_run(parts);
    } catch (...) {
        m_running = false;
        throw;
    }
    // Requests the work made itself have posted their own call: they run
    // in a later turn, so a refresh that asks for itself cannot loop here.
    m_running = false;
}

} // namespace Quorvex3
