// The plots of the combined plot window: the grid, each dataset's shown
// events, axis scales and limits, warnings and the statistics table.
#include "compare/CombinePlotWindow.h"

#include "app/MainWindow.h"
#include "compare/CombineDatasetWidget.h"
#include "model/DatasetEntry.h"
#include "plots/PseudoLogScaleEngine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFont>
#include <QGridLayout>
#include <QPen>
#include <QSpinBox>

#include <qwt_plot.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>
#include <qwt_text.h>

namespace Quorvex3 {

namespace {

ScaleMode scaleModeOf(int code) {
    return code == 1 ? ScaleMode::Log : code == 2 ? ScaleMode::PseudoLog : ScaleMode::Linear;
}

} // namespace

QwtPlot* createCombinePlot(QWidget* parent) {
    auto* plot = new QwtPlot(parent);
    plot->setCanvasBackground(Qt::white);
    auto* grid = new QwtPlotGrid();
    grid->setPen(QPen(Qt::gray, 0.0, Qt::DotLine));
    grid->setZ(0.0);
    grid->attach(plot);
    return plot;
}

void applyAxisScaleMode(QwtPlot* plot, int xMode, int yMode) {
    const std::pair<int, int> axes[] = {{QwtPlot::xBottom, xMode}, {QwtPlot::yLeft, yMode}};
    for (const auto& axis : axes) {
        if (axis.second == 2)
            plot->setAxisScaleEngine(axis.first, new PseudoLogScaleEngine(100.0, 0.5));
        else if (axis.second == 1)
            plot->setAxisScaleEngine(axis.first, new QwtLogScaleEngine(10));
    }
}

void setAxisTitleText(QwtPlot* plot, int axis, const QString& text) {
    QwtText title(text);
    QFont font;
    font.setPointSize(10);
    title.setFont(font);
    plot->setAxisTitle(axis, title);
}

QwtText makePlotTitle(QwtPlot* plot, const QString& text, const QColor& color) {
    QwtText title(text);
    QFont font = plot->font();
    font.setBold(false);
    font.setPointSize(10);
    title.setFont(font);
    if (color.isValid())
        title.setColor(color);
    return title;
}

void CombinePlotWindow::clearPlots() {
    clearExportPreview();
    for (QwtPlot* plot : m_plots) {
        m_plotGrid->removeWidget(plot);
        delete plot;
    }
    m_plots.clear();
    for (int c = 0; c < m_plotGrid->columnCount(); ++c)
        m_plotGrid->setColumnStretch(c, 0);
    for (int r = 0; r < m_plotGrid->rowCount(); ++r)
        m_plotGrid->setRowStretch(r, 0);
}

CombineGridSize CombinePlotWindow::computeGridSize(int plotCount) const {
    return Quorvex3::computeGridSize(plotCount, m_manualArrayCheck->isChecked(),
                                     m_arrayColsSpin->value(), m_arrayRowsSpin->value());
}

void CombinePlotWindow::rebuildPlots() {
    ++m_plotRebuilds;
    clearPlots();
    if (m_refs.empty())
        return;
    auto newPlot = [this](int index) {
        QwtPlot* plot = createCombinePlot(m_plotContainer);
        plot->setMinimumSize(300, 250);
        plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        const std::pair<int, int> modes = scaleModesForPlot(index);
        applyAxisScaleMode(plot, modes.first, modes.second);
        return plot;
    };

    if (m_displayMode == 2) {
        QwtPlot* plot = newPlot(0);
        m_plotGrid->addWidget(plot, 0, 0);
        m_plotGrid->setRowStretch(0, 1);
        m_plotGrid->setColumnStretch(0, 1);
        m_plots.push_back(plot);
        renderAllOnSinglePlot(plot);
        addIsolines(plot, currentRef(0));
        applyAxisLimits(plot);
        plot->replot();
    } else {
        const int datasets = datasetCount();
        const int cells = datasets + (m_displayMode == 1 ? 1 : 0);
        const CombineGridSize grid = computeGridSize(cells);
        for (int c = 0; c < grid.columns; ++c)
            m_plotGrid->setColumnStretch(c, 1);
        for (int r = 0; r < grid.rows; ++r)
            m_plotGrid->setRowStretch(r, 1);
        for (int i = 0; i < cells; ++i) {
            QwtPlot* plot = newPlot(i < datasets ? i : 0);
            m_plotGrid->addWidget(plot, i / grid.columns, i % grid.columns);
            m_plots.push_back(plot);
            if (i == datasets) {
                plot->setCanvasBackground(QColor(QStringLiteral("#f5f5ff")));
                renderContourOverlay(plot);
            } else {
                const CombineDatasetRef ref = currentRef(i);
                const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
                size_t n = 0;
                if (entry)
                    plot->setTitle(makePlotTitle(plot, entry->displayName, ref.color));
                if (entry && entry->featuresLoaded) {
                    const FilteredData data = readFilteredData(entry, ref, true);
                    renderDatasetOnPlot(plot, data, ref);
                    addIsolines(plot, ref);
                    n = data.x.size();
                }
                if (m_showCountCheck->isChecked()) {
                    QwtText text(QStringLiteral("N = %1").arg(n));
                    QFont font;
                    font.setPointSize(8);
                    text.setFont(font);
                    text.setRenderFlags(Qt::AlignTop | Qt::AlignRight);
                    auto* label = new QwtPlotTextLabel();
                    label->setText(text);
                    label->setMargin(4);
                    label->attach(plot);
                }
            }
            applyAxisLimits(plot);
            plot->replot();
        }
    }
    if (m_exportPreview)
        applyExportPreview();
    updateScaleWarnings();
    updateStatsTable();
}

CombinePlotWindow::FilteredData CombinePlotWindow::readFilteredData(const DatasetEntry* entry,
                                                                    const CombineDatasetRef& ref,
                                                                    bool withDensity) const {
    if (!entry || !entry->featuresLoaded || !entry->reader || !m_mainWindow)
        return {};
    CombineDataRequest request;
    request.xFeature = ref.xFeature;
    request.yFeature = ref.yFeature;
    request.scaleX = scaleModeOf(ref.scaleXMode);
    request.scaleY = scaleModeOf(ref.scaleYMode);
    request.withDensity = withDensity && m_colorMode == 0;
    return readCombineFilteredData(*entry->reader, m_mainWindow->buildEffectiveFilter(entry),
                                   request);
}

CombineAxisLimits CombinePlotWindow::computeGlobalAxisLimits() const {
    std::vector<FilteredData> data;
    data.reserve(m_refs.size());
    for (int i = 0; i < datasetCount(); ++i) {
        const CombineDatasetRef ref = currentRef(i);
        data.push_back(readFilteredData(findDatasetEntry(ref.datasetId), ref, false));
    }
    std::vector<const FilteredData*> pointers;
    for (const FilteredData& d : data)
        pointers.push_back(&d);
    const std::pair<int, int> modes = scaleModesForPlot(0);
    return Quorvex3::computeGlobalAxisLimits(pointers, scaleModeOf(modes.first),
                                             scaleModeOf(modes.second));
}

void CombinePlotWindow::applyAxisLimits(QwtPlot* plot) {
    plot->setAxisAutoScale(QwtPlot::xBottom, true);
    plot->setAxisAutoScale(QwtPlot::yLeft, true);
    if (!m_syncAxesCheck->isChecked())
        return;
    const std::pair<int, int> modes = scaleModesForPlot(0);
    const CombineAxisLimits limits =
        m_manualLimitsCheck->isChecked()
            ? manualAxisLimits(m_xMinSpin->value(), m_xMaxSpin->value(), m_yMinSpin->value(),
                               m_yMaxSpin->value(), scaleModeOf(modes.first),
                               scaleModeOf(modes.second))
            : computeGlobalAxisLimits();
    if (limits.x.valid)
        plot->setAxisScale(QwtPlot::xBottom, limits.x.min, limits.x.max);
    if (limits.y.valid)
        plot->setAxisScale(QwtPlot::yLeft, limits.y.min, limits.y.max);
}

void CombinePlotWindow::renderDatasetOnPlot(QwtPlot*, const FilteredData&,
                                            const CombineDatasetRef&) {}

void CombinePlotWindow::renderAllOnSinglePlot(QwtPlot*) {}

void CombinePlotWindow::renderContourOverlay(QwtPlot* plot) {
    plot->setTitle(makePlotTitle(plot, tr("Contour Overlay"), QColor()));
}

void CombinePlotWindow::addIsolines(QwtPlot*, const CombineDatasetRef&) {}

void CombinePlotWindow::updateScaleWarnings() {}

void CombinePlotWindow::updateStatsTable() {}

std::pair<int, int> CombinePlotWindow::scaleModesForPlot(int index) const {
    const int at = m_syncAxesCheck->isChecked() && !m_refs.empty() ? 0 : index;
    const CombineDatasetRef ref = currentRef(at);
    return {ref.scaleXMode, ref.scaleYMode};
}

} // namespace Quorvex3
