#include "util/CalcTaskRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

using Quorvex3::CalcTaskControl;
using Quorvex3::CalcTaskRunner;

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test_calc_task_runner";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

/// Spins the event loop until `done` holds (a bound against hanging, not a
/// measurement).
template <typename Predicate> bool waitUntil(Predicate done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace

TEST(CalcTaskRunner, RunsOneTaskAtATimeAndIgnoresAStartWhileBusy) {
    app();
    std::vector<std::string> log;
    CalcTaskRunner::Hooks hooks;
    hooks.started = [&] { log.push_back("started"); };
    hooks.ended = [&] { log.push_back("ended"); };
    CalcTaskRunner runner(hooks);
    std::atomic<bool> release{false};
    std::atomic<int> secondWork{0};
    ASSERT_TRUE(runner.start(
        [&](CalcTaskControl&) {
            while (!release.load())
                QThread::yieldCurrentThread();
        },
        [&] { log.push_back("first done"); }));
    EXPECT_TRUE(runner.busy());
    EXPECT_FALSE(runner.start([&](CalcTaskControl&) { ++secondWork; },
                              [&] { log.push_back("second done"); }));
    release = true;
    ASSERT_TRUE(waitUntil([&] { return !runner.busy(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(secondWork.load(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"started", "ended", "first done"}));
    // Free again: the next start runs.
    ASSERT_TRUE(runner.start([&](CalcTaskControl&) { ++secondWork; },
                             [&] { log.push_back("third done"); }));
    ASSERT_TRUE(waitUntil([&] { return !runner.busy(); }));
    EXPECT_EQ(secondWork.load(), 1);
    EXPECT_EQ(log.back(), "third done");
}

TEST(CalcTaskRunner, ProgressReachesTheHookInOrderAndCancelStopsTheWork) {
    app();
    std::vector<int> reported;
    CalcTaskRunner::Hooks hooks;
    hooks.progress = [&](int percent) { reported.push_back(percent); };
    CalcTaskRunner runner(hooks);
    std::atomic<bool> goOn{false};
    std::atomic<int> lastStep{-1};
    // Set once progress(50) has returned: a cancel asked before that would
    // stop the work at 50, not at 75, so the test cancels only after it.
    std::atomic<bool> heldAt50{false};
    bool done = false;
    ASSERT_TRUE(runner.start(
        [&](CalcTaskControl& control) {
            for (int step = 0; step <= 100; step += 25) {
                lastStep = step;
                if (!control.progress(step))
                    return;
                if (step == 50) {
                    heldAt50 = true;
                    while (!goOn.load())
                        QThread::yieldCurrentThread();
                }
            }
        },
        [&] { done = true; }));
    ASSERT_TRUE(waitUntil([&] { return heldAt50.load(); }));
    runner.cancel();
    goOn = true;
    ASSERT_TRUE(waitUntil([&] { return done; }));
    // 75 was reported as the work learnt of the cancel, and it went no further.
    EXPECT_EQ(lastStep.load(), 75);
    EXPECT_EQ(reported, (std::vector<int>{0, 25, 50, 75}));
}

TEST(CalcTaskRunner, AnExceptionInTheWorkStillRunsTheFinishAndFreesTheRunner) {
    app();
    CalcTaskRunner runner;
    bool done = false;
    ASSERT_TRUE(runner.start([](CalcTaskControl&) { throw std::runtime_error("bad column"); },
                             [&] { done = true; }));
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_FALSE(runner.busy());
}

TEST(CalcTaskRunner, AFinishStepMayStartTheNextTask) {
    app();
    CalcTaskRunner runner;
    int finished = 0;
    ASSERT_TRUE(runner.start([](CalcTaskControl&) {},
                             [&] {
                                 ++finished;
                                 EXPECT_TRUE(
                                     runner.start([](CalcTaskControl&) {}, [&] { ++finished; }));
                             }));
    ASSERT_TRUE(waitUntil([&] { return finished == 2; }));
    EXPECT_FALSE(runner.busy());
}

// A step asked for while a task runs waits for the task and its finish
// step; one asked for while idle runs at once; a task started by a step
// makes the later steps wait for it as well.
TEST(CalcTaskRunner, IdleStepsWaitForTheRunningTaskAndItsFinishStep) {
    app();
    CalcTaskRunner runner;
    std::vector<std::string> log;
    runner.whenIdle([&] { log.push_back("idle at once"); });
    EXPECT_EQ(log, (std::vector<std::string>{"idle at once"}));

    std::atomic<bool> release{false};
    ASSERT_TRUE(runner.start(
        [&](CalcTaskControl&) {
            while (!release.load())
                QThread::yieldCurrentThread();
        },
        [&] { log.push_back("first done"); }));
    runner.whenIdle([&] {
        log.push_back("step 1");
        EXPECT_TRUE(runner.start([](CalcTaskControl&) {}, [&] { log.push_back("second done"); }));
    });
    runner.whenIdle([&] { log.push_back("step 2"); });
    QCoreApplication::processEvents();
    EXPECT_EQ(log.size(), 1u);
    release = true;
    ASSERT_TRUE(waitUntil([&] { return log.size() == 5; }));
    EXPECT_EQ(log, (std::vector<std::string>{"idle at once", "first done", "step 1", "second done",
                                             "step 2"}));
    EXPECT_FALSE(runner.busy());
}
