// The calculations dock on a 1280 x 720 screen, in the program's own look:
// every control whole and no sideways scrolling, on a measurement with
// images, masks, traces and a per-event temperature. It cut the "Event"
// radio button and scrolled sideways (its hidden pages sized it), and a
// box over it then left "dium:" and "cosity:" scrolled off.
#include "app/MainWindow.h"
#include "app/MainWindowTestSupport.h"
#include "app/Startup.h"
#include "calc/CalculationsDockWidget.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

void writeImagedMeasurement(const std::string& path) {
    const std::size_t events = 40, height = 30, width = 80, samples = 50;
    std::vector<double> area, deform, fl1, fl2, temp;
    std::vector<std::uint8_t> frames(events * height * width, 100), masks(frames.size(), 0);
    std::vector<std::int16_t> trace(events * samples, 0);
    for (std::size_t i = 0; i < events; ++i) {
        area.push_back(50.0 + static_cast<double>(i));
        deform.push_back(0.01 + 0.001 * static_cast<double>(i % 10));
        fl1.push_back(100.0 + static_cast<double>(i));
        fl2.push_back(50.0 + static_cast<double>(i));
        temp.push_back(23.0 + 0.01 * static_cast<double>(i));
        for (std::size_t j = 0; j < samples; ++j)
            trace[i * samples + j] = static_cast<std::int16_t>(j < 25 ? j : 50 - j);
        for (std::size_t y = 10; y < 20; ++y)
            for (std::size_t x = 30; x < 50; ++x)
                masks[(i * height + y) * width + x] = 255;
    }
    testing::RtdcFixtureWriter writer(path);
    writer.addColumn<double>("area_um", area);
    writer.addColumn<double>("deform", deform);
    writer.addColumn<double>("fl1_max", fl1);
    writer.addColumn<double>("fl2_max", fl2);
    writer.addColumn<double>("temp", temp);
    writer.addImageStack("image", events, height, width, frames);
    writer.addImageStack("mask", events, height, width, masks);
    writer.addTrace("fl1_median", events, samples, trace);
    writer.addTrace("fl2_median", events, samples, trace);
    writer.setStringAttribute("setup:medium", "CellCarrierB");
    writer.setStringAttribute("setup:channel width", "20");
    writer.setStringAttribute("setup:flow rate", "0.16");
    writer.setStringAttribute("setup:temperature", "23.5");
}

/// Controls and plain labels of `dock` that are narrower than their text
/// needs or lie partly outside its scroll area's view.
QStringList cutControls(QScrollArea* area) {
    QStringList cut;
    QWidget* view = area->viewport();
    for (QWidget* widget : area->widget()->findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(widget);
        const bool control =
            qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
            qobject_cast<QAbstractSpinBox*>(widget) || (label && !label->wordWrap());
        if (!control || !widget->isVisibleTo(area) ||
            qobject_cast<QAbstractSpinBox*>(widget->parent()))
            continue;
        QString text = widget->objectName();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (label)
            text = label->text();
        else if (auto* combo = qobject_cast<QComboBox*>(widget))
            text = combo->currentText();
        // A combo box shows each item it offers whole.
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            const auto* model = qobject_cast<const QStandardItemModel*>(combo->model());
            for (int row = 0; row < combo->count(); ++row) {
                if (model && !model->item(row)->isEnabled())
                    continue;
                QStyleOptionComboBox option;
                option.initFrom(combo);
                const QSize itemSize(combo->fontMetrics().horizontalAdvance(combo->itemText(row)),
                                 combo->fontMetrics().height());
                const int needed = combo->style()
                                       ->sizeFromContents(QStyle::CT_ComboBox, &option, itemSize, combo)
                                       .width();
                if (combo->width() < needed)
                    cut << QStringLiteral("item \"%1\" %2 of %3 px")
                               .arg(combo->itemText(row))
                               .arg(combo->width())
                               .arg(needed);
            }
        }
        const int left = widget->mapTo(view, QPoint(0, 0)).x();
        if (widget->width() < widget->minimumSizeHint().width())
            cut << QStringLiteral("\"%1\" %2 of %3 px")
                       .arg(text)
                       .arg(widget->width())
                       .arg(widget->minimumSizeHint().width());
        else if (left < 0 || left + widget->width() > view->width())
            cut << QStringLiteral("\"%1\" outside the view").arg(text);
    }
    return cut;
}

TEST(CalculationsDockLayout, FitsA1280By720ScreenWithEveryControlWhole) {
    applyApplicationLook();
    test::clearSettings();
    testing::TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    MainWindow window;
    window.resize(1280, 720);
    window.show();
    const std::string path = dir.file("imaged.rtdc");
    writeImagedMeasurement(path);
    window.addDataset(QString::fromStdString(path));
    ASSERT_TRUE(test::waitUntil(
        [&] { return window.activeDataset() && window.activeDataset()->featuresLoaded; }));
    auto* dock = window.findChild<QDockWidget*>(QStringLiteral("calculationsDock"));
    ASSERT_TRUE(dock);
    dock->raise();
    test::processEventsFor(50);
    auto* area = qobject_cast<QScrollArea*>(dock->widget());
    ASSERT_TRUE(area);
    auto* calc = window.findChild<CalculationsDockWidget*>();
    auto* selector = calc->findChild<QComboBox*>(QStringLiteral("calcSectionSelector"));
    ASSERT_TRUE(selector);
    // The sections a user can choose: Young's modulus and crosstalk.
    for (int section : {0, 1}) {
        selector->setCurrentIndex(section);
        test::processEventsFor(50);
        SCOPED_TRACE(selector->currentText().toStdString());
        EXPECT_EQ(window.size(), QSize(1280, 720));
        EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0)
            << "content " << area->widget()->width() << " px in a view of "
            << area->viewport()->width() << " px";
        const QStringList cut = cutControls(area);
        EXPECT_TRUE(cut.isEmpty()) << cut.join(QStringLiteral("; ")).toStdString();
    }
}

} // namespace
} // namespace Quorvex3
