#pragma once

#include "calc/IsoLine.h"
#include "density/DensityEstimator.h"

#include <qwt_plot.h>
#include <qwt_plot_picker.h>

#include <QPoint>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

class QRubberBand;
class QwtPlotCurve;
class QwtPlotItem;
class QwtPlotMarker;
class QwtPlotPanner;
class QwtPlotShapeItem;

namespace Quorvex3 {

class DotLayerCache;
class RoundSpectroCurve;

/// Click picker on the scatter plot canvas: no tracker, no rubber band.
/// Picking itself is done by ScatterPlot's event filter.
class ScatterPlotPicker : public QwtPlotPicker {
public:
    explicit ScatterPlotPicker(QWidget* canvas);
};

/// The main scatter plot: one dot per plotted event of two features, in one
/// plain colour or coloured by a third value through a colour map with a
/// colour bar on the right axis; density contours, lines of constant Young's
/// modulus, polygon filter overlays and a marker on the selected event on top.
///
/// The canvas keeps what it paints up to the dots (grid, isolines, dots)
/// until the data, axes, size or colours change, and paints the selected
/// event's marker and everything over it (contours, polygons, the polygon
/// being drawn or edited) afresh over that picture; exports paint every item.
///
/// Every array handed over is in plot order: index i of x, y and colour is
/// plot point i, and the signals carry such plot indices. Zoom (wheel, left
/// drag, right click to reset), Shift-drag and middle-drag panning, picking
/// and polygon drawing and editing all happen on the canvas.
class ScatterPlot : public QwtPlot {
    Q_OBJECT

public:
    explicit ScatterPlot(QWidget* parent = nullptr);
    ~ScatterPlot() override;

    // ---- display ----------------------------------------------------------

    /// Shows the points (x[i], y[i]). x and y must have equal, non-zero
    /// length, else the plot is cleared. A colour array of the same length
    /// colours the dots through the current colour map (range over its finite
    /// values) and shows a colour bar titled colorLabel on the right axis; any
    /// other length gives plain dots. Highlight, contours, isolines and
    /// overlays are left alone.
    void setData(const std::vector<double>& x, const std::vector<double>& y, const QString& xLabel,
                 const QString& yLabel, const std::vector<double>& colorValues,
                 const QString& colorLabel);
    /// Removes the dots, the colour bar, the highlight and the contours,
    /// empties the axis titles and turns autoscale back on for both axes.
    void clearData();
    /// Marks plot point index; an index out of range hides the marker.
    void highlightPoint(int index);
    void clearHighlight();
    /// One curve per path of at least 2 points, black, width 2; the first
    /// level dashed, the others solid. Replaces the previous contours.
    void setContours(const std::vector<ContourLevel>& levels);
    /// Removes the contours without replotting.
    void clearContours();
    /// Grey lines of constant modulus (already in plot coordinates), with an
    /// optional "<value> kPa" label at each line's last point.
    void setIsolines(const std::vector<IsoLine>& lines, bool showLabels);
    void clearIsolines();
    /// false: contours-only view (dots and colour bar hidden, also across
    /// later setData calls). true: dots back; the colour bar returns with the
    /// next setData.
    void setScatterVisible(bool visible);
    /// axis: a Qwt axis id; mode: a ScaleMode code (0 linear, 1 log base 10,
    /// 2 pseudo-log). Switches the axis to autoscale. A log axis leaves out
    /// the points, polygons and highlight it cannot draw (values at or below
    /// 0); they stay plot points, and its range comes from what it draws.
    void setScaleMode(int axis, int mode);
    /// 0..5, see createColorMap; recolours the dots when colour data is shown.
    void setColorMapIndex(int index);
    int colorMapIndex() const { return m_colorMapIndex; }
    /// Autoscale on for the bottom and left axes.
    void resetZoom();

    // ---- interaction ------------------------------------------------------

    void startPolygonDrawing();
    void cancelPolygonDrawing();
    bool isDrawingPolygon() const { return m_drawingPolygon; }

    /// Edits the vertices (data units) of the polygon with the given overlay
    /// id; its overlay is hidden meanwhile.
    void startPolygonEditing(int id, const QPolygonF& polygon);
    void stopPolygonEditing();
    bool isEditingPolygon() const { return m_editingPolygon; }
    int editingPolygonId() const { return m_editPolygonId; }

    /// Shows a filter polygon (data units) under the given id: red when
    /// enabled, grey and dashed when not. Ids above 999999 are group polygons.
    void addPolygonOverlay(int id, const QPolygonF& polygon, bool enabled);
    void removePolygonOverlay(int id);
    void clearPolygonOverlays();

    /// Plot index of the point nearest to a data position, measured as a
    /// share of the visible plot's width and height; -1 when none lies within
    /// 5 % of it or nothing is plotted.
    int findNearestPoint(const QPointF& dataPos) const;
    /// Index of the edited vertex within 12 pixels of a canvas pixel, or -1.
    int findNearestVertex(const QPoint& pixel) const;
    /// Index i of the edited edge (vertex i to i + 1, the last back to 0)
    /// within 8 pixels of a canvas pixel, or -1.
    int findNearestEdge(const QPoint& pixel) const;
    void updatePolygonDrawCurve();
    void updatePolygonEditCurve();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // ---- painting ---------------------------------------------------------

    /// Whether canvas paints keep the dot layer (on by default). Off, every
    /// canvas paint draws every item, as an export does.
    void setDotLayerCaching(bool on);
    bool dotLayerCaching() const { return m_dotLayerCaching; }
    /// How many times the dots (plain or coloured) have been painted, on
    /// the canvas or elsewhere, since the plot was made.
    std::size_t dotPaintCount() const { return m_dotPaintCount; }

    /// Canvas paints only: keeps the dot layer between them.
    void drawCanvas(QPainter* painter) override;
    void drawItems(QPainter* painter, const QRectF& canvasRect,
                   const QwtScaleMap maps[QwtPlot::axisCnt]) const override;

public slots:
    /// Thins the ticks of the bottom and left axes where their labels would
    /// overlap, then replots.
    void replot() override;

protected:
    /// Fits the ticks to the new size.
    void resizeEvent(QResizeEvent* event) override;

signals:
    /// A left click (no drag) near plot point index.
    void pointClicked(int index);
    /// While drawing or editing, the point nearest to the cursor changed.
    void pointHovered(int index);
    /// A drawn polygon (data units, at least 3 vertices, not closed).
    void polygonCompleted(const QPolygonF& polygon);
    void polygonDrawingStopped();
    /// The polygon being edited changed (after a drag, an insertion or a deletion).
    void polygonEdited(int id, const QPolygonF& polygon);
    void polygonEditingStopped(int id);

private:
    void setupPlot();
    /// Hands the points the axes can draw to the dot curves.
    void showSamples();
    /// Whether plot point index lies where both axes can draw it.
    bool isDrawn(std::size_t index) const;
    /// Whether both axes can draw the rectangle's lower left corner (and so
    /// all of it).
    bool isDrawnRect(const QRectF& rect) const;
    void showColorBar(const QwtInterval& range);
    void hideColorBar();
    void hideDots();
    void deleteContourCurves();
    void deleteIsolineItems();
    /// The next canvas paint draws the dot layer anew.
    void invalidateDotLayer();
    /// Whether an item is painted before the selected-event marker (and so
    /// belongs to the dot layer).
    bool isUnderMarker(const QwtPlotItem* item) const;
    void drawItemRange(QPainter* painter, const QRectF& canvasRect,
                       const QwtScaleMap maps[QwtPlot::axisCnt], int from, int to) const;

    // event handling, by event type
    bool handleWheel(QWheelEvent* event);
    bool handleKeyPress(QKeyEvent* event);
    bool handleMousePress(QMouseEvent* event);
    bool handleEditPress(QMouseEvent* event);
    bool handleDoubleClick(QMouseEvent* event);
    bool handleMouseRelease(QMouseEvent* event);
    bool handleMouseMove(QMouseEvent* event);
    void finishZoomDrag(const QPoint& pixel);
    void panBy(const QPoint& delta);
    void updateHover(const QPoint& pixel);
    void updateEditCursor(const QPoint& pixel);
    QPointF toData(const QPoint& pixel) const;
    QPointF toPixel(const QPointF& dataPos) const;

    QwtPlotCurve* m_scatterCurve = nullptr;
    RoundSpectroCurve* m_spectroCurve = nullptr;
    QwtPlotCurve* m_highlightCurve = nullptr;
    ScatterPlotPicker* m_picker = nullptr;
    QwtPlotPanner* m_panner = nullptr;

    bool m_zoomActive = false;
    QPoint m_zoomOrigin;
    QRubberBand* m_rubberBand = nullptr;

    bool m_panActive = false;
    QPoint m_panLast;

    std::vector<double> m_xData;
    std::vector<double> m_yData;
    std::vector<double> m_colorData;

    bool m_drawingPolygon = false;
    QPolygonF m_drawPoints;
    QwtPlotCurve* m_drawCurve = nullptr;

    bool m_editingPolygon = false;
    int m_editPolygonId = -1;
    QPolygonF m_editPoints;
    int m_dragVertex = -1;
    QwtPlotCurve* m_editCurve = nullptr;

    int m_lastHoverIndex = -1;

    std::map<int, QwtPlotShapeItem*> m_polygonOverlays;
    std::vector<QwtPlotCurve*> m_contourCurves;
    std::vector<QwtPlotCurve*> m_isolineCurves;
    std::vector<QwtPlotMarker*> m_isolineLabels;
    bool m_scatterHidden = false;
    int m_colorMapIndex = 0;
    /// ScaleMode codes of the bottom and left axes.
    int m_xScaleMode = 0;
    int m_yScaleMode = 0;

    std::unique_ptr<DotLayerCache> m_dotLayer;
    bool m_dotLayerCaching = true;
    bool m_paintingCanvas = false;
    mutable std::size_t m_dotPaintCount = 0;
};

} // namespace Quorvex3
