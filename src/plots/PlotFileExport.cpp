#include "plots/PlotFileExport.h"

#include "util/AtomicFile.h"

#include <qwt_plot_renderer.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QSvgGenerator>

#include <algorithm>

namespace Quorvex3 {

namespace {

constexpr double kMmPerInch = 25.4;

const char* formatName(PlotFileFormat format) {
    switch (format) {
    case PlotFileFormat::Png:
        return "png";
    case PlotFileFormat::Svg:
        return "svg";
    case PlotFileFormat::Pdf:
        return "pdf";
    case PlotFileFormat::Unknown:
        break;
    }
    return "";
}

int pixels(double mm, double dpi) {
    return static_cast<int>(mm / kMmPerInch * dpi);
}

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// Draws into the temporary file; false when the device would not open.
bool paintPage(const QString& file, PlotFileFormat format, const PlotPageSetup& page,
               const std::function<void(QPainter&, double)>& paint) {
    const QSizeF& sizeMm = page.sizeMm;
    if (format == PlotFileFormat::Png) {
        // An image, not a pixmap: a pixmap has the screen's resolution, so
        // fonts would be sized for the screen and the file would state the
        // screen's dots per inch.
        QImage image(pixels(sizeMm.width(), page.dpi), pixels(sizeMm.height(), page.dpi),
                     QImage::Format_RGB32);
        if (image.isNull())
            return false;
        image.setDotsPerMeterX(dotsPerMetre(page.dpi));
        image.setDotsPerMeterY(dotsPerMetre(page.dpi));
        image.fill(Qt::white);
        QPainter painter;
        if (!painter.begin(&image))
            return false;
        paint(painter, page.dpi / kMmPerInch);
        painter.end();
        return image.save(file, "PNG");
    }
    if (format == PlotFileFormat::Svg) {
        QSvgGenerator generator;
        generator.setFileName(file);
        generator.setResolution(page.svgResolution);
        generator.setSize(QSize(pixels(sizeMm.width(), page.svgPixelsPerInch),
                                pixels(sizeMm.height(), page.svgPixelsPerInch)));
        generator.setViewBox(QRectF(0.0, 0.0, sizeMm.width() * page.svgUnitsPerMm,
                                    sizeMm.height() * page.svgUnitsPerMm));
        generator.setTitle(page.title);
        QPainter painter;
        if (!painter.begin(&generator))
            return false;
        mapSvgPageDots(painter, page);
        paint(painter, svgPageDotsPerMm(page));
        return painter.end();
    }
    if (format == PlotFileFormat::Pdf) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPageSize(QPageSize(sizeMm, QPageSize::Millimeter, QString(),
                                      QPageSize::FuzzyMatch));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QPainter painter;
        if (!painter.begin(&printer))
            return false;
        paint(painter, printer.resolution() / kMmPerInch);
        return painter.end();
    }
    return false;
}

// The last bytes of the file, where a whole document ends.
QByteArray tailOf(QFile& file) {
    file.seek(std::max<qint64>(0, file.size() - 1024));
    return file.readAll();
}

} // namespace

double svgPageDotsPerMm(const PlotPageSetup& page) {
    return page.svgResolution / kMmPerInch;
}

void mapSvgPageDots(QPainter& painter, const PlotPageSetup& page) {
    // Drawn in view box units, a 12 pt font would be 12 / 72 inch in dots
    // of the generator's resolution, not in millimetres: text and Qwt's
    // layout (both sized by the resolution) would swamp the page.
    const double scale = page.svgUnitsPerMm / svgPageDotsPerMm(page);
    painter.scale(scale, scale);
}

int dotsPerMetre(double dpi) {
    return qRound(dpi / kMmPerInch * 1000.0);
}

PlotFileFormat plotFileFormatOf(const QString& suffix) {
    const QString s = suffix.toLower();
    if (s == QLatin1String("png"))
        return PlotFileFormat::Png;
    if (s == QLatin1String("svg"))
        return PlotFileFormat::Svg;
    if (s == QLatin1String("pdf"))
        return PlotFileFormat::Pdf;
    return PlotFileFormat::Unknown;
}

bool plotFileLooksWritten(const QString& path, PlotFileFormat format) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(512);
    switch (format) {
    case PlotFileFormat::Png:
        return head.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)) &&
               tailOf(file).endsWith(QByteArray("IEND\xae\x42\x60\x82", 8));
    case PlotFileFormat::Pdf:
        return head.startsWith("%PDF-") && tailOf(file).contains("%%EOF");
    case PlotFileFormat::Svg:
        return (head.startsWith("<?xml") || head.startsWith("<svg")) && head.contains("<svg") &&
               tailOf(file).contains("</svg>");
    case PlotFileFormat::Unknown:
        break;
    }
    return false;
}

bool isWriteProtectedFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !(info.permissions() & QFileDevice::WriteOwner);
}

bool writeCheckedFile(const QString& path,
                      const std::function<bool(const QString& temporaryPath)>& write,
                      const std::function<bool(const QString& temporaryPath)>& looksWritten,
                      QString* error) {
    if (isWriteProtectedFile(path)) {
        setError(error, QStringLiteral("The file is read-only."));
        return false;
    }
    TemporaryTarget target(path);
    if (!target.create(error))
        return false;
    if (!write(target.temporaryPath()) || !looksWritten(target.temporaryPath())) {
        setError(error, QStringLiteral("The file could not be written."));
        return false;
    }
    return target.commit(error);
}

namespace {

// The checked write of one of the plot formats; Unknown is refused.
bool writeCheckedPlotFile(const QString& path, PlotFileFormat format,
                          const std::function<bool(const QString&)>& write, QString* error) {
    if (format == PlotFileFormat::Unknown) {
        setError(error, QStringLiteral("Unknown file format."));
        return false;
    }
    return writeCheckedFile(
        path, write, [format](const QString& file) { return plotFileLooksWritten(file, format); },
        error);
}

} // namespace

bool writePlotPage(const QString& path, PlotFileFormat format, const QSizeF& sizeMm, int dpi,
                   const QString& title,
                   const std::function<void(QPainter& painter, double unitsPerMm)>& paint,
                   QString* error) {
    PlotPageSetup page;
    page.sizeMm = sizeMm;
    page.dpi = dpi;
    page.title = title;
    return writePlotPage(path, format, page, paint, error);
}

bool writePlotPage(const QString& path, PlotFileFormat format, const PlotPageSetup& page,
                   const std::function<void(QPainter& painter, double unitsPerMm)>& paint,
                   QString* error) {
    return writeCheckedPlotFile(
        path, format,
        [&](const QString& file) { return paintPage(file, format, page, paint); }, error);
}

bool renderPlotFile(QwtPlotRenderer& renderer, QwtPlot* plot, const QString& path,
                    PlotFileFormat format, const QSizeF& sizeMm, int dpi, QString* error) {
    return writeCheckedPlotFile(
        path, format,
        [&](const QString& file) {
            // Qwt 6.1 reports nothing: the written file is the only sign of success.
            renderer.renderDocument(plot, file, QString::fromLatin1(formatName(format)), sizeMm,
                                    dpi);
            return true;
        },
        error);
}

} // namespace Quorvex3
