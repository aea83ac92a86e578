#pragma once

// Comparing pictures of written plot files: how many pixels of one image
// have no match in the other, and an SVG file drawn by Qt's own renderer.
// Header-only; needs Qt Gui and Qt Svg.

#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <algorithm>
#include <cstdlib>

namespace Quorvex3::testing {

/// Share of pixels whose channels differ by more than 32 from every pixel
/// of the other image within `slack` pixels, taken both ways (the larger
/// share); 1 for images of different sizes. A slack of 1 forgives lines and
/// edges that a renderer rounds to the neighbouring pixel.
inline double differingShare(const QImage& a, const QImage& b, int slack = 0) {
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    auto close = [](QRgb p, QRgb q) {
        return std::abs(qRed(p) - qRed(q)) <= 32 && std::abs(qGreen(p) - qGreen(q)) <= 32 &&
               std::abs(qBlue(p) - qBlue(q)) <= 32;
    };
    auto unmatched = [&](const QImage& from, const QImage& to) {
        int count = 0;
        for (int row = 0; row < from.height(); ++row)
            for (int col = 0; col < from.width(); ++col) {
                const QRgb p = from.pixel(col, row);
                bool matched = false;
                for (int dy = -slack; dy <= slack && !matched; ++dy)
                    for (int dx = -slack; dx <= slack && !matched; ++dx) {
                        const int r = row + dy, c = col + dx;
                        matched = r >= 0 && c >= 0 && r < to.height() && c < to.width() &&
                                  close(p, to.pixel(c, r));
                    }
                count += matched ? 0 : 1;
            }
        return count;
    };
    return static_cast<double>(std::max(unmatched(x, y), unmatched(y, x))) /
           (static_cast<double>(x.width()) * x.height());
}

/// The SVG file as QSvgRenderer draws it onto a white image of `size`; a
/// null image when the file does not parse.
inline QImage rasterisedSvg(const QString& path, const QSize& size) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

} // namespace Quorvex3::testing
