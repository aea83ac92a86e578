#include "stats/GroupComparisonPlot.h"

#include "stats/WordWrap.h"

#include <QBrush>
#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPen>
#include <QResizeEvent>
#include <QToolTip>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_div.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

struct ColumnStats {
    double mean = 0.0;
    double sd = 0.0;
};

ColumnStats columnStats(const std::vector<double>& v) {
    ColumnStats s;
    for (double x : v)
        s.mean += x;
    s.mean /= static_cast<double>(v.size());
    if (v.size() >= 2) {
        double squares = 0.0;
        for (double x : v)
            squares += (x - s.mean) * (x - s.mean);
        s.sd = std::sqrt(squares / static_cast<double>(v.size() - 1));
    }
    return s;
}

QwtPlotCurve* lineCurve(QwtPlot* plot, const QVector<QPointF>& points, const QPen& pen, double z) {
    auto* curve = new QwtPlotCurve();
    curve->setPen(pen);
    curve->setSamples(points);
    curve->setZ(z);
    curve->setRenderHint(QwtPlotItem::RenderAntialiased);
    curve->attach(plot);
    return curve;
}

/// One column's values with their tooltip labels and subject numbers
/// (0 outside the matched path).
struct Column {
    std::vector<double> values;
    std::vector<QString> labels;
    std::vector<int> subjects;
};

std::vector<Column> plottedColumns(const GroupPlotInput& in) {
    const std::size_t k = in.categoryNames.size();
    std::vector<Column> columns(k);
    const bool matched = in.paired && !in.paired->subjectValues.empty();
    for (std::size_t i = 0; i < k; ++i) {
        Column& c = columns[i];
        if (matched) {
            if (i >= in.paired->subjectValues.size())
                continue;
            for (const auto& [subject, value] : in.paired->subjectValues[i]) {
                c.values.push_back(value);
                c.labels.push_back(QStringLiteral("ID %1").arg(subject));
                c.subjects.push_back(subject);
            }
            continue;
        }
        if (i >= in.values.size())
            continue;
        c.values = in.values[i];
        for (std::size_t j = 0; j < c.values.size(); ++j) {
            const bool hasLabel = i < in.labels.size() && j < in.labels[i].size();
            c.labels.push_back(hasLabel ? in.labels[i][j] : QStringLiteral("Dataset %1").arg(j));
            c.subjects.push_back(0);
        }
    }
    return columns;
}

void drawColumn(QwtPlot* plot, int i, const Column& c, const QColor& color,
                std::vector<PlotPointInfo>& points,
                std::map<int, QVector<QPointF>>& subjectPoints) {
    const ColumnStats s = columnStats(c.values);
    const double left = i - 0.2, right = i + 0.2;
    QColor fill = color;
    fill.setAlpha(40);
    QwtPlotCurve* box = lineCurve(plot,
                                  {{left, s.mean - s.sd},
                                   {left, s.mean + s.sd},
                                   {right, s.mean + s.sd},
                                   {right, s.mean - s.sd},
                                   {left, s.mean - s.sd}},
                                  QPen(color, 2), GroupPlotZ::Box);
    box->setBrush(fill);
    // The brush fills towards the baseline; at the box's own bottom it
    // fills exactly the closed outline.
    box->setBaseline(s.mean - s.sd);
    lineCurve(plot, {{left, s.mean}, {right, s.mean}}, QPen(color, 3), GroupPlotZ::Mean);

    QVector<QPointF> dots;
    for (std::size_t j = 0; j < c.values.size(); ++j) {
        const QPointF p(dotOffsetX(i, static_cast<int>(j)), c.values[j]);
        dots.push_back(p);
        points.push_back({p.x(), p.y(), c.labels[j]});
        if (c.subjects[j] > 0)
            subjectPoints[c.subjects[j]].push_back(p);
    }
    auto* dotCurve = new QwtPlotCurve();
    dotCurve->setStyle(QwtPlotCurve::NoCurve);
    dotCurve->setSymbol(
        new QwtSymbol(QwtSymbol::Ellipse, QBrush(color), QPen(color.darker(130), 1), QSize(8, 8)));
    dotCurve->setSamples(dots);
    dotCurve->setRenderHint(QwtPlotItem::RenderAntialiased);
    dotCurve->setZ(GroupPlotZ::Dots);
    dotCurve->attach(plot);
}

void drawBrackets(QwtPlot* plot, const std::vector<GroupPlotBar>& bars, double yMax,
                  double dataMin) {
    const QwtScaleDiv& div = plot->axisScaleDiv(QwtPlot::yLeft);
    const BracketLayout layout =
        bracketLayout(div.upperBound() - div.lowerBound(), yMax, dataMin, yMax);
    std::vector<GroupPlotBar> sorted = bars;
    std::stable_sort(sorted.begin(), sorted.end(), [](const GroupPlotBar& l, const GroupPlotBar& r) {
        return l.categoryB - l.categoryA < r.categoryB - r.categoryA;
    });
    double y = layout.firstLevel;
    const double tick = 0.3 * layout.step;
    QFont font(QStringLiteral("Sans"), 10);
    font.setBold(true);
    for (const GroupPlotBar& bar : sorted) {
        const double a = bar.categoryA, b = bar.categoryB;
        lineCurve(plot, {{a, y - tick}, {a, y}, {b, y}, {b, y - tick}}, QPen(Qt::black, 1.5),
                  GroupPlotZ::Bracket);
        auto* marker = new QwtPlotMarker();
        marker->setValue((a + b) / 2.0, y + 0.15 * layout.step);
        QwtText text(bar.label);
        text.setFont(font);
        text.setColor(Qt::black);
        marker->setLabel(text);
        // Qwt aligns a marker's label relative to its point: AlignTop puts
        // the stars above their own bracket, clear of the legs of the
        // narrower brackets below and of the next bracket's line.
        marker->setLabelAlignment(Qt::AlignHCenter | Qt::AlignTop);
        marker->setZ(GroupPlotZ::Label);
        marker->attach(plot);
        y += layout.step;
    }
    // Markers take no part in autoscaling: an invisible point one step above
    // the top bracket keeps its stars inside the canvas.
    auto* headroom = new QwtPlotCurve();
    headroom->setStyle(QwtPlotCurve::NoCurve);
    headroom->setSamples(QVector<QPointF>{{sorted.back().categoryA * 1.0, y}});
    headroom->setItemAttribute(QwtPlotItem::Legend, false);
    headroom->setZ(GroupPlotZ::Label);
    headroom->attach(plot);
}

/// The group plot: its category names follow its columns' width.
class GroupPlot : public QwtPlot {
public:
    // Long or many category names held the plot wider than its view (the
    // sixth category out of sight): they wrap instead.
    QSize minimumSizeHint() const override {
        return {kGroupPlotLeastWidth, QwtPlot::minimumSizeHint().height()};
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QwtPlot::resizeEvent(event);
        fitCategoryNames();
    }

private:
    /// Each name as wide as its column at most, a few pixels apart from its
    /// neighbours. Wrapped names make the axis taller and may let the canvas
    /// widen (the last name no longer reaching past it): laid out again
    /// until the columns keep their width.
    void fitCategoryNames() {
        auto* draw = dynamic_cast<CategoryScaleDraw*>(axisScaleDraw(QwtPlot::xBottom));
        const QwtScaleDiv& div = axisScaleDiv(QwtPlot::xBottom);
        const double categories = div.upperBound() - div.lowerBound();
        if (!draw || categories < 1.0)
            return;
        constexpr int kGap = 6;
        for (int pass = 0; pass < 3; ++pass) {
            const double canvas = plotLayout()->canvasRect().width();
            const int column = static_cast<int>(canvas / categories) - kGap;
            if (!draw->setColumnWidth(std::max(1, column), axisWidget(QwtPlot::xBottom)->font()))
                break;
            updateLayout();
        }
    }
};

} // namespace

QColor categoryPaletteColor(int index) {
    static const QColor palette[6] = {QColor("#4682b4"), QColor("#dc503c"), QColor("#3cb44b"),
                                      QColor("#ffa500"), QColor("#9467bd"), QColor("#8c564b")};
    return palette[((index % 6) + 6) % 6];
}

BracketLayout bracketLayout(double axisExtent, double yMax, double dataMin, double dataMax) {
    double r = axisExtent;
    if (!(r > 0.0) || !std::isfinite(r))
        r = 0.5 * std::abs(yMax);
    if (!(r > 0.0) || !std::isfinite(r))
        r = dataMax - dataMin;
    if (!(r > 0.0) || !std::isfinite(r))
        r = 1.0;
    return {yMax + 0.08 * r, 0.06 * r};
}

double dotOffsetX(int column, int j) { return column + ((j % 5) - 2) * 0.04; }

QwtPlot* buildGroupComparisonPlot(const GroupPlotInput& in) {
    auto* plot = new GroupPlot();
    plot->setCanvasBackground(Qt::white);
    plot->setMinimumHeight(280);
    auto* grid = new QwtPlotGrid();
    grid->setPen(QPen(Qt::gray, 0, Qt::DotLine));
    grid->setZ(GroupPlotZ::Grid);
    grid->attach(plot);

    plot->setAxisTitle(QwtPlot::yLeft, in.yTitle);
    const int k = static_cast<int>(in.categoryNames.size());
    QStringList names;
    for (const QString& name : in.categoryNames)
        names << name;
    auto* scaleDraw = new CategoryScaleDraw(names);
    scaleDraw->setMinimumExtent(QFontMetrics(plot->axisFont(QwtPlot::xBottom)).height() + 10);
    plot->setAxisScaleDraw(QwtPlot::xBottom, scaleDraw);
    plot->setAxisScale(QwtPlot::xBottom, -0.5, k - 0.5, 1.0);
    plot->setAxisMaxMinor(QwtPlot::xBottom, 0); // no ticks between categories

    const std::vector<Column> columns = plottedColumns(in);
    std::vector<PlotPointInfo> points;
    std::map<int, QVector<QPointF>> subjectPoints;
    double yMax = -1e300;
    double dataMin = std::numeric_limits<double>::infinity();
    for (int i = 0; i < k; ++i) {
        const Column& c = columns[static_cast<std::size_t>(i)];
        if (c.values.empty())
            continue;
        const QColor color = static_cast<std::size_t>(i) < in.colors.size() &&
                                     in.colors[static_cast<std::size_t>(i)].isValid()
                                 ? in.colors[static_cast<std::size_t>(i)]
                                 : categoryPaletteColor(i);
        drawColumn(plot, i, c, color, points, subjectPoints);
        for (double v : c.values) {
            yMax = std::max(yMax, v);
            dataMin = std::min(dataMin, v);
        }
    }
    if (in.paired && in.paired->showLines) {
        QColor grey(150, 150, 150, 120);
        for (const auto& [subject, line] : subjectPoints)
            if (line.size() > 1)
                lineCurve(plot, line, QPen(grey, 1), GroupPlotZ::Lines);
    }
    if (!in.bars.empty())
        drawBrackets(plot, in.bars, yMax, dataMin);
    plot->replot();
    new PlotPointTooltip(plot, std::move(points));
    return plot;
}

CategoryScaleDraw::CategoryScaleDraw(const QStringList& names) : m_names(names), m_shown(names) {}

QwtText CategoryScaleDraw::label(double value) const {
    const long i = std::lround(value);
    if (i >= 0 && i < m_shown.size())
        return QwtText(m_shown.at(static_cast<int>(i)));
    return QwtText();
}

bool CategoryScaleDraw::setColumnWidth(int width, const QFont& font) {
    QStringList shown = m_names;
    if (width > 0) {
        const QFontMetrics metrics(font);
        for (QString& name : shown)
            name = wrapAtWords(name, metrics, width);
    }
    if (shown == m_shown)
        return false;
    m_shown = shown;
    invalidateCache();
    return true;
}

int nearestPointWithin12Pixels(const std::vector<QPointF>& pixels, QPointF cursor) {
    int best = -1;
    double bestDistance = 144.0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const double dx = pixels[i].x() - cursor.x();
        const double dy = pixels[i].y() - cursor.y();
        const double d2 = dx * dx + dy * dy;
        if (d2 < bestDistance) {
            bestDistance = d2;
            best = static_cast<int>(i);
        }
    }
    return best;
}

PlotPointTooltip::PlotPointTooltip(QwtPlot* plot, std::vector<PlotPointInfo> points)
    : QObject(plot), m_plot(plot), m_points(std::move(points)) {
    plot->canvas()->installEventFilter(this);
    plot->canvas()->setMouseTracking(true);
}

QString PlotPointTooltip::textAt(QPointF position) const {
    const QwtScaleMap xMap = m_plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = m_plot->canvasMap(QwtPlot::yLeft);
    std::vector<QPointF> pixels;
    pixels.reserve(m_points.size());
    for (const PlotPointInfo& p : m_points)
        pixels.emplace_back(xMap.transform(p.x), yMap.transform(p.y));
    const int nearest =
        nearestPointWithin12Pixels(pixels, QPointF(std::round(position.x()), std::round(position.y())));
    if (nearest < 0)
        return {};
    const PlotPointInfo& p = m_points[static_cast<std::size_t>(nearest)];
    return QStringLiteral("%1\n(%2)").arg(p.label, QString::number(p.y, 'g', 5));
}

bool PlotPointTooltip::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove && watched == m_plot->canvas()) {
        const auto* move = static_cast<QMouseEvent*>(event);
        QToolTip::showText(move->globalPos(), textAt(move->localPos()), m_plot->canvas());
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Quorvex3
