#include "stats/EvaluationPlotExport.h"

#include "plots/PlotFileExport.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPaintDevice>
#include <QPainter>

#include <qwt_plot.h>
#include <qwt_plot_renderer.h>

namespace Quorvex3 {

namespace {

constexpr double kGapMm = 8.0;
constexpr double kMmPerInch = 25.4;
constexpr int kPngDpi = 150;
constexpr double kSvgUnitsPerMm = 3.7795;

void fail(QString* error, const QString& reason) {
    if (error)
        *error = reason;
}

void setUpRenderer(QwtPlotRenderer& renderer, const PlotDocumentStyle& style) {
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardBackground, style.discardBackground);
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasBackground, false);
}

/// The stacked page: the plot width and the total height, a 150 dpi image,
/// an SVG drawn in units of 3.7795 per millimetre whose generator keeps its
/// default 72 dpi and the view box's size cut to whole units.
PlotPageSetup stackedPage(const PlotDocumentStyle& style, double heightMm) {
    PlotPageSetup page;
    page.sizeMm = QSizeF(style.plotSizeMm.width(), heightMm);
    page.dpi = kPngDpi;
    page.svgResolution = 72;
    page.svgPixelsPerInch = kSvgUnitsPerMm * kMmPerInch;
    page.svgUnitsPerMm = kSvgUnitsPerMm;
    return page;
}

/// An image format QImageWriter knows besides the three plot formats: the
/// renderer writes it, and the image must read back.
bool writeOtherImage(QwtPlot* plot, const QString& path, const QString& format,
                     const PlotDocumentStyle& style, QString* error) {
    QwtPlotRenderer renderer;
    setUpRenderer(renderer, style);
    return writeCheckedFile(
        path,
        [&](const QString& file) {
            renderer.renderDocument(plot, file, format, style.plotSizeMm, style.resolution);
            return true;
        },
        [&](const QString& file) {
            return !QImage(file, format.toLatin1().constData()).isNull();
        },
        error);
}

} // namespace

bool exportPlotDocument(QwtPlot* plot, const QString& path, const PlotDocumentStyle& style,
                        QString* error) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const PlotFileFormat format = plotFileFormatOf(suffix);
    const bool otherImage = format == PlotFileFormat::Unknown &&
                            QImageWriter::supportedImageFormats().contains(suffix.toLatin1());
    if (!plot || (format == PlotFileFormat::Unknown && !otherImage)) {
        fail(error, plot ? QStringLiteral("Unknown file format \"%1\".").arg(suffix)
                         : QStringLiteral("There is no plot."));
        return false;
    }
    if (otherImage)
        return writeOtherImage(plot, path, suffix, style, error);
    QwtPlotRenderer renderer;
    setUpRenderer(renderer, style);
    return renderPlotFile(renderer, plot, path, format, style.plotSizeMm, style.resolution,
                          error);
}

bool exportStackedPlots(const std::vector<QwtPlot*>& plots, const QString& path,
                        const PlotDocumentStyle& style, QString* error) {
    if (plots.empty()) {
        fail(error, QStringLiteral("There is no plot."));
        return false;
    }
    const auto n = static_cast<double>(plots.size());
    const double heightMm = n * style.plotSizeMm.height() + (n - 1.0) * kGapMm;
    PlotFileFormat format = plotFileFormatOf(QFileInfo(path).suffix());
    if (format == PlotFileFormat::Unknown)
        format = PlotFileFormat::Pdf;
    QwtPlotRenderer renderer;
    setUpRenderer(renderer, style);
    return writePlotPage(
        path, format, stackedPage(style, heightMm),
        [&](QPainter& painter, double unitsPerMm) {
            // Image and PDF pages are whole device pixels: the plots take the
            // page's width, and on the PDF page its height sets the scale.
            const QPaintDevice& device = *painter.device();
            const double width = format == PlotFileFormat::Svg
                                     ? style.plotSizeMm.width() * unitsPerMm
                                     : static_cast<double>(device.width());
            const double scale =
                format == PlotFileFormat::Pdf ? device.height() / heightMm : unitsPerMm;
            const double plotHeight = style.plotSizeMm.height() * scale;
            const double step = plotHeight + kGapMm * scale;
            for (std::size_t i = 0; i < plots.size(); ++i)
                renderer.render(plots[i], &painter,
                                QRectF(0.0, static_cast<double>(i) * step, width, plotHeight));
        },
        error);
}

bool exportPlots(const std::vector<QwtPlot*>& plots, const QString& path,
                 const PlotDocumentStyle& style, QString* error) {
    if (plots.size() == 1)
        return exportPlotDocument(plots.front(), path, style, error);
    return exportStackedPlots(plots, path, style, error);
}

} // namespace Quorvex3
