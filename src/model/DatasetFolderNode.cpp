#include "model/DatasetFolderNode.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>

namespace Quorvex3 {

namespace {

/// What is known of one folder key (c1/c2/.../ck) across all paths.
struct FolderRecord {
    QString name;
    QString parentKey;
    int level = 0;
    int deepest = 0;
};

/// Nodes are built flat first and nested at the end, because children are
/// attached to a folder after the folder itself has been placed.
struct FlatNode {
    QString name;
    int datasetIndex = -1;
    std::vector<int> children;
};

/// Folder components of an absolute path's directory; none for a relative
/// or empty path.
QStringList folderComponents(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isAbsolute())
        return {};
    return QFileInfo(path).absolutePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

class TreeBuilder {
public:
    explicit TreeBuilder(int depth) : m_depth(depth) {}

    /// Registers every folder key below the path's directory and raises
    /// their `deepest`. Returns the key of the path's own folder.
    QString recordFolders(const QStringList& components) {
        const int n = components.size();
        QString key;
        for (int level = 1; level <= n; ++level) {
            const QString parentKey = key;
            const QString& name = components[level - 1];
            key = level == 1 ? name : parentKey + QLatin1Char('/') + name;
            auto it = m_folders.find(key);
            if (it == m_folders.end())
                it = m_folders.insert(key, FolderRecord{name, parentKey, level, n});
            it->deepest = std::max(it->deepest, n);
        }
        return key;
    }

    void placeDataset(int index, const QString& folderKey) {
        const int node = newNode(QString(), index);
        if (folderKey.isEmpty() || !folderShown(folderKey))
            m_topLevel.push_back(node);
        else
            m_nodes[folderNode(folderKey)].children.push_back(node);
    }

    std::vector<DatasetFolderNode> result() const {
        std::vector<DatasetFolderNode> out;
        out.reserve(m_topLevel.size());
        for (int node : m_topLevel)
            out.push_back(materialise(node));
        return out;
    }

private:
    bool folderShown(const QString& key) const {
        const FolderRecord record = m_folders.value(key);
        return record.deepest - record.level < m_depth;
    }

    int newNode(const QString& name, int datasetIndex) {
        m_nodes.push_back(FlatNode{name, datasetIndex, {}});
        return static_cast<int>(m_nodes.size()) - 1;
    }

    /// The node of a folder, created and placed on first request.
    int folderNode(const QString& key) {
        const auto existing = m_folderNodes.constFind(key);
        if (existing != m_folderNodes.constEnd())
            return existing.value();
        const FolderRecord record = m_folders.value(key);
        const int node = newNode(record.name, -1);
        m_folderNodes.insert(key, node);
        if (!record.parentKey.isEmpty() && folderShown(record.parentKey)) {
            const int parent = folderNode(record.parentKey);
            m_nodes[parent].children.push_back(node);
        } else {
            m_topLevel.push_back(node);
        }
        return node;
    }

    DatasetFolderNode materialise(int index) const {
        const FlatNode& flat = m_nodes[index];
        DatasetFolderNode node;
        node.name = flat.name;
        node.datasetIndex = flat.datasetIndex;
        node.children.reserve(flat.children.size());
        for (int child : flat.children)
            node.children.push_back(materialise(child));
        return node;
    }

    int m_depth;
    QHash<QString, FolderRecord> m_folders;
    QHash<QString, int> m_folderNodes;
    std::vector<FlatNode> m_nodes;
    std::vector<int> m_topLevel;
};

} // namespace

std::vector<DatasetFolderNode> buildDatasetFolderTree(const QList<QString>& paths, int depth) {
    TreeBuilder builder(depth);
    QStringList folderKeys;
    folderKeys.reserve(paths.size());
    for (const QString& path : paths)
        folderKeys.append(builder.recordFolders(folderComponents(path)));
    for (int i = 0; i < paths.size(); ++i)
        builder.placeDataset(i, folderKeys[i]);
    return builder.result();
}

} // namespace Quorvex3
