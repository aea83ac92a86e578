#pragma once

#include <QSizeF>
#include <QString>

#include <vector>

class QwtPlot;

namespace Quorvex3 {

/// How the plots of one export are drawn: the box of one plot (millimetres)
/// and whether the renderer leaves out the plot's own background.
struct PlotDocumentStyle {
    /// One plot's box; stacked plots are this wide and each this high.
    QSizeF plotSizeMm{120.0, 80.0};
    /// Dots per inch of a single-plot document (and of its raster image).
    int resolution = 150;
    /// True leaves out the widget background (the distribution plots); the
    /// canvas background is always drawn.
    bool discardBackground = false;
};

/// Writes one plot as a whole document of `style.plotSizeMm` at
/// `style.resolution`, the format named by the path's suffix (lower-cased:
/// "pdf", "svg" or an image format), through a temporary file beside the
/// path that replaces it only once the document is whole (the plots
/// library's checked writers). False, with the reason in `error`, on any
/// failure and for a read-only file at `path`; an existing file at `path`
/// then stays as it was and no temporary file is left.
bool exportPlotDocument(QwtPlot* plot, const QString& path, const PlotDocumentStyle& style,
                        QString* error);

/// Writes several plots one below the other, 8 mm apart, as one file: for
/// "png" a white 150 dpi image of 708 pixels width (the plot width, cut to
/// whole pixels), for "svg" an SVG document of 3.7795 units per millimetre,
/// for any other suffix a PDF page of the plots' width and total height
/// without margins. The same temporary-file rule and failures as
/// exportPlotDocument.
bool exportStackedPlots(const std::vector<QwtPlot*>& plots, const QString& path,
                        const PlotDocumentStyle& style, QString* error);

/// One plot through exportPlotDocument, several through exportStackedPlots;
/// false with a reason for none.
bool exportPlots(const std::vector<QwtPlot*>& plots, const QString& path,
                 const PlotDocumentStyle& style, QString* error);

} // namespace Quorvex3
