// Export settings, the statistics dock, the export preview and the exports
// of the combined plot window.
#include "compare/CombinePlotWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>

#include <qwt_plot.h>

namespace Quorvex3 {

void CombinePlotWindow::setupExportSettingsDock() {
    m_exportDock = new QDockWidget(tr("Export Settings"), this);
    m_exportDock->setObjectName(QStringLiteral("exportSettingsDock"));
    m_exportDock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    m_exportDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto* panel = new QWidget(m_exportDock);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    auto spin = [panel](const QString& name, int low, int high, const QString& suffix) {
        auto* box = new QSpinBox(panel);
        box->setObjectName(name);
        box->setRange(low, high);
        box->setSuffix(suffix);
        return box;
    };
    auto check = [panel](const QString& text, const QString& name) {
        auto* box = new QCheckBox(text, panel);
        box->setObjectName(name);
        return box;
    };
    const QString pt = QStringLiteral(" pt");
    const QString mm = QStringLiteral(" mm");
    const QString px = QStringLiteral(" px");
    m_tickLabelSpin = spin(QStringLiteral("tickLabelSpin"), 4, 24, pt);
    m_axisLabelSpin = spin(QStringLiteral("axisLabelSpin"), 4, 24, pt);
    m_showTitleCheck = check(tr("Show titles"), QStringLiteral("showTitleCheck"));
    m_titleSizeSpin = spin(QStringLiteral("titleSizeSpin"), 4, 24, pt);
    m_titleBoldCheck = check(tr("Bold titles"), QStringLiteral("titleBoldCheck"));
    m_titleColorCheck = check(tr("Color titles"), QStringLiteral("titleColorCheck"));
    m_plotWidthSpin = spin(QStringLiteral("plotWidthSpin"), 50, 600, mm);
    m_plotHeightSpin = spin(QStringLiteral("plotHeightSpin"), 50, 600, mm);
    m_pointSizeSpin = spin(QStringLiteral("pointSizeSpin"), 1, 20, px);
    m_axisWidthSpin = new QDoubleSpinBox(panel);
    m_axisWidthSpin->setObjectName(QStringLiteral("axisWidthSpin"));
    m_axisWidthSpin->setRange(0.5, 5.0);
    m_axisWidthSpin->setSingleStep(0.5);
    m_axisWidthSpin->setDecimals(1);
    m_axisWidthSpin->setSuffix(px);
    m_gridCheck = check(tr("Grid"), QStringLiteral("gridCheck"));
    m_rightTopAxesCheck = check(tr("Right/Top axes"), QStringLiteral("rightTopAxesCheck"));
    m_uniformColorLabel = new QLabel(tr("Uniform color"), panel);
    m_uniformColorCombo = new QComboBox(panel);
    m_uniformColorCombo->setObjectName(QStringLiteral("uniformColorCombo"));
    m_uniformColorCombo->addItem(tr("Black"), QColor(Qt::black));
    m_uniformColorCombo->addItem(tr("Gray"), QColor(Qt::darkGray));
    m_uniformColorCombo->addItem(tr("Blue"), QColor(Qt::blue));
    m_uniformColorCombo->addItem(tr("Red"), QColor(Qt::red));
    m_uniformColorCombo->addItem(tr("Green"), QColor(Qt::darkGreen));
    m_uniformColorCombo->addItem(tr("Purple"), QColor(128, 0, 128));

    grid->addWidget(new QLabel(tr("Tick labels"), panel), 0, 0);
    grid->addWidget(m_tickLabelSpin, 1, 0);
    grid->addWidget(new QLabel(tr("Axis labels"), panel), 0, 1);
    grid->addWidget(m_axisLabelSpin, 1, 1);
    grid->addWidget(m_showTitleCheck, 0, 2);
    grid->addWidget(m_titleSizeSpin, 1, 2);
    grid->addWidget(m_titleBoldCheck, 0, 3);
    grid->addWidget(m_titleColorCheck, 1, 3);
    grid->addWidget(new QLabel(tr("Width"), panel), 0, 4);
    grid->addWidget(m_plotWidthSpin, 1, 4);
    grid->addWidget(new QLabel(tr("Height"), panel), 0, 5);
    grid->addWidget(m_plotHeightSpin, 1, 5);
    grid->addWidget(new QLabel(tr("Point size"), panel), 0, 6);
    grid->addWidget(m_pointSizeSpin, 1, 6);
    grid->addWidget(new QLabel(tr("Axis width"), panel), 0, 7);
    grid->addWidget(m_axisWidthSpin, 1, 7);
    grid->addWidget(m_gridCheck, 0, 8);
    grid->addWidget(m_rightTopAxesCheck, 1, 8);
    grid->addWidget(m_uniformColorLabel, 0, 9);
    grid->addWidget(m_uniformColorCombo, 1, 9);

    pushExportSettingsToControls();
    for (QSpinBox* box : {m_tickLabelSpin, m_axisLabelSpin, m_titleSizeSpin, m_plotWidthSpin,
                          m_plotHeightSpin, m_pointSizeSpin})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &CombinePlotWindow::onExportSettingsChanged);
    connect(m_axisWidthSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &CombinePlotWindow::onExportSettingsChanged);
    for (QCheckBox* box : {m_showTitleCheck, m_titleBoldCheck, m_titleColorCheck, m_gridCheck,
                           m_rightTopAxesCheck})
        connect(box, &QCheckBox::toggled, this, &CombinePlotWindow::onExportSettingsChanged);
    connect(m_uniformColorCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onExportSettingsChanged);

    m_exportDock->setWidget(panel);
    addDockWidget(Qt::BottomDockWidgetArea, m_exportDock);
    m_exportDock->hide();
    updateUniformColorVisibility();
}

void CombinePlotWindow::setupStatsDock() {
    m_statsDock = new QDockWidget(tr("Plot Statistics"), this);
    m_statsDock->setObjectName(QStringLiteral("statsDock"));
    m_statsTable = new QTableWidget(m_statsDock);
    m_statsTable->setObjectName(QStringLiteral("statsTable"));
    m_statsTable->setAlternatingRowColors(true);
    m_statsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_statsTable->horizontalHeader()->setStretchLastSection(true);
    m_statsDock->setWidget(m_statsTable);
    addDockWidget(Qt::BottomDockWidgetArea, m_statsDock);
    splitDockWidget(m_exportDock, m_statsDock, Qt::Vertical);
    m_statsDock->hide();
    connect(m_statsDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            updateStatsTable();
    });
}

void CombinePlotWindow::updateUniformColorVisibility() {
    const bool show = m_colorMode == 2;
    m_uniformColorLabel->setVisible(show);
    m_uniformColorCombo->setVisible(show);
}

void CombinePlotWindow::pushExportSettingsToControls() {
    const ExportSettings s = m_exportSettings;
    const QWidget* controls[] = {m_tickLabelSpin,  m_axisLabelSpin,     m_showTitleCheck,
                                 m_titleSizeSpin,  m_titleBoldCheck,    m_titleColorCheck,
                                 m_plotWidthSpin,  m_plotHeightSpin,    m_pointSizeSpin,
                                 m_axisWidthSpin,  m_gridCheck,         m_rightTopAxesCheck,
                                 m_uniformColorCombo};
    std::vector<QSignalBlocker> blockers;
    for (const QWidget* control : controls)
        blockers.emplace_back(const_cast<QWidget*>(control));
    m_tickLabelSpin->setValue(s.tickLabelSize);
    m_axisLabelSpin->setValue(s.axisLabelSize);
    m_showTitleCheck->setChecked(s.showTitle);
    m_titleSizeSpin->setValue(s.titleSize);
    m_titleBoldCheck->setChecked(s.titleBold);
    m_titleColorCheck->setChecked(s.titleUseColor);
    m_plotWidthSpin->setValue(static_cast<int>(s.plotWidthMm));
    m_plotHeightSpin->setValue(static_cast<int>(s.plotHeightMm));
    m_pointSizeSpin->setValue(s.pointSize);
    m_axisWidthSpin->setValue(s.axisLineWidth);
    m_gridCheck->setChecked(s.showGrid);
    m_rightTopAxesCheck->setChecked(s.showRightTopAxes);
    for (int i = 0; i < m_uniformColorCombo->count(); ++i) {
        if (m_uniformColorCombo->itemData(i).value<QColor>() == s.uniformColor) {
            m_uniformColorCombo->setCurrentIndex(i);
            break;
        }
    }
}

void CombinePlotWindow::onExportSettingsChanged() {
    ExportSettings& s = m_exportSettings;
    s.tickLabelSize = m_tickLabelSpin->value();
    s.axisLabelSize = m_axisLabelSpin->value();
    s.showTitle = m_showTitleCheck->isChecked();
    s.titleSize = m_titleSizeSpin->value();
    s.titleBold = m_titleBoldCheck->isChecked();
    s.titleUseColor = m_titleColorCheck->isChecked();
    s.plotWidthMm = m_plotWidthSpin->value();
    s.plotHeightMm = m_plotHeightSpin->value();
    s.pointSize = m_pointSizeSpin->value();
    s.axisLineWidth = m_axisWidthSpin->value();
    s.showGrid = m_gridCheck->isChecked();
    s.showRightTopAxes = m_rightTopAxesCheck->isChecked();
    const QVariant color = m_uniformColorCombo->currentData();
    s.uniformColor = color.canConvert<QColor>() ? color.value<QColor>() : QColor();
    if (m_exportPreview)
        rebuildPlots();
}

void CombinePlotWindow::applyExportSettingsToPlot(QwtPlot*) {}

void CombinePlotWindow::setExportPreview(bool on) {
    m_exportPreview = on;
    m_exportDock->setVisible(on);
    if (on) {
        applyExportPreview();
    } else {
        clearExportPreview();
        rebuildPlots();
    }
}

void CombinePlotWindow::applyExportPreview() {
    clearExportPreview();
}

void CombinePlotWindow::clearExportPreview() {
    for (AspectRatioLabel* label : m_previewLabels) {
        m_plotGrid->removeWidget(label);
        delete label;
    }
    m_previewLabels.clear();
    for (QwtPlot* plot : m_plots) {
        plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        plot->show();
    }
}

void CombinePlotWindow::exportPlots() {}

void CombinePlotWindow::exportStatsTsv() {}

} // namespace Quorvex3
