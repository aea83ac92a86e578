#include "util/ToolWindowRegistry.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test_tool_window_registry";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

} // namespace

/// A tool window as far as the registry sees one.
class FakeWindow : public QObject {
    Q_OBJECT
public:
    explicit FakeWindow(int id, std::vector<int>* closed = nullptr) : m_id(id), m_closed(closed) {}
    void show() { shown = true; }
    void close() {
        if (m_closed)
            m_closed->push_back(m_id);
    }
    int id() const { return m_id; }
    bool shown = false;
    std::function<void(FakeWindow*)> onVisit;

signals:
    void windowClosed(FakeWindow* window);

private:
    int m_id;
    std::vector<int>* m_closed;
};

using Registry = Quorvex3::ToolWindowRegistry<FakeWindow>;

namespace {

std::vector<int> ids(const Registry& registry) {
    std::vector<int> out;
    for (const FakeWindow* window : registry.windows())
        out.push_back(window->id());
    return out;
}

} // namespace

TEST(ToolWindowRegistry, OpensInOrderAndReleasesTheWindowThatReportsItsClosing) {
    app();
    QObject owner;
    Registry registry;
    FakeWindow* a = registry.open(new FakeWindow(1), &owner);
    FakeWindow* b = registry.open(new FakeWindow(2), &owner);
    registry.open(new FakeWindow(3), &owner);
    EXPECT_TRUE(a->shown);
    EXPECT_EQ(ids(registry), (std::vector<int>{1, 2, 3}));
    QPointer<FakeWindow> gone = b;
    emit b->windowClosed(b);
    EXPECT_EQ(ids(registry), (std::vector<int>{1, 3}));
    EXPECT_TRUE(gone) << "deleted inside its own close handling";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(gone);
    registry.deleteAll(&owner);
    EXPECT_TRUE(registry.windows().empty());
}

TEST(ToolWindowRegistry, ABroadcastSurvivesWindowsClosingAndOpeningDuringIt) {
    app();
    QObject owner;
    Registry registry;
    std::vector<FakeWindow*> w;
    for (int i = 1; i <= 4; ++i)
        w.push_back(registry.open(new FakeWindow(i), &owner));
    // Window 1 closes window 3 and itself; window 2 opens a fifth.
    w[0]->onVisit = [&](FakeWindow* self) {
        emit w[2]->windowClosed(w[2]);
        emit self->windowClosed(self);
    };
    w[1]->onVisit = [&](FakeWindow*) { registry.open(new FakeWindow(5), &owner); };
    std::vector<int> visited;
    registry.broadcast([&](FakeWindow* window) {
        visited.push_back(window->id());
        if (window->onVisit)
            window->onVisit(window);
    });
    EXPECT_EQ(visited, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(ids(registry), (std::vector<int>{2, 4, 5}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    registry.deleteAll(&owner);
}

TEST(ToolWindowRegistry, ClosingAllClosesEachOnceWithoutReportsBack) {
    app();
    QObject owner;
    Registry registry;
    std::vector<int> closed;
    for (int i = 1; i <= 3; ++i) {
        FakeWindow* window = registry.open(new FakeWindow(i, &closed), &owner);
        // A window that reports its closing while being closed must not
        // reach the registry again.
        QObject::connect(window, &QObject::destroyed, [] {});
    }
    registry.closeAll(&owner);
    EXPECT_EQ(closed, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(registry.windows().empty());
}

#include "ToolWindowRegistryTest.moc"
