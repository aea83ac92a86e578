#include "plots/RoundSpectroCurve.h"

#include <qwt_color_map.h>
#include <qwt_scale_map.h>

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Quorvex3 {

namespace {

/// Below this many dots the exact path is cheap enough and the layer
/// allocation would dominate.
constexpr int kMinDotsForCompositing = 1000;

/// One row of a disc mask: the covered columns and their coverage (0..255).
struct MaskRow {
    int dy = 0;
    int dx0 = 0;
    std::vector<uint> coverage;
};

/// Coverage of one antialiased disc of the given diameter (logical pixels),
/// drawn by QPainter at the given device scale exactly as the exact path
/// draws it, centred at (centre, centre) device pixels of a square of whole
/// device pixels.
struct DiscMask {
    double centre = 0.0;
    std::vector<MaskRow> rows;
};

DiscMask renderDiscMask(double diameter, double scale) {
    const int side = static_cast<int>(std::ceil(diameter * scale)) + 2;
    DiscMask mask;
    mask.centre = side * 0.5;

    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.scale(scale, scale);
        const double c = mask.centre / scale;
        const double r = diameter * 0.5;
        p.drawEllipse(QRectF(c - r, c - r, diameter, diameter));
    }
    for (int y = 0; y < side; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int first = -1;
        int last = -1;
        for (int x = 0; x < side; ++x) {
            if (qAlpha(line[x]) > 0) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        if (first < 0)
            continue;
        MaskRow row;
        row.dy = y;
        row.dx0 = first;
        for (int x = first; x <= last; ++x)
            row.coverage.push_back(static_cast<uint>(qAlpha(line[x])));
        mask.rows.push_back(std::move(row));
    }
    return mask;
}

/// Multiplies every channel of a premultiplied ARGB pixel by a/255 (rounded).
inline uint byteMul(uint x, uint a) {
    uint t = (x & 0xff00ffu) * a;
    t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
    t &= 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = (x + ((x >> 8) & 0xff00ffu) + 0x800080u);
    x &= 0xff00ff00u;
    return x | t;
}

/// Source-over of a premultiplied colour with the given coverage.
inline void blendPixel(uint& dst, uint premultipliedColor, uint coverage) {
    const uint src = coverage == 255 ? premultipliedColor : byteMul(premultipliedColor, coverage);
    dst = src + byteMul(dst, 255u - qAlpha(src));
}

/// The samples of a spectro curve. Qwt 6.1 keeps them in a private base of
/// QwtPlotSpectroCurve without an accessor for subclasses; an explicit
/// (C-style) cast is the one conversion the language allows to such a base.
const ::QwtSeriesStore<QwtPoint3D>& samplesOf(const QwtPlotSpectroCurve* curve) {
    return *(const ::QwtSeriesStore<QwtPoint3D>*)curve;
}

/// Compositing needs a raster device and a transform that only moves and
/// scales evenly (as on high-resolution screens and in bitmap exports).
bool canComposite(const QPainter* painter) {
    const QPaintEngine* engine = painter->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    const QTransform t = painter->deviceTransform();
    return t.type() <= QTransform::TxScale && t.m11() > 0.0 && t.m11() == t.m22();
}

} // namespace

RoundSpectroCurve::RoundSpectroCurve(const QString& title) : QwtPlotSpectroCurve(title) {}

RoundSpectroCurve::~RoundSpectroCurve() = default;

void RoundSpectroCurve::drawDots(QPainter* painter, const QwtScaleMap& xMap,
                                 const QwtScaleMap& yMap, const QRectF& canvasRect, int from,
                                 int to) const {
    if (from > to || !colorMap())
        return;
    if (to - from + 1 >= kMinDotsForCompositing && canComposite(painter))
        drawDotsComposited(painter, xMap, yMap, canvasRect, from, to);
    else
        drawDotsExact(painter, xMap, yMap, from, to);
}

void RoundSpectroCurve::drawDotsExact(QPainter* painter, const QwtScaleMap& xMap,
                                      const QwtScaleMap& yMap, int from, int to) const {
    const QwtColorMap* map = colorMap();
    const QwtInterval range = colorRange();
    const double r = penWidth() * 0.5;
    const auto& samples = samplesOf(this);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    for (int i = from; i <= to; ++i) {
        const QwtPoint3D s = samples.sample(i);
        const double px = xMap.transform(s.x());
        const double py = yMap.transform(s.y());
        if (!std::isfinite(px) || !std::isfinite(py))
            continue;
        painter->setBrush(QBrush(QColor::fromRgba(map->rgb(range, s.z()))));
        painter->drawEllipse(QRectF(px - r, py - r, 2.0 * r, 2.0 * r));
    }
    painter->restore();
}

void RoundSpectroCurve::drawDotsComposited(QPainter* painter, const QwtScaleMap& xMap,
                                           const QwtScaleMap& yMap, const QRectF& canvasRect,
                                           int from, int to) const {
    // The layer is made in device pixels, so the discs keep their exact
    // look on scaled painters too.
    const QTransform device = painter->deviceTransform();
    const double scale = device.m11();
    const QRect target = device.mapRect(canvasRect).toAlignedRect();
    if (target.isEmpty())
        return;
    const DiscMask mask = renderDiscMask(penWidth(), scale);
    const QwtColorMap* map = colorMap();
    const QwtInterval range = colorRange();
    const auto& samples = samplesOf(this);

    // All discs go into one transparent layer first; source-over is
    // associative, so laying the layer over the canvas gives the same
    // picture as painting the discs one by one.
    QImage layer(target.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(0);
    const int width = layer.width();
    const int height = layer.height();
    auto* bits = reinterpret_cast<uint*>(layer.bits());
    const qsizetype stride = layer.bytesPerLine() / static_cast<qsizetype>(sizeof(uint));
    const double left = target.left() + mask.centre - device.dx();
    const double top = target.top() + mask.centre - device.dy();

    for (int i = from; i <= to; ++i) {
        const QwtPoint3D s = samples.sample(i);
        const double ox = xMap.transform(s.x()) * scale - left;
        const double oy = yMap.transform(s.y()) * scale - top;
        // Also rejects NaN and values too large for an int.
        if (!(ox > -mask.centre * 2.0 - 1.0 && ox < width + 1.0 && oy > -mask.centre * 2.0 - 1.0 &&
              oy < height + 1.0))
            continue;
        const QRgb rgb = map->rgb(range, s.z());
        if (qAlpha(rgb) == 0)
            continue;
        const uint color = qPremultiply(rgb);
        const int x0 = static_cast<int>(std::lround(ox));
        const int y0 = static_cast<int>(std::lround(oy));
        const bool opaque = qAlpha(rgb) == 255;
        for (const MaskRow& row : mask.rows) {
            const int y = y0 + row.dy;
            if (y < 0 || y >= height)
                continue;
            uint* line = bits + y * stride;
            const int xStart = x0 + row.dx0;
            const int n = static_cast<int>(row.coverage.size());
            const int kBegin = std::max(0, -xStart);
            const int kEnd = std::min(n, width - xStart);
            for (int k = kBegin; k < kEnd; ++k) {
                const uint coverage = row.coverage[static_cast<size_t>(k)];
                if (opaque && coverage == 255)
                    line[xStart + k] = color;
                else
                    blendPixel(line[xStart + k], color, coverage);
            }
        }
    }
    layer.setDevicePixelRatio(scale);
    painter->drawImage(device.inverted().map(QPointF(target.topLeft())), layer);
}

QVector<QwtPoint3D> RoundSpectroCurve::sharedSamples() const {
    const auto& store = samplesOf(this);
    if (const auto* series = dynamic_cast<const QwtPoint3DSeriesData*>(store.data()))
        return series->samples();
    QVector<QwtPoint3D> samples;
    samples.reserve(static_cast<int>(store.dataSize()));
    for (size_t i = 0; i < store.dataSize(); ++i)
        samples.append(store.sample(static_cast<int>(i)));
    return samples;
}

} // namespace Quorvex3
