// The dataset store without a window: ids that are never reused, lookups,
// which row is active after a removal or a move, duplicates, the filter
// groups with their per-dataset switches, the effective filter of a dataset
// and the events it shows.
#include "model/DatasetStore.h"

#include "core/RTDCReader.h"
#include "core/ShownEvents.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <future>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

FilterRule rangeRule(const std::string& feature, double lo, double hi) {
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

FilterRule polygonRule(std::vector<std::pair<double, double>> vertices) {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = "area_um";
    rule.featureNameY = "deform";
    rule.polygonVertices = std::move(vertices);
    return rule;
}

std::unique_ptr<DatasetEntry> namedEntry(const std::string& name) {
    auto entry = std::make_unique<DatasetEntry>();
    entry->filePath = "/data/" + name + ".rtdc";
    entry->displayName = QString::fromStdString(name);
    entry->featuresLoaded = true;
    return entry;
}

/// A store holding datasets "d0", "d1", ... in that order, none active.
void fill(DatasetStore& store, int count) {
    for (int i = 0; i < count; ++i)
        store.append(namedEntry("d" + std::to_string(i)));
}

std::vector<std::string> names(const DatasetStore& store) {
    std::vector<std::string> out;
    for (const auto& entry : store.datasets())
        out.push_back(entry->displayName.toStdString());
    return out;
}

std::vector<std::string> groupNames(const DatasetStore& store) {
    std::vector<std::string> out;
    for (const auto& group : store.groups())
        out.push_back(group->name);
    return out;
}

std::vector<std::string> ruleFeatures(const EventFilter& filter) {
    std::vector<std::string> features;
    for (const FilterRule& rule : filter.rules())
        features.push_back(rule.featureName);
    return features;
}

std::string activeName(const DatasetStore& store) {
    const DatasetEntry* active = store.activeDataset();
    return active ? active->displayName.toStdString() : std::string("(none)");
}

// ---- ids and lookups ---------------------------------------------------------------

TEST(DatasetStoreIds, DatasetIdsCountUpAndAreNeverReusedAfterARemoval) {
    DatasetStore store;
    fill(store, 3);
    EXPECT_EQ(store.at(0)->id, 0);
    EXPECT_EQ(store.at(2)->id, 2);
    store.removeAt(2);
    EXPECT_EQ(store.at(store.append(namedEntry("d3")))->id, 3);
    // An id taken for an opening that then failed is gone as well.
    EXPECT_EQ(store.newDatasetId(), 4);
    auto opened = namedEntry("d5");
    opened->id = store.newDatasetId();
    EXPECT_EQ(store.at(store.append(std::move(opened)))->id, 5);
    EXPECT_EQ(store.at(store.duplicate(0))->id, 6);
}

TEST(DatasetStoreIds, LookupsByIdPathAndRow) {
    DatasetStore store;
    fill(store, 3);
    store.append(namedEntry("d1")); // the same path a second time, id 3
    struct Case {
        int id;
        int row;
    };
    for (const Case& c : {Case{0, 0}, Case{2, 2}, Case{3, 3}, Case{-1, -1}, Case{4, -1}}) {
        EXPECT_EQ(store.rowOfId(c.id), c.row) << c.id;
        EXPECT_EQ(store.findById(c.id), store.at(c.row)) << c.id;
    }
    EXPECT_EQ(store.findByPath("/data/d1.rtdc"), store.at(1));
    EXPECT_EQ(store.findByPath("/data/D1.rtdc"), nullptr);
    EXPECT_EQ(store.findByPath(""), nullptr);
    EXPECT_EQ(store.at(-1), nullptr);
    EXPECT_EQ(store.at(4), nullptr);
    EXPECT_EQ(store.activeDataset(), nullptr);
    EXPECT_EQ(store.activeDatasetId(), -1);
    store.setActiveRow(1);
    EXPECT_EQ(store.activeDatasetId(), 1);
    store.setActiveRow(4);
    EXPECT_EQ(store.activeRow(), -1);
}

// ---- removal -----------------------------------------------------------------------

TEST(DatasetStoreRemove, TheRowThatBecomesActive) {
    struct Case {
        const char* what;
        int count;
        int active;
        int removed;
        int returned;
        int activeAfter;
        std::string activeNameAfter;
    };
    const Case cases[] = {
        {"active middle: the row below takes over", 3, 1, 1, 1, -1, "(none)"},
        {"active first: the row below takes over", 3, 0, 0, 0, -1, "(none)"},
        {"active last: the new last row takes over", 3, 2, 2, 1, -1, "(none)"},
        {"only dataset: none is left", 1, 0, 0, -1, -1, "(none)"},
        {"a row above the active one: it shifts up", 3, 2, 0, 1, 1, "d2"},
        {"a row above the active one, next to it", 4, 2, 1, 1, 1, "d2"},
        {"a row below the active one: nothing shifts", 3, 0, 2, 0, 0, "d0"},
        {"none active", 3, -1, 1, -1, -1, "(none)"},
        {"row out of range: nothing changes", 3, 1, 3, 1, 1, "d1"},
        {"negative row: nothing changes", 3, 1, -1, 1, 1, "d1"},
    };
    for (const Case& c : cases) {
        DatasetStore store;
        fill(store, c.count);
        store.setActiveRow(c.active);
        EXPECT_EQ(store.removeAt(c.removed), c.returned) << c.what;
        EXPECT_EQ(store.activeRow(), c.activeAfter) << c.what;
        EXPECT_EQ(activeName(store), c.activeNameAfter) << c.what;
    }
}

TEST(DatasetStoreRemove, TakesOutExactlyThatRow) {
    DatasetStore store;
    fill(store, 4);
    store.removeAt(1);
    EXPECT_EQ(names(store), (std::vector<std::string>{"d0", "d2", "d3"}));
    store.removeAt(2);
    EXPECT_EQ(names(store), (std::vector<std::string>{"d0", "d2"}));
    store.removeAt(9);
    EXPECT_EQ(store.count(), 2);
}

// ---- reorder -----------------------------------------------------------------------

TEST(DatasetStoreMove, TheActiveRowFollowsItsDataset) {
    struct Case {
        int from;
        int destination;
        int active;
        std::vector<std::string> order;
        int activeAfter;
    };
    const Case cases[] = {
        {0, 2, 0, {"d1", "d2", "d0", "d3"}, 2}, // the active one moved down
        {3, 0, 3, {"d3", "d0", "d1", "d2"}, 0}, // the active one moved up
        {0, 3, 2, {"d1", "d2", "d3", "d0"}, 1}, // one from above passed it
        {3, 1, 2, {"d0", "d3", "d1", "d2"}, 3}, // one from below passed it
        {2, 3, 0, {"d0", "d1", "d3", "d2"}, 0}, // below it, no effect
        {1, 2, -1, {"d0", "d2", "d1", "d3"}, -1},
    };
    for (const Case& c : cases) {
        DatasetStore store;
        fill(store, 4);
        store.setActiveRow(c.active);
        const DatasetEntry* active = store.activeDataset();
        EXPECT_TRUE(store.move(c.from, c.destination));
        EXPECT_EQ(names(store), c.order) << c.from << " -> " << c.destination;
        EXPECT_EQ(store.activeRow(), c.activeAfter) << c.from << " -> " << c.destination;
        EXPECT_EQ(store.activeDataset(), active);
    }
    DatasetStore store;
    fill(store, 2);
    EXPECT_FALSE(store.move(0, 2));
    EXPECT_FALSE(store.move(-1, 0));
    EXPECT_EQ(names(store), (std::vector<std::string>{"d0", "d1"}));
}

// The listed ids lead in the listed order; the rest keep theirs after them.
TEST(DatasetStoreReorder, ListedIdsLeadAndTheActiveDatasetIsFollowed) {
    struct Case {
        std::vector<int> ids;
        int active;
        std::vector<std::string> order;
        int activeAfter;
    };
    const Case cases[] = {
        {{0, 2, 3, 1}, 3, {"d0", "d2", "d3", "d1"}, 2},
        {{3, 1}, 0, {"d3", "d1", "d0", "d2"}, 2},
        {{2, 9, 2, -1}, 2, {"d2", "d0", "d1", "d3"}, 0}, // unknown and repeated ids
        {{}, 1, {"d0", "d1", "d2", "d3"}, 1},
        {{1, 0}, -1, {"d1", "d0", "d2", "d3"}, -1},
    };
    for (const Case& c : cases) {
        DatasetStore store;
        fill(store, 4);
        store.setActiveRow(c.active);
        const DatasetEntry* active = store.activeDataset();
        store.reorder(c.ids);
        EXPECT_EQ(names(store), c.order);
        EXPECT_EQ(store.activeRow(), c.activeAfter);
        EXPECT_EQ(store.activeDataset(), active);
        EXPECT_EQ(store.count(), 4);
    }
}

// ---- duplicate ---------------------------------------------------------------------

TEST(DatasetStoreDuplicate, CopiesTheViewAndFilterButNotCalculationsOrSwitches) {
    DatasetStore store;
    fill(store, 2);
    DatasetEntry& source = *store.at(1);
    source.xFeatureName = "area_um";
    source.yFeatureName = "deform";
    source.colorFeatureName = "__density_kde";
    source.currentEventIndex = 4;
    source.filter.addRule(rangeRule("area_um", 1, 2));
    source.filter.setCombineMode(FilterCombineMode::NOT);
    source.contourMode = 2;
    source.contourFraction1 = 0.2;
    source.contourFraction2 = 0.5;
    source.scaleXMode = 1;
    source.scaleYMode = 2;
    source.failedFeatures = {"bright_avg"};
    source.emodApplied = true;
    source.flRefinementApplied = true;
    source.reader = std::make_shared<RTDCReader>();
    const int g = store.addGroup("G");
    store.setGroupEnabled(source.id, g, true);
    store.setActiveRow(0);

    const int row = store.duplicate(1);
    ASSERT_EQ(row, 2);
    const DatasetEntry& copy = *store.at(row);
    EXPECT_EQ(copy.displayName, QStringLiteral("d1 (copy)"));
    EXPECT_EQ(copy.reader, source.reader);
    EXPECT_EQ(copy.filePath, source.filePath);
    EXPECT_EQ(copy.xFeatureName, "area_um");
    EXPECT_EQ(copy.yFeatureName, "deform");
    EXPECT_EQ(copy.colorFeatureName, "__density_kde");
    EXPECT_EQ(copy.currentEventIndex, 4);
    EXPECT_EQ(ruleFeatures(copy.filter), (std::vector<std::string>{"area_um"}));
    EXPECT_EQ(copy.filter.combineMode(), FilterCombineMode::NOT);
    EXPECT_EQ(copy.contourMode, 2);
    EXPECT_EQ(copy.contourFraction1, 0.2);
    EXPECT_EQ(copy.contourFraction2, 0.5);
    EXPECT_EQ(copy.scaleXMode, 1);
    EXPECT_EQ(copy.scaleYMode, 2);
    EXPECT_TRUE(copy.featuresLoaded);
    EXPECT_EQ(copy.failedFeatures, source.failedFeatures);
    EXPECT_FALSE(copy.emodApplied);
    EXPECT_FALSE(copy.flRefinementApplied);
    EXPECT_TRUE(copy.groupEnabled.empty());
    EXPECT_FALSE(store.isGroupEnabled(&copy, g));
    EXPECT_EQ(store.activeRow(), 0);

    store.at(0)->featuresLoaded = false;
    EXPECT_EQ(store.duplicate(0), -1);
    EXPECT_EQ(store.duplicate(7), -1);
    EXPECT_EQ(store.count(), 3);
}

// ---- group ids and names -----------------------------------------------------------

TEST(DatasetStoreGroups, FirstGroupIsIdZeroNamedFilterGroup1AndIdsAreNeverReused) {
    DatasetStore store;
    EXPECT_EQ(store.addGroup(""), 0);
    EXPECT_EQ(groupNames(store), (std::vector<std::string>{"Filter group 1"}));
    EXPECT_TRUE(store.removeGroup(0));
    EXPECT_TRUE(store.groups().empty());
    EXPECT_EQ(store.addGroup(""), 1);
    EXPECT_EQ(groupNames(store), (std::vector<std::string>{"Filter group 2"}));
    EXPECT_EQ(store.addGroup("Gate"), 2);
    EXPECT_EQ(store.addGroup("Gate"), 3);
    EXPECT_EQ(store.addGroup(""), 4);
    EXPECT_EQ(groupNames(store),
              (std::vector<std::string>{"Filter group 2", "Gate", "Gate", "Filter group 5"}));
}

// Groups read from a session keep their ids; the next new group gets an id
// above all of them, however low the stored next id was.
TEST(DatasetStoreGroups, ReplacedGroupsKeepTheirIdsAndTheNextIdPassesThemAll) {
    DatasetStore store;
    store.addGroup("old");
    std::vector<FilterGroup> stored(3);
    const int ids[] = {0, 4, 2};
    for (int k = 0; k < 3; ++k) {
        stored[k].id = ids[k];
        stored[k].name = "g" + std::to_string(ids[k]);
    }
    store.replaceGroups(stored, 3);
    EXPECT_EQ(groupNames(store), (std::vector<std::string>{"g0", "g4", "g2"}));
    EXPECT_EQ(store.nextGroupId(), 5);
    EXPECT_EQ(store.addGroup(""), 5);
    store.replaceGroups({}, 7);
    EXPECT_TRUE(store.groups().empty());
    EXPECT_EQ(store.nextGroupId(), 7);
    store.replaceGroups({}, -4);
    EXPECT_EQ(store.nextGroupId(), 0);
}

// A stored next id equal to a kept id (a hand-edited or older session) must
// not hand that id out a second time.
TEST(DatasetStoreGroups, AStoredNextIdThatAKeptGroupHoldsIsPassed) {
    struct Case {
        std::vector<int> ids;
        int storedNext;
        int expectedNext;
    };
    const Case cases[] = {
        {{3}, 3, 4}, {{0}, 0, 1}, {{5, 3}, 3, 6}, {{3}, 4, 4}, {{3}, 9, 9},
    };
    for (const Case& c : cases) {
        DatasetStore store;
        std::vector<FilterGroup> stored(c.ids.size());
        for (std::size_t k = 0; k < c.ids.size(); ++k)
            stored[k].id = c.ids[k];
        store.replaceGroups(stored, c.storedNext);
        EXPECT_EQ(store.nextGroupId(), c.expectedNext) << "next " << c.storedNext;
        const int added = store.addGroup("new");
        EXPECT_EQ(added, c.expectedNext);
        for (const int kept : c.ids)
            EXPECT_NE(added, kept);
    }
}

// Clearing removes datasets and groups; dataset ids keep growing, group
// ids start again from 0.
TEST(DatasetStoreGroups, ClearingAllRestartsGroupIdsButNotDatasetIds) {
    DatasetStore store;
    store.append(namedEntry("a"));
    store.append(namedEntry("b"));
    store.setActiveRow(1);
    store.addGroup("g");
    store.addGroup("h");
    store.clearAll();
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(store.activeRow(), -1);
    EXPECT_TRUE(store.groups().empty());
    EXPECT_EQ(store.addGroup(""), 0);
    EXPECT_EQ(store.nextDatasetId(), 2);
    EXPECT_EQ(store.newDatasetId(), 2);
}

TEST(DatasetStoreGroups, RenameChangesOnlyTheNamedGroupAndIgnoresUnknownIds) {
    DatasetStore store;
    store.addGroup("A");
    const int b = store.addGroup("B");
    EXPECT_TRUE(store.renameGroup(b, "Beads \xc2\xb5m"));
    EXPECT_FALSE(store.renameGroup(99, "Nobody"));
    EXPECT_EQ(groupNames(store), (std::vector<std::string>{"A", "Beads \xc2\xb5m"}));
    EXPECT_EQ(store.findGroupById(b)->name, "Beads \xc2\xb5m");
    EXPECT_EQ(store.findGroupById(99), nullptr);
}

TEST(DatasetStoreGroups, RemovingAnUnknownIdChangesNothing) {
    DatasetStore store;
    fill(store, 1);
    const int a = store.addGroup("A");
    store.setGroupEnabled(store.at(0)->id, a, true);
    EXPECT_FALSE(store.removeGroup(7));
    EXPECT_EQ(groupNames(store), (std::vector<std::string>{"A"}));
    EXPECT_TRUE(store.isGroupEnabled(store.at(0), a));
}

// ---- rules of a group --------------------------------------------------------------

TEST(DatasetStoreGroups, RulesCopiedIntoAGroupLoseOnlyTheirPropagationId) {
    DatasetStore store;
    const int id = store.addGroup("G");
    FilterRule polygon = polygonRule({{1.0, 2.0}, {3.0, 4.0}, {5.0, 1.0}});
    polygon.scaleXMode = 1;
    polygon.scaleYMode = 2;
    polygon.inverted = true;
    polygon.propagationId = "{00000000-0000-0000-0000-000000000001}";
    EXPECT_TRUE(store.addRuleToGroup(id, polygon));
    EXPECT_FALSE(store.addRuleToGroup(99, polygon));

    const FilterGroup* group = store.findGroupById(id);
    ASSERT_EQ(group->rules.size(), 1u);
    const FilterRule& stored = group->rules[0];
    EXPECT_TRUE(stored.propagationId.empty());
    EXPECT_EQ(stored.type, 1);
    EXPECT_EQ(stored.polygonVertices, polygon.polygonVertices);
    EXPECT_EQ(stored.scaleXMode, 1);
    EXPECT_EQ(stored.scaleYMode, 2);
    EXPECT_TRUE(stored.inverted);
    EXPECT_EQ(stored.featureNameY, "deform");
}

TEST(DatasetStoreGroups, UpdateAndRemoveActOnlyOnIndicesInRange) {
    DatasetStore store;
    const int id = store.addGroup("G");
    for (int i = 0; i < 5; ++i)
        store.addRuleToGroup(id, rangeRule("f" + std::to_string(i), i, i + 1));
    FilterRule replacement = rangeRule("deform", 0.1, 0.2);
    replacement.propagationId = "{00000000-0000-0000-0000-000000000002}";

    EXPECT_FALSE(store.updateRuleInGroup(id, 5, replacement));
    EXPECT_FALSE(store.updateRuleInGroup(id, -1, replacement));
    EXPECT_FALSE(store.updateRuleInGroup(42, 0, replacement));
    EXPECT_FALSE(store.removeRuleFromGroup(id, 5));
    EXPECT_FALSE(store.removeRuleFromGroup(id, -1));
    EXPECT_FALSE(store.removeRuleFromGroup(42, 0));
    const FilterGroup* group = store.findGroupById(id);
    ASSERT_EQ(group->rules.size(), 5u);
    EXPECT_EQ(group->rules[4].featureName, "f4");

    EXPECT_TRUE(store.updateRuleInGroup(id, 2, replacement));
    EXPECT_EQ(group->rules[2].featureName, "deform");
    EXPECT_EQ(group->rules[2].maxValue, 0.2);
    EXPECT_TRUE(group->rules[2].propagationId.empty());

    EXPECT_TRUE(store.removeRuleFromGroup(id, 1));
    std::vector<std::string> left;
    for (const FilterRule& rule : group->rules)
        left.push_back(rule.featureName);
    EXPECT_EQ(left, (std::vector<std::string>{"f0", "deform", "f3", "f4"}));
}

// ---- per-dataset switches ----------------------------------------------------------

TEST(DatasetStoreSwitches, NewGroupIsExplicitlyOffInOpenDatasetsAndMissingInLaterOnes) {
    DatasetStore store;
    fill(store, 2);
    store.setGroupEnabledInAll(store.addGroup("Earlier"), true);
    const int id = store.addGroup("");
    for (int row = 0; row < 2; ++row) {
        ASSERT_EQ(store.at(row)->groupEnabled.count(id), 1u);
        EXPECT_FALSE(store.at(row)->groupEnabled.at(id));
    }
    store.append(namedEntry("later"));
    EXPECT_EQ(store.at(2)->groupEnabled.count(id), 0u);
    EXPECT_FALSE(store.isGroupEnabled(store.at(2), id));
    EXPECT_FALSE(store.isGroupEnabled(nullptr, id));
    EXPECT_EQ(store.groups().back()->id, id);
}

TEST(DatasetStoreSwitches, AMissingSwitchCountsAsOffEverywhere) {
    DatasetStore store;
    fill(store, 1);
    const int g = store.addGroup("G");
    store.addRuleToGroup(g, rangeRule("area_um", 25, 100));
    store.append(namedEntry("later")); // opened after the group: no key
    DatasetEntry* later = store.at(1);
    ASSERT_EQ(later->groupEnabled.count(g), 0u);
    EXPECT_FALSE(store.isGroupEnabled(later, g));
    EXPECT_EQ(store.buildEffectiveFilter(later).ruleCount(), 0);
    // The one opened before holds an explicit off: both agree.
    EXPECT_FALSE(store.groupSwitchDiverges(*later, g));
    store.setGroupEnabled(store.at(0)->id, g, true);
    EXPECT_TRUE(store.groupSwitchDiverges(*later, g));
    EXPECT_TRUE(store.groupSwitchDiverges(*store.at(0), g));
}

TEST(DatasetStoreSwitches, StoredPerDatasetOrForAllAndErasedWithTheGroup) {
    DatasetStore store;
    fill(store, 2);
    DatasetEntry* first = store.at(0);
    DatasetEntry* second = store.at(1);
    const int a = store.addGroup("A");
    const int b = store.addGroup("B");

    EXPECT_TRUE(store.setGroupEnabled(first->id, a, true));
    EXPECT_TRUE(store.isGroupEnabled(first, a));
    EXPECT_FALSE(store.isGroupEnabled(second, a));
    // A dataset id that names nothing changes nothing.
    EXPECT_FALSE(store.setGroupEnabled(12345, b, true));
    EXPECT_FALSE(store.isGroupEnabled(first, b));
    EXPECT_FALSE(store.isGroupEnabled(second, b));
    // The key is stored although no group has that id.
    EXPECT_TRUE(store.setGroupEnabled(second->id, 77, true));
    EXPECT_TRUE(second->groupEnabled.at(77));

    store.setGroupEnabledInAll(b, true);
    EXPECT_TRUE(store.isGroupEnabled(first, b));
    EXPECT_TRUE(store.isGroupEnabled(second, b));

    EXPECT_TRUE(store.removeGroup(a));
    EXPECT_EQ(first->groupEnabled.count(a), 0u);
    EXPECT_EQ(second->groupEnabled.count(a), 0u);
    EXPECT_TRUE(store.isGroupEnabled(second, b));
}

TEST(DatasetStoreSwitches, SeveralGroupsOfOneDatasetAtOnce) {
    DatasetStore store;
    fill(store, 2);
    const int a = store.addGroup("A");
    const int b = store.addGroup("B");
    EXPECT_TRUE(store.setGroupsEnabled(store.at(0)->id, {a, b}, true));
    EXPECT_TRUE(store.isGroupEnabled(store.at(0), a));
    EXPECT_TRUE(store.isGroupEnabled(store.at(0), b));
    EXPECT_FALSE(store.isGroupEnabled(store.at(1), a));
    EXPECT_FALSE(store.setGroupsEnabled(-5, {a}, true));
    EXPECT_FALSE(store.setGroupsEnabled(store.at(1)->id, {}, true));
    EXPECT_FALSE(store.isGroupEnabled(store.at(1), a));
}

// ---- effective filter --------------------------------------------------------------

TEST(DatasetStoreEffectiveFilter, OfNoDatasetIsEnabledAndEmpty) {
    DatasetStore store;
    store.addGroup("A");
    const EventFilter effective = store.buildEffectiveFilter(nullptr);
    EXPECT_TRUE(effective.isEnabled());
    EXPECT_EQ(effective.combineMode(), FilterCombineMode::AND);
    EXPECT_EQ(effective.ruleCount(), 0);
}

TEST(DatasetStoreEffectiveFilter, IsOwnRulesThenSwitchedOnGroupsInGroupOrder) {
    DatasetStore store;
    fill(store, 1);
    DatasetEntry* entry = store.at(0);
    entry->filter.addRule(rangeRule("own1", 0, 1));
    entry->filter.addRule(rangeRule("own2", 0, 1));
    const int a = store.addGroup("A");
    const int off = store.addGroup("Off");
    const int c = store.addGroup("C");
    store.addRuleToGroup(a, rangeRule("a1", 0, 1));
    FilterRule disabled = rangeRule("a2", 0, 1);
    disabled.enabled = false;
    store.addRuleToGroup(a, disabled);
    store.addRuleToGroup(off, rangeRule("off1", 0, 1));
    store.addRuleToGroup(c, rangeRule("c1", 0, 1));
    // Switched on in reverse order: the group list decides the order.
    store.setGroupEnabled(entry->id, c, true);
    store.setGroupEnabled(entry->id, a, true);

    const EventFilter effective = store.buildEffectiveFilter(entry);
    EXPECT_EQ(ruleFeatures(effective),
              (std::vector<std::string>{"own1", "own2", "a1", "a2", "c1"}));
    EXPECT_FALSE(effective.rules()[3].enabled);
    // The dataset's own filter is left as it was.
    EXPECT_EQ(entry->filter.ruleCount(), 2);
}

TEST(DatasetStoreEffectiveFilter, DatasetFilterSwitchedOffSwitchesOffTheWholeResult) {
    DatasetStore store;
    fill(store, 1);
    DatasetEntry* entry = store.at(0);
    entry->filter.setEnabled(false);
    const int g = store.addGroup("G");
    store.addRuleToGroup(g, rangeRule("area_um", 15, 45));
    store.setGroupEnabled(entry->id, g, true);
    const EventFilter effective = store.buildEffectiveFilter(entry);
    EXPECT_FALSE(effective.isEnabled());
    EXPECT_EQ(ruleFeatures(effective), (std::vector<std::string>{"area_um"}));
}

TEST(DatasetStoreEffectiveFilter, CombineModeOfTheDatasetGovernsGroupRulesToo) {
    DatasetStore store;
    fill(store, 1);
    DatasetEntry* entry = store.at(0);
    // area_um 10..50 passes [15, 45] at events 1, 2, 3; deform 0.05..0.01
    // passes [0.025, 0.06] at events 0, 1, 2. Both: events 1 and 2.
    entry->filter.addRule(rangeRule("area_um", 15, 45));
    const int g = store.addGroup("G");
    store.addRuleToGroup(g, rangeRule("deform", 0.025, 0.06));
    store.setGroupEnabled(entry->id, g, true);

    const std::vector<double> area{10, 20, 30, 40, 50};
    const std::vector<double> deform{0.05, 0.04, 0.03, 0.02, 0.01};
    const EventFilter::FeatureMap columns{{"area_um", &area}, {"deform", &deform}};
    EXPECT_EQ(store.buildEffectiveFilter(entry).apply(columns, 5), (std::vector<int>{1, 2}));

    // NOT: shown when failing either rule.
    entry->filter.setCombineMode(FilterCombineMode::NOT);
    const EventFilter effective = store.buildEffectiveFilter(entry);
    EXPECT_EQ(effective.combineMode(), FilterCombineMode::NOT);
    EXPECT_EQ(effective.apply(columns, 5), (std::vector<int>{0, 3, 4}));
}

// ---- shown events ------------------------------------------------------------------

class ShownEvents : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = m_dir.file("m.rtdc");
        {
            // area_um 10 .. 50, deform 0.05 .. 0.01, one event without a
            // finite area.
            Quorvex3::testing::RtdcFixtureWriter writer(path);
            writer.addColumn<double>("area_um", {10.0, 20.0, 30.0, 40.0, 50.0,
                                                 std::numeric_limits<double>::quiet_NaN()});
            writer.addColumn<double>("deform", {0.05, 0.04, 0.03, 0.02, 0.01, 0.0});
        }
        ASSERT_TRUE(m_reader.openFile(path));
    }

    Quorvex3::testing::TempDir m_dir;
    RTDCReader m_reader;
};

TEST_F(ShownEvents, UnderTheEffectiveFilterOfADataset) {
    struct Case {
        const char* what;
        std::vector<FilterRule> rules;
        FilterCombineMode mode;
        bool enabled;
        std::vector<int> shown;
    };
    FilterRule inverted = rangeRule("area_um", 15, 45);
    inverted.inverted = true;
    FilterRule disabled = rangeRule("area_um", 15, 45);
    disabled.enabled = false;
    const std::vector<Case> cases = {
        {"no rules: every event", {}, FilterCombineMode::AND, true, {0, 1, 2, 3, 4, 5}},
        {"switched off: every event",
         {rangeRule("area_um", 15, 45)},
         FilterCombineMode::AND,
         false,
         {0, 1, 2, 3, 4, 5}},
        {"one range", {rangeRule("area_um", 15, 45)}, FilterCombineMode::AND, true, {1, 2, 3}},
        {"two ranges",
         {rangeRule("area_um", 15, 45), rangeRule("deform", 0.025, 0.06)},
         FilterCombineMode::AND,
         true,
         {1, 2}},
        {"NOT of two ranges",
         {rangeRule("area_um", 15, 45), rangeRule("deform", 0.025, 0.06)},
         FilterCombineMode::NOT,
         true,
         {0, 3, 4, 5}},
        {"inverted range", {inverted}, FilterCombineMode::AND, true, {0, 4, 5}},
        {"disabled rule alone", {disabled}, FilterCombineMode::AND, true, {0, 1, 2, 3, 4, 5}},
        {"polygon",
         {polygonRule({{15.0, 0.0}, {35.0, 0.0}, {35.0, 0.1}, {15.0, 0.1}})},
         FilterCombineMode::AND,
         true,
         {1, 2}},
        {"rule on a missing feature takes no part",
         {rangeRule("bright_avg", 0, 1), rangeRule("deform", 0.035, 1)},
         FilterCombineMode::AND,
         true,
         {0, 1}},
    };
    for (const Case& c : cases) {
        DatasetStore store;
        store.append(namedEntry("d"));
        DatasetEntry* entry = store.at(0);
        entry->filter.setCombineMode(c.mode);
        entry->filter.setEnabled(c.enabled);
        // The rules reach the dataset through a switched-on group.
        const int g = store.addGroup("G");
        for (const FilterRule& rule : c.rules)
            store.addRuleToGroup(g, rule);
        store.setGroupEnabled(entry->id, g, true);
        EXPECT_EQ(shownEvents(m_reader, store.buildEffectiveFilter(entry)), c.shown) << c.what;
        // The statistical evaluation applies the rules whatever the switch.
        entry->filter.setEnabled(true);
        const std::vector<int> byRules = shownEvents(m_reader, store.buildEffectiveFilter(entry));
        entry->filter.setEnabled(c.enabled);
        EXPECT_EQ(shownEventsByRules(m_reader, store.buildEffectiveFilter(entry)), byRules)
            << c.what;
    }
    EventFilter off;
    off.addRule(rangeRule("area_um", 15, 45));
    off.setEnabled(false);
    EXPECT_EQ(shownEventsByRules(m_reader, off), (std::vector<int>{1, 2, 3}));
}

TEST_F(ShownEvents, RunsOnAPoolThreadAndGivesWhatTheGuiThreadGets) {
    EventFilter filter;
    filter.addRule(rangeRule("area_um", 15, 45));
    std::future<std::vector<int>> pooled =
        std::async(std::launch::async, [this, filter] { return shownEvents(m_reader, filter); });
    EXPECT_EQ(pooled.get(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(shownEvents(m_reader, filter), (std::vector<int>{1, 2, 3}));
}

// The scalar features an export or a filter offers: images and traces of
// the measurement are left out, the reader's order is kept, and an entry
// without a measurement has none.
TEST(DatasetEntryScalarFeatures, OnlyScalarFeaturesInTheReadersOrder) {
    testing::TempDir dir;
    const std::string path = dir.file("mixed.rtdc");
    {
        testing::RtdcFixtureWriter w(path);
        w.addColumn<double>("deform", {0.1, 0.2});
        w.addImageStack("image", 2, 2, 3, std::vector<uint8_t>(12, 100));
        w.addColumn<double>("area_um", {10, 20});
        w.addTrace("fl1_raw", 2, 4, std::vector<int16_t>(8, 5));
    }
    DatasetEntry entry;
    EXPECT_TRUE(scalarFeaturesOf(nullptr).empty());
    EXPECT_TRUE(scalarFeaturesOf(&entry).empty());
    entry.reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(entry.reader->openFile(path));
    std::vector<std::string> expected;
    for (const std::string& name : entry.reader->getAvailableFeatures())
        if (name == "deform" || name == "area_um")
            expected.push_back(name);
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(scalarFeaturesOf(&entry), expected);
}

} // namespace
} // namespace Quorvex3
