#pragma once

// Writing plots to PNG, SVG and PDF files so that a failed export never
// harms the file it was meant to replace: everything is drawn into a
// temporary file beside the target, checked (the painter opened, the file
// is not empty and starts as its format does), and only then renamed over
// the target.

#include <QSizeF>
#include <QString>

#include <functional>

class QPainter;
class QwtPlot;
class QwtPlotRenderer;

namespace Quorvex3 {

enum class PlotFileFormat { Png, Svg, Pdf, Unknown };

/// The format of a file suffix ("png", "svg", "pdf", any case); Unknown
/// otherwise.
PlotFileFormat plotFileFormatOf(const QString& suffix);

/// Whether the file at `path` begins as a file of that format does (the PNG
/// signature, "%PDF-", an XML or <svg> start) and also ends as a whole one
/// does (the PNG end chunk, "%%EOF", "</svg>" near its end). The devices
/// report no failed write, so a file cut short (disk full, a size limit)
/// shows only here and must not replace the old one.
bool plotFileLooksWritten(const QString& path, PlotFileFormat format);

/// Whether `path` is an existing file marked read-only (no write permission
/// for its owner). Exports leave such a file alone: renaming a new file over
/// it would replace it anyway, and so would any write by the superuser.
bool isWriteProtectedFile(const QString& path);

/// How one page is laid out on each device. The defaults state the page's
/// true size: an SVG of int(mm / 25.4 * 90) pixels at 90 dots per inch
/// with a view box in millimetres.
///
/// Every device draws text and lines at their true size on the page: a
/// painter sizes a font from its device's resolution, and Qwt lays a plot out
/// by that resolution too, so the painter always draws in the device's own
/// dots (a PNG page is an image that states its resolution; an SVG page is
/// drawn in dots of svgResolution, mapped onto the view box's units).
struct PlotPageSetup {
    QSizeF sizeMm;
    /// Pixels per inch of a PNG page, also stated in the file.
    int dpi = 150;
    /// The SVG document's title.
    QString title;
    /// Dots per inch the SVG generator states its size at; the painter's
    /// units on an SVG page are dots of this resolution.
    int svgResolution = 90;
    /// SVG generator pixels per inch of the page (the size is cut to whole
    /// pixels); equal to svgResolution for the true size.
    double svgPixelsPerInch = 90.0;
    /// SVG view box units per millimetre.
    double svgUnitsPerMm = 1.0;
};

/// Painter units per millimetre of an SVG page: dots of its resolution.
double svgPageDotsPerMm(const PlotPageSetup& page);

/// Prepares the painter of an SVG page: its dots mapped onto the view box.
void mapSvgPageDots(QPainter& painter, const PlotPageSetup& page);

/// Dots per metre a PNG image of that resolution states.
int dotsPerMetre(double dpi);

/// Writes `path` through a temporary file beside it: refuses a read-only
/// target, lets `write` fill the temporary file and renames it over `path`
/// only when `write` succeeded and `looksWritten` holds for the temporary
/// file. False, with the reason in `error` and the target untouched,
/// otherwise; no temporary file is left.
bool writeCheckedFile(const QString& path,
                      const std::function<bool(const QString& temporaryPath)>& write,
                      const std::function<bool(const QString& temporaryPath)>& looksWritten,
                      QString* error);

/// Draws one page of `sizeMm` millimetres into `path`:
/// - PNG: a white image of int(mm / 25.4 * dpi) pixels at `dpi`, saved as
///   PNG;
/// - SVG: an SVG generator of int(mm / 25.4 * 90) pixels at 90 dots per inch
///   (so the file states the true size in millimetres) with a view box of
///   the size in millimetres, titled `title`;
/// - PDF: a high-resolution PDF printer with a page of exactly that size
///   and no margins.
/// `paint` draws with the painter it is given; `unitsPerMm` converts
/// millimetres into the painter's units (the device's dots). False, with the
/// reason in `error` and the target untouched, when anything fails or the
/// format is Unknown.
bool writePlotPage(const QString& path, PlotFileFormat format, const QSizeF& sizeMm, int dpi,
                   const QString& title,
                   const std::function<void(QPainter& painter, double unitsPerMm)>& paint,
                   QString* error);

/// The same with every device's layout given (see PlotPageSetup).
bool writePlotPage(const QString& path, PlotFileFormat format, const PlotPageSetup& page,
                   const std::function<void(QPainter& painter, double unitsPerMm)>& paint,
                   QString* error);

/// Renders one plot with `renderer` into `path` as a document of `sizeMm`
/// at `dpi` (QwtPlotRenderer::renderDocument with the format named
/// explicitly), checked before it replaces the target.
bool renderPlotFile(QwtPlotRenderer& renderer, QwtPlot* plot, const QString& path,
                    PlotFileFormat format, const QSizeF& sizeMm, int dpi, QString* error);

} // namespace Quorvex3
