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

namespace Quorvex3 {

namespace {

constexpr double kMmPerInch = 25.4;
// SVG user units per inch: the size the file states in millimetres is then
// its pixel size / 90 * 25.4, the page's true size.
constexpr int kSvgResolution = 90;

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

int pixels(double mm, int dpi) {
    return static_cast<int>(mm / kMmPerInch * dpi);
}

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// Draws into the temporary file; false when the device would not open.
bool paintPage(const QString& file, PlotFileFormat format, const QSizeF& sizeMm, int dpi,
               const QString& title,
               const std::function<void(QPainter&, double)>& paint) {
    if (format == PlotFileFormat::Png) {
        QPixmap pixmap(pixels(sizeMm.width(), dpi), pixels(sizeMm.height(), dpi));
        pixmap.fill(Qt::white);
        QPainter painter;
        if (pixmap.isNull() || !painter.begin(&pixmap))
            return false;
        paint(painter, dpi / kMmPerInch);
        painter.end();
        return pixmap.save(file, "PNG");
    }
    if (format == PlotFileFormat::Svg) {
        QSvgGenerator generator;
        generator.setFileName(file);
        generator.setResolution(kSvgResolution);
        generator.setSize(QSize(pixels(sizeMm.width(), kSvgResolution),
                                pixels(sizeMm.height(), kSvgResolution)));
        generator.setViewBox(QRectF(QPointF(0, 0), sizeMm));
        generator.setTitle(title);
        QPainter painter;
        if (!painter.begin(&generator))
            return false;
        paint(painter, 1.0);
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
        return head.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8));
    case PlotFileFormat::Pdf:
        return head.startsWith("%PDF-");
    case PlotFileFormat::Svg:
        return (head.startsWith("<?xml") || head.startsWith("<svg")) && head.contains("<svg");
    case PlotFileFormat::Unknown:
        break;
    }
    return false;
}

bool isWriteProtectedFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !(info.permissions() & QFileDevice::WriteOwner);
}

bool writePlotPage(const QString& path, PlotFileFormat format, const QSizeF& sizeMm, int dpi,
                   const QString& title,
                   const std::function<void(QPainter& painter, double unitsPerMm)>& paint,
                   QString* error) {
    if (format == PlotFileFormat::Unknown) {
        setError(error, QStringLiteral("Unknown file format."));
        return false;
    }
    if (isWriteProtectedFile(path)) {
        setError(error, QStringLiteral("The file is read-only."));
        return false;
    }
    TemporaryTarget target(path);
    if (!target.create(error))
        return false;
    if (!paintPage(target.temporaryPath(), format, sizeMm, dpi, title, paint) ||
        !plotFileLooksWritten(target.temporaryPath(), format)) {
        setError(error, QStringLiteral("The file could not be written."));
        return false;
    }
    return target.commit(error);
}

bool renderPlotFile(QwtPlotRenderer& renderer, QwtPlot* plot, const QString& path,
                    PlotFileFormat format, const QSizeF& sizeMm, int dpi, QString* error) {
    if (format == PlotFileFormat::Unknown) {
        setError(error, QStringLiteral("Unknown file format."));
        return false;
    }
    if (isWriteProtectedFile(path)) {
        setError(error, QStringLiteral("The file is read-only."));
        return false;
    }
    TemporaryTarget target(path);
    if (!target.create(error))
        return false;
    // Qwt 6.1 reports nothing: the written file is the only sign of success.
    renderer.renderDocument(plot, target.temporaryPath(), QString::fromLatin1(formatName(format)),
                          sizeMm, dpi);
    if (!plotFileLooksWritten(target.temporaryPath(), format)) {
        setError(error, QStringLiteral("The file could not be written."));
        return false;
    }
    return target.commit(error);
}

} // namespace Quorvex3
