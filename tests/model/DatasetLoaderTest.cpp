#include "model/DatasetLoader.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

using Quorvex3::DatasetLoader;
using Quorvex3::PreloadTicket;

// ===== preload generations ====================================================

TEST(DatasetLoader, OnePreloadAtATimeAndTheOthersQueueByIdOnce) {
    DatasetLoader loader;
    EXPECT_FALSE(loader.busy());
    EXPECT_EQ(loader.preloadingId(), -1);
    const auto first = loader.begin(7);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->datasetId, 7);
    EXPECT_TRUE(loader.busy());
    EXPECT_EQ(loader.preloadingId(), 7);
    EXPECT_FALSE(loader.begin(8));
    EXPECT_FALSE(loader.begin(8)); // queued once
    EXPECT_FALSE(loader.begin(7)); // the one under way is not queued again
    EXPECT_FALSE(loader.begin(9));
    EXPECT_EQ(loader.queuedPreloadCount(), 2u);
    EXPECT_TRUE(loader.finish(*first));
    EXPECT_FALSE(loader.busy());
    std::vector<int> order;
    for (auto next = loader.takeNext(); !next.empty(); next = loader.takeNext())
        order.push_back(*next.preloadDatasetId);
    EXPECT_EQ(order, (std::vector<int>{8, 9}));
}

TEST(DatasetLoader, ALateFinishNeverCountsForANewerPreload) {
    struct Case {
        const char* what;
        bool abandonFirst;
        bool sameDataset;
    };
    for (const Case& c : {Case{"abandoned, other dataset", true, false},
                          Case{"abandoned, same dataset again", true, true}}) {
        DatasetLoader loader;
        const auto old = loader.begin(1);
        ASSERT_TRUE(old);
        if (c.abandonFirst)
            loader.abandon();
        EXPECT_FALSE(loader.busy()) << c.what;
        const int newer = c.sameDataset ? 1 : 2;
        const auto current = loader.begin(newer);
        ASSERT_TRUE(current) << c.what;
        EXPECT_NE(current->generation, old->generation) << c.what;
        // The abandoned task reports late: nothing changes.
        EXPECT_FALSE(loader.finish(*old)) << c.what;
        EXPECT_TRUE(loader.busy()) << c.what;
        EXPECT_EQ(loader.preloadingId(), newer) << c.what;
        // The newer one's own finish counts, once.
        EXPECT_TRUE(loader.finish(*current)) << c.what;
        EXPECT_FALSE(loader.finish(*current)) << c.what;
        EXPECT_FALSE(loader.busy()) << c.what;
    }
}

TEST(DatasetLoader, AFinishOfAnAbandonedPreloadCountsForNothingWhileIdle) {
    DatasetLoader loader;
    const auto ticket = loader.begin(3);
    ASSERT_TRUE(ticket);
    loader.abandon();
    EXPECT_FALSE(loader.finish(*ticket));
    EXPECT_FALSE(loader.finish(PreloadTicket{})); // a ticket never handed out
    EXPECT_FALSE(loader.busy());
}

// A preload whose launch was still queued when it was given up must not
// start: its ticket is no longer current, also once a newer one runs.
TEST(DatasetLoader, OnlyThePreloadUnderWayHoldsTheCurrentTicket) {
    DatasetLoader loader;
    const auto first = loader.begin(3);
    ASSERT_TRUE(first);
    EXPECT_TRUE(loader.isCurrent(*first));
    loader.abandon();
    EXPECT_FALSE(loader.isCurrent(*first));
    const auto second = loader.begin(3); // the same dataset again
    ASSERT_TRUE(second);
    EXPECT_FALSE(loader.isCurrent(*first));
    EXPECT_TRUE(loader.isCurrent(*second));
    EXPECT_TRUE(loader.finish(*second));
    EXPECT_FALSE(loader.isCurrent(*second));
}

// A load given up empties its own queue and the queued preloads; paths
// chosen meanwhile still wait.
TEST(DatasetLoader, SessionAndPreloadQueuesEmptyWithoutThePendingPaths) {
    DatasetLoader loader;
    loader.begin(1);
    loader.begin(2);
    loader.queueSessionDataset(0, QStringLiteral("a.rtdc"));
    loader.addPendingPath(QStringLiteral("b.rtdc"));
    loader.clearSessionQueue();
    loader.clearPreloadQueue();
    EXPECT_EQ(loader.sessionQueueCount(), 0u);
    EXPECT_EQ(loader.queuedPreloadCount(), 0u);
    EXPECT_EQ(*loader.takeNext().path, QStringLiteral("b.rtdc"));
}

TEST(DatasetLoader, ForgettingADatasetDropsItsQueuedAndRunningPreloads) {
    DatasetLoader loader;
    const auto running = loader.begin(1);
    ASSERT_TRUE(running);
    loader.begin(2);
    loader.begin(3);
    loader.forget(2);
    EXPECT_EQ(loader.queuedPreloadCount(), 1u);
    EXPECT_TRUE(loader.busy());
    loader.forget(1);
    EXPECT_FALSE(loader.busy());
    EXPECT_FALSE(loader.finish(*running));
    EXPECT_EQ(*loader.takeNext().preloadDatasetId, 3);
}

// ===== the queues ===============================================================

TEST(DatasetLoader, QueuesDrainPreloadsThenSessionThenPathsEachFirstInFirstOut) {
    DatasetLoader loader;
    const auto running = loader.begin(10);
    loader.addPendingPath(QStringLiteral("/p1"));
    loader.queueSessionDataset(0, QStringLiteral("/s0"));
    loader.addPendingPath(QStringLiteral("/p2"));
    loader.begin(11);
    loader.queueSessionDataset(1, QStringLiteral("/s1"));
    EXPECT_EQ(loader.pendingPathCount(), 2u);
    EXPECT_EQ(loader.sessionQueueCount(), 2u);
    ASSERT_TRUE(loader.finish(*running));

    QStringList order;
    for (auto next = loader.takeNext(); !next.empty(); next = loader.takeNext()) {
        if (next.preloadDatasetId)
            order << QStringLiteral("id%1").arg(*next.preloadDatasetId);
        else if (next.sessionDataset)
            order << QStringLiteral("%1:%2")
                         .arg(next.sessionDataset->first)
                         .arg(next.sessionDataset->second);
        else
            order << *next.path;
    }
    EXPECT_EQ(order, (QStringList{"id11", "0:/s0", "1:/s1", "/p1", "/p2"}));
    loader.addPendingPath(QStringLiteral("/p3"));
    loader.clearQueues();
    EXPECT_TRUE(loader.takeNext().empty());
}
