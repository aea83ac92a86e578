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

/// Whether the file at `path` is not empty and begins as a file of that
/// format does (the PNG signature, "%PDF-", an XML or <svg> start).
bool plotFileLooksWritten(const QString& path, PlotFileFormat format);

/// Whether `path` is an existing file marked read-only (no write permission
/// for its owner). Exports leave such a file alone: renaming a new file over
/// it would replace it anyway, and so would any write by the superuser.
bool isWriteProtectedFile(const QString& path);

/// Draws one page of `sizeMm` millimetres into `path`:
/// - PNG: a white pixmap of int(mm / 25.4 * dpi) pixels, saved as PNG;
/// - SVG: an SVG generator of int(mm / 25.4 * 90) pixels at 90 dots per inch
///   (so the file states the true size in millimetres) with a view box of
///   the size in millimetres, titled `title`;
/// - PDF: a high-resolution PDF printer with a page of exactly that size
///   and no margins.
/// `paint` draws with the painter it is given; `unitsPerMm` converts
/// millimetres into the device's units. False, with the reason in `error`
/// and the target untouched, when anything fails or the format is Unknown.
bool writePlotPage(const QString& path, PlotFileFormat format, const QSizeF& sizeMm, int dpi,
                   const QString& title,
                   const std::function<void(QPainter& painter, double unitsPerMm)>& paint,
                   QString* error);

/// Renders one plot with `renderer` into `path` as a document of `sizeMm`
/// at `dpi` (QwtPlotRenderer::renderDocument with the format named
/// explicitly), checked before it replaces the target.
bool renderPlotFile(QwtPlotRenderer& renderer, QwtPlot* plot, const QString& path,
                    PlotFileFormat format, const QSizeF& sizeMm, int dpi, QString* error);

} // namespace Quorvex3
