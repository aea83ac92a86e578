// The settings dock of the combined plot window and what its controls do:
// display and colour modes, feature and axis synchronisation, limits.
#include "compare/CombinePlotWindow.h"

#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotHost.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "util/DatasetDragPayload.h"
#include "util/DatasetPickDialog.h"
#include "util/DialogProvider.h"
#include "util/RequestCoalescer.h"
#include "util/WindowUtil.h"
#include "util/WrapRowLayout.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Quorvex3 {

namespace {

const char* const kDisplayModeNames[] = {"Array", "Array + Contour", "Same Plot"};

QDoubleSpinBox* makeLimitField(const QString& name, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(-1e12, 1e12);
    spin->setDecimals(4);
    spin->setValue(0.0);
    spin->setEnabled(false);
    // Wide enough for usual limits; the range alone would ask for twice this.
    spin->setMaximumWidth(120);
    return spin;
}

QDoubleSpinBox* makePercentField(const QString& name, double value, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(1.0, 99.0);
    spin->setSingleStep(5.0);
    spin->setDecimals(0);
    spin->setSuffix(QStringLiteral("%"));
    spin->setValue(value);
    return spin;
}

/// The settings' scroll area: its panel wraps its columns onto further
/// lines rather than widen the window, so the area asks for the height the
/// panel needs at the area's width (both lines in view, no scroll bar).
class WrappingSettingsArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

    QSize minimumSizeHint() const override {
        QSize size = QScrollArea::minimumSizeHint();
        if (widget())
            size.setHeight(heightForArea());
        return size;
    }
    QSize sizeHint() const override {
        QSize size = QScrollArea::sizeHint();
        if (widget())
            size.setHeight(heightForArea());
        return size;
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QScrollArea::resizeEvent(event);
        if (event->oldSize().width() != event->size().width())
            updateGeometry();
    }
    // The panel's needs change after construction (style sheet polish,
    // the array size row shown): the dock must ask again.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }

private:
    int heightForArea() const {
        const int width = std::max(viewport()->width(), widget()->minimumSizeHint().width());
        return widget()->heightForWidth(width) + 2 * frameWidth();
    }
};

QSpinBox* makeArraySizeField(const QString& name, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(0, 50);
    spin->setSpecialValueText(QObject::tr("auto"));
    return spin;
}

} // namespace

void CombinePlotWindow::setupSettingsDock() {
    m_settingsDock = new QDockWidget(tr("Settings"), this);
    m_settingsDock->setObjectName(QStringLiteral("settingsDock"));
    m_settingsDock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    m_settingsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);

    auto* scroll = new WrappingSettingsArea(m_settingsDock);
    scroll->setObjectName(QStringLiteral("settingsScrollArea"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* panel = new QWidget(scroll);
    // Not minimum-expanding: that would make the one-line width the least.
    panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    // Columns of two settings each, side by side; on a narrow window (a
    // 1280 x 720 laptop) the columns continue on a second line instead of
    // asking for sideways scrolling.
    auto* columns = new WrapRowLayout(20);
    panel->setLayout(columns);
    columns->setContentsMargins(4, 4, 4, 4);
    std::vector<QVBoxLayout*> cells;
    for (int c = 0; c < 8; ++c) {
        auto* column = new QWidget(panel);
        auto* cell = new QVBoxLayout(column);
        cell->setContentsMargins(0, 0, 0, 0);
        cell->setSpacing(4);
        columns->addWidget(column);
        cells.push_back(cell);
    }
    // Setting (row, column) of the two-row table of settings.
    struct Placer {
        std::vector<QVBoxLayout*>& cells;
        void addWidget(QWidget* widget, int row, int column) {
            QVBoxLayout* cell = cells[static_cast<std::size_t>(column)];
            cell->insertWidget(std::min(row, cell->count()), widget, 0, Qt::AlignLeft);
        }
    } grid{cells};

    // A caption and a control side by side in one cell.
    auto labelled = [panel](const QString& caption, QWidget* control) {
        auto* cell = new QWidget(panel);
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(new QLabel(caption, cell));
        row->addWidget(control);
        return cell;
    };
    auto checkBox = [panel](const QString& text, const QString& name) {
        auto* box = new QCheckBox(text, panel);
        box->setObjectName(name);
        return box;
    };

    m_displayCombo = new QComboBox(panel);
    m_displayCombo->setObjectName(QStringLiteral("displayCombo"));
    for (const char* name : kDisplayModeNames)
        m_displayCombo->addItem(tr(name));
    WindowUtil::fitComboToItems(m_displayCombo);
    grid.addWidget(labelled(tr("Display:"), m_displayCombo), 0, 0);

    m_colorCombo = new QComboBox(panel);
    m_colorCombo->setObjectName(QStringLiteral("colorCombo"));
    m_colorCombo->addItems({tr("Heatmap (Density)"), tr("Dataset Color"), tr("None")});
    m_colorCombo->setCurrentIndex(m_colorMode);
    WindowUtil::fitComboToItems(m_colorCombo);
    grid.addWidget(labelled(tr("Color:"), m_colorCombo), 1, 0);

    m_syncFeaturesCheck = checkBox(tr("Sync Features"), QStringLiteral("syncFeaturesCheck"));
    m_syncFeaturesCheck->setToolTip(tr("Keep all datasets on the same X/Y axes"));
    grid.addWidget(m_syncFeaturesCheck, 0, 1);
    m_showLegendCheck = checkBox(tr("Show Legend"), QStringLiteral("showLegendCheck"));
    grid.addWidget(m_showLegendCheck, 1, 1);

    m_syncAxesCheck = checkBox(tr("Sync Axes"), QStringLiteral("syncAxesCheck"));
    m_syncAxesCheck->setToolTip(tr("Use same axis limits for all plots"));
    grid.addWidget(m_syncAxesCheck, 0, 2);
    m_manualLimitsCheck = checkBox(tr("Manual Limits"), QStringLiteral("manualLimitsCheck"));
    m_manualLimitsCheck->setEnabled(false);
    grid.addWidget(m_manualLimitsCheck, 1, 2);

    m_xMinSpin = makeLimitField(QStringLiteral("xMinSpin"), panel);
    m_xMaxSpin = makeLimitField(QStringLiteral("xMaxSpin"), panel);
    m_yMinSpin = makeLimitField(QStringLiteral("yMinSpin"), panel);
    m_yMaxSpin = makeLimitField(QStringLiteral("yMaxSpin"), panel);
    // "caption [low] separator [high]" in one cell.
    auto pairRow = [panel](const QString& caption, QWidget* low, const QString& separator,
                           QWidget* high) {
        auto* cell = new QWidget(panel);
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(new QLabel(caption, cell));
        row->addWidget(low);
        row->addWidget(new QLabel(separator, cell));
        row->addWidget(high);
        return cell;
    };
    const QString dash = QStringLiteral("-");
    grid.addWidget(pairRow(tr("X:"), m_xMinSpin, dash, m_xMaxSpin), 0, 3);
    grid.addWidget(pairRow(tr("Y:"), m_yMinSpin, dash, m_yMaxSpin), 1, 3);

    m_contourCombo = new QComboBox(panel);
    m_contourCombo->setObjectName(QStringLiteral("contourCombo"));
    m_contourCombo->addItems({tr("Off"), tr("Overlay"), tr("Only")});
    WindowUtil::fitComboToItems(m_contourCombo);
    grid.addWidget(labelled(tr("Contour Overlay:"), m_contourCombo), 0, 4);
    m_contourInnerSpin = makePercentField(QStringLiteral("contourInnerSpin"), 10.0, panel);
    m_contourOuterSpin = makePercentField(QStringLiteral("contourOuterSpin"), 67.0, panel);
    grid.addWidget(pairRow(tr("Inner:"), m_contourInnerSpin, tr("Outer:"), m_contourOuterSpin), 1,
                   4);

    m_isoCheck = checkBox(tr("Isoelastics"), QStringLiteral("isoCheck"));
    m_isoCheck->setToolTip(tr("Show isoelasticity lines on area vs. deformation plots"));
    grid.addWidget(m_isoCheck, 0, 5);
    m_isoLabelsCheck = checkBox(tr("Labels"), QStringLiteral("isoLabelsCheck"));
    m_isoLabelsCheck->setToolTip(tr("Show kPa labels on isoelasticity lines"));
    m_isoLabelsCheck->setEnabled(false);
    grid.addWidget(m_isoLabelsCheck, 1, 5);

    m_manualArrayCheck = checkBox(tr("Manual Array Size"), QStringLiteral("manualArrayCheck"));
    grid.addWidget(m_manualArrayCheck, 0, 6);
    m_arraySizeRow = new QWidget(panel);
    m_arraySizeRow->setObjectName(QStringLiteral("arraySizeRow"));
    {
        auto* row = new QHBoxLayout(m_arraySizeRow);
        row->setContentsMargins(0, 0, 0, 0);
        m_arrayColsSpin = makeArraySizeField(QStringLiteral("arrayColsSpin"), m_arraySizeRow);
        m_arrayRowsSpin = makeArraySizeField(QStringLiteral("arrayRowsSpin"), m_arraySizeRow);
        row->addWidget(new QLabel(tr("Cols:"), m_arraySizeRow));
        row->addWidget(m_arrayColsSpin);
        row->addWidget(new QLabel(tr("Rows:"), m_arraySizeRow));
        row->addWidget(m_arrayRowsSpin);
    }
    m_arraySizeRow->setVisible(false);
    grid.addWidget(m_arraySizeRow, 1, 6);

    m_showCountCheck = checkBox(tr("Show N"), QStringLiteral("showCountCheck"));
    m_showCountCheck->setToolTip(
        tr("Display the number of plotted events (N = #) in each array plot"));
    grid.addWidget(m_showCountCheck, 0, 7);
    for (QVBoxLayout* cell : cells)
        cell->addStretch(1);

    scroll->setWidget(panel);
    m_settingsDock->setWidget(scroll);
    addDockWidget(Qt::TopDockWidgetArea, m_settingsDock);

    // Connections.
    connect(m_displayCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onDisplayModeChanged);
    connect(m_colorCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onColorModeChanged);
    connect(m_syncFeaturesCheck, &QCheckBox::toggled, this,
            &CombinePlotWindow::onSyncFeaturesToggled);
    connect(m_showLegendCheck, &QCheckBox::toggled, this, [this] { rebuildPlots(); });
    connect(m_syncAxesCheck, &QCheckBox::toggled, this, &CombinePlotWindow::onSyncAxesToggled);
    connect(m_manualLimitsCheck, &QCheckBox::toggled, this, [this](bool on) {
        for (QDoubleSpinBox* spin : {m_xMinSpin, m_xMaxSpin, m_yMinSpin, m_yMaxSpin})
            spin->setEnabled(on);
        rebuildPlots();
    });
    for (QDoubleSpinBox* spin : {m_xMinSpin, m_xMaxSpin, m_yMinSpin, m_yMaxSpin})
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &CombinePlotWindow::onAxisLimitsChanged);
    connect(m_contourCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { rebuildPlots(); });
    for (QDoubleSpinBox* spin : {m_contourInnerSpin, m_contourOuterSpin})
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this] { rebuildPlots(); });
    connect(m_isoCheck, &QCheckBox::toggled, this, [this](bool on) {
        // The lines need the look-up table: without it the box is not left
        // ticked over plots that show none, and the user learns why.
        if (on && m_host) {
            if (const QString problem = m_host->isolineTableProblem(); !problem.isEmpty()) {
                {
                    const QSignalBlocker block(m_isoCheck);
                    m_isoCheck->setChecked(false);
                }
                DialogProvider::current().warning(this, tr("Isoelastics"), problem,
                                                  QMessageBox::Ok);
                return;
            }
        }
        m_isoLabelsCheck->setEnabled(on);
        if (!on) {
            const QSignalBlocker block(m_isoLabelsCheck);
            m_isoLabelsCheck->setChecked(false);
        }
        rebuildPlots();
    });
    connect(m_isoLabelsCheck, &QCheckBox::toggled, this, [this] { rebuildPlots(); });
    connect(m_manualArrayCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_arraySizeRow->setVisible(on);
        if (!on) {
            const QSignalBlocker blockCols(m_arrayColsSpin);
            const QSignalBlocker blockRows(m_arrayRowsSpin);
            m_arrayColsSpin->setValue(0);
            m_arrayRowsSpin->setValue(0);
        }
        rebuildPlots();
    });
    // Columns and rows exclude each other: fixing one frees the other.
    auto exclusive = [this](QSpinBox* other) {
        return [this, other](int value) {
            if (value >= 1) {
                const QSignalBlocker block(other);
                other->setValue(0);
            }
            rebuildPlots();
        };
    };
    connect(m_arrayColsSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            exclusive(m_arrayRowsSpin));
    connect(m_arrayRowsSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            exclusive(m_arrayColsSpin));
    connect(m_showCountCheck, &QCheckBox::toggled, this, [this] { rebuildPlots(); });
}

// ---- settings --------------------------------------------------------------

void CombinePlotWindow::onDisplayModeChanged(int mode) {
    if ((mode == 1 || mode == 2) && !m_syncFeaturesCheck->isChecked() && m_refs.size() >= 2) {
        CustomMessageBox box;
        box.title = tr("Sync Features Required");
        box.text = QStringLiteral("\"") + tr(kDisplayModeNames[mode]) + QStringLiteral("\"") +
                   tr(" requires all datasets to use the same features.\nFeature syncing will "
                      "be enabled and all datasets will use\nthe features of the first dataset.");
        box.textFormat = Qt::PlainText;
        box.buttons = {{tr("OK"), QMessageBox::AcceptRole},
                       {tr("Cancel"), QMessageBox::RejectRole}};
        box.defaultButton = 0;
        if (DialogProvider::current().messageBox(this, box) != 0) {
            const QSignalBlocker block(m_displayCombo);
            m_displayCombo->setCurrentIndex(m_displayMode);
            return;
        }
        // The mode is stored first, so the sync cannot be switched off again
        // by a handler that still sees the old mode.
        m_displayMode = mode;
        m_syncFeaturesCheck->setChecked(true);
    }
    m_displayMode = mode;
    rebuildPlots();
}

void CombinePlotWindow::onColorModeChanged(int mode) {
    m_colorMode = mode;
    updateUniformColorVisibility();
    rebuildPlots();
}

void CombinePlotWindow::pushFeaturesFrom(const CombineDatasetWidget* card) {
    const CombineDatasetRef source = card->getRef();
    for (CombineDatasetWidget* other : m_cards) {
        if (other != card)
            other->setFeatureSelections(source.xFeature, source.yFeature);
    }
}

void CombinePlotWindow::pushScalesFrom(const CombineDatasetWidget* card) {
    const CombineDatasetRef source = card->getRef();
    for (CombineDatasetWidget* other : m_cards) {
        if (other != card)
            other->setScaleSelections(source.scaleXMode, source.scaleYMode);
    }
}

void CombinePlotWindow::onSyncFeaturesToggled(bool on) {
    if (!on) {
        if (m_displayMode == 1 || m_displayMode == 2) {
            const QSignalBlocker block(m_syncFeaturesCheck);
            m_syncFeaturesCheck->setChecked(true);
        }
        return;
    }
    if (m_cards.empty())
        return;
    pushFeaturesFrom(m_cards.front());
    takeCardsState();
    rebuildPlots();
}

void CombinePlotWindow::fillLimitFieldsFromData() {
    const CombineAxisLimits limits = computeGlobalAxisLimits();
    // An axis with nothing to span keeps its fields as they are.
    const std::pair<const AxisRange*, std::pair<QDoubleSpinBox*, QDoubleSpinBox*>> axes[] = {
        {&limits.x, {m_xMinSpin, m_xMaxSpin}}, {&limits.y, {m_yMinSpin, m_yMaxSpin}}};
    for (const auto& axis : axes) {
        if (!axis.first->valid)
            continue;
        const QSignalBlocker blockLow(axis.second.first);
        const QSignalBlocker blockHigh(axis.second.second);
        axis.second.first->setValue(axis.first->min);
        axis.second.second->setValue(axis.first->max);
    }
}

void CombinePlotWindow::onSyncAxesToggled(bool on) {
    m_manualLimitsCheck->setEnabled(on);
    if (!on) {
        m_manualLimitsCheck->setChecked(false);
        rebuildPlots();
        return;
    }
    if (!m_cards.empty()) {
        pushScalesFrom(m_cards.front());
        takeCardsState();
    }
    fillLimitFieldsFromData();
    rebuildPlots();
}

void CombinePlotWindow::onAxisLimitsChanged() {
    if (m_syncAxesCheck->isChecked() && m_manualLimitsCheck->isChecked())
        rebuildPlots();
}

void CombinePlotWindow::onDatasetSettingsChanged() {
    takeCardsState();
    if (const auto* card = qobject_cast<CombineDatasetWidget*>(sender())) {
        const bool syncFeatures = m_syncFeaturesCheck->isChecked();
        const bool syncAxes = m_syncAxesCheck->isChecked();
        if (syncFeatures)
            pushFeaturesFrom(card);
        if (syncAxes)
            pushScalesFrom(card);
        if (syncFeatures || syncAxes)
            takeCardsState();
    }
    rebuildPlots();
}

} // namespace Quorvex3
