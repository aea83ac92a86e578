#pragma once

#include <QList>
#include <QString>

#include <vector>

namespace Quorvex3 {

/// A node of the folder tree of the datasets: a folder with children, or a
/// dataset (a leaf).
struct DatasetFolderNode {
    /// Folder name (last path component); empty for a dataset node.
    QString name;
    /// Index into the path list given to buildDatasetFolderTree (which is the
    /// index into the main window's datasets); -1 for a folder.
    int datasetIndex = -1;
    /// Sub-folders and datasets in the order they were first met in the
    /// path list; empty for a dataset.
    std::vector<DatasetFolderNode> children;
};

/// Groups dataset paths by the folders they lie in, keeping only the folder
/// levels nearest to the measurements.
///
/// A folder is kept when the deepest measurements beneath it lie fewer than
/// `depth` levels below it; a dataset whose own folder is not kept, and any
/// relative or empty path, goes to the top level. Example with depth 2:
/// /u/me/data/day1/a.rtdc and /u/me/data/day2/b.rtdc give one top-level
/// folder "data" holding "day1" (with a) and "day2" (with b); with depth 1
/// the top level holds "day1" and "day2".
///
/// @param paths dataset file paths in list order; node i refers to paths[i]
/// @param depth number of folder levels to show above the measurements
/// @return the top-level nodes in the order they were placed
std::vector<DatasetFolderNode> buildDatasetFolderTree(const QList<QString>& paths, int depth);

} // namespace Quorvex3
