#pragma once

#include <qwt_plot_curve.h>

namespace Quorvex3 {

/// The scatter plot's plain-coloured dots: a curve of symbols only, drawn as
/// QwtPlotCurve draws them (the symbol's cached picture at each rounded
/// point, in sample order), but with many dots blended straight into the
/// device's pixels in row bands on several threads. Where that cannot give
/// the very pixels Qt would paint (vector devices, scaled or clipped
/// painters, uncached symbols), the dots are left to QwtPlotCurve.
class PlainDotCurve : public QwtPlotCurve {
public:
    explicit PlainDotCurve(const QString& title = QString());
    ~PlainDotCurve() override;

    /// Threads that blend many dots; the picture does not depend on their
    /// number. 0 (the default) chooses by the number of dots and the
    /// machine, 1 blends on the calling thread only.
    void setPaintThreads(int threads);

protected:
    void drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                     const QwtScaleMap& yMap, const QRectF& canvasRect, int from,
                     int to) const override;

private:
    int m_paintThreads = 0;
};

} // namespace Quorvex3
