#include "compare/GalleryGridWidget.h"

#include "plots/ImageViewer.h"

#include <QGridLayout>
#include <QLabel>

#include <algorithm>

namespace Quorvex3 {

GalleryGridWidget::GalleryGridWidget(QWidget* parent) : QWidget(parent) {
    m_gridLayout = new QGridLayout(this);
    m_gridLayout->setContentsMargins(4, 4, 4, 4);
    m_gridLayout->setHorizontalSpacing(2);
    m_gridLayout->setVerticalSpacing(2);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // No size until the first page is laid out, so an export before it
    // gets nothing rather than an empty white box.
    resize(0, 0);
}

void GalleryGridWidget::ensureCellCount(int count) {
    while (static_cast<int>(m_imageLabels.size()) < count) {
        auto* image = new QLabel(this);
        image->setAlignment(Qt::AlignCenter);
        image->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        image->hide();
        auto* id = new QLabel(this);
        id->setAlignment(Qt::AlignCenter);
        id->setStyleSheet(QStringLiteral("QLabel { color: #555; font-size: 9px; }"));
        id->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        id->hide();
        m_imageLabels.push_back(image);
        m_idLabels.push_back(id);
    }
}

void GalleryGridWidget::placeCells(int columns) {
    for (size_t k = 0; k < m_imageLabels.size(); ++k) {
        m_gridLayout->removeWidget(m_imageLabels[k]);
        m_gridLayout->removeWidget(m_idLabels[k]);
        m_imageLabels[k]->hide();
        m_idLabels[k]->hide();
    }
    const int cells = columns * columns;
    for (int k = 0; k < cells; ++k) {
        const int row = k / columns;
        const int column = k % columns;
        m_gridLayout->addWidget(m_imageLabels[static_cast<size_t>(k)], 2 * row, column);
        m_gridLayout->addWidget(m_idLabels[static_cast<size_t>(k)], 2 * row + 1, column);
        m_imageLabels[static_cast<size_t>(k)]->show();
    }
    m_placedColumns = columns;
}

void GalleryGridWidget::setTiles(const std::vector<GalleryTile>& tiles, int columns, bool showIds) {
    m_columns = std::max(columns, 1);
    const int cells = m_columns * m_columns;
    ensureCellCount(cells);
    // Paging keeps the square: the cells stay where they are, and only
    // their contents change (moving 800 labels in and out of the layout
    // would cost more than drawing the page).
    if (m_placedColumns != m_columns)
        placeCells(m_columns);
    m_shownEvents.assign(static_cast<size_t>(cells), -1);
    for (int k = 0; k < cells; ++k) {
        const auto cell = static_cast<size_t>(k);
        QLabel* image = m_imageLabels[cell];
        QLabel* id = m_idLabels[cell];
        const QPixmap pixmap =
            cell < tiles.size() ? ImageViewer::matToPixmap(tiles[cell].image) : QPixmap();
        if (pixmap.isNull()) {
            image->clear();
            id->clear();
            id->hide();
            continue;
        }
        image->setPixmap(pixmap);
        if (image->minimumSize() != pixmap.size() || image->maximumSize() != pixmap.size())
            image->setFixedSize(pixmap.size());
        m_shownEvents[cell] = tiles[cell].eventIndex;
        if (showIds) {
            id->setText(QString::number(tiles[cell].eventIndex));
            if (id->minimumWidth() != pixmap.width() || id->maximumWidth() != pixmap.width())
                id->setFixedWidth(pixmap.width());
            id->show();
        } else {
            id->clear();
            id->hide();
        }
    }
    adjustSize();
}

void GalleryGridWidget::clear() {
    for (size_t k = 0; k < m_imageLabels.size(); ++k) {
        m_imageLabels[k]->clear();
        m_idLabels[k]->clear();
    }
    std::fill(m_shownEvents.begin(), m_shownEvents.end(), -1);
}

QPixmap GalleryGridWidget::renderToPixmap() const {
    if (width() < 1 || height() < 1)
        return {};
    QPixmap pixmap(size());
    pixmap.fill(Qt::white);
    const_cast<GalleryGridWidget*>(this)->render(
        &pixmap, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return pixmap;
}

} // namespace Quorvex3
