#pragma once

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>
#include <QWidget>

#include <string>
#include <vector>

class QDragEnterEvent;
class QDropEvent;
class QShowEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace Quorvex3 {

class DatasetStore;

/// One dataset in one category, with its subject and replicate numbers
/// (0 or less: not assigned).
struct CategoryDatasetEntry {
    int datasetId = -1;
    QString displayName;    ///< the dataset's name when added; follows renames
    std::string sampleName; ///< metadata "experiment:sample", empty when missing
    int numberId = 0;       ///< subject or sample number
    int bioRepId = 0;       ///< biological replicate number
    int techRepId = 0;      ///< technical replicate number
};

/// One category of the statistical evaluation window: a colour, an editable
/// name and an ordered list of datasets (by id) with their replicate numbers.
/// Datasets enter through "Add..." or by a dataset drag from the main
/// window. The panel never deletes itself: "Delete" only asks
/// (deleteRequested).
class CategoryPanel : public QWidget {
    Q_OBJECT

public:
    /// `store` (not owned) is where dataset ids are looked up.
    CategoryPanel(const QString& name, bool removable, const QColor& color,
                  const DatasetStore* store, QWidget* parent = nullptr);

    /// The current text of the name field.
    QString categoryName() const;
    /// Stores the name and shows it; emits nothing.
    void setCategoryName(const QString& name);
    /// Stores the colour, restyles the colour button, emits changed().
    void setColor(const QColor& color);

    const std::vector<CategoryDatasetEntry>& entries() const { return m_entries; }
    QColor color() const { return m_color; }
    bool isRemovable() const { return m_removable; }
    bool showNumbers() const { return m_showNumbers; }
    bool techRepMode() const { return m_techRepMode; }

    /// Adds the dataset unless this panel holds it already, the store does
    /// not know it, or its features are not loaded (or it has no reader).
    /// True, with changed() emitted, when an entry was added.
    bool tryAddDataset(int datasetId);
    /// Appends a copy of `entry` as it is (no duplicate check); emits nothing.
    void addEntry(const CategoryDatasetEntry& entry);

    /// Set one number of the first entry with that dataset id; emit nothing.
    void setNumberId(int datasetId, int value);
    void setBioRepId(int datasetId, int value);
    void setTechRepId(int datasetId, int value);

    /// Whether rows show, and the dialogs edit, the numbers.
    void setShowNumbers(bool on);
    /// Whether rows show, and the dialog edits, all three numbers.
    void setTechRepMode(bool on);

    /// Drops every entry of the dataset; emits changed() when one went.
    void onDatasetRemoved(int datasetId);
    /// Shows the new name of the dataset; emits nothing.
    void onDatasetRenamed(int datasetId, const QString& name);

    /// The HTML text of the row of `entry` under the given modes.
    static QString rowHtml(const CategoryDatasetEntry& entry, bool showNumbers, bool techRepMode);

signals:
    /// Entries, numbers, name or colour changed through the panel.
    void changed();
    /// "Delete" was clicked.
    void deleteRequested(CategoryPanel* panel);

public slots:
    void onAddDatasets();
    void onClearAll();
    void onRemoveSelected();

protected:
    /// Measures the list's rows again once the panel has its final look.
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void chooseColor();
    void rebuildList();
    /// Keeps at least five rows of the list in view.
    void keepRowsInView();
    /// Keeps the whole name in view: the name field is never narrower than
    /// its text, so the panel (and the dock) is as wide as its name needs.
    void keepNameInView();
    /// Index of the first entry with that dataset id, -1 when none.
    int indexOf(int datasetId) const;
    void editIdsOfRow(int datasetId);
    void showIdContextMenu(const QPoint& position);
    /// The ID dialog for entry `index`; true when accepted.
    bool showReplicateIdDialog(int index);

    const DatasetStore* m_store = nullptr;
    QString m_name;
    bool m_removable = false;
    QColor m_color;
    QPushButton* m_colorButton = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLabel* m_countLabel = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_removeSelectedButton = nullptr;
    bool m_showNumbers = false;
    bool m_techRepMode = false;
    std::vector<CategoryDatasetEntry> m_entries;
};

/// Draws each list row's display text as HTML.
class RichTextDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace Quorvex3
