#include "plots/ScatterPlot.h"

#include "core/ScaleTransform.h"
#include "plots/AxisTickFit.h"
#include "plots/ColorMaps.h"
#include "plots/PlainDotCurve.h"
#include "plots/PlotOverlayItems.h"
#include "plots/PseudoLogScaleEngine.h"
#include "plots/RoundSpectroCurve.h"
#include "plots/ScatterPlotDotLayer.h"

#include <qwt_color_map.h>
#include <qwt_picker_machine.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>

#include <QVector>

#include <cmath>

namespace Quorvex3 {

namespace {

const QColor kDotColor(0, 68, 108);
const QColor kHighlightColor(254, 204, 0);
const QColor kHighlightOutline(0, 0, 0);

constexpr double kSpectroDotDiameter = 6.0;
constexpr int kColorBarWidth = 10;
constexpr double kDrawCurveZ = 100.0;
constexpr double kEditCurveZ = 101.0;

/// Colour range of the finite values of the points drawn: [min, max], or
/// [v, v + 1] when all are equal (so a constant feature takes the start
/// colour of the map), or [0, 1] when no value is finite.
template <typename Drawn>
QwtInterval finiteColorRange(const std::vector<double>& values, Drawn drawn) {
    bool any = false;
    double lo = 0.0;
    double hi = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        if (!std::isfinite(v) || !drawn(i))
            continue;
        if (!any) {
            lo = hi = v;
            any = true;
        } else if (v < lo) {
            lo = v;
        } else if (hi < v) {
            hi = v;
        }
    }
    if (!any)
        return QwtInterval(0.0, 1.0);
    if (lo == hi)
        hi = lo + 1.0;
    return QwtInterval(lo, hi);
}

QwtPlotCurve* makePolygonCurve(double z) {
    auto* curve = new QwtPlotCurve();
    curve->setStyle(QwtPlotCurve::Lines);
    curve->setPen(QPen(QColor(255, 0, 0, 200), 2, Qt::DashLine));
    curve->setSymbol(
        new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::red), QPen(Qt::red, 1), QSize(8, 8)));
    curve->setZ(z);
    curve->setVisible(false);
    return curve;
}

} // namespace

ScatterPlotPicker::ScatterPlotPicker(QWidget* canvas)
    : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::NoRubberBand, QwtPicker::AlwaysOff,
                    canvas) {
    setStateMachine(new QwtPickerClickPointMachine());
    setEnabled(true);
}

ScatterPlot::ScatterPlot(QWidget* parent)
    : QwtPlot(parent), m_dotLayer(std::make_unique<DotLayerCache>()) {
    setupPlot();
}

ScatterPlot::~ScatterPlot() {
    // The base class detaches (and so announces) its items after this
    // object's members are gone.
    disconnect(this, &QwtPlot::itemAttached, this, nullptr);
}

void ScatterPlot::replot() {
    fitMajorTicks(*this, QwtPlot::xBottom);
    fitMajorTicks(*this, QwtPlot::yLeft);
    QwtPlot::replot();
}

void ScatterPlot::resizeEvent(QResizeEvent* event) {
    QwtPlot::resizeEvent(event);
    replot();
}

void ScatterPlot::setupPlot() {
    setTitle(QStringLiteral("Scatter Plot"));
    setCanvasBackground(QBrush(Qt::white));

    auto* grid = new QwtPlotGrid();
    grid->setPen(QPen(Qt::gray, 0, Qt::DotLine));
    grid->attach(this);

    m_scatterCurve = new PlainDotCurve();
    m_scatterCurve->setStyle(QwtPlotCurve::NoCurve);
    QColor fill = kDotColor;
    fill.setAlpha(100);
    m_scatterCurve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(fill),
                                            QPen(kDotColor, 1, Qt::SolidLine), QSize(6, 6)));
    m_scatterCurve->attach(this);

    m_spectroCurve = new RoundSpectroCurve();
    m_spectroCurve->setPenWidth(kSpectroDotDiameter);
    m_spectroCurve->attach(this);
    m_spectroCurve->setVisible(false);

    m_highlightCurve = new QwtPlotCurve();
    m_highlightCurve->setStyle(QwtPlotCurve::NoCurve);
    // Yellow stands out on the dark ends of the colour maps, the dark rim on
    // their yellow and orange ends (and on white).
    m_highlightCurve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(kHighlightColor),
                                              QPen(kHighlightOutline, 2), QSize(12, 12)));
    m_highlightCurve->attach(this);
    m_highlightCurve->setVisible(false);

    m_drawCurve = makePolygonCurve(kDrawCurveZ);
    m_drawCurve->attach(this);
    m_editCurve = makePolygonCurve(kEditCurveZ);
    m_editCurve->attach(this);

    // Isolines (and anything else) attached or removed under the marker
    // change the dot layer.
    connect(this, &QwtPlot::itemAttached, this, [this](QwtPlotItem* item, bool) {
        if (isUnderMarker(item))
            invalidateDotLayer();
    });

    enableAxis(QwtPlot::yRight, false);
    useSpacedLabels(*this, QwtPlot::xBottom);
    useSpacedLabels(*this, QwtPlot::yLeft);

    m_picker = new ScatterPlotPicker(canvas());
    m_panner = new QwtPlotPanner(canvas());
    m_panner->setMouseButton(Qt::MiddleButton, Qt::NoModifier);

    // Installed last, so this filter sees every canvas event before the
    // picker and the panner.
    canvas()->installEventFilter(this);
    canvas()->setFocusPolicy(Qt::StrongFocus);
    canvas()->setMouseTracking(true);
}

void ScatterPlot::setData(const std::vector<double>& x, const std::vector<double>& y,
                          const QString& xLabel, const QString& yLabel,
                          const std::vector<double>& colorValues, const QString& colorLabel) {
    if (&x != &m_xData)
        m_xData = x;
    if (&y != &m_yData)
        m_yData = y;
    if (&colorValues != &m_colorData)
        m_colorData = colorValues;

    if (m_xData.empty() || m_xData.size() != m_yData.size()) {
        clearData();
        return;
    }
    setAxisTitle(QwtPlot::xBottom, xLabel);
    setAxisTitle(QwtPlot::yLeft, yLabel);

    if (m_colorData.size() == m_xData.size())
        setAxisTitle(QwtPlot::yRight, colorLabel);
    showSamples();
    replot();
}

bool ScatterPlot::isDrawn(std::size_t index) const {
    return isDrawableOnScale(m_xData[index], static_cast<ScaleMode>(m_xScaleMode)) &&
           isDrawableOnScale(m_yData[index], static_cast<ScaleMode>(m_yScaleMode));
}

void ScatterPlot::showSamples() {
    // A log axis cannot draw values at or below 0: those points stay plot
    // points (indices and counts do not change) but are left out of the
    // curves, so they neither sit on the axis floor nor stretch the axis.
    invalidateDotLayer();
    const size_t n = m_xData.size();
    const auto drawn = [this](std::size_t i) { return isDrawn(i); };
    if (m_colorData.size() == n) {
        m_scatterCurve->setVisible(false);
        m_spectroCurve->setVisible(true);
        QVector<QwtPoint3D> samples;
        samples.reserve(static_cast<int>(n));
        for (size_t i = 0; i < n; ++i)
            if (drawn(i))
                samples.append(QwtPoint3D(m_xData[i], m_yData[i], m_colorData[i]));
        const QwtInterval range = finiteColorRange(m_colorData, drawn);
        m_spectroCurve->setColorMap(createColorMap(m_colorMapIndex));
        m_spectroCurve->setColorRange(range);
        m_spectroCurve->setSamples(samples);
        showColorBar(range);
    } else {
        m_spectroCurve->setVisible(false);
        QVector<QPointF> points;
        points.reserve(static_cast<int>(n));
        for (size_t i = 0; i < n; ++i)
            if (drawn(i))
                points.append(QPointF(m_xData[i], m_yData[i]));
        m_scatterCurve->setSamples(points);
        m_scatterCurve->setVisible(true);
        hideColorBar();
    }
    if (m_scatterHidden) {
        hideDots();
        hideColorBar();
    }
}

bool ScatterPlot::isDrawnRect(const QRectF& rect) const {
    return isDrawableOnScale(rect.left(), static_cast<ScaleMode>(m_xScaleMode)) &&
           isDrawableOnScale(rect.top(), static_cast<ScaleMode>(m_yScaleMode));
}

void ScatterPlot::showColorBar(const QwtInterval& range) {
    setAxisScale(QwtPlot::yRight, range.minValue(), range.maxValue());
    enableAxis(QwtPlot::yRight, true);
    QwtScaleWidget* bar = axisWidget(QwtPlot::yRight);
    bar->setColorBarEnabled(true);
    bar->setColorBarWidth(kColorBarWidth);
    bar->setColorMap(range, createColorMap(m_colorMapIndex));
}

void ScatterPlot::hideColorBar() {
    axisWidget(QwtPlot::yRight)->setColorBarEnabled(false);
    enableAxis(QwtPlot::yRight, false);
}

void ScatterPlot::hideDots() {
    m_scatterCurve->setVisible(false);
    m_spectroCurve->setVisible(false);
}

void ScatterPlot::clearData() {
    m_xData.clear();
    m_yData.clear();
    m_colorData.clear();
    m_scatterCurve->setSamples(QVector<QPointF>());
    m_spectroCurve->setSamples(QVector<QwtPoint3D>());
    m_scatterCurve->setVisible(true);
    m_spectroCurve->setVisible(false);
    invalidateDotLayer();
    hideColorBar();
    m_highlightCurve->setVisible(false);
    // An empty plot describes no feature: no titles, and no zoom or scale
    // left over from the data shown before.
    setAxisTitle(QwtPlot::xBottom, QString());
    setAxisTitle(QwtPlot::yLeft, QString());
    setAxisTitle(QwtPlot::yRight, QString());
    setAxisAutoScale(QwtPlot::xBottom, true);
    setAxisAutoScale(QwtPlot::yLeft, true);
    replot();
    deleteContourCurves();
    replot();
}

void ScatterPlot::highlightPoint(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_xData.size() ||
        !isDrawn(static_cast<size_t>(index))) {
        m_highlightCurve->setVisible(false);
    } else {
        const auto i = static_cast<size_t>(index);
        m_highlightCurve->setSamples(QVector<QPointF>{QPointF(m_xData[i], m_yData[i])});
        m_highlightCurve->setVisible(true);
    }
    replot();
}

void ScatterPlot::clearHighlight() {
    m_highlightCurve->setVisible(false);
    replot();
}

void ScatterPlot::deleteContourCurves() {
    for (QwtPlotCurve* curve : m_contourCurves) {
        curve->detach();
        delete curve;
    }
    m_contourCurves.clear();
}

void ScatterPlot::setContours(const std::vector<ContourLevel>& levels) {
    deleteContourCurves();
    for (QwtPlotCurve* curve : makeContourCurves(levels, Qt::black, 2.0)) {
        curve->attach(this);
        m_contourCurves.push_back(curve);
    }
    replot();
}

void ScatterPlot::clearContours() {
    deleteContourCurves();
}

void ScatterPlot::deleteIsolineItems() {
    for (QwtPlotCurve* curve : m_isolineCurves) {
        curve->detach();
        delete curve;
    }
    m_isolineCurves.clear();
    for (QwtPlotMarker* marker : m_isolineLabels) {
        marker->detach();
        delete marker;
    }
    m_isolineLabels.clear();
}

void ScatterPlot::setIsolines(const std::vector<IsoLine>& lines, bool showLabels) {
    deleteIsolineItems();
    replot();
    IsolineItems items = makeIsolineItems(lines, showLabels);
    for (QwtPlotCurve* curve : items.curves)
        curve->attach(this);
    for (QwtPlotMarker* marker : items.labels)
        marker->attach(this);
    m_isolineCurves = std::move(items.curves);
    m_isolineLabels = std::move(items.labels);
    replot();
}

void ScatterPlot::clearIsolines() {
    deleteIsolineItems();
    replot();
}

void ScatterPlot::setScatterVisible(bool visible) {
    m_scatterHidden = !visible;
    invalidateDotLayer();
    if (!visible) {
        hideDots();
        hideColorBar();
    } else if (!m_colorData.empty() && m_colorData.size() == m_xData.size()) {
        m_spectroCurve->setVisible(true);
        m_scatterCurve->setVisible(false);
    } else if (!m_xData.empty()) {
        m_scatterCurve->setVisible(true);
        m_spectroCurve->setVisible(false);
    }
    replot();
}

void ScatterPlot::setScaleMode(int axis, int mode) {
    const bool wasLog = (axis == QwtPlot::xBottom ? m_xScaleMode : m_yScaleMode) ==
                        static_cast<int>(ScaleMode::Log);
    if (axis == QwtPlot::xBottom)
        m_xScaleMode = mode;
    else if (axis == QwtPlot::yLeft)
        m_yScaleMode = mode;
    QwtScaleEngine* engine = nullptr;
    switch (static_cast<ScaleMode>(mode)) {
    case ScaleMode::PseudoLog:
        engine = new PseudoLogScaleEngine(100.0, 0.5);
        break;
    case ScaleMode::Log:
        engine = new QwtLogScaleEngine(10);
        break;
    default:
        engine = new QwtLinearScaleEngine(10);
        break;
    }
    setAxisScaleEngine(axis, engine);
    setAxisAutoScale(axis, true);
    // Which points, polygons and highlight a log axis can draw changes
    // with it.
    const bool isLog = mode == static_cast<int>(ScaleMode::Log);
    if ((wasLog || isLog) && wasLog != isLog) {
        if (!m_xData.empty() && m_xData.size() == m_yData.size())
            showSamples();
        if (m_highlightCurve->isVisible() && m_highlightCurve->dataSize() > 0 &&
            !isDrawnRect(QRectF(m_highlightCurve->sample(0), QSizeF(0.0, 0.0))))
            m_highlightCurve->setVisible(false);
        for (auto& overlay : m_polygonOverlays)
            overlay.second->setItemAttribute(QwtPlotItem::AutoScale,
                                             isDrawnRect(overlay.second->boundingRect()));
        updatePolygonEditCurve();
    }
    replot();
}

void ScatterPlot::setColorMapIndex(int index) {
    if (index == m_colorMapIndex)
        return;
    m_colorMapIndex = index;
    if (m_colorData.empty() || m_colorData.size() != m_xData.size() || m_scatterHidden)
        return;
    const QwtInterval range =
        finiteColorRange(m_colorData, [this](std::size_t i) { return isDrawn(i); });
    m_spectroCurve->setColorMap(createColorMap(m_colorMapIndex));
    m_spectroCurve->setColorRange(range);
    invalidateDotLayer();
    QwtScaleWidget* bar = axisWidget(QwtPlot::yRight);
    if (bar->isColorBarEnabled())
        bar->setColorMap(range, createColorMap(m_colorMapIndex));
    replot();
}

void ScatterPlot::resetZoom() {
    setAxisAutoScale(QwtPlot::xBottom, true);
    setAxisAutoScale(QwtPlot::yLeft, true);
    replot();
}

} // namespace Quorvex3
