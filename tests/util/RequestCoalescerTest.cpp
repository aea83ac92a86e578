#include "util/RequestCoalescer.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using Quorvex3::RequestCoalescer;

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test_request_coalescer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

struct Recorder {
    QObject context;
    std::vector<RequestCoalescer::Parts> runs;
    RequestCoalescer coalescer{&context, [this](RequestCoalescer::Parts p) { runs.push_back(p); }};
};

} // namespace

// ===== one run per event-loop turn ==========================================

TEST(RequestCoalescer, RequestsOfOneTurnCostOneRunWithTheUnionOfTheirParts) {
    app();
    struct Case {
        const char* what;
        std::vector<RequestCoalescer::Parts> requests;
        std::vector<RequestCoalescer::Parts> expectedRuns;
    };
    const std::vector<Case> cases = {
        {"ten full requests", std::vector<RequestCoalescer::Parts>(10, 1u), {1u}},
        {"mixed parts", {1u, 2u, 4u, 2u}, {7u}},
        {"a single request", {2u}, {2u}},
        {"an empty request asks for nothing", {0u}, {}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        Recorder r;
        for (const auto parts : c.requests)
            r.coalescer.request(parts);
        EXPECT_TRUE(r.runs.empty()) << c.what << ": ran before the event loop turned";
        QCoreApplication::processEvents();
        EXPECT_EQ(r.runs, c.expectedRuns) << c.what;
        EXPECT_EQ(r.coalescer.runCount(), c.expectedRuns.size()) << c.what;
        QCoreApplication::processEvents();
        EXPECT_EQ(r.runs.size(), c.expectedRuns.size()) << c.what << ": ran again";
    }
}

TEST(RequestCoalescer, RequestsOfSeparateTurnsRunSeparately) {
    app();
    Recorder r;
    r.coalescer.request(1u);
    QCoreApplication::processEvents();
    r.coalescer.request(2u);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.runs, (std::vector<RequestCoalescer::Parts>{1u, 2u}));
}

TEST(RequestCoalescer, FlushRunsThePendingWorkAtOnceAndThePostedCallThenDoesNothing) {
    app();
    Recorder r;
    r.coalescer.flush();
    EXPECT_TRUE(r.runs.empty()) << "nothing was pending";
    r.coalescer.request(1u);
    r.coalescer.request(4u);
    r.coalescer.flush();
    EXPECT_EQ(r.runs, (std::vector<RequestCoalescer::Parts>{5u}));
    EXPECT_EQ(r.coalescer.pending(), 0u);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.runs.size(), 1u);
    // A request after the flush posts a call of its own.
    r.coalescer.request(2u);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.runs, (std::vector<RequestCoalescer::Parts>{5u, 2u}));
}

TEST(RequestCoalescer, CancelDropsThePendingWork) {
    app();
    Recorder r;
    r.coalescer.request(1u);
    r.coalescer.cancel();
    QCoreApplication::processEvents();
    EXPECT_TRUE(r.runs.empty());
}

TEST(RequestCoalescer, ARequestMadeByTheWorkRunsInTheNextTurnNotInsideItself) {
    app();
    QObject context;
    int runs = 0;
    int depth = 0;
    int deepest = 0;
    std::unique_ptr<RequestCoalescer> coalescer;
    coalescer = std::make_unique<RequestCoalescer>(&context, [&](RequestCoalescer::Parts) {
        ++depth;
        deepest = std::max(deepest, depth);
        if (++runs == 1) {
            coalescer->request(1u);
            coalescer->flush(); // inside the work: covered by the run under way
        }
        --depth;
    });
    coalescer->request(1u);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(deepest, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 2) << "the request made by the work was lost";
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 2);
}

TEST(RequestCoalescer, APostedCallOutlivingItsCoalescerDoesNothing) {
    app();
    QObject context;
    int runs = 0;
    {
        RequestCoalescer coalescer(&context, [&](RequestCoalescer::Parts) { ++runs; });
        coalescer.request(1u);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0);
    // And one whose context is gone is dropped by Qt with it.
    auto owner = std::make_unique<QObject>();
    RequestCoalescer orphan(owner.get(), [&](RequestCoalescer::Parts) { ++runs; });
    orphan.request(1u);
    owner.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0);
}
