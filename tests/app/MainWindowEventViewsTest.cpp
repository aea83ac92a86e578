// The views of one event and of the measurement's metadata in the main
// window: the event image with its mask, the traces and their channel
// set-up from the fluorescence metadata, the event data table, the metadata
// tree, and the fluorescence channels offered to the calculations.
//
// Each test writes its measurement with the fixture writer, opens it in an
// offscreen main window and waits for the preload to finish.
#include "MainWindowTestSupport.h"

#include "app/MainWindow.h"
#include "core/RTDCReader.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/TracePlot.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <qwt_plot_curve.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::RtdcFixtureWriter;
using testing::TempDir;

constexpr size_t kEvents = 5;
constexpr size_t kHeight = 20;
constexpr size_t kWidth = 30;
constexpr size_t kTraceSamples = 8;

// ---- fixtures ------------------------------------------------------------------

/// Grey frames with a brighter block in the middle; frame e has base value
/// 40 + 10 e, so every frame differs.
std::vector<uint8_t> framePixels(size_t height, size_t width) {
    std::vector<uint8_t> pixels;
    pixels.reserve(kEvents * height * width);
    for (size_t e = 0; e < kEvents; ++e)
        for (size_t r = 0; r < height; ++r)
            for (size_t c = 0; c < width; ++c)
                pixels.push_back(static_cast<uint8_t>(40 + 10 * e + (r > 4 && r < 15 ? 60 : 0)));
    return pixels;
}

/// Masks covering rows 5-14 and columns 10-19 of each frame.
std::vector<uint8_t> maskPixels(size_t height, size_t width) {
    std::vector<uint8_t> pixels(kEvents * height * width, 0);
    for (size_t e = 0; e < kEvents; ++e)
        for (size_t r = 5; r < 15 && r < height; ++r)
            for (size_t c = 10; c < 20 && c < width; ++c)
                pixels[(e * height + r) * width + c] = 255;
    return pixels;
}

/// Trace of channel k: sample j of event e is 1000 k + 10 e + j.
std::vector<int16_t> traceValues(int channel) {
    std::vector<int16_t> values;
    for (size_t e = 0; e < kEvents; ++e)
        for (size_t j = 0; j < kTraceSamples; ++j)
            values.push_back(static_cast<int16_t>(1000 * channel + 10 * e + j));
    return values;
}

struct FixtureOptions {
    bool images = true;
    bool masks = true;
    size_t maskHeight = kHeight;
    size_t maskWidth = kWidth;
    std::vector<int> traceChannels = {1, 2, 12};
    bool channelNames = true;
    std::string sampleRateText; // empty: a float attribute of 1 MHz
};

/// Five events. area_um of event 3 is NaN (that event is never plotted);
/// "volume" holds only three values, fewer than there are events.
void writeMeasurement(const std::string& path, const FixtureOptions& options) {
    RtdcFixtureWriter w(path);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    w.addColumn<float>("area_um",
                       {50.f, 60.f, 70.f, std::numeric_limits<float>::quiet_NaN(), 123.456789f});
    w.addColumn<double>("deform", {0.01, 0.02, 0.03, 0.04, 0.0123456789});
    w.addColumn<double>("bright_avg", {100, 110, 120, 130, 1234567.0});
    w.addColumn<double>("fl1_max", {1, 2, 3, nan, 1e-7});
    w.addColumn<double>("fl2_max", {1, 2, 3, 4, -2.5});
    w.addColumn<uint32_t>("index", {0, 1, 2, 3, 4});
    w.addColumn<double>("volume", {500, 600, 700});
    if (options.images)
        w.addImageStack("image", kEvents, kHeight, kWidth, framePixels(kHeight, kWidth));
    if (options.masks)
        w.addImageStack("mask", kEvents, options.maskHeight, options.maskWidth,
                        maskPixels(options.maskHeight, options.maskWidth));
    for (int channel : options.traceChannels)
        w.addTrace("fl" + std::to_string(channel) + "_median", kEvents, kTraceSamples,
                   traceValues(channel));

    w.setStringAttribute("experiment:sample", "blood");
    w.setScalarAttribute<int64_t>("experiment:run index", 3);
    w.setScalarAttribute<double>("setup:flow rate", 0.16);
    w.setScalarAttribute<double>("imaging:pixel size", 0.34);
    w.setScalarAttribute<int64_t>("online_contour:bin area min", 10);
    w.setScalarAttribute<double>("online_filter:deform max", 0.2);
    w.setStringAttribute("export:software version", "9.9");
    if (options.channelNames) {
        w.setStringAttribute("fluorescence:channel 1 name", "488 nm");
        w.setStringAttribute("fluorescence:channel 2 name", "640 nm");
        w.setStringAttribute("fluorescence:channel 12 name", "561 nm");
    }
    w.setScalarAttribute<int64_t>("fluorescence:baseline 1 offset", 5);
    w.setScalarAttribute<int64_t>("fluorescence:baseline 12 offset", 100);
    if (options.sampleRateText.empty())
        w.setScalarAttribute<double>("fluorescence:sample rate", 1e6);
    else
        w.setStringAttribute("fluorescence:sample rate", options.sampleRateText);
    // Sections other than the eight known ones, compared exactly, and a
    // name without a section.
    w.setStringAttribute("user:comment", "hello: world");
    w.setStringAttribute("analysis:operator", "me");
    w.setStringAttribute("Experiment:odd", "capital");
    w.setStringAttribute("legacy", "1");
}

// ---- window helpers ------------------------------------------------------------

/// Spins the event loop until `done` holds or five seconds have passed.
template <typename Predicate> bool waitFor(Predicate done) {
    return test::waitUntil(done, 5000);
}

/// Opens `path` and waits until it is the active, loaded dataset.
bool openAndWait(MainWindow& window, const std::string& path) {
    window.addDataset(QString::fromStdString(path));
    const bool loaded = waitFor([&] {
        const DatasetEntry* entry = window.activeDataset();
        return entry && entry->filePath == path && entry->featuresLoaded;
    });
    test::processEventsFor(50);
    return loaded;
}

QString viewerTitle(ImageViewer* viewer) {
    const QList<QLabel*> labels =
        viewer->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    return labels.isEmpty() ? QString() : labels.front()->text();
}

/// Whether the picture shown by the viewer has any non-grey pixel.
bool viewerShowsColour(ImageViewer* viewer) {
    const auto* area = viewer->findChild<QScrollArea*>();
    if (!area || !area->widget())
        return false;
    const QImage image = area->widget()->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() != c.blue() || c.green() != c.blue())
                return true;
        }
    return false;
}

QCheckBox* showMaskCheck(ImageViewer* viewer) {
    for (QCheckBox* box : viewer->findChildren<QCheckBox*>())
        if (box->text() == QStringLiteral("Show Mask"))
            return box;
    return nullptr;
}

/// Data position of the scatter plot's highlight marker, none when hidden.
std::optional<QPointF> highlightedPoint(ScatterPlot* plot) {
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
        auto* curve = static_cast<QwtPlotCurve*>(item);
        if (curve->style() == QwtPlotCurve::NoCurve && curve->symbol() && curve->dataSize() == 1)
            return curve->isVisible() ? std::optional<QPointF>(curve->sample(0)) : std::nullopt;
    }
    return std::nullopt;
}

const QwtPlotCurve* curveTitled(TracePlot* plot, const QString& title) {
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
        if (item->title().text() == title)
            return static_cast<const QwtPlotCurve*>(item);
    return nullptr;
}

/// Text of column `column` of the event table row whose tooltip is `feature`.
std::optional<QString> tableValue(QTableWidget* table, const QString& feature, int column = 1) {
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* label = table->item(row, 0);
        if (label && label->toolTip() == feature) {
            const QTableWidgetItem* cell = table->item(row, column);
            return cell ? cell->text() : QString();
        }
    }
    return std::nullopt;
}

class MainWindowEventViews : public ::testing::Test {
protected:
    void SetUp() override {
        test::clearSettings();
        window.show();
        spin = window.findChild<QSpinBox*>(QStringLiteral("eventSpinBox"));
        viewer = window.findChild<ImageViewer*>();
        tracePlot = window.findChild<TracePlot*>();
        scatter = window.findChild<ScatterPlot*>();
        table = window.findChild<QTableWidget*>(QStringLiteral("eventTable"));
        tree = window.findChild<QTreeWidget*>(QStringLiteral("metadataTree"));
        ASSERT_TRUE(spin && viewer && tracePlot && scatter && table && tree);
    }

    std::string measurement(const FixtureOptions& options = {}, const char* name = "m.rtdc") {
        const std::string path = dir.file(name);
        writeMeasurement(path, options);
        return path;
    }

    TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
    MainWindow window;
    QSpinBox* spin = nullptr;
    ImageViewer* viewer = nullptr;
    TracePlot* tracePlot = nullptr;
    ScatterPlot* scatter = nullptr;
    QTableWidget* table = nullptr;
    QTreeWidget* tree = nullptr;
};

// ---- event selection and image -------------------------------------------------

TEST_F(MainWindowEventViews, SpinBoxShowsEventImageWithMaskAndTogglesIt) {
    ASSERT_TRUE(openAndWait(window, measurement()));
    spin->setValue(2);
    EXPECT_EQ(window.activeDataset()->currentEventIndex, 2);
    EXPECT_EQ(viewerTitle(viewer), QStringLiteral("Event 2 (with mask)"));
    EXPECT_TRUE(viewerShowsColour(viewer)); // the overlay is drawn

    QCheckBox* mask = showMaskCheck(viewer);
    ASSERT_TRUE(mask);
    ASSERT_TRUE(mask->isEnabled());
    mask->setChecked(false);
    EXPECT_EQ(viewerTitle(viewer), QStringLiteral("Event 2"));
    EXPECT_FALSE(viewerShowsColour(viewer));
    mask->setChecked(true);
    EXPECT_EQ(viewerTitle(viewer), QStringLiteral("Event 2 (with mask)"));
}

TEST_F(MainWindowEventViews, MaskOfAnotherSizeShowsThePlainImage) {
    FixtureOptions options;
    options.maskHeight = 10;
    options.maskWidth = 15;
    ASSERT_TRUE(openAndWait(window, measurement(options)));
    spin->setValue(1);
    EXPECT_EQ(viewerTitle(viewer), QStringLiteral("Event 1"));
    EXPECT_FALSE(viewerShowsColour(viewer));
}

// The current event follows every way of choosing it, with or without
// images: the table, the marker and the traces show the chosen event.
TEST_F(MainWindowEventViews, WithoutImagesEveryWayOfChoosingAnEventMovesTableMarkerAndTraces) {
    FixtureOptions options;
    options.images = false;
    options.masks = false;
    ASSERT_TRUE(openAndWait(window, measurement(options)));
    ASSERT_EQ(window.activeDataset()->currentEventIndex, 0);

    struct Way {
        const char* name;
        std::function<void()> choose;
        int event;
        const char* brightAvg;
        QPointF marker;
    };
    const Way ways[] = {
        {"arrow up", [&] { QTest::keyClick(spin, Qt::Key_Up); }, 1, "110", {60.0, 0.02}},
        {"typed and Enter",
         [&] {
             spin->selectAll();
             QTest::keyClicks(spin, QStringLiteral("4"));
             QTest::keyClick(spin, Qt::Key_Enter);
         },
         4, "1.23457e+06", {123.456789f, 0.0123456789}},
        {"arrow down", [&] { QTest::keyClick(spin, Qt::Key_Down); }, 3, "130", {}},
        // Event 3 has no point, so plot point 2 is event 2.
        {"clicked dot", [&] { emit scatter->pointClicked(2); }, 2, "120", {70.0, 0.03}},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        way.choose();
        EXPECT_EQ(window.activeDataset()->currentEventIndex, way.event);
        EXPECT_EQ(spin->value(), way.event);
        EXPECT_EQ(tableValue(table, QStringLiteral("bright_avg")),
                  std::optional<QString>(QString::fromLatin1(way.brightAvg)));
        if (way.event == 3) {
            EXPECT_FALSE(highlightedPoint(scatter).has_value()); // not plotted
        } else {
            ASSERT_TRUE(highlightedPoint(scatter).has_value());
            EXPECT_FLOAT_EQ(static_cast<float>(highlightedPoint(scatter)->x()),
                            static_cast<float>(way.marker.x()));
            EXPECT_DOUBLE_EQ(highlightedPoint(scatter)->y(), way.marker.y());
        }
        const QwtPlotCurve* curve = curveTitled(tracePlot, QStringLiteral("FL2 (640 nm)"));
        ASSERT_TRUE(curve);
        ASSERT_EQ(curve->dataSize(), kTraceSamples);
        EXPECT_DOUBLE_EQ(curve->sample(0).y(), 2000.0 + 10.0 * way.event);
        EXPECT_EQ(viewerTitle(viewer), QStringLiteral("No Image"));
    }
}

TEST_F(MainWindowEventViews, UnplottedEventClearsHighlightButIsStillShown) {
    ASSERT_TRUE(openAndWait(window, measurement()));
    spin->setValue(1);
    ASSERT_TRUE(highlightedPoint(scatter).has_value());
    EXPECT_EQ(*highlightedPoint(scatter), QPointF(60.0, 0.02));

    // Event 3 has no finite area, so it has no point in the plot.
    spin->setValue(3);
    EXPECT_FALSE(highlightedPoint(scatter).has_value());
    EXPECT_EQ(window.activeDataset()->currentEventIndex, 3);
    EXPECT_EQ(viewerTitle(viewer), QStringLiteral("Event 3 (with mask)"));
    EXPECT_EQ(tableValue(table, QStringLiteral("bright_avg")),
              std::optional<QString>(QStringLiteral("130")));
}

TEST_F(MainWindowEventViews, ClickedPointShowsItsEventInEveryView) {
    ASSERT_TRUE(openAndWait(window, measurement()));
    // Event 3 is not plotted, so plot point 3 is event 4.
    emit scatter->pointClicked(3);
    EXPECT_EQ(window.activeDataset()->currentEventIndex, 4);
    EXPECT_EQ(spin->value(), 4);
    EXPECT_EQ(viewerTitle(viewer), QStringLiteral("Event 4 (with mask)"));
    EXPECT_EQ(tableValue(table, QStringLiteral("deform")),
              std::optional<QString>(QStringLiteral("0.0123457")));
    const QwtPlotCurve* curve = curveTitled(tracePlot, QStringLiteral("FL2 (640 nm)"));
    ASSERT_TRUE(curve);
    ASSERT_EQ(curve->dataSize(), kTraceSamples);
    EXPECT_DOUBLE_EQ(curve->sample(0).y(), 2040.0);
}

// ---- event data table ------------------------------------------------------------

// Guards against the event table keeping the previous dataset's event when
// the dataset switched to has no images.
TEST_F(MainWindowEventViews, SwitchingToADatasetWithoutImagesShowsItsOwnEvent) {
    FixtureOptions plain;
    plain.images = false;
    plain.masks = false;
    ASSERT_TRUE(openAndWait(window, measurement({}, "images.rtdc")));
    ASSERT_TRUE(openAndWait(window, measurement(plain, "plain.rtdc")));
    auto* list = window.findChild<QListWidget*>(QStringLiteral("datasetList"));
    list->setCurrentRow(0);
    emit scatter->pointClicked(3); // event 4
    ASSERT_EQ(tableValue(table, QStringLiteral("bright_avg")),
              std::optional<QString>(QStringLiteral("1.23457e+06")));

    list->setCurrentRow(1);
    ASSERT_EQ(window.activeDataset()->currentEventIndex, 0);
    EXPECT_EQ(tableValue(table, QStringLiteral("bright_avg")),
              std::optional<QString>(QStringLiteral("100")));
    EXPECT_EQ(viewerTitle(viewer), QStringLiteral("No Image"));
}

TEST_F(MainWindowEventViews, EventTableListsScalarFeaturesWithSixDigits) {
    ASSERT_TRUE(openAndWait(window, measurement()));
    spin->setValue(4);

    QStringList features;
    for (int row = 0; row < table->rowCount(); ++row)
        features << table->item(row, 0)->toolTip();
    // Sorted names, without image and mask.
    EXPECT_EQ(features, QStringList({"area_um", "bright_avg", "deform", "fl1_max", "fl2_max",
                                     "index", "volume"}));
    EXPECT_EQ(tableValue(table, "area_um", 0),
              std::optional<QString>(QStringLiteral("Area [µm²]")));

    EXPECT_EQ(tableValue(table, "area_um"), std::optional<QString>("123.457"));
    EXPECT_EQ(tableValue(table, "deform"), std::optional<QString>("0.0123457"));
    EXPECT_EQ(tableValue(table, "bright_avg"), std::optional<QString>("1.23457e+06"));
    EXPECT_EQ(tableValue(table, "fl1_max"), std::optional<QString>("1e-07"));
    EXPECT_EQ(tableValue(table, "fl2_max"), std::optional<QString>("-2.5"));
    EXPECT_EQ(tableValue(table, "index"), std::optional<QString>("4"));
}

TEST_F(MainWindowEventViews, EventTableKeepsTheValuesInViewBesideLongLabels) {
    ASSERT_TRUE(openAndWait(window, measurement()));
    // A label far wider than the panel (as long feature labels are in a
    // narrow event panel).
    window.activeReader()->addCalculatedFeature(std::string(120, 'w'), std::vector<double>(5, 1.0));
    spin->setValue(4);
    // Updated while another tab was shown, then brought to the front.
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("eventTabs"));
    ASSERT_TRUE(tabs);
    tabs->setCurrentWidget(table);
    test::processEventsFor(50);
    const int valueWidth = table->columnWidth(1);
    EXPECT_GE(valueWidth, table->fontMetrics().horizontalAdvance(QStringLiteral("1.23457e+06")));
    EXPECT_LE(table->columnWidth(0) + valueWidth, table->viewport()->width());
}

TEST_F(MainWindowEventViews, EventBeyondAShortColumnLeavesItsCellEmpty) {
    ASSERT_TRUE(openAndWait(window, measurement()));
    spin->setValue(2);
    EXPECT_EQ(tableValue(table, "volume"), std::optional<QString>("700"));
    spin->setValue(4);
    EXPECT_EQ(tableValue(table, "volume"), std::optional<QString>(QString()));

    // The same for a derived feature computed for fewer events.
    window.activeReader()->addCalculatedFeature("zz_short", {7.0});
    spin->setValue(0);
    EXPECT_EQ(tableValue(table, "zz_short"), std::optional<QString>("7"));
    spin->setValue(1);
    EXPECT_EQ(tableValue(table, "zz_short"), std::optional<QString>(QString()));
}

// ---- trace plot set-up -------------------------------------------------------------

TEST_F(MainWindowEventViews, TraceChannelsComeFromFluorescenceMetadataWithAllDigits) {
    ASSERT_TRUE(openAndWait(window, measurement()));
    EXPECT_FALSE(tracePlot->isHidden());
    const std::vector<TraceChannel>& channels = tracePlot->channels();
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_EQ(channels[0].channel, 1);
    EXPECT_EQ(channels[0].name, "488 nm");
    EXPECT_EQ(channels[0].traceName, "fl1_median");
    EXPECT_DOUBLE_EQ(channels[0].offset, 5.0);
    EXPECT_EQ(channels[1].channel, 2);
    EXPECT_EQ(channels[1].name, "640 nm");
    EXPECT_DOUBLE_EQ(channels[1].offset, 0.0);
    // "channel 12 name" names channel 12, not channel 1.
    EXPECT_EQ(channels[2].channel, 12);
    EXPECT_EQ(channels[2].name, "561 nm");
    EXPECT_EQ(channels[2].traceName, "fl12_median");
    EXPECT_DOUBLE_EQ(channels[2].offset, 100.0);

    // 1 MHz: one sample per µs; the offset is added to every sample.
    spin->setValue(1);
    const QwtPlotCurve* curve = curveTitled(tracePlot, QStringLiteral("FL12 (561 nm)"));
    ASSERT_TRUE(curve);
    ASSERT_EQ(curve->dataSize(), kTraceSamples);
    EXPECT_TRUE(curve->isVisible());
    EXPECT_DOUBLE_EQ(curve->sample(3).x(), 3.0);
    EXPECT_DOUBLE_EQ(curve->sample(3).y(), 100.0 + 12000.0 + 10.0 + 3.0);
}

TEST_F(MainWindowEventViews, UnnamedChannelsAreNamedFromTheirTraces) {
    FixtureOptions options;
    options.channelNames = false;
    options.traceChannels = {1, 12};
    options.sampleRateText = "fast";
    ASSERT_TRUE(openAndWait(window, measurement(options)));
    const std::vector<TraceChannel>& channels = tracePlot->channels();
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].name, "FL1");
    EXPECT_EQ(channels[1].channel, 12);
    EXPECT_EQ(channels[1].name, "FL12");

    // Without a readable sample rate the time axis counts samples.
    spin->setValue(0);
    const QwtPlotCurve* curve = curveTitled(tracePlot, QStringLiteral("FL12 (FL12)"));
    ASSERT_TRUE(curve);
    ASSERT_EQ(curve->dataSize(), kTraceSamples);
    EXPECT_DOUBLE_EQ(curve->sample(2).x(), 2.0);
    EXPECT_EQ(tracePlot->axisTitle(QwtPlot::xBottom).text(), QStringLiteral("Sample number"));
}

// A rate that is not above 0 is no rate: the axis counts samples and says
// so; a known rate gives microseconds.
TEST_F(MainWindowEventViews, TraceAxisShowsSampleNumbersUnlessTheRateIsAboveZero) {
    struct Case {
        const char* rate;
        double secondSampleX;
        QString title;
    };
    const Case cases[] = {{"0", 1.0, QStringLiteral("Sample number")},
                          {"-2e6", 1.0, QStringLiteral("Sample number")},
                          {"", 1.0, QString::fromUtf8("Time [µs]")}, // 1 MHz
                          {"250000", 4.0, QString::fromUtf8("Time [µs]")}};
    int file = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        FixtureOptions options;
        options.sampleRateText = c.rate;
        ASSERT_TRUE(openAndWait(
            window, measurement(options, ("m" + std::to_string(++file) + ".rtdc").c_str())));
        spin->setValue(1);
        spin->setValue(0);
        const QwtPlotCurve* curve = curveTitled(tracePlot, QStringLiteral("FL1 (488 nm)"));
        ASSERT_TRUE(curve);
        ASSERT_EQ(curve->dataSize(), kTraceSamples);
        EXPECT_DOUBLE_EQ(curve->sample(1).x(), c.secondSampleX);
        EXPECT_EQ(tracePlot->axisTitle(QwtPlot::xBottom).text(), c.title);
    }
}

TEST_F(MainWindowEventViews, MeasurementWithoutTracesHidesTheTracePlot) {
    ASSERT_TRUE(openAndWait(window, measurement({}, "with.rtdc")));
    EXPECT_FALSE(tracePlot->isHidden());
    FixtureOptions options;
    options.traceChannels = {};
    ASSERT_TRUE(openAndWait(window, measurement(options, "without.rtdc")));
    EXPECT_TRUE(tracePlot->isHidden());
}

// ---- metadata tree -----------------------------------------------------------------

TEST_F(MainWindowEventViews, MetadataTreeShowsSectionsInOrderAndOthersLast) {
    auto* dock = window.findChild<QDockWidget*>(QStringLiteral("metadataDock"));
    ASSERT_TRUE(dock);
    ASSERT_TRUE(openAndWait(window, measurement()));
    dock->raise();
    ASSERT_TRUE(waitFor([&] { return tree->topLevelItemCount() > 0; }));

    QStringList sections;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* section = tree->topLevelItem(i);
        sections << section->text(0);
        EXPECT_TRUE(section->font(0).bold()) << section->text(0).toStdString();
        EXPECT_TRUE(section->isExpanded()) << section->text(0).toStdString();
    }
    // No offline filter in the file: its section is left out.
    EXPECT_EQ(sections, QStringList({"Experiment", "Setup", "Imaging", "Online Contour",
                                     "Fluorescence", "Online Filter", "Export", "Other"}));

    const QTreeWidgetItem* experiment = tree->topLevelItem(0);
    ASSERT_EQ(experiment->childCount(), 2);
    EXPECT_EQ(experiment->child(0)->text(0), QStringLiteral("run index"));
    EXPECT_EQ(experiment->child(0)->text(1), QStringLiteral("3"));
    EXPECT_EQ(experiment->child(1)->text(0), QStringLiteral("sample"));
    EXPECT_EQ(experiment->child(1)->text(1), QStringLiteral("blood"));

    // Full names, in byte order; a section is compared exactly, so
    // "Experiment" is not "experiment"; a name without a colon is left out.
    const QTreeWidgetItem* other = tree->topLevelItem(tree->topLevelItemCount() - 1);
    QStringList rows;
    for (int i = 0; i < other->childCount(); ++i)
        rows << other->child(i)->text(0) + QStringLiteral("=") + other->child(i)->text(1);
    EXPECT_EQ(rows, QStringList({"Experiment:odd=capital", "analysis:operator=me",
                                 "user:comment=hello: world"}));
}

TEST_F(MainWindowEventViews, MetadataTreeFollowsTheActiveDataset) {
    auto* dock = window.findChild<QDockWidget*>(QStringLiteral("metadataDock"));
    ASSERT_TRUE(dock);
    dock->raise();
    ASSERT_TRUE(openAndWait(window, measurement({}, "a.rtdc")));
    ASSERT_TRUE(waitFor([&] { return tree->topLevelItemCount() > 0; }));

    const std::string second = dir.file("b.rtdc");
    {
        RtdcFixtureWriter w(second);
        w.addColumn<float>("area_um", {1.f, 2.f});
        w.addColumn<float>("deform", {0.1f, 0.2f});
        w.setStringAttribute("setup:medium", "CellCarrier");
    }
    ASSERT_TRUE(openAndWait(window, second));
    ASSERT_TRUE(waitFor([&] { return tree->topLevelItemCount() == 1; }));
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Setup"));
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(1), QStringLiteral("CellCarrier"));
}

// ---- fluorescence channels ---------------------------------------------------------

TEST(ActiveFlChannels, ReadsEveryDigitKeepsDuplicatesAndSkipsOtherFeatures) {
    TempDir dir;
    const std::string path = dir.file("fl.rtdc");
    {
        RtdcFixtureWriter w(path);
        for (const char* name : {"area_um", "fl3_max", "fl1_max", "fl1_max_ctc", "fl12_max",
                                 "fl01_max", "fl_max", "flx_max", "fl2_max_width", "fl2_area"})
            w.addColumn<double>(name, {1.0, 2.0});
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(path));
    // fl01_max is channel 1 once more; fl_max and flx_max hold no number.
    EXPECT_EQ(MainWindow::getActiveFlChannels(&reader), (std::vector<int>{1, 1, 3, 12}));
    EXPECT_TRUE(MainWindow::getActiveFlChannels(nullptr).empty());
}

} // namespace
} // namespace Quorvex3
