// Mouse and keyboard side of the scatter plot: zoom, pan, picking, polygon
// drawing and editing, and the polygon overlays.

#include "plots/ScatterPlot.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_map.h>
#include <qwt_transform.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRubberBand>
#include <QWheelEvent>

#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

/// A point counts as near when it lies within this share of the visible
/// plot's width and height.
constexpr double kNearestPointShare = 0.05;
constexpr int kVertexRadiusSquared = 12 * 12;
constexpr int kEdgeDistanceSquared = 8 * 8;
/// A rubber band must be larger than this in both directions to zoom.
constexpr int kMinZoomPixels = 5;
constexpr double kWheelZoomIn = 0.8;
constexpr double kWheelZoomOut = 1.25;
constexpr double kOverlayZ = 50.0;

/// Forward and inverse map of an axis's scale transform (identity when linear).
double toScaleSpace(const QwtScaleMap& map, double v) {
    const QwtTransform* t = map.transformation();
    return t ? t->transform(v) : v;
}

double fromScaleSpace(const QwtScaleMap& map, double v) {
    const QwtTransform* t = map.transformation();
    return t ? t->invTransform(v) : v;
}

QRect normalisedRect(const QPoint& a, const QPoint& b) {
    return QRect(a, b).normalized();
}

} // namespace

// ---- coordinate helpers ---------------------------------------------------

QPointF ScatterPlot::toData(const QPoint& pixel) const {
    return QPointF(invTransform(QwtPlot::xBottom, pixel.x()),
                   invTransform(QwtPlot::yLeft, pixel.y()));
}

QPointF ScatterPlot::toPixel(const QPointF& dataPos) const {
    return QPointF(transform(QwtPlot::xBottom, dataPos.x()),
                   transform(QwtPlot::yLeft, dataPos.y()));
}

// ---- queries --------------------------------------------------------------

int ScatterPlot::findNearestPoint(const QPointF& dataPos) const {
    if (m_xData.empty())
        return -1;
    const QwtScaleMap xMap = canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = canvasMap(QwtPlot::yLeft);
    const double w = std::abs(xMap.transform(xMap.s2()) - xMap.transform(xMap.s1()));
    const double h = std::abs(yMap.transform(yMap.s1()) - yMap.transform(yMap.s2()));
    if (w == 0.0 || h == 0.0)
        return -1;
    const double cx = xMap.transform(dataPos.x());
    const double cy = yMap.transform(dataPos.y());
    const size_t n = std::min(m_xData.size(), m_yData.size());
    double best = std::numeric_limits<double>::max();
    int bestIndex = -1;
    for (size_t i = 0; i < n; ++i) {
        if (!isDrawn(i))
            continue;
        const double dx = (xMap.transform(m_xData[i]) - cx) / w;
        const double dy = (yMap.transform(m_yData[i]) - cy) / h;
        const double d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            bestIndex = static_cast<int>(i);
        }
    }
    return best < kNearestPointShare * kNearestPointShare ? bestIndex : -1;
}

int ScatterPlot::findNearestVertex(const QPoint& pixel) const {
    double best = kVertexRadiusSquared;
    int bestIndex = -1;
    for (int i = 0; i < m_editPoints.size(); ++i) {
        const QPointF p = toPixel(m_editPoints[i]);
        const double dx = p.x() - pixel.x();
        const double dy = p.y() - pixel.y();
        const double d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return bestIndex;
}

int ScatterPlot::findNearestEdge(const QPoint& pixel) const {
    const int n = m_editPoints.size();
    if (n < 2)
        return -1;
    double best = kEdgeDistanceSquared;
    int bestIndex = -1;
    for (int i = 0; i < n; ++i) {
        const QPointF a = toPixel(m_editPoints[i]);
        const QPointF b = toPixel(m_editPoints[(i + 1) % n]);
        const double ex = b.x() - a.x();
        const double ey = b.y() - a.y();
        const double length2 = ex * ex + ey * ey;
        if (length2 == 0.0)
            continue;
        const double t = ((pixel.x() - a.x()) * ex + (pixel.y() - a.y()) * ey) / length2;
        if (t < 0.0 || t > 1.0)
            continue;
        const double dx = a.x() + t * ex - pixel.x();
        const double dy = a.y() + t * ey - pixel.y();
        const double d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return bestIndex;
}

// ---- polygon drawing ------------------------------------------------------

void ScatterPlot::startPolygonDrawing() {
    if (m_editingPolygon)
        stopPolygonEditing();
    m_drawingPolygon = true;
    m_drawPoints.clear();
    m_drawCurve->setSamples(QVector<QPointF>());
    m_drawCurve->setVisible(true);
    canvas()->setCursor(Qt::CrossCursor);
    canvas()->setFocus();
    m_lastHoverIndex = -1;
    replot();
}

void ScatterPlot::cancelPolygonDrawing() {
    if (!m_drawingPolygon)
        return;
    m_drawingPolygon = false;
    m_drawPoints.clear();
    m_drawCurve->setVisible(false);
    m_drawCurve->setSamples(QVector<QPointF>());
    canvas()->setCursor(Qt::ArrowCursor);
    m_lastHoverIndex = -1;
    replot();
    emit polygonDrawingStopped();
}

void ScatterPlot::updatePolygonDrawCurve() {
    m_drawCurve->setSamples(QVector<QPointF>(m_drawPoints.begin(), m_drawPoints.end()));
    replot();
}

// ---- polygon editing ------------------------------------------------------

void ScatterPlot::startPolygonEditing(int id, const QPolygonF& polygon) {
    const bool takesOver = m_editingPolygon && m_editPolygonId != id;
    const int previous = m_editPolygonId;
    if (m_drawingPolygon)
        cancelPolygonDrawing();
    m_editingPolygon = true;
    m_editPolygonId = id;
    m_editPoints = polygon;
    m_dragVertex = -1;
    if (takesOver) {
        const auto before = m_polygonOverlays.find(previous);
        if (before != m_polygonOverlays.end())
            before->second->setVisible(true);
    }
    const auto overlay = m_polygonOverlays.find(id);
    if (overlay != m_polygonOverlays.end())
        overlay->second->setVisible(false);
    m_editCurve->setVisible(true);
    canvas()->setCursor(Qt::ArrowCursor);
    canvas()->setFocus();
    updatePolygonEditCurve();
    // Told only now that the new polygon is under edit: whoever redraws the
    // overlays or the Edit toggles on this signal sees the plot as it is.
    if (takesOver)
        emit polygonEditingStopped(previous);
}

void ScatterPlot::updatePolygonEditCurve() {
    QVector<QPointF> samples(m_editPoints.begin(), m_editPoints.end());
    if (!samples.isEmpty())
        samples.append(samples.first());
    m_editCurve->setSamples(samples);
    // Corners a log axis cannot draw must not stretch it to its floor.
    m_editCurve->setItemAttribute(QwtPlotItem::AutoScale,
                                  samples.isEmpty() || isDrawnRect(m_editCurve->boundingRect()));
    replot();
}

void ScatterPlot::stopPolygonEditing() {
    if (!m_editingPolygon)
        return;
    const int oldId = m_editPolygonId;
    m_editingPolygon = false;
    m_editPolygonId = -1;
    m_editPoints.clear();
    m_dragVertex = -1;
    m_editCurve->setSamples(QVector<QPointF>());
    m_editCurve->setVisible(false);
    const auto overlay = m_polygonOverlays.find(oldId);
    if (overlay != m_polygonOverlays.end())
        overlay->second->setVisible(true);
    canvas()->setCursor(Qt::ArrowCursor);
    m_lastHoverIndex = -1;
    replot();
    emit polygonEditingStopped(oldId);
}

// ---- overlays -------------------------------------------------------------

void ScatterPlot::addPolygonOverlay(int id, const QPolygonF& polygon, bool enabled) {
    const auto existing = m_polygonOverlays.find(id);
    if (existing != m_polygonOverlays.end()) {
        existing->second->detach();
        delete existing->second;
        m_polygonOverlays.erase(existing);
    }
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();

    const QColor base = enabled ? QColor(255, 0, 0) : QColor(160, 160, 160);
    QColor line = base;
    line.setAlpha(180);
    QColor fill = base;
    fill.setAlpha(enabled ? 30 : 25);

    auto* item = new QwtPlotShapeItem();
    item->setShape(path);
    item->setItemAttribute(QwtPlotItem::AutoScale, isDrawnRect(path.boundingRect()));
    item->setPen(QPen(line, 2, enabled ? Qt::SolidLine : Qt::DashLine));
    item->setBrush(QBrush(fill));
    item->setZ(kOverlayZ);
    item->attach(this);
    m_polygonOverlays[id] = item;
    replot();
}

void ScatterPlot::removePolygonOverlay(int id) {
    const auto it = m_polygonOverlays.find(id);
    if (it == m_polygonOverlays.end())
        return;
    it->second->detach();
    delete it->second;
    m_polygonOverlays.erase(it);
    replot();
}

void ScatterPlot::clearPolygonOverlays() {
    for (auto& entry : m_polygonOverlays) {
        entry.second->detach();
        delete entry.second;
    }
    m_polygonOverlays.clear();
    replot();
}

// ---- event filter ---------------------------------------------------------

bool ScatterPlot::eventFilter(QObject* watched, QEvent* event) {
    if (watched != canvas())
        return QwtPlot::eventFilter(watched, event);

    bool consumed = false;
    switch (event->type()) {
    case QEvent::Wheel:
        consumed = handleWheel(static_cast<QWheelEvent*>(event));
        break;
    case QEvent::KeyPress:
        consumed = handleKeyPress(static_cast<QKeyEvent*>(event));
        break;
    case QEvent::MouseButtonPress:
        consumed = handleMousePress(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonDblClick:
        consumed = handleDoubleClick(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonRelease:
        consumed = handleMouseRelease(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseMove:
        consumed = handleMouseMove(static_cast<QMouseEvent*>(event));
        break;
    default:
        break;
    }
    return consumed || QwtPlot::eventFilter(watched, event);
}

bool ScatterPlot::handleWheel(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0)
        return true;
    const double f = delta > 0 ? kWheelZoomIn : kWheelZoomOut;
    const QPointF pos = event->position();
    // Scale space (linear in pixels) keeps the point under the cursor in
    // place on every scale and keeps log bounds positive.
    for (const int axis : {static_cast<int>(QwtPlot::xBottom), static_cast<int>(QwtPlot::yLeft)}) {
        const QwtScaleMap map = canvasMap(axis);
        const double c =
            toScaleSpace(map, map.invTransform(axis == QwtPlot::xBottom ? pos.x() : pos.y()));
        const double lo = toScaleSpace(map, map.s1());
        const double hi = toScaleSpace(map, map.s2());
        const double newLo = fromScaleSpace(map, c - f * (c - lo));
        const double newHi = fromScaleSpace(map, c + f * (hi - c));
        if (std::isfinite(newLo) && std::isfinite(newHi))
            setAxisScale(axis, newLo, newHi);
    }
    replot();
    return true;
}

bool ScatterPlot::handleKeyPress(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape)
        return false;
    if (m_drawingPolygon) {
        cancelPolygonDrawing();
        return true;
    }
    if (m_editingPolygon) {
        stopPolygonEditing();
        return true;
    }
    return false;
}

bool ScatterPlot::handleMousePress(QMouseEvent* event) {
    if (m_editingPolygon)
        return handleEditPress(event);
    const QPoint pixel = event->pos();
    if (event->button() == Qt::LeftButton) {
        if (m_drawingPolygon) {
            m_drawPoints.append(toData(pixel));
            updatePolygonDrawCurve();
            return true;
        }
        if (event->modifiers() & Qt::ShiftModifier) {
            m_panActive = true;
            m_panLast = pixel;
            canvas()->setCursor(Qt::ClosedHandCursor);
            return true;
        }
        m_zoomActive = true;
        m_zoomOrigin = pixel;
        if (!m_rubberBand)
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle, canvas());
        m_rubberBand->setGeometry(QRect(m_zoomOrigin, QSize()));
        return false;
    }
    if (event->button() == Qt::RightButton) {
        resetZoom();
        return true;
    }
    return false;
}

bool ScatterPlot::handleEditPress(QMouseEvent* event) {
    const QPoint pixel = event->pos();
    const int vertex = findNearestVertex(pixel);
    if (event->button() == Qt::LeftButton) {
        if (vertex >= 0) {
            m_dragVertex = vertex;
            canvas()->setCursor(Qt::ClosedHandCursor);
        } else {
            const int edge = findNearestEdge(pixel);
            if (edge >= 0) {
                m_editPoints.insert(edge + 1, toData(pixel));
                m_dragVertex = edge + 1;
                updatePolygonEditCurve();
                canvas()->setCursor(Qt::ClosedHandCursor);
            }
        }
    } else if (event->button() == Qt::RightButton && vertex >= 0) {
        // A polygon gate needs at least three corners.
        if (m_editPoints.size() >= 4) {
            m_editPoints.remove(vertex);
            updatePolygonEditCurve();
            emit polygonEdited(m_editPolygonId, m_editPoints);
        }
    }
    return true;
}

bool ScatterPlot::handleDoubleClick(QMouseEvent* event) {
    if (m_drawingPolygon) {
        if (m_drawPoints.size() < 3)
            return true;
        const QPolygonF polygon = m_drawPoints;
        m_drawingPolygon = false;
        m_drawPoints.clear();
        m_drawCurve->setVisible(false);
        m_drawCurve->setSamples(QVector<QPointF>());
        canvas()->setCursor(Qt::ArrowCursor);
        m_lastHoverIndex = -1;
        replot();
        emit polygonCompleted(polygon);
        emit polygonDrawingStopped();
        return true;
    }
    if (m_editingPolygon)
        return true;
    if (event->button() == Qt::LeftButton) {
        resetZoom();
        return true;
    }
    return false;
}

bool ScatterPlot::handleMouseRelease(QMouseEvent* event) {
    if (m_editingPolygon && m_dragVertex >= 0) {
        m_dragVertex = -1;
        canvas()->setCursor(Qt::ArrowCursor);
        emit polygonEdited(m_editPolygonId, m_editPoints);
        return true;
    }
    if (m_panActive) {
        m_panActive = false;
        canvas()->setCursor(m_drawingPolygon ? Qt::CrossCursor : Qt::ArrowCursor);
        return true;
    }
    if (m_zoomActive) {
        m_zoomActive = false;
        if (m_rubberBand)
            m_rubberBand->hide();
        finishZoomDrag(event->pos());
        return true;
    }
    return false;
}

void ScatterPlot::finishZoomDrag(const QPoint& pixel) {
    const QRect rect = normalisedRect(m_zoomOrigin, pixel);
    if (rect.width() > kMinZoomPixels && rect.height() > kMinZoomPixels) {
        setAxisScale(QwtPlot::xBottom, invTransform(QwtPlot::xBottom, rect.left()),
                     invTransform(QwtPlot::xBottom, rect.right()));
        setAxisScale(QwtPlot::yLeft, invTransform(QwtPlot::yLeft, rect.bottom()),
                     invTransform(QwtPlot::yLeft, rect.top()));
        replot();
        return;
    }
    const int index = findNearestPoint(toData(pixel));
    if (index >= 0)
        emit pointClicked(index);
}

bool ScatterPlot::handleMouseMove(QMouseEvent* event) {
    const QPoint pixel = event->pos();
    if (m_editingPolygon && m_dragVertex >= 0) {
        m_editPoints[m_dragVertex] = toData(pixel);
        updatePolygonEditCurve();
        return true;
    }
    if (m_panActive) {
        panBy(pixel - m_panLast);
        m_panLast = pixel;
        return true;
    }
    if (m_zoomActive) {
        const QRect rect = normalisedRect(m_zoomOrigin, pixel);
        if (rect.width() > kMinZoomPixels || rect.height() > kMinZoomPixels) {
            m_rubberBand->setGeometry(rect);
            m_rubberBand->show();
        }
        return true;
    }
    if (m_drawingPolygon || m_editingPolygon) {
        if (m_editingPolygon)
            updateEditCursor(pixel);
        updateHover(pixel);
    }
    return false;
}

void ScatterPlot::panBy(const QPoint& delta) {
    // Shifted in scale space, so a log axis moves by the same share of
    // decades everywhere and never reaches zero.
    for (const int axis : {static_cast<int>(QwtPlot::xBottom), static_cast<int>(QwtPlot::yLeft)}) {
        const QwtScaleMap map = canvasMap(axis);
        const double d = axis == QwtPlot::xBottom ? delta.x() : delta.y();
        const double lo = map.invTransform(map.transform(map.s1()) - d);
        const double hi = map.invTransform(map.transform(map.s2()) - d);
        if (std::isfinite(lo) && std::isfinite(hi))
            setAxisScale(axis, lo, hi);
    }
    replot();
}

void ScatterPlot::updateEditCursor(const QPoint& pixel) {
    if (findNearestVertex(pixel) >= 0)
        canvas()->setCursor(Qt::OpenHandCursor);
    else if (findNearestEdge(pixel) >= 0)
        canvas()->setCursor(Qt::CrossCursor);
    else
        canvas()->setCursor(Qt::ArrowCursor);
}

void ScatterPlot::updateHover(const QPoint& pixel) {
    const int index = findNearestPoint(toData(pixel));
    if (index == m_lastHoverIndex)
        return;
    m_lastHoverIndex = index;
    if (index >= 0)
        emit pointHovered(index);
}

} // namespace Quorvex3
