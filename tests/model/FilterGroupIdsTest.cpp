// Overlay ids shared by dataset polygon rules and filter-group polygon rules.
#include "model/FilterGroup.h"

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

// ---- encodeGroupPolygonId ---------------------------------------------------

TEST(GroupPolygonId, EncodesGroupAndRuleIntoTheReservedRange) {
    EXPECT_EQ(encodeGroupPolygonId(0, 0), 1000000);
    EXPECT_EQ(encodeGroupPolygonId(2, 3), 1020003);
    EXPECT_EQ(encodeGroupPolygonId(0, 9999), 1009999);
    EXPECT_EQ(encodeGroupPolygonId(17, 42), 1170042);
}

// ---- decodeGroupPolygonId ---------------------------------------------------

TEST(GroupPolygonId, DecodingGivesBackGroupAndRule) {
    int group = -1;
    int rule = -1;
    decodeGroupPolygonId(1020003, group, rule);
    EXPECT_EQ(group, 2);
    EXPECT_EQ(rule, 3);
}

TEST(GroupPolygonId, RoundTripsWhileGroupsHoldFewerThanTenThousandRules) {
    for (int g : {0, 1, 2, 99, 1000, 21000}) {
        for (int r : {0, 1, 9998, 9999}) {
            int group = -1;
            int rule = -1;
            decodeGroupPolygonId(encodeGroupPolygonId(g, r), group, rule);
            EXPECT_EQ(group, g) << "g=" << g << " r=" << r;
            EXPECT_EQ(rule, r) << "g=" << g << " r=" << r;
        }
    }
}

// ---- isGroupPolygonId -------------------------------------------------------

TEST(GroupPolygonId, SeparatesGroupRulesFromDatasetRuleIndices) {
    EXPECT_FALSE(isGroupPolygonId(0));
    EXPECT_FALSE(isGroupPolygonId(5));
    EXPECT_FALSE(isGroupPolygonId(999999));
    EXPECT_TRUE(isGroupPolygonId(1000000));
    EXPECT_TRUE(isGroupPolygonId(encodeGroupPolygonId(3, 7)));
}

} // namespace
} // namespace Quorvex3
