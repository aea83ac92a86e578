#include "plots/RoundSpectroCurve.h"

#include "plots/DotCompositing.h"

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

using dotcompositing::byteMul;
using dotcompositing::runOnThreads;

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

/// Source-over of a premultiplied colour with the given coverage.
inline void blendPixel(uint& dst, uint premultipliedColor, uint coverage) {
    const uint src = coverage == 255 ? premultipliedColor : byteMul(premultipliedColor, coverage);
    dst = src + byteMul(dst, 255u - qAlpha(src));
}

/// A disc to composite: its mask square's top-left in layer pixels and its
/// (non-transparent) colour.
struct PlacedDot {
    int x;
    int y;
    QRgb rgb;
};

/// Composites the discs, in order, onto rows [rowBegin, rowEnd) of the layer.
void paintDiscs(QImage& layer, const DiscMask& mask, const std::vector<PlacedDot>& dots,
                int rowBegin, int rowEnd) {
    const int width = layer.width();
    auto* bits = reinterpret_cast<uint*>(layer.bits());
    const qsizetype stride = layer.bytesPerLine() / static_cast<qsizetype>(sizeof(uint));
    const int firstDy = mask.rows.front().dy;
    const int lastDy = mask.rows.back().dy;
    for (const PlacedDot& dot : dots) {
        if (dot.y + lastDy < rowBegin || dot.y + firstDy >= rowEnd)
            continue;
        const uint color = qPremultiply(dot.rgb);
        const bool opaque = qAlpha(dot.rgb) == 255;
        for (const MaskRow& row : mask.rows) {
            const int y = dot.y + row.dy;
            if (y < rowBegin || y >= rowEnd)
                continue;
            uint* line = bits + y * stride;
            const int xStart = dot.x + row.dx0;
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
}

/// Row boundaries of `bands` bands of the layer (bands + 1 ascending
/// entries from 0 to height) holding about equal numbers of disc centres.
std::vector<int> balancedBands(const std::vector<std::vector<std::size_t>>& rowCounts, int height,
                               int bands) {
    std::vector<std::size_t> rows(static_cast<std::size_t>(height), 0);
    std::size_t total = 0;
    for (const std::vector<std::size_t>& counts : rowCounts) {
        for (std::size_t r = 0; r < counts.size() && r < rows.size(); ++r) {
            rows[r] += counts[r];
            total += counts[r];
        }
    }
    std::vector<int> starts(static_cast<std::size_t>(bands) + 1, height);
    starts[0] = 0;
    std::size_t seen = 0;
    int band = 1;
    for (int r = 0; r < height && band < bands; ++r) {
        seen += rows[static_cast<std::size_t>(r)];
        while (band < bands &&
               seen * static_cast<std::size_t>(bands) >= total * static_cast<std::size_t>(band)) {
            starts[static_cast<std::size_t>(band)] = r + 1;
            ++band;
        }
    }
    return starts;
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
    if (target.isEmpty() || to < from)
        return;
    const DiscMask mask = renderDiscMask(penWidth(), scale);
    if (mask.rows.empty())
        return;
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
    const double left = target.left() + mask.centre - device.dx();
    const double top = target.top() + mask.centre - device.dy();
    // The layer is painted in horizontal bands, one thread each, every band
    // taking the discs that reach it in sample order: each pixel then sees
    // the same blends in the same order as when one thread paints all.
    const std::size_t count = static_cast<std::size_t>(to - from) + 1;
    const int threads = paintThreadCount(count, height);
    // Chunk c of the samples places its discs in placed[c], in sample
    // order, and counts them by the layer row of their centre.
    std::vector<std::vector<PlacedDot>> placed(static_cast<std::size_t>(threads));
    std::vector<std::vector<std::size_t>> rowCounts(static_cast<std::size_t>(threads));
    runOnThreads(threads, [&](int chunk) {
        const std::size_t begin = count * static_cast<std::size_t>(chunk) / threads;
        const std::size_t end = count * static_cast<std::size_t>(chunk + 1) / threads;
        std::vector<PlacedDot>& dots = placed[static_cast<std::size_t>(chunk)];
        std::vector<std::size_t>& rows = rowCounts[static_cast<std::size_t>(chunk)];
        dots.reserve(end - begin);
        rows.assign(static_cast<std::size_t>(height), 0);
        for (std::size_t k = begin; k < end; ++k) {
            const QwtPoint3D s = samples.sample(from + static_cast<int>(k));
            const double ox = xMap.transform(s.x()) * scale - left;
            const double oy = yMap.transform(s.y()) * scale - top;
            // Also rejects NaN and values too large for an int.
            if (!(ox > -mask.centre * 2.0 - 1.0 && ox < width + 1.0 &&
                  oy > -mask.centre * 2.0 - 1.0 && oy < height + 1.0))
                continue;
            const QRgb rgb = map->rgb(range, s.z());
            if (qAlpha(rgb) == 0)
                continue;
            const PlacedDot dot{static_cast<int>(std::lround(ox)),
                                static_cast<int>(std::lround(oy)), rgb};
            dots.push_back(dot);
            ++rows[static_cast<std::size_t>(std::clamp(dot.y, 0, height - 1))];
        }
    });
    // Dots gather where the data is dense: bands of equal numbers of dots
    // keep the threads equally busy.
    const std::vector<int> bandStarts = balancedBands(rowCounts, height, threads);
    runOnThreads(threads, [&](int band) {
        const int rowBegin = bandStarts[static_cast<std::size_t>(band)];
        const int rowEnd = bandStarts[static_cast<std::size_t>(band) + 1];
        if (rowBegin >= rowEnd)
            return;
        for (const std::vector<PlacedDot>& dots : placed)
            paintDiscs(layer, mask, dots, rowBegin, rowEnd);
    });
    placed = {};
    layer.setDevicePixelRatio(scale);
    painter->drawImage(device.inverted().map(QPointF(target.topLeft())), layer);
}

void RoundSpectroCurve::setPaintThreads(int threads) {
    m_paintThreads = std::max(0, threads);
}

int RoundSpectroCurve::paintThreadCount(std::size_t dots, int rows) const {
    // Each band keeps a few rows.
    return dotcompositing::threadsFor(dots, rows, m_paintThreads, 8);
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
