#pragma once

#include "compare/CombineDatasetRef.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QDrag;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMimeData;
class QPushButton;

namespace Quorvex3 {

class RTDCReader;

/// MIME type of a card being dragged to a new place in the dataset panel.
/// The dragged card is the drag's source; the payload names it too (its
/// serial number in decimal), since a drop only knows its source while a
/// drag of this process is in flight.
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
    /// Number of the card, unique in the process; a reorder drag carries it.
    quint64 serial() const { return m_serial; }
    /// The data of a reorder drag of this card.
    QMimeData* createReorderMimeData() const;

    /// Runs a reorder drag in place of QDrag::exec (null restores it), so
    /// tests can act while the drag's loop runs; returns the one before.
    using DragRunner = std::function<Qt::DropAction(QDrag& drag)>;
    static DragRunner setDragRunner(DragRunner runner);

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
    /// The card a reorder drop brings: the drag's source, else the card of
    /// this panel that the payload names; null for anything else or itself.
    CombineDatasetWidget* reorderSource(const QDropEvent* event) const;
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
    quint64 m_serial = 0;
    bool m_dragging = false;
    bool m_discardAfterDrag = false;
};

} // namespace Quorvex3
