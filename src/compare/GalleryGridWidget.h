#pragma once

#include "compare/GalleryRender.h"

#include <QPixmap>
#include <QWidget>

#include <vector>

class QGridLayout;
class QLabel;

namespace Quorvex3 {

/// The gallery's tile grid: a square of `columns` x `columns` cells, each an
/// image with the event index below it. Labels are made when a page first
/// needs that many cells and reused for every later page, so paging creates
/// no widgets. GUI thread only.
class GalleryGridWidget : public QWidget {
    Q_OBJECT

public:
    explicit GalleryGridWidget(QWidget* parent = nullptr);

    /// Grows the label lists to at least `count` cells (never shrinks them).
    void ensureCellCount(int count);
    /// Lays out a square of max(columns, 1)^2 cells; cell k shows tile k
    /// (in row-major order) when there is one with an image, with its event
    /// index below when `showIds`; other cells keep their place but stay
    /// empty, without caption. Tiles beyond the square are not shown.
    void setTiles(const std::vector<GalleryTile>& tiles, int columns, bool showIds);
    /// Empties every cell's image and caption; the layout stays.
    void clear();
    /// The grid as it looks, on white; a null pixmap while it has no size.
    QPixmap renderToPixmap() const;

    /// Columns of the current square.
    int columnCount() const { return m_columns; }
    /// Labels made so far (image labels; as many caption labels).
    int cellCapacity() const { return static_cast<int>(m_imageLabels.size()); }
    /// Event index of each cell that shows an image, in cell order, -1 for
    /// an empty cell: what the user sees, for callers that check a page.
    const std::vector<int>& shownEvents() const { return m_shownEvents; }

private:
    /// Puts the first columns^2 cells into the layout, row-major, image
    /// above caption, and takes every other cell out (hidden).
    void placeCells(int columns);

    QGridLayout* m_gridLayout = nullptr;
    int m_columns = 10;
    std::vector<QLabel*> m_imageLabels;
    std::vector<QLabel*> m_idLabels;
    std::vector<int> m_shownEvents;
    int m_placedColumns = 0; ///< the square the layout holds, 0 before the first page
};

} // namespace Quorvex3
