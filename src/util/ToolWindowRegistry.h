#pragma once

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// The open tool windows of one kind, in opening order, owned by the main
/// window until each reports its closing through its `windowClosed(Window*)`
/// signal. One of these per kind replaces the member, the accessor, the
/// open, release and broadcast code that each kind would otherwise repeat.
///
/// `Window` is a QObject with `show()`, `close()` and the signal
/// `windowClosed(Window*)`. Qt Core only; GUI thread only.
template <typename Window> class ToolWindowRegistry {
public:
    ToolWindowRegistry() = default;
    ToolWindowRegistry(const ToolWindowRegistry&) = delete;
    ToolWindowRegistry& operator=(const ToolWindowRegistry&) = delete;

    /// The open windows in opening order.
    const std::vector<Window*>& windows() const { return m_windows; }

    /// Lists a window just made, releases it when it reports its closing
    /// (the connection ends with `owner`), shows it and returns it.
    Window* open(Window* window, QObject* owner) {
        m_windows.push_back(window);
        QObject::connect(window, &Window::windowClosed, owner,
                         [this](Window* closed) { release(closed); });
        window->show();
        return window;
    }

    /// Takes the window off the list and deletes it from the event loop
    /// (also when it was not listed), so it is not deleted inside its own
    /// close handling.
    void release(Window* window) {
        const auto found = std::find(m_windows.begin(), m_windows.end(), window);
        if (found != m_windows.end())
            m_windows.erase(found);
        if (window)
            window->deleteLater();
    }

    /// Calls `visit(window)` for each window open when the broadcast began
    /// and still open when its turn comes: a window that closes, or is
    /// deleted, during the broadcast (from inside `visit`, say) is skipped,
    /// and one opened meanwhile waits for the next broadcast.
    template <typename Visit> void broadcast(Visit&& visit) const {
        std::vector<QPointer<Window>> open;
        open.reserve(m_windows.size());
        for (Window* window : m_windows)
            open.emplace_back(window);
        for (const QPointer<Window>& window : open) {
            if (!window || !contains(window.data()))
                continue;
            visit(window.data());
        }
    }

    /// Closing the main window: empties the list first, then cuts each
    /// window's connections to `owner` (so its closing is not reported
    /// back), closes and deletes it at once.
    void closeAll(QObject* owner) {
        const std::vector<Window*> open = std::move(m_windows);
        m_windows.clear();
        for (Window* window : open) {
            QObject::disconnect(window, nullptr, owner, nullptr);
            window->close();
            delete window;
        }
    }

    /// Destroying the main window: deletes every window without closing it.
    void deleteAll(QObject* owner) {
        const std::vector<Window*> open = std::move(m_windows);
        m_windows.clear();
        for (Window* window : open) {
            QObject::disconnect(window, nullptr, owner, nullptr);
            delete window;
        }
    }

    bool contains(const Window* window) const {
        return std::find(m_windows.begin(), m_windows.end(), window) != m_windows.end();
    }

private:
    std::vector<Window*> m_windows;
};

} // namespace Quorvex3
