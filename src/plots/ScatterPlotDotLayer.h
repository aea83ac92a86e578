#pragma once

#include <qwt_plot.h>
#include <qwt_scale_div.h>

#include <QBrush>
#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QTransform>

#include <array>

class QPainter;
class QwtScaleMap;

namespace Quorvex3 {

/// The scatter plot canvas as painted up to and including the dots (grid,
/// isolines, dots), kept between canvas paints. With a million dots their
/// painting is what makes a repaint slow; the selected-event marker and the
/// polygon being drawn change with every mouse move, so they (and all that
/// lies over them) are painted afresh over this picture instead.
///
/// The picture is a copy of the paint device, so putting it back gives the
/// device exactly the pixels it had, and what is painted over it lands as on
/// a full repaint.
class DotLayerCache {
public:
    /// Everything the picture depends on besides the items themselves.
    struct Key {
        QRectF canvasRect;
        QSize deviceSize;
        qreal devicePixelRatio = 1.0;
        QTransform transform;
        QBrush background;
        std::array<QwtScaleDiv, QwtPlot::axisCnt> scaleDivs;
        std::array<double, QwtPlot::axisCnt> pixelStart{};
        std::array<double, QwtPlot::axisCnt> pixelEnd{};
        std::array<QByteArray, QwtPlot::axisCnt> scaleTransforms;

        bool operator==(const Key& other) const;
    };

    /// The key of a canvas paint of the plot with this painter (whose device
    /// is the one painted), canvas rectangle and axis maps.
    static Key keyFor(const QwtPlot& plot, const QPainter& painter, const QRectF& canvasRect,
                      const QwtScaleMap maps[QwtPlot::axisCnt]);

    /// Whether a picture of the painter's device can be kept: raster images
    /// and pixmaps only (a widget painted directly cannot be read back).
    static bool canKeep(const QPainter& painter);

    /// Puts the kept picture back on the painter's device when it was taken
    /// for this key; false (nothing painted) otherwise.
    bool restore(QPainter& painter, const Key& key) const;
    /// Keeps a copy of the painter's device as it is now, for this key.
    void store(const QPainter& painter, const Key& key);
    /// Drops the picture: the next canvas paint draws every item.
    void clear();
    bool isValid() const { return m_valid; }

private:
    bool m_valid = false;
    Key m_key;
    QPixmap m_pixmap;
    QImage m_image;
};

} // namespace Quorvex3
