// Canvas painting of the scatter plot: the dot layer is kept between paints,
// and only the items over it are painted again.

#include "plots/ScatterPlotDotLayer.h"

#include "plots/RoundSpectroCurve.h"
#include "plots/ScatterPlot.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_item.h>
#include <qwt_scale_map.h>
#include <qwt_transform.h>

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <typeinfo>

namespace Quorvex3 {

// ---- the kept picture -----------------------------------------------------

bool DotLayerCache::Key::operator==(const Key& other) const {
    return canvasRect == other.canvasRect && deviceSize == other.deviceSize &&
           devicePixelRatio == other.devicePixelRatio && transform == other.transform &&
           background == other.background && scaleDivs == other.scaleDivs &&
           pixelStart == other.pixelStart && pixelEnd == other.pixelEnd &&
           scaleTransforms == other.scaleTransforms;
}

DotLayerCache::Key DotLayerCache::keyFor(const QwtPlot& plot, const QPainter& painter,
                                         const QRectF& canvasRect,
                                         const QwtScaleMap maps[QwtPlot::axisCnt]) {
    Key key;
    key.canvasRect = canvasRect;
    const QPaintDevice* device = painter.device();
    key.deviceSize = QSize(device->width(), device->height());
    key.devicePixelRatio = device->devicePixelRatioF();
    key.transform = painter.worldTransform();
    key.background = plot.canvasBackground();
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        const QwtScaleMap& map = maps[axis];
        // The interval alone misses a change of ticks (the grid follows them).
        key.scaleDivs[axis] = plot.axisScaleDiv(axis);
        key.pixelStart[axis] = map.p1();
        key.pixelEnd[axis] = map.p2();
        // A scale switched between linear, log and pseudo-log over the same
        // interval moves every dot.
        const QwtTransform* transform = map.transformation();
        key.scaleTransforms[axis] =
            transform ? QByteArray(typeid(*transform).name()) : QByteArray();
    }
    return key;
}

bool DotLayerCache::canKeep(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return device &&
           (device->devType() == QInternal::Pixmap || device->devType() == QInternal::Image);
}

bool DotLayerCache::restore(QPainter& painter, const Key& key) const {
    if (!m_valid || !(key == m_key))
        return false;
    painter.save();
    // The picture is the whole device in device pixels: put back as it was,
    // whatever the world transform, and not blended with what lies below.
    painter.resetTransform();
    painter.setOpacity(1.0);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!m_pixmap.isNull())
        painter.drawPixmap(QPointF(0.0, 0.0), m_pixmap);
    else
        painter.drawImage(QPointF(0.0, 0.0), m_image);
    painter.restore();
    return true;
}

void DotLayerCache::store(const QPainter& painter, const Key& key) {
    const QPaintDevice* device = painter.device();
    clear();
    if (!device)
        return;
    if (device->devType() == QInternal::Pixmap)
        m_pixmap = static_cast<const QPixmap*>(device)->copy();
    else if (device->devType() == QInternal::Image)
        m_image = static_cast<const QImage*>(device)->copy();
    else
        return;
    m_key = key;
    m_valid = true;
}

void DotLayerCache::clear() {
    m_valid = false;
    m_pixmap = QPixmap();
    m_image = QImage();
}

// ---- the plot's side ------------------------------------------------------

void ScatterPlot::setDotLayerCaching(bool on) {
    if (on == m_dotLayerCaching)
        return;
    m_dotLayerCaching = on;
    invalidateDotLayer();
    replot();
}

void ScatterPlot::invalidateDotLayer() {
    m_dotLayer->clear();
}

bool ScatterPlot::isUnderMarker(const QwtPlotItem* item) const {
    // Items sort by z, equal z in the order attached; the marker curve is
    // attached right after the dot curves.
    return item != m_highlightCurve && item->z() <= m_highlightCurve->z();
}

void ScatterPlot::drawCanvas(QPainter* painter) {
    // Only the canvas keeps a dot layer; exports reach drawItems directly
    // and paint every item.
    m_paintingCanvas = true;
    QwtPlot::drawCanvas(painter);
    m_paintingCanvas = false;
}

void ScatterPlot::drawItems(QPainter* painter, const QRectF& canvasRect,
                            const QwtScaleMap maps[QwtPlot::axisCnt]) const {
    const QwtPlotItemList& items = itemList();
    if (!m_paintingCanvas || !m_dotLayerCaching || !DotLayerCache::canKeep(*painter)) {
        drawItemRange(painter, canvasRect, maps, 0, items.size());
        return;
    }
    // Everything drawn before the marker is the dot layer; the marker and
    // all drawn after it (contours, polygons, the polygon being drawn or
    // edited) are painted over it on every paint, in their usual order.
    const int firstOver = std::max(0, static_cast<int>(items.indexOf(m_highlightCurve)));
    const DotLayerCache::Key key = DotLayerCache::keyFor(*this, *painter, canvasRect, maps);
    if (!m_dotLayer->restore(*painter, key)) {
        drawItemRange(painter, canvasRect, maps, 0, firstOver);
        m_dotLayer->store(*painter, key);
    }
    drawItemRange(painter, canvasRect, maps, firstOver, items.size());
}

void ScatterPlot::drawItemRange(QPainter* painter, const QRectF& canvasRect,
                                const QwtScaleMap maps[QwtPlot::axisCnt], int from, int to) const {
    const QwtPlotItemList& items = itemList();
    for (int i = from; i < to; ++i) {
        QwtPlotItem* item = items.at(i);
        if (!item || !item->isVisible())
            continue;
        // As QwtPlot::drawItems paints each item.
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing,
                               item->testRenderHint(QwtPlotItem::RenderAntialiased));
        item->draw(painter, maps[item->xAxis()], maps[item->yAxis()], canvasRect);
        painter->restore();
        if (item == m_scatterCurve || item == m_spectroCurve)
            ++m_dotPaintCount;
    }
}

} // namespace Quorvex3
