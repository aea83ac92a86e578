// The plots of the combined plot window: the grid, each dataset's shown
// events, axis scales and limits, warnings and the statistics table.
#include "compare/CombinePlotWindow.h"

#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotHost.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "model/DatasetStore.h"
#include "plots/ColorMaps.h"
#include "plots/PlotOverlayItems.h"
#include "plots/PseudoLogScaleEngine.h"
#include "plots/RoundSpectroCurve.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFont>
#include <QGridLayout>
#include <QPen>
#include <QSpinBox>
#include <QTableWidget>

#include <qwt_color_map.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_legenditem.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

namespace Quorvex3 {

namespace {

ScaleMode scaleModeOf(int code) {
    return code == 1 ? ScaleMode::Log : code == 2 ? ScaleMode::PseudoLog : ScaleMode::Linear;
}

// What one card's plot reads: its features and scales, the density when
// the points are coloured by it.
CombineDataRequest dataRequest(const CombineDatasetRef& ref, bool withDensity) {
    CombineDataRequest request;
    request.xFeature = ref.xFeature;
    request.yFeature = ref.yFeature;
    request.scaleX = scaleModeOf(ref.scaleXMode);
    request.scaleY = scaleModeOf(ref.scaleYMode);
    request.withDensity = withDensity;
    return request;
}

// The scale the plot's axis shows, read from its engine (the rebuild
// installs them from the scale modes), so that dots go only where the axis
// can draw them.
ScaleMode axisScaleOf(const QwtPlot* plot, int axis) {
    const QwtScaleEngine* engine = plot->axisScaleEngine(axis);
    if (dynamic_cast<const QwtLogScaleEngine*>(engine))
        return ScaleMode::Log;
    if (dynamic_cast<const PseudoLogScaleEngine*>(engine))
        return ScaleMode::PseudoLog;
    return ScaleMode::Linear;
}

void attachContours(QwtPlot* plot, const std::vector<ContourLevel>& levels, const QColor& color) {
    for (QwtPlotCurve* curve : makeContourCurves(levels, color, 2.0))
        curve->attach(plot);
}

// Uniformly coloured dots: a disc of 6 pixels, its fill at alpha 100.
void attachColoredDots(QwtPlot* plot, const CombineFilteredData& dots, const QColor& color) {
    QColor fill = color;
    fill.setAlpha(100);
    auto* curve = new QwtPlotCurve();
    curve->setStyle(QwtPlotCurve::NoCurve);
    curve->setSymbol(
        new QwtSymbol(QwtSymbol::Ellipse, QBrush(fill), QPen(color, 1.0), QSize(6, 6)));
    // A legend item would list the dots under an empty title.
    curve->setItemAttribute(QwtPlotItem::Legend, false);
    QVector<QPointF> points;
    points.reserve(static_cast<int>(dots.x.size()));
    for (size_t i = 0; i < dots.x.size(); ++i)
        points.append(QPointF(dots.x[i], dots.y[i]));
    curve->setSamples(points);
    curve->attach(plot);
}

void attachHeatMapDots(QwtPlot* plot, const CombineFilteredData& dots,
                       const DensityColorRange& range, int colorMapIndex) {
    auto* curve = new RoundSpectroCurve();
    curve->setPenWidth(6.0);
    curve->setColorMap(createColorMap(colorMapIndex));
    curve->setColorRange(QwtInterval(range.lower, range.upper));
    curve->setItemAttribute(QwtPlotItem::Legend, false);
    QVector<QwtPoint3D> points;
    points.reserve(static_cast<int>(dots.x.size()));
    for (size_t i = 0; i < dots.x.size(); ++i)
        points.append(QwtPoint3D(dots.x[i], dots.y[i], dots.density[i]));
    curve->setSamples(points);
    curve->attach(plot);
}

// A legend entry only: no samples, a title in the dataset's colour.
void attachLegendEntry(QwtPlot* plot, const QString& name, const QColor& color) {
    QwtText title(name);
    title.setColor(color);
    auto* entry = new QwtPlotCurve(title);
    entry->setStyle(QwtPlotCurve::NoCurve);
    entry->setItemAttribute(QwtPlotItem::Legend, true);
    entry->attach(plot);
}

void attachLegend(QwtPlot* plot) {
    auto* legend = new QwtPlotLegendItem();
    legend->setAlignment(Qt::AlignTop | Qt::AlignRight);
    legend->setMaxColumns(1);
    legend->setBackgroundMode(QwtPlotLegendItem::LegendBackground);
    legend->setBackgroundBrush(QColor(255, 255, 255, 200));
    legend->setBorderPen(QPen(Qt::gray));
    legend->attach(plot);
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

CombineContourRequest CombinePlotWindow::contourRequest() const {
    CombineContourRequest request;
    request.on = m_contourCombo->currentIndex() != 0;
    request.innerPercent = m_contourInnerSpin->value();
    request.outerPercent = m_contourOuterSpin->value();
    return request;
}

std::vector<std::optional<CombinePlotInputs>>
CombinePlotWindow::readAllInputs(bool withDensity, bool withContours) const {
    std::vector<std::optional<CombinePlotInputs>> all(m_refs.size());
    CombineContourRequest contours = contourRequest();
    contours.on = contours.on && withContours;
    // The store and the cards are read here; the datasets are then read,
    // filtered and estimated side by side.
    std::vector<CombineInputsJob> jobs;
    std::vector<size_t> positions;
    for (int i = 0; i < datasetCount(); ++i) {
        const CombineDatasetRef ref = currentRef(i);
        const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
        if (!entry)
            continue;
        all[static_cast<size_t>(i)].emplace();
        // An unloaded dataset or a closed reader contributes no events.
        if (!entry->featuresLoaded || !entry->reader || !m_store)
            continue;
        jobs.push_back({entry->reader.get(), m_store->buildEffectiveFilter(entry),
                        dataRequest(ref, withDensity && m_colorMode == 0)});
        positions.push_back(static_cast<size_t>(i));
    }
    std::vector<CombinePlotInputs> read = readAllCombinePlotInputs(jobs, contours);
    for (size_t j = 0; j < read.size(); ++j)
        all[positions[j]] = std::move(read[j]);
    return all;
}

const std::vector<std::optional<CombinePlotInputs>>&
CombinePlotWindow::currentInputs(std::vector<std::optional<CombinePlotInputs>>& storage,
                                 bool withDensity, bool withContours) const {
    if (m_inRebuild)
        return m_rebuildInputs;
    storage = readAllInputs(withDensity, withContours);
    return storage;
}

const CombinePlotInputs* CombinePlotWindow::rebuildInputsAt(int index) const {
    if (!m_inRebuild || index < 0 || static_cast<size_t>(index) >= m_rebuildInputs.size() ||
        !m_rebuildInputs[static_cast<size_t>(index)])
        return nullptr;
    return &*m_rebuildInputs[static_cast<size_t>(index)];
}

void CombinePlotWindow::rebuildPlots() {
    ++m_plotRebuilds;
    clearPlots();
    if (m_refs.empty())
        return;
    // Every dataset is read, filtered and estimated once for all plots,
    // limits, warnings and statistics of this rebuild.
    const bool dots = m_contourCombo->currentIndex() != 2;
    m_rebuildInputs = readAllInputs(dots, true);
    m_rebuildLimits.reset();
    m_inRebuild = true;
    auto newPlot = [this](int index) {
        QwtPlot* plot = createCombinePlot(m_plotContainer);
        plot->setMinimumSize(300, 250);
        plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        const std::pair<int, int> modes = scaleModesForPlot(index);
        applyAxisScaleMode(plot, modes.first, modes.second);
        return plot;
    };
    auto smallAxisFonts = [](QwtPlot* plot) {
        QFont font;
        font.setPointSize(8);
        plot->setAxisFont(QwtPlot::xBottom, font);
        plot->setAxisFont(QwtPlot::yLeft, font);
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
        plot->updateAxes();
        placeIsolineLabelsInView(plot);
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
            smallAxisFonts(plot);
            m_plotGrid->addWidget(plot, i / grid.columns, i % grid.columns);
            m_plots.push_back(plot);
            if (i == datasets) {
                plot->setCanvasBackground(QColor(QStringLiteral("#f5f5ff")));
                renderContourOverlay(plot);
            } else {
                renderArrayPlot(plot, i);
            }
            applyAxisLimits(plot);
            plot->updateAxes();
            placeIsolineLabelsInView(plot);
            plot->replot();
        }
    }
    if (m_exportPreview)
        applyExportPreview();
    updateScaleWarnings();
    updateStatsTable();
    m_inRebuild = false;
    m_rebuildInputs.clear();
    m_rebuildLimits.reset();
}

void CombinePlotWindow::renderArrayPlot(QwtPlot* plot, int index) {
    const CombineDatasetRef ref = currentRef(index);
    const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
    size_t n = 0;
    if (entry)
        plot->setTitle(makePlotTitle(plot, entry->displayName, ref.color));
    const CombinePlotInputs* inputs = rebuildInputsAt(index);
    if (entry && entry->featuresLoaded && inputs) {
        renderInputsOnPlot(plot, *inputs, ref);
        addIsolines(plot, ref);
        n = inputs->data.x.size();
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

CombineAxisLimits
CombinePlotWindow::globalLimitsOf(const std::vector<std::optional<CombinePlotInputs>>& all) const {
    std::vector<const FilteredData*> pointers;
    for (const auto& in : all)
        pointers.push_back(in ? &in->data : nullptr);
    const std::pair<int, int> modes = scaleModesForPlot(0);
    return Quorvex3::computeGlobalAxisLimits(pointers, scaleModeOf(modes.first),
                                             scaleModeOf(modes.second));
}

CombineAxisLimits CombinePlotWindow::computeGlobalAxisLimits() const {
    std::vector<std::optional<CombinePlotInputs>> read;
    return globalLimitsOf(currentInputs(read, false, false));
}

void CombinePlotWindow::applyAxisLimits(QwtPlot* plot) {
    plot->setAxisAutoScale(QwtPlot::xBottom, true);
    plot->setAxisAutoScale(QwtPlot::yLeft, true);
    if (!m_syncAxesCheck->isChecked())
        return;
    const std::pair<int, int> modes = scaleModesForPlot(0);
    CombineAxisLimits limits;
    if (m_manualLimitsCheck->isChecked()) {
        limits = manualAxisLimits(m_xMinSpin->value(), m_xMaxSpin->value(), m_yMinSpin->value(),
                                  m_yMaxSpin->value(), scaleModeOf(modes.first),
                                  scaleModeOf(modes.second));
    } else if (m_inRebuild) {
        if (!m_rebuildLimits)
            m_rebuildLimits = globalLimitsOf(m_rebuildInputs);
        limits = *m_rebuildLimits;
    } else {
        limits = computeGlobalAxisLimits();
    }
    // An axis without limits (no data, or no value a log axis can show)
    // keeps scaling itself.
    if (limits.x.valid)
        plot->setAxisScale(QwtPlot::xBottom, limits.x.min, limits.x.max);
    if (limits.y.valid)
        plot->setAxisScale(QwtPlot::yLeft, limits.y.min, limits.y.max);
}

void CombinePlotWindow::renderInputsOnPlot(QwtPlot* plot, const CombinePlotInputs& inputs,
                                           const CombineDatasetRef& ref) {
    const FilteredData& data = inputs.data;
    if (data.x.empty())
        return;
    if (m_contourCombo->currentIndex() != 2) {
        // Qwt's log engine would put values <= 0 at 1e-100 and stretch the
        // axis down to there; they are counted on the card instead.
        const ScaleMode sx = axisScaleOf(plot, QwtPlot::xBottom);
        const ScaleMode sy = axisScaleOf(plot, QwtPlot::yLeft);
        // Only a log axis leaves events out; other axes draw the data as
        // they are, without a copy.
        std::optional<FilteredData> onLogAxes;
        if (sx == ScaleMode::Log || sy == ScaleMode::Log)
            onLogAxes = dotsForAxes(data, sx, sy);
        const FilteredData& dots = onLogAxes ? *onLogAxes : data;
        if (m_colorMode == 1 || m_colorMode == 2) {
            const QColor color = m_colorMode == 1 ? ref.color : m_exportSettings.uniformColor;
            attachColoredDots(plot, dots, color);
        } else if (!dots.density.empty()) {
            attachHeatMapDots(plot, dots, densityColorRange(data.density),
                              m_host ? m_host->colorMapIndex() : 0);
        }
    }
    if (m_contourCombo->currentIndex() != 0 && data.x.size() >= 4)
        attachContours(plot, inputs.contours, ref.color);
    const QString xLabel = QString::fromStdString(data.xLabel);
    const QString yLabel = QString::fromStdString(data.yLabel);
    if (m_displayMode != 2) {
        setAxisTitleText(plot, QwtPlot::xBottom, xLabel);
        setAxisTitleText(plot, QwtPlot::yLeft, yLabel);
    } else {
        plot->setAxisTitle(QwtPlot::xBottom, xLabel);
        plot->setAxisTitle(QwtPlot::yLeft, yLabel);
    }
}

void CombinePlotWindow::renderAllOnSinglePlot(QwtPlot* plot) {
    std::vector<std::optional<CombinePlotInputs>> read;
    const auto& all = currentInputs(read, m_contourCombo->currentIndex() != 2, true);
    const bool legend = m_showLegendCheck->isChecked();
    for (int i = 0; i < datasetCount(); ++i) {
        const CombineDatasetRef ref = currentRef(i);
        const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
        if (!entry || !entry->featuresLoaded || !all[static_cast<size_t>(i)])
            continue;
        renderInputsOnPlot(plot, *all[static_cast<size_t>(i)], ref);
        if (legend)
            attachLegendEntry(plot, entry->displayName,
                              m_colorMode == 2 ? m_exportSettings.uniformColor : ref.color);
    }
    if (legend && !m_refs.empty())
        attachLegend(plot);
    const CombineDatasetRef first = currentRef(0);
    const DatasetEntry* entry = findDatasetEntry(first.datasetId);
    if (entry && entry->featuresLoaded && entry->reader) {
        plot->setAxisTitle(QwtPlot::xBottom,
                           QString::fromStdString(entry->reader->getFeatureLabel(first.xFeature)));
        plot->setAxisTitle(QwtPlot::yLeft,
                           QString::fromStdString(entry->reader->getFeatureLabel(first.yFeature)));
    }
}

void CombinePlotWindow::renderContourOverlay(QwtPlot* plot) {
    std::vector<std::optional<CombinePlotInputs>> read;
    const auto& all = currentInputs(read, false, true);
    const CombineContourRequest request = contourRequest();
    const bool legend = m_showLegendCheck->isChecked();
    const bool sync = m_syncAxesCheck->isChecked();
    const CombineDatasetRef first = currentRef(0);
    for (int i = 0; i < datasetCount(); ++i) {
        const CombineDatasetRef ref = currentRef(i);
        const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
        if (!entry || !entry->featuresLoaded || !all[static_cast<size_t>(i)])
            continue;
        const CombinePlotInputs& in = *all[static_cast<size_t>(i)];
        if (in.data.x.size() >= 4) {
            const int sx = sync ? first.scaleXMode : ref.scaleXMode;
            const int sy = sync ? first.scaleYMode : ref.scaleYMode;
            // The contours read for the dataset's own plot serve when they
            // were estimated on the same scales and asked for.
            const bool same = request.on && sx == ref.scaleXMode && sy == ref.scaleYMode;
            attachContours(plot,
                           same ? in.contours
                                : computeCombineContours(in.data, request.innerPercent,
                                                         request.outerPercent, scaleModeOf(sx),
                                                         scaleModeOf(sy)),
                           ref.color);
        }
        if (legend)
            attachLegendEntry(plot, entry->displayName, ref.color);
    }
    if (legend)
        attachLegend(plot);
    const DatasetEntry* firstEntry = findDatasetEntry(first.datasetId);
    if (firstEntry && firstEntry->featuresLoaded && firstEntry->reader) {
        setAxisTitleText(
            plot, QwtPlot::xBottom,
            QString::fromStdString(firstEntry->reader->getFeatureLabel(first.xFeature)));
        setAxisTitleText(
            plot, QwtPlot::yLeft,
            QString::fromStdString(firstEntry->reader->getFeatureLabel(first.yFeature)));
    }
    plot->setTitle(makePlotTitle(plot, tr("Contour Overlay"), QColor()));
    if (!m_refs.empty())
        addIsolines(plot, first);
}

void CombinePlotWindow::addIsolines(QwtPlot* plot, const CombineDatasetRef& ref) {
    if (!m_isoCheck->isChecked() || !m_host)
        return;
    const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
    if (!entry || !entry->featuresLoaded)
        return;
    const std::vector<IsoLine> lines =
        m_host->isolinesForDataset(entry, ref.xFeature, ref.yFeature);
    const IsolineItems items = makeIsolineItems(lines, m_isoLabelsCheck->isChecked());
    for (QwtPlotCurve* curve : items.curves)
        curve->attach(plot);
    for (QwtPlotMarker* marker : items.labels)
        marker->attach(plot);
}

void CombinePlotWindow::updateScaleWarnings() {
    if (m_cards.empty())
        return;
    std::vector<std::optional<CombinePlotInputs>> read;
    const auto& all = currentInputs(read, false, false);
    const bool sync = m_syncAxesCheck->isChecked();
    const CombineDatasetRef first = m_cards.front()->getRef();
    for (int i = 0; i < static_cast<int>(m_cards.size()); ++i) {
        CombineDatasetWidget* card = m_cards[static_cast<size_t>(i)];
        const CombineDatasetRef ref = card->getRef();
        const ScaleMode sx = scaleModeOf(sync ? first.scaleXMode : ref.scaleXMode);
        const ScaleMode sy = scaleModeOf(sync ? first.scaleYMode : ref.scaleYMode);
        const int at = referenceIndexOf(ref.datasetId);
        ScaleWarningCounts counts;
        if (at >= 0 && static_cast<size_t>(at) < all.size() && all[static_cast<size_t>(at)])
            counts = countScaleWarnings(all[static_cast<size_t>(at)]->data, sx, sy);
        card->setScaleWarnings(static_cast<size_t>(counts.x), static_cast<size_t>(counts.y));
    }
}

void CombinePlotWindow::updateStatsTable() {
    if (m_statsDock && m_statsDock->isVisible())
        fillStatsTable();
}

void CombinePlotWindow::fillStatsTable() {
    if (!m_statsTable)
        return;
    m_statsTable->clear();
    m_statsTable->setRowCount(0);
    m_statsTable->setColumnCount(0);
    if (m_refs.empty())
        return;
    std::vector<std::optional<CombinePlotInputs>> read;
    const auto& all = currentInputs(read, false, false);
    std::vector<CombineStatsInput> positions;
    for (int i = 0; i < datasetCount(); ++i) {
        const CombineDatasetRef ref = currentRef(i);
        const auto& in = all[static_cast<size_t>(i)];
        positions.push_back({ref.xFeature, ref.yFeature, in ? &in->data : nullptr});
    }
    const CombineStatsTable table = buildCombineStatsTable(positions);
    if (table.features.empty())
        return;
    // Feature labels from the first dataset that has a reader.
    const RTDCReader* labels = nullptr;
    for (const CombineDatasetRef& ref : m_refs) {
        const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
        if (entry && entry->reader) {
            labels = entry->reader.get();
            break;
        }
    }
    QStringList header{tr("Dataset"), tr("N")};
    for (const std::string& feature : table.features) {
        const QString label =
            QString::fromStdString(labels ? labels->getFeatureLabel(feature) : feature);
        for (const char* name : kCombineStatNames)
            header << label + QLatin1Char(' ') + QString::fromLatin1(name);
    }
    m_statsTable->setColumnCount(header.size());
    m_statsTable->setHorizontalHeaderLabels(header);
    m_statsTable->setRowCount(static_cast<int>(table.rows.size()));
    for (int r = 0; r < static_cast<int>(table.rows.size()); ++r) {
        const CombineStatsRow& row = table.rows[static_cast<size_t>(r)];
        if (!row.known)
            continue;
        const DatasetEntry* entry = findDatasetEntry(currentRef(r).datasetId);
        m_statsTable->setItem(r, 0, new QTableWidgetItem(entry ? entry->displayName : QString()));
        m_statsTable->setItem(r, 1, new QTableWidgetItem(QString::number(row.n)));
        for (size_t k = 0; k < row.groups.size(); ++k) {
            if (!row.groups[k])
                continue;
            const PlotStats& st = *row.groups[k];
            const double values[] = {st.mean, st.sd, st.q1, st.median, st.q3, st.iqr};
            for (int v = 0; v < 6; ++v)
                m_statsTable->setItem(r, 2 + 6 * static_cast<int>(k) + v,
                                      new QTableWidgetItem(QString::number(values[v], 'g', 6)));
        }
    }
    m_statsTable->resizeColumnsToContents();
}

std::pair<int, int> CombinePlotWindow::scaleModesForPlot(int index) const {
    const int at = m_syncAxesCheck->isChecked() && !m_refs.empty() ? 0 : index;
    const CombineDatasetRef ref = currentRef(at);
    return {ref.scaleXMode, ref.scaleYMode};
}

} // namespace Quorvex3
