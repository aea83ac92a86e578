#pragma once

// The group plot of a comparison: one column per category with its dots,
// a box of mean +/- one SD and a line at the mean, optional lines joining
// matched subjects, and brackets with stars over significant pairs. Pointing
// at a dot tells whose it is.

#include <QColor>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

#include <qwt_scale_draw.h>

class QwtPlot;

namespace Quorvex3 {

/// Colour of category i when the caller gives none: six colours in turn.
QColor categoryPaletteColor(int index);

/// Matched design: per category, subject number -> the subject's value.
struct GroupPlotPaired {
    std::vector<std::map<int, double>> subjectValues;
    bool showLines = false;
};

/// A bracket from column `categoryA` to column `categoryB` with its stars.
struct GroupPlotBar {
    int categoryA = 0;
    int categoryB = 1;
    QString label;
};

struct GroupPlotInput {
    QString yTitle; ///< the feature's label (its name when it has none)
    std::vector<QString> categoryNames;
    std::vector<QColor> colors; ///< missing entries take categoryPaletteColor
    std::vector<std::vector<double>> values;
    std::vector<std::vector<QString>> labels; ///< tooltip labels, parallel to values
    const GroupPlotPaired* paired = nullptr;  ///< replaces values/labels when not empty
    std::vector<GroupPlotBar> bars;
};

/// Item depths: what covers what.
namespace GroupPlotZ {
constexpr double Grid = 0, Lines = 5, Box = 10, Mean = 15, Dots = 20, Bracket = 30, Label = 40;
}

/// Where the brackets go: the first at `firstLevel`, each further one `step`
/// higher.
struct BracketLayout {
    double firstLevel = 0.0;
    double step = 0.0;
};

/// `axisExtent` is the y scale's extent when the brackets are placed (0 for a
/// plot not yet replotted); when it is not positive, half of |yMax| is used,
/// and when that is 0 too (all data at or around 0) the data's extent
/// (`dataMax` - `dataMin`), else 1, so brackets never collapse onto one line.
BracketLayout bracketLayout(double axisExtent, double yMax, double dataMin, double dataMax);

/// The x position of the j-th dot of column i: five fixed offsets in turn.
double dotOffsetX(int column, int j);

/// The least width of a group plot, whatever its number of categories: it
/// takes its view's width, and its category names wrap to their columns.
constexpr int kGroupPlotLeastWidth = 280;

/// Builds, replots and returns a new plot without parent; the caller owns it.
/// It asks for no more width than `kGroupPlotLeastWidth` and, on every
/// resize, wraps each category name under its column at the spaces between
/// its words (a word wider than the column shortened in the middle).
QwtPlot* buildGroupComparisonPlot(const GroupPlotInput& input);

/// Category names on the integer ticks of the x axis, nothing elsewhere.
class CategoryScaleDraw : public QwtScaleDraw {
public:
    explicit CategoryScaleDraw(const QStringList& names);
    QwtText label(double value) const override;

    /// Wraps each name to `width` pixels in `font` (see `wrapAtWords`);
    /// 0 shows the names on one line. Whether the labels changed.
    bool setColumnWidth(int width, const QFont& font);

private:
    QStringList m_names;
    /// The names as shown: wrapped to their columns.
    QStringList m_shown;
};

/// One hoverable dot in plot coordinates.
struct PlotPointInfo {
    double x = 0.0;
    double y = 0.0;
    QString label;
};

/// Index of the first of the nearest points closer than 12 pixels to
/// `cursor` (squared distance below 144), or -1.
int nearestPointWithin12Pixels(const std::vector<QPointF>& pixels, QPointF cursor);

/// Shows "<label>\n(<value>)" while the mouse is near a dot of the plot's
/// canvas. A child of the plot; lives and dies with it.
class PlotPointTooltip : public QObject {
    Q_OBJECT

public:
    PlotPointTooltip(QwtPlot* plot, std::vector<PlotPointInfo> points);
    bool eventFilter(QObject* watched, QEvent* event) override;

    /// The text shown for a cursor at canvas pixel `position`; empty when
    /// no dot is near enough.
    QString textAt(QPointF position) const;

private:
    QwtPlot* m_plot;
    std::vector<PlotPointInfo> m_points;
};

} // namespace Quorvex3
