// The combined plot window on a plain dataset store with a stand-in host,
// without a main window: what it asks of its host, and which scales its
// plots and the contour overlay take when the axes are synced.

#include "calc/IsoLine.h"
#include "compare/CombinePlotData.h"
#include "compare/CombinePlotHost.h"
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
#include <qwt_scale_engine.h>

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonObject>

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

// 400 events, area 25..55 and a deformation spread over a decade
// (0.002..0.04), so that contours estimated on a log axis differ from
// linear ones.
void writePopulation(const std::string& path, double areaShift) {
    const int n = 400;
    std::vector<double> area, deform, bright;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double s = static_cast<double>((i * 7919) % n) / n;
        area.push_back(40.0 + areaShift + 30.0 * (t - 0.5) + 10.0 * (s - 0.5));
        deform.push_back(0.002 * std::exp(3.0 * s * (0.5 + 0.5 * t)));
        bright.push_back(100.0 + i % 37);
    }
    testing::RtdcFixtureWriter w(path);
    w.addColumn("area_um", area);
    w.addColumn("deform", deform);
    w.addColumn("bright_avg", bright);
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
        writePopulation(s_dir->file("a.rtdc"), 0.0);
        writePopulation(s_dir->file("b.rtdc"), 8.0);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override {
        for (const char* name : {"a", "b"}) {
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

} // namespace
} // namespace Quorvex3
