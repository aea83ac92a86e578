#pragma once

#include <qwt_plot_spectrocurve.h>

#include <cstddef>

namespace Quorvex3 {

/// Colour-mapped scatter dots drawn as filled, antialiased discs without an
/// outline. Samples are (x, y, z); z picks the colour through the curve's
/// colour map and colour range. The disc diameter in pixels is the curve's
/// pen width. Later samples are painted over earlier ones.
class RoundSpectroCurve : public QwtPlotSpectroCurve {
public:
    explicit RoundSpectroCurve(const QString& title = QString());
    ~RoundSpectroCurve() override;

    /// The samples, shared with the curve (no copy): for drawing the same
    /// dots elsewhere, also on another thread. Qwt 6.1 keeps the series of a
    /// spectro curve out of reach otherwise.
    QVector<QwtPoint3D> sharedSamples() const;

    /// Threads that composite many dots, each painting a band of rows; the
    /// picture does not depend on their number. 0 (the default) chooses by
    /// the number of dots and the machine, 1 paints on the calling thread
    /// only.
    void setPaintThreads(int threads);
    int paintThreads() const { return m_paintThreads; }

protected:
    /// Draws samples from..to (inclusive). Nothing without a colour map.
    /// On a raster device (painter moved or evenly scaled only), many dots are
    /// composited through one pre-rendered disc mask, each disc snapped to the
    /// device's pixel grid (less than a pixel from its exact place); otherwise
    /// every disc is painted at its exact position, so vector exports keep
    /// true ellipses.
    void drawDots(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                  const QRectF& canvasRect, int from, int to) const override;

private:
    void drawDotsExact(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                       int from, int to) const;
    void drawDotsComposited(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                            const QRectF& canvasRect, int from, int to) const;
    int paintThreadCount(std::size_t dots, int rows) const;

    int m_paintThreads = 0;
};

} // namespace Quorvex3
