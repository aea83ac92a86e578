#include "plots/PlainDotCurve.h"

#include "plots/DotCompositing.h"

#include <qwt_point_mapper.h>
#include <qwt_scale_map.h>
#include <qwt_symbol.h>

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QRegion>

#include <algorithm>
#include <vector>

namespace Quorvex3 {

namespace {

using dotcompositing::byteMul;
using dotcompositing::runOnThreads;

/// QwtPlotCurve maps and draws its symbols in chunks of this many samples;
/// consecutive duplicates are weeded out within a chunk only.
constexpr int kChunk = 500;
/// Below this many dots QwtPlotCurve's own drawing is as quick.
constexpr int kMinDots = 5000;

/// The device's pixels when they can be blended into exactly as the raster
/// engine would: a 32-bit image or raster pixmap without scaling.
bool blendableDevice(const QPainter& painter) {
    const QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    if (!painter.deviceTransform().isIdentity() || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    const QPaintDevice* device = painter.device();
    if (!device || device->devicePixelRatioF() != 1.0)
        return false;
    if (device->devType() != QInternal::Image && device->devType() != QInternal::Pixmap)
        return false;
    return true;
}

/// The pixels the painter may paint: the device, or a whole-pixel rectangle
/// of it the painter is clipped to; empty for any other clip.
QRect paintableRect(const QPainter& painter) {
    const QRect all(0, 0, painter.device()->width(), painter.device()->height());
    if (!painter.hasClipping())
        return all;
    const QRegion region = painter.clipRegion();
    if (region.rectCount() != 1 || painter.clipBoundingRect() != QRectF(region.boundingRect()))
        return QRect();
    return region.boundingRect() & all;
}

bool blendableFormat(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

PlainDotCurve::PlainDotCurve(const QString& title) : QwtPlotCurve(title) {}

PlainDotCurve::~PlainDotCurve() = default;

void PlainDotCurve::setPaintThreads(int threads) {
    m_paintThreads = std::max(0, threads);
}

void PlainDotCurve::drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                                const QwtScaleMap& yMap, const QRectF& canvasRect, int from,
                                int to) const {
    const int count = to - from + 1;
    const QRect paintable = blendableDevice(*painter) ? paintableRect(*painter) : QRect();
    if (count < kMinDots || symbol.cachePolicy() == QwtSymbol::NoCache || paintable.isEmpty()) {
        QwtPlotCurve::drawSymbols(painter, symbol, xMap, yMap, canvasRect, from, to);
        return;
    }
    QPaintDevice* device = painter->device();
    QImage* image = nullptr;
    QImage pixels;
    if (device->devType() == QInternal::Image) {
        image = static_cast<QImage*>(device);
        // Writing into a shared image would detach it from the painter.
        if (!image->isDetached()) {
            QwtPlotCurve::drawSymbols(painter, symbol, xMap, yMap, canvasRect, from, to);
            return;
        }
    } else {
        pixels = static_cast<QPixmap*>(device)->toImage();
        image = &pixels;
    }
    if (!blendableFormat(image->format())) {
        QwtPlotCurve::drawSymbols(painter, symbol, xMap, yMap, canvasRect, from, to);
        return;
    }

    // The symbol's picture exactly as Qwt blits it: one symbol drawn by the
    // symbol itself onto transparent pixels (a copy of its cached picture).
    const QRect box = symbol.boundingRect();
    if (box.isEmpty())
        return;
    QImage stamp(box.size(), QImage::Format_ARGB32_Premultiplied);
    stamp.fill(Qt::transparent);
    {
        QPainter p(&stamp);
        p.setRenderHints(painter->renderHints());
        symbol.drawSymbol(&p, QPointF(-box.left(), -box.top()));
    }

    // Places as QwtPlotCurve finds them: the same mapper over the same chunks.
    QwtPointMapper mapper;
    mapper.setFlag(QwtPointMapper::RoundPoints, true);
    mapper.setFlag(QwtPointMapper::WeedOutPoints, testPaintAttribute(QwtPlotCurve::FilterPoints));
    // Bounded by the canvas only: dots outside the clip blend nothing.
    mapper.setBoundingRect(canvasRect);
    const int chunks = (count + kChunk - 1) / kChunk;
    const int threads =
        std::min(chunks, dotcompositing::threadsFor(static_cast<std::size_t>(count),
                                                    paintable.height(), m_paintThreads, 1));
    std::vector<std::vector<QPoint>> placed(static_cast<std::size_t>(threads));
    runOnThreads(threads, [&](int part) {
        const int firstChunk = chunks * part / threads;
        const int lastChunk = chunks * (part + 1) / threads;
        std::vector<QPoint>& own = placed[static_cast<std::size_t>(part)];
        own.reserve(static_cast<std::size_t>(lastChunk - firstChunk) * kChunk);
        for (int c = firstChunk; c < lastChunk; ++c) {
            const int i = from + c * kChunk;
            const int n = std::min(kChunk, to - i + 1);
            const QPolygonF points = mapper.toPointsF(xMap, yMap, data(), i, i + n - 1);
            for (const QPointF& point : points)
                own.emplace_back(qRound(point.x()) + box.left(), qRound(point.y()) + box.top());
        }
    });

    // The columns of each stamp row that hold any colour.
    struct StampRow {
        int first = 0;
        int end = 0;
    };
    std::vector<StampRow> rows(static_cast<std::size_t>(stamp.height()));
    for (int y = 0; y < stamp.height(); ++y) {
        const auto* line = reinterpret_cast<const uint*>(stamp.constScanLine(y));
        StampRow& row = rows[static_cast<std::size_t>(y)];
        row.first = stamp.width();
        for (int x = 0; x < stamp.width(); ++x) {
            if (line[x] != 0) {
                row.first = std::min(row.first, x);
                row.end = x + 1;
            }
        }
    }

    // Row bands, one thread each, every band blending the dots that reach it
    // in sample order: each pixel sees the blends of a serial paint.
    const int left = paintable.left();
    const int right = paintable.right() + 1;
    const int top = paintable.top();
    const int height = paintable.height();
    const int stampWidth = stamp.width();
    const int stampHeight = stamp.height();
    uchar* bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    runOnThreads(threads, [&](int band) {
        const int rowBegin = top + height * band / threads;
        const int rowEnd = top + height * (band + 1) / threads;
        for (const std::vector<QPoint>& dots : placed) {
            for (const QPoint& dot : dots) {
                const int y0 = std::max(dot.y(), rowBegin);
                const int y1 = std::min(dot.y() + stampHeight, rowEnd);
                const int x0 = std::max(dot.x(), left);
                const int x1 = std::min(dot.x() + stampWidth, right);
                for (int y = y0; y < y1; ++y) {
                    const StampRow& row = rows[static_cast<std::size_t>(y - dot.y())];
                    auto* line = reinterpret_cast<uint*>(bits + y * stride);
                    const auto* source =
                        reinterpret_cast<const uint*>(stamp.constScanLine(y - dot.y()));
                    const int xFrom = std::max(x0, dot.x() + row.first);
                    const int xTo = std::min(x1, dot.x() + row.end);
                    for (int x = xFrom; x < xTo; ++x) {
                        const uint s = source[x - dot.x()];
                        // As Qt blends: opaque pixels replace, clear ones keep.
                        if (qAlpha(s) == 255)
                            line[x] = s;
                        else if (s != 0)
                            line[x] = s + byteMul(line[x], 255u - qAlpha(s));
                    }
                }
            }
        }
    });

    if (image == &pixels) {
        // Back onto the pixmap as it is, not blended again.
        painter->save();
        painter->setClipping(false);
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        painter->drawImage(QPointF(0.0, 0.0), pixels);
        painter->restore();
    }
}

} // namespace Quorvex3
