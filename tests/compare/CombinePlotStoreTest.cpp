// The combined plot window on a plain dataset store with a stand-in host,
// without a main window: what it asks of its host, which scales its plots
// and the contour overlay take when the axes are synced, and whose events
// each plot, card and statistics row shows when a dataset before them has
// none.

#include "calc/IsoLine.h"
#include "compare/CombinePlotData.h"
#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotHost.h"
#include "compare/CombinePlotStats.h"
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "plots/PseudoLogScaleEngine.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>
#include <qwt_symbol.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QJsonArray>
#include <QJsonObject>
#include <QTableWidget>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using testing::TempDir;

// The host's side: what its own plot shows goes into the active record on
// request; a fixed iso-modulus line for area against deformation.
class FakeHost : public CombinePlotHost {
public:
    explicit FakeHost(DatasetStore& store) : m_store(store) {}

    void saveCurrentDatasetState() override {
        ++saves;
        if (DatasetEntry* active = m_store.activeDataset(); active && !shownX.empty())
            active->xFeatureName = shownX;
    }
    std::vector<IsoLine> isolinesForDataset(const DatasetEntry* entry, const std::string& x,
                                            const std::string& y) const override {
        if (!entry || x != "area_um" || y != "deform")
            return {};
        return {IsoLine{1.5, {{30.0, 0.01}, {50.0, 0.03}}}};
    }
    int colorMapIndex() const override { return 0; }
    QString isolineTableProblem() const override { return {}; }

    int saves = 0;
    std::string shownX; ///< the x feature the host's plot shows; empty: none

private:
    DatasetStore& m_store;
};

// `n` events (400 unless said), area 25..55 and a deformation spread over
// a decade (0.002..0.04), so that contours estimated on a log axis differ
// from linear ones; "volume" is i - `atOrBelowZero` + 1, so that many events
// cannot be drawn on a log axis.
void writePopulation(const std::string& path, double areaShift, int n = 400,
                     int atOrBelowZero = 0) {
    std::vector<double> area, deform, bright, volume;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double s = static_cast<double>((i * 7919) % n) / n;
        area.push_back(40.0 + areaShift + 30.0 * (t - 0.5) + 10.0 * (s - 0.5));
        deform.push_back(0.002 * std::exp(3.0 * s * (0.5 + 0.5 * t)));
        bright.push_back(100.0 + i % 37);
        volume.push_back(i - atOrBelowZero + 1.0);
    }
    testing::RtdcFixtureWriter w(path);
    w.addColumn("area_um", area);
    w.addColumn("deform", deform);
    w.addColumn("bright_avg", bright);
    w.addColumn("volume", volume);
    w.close();
}

QJsonObject refJson(int sessionIndex, int scaleX, int scaleY, const char* color) {
    QJsonObject ref;
    ref.insert(QStringLiteral("datasetSessionIndex"), sessionIndex);
    ref.insert(QStringLiteral("xFeatureName"), QStringLiteral("area_um"));
    ref.insert(QStringLiteral("yFeatureName"), QStringLiteral("deform"));
    ref.insert(QStringLiteral("color"), QString::fromLatin1(color));
    ref.insert(QStringLiteral("scaleXMode"), scaleX);
    ref.insert(QStringLiteral("scaleYMode"), scaleY);
    return ref;
}

ScaleMode engineOf(const QwtPlot* plot, int axis) {
    const QwtScaleEngine* engine = plot->axisScaleEngine(axis);
    if (dynamic_cast<const QwtLogScaleEngine*>(engine))
        return ScaleMode::Log;
    if (dynamic_cast<const PseudoLogScaleEngine*>(engine))
        return ScaleMode::PseudoLog;
    return ScaleMode::Linear;
}

// The points of every line curve of that colour, curve after curve.
std::vector<std::vector<QPointF>> linesOfColor(const QwtPlot* plot, const QColor& color) {
    std::vector<std::vector<QPointF>> lines;
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
        const auto* curve = static_cast<QwtPlotCurve*>(item);
        if (curve->style() != QwtPlotCurve::Lines || curve->pen().color() != color)
            continue;
        std::vector<QPointF> points;
        for (size_t i = 0; i < curve->dataSize(); ++i)
            points.push_back(curve->sample(static_cast<int>(i)));
        lines.push_back(points);
    }
    return lines;
}

// What the plot draws of contour levels: each path of at least 2 points.
std::vector<std::vector<QPointF>> linesOf(const std::vector<ContourLevel>& levels) {
    std::vector<std::vector<QPointF>> lines;
    for (const ContourLevel& level : levels)
        for (const ContourPath& path : level.paths) {
            if (path.size() < 2)
                continue;
            std::vector<QPointF> points;
            for (const ContourPoint& p : path)
                points.emplace_back(p.first, p.second);
            lines.push_back(points);
        }
    return lines;
}

class CombineOnStore : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<TempDir>();
        writePopulation(s_dir->file("a.rtdc"), 0.0, 400, 7);
        writePopulation(s_dir->file("b.rtdc"), 8.0, 400, 2);
        writePopulation(s_dir->file("c.rtdc"), 16.0, 250, 5);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override {
        for (const char* name : {"a", "b"})
            append(name);
    }

    /// Opens "<name>.rtdc" into a new loaded dataset of the store.
    void append(const char* name) {
        auto entry = std::make_unique<DatasetEntry>();
        entry->reader = std::make_shared<RTDCReader>();
        ASSERT_TRUE(entry->reader->openFile(s_dir->file(std::string(name) + ".rtdc")));
        entry->displayName = QString::fromLatin1(name);
        entry->featuresLoaded = true;
        entry->xFeatureName = "area_um";
        entry->yFeatureName = "deform";
        const int row = store.append(std::move(entry));
        ids.push_back(store.at(row)->id);
        sessionMap.insert(row, ids.back());
    }

    /// A window restored from a state holding both datasets with these
    /// scale modes (x, y) and colours #1f77b4 and #ff7f0e.
    std::unique_ptr<CombinePlotWindow> restored(QJsonObject state, int x0, int y0, int x1, int y1) {
        state.insert(QStringLiteral("datasets"),
                     QJsonArray{refJson(0, x0, y0, "#1f77b4"), refJson(1, x1, y1, "#ff7f0e")});
        auto window = std::make_unique<CombinePlotWindow>(&store, &host);
        window->restoreState(state, sessionMap);
        return window;
    }

    static std::unique_ptr<TempDir> s_dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
    DatasetStore store;
    FakeHost host{store};
    std::vector<int> ids;
    QMap<int, int> sessionMap;
};

std::unique_ptr<TempDir> CombineOnStore::s_dir;

// ---- the host ---------------------------------------------------------------------

TEST_F(CombineOnStore, AReferenceTakesWhatTheHostShowsAndIsolinesComeFromTheHost) {
    CombinePlotWindow window(&store, &host);
    store.setActiveRow(store.rowOfId(ids[0]));
    host.shownX = "bright_avg"; // the host's plot shows it, its record not yet
    window.addDataset(ids[0]);
    ASSERT_EQ(window.datasetCount(), 1);
    EXPECT_GE(host.saves, 1);
    EXPECT_EQ(window.references()[0].xFeature, "bright_avg");

    window.removeDataset(0);
    host.shownX.clear();
    store.findById(ids[1])->xFeatureName = "area_um";
    window.addDataset(ids[1]);
    window.findChild<QCheckBox*>(QStringLiteral("isoCheck"))->setChecked(true);
    window.flushRefresh();
    ASSERT_EQ(window.plots().size(), 1u);
    int isolines = 0;
    for (QwtPlotItem* item : window.plots()[0]->itemList(QwtPlotItem::Rtti_PlotCurve)) {
        const auto* curve = static_cast<QwtPlotCurve*>(item);
        if (curve->dataSize() == 2 && curve->sample(0) == QPointF(30.0, 0.01) &&
            curve->sample(1) == QPointF(50.0, 0.03))
            ++isolines;
    }
    EXPECT_EQ(isolines, 1);
}

// ---- scales of synced axes --------------------------------------------------------

// A fault once took the first dataset's scales whenever the features were
// synced, and its own ones when only the axes were.
TEST_F(CombineOnStore, PlotsTakeTheFirstDatasetsScaleEnginesOnlyWhenAxesAreSynced) {
    const struct {
        bool syncAxes;
        bool syncFeatures;
    } cases[] = {{true, false}, {false, true}, {false, false}, {true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "syncAxes " << c.syncAxes << " syncFeatures " << c.syncFeatures);
        QJsonObject state;
        state.insert(QStringLiteral("syncAxes"), c.syncAxes);
        state.insert(QStringLiteral("syncFeatures"), c.syncFeatures);
        // First dataset log x, linear y; second linear x, pseudo-log y.
        const auto window = restored(state, 1, 0, 0, 2);
        ASSERT_EQ(window->plots().size(), 2u);
        const QwtPlot* first = window->plots()[0];
        const QwtPlot* second = window->plots()[1];
        EXPECT_EQ(engineOf(first, QwtPlot::xBottom), ScaleMode::Log);
        EXPECT_EQ(engineOf(first, QwtPlot::yLeft), ScaleMode::Linear);
        EXPECT_EQ(engineOf(second, QwtPlot::xBottom),
                  c.syncAxes ? ScaleMode::Log : ScaleMode::Linear);
        EXPECT_EQ(engineOf(second, QwtPlot::yLeft),
                  c.syncAxes ? ScaleMode::Linear : ScaleMode::PseudoLog);
    }
}

// A dataset that shares the first dataset's x scale but not its y scale:
// with synced axes its overlay contours are estimated on the first
// dataset's scales, not taken over from its own plot (estimated on its own).
TEST_F(CombineOnStore, OverlayContoursOfADatasetSharingOnlyTheXScaleUseTheFirstDatasetsScales) {
    QJsonObject state;
    state.insert(QStringLiteral("displayMode"), 1); // "Array + Contour"
    state.insert(QStringLiteral("syncFeatures"), true);
    state.insert(QStringLiteral("syncAxes"), true);
    state.insert(QStringLiteral("contourMode"), 1); // "Overlay": own plots have contours
    const auto window = restored(state, 0, 0, 0, 1);
    ASSERT_EQ(window->plots().size(), 3u);
    const QwtPlot* overlay = window->plots()[2];

    CombineDataRequest request;
    request.xFeature = "area_um";
    request.yFeature = "deform";
    const CombineFilteredData data =
        readCombineFilteredData(*store.findById(ids[1])->reader, EventFilter(), request);
    ASSERT_EQ(data.x.size(), 400u);
    const auto onFirstScales =
        linesOf(computeCombineContours(data, 10.0, 67.0, ScaleMode::Linear, ScaleMode::Linear));
    const auto onOwnScales =
        linesOf(computeCombineContours(data, 10.0, 67.0, ScaleMode::Linear, ScaleMode::Log));
    ASSERT_FALSE(onFirstScales.empty());
    ASSERT_NE(onFirstScales, onOwnScales); // else this test could not tell them apart

    EXPECT_EQ(linesOfColor(overlay, QColor(QStringLiteral("#ff7f0e"))), onFirstScales);
    // The first dataset's own contours serve as they are.
    const CombineFilteredData firstData =
        readCombineFilteredData(*store.findById(ids[0])->reader, EventFilter(), request);
    EXPECT_EQ(linesOfColor(overlay, QColor(QStringLiteral("#1f77b4"))),
              linesOf(computeCombineContours(firstData, 10.0, 67.0, ScaleMode::Linear,
                                             ScaleMode::Linear)));
}

// ---- datasets after one without events -------------------------------------------

// A dataset whose features are not loaded (still loading after a session
// load), or one that has left the store before the window heard of it, may
// stand before loaded ones. Each loaded dataset is still drawn and counted
// in its own plot, under its own card (the gone one has none, so the cards
// sit one place earlier) and on its own statistics row. (A fault once put
// each dataset's events one place too early, after the first without any.)
TEST_F(CombineOnStore, DatasetsAfterOneWithoutEventsKeepTheirOwnPlotsCardsAndRows) {
    append("c");
    struct Shown {
        const char* name;
        size_t events;
        size_t atOrBelowZero; // hidden on the log y axis
        QColor color;
    };
    // "a" first, then "b" and "c"; y on a log axis.
    const Shown shown[] = {{"b", 400, 2, QColor(QStringLiteral("#ff7f0e"))},
                           {"c", 250, 5, QColor(QStringLiteral("#2ca02c"))}};
    for (const bool gone : {false, true}) {
        SCOPED_TRACE(gone ? "left the store" : "not loaded");
        QJsonArray refs;
        const char* colors[] = {"#1f77b4", "#ff7f0e", "#2ca02c"};
        for (int k = 0; k < 3; ++k) {
            QJsonObject ref = refJson(k, 0, 1, colors[k]);
            ref.insert(QStringLiteral("yFeatureName"), QStringLiteral("volume"));
            refs.append(ref);
        }
        QJsonObject state;
        state.insert(QStringLiteral("datasets"), refs);
        state.insert(QStringLiteral("showCount"), true);
        state.insert(QStringLiteral("showStats"), true);
        CombinePlotWindow window(&store, &host);
        window.restoreState(state, sessionMap);
        window.show();
        if (gone)
            store.removeAt(store.rowOfId(ids[0]));
        else
            store.findById(ids[0])->featuresLoaded = false;
        window.refresh();
        window.flushRefresh();
        ASSERT_EQ(window.datasetCount(), 3);
        ASSERT_EQ(window.plots().size(), 3u);
        ASSERT_EQ(window.cards().size(), gone ? 2u : 3u);
        const auto* table = window.findChild<QTableWidget*>(QStringLiteral("statsTable"));
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table->rowCount(), 3);
        EXPECT_EQ(table->item(0, 1) ? table->item(0, 1)->text() : QString(),
                  gone ? QString() : QStringLiteral("0"));

        for (int k = 1; k < 3; ++k) {
            const Shown& own = shown[k - 1];
            SCOPED_TRACE(own.name);
            const QwtPlot* plot = window.plots()[static_cast<size_t>(k)];
            EXPECT_EQ(plot->title().text(), QString::fromLatin1(own.name));
            const QwtPlotItemList labels = plot->itemList(QwtPlotItem::Rtti_PlotTextLabel);
            ASSERT_EQ(labels.size(), 1);
            EXPECT_EQ(static_cast<const QwtPlotTextLabel*>(labels[0])->text().text(),
                      QStringLiteral("N = %1").arg(own.events));
            size_t dots = 0;
            for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
                const auto* curve = static_cast<QwtPlotCurve*>(item);
                if (!curve->symbol())
                    continue;
                dots += curve->dataSize();
                EXPECT_EQ(curve->symbol()->pen().color(), own.color);
            }
            EXPECT_EQ(dots, own.events - own.atOrBelowZero);

            const CombineDatasetWidget* card = window.cards()[static_cast<size_t>(gone ? k - 1 : k)];
            EXPECT_EQ(card->datasetId(), ids[static_cast<size_t>(k)]);
            const auto* yScale = card->findChild<QComboBox*>(QStringLiteral("yScaleCombo"));
            ASSERT_NE(yScale, nullptr);
            EXPECT_TRUE(yScale->toolTip().startsWith(
                QStringLiteral("%1 points with value").arg(own.atOrBelowZero)))
                << yScale->toolTip().toStdString();

            CombineDataRequest request;
            request.xFeature = "area_um";
            request.yFeature = "volume";
            const CombineFilteredData data =
                readCombineFilteredData(*store.findById(ids[static_cast<size_t>(k)])->reader,
                                        EventFilter(), request);
            ASSERT_EQ(data.x.size(), own.events);
            ASSERT_NE(table->item(k, 0), nullptr);
            EXPECT_EQ(table->item(k, 0)->text(), QString::fromLatin1(own.name));
            ASSERT_NE(table->item(k, 1), nullptr);
            EXPECT_EQ(table->item(k, 1)->text(), QString::number(own.events));
            ASSERT_NE(table->item(k, 2), nullptr); // the area's mean
            EXPECT_EQ(table->item(k, 2)->text(), QString::number(computeStats(data.x).mean, 'g', 6));
        }
        if (!gone)
            store.findById(ids[0])->featuresLoaded = true;
    }
}

} // namespace
} // namespace Quorvex3
