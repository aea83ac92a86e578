#include "stats/EvaluationPlotExport.h"

#include "util/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QSvgGenerator>

#include <qwt_plot.h>
#include <qwt_plot_renderer.h>

#include <algorithm>

namespace Quorvex3 {

namespace {

constexpr double kGapMm = 8.0;
constexpr double kMmPerInch = 25.4;
constexpr double kPngDpi = 150.0;
constexpr double kSvgUnitsPerMm = 3.7795;

void fail(QString* error, const QString& reason) {
    if (error)
        *error = reason;
}

void setUpRenderer(QwtPlotRenderer& renderer, const PlotDocumentStyle& style) {
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardBackground, style.discardBackground);
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasBackground, false);
}

/// Renders every plot into the box `boxOf(i)` of an open painter.
template <typename Box>
void renderStack(const std::vector<QwtPlot*>& plots, const PlotDocumentStyle& style,
                 QPainter& painter, Box boxOf) {
    QwtPlotRenderer renderer;
    setUpRenderer(renderer, style);
    for (std::size_t i = 0; i < plots.size(); ++i)
        renderer.render(plots[i], &painter, boxOf(static_cast<double>(i)));
}

bool writePng(const std::vector<QwtPlot*>& plots, const QString& file,
              const PlotDocumentStyle& style, double heightMm, QString* error) {
    const double perMm = kPngDpi / kMmPerInch;
    QImage image(static_cast<int>(style.plotSizeMm.width() * perMm),
                 static_cast<int>(heightMm * perMm), QImage::Format_ARGB32);
    if (image.isNull()) {
        fail(error, QStringLiteral("The image is too large."));
        return false;
    }
    image.fill(Qt::white);
    QPainter painter;
    if (!painter.begin(&image)) {
        fail(error, QStringLiteral("Could not draw the image."));
        return false;
    }
    const double step = (style.plotSizeMm.height() + kGapMm) * perMm;
    renderStack(plots, style, painter, [&](double i) {
        return QRectF(0.0, i * step, static_cast<double>(image.width()),
                      style.plotSizeMm.height() * perMm);
    });
    painter.end();
    if (!image.save(file, "png")) {
        fail(error, QStringLiteral("The image could not be saved."));
        return false;
    }
    return true;
}

bool writeSvg(const std::vector<QwtPlot*>& plots, const QString& file,
              const PlotDocumentStyle& style, double heightMm, QString* error) {
    const double width = style.plotSizeMm.width() * kSvgUnitsPerMm;
    const double height = heightMm * kSvgUnitsPerMm;
    QSvgGenerator generator;
    generator.setFileName(file);
    generator.setSize(QSize(static_cast<int>(width), static_cast<int>(height)));
    generator.setViewBox(QRectF(0.0, 0.0, width, height));
    QPainter painter;
    if (!painter.begin(&generator)) {
        fail(error, QStringLiteral("Could not start the SVG document."));
        return false;
    }
    const double step = (style.plotSizeMm.height() + kGapMm) * kSvgUnitsPerMm;
    renderStack(plots, style, painter, [&](double i) {
        return QRectF(0.0, i * step, width, style.plotSizeMm.height() * kSvgUnitsPerMm);
    });
    return painter.end();
}

bool writePdf(const std::vector<QwtPlot*>& plots, const QString& file,
              const PlotDocumentStyle& style, double heightMm, QString* error) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QSizeF(style.plotSizeMm.width(), heightMm), QPageSize::Millimeter,
                                  QString(), QPageSize::FuzzyMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer)) {
        fail(error, QStringLiteral("Could not start the PDF document."));
        return false;
    }
    const double pageWidth = printer.width();
    const double scale = printer.height() / heightMm;
    const double plotHeight = style.plotSizeMm.height() * scale;
    renderStack(plots, style, painter, [&](double i) {
        return QRectF(0.0, i * (plotHeight + kGapMm * scale), pageWidth, plotHeight);
    });
    return painter.end();
}

/// Whether the file holds a whole document: a raster image that reads back,
/// an SVG document up to its closing tag, a PDF up to its end marker. The
/// renderer and the generators report no failed write; a file cut short
/// (disk full, a size limit) must not replace the old one.
bool documentComplete(const QString& file, const QString& format) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly) || in.size() <= 0)
        return false;
    if (format == QLatin1String("svg") || format == QLatin1String("pdf")) {
        in.seek(std::max<qint64>(0, in.size() - 1024));
        const QByteArray tail = in.readAll();
        return tail.contains(format == QLatin1String("svg") ? "</svg>" : "%%EOF");
    }
    in.close();
    return !QImage(file, format.toLatin1().constData()).isNull();
}

/// Runs `write` on a temporary file beside `path` and puts it in place
/// when it reports success and left a whole document of `format`.
template <typename Write>
bool throughTemporaryFile(const QString& path, const QString& format, QString* error, Write write) {
    TemporaryTarget target(path);
    QString reason;
    if (!target.create(&reason)) {
        fail(error, reason);
        return false;
    }
    if (!write(target.temporaryPath(), &reason))
        return fail(error, reason), false;
    if (!documentComplete(target.temporaryPath(), format)) {
        fail(error, QStringLiteral("The document was not written completely."));
        return false;
    }
    if (!target.commit(&reason)) {
        fail(error, reason);
        return false;
    }
    return true;
}

bool knownDocumentFormat(const QString& suffix) {
    return suffix == QLatin1String("pdf") || suffix == QLatin1String("svg") ||
           QImageWriter::supportedImageFormats().contains(suffix.toLatin1());
}

} // namespace

bool exportPlotDocument(QwtPlot* plot, const QString& path, const PlotDocumentStyle& style,
                        QString* error) {
    const QString format = QFileInfo(path).suffix().toLower();
    if (!plot || !knownDocumentFormat(format)) {
        fail(error, plot ? QStringLiteral("Unknown file format \"%1\".").arg(format)
                         : QStringLiteral("There is no plot."));
        return false;
    }
    return throughTemporaryFile(path, format, error, [&](const QString& file, QString*) {
        QwtPlotRenderer renderer;
        setUpRenderer(renderer, style);
        // The renderer reports nothing; the file's size tells.
        renderer.renderDocument(plot, file, format, style.plotSizeMm, style.resolution);
        return true;
    });
}

bool exportStackedPlots(const std::vector<QwtPlot*>& plots, const QString& path,
                        const PlotDocumentStyle& style, QString* error) {
    if (plots.empty()) {
        fail(error, QStringLiteral("There is no plot."));
        return false;
    }
    const auto n = static_cast<double>(plots.size());
    const double heightMm = n * style.plotSizeMm.height() + (n - 1.0) * kGapMm;
    const QString format = QFileInfo(path).suffix().toLower();
    const QString written = format == QLatin1String("png") || format == QLatin1String("svg")
                                ? format
                                : QStringLiteral("pdf");
    return throughTemporaryFile(path, written, error, [&](const QString& file, QString* reason) {
        if (format == QLatin1String("png"))
            return writePng(plots, file, style, heightMm, reason);
        if (format == QLatin1String("svg"))
            return writeSvg(plots, file, style, heightMm, reason);
        return writePdf(plots, file, style, heightMm, reason);
    });
}

bool exportPlots(const std::vector<QwtPlot*>& plots, const QString& path,
                 const PlotDocumentStyle& style, QString* error) {
    if (plots.size() == 1)
        return exportPlotDocument(plots.front(), path, style, error);
    return exportStackedPlots(plots, path, style, error);
}

} // namespace Quorvex3
