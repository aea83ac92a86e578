// Folder tree of dataset paths, as shown by the dataset tree and the
// filter-group matrix.
#include "model/DatasetFolderNode.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <string>

namespace Quorvex3 {
namespace {

/// Compact text of a forest: folders as name{children}, datasets as their
/// index, siblings separated by commas.
std::string describe(const std::vector<DatasetFolderNode>& nodes) {
    std::string out;
    for (const DatasetFolderNode& node : nodes) {
        if (!out.empty())
            out += ',';
        if (node.datasetIndex >= 0) {
            EXPECT_TRUE(node.name.isEmpty());
            EXPECT_TRUE(node.children.empty());
            out += std::to_string(node.datasetIndex);
        } else {
            out += node.name.toStdString() + '{' + describe(node.children) + '}';
        }
    }
    return out;
}

std::string tree(const QStringList& paths, int depth) {
    return describe(buildDatasetFolderTree(paths, depth));
}

TEST(DatasetFolderTree, ShowsTheFolderLevelsNearestToTheMeasurements) {
    const QStringList paths{"/u/me/data/day1/a.rtdc", "/u/me/data/day2/b.rtdc"};
    EXPECT_EQ(tree(paths, 2), "data{day1{0},day2{1}}");
    EXPECT_EQ(tree(paths, 1), "day1{0},day2{1}");
    EXPECT_EQ(tree(paths, 4), "u{me{data{day1{0},day2{1}}}}");
}

TEST(DatasetFolderTree, TwoDatasetsOfOneFolderShowThatFolderAndItsParent) {
    EXPECT_EQ(tree({"/x/y/z/a.rtdc", "/x/y/z/b.rtdc"}, 2), "y{z{0,1}}");
}

TEST(DatasetFolderTree, ShallowPathsStopAtTheRootWhateverTheDepth) {
    EXPECT_EQ(tree({"/a/b/c.rtdc"}, 4), "a{b{0}}");
    EXPECT_EQ(tree({"/top.rtdc"}, 2), "0");
}

TEST(DatasetFolderTree, RelativeAndEmptyPathsGoToTheTopLevelInTheirPlace) {
    EXPECT_EQ(tree({"rel/a.rtdc", "/m/n/b.rtdc", "", "c.rtdc"}, 1), "0,n{1},2,3");
}

TEST(DatasetFolderTree, ChildrenFollowTheOrderOfThePaths) {
    EXPECT_EQ(tree({"/p/x/1.rtdc", "/p/y/2.rtdc", "/p/x/3.rtdc"}, 2), "p{x{0,2},y{1}}");
    EXPECT_EQ(tree({"/p/y/2.rtdc", "/p/x/1.rtdc"}, 2), "p{y{0},x{1}}");
}

TEST(DatasetFolderTree, DeeperMeasurementsBelowAFolderHideItAtSmallDepths) {
    // "run" holds a.rtdc directly and b.rtdc two levels further down: at
    // depth 1 only "deep" is close enough to its measurements to be shown.
    const QStringList paths{"/d/run/a.rtdc", "/d/run/sub/deep/b.rtdc"};
    EXPECT_EQ(tree(paths, 1), "0,deep{1}");
    EXPECT_EQ(tree(paths, 2), "0,sub{deep{1}}");
    EXPECT_EQ(tree(paths, 3), "run{0,sub{deep{1}}}");
}

TEST(DatasetFolderTree, EmptyPathListGivesNoNodes) {
    EXPECT_TRUE(buildDatasetFolderTree({}, 2).empty());
}

TEST(DatasetFolderTree, FolderNamesKeepSpecialCharacters) {
    EXPECT_EQ(tree({"/data/A&B <1>/a.rtdc"}, 1), "A&B <1>{0}");
}

} // namespace
} // namespace Quorvex3
