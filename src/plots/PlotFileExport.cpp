#include "plots/PlotFileExport.h"

#include "util/AtomicFile.h"

#include <qwt_plot_renderer.h>

#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPixmap>
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
        QPixmap pixmap(pixels(sizeMm.width(), page.dpi), pixels(sizeMm.height(), page.dpi));
        pixmap.fill(Qt::white);
        QPainter painter;
        if (pixmap.isNull() || !painter.begin(&pixmap))
            return false;
        paint(painter, page.dpi / kMmPerInch);
        painter.end();
        return pixmap.save(file, "PNG");
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
        paint(painter, page.svgUnitsPerMm);
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
