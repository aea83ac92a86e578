#include "model/FilterGroup.h"

namespace Quorvex3 {

namespace {
constexpr int kGroupIdBase = 1000000;
constexpr int kRulesPerGroup = 10000;
} // namespace

int encodeGroupPolygonId(int groupId, int ruleIndex) {
    return kGroupIdBase + groupId * kRulesPerGroup + ruleIndex;
}

void decodeGroupPolygonId(int id, int& groupId, int& ruleIndex) {
    const int offset = id - kGroupIdBase;
    groupId = offset / kRulesPerGroup;
    ruleIndex = offset - groupId * kRulesPerGroup;
}

bool isGroupPolygonId(int id) {
    return id > kGroupIdBase - 1;
}

} // namespace Quorvex3
