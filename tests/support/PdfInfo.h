#pragma once

// The page size of a PDF as poppler's "pdfinfo" reads it: a check of the
// written document by a program other than the one that wrote it.

#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace Quorvex3::testing {

/// Width and height of the first page in points; an empty size when
/// pdfinfo cannot run or finds no page size.
inline QSizeF pdfPageSizePoints(const QString& path) {
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    if (!pdfinfo.waitForFinished(30000))
        return {};
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))
            .match(QString::fromUtf8(pdfinfo.readAllStandardOutput()));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

} // namespace Quorvex3::testing
