#pragma once

#include <QBrush>
#include <QPalette>

class QwtPlot;
class QwtPlotRenderer;

namespace Quorvex3 {

/// The look of one QwtPlot as it was before `applyExportStyle`; every array
/// is indexed by Qwt axis id (yLeft, yRight, xBottom, xTop).
struct PlotExportStyle {
    QBrush canvasBackground;
    /// QFrame frame style of the canvas (only used when the canvas is a QFrame).
    int canvasFrameStyle = 0;
    bool alignCanvasToScale[4] = {false, false, false, false};
    int canvasMargin[4] = {0, 0, 0, 0};
    bool axisVisible[4] = {false, false, false, false};
    QPalette palette;
    bool autoFillBackground = false;
    /// Scale draw components (QwtAbstractScaleDraw::ScaleComponent bits) per
    /// axis, so the ticks and labels that the export hides on formerly hidden
    /// axes come back afterwards.
    int scaleComponents[4] = {0, 0, 0, 0};
};

/// Gives the plot a white, frameless look for writing it to a file: white
/// canvas and window, canvas aligned to the scales without margins, and the
/// hidden top and right axes shown as bare lines so the plot gets a closed
/// box. Replots and returns the previous look for `restoreExportStyle`.
/// `replot` false updates the axes only and leaves the canvas as it is drawn
/// (for a plot rendered elsewhere and put back before it is shown again).
PlotExportStyle applyExportStyle(QwtPlot* plot, bool replot = true);

/// Puts back everything `applyExportStyle` changed, including the ticks and
/// labels of the axes it showed as bare lines, and replots.
void restoreExportStyle(QwtPlot* plot, const PlotExportStyle& style, bool replot = true);

/// Prepares a renderer for an export: no background, no canvas frame, a
/// frame drawn along the scales.
void configureExportRenderer(QwtPlotRenderer& renderer);

} // namespace Quorvex3
