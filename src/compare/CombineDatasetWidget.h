#pragma once

#include "compare/CombineDatasetRef.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <string>
#include <vector>

class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QPushButton;

namespace Quorvex3 {

class RTDCReader;

/// MIME type of a card being dragged to a new place in the dataset panel;
/// the payload is empty, the dragged card is the drag's source.
QString combineReorderMimeType();

/// Marks a scale choice whose logarithmic entry hides `hidden` points with a
/// value <= 0 ("Log ⚠", warning colours, a tooltip), or clears the mark.
/// Changes no current index and emits nothing.
void applyScaleWarning(QComboBox* scaleChoice, std::size_t hidden);

/// The card of one dataset in the combined plot window's "Datasets" dock:
/// colour, name, X and Y feature and scale, remove button, and a handle to
/// drag it to another place. It holds a copy of its reference and reports
/// every change by signals; the window reads the current state with getRef
/// and makes new cards after most changes.
class CombineDatasetWidget : public QWidget {
    Q_OBJECT

public:
    /// `features` are offered in both feature choices in their order; with
    /// a reader their texts are the features' labels. Emits nothing.
    CombineDatasetWidget(const CombineDatasetRef& ref, const std::vector<std::string>& features,
                         RTDCReader* reader, QWidget* parent = nullptr);
    ~CombineDatasetWidget() override;

    /// The stored reference with the features and scales of the choices.
    CombineDatasetRef getRef() const;
    /// Id of the card's dataset.
    int datasetId() const { return m_ref.datasetId; }

    /// Selects the features by name (exact match; a missing name leaves
    /// its choice as it is). Emits nothing.
    void setFeatureSelections(const std::string& x, const std::string& y);
    /// Sets the scale choices. Emits nothing.
    void setScaleSelections(int x, int y);
    void setDisplayName(const QString& name);
    /// Marks the scale choices with the counts of points a log axis hides.
    void setScaleWarnings(std::size_t hiddenX, std::size_t hiddenY);
    /// Hides the card and deletes it from the event loop; a card whose
    /// reorder drag is still running goes once the drag has ended.
    void discard();
    /// Whether the card's reorder drag is running.
    bool isDragging() const { return m_dragging; }

signals:
    /// A feature or scale choice changed, or a new colour was picked.
    void settingsChanged();
    void removeRequested();
    /// A card was dropped on this one; `above`: on its upper half.
    void dropReceived(CombineDatasetWidget* source, CombineDatasetWidget* target, bool above);

public slots:
    void onColorButtonClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setColorButtonStyle();
    bool handleHandleEvent(QEvent* event);
    bool acceptsReorderFrom(const QDropEvent* event) const;
    void startReorderDrag();

    QLabel* m_dragHandle = nullptr;
    QLabel* m_nameLabel = nullptr;
    QPushButton* m_colorButton = nullptr;
    QComboBox* m_xFeatureCombo = nullptr;
    QComboBox* m_yFeatureCombo = nullptr;
    QComboBox* m_xScaleCombo = nullptr;
    QComboBox* m_yScaleCombo = nullptr;
    QPushButton* m_removeButton = nullptr;
    CombineDatasetRef m_ref;
    QPoint m_dragStartPos;
    bool m_dragging = false;
    bool m_discardAfterDrag = false;
};

} // namespace Quorvex3
