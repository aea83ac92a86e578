#pragma once

// Shared by the tests of the active dataset and the main plot: measurements
// written in code, opening them in a window and waiting for their preload,
// the window's controls by name, and what the scatter plot draws.

#include "MainWindowTestSupport.h"

#include "app/MainWindow.h"
#include "core/FilterRule.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetEntry.h"
#include "plots/ScatterPlot.h"
#include "support/RtdcFixtureWriter.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_plot_spectrocurve.h>
#include <qwt_symbol.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPointF>
#include <QSpinBox>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3::test {

/// What one test measurement holds.
struct Measurement {
    /// Columns under /events, stored as float64.
    std::map<std::string, std::vector<double>> columns;
    /// String columns under /events (variable length).
    std::map<std::string, std::vector<std::string>> textColumns;
    /// Number of 6 x 8 frames in /events/image (and /events/mask); 0: none.
    std::size_t images = 0;
    /// String attributes of the root group ("section:key" -> value).
    std::map<std::string, std::string> textAttributes;
    /// Numeric attributes of the root group.
    std::map<std::string, double> numberAttributes;
    std::map<std::string, int> integerAttributes;
    /// Columns written chunked and compressed and then made unreadable.
    std::vector<std::string> corruptColumns;
};

/// Writes `m` to `path`.
inline void writeMeasurement(const std::string& path, const Measurement& m) {
    {
        Quorvex3::testing::RtdcFixtureWriter writer(path);
        for (const auto& [name, values] : m.columns) {
            const bool corrupt = std::find(m.corruptColumns.begin(), m.corruptColumns.end(),
                                           name) != m.corruptColumns.end();
            writer.addColumn<double>(name, values,
                                     corrupt ? Quorvex3::testing::Storage::chunked({4}, 4)
                                             : Quorvex3::testing::Storage{});
        }
        for (const auto& [name, values] : m.textColumns)
            writer.addStringColumn(name, values);
        if (m.images > 0) {
            const std::size_t height = 6;
            const std::size_t width = 8;
            std::vector<std::uint8_t> pixels(m.images * height * width);
            for (std::size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = static_cast<std::uint8_t>(i % 251);
            writer.addImageStack("image", m.images, height, width, pixels);
            std::vector<std::uint8_t> mask(pixels.size(), 0);
            for (std::size_t i = 0; i < mask.size(); i += 3)
                mask[i] = 1;
            writer.addImageStack("mask", m.images, height, width, mask);
        }
        for (const auto& [name, value] : m.textAttributes)
            writer.setStringAttribute(name, value);
        for (const auto& [name, value] : m.numberAttributes)
            writer.setScalarAttribute<double>(name, value);
        for (const auto& [name, value] : m.integerAttributes)
            writer.setScalarAttribute<std::int32_t>(name, value);
    }
    for (const std::string& name : m.corruptColumns)
        Quorvex3::testing::corruptChunk(path, "/events/" + name, 0);
}

/// Opens `path` and waits until it is the active dataset and loaded.
inline bool openAndWait(MainWindow& window, const std::string& path) {
    window.addDataset(QString::fromStdString(path));
    const bool loaded = waitUntil([&] {
        const DatasetEntry* entry = window.activeDataset();
        return entry && entry->filePath == path && entry->featuresLoaded;
    });
    processEventsFor(10);
    return loaded;
}

/// The window's child of type T with that object name (null when missing).
template <typename T> T* part(MainWindow& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
}

/// Makes the item with that user data current, as the user would.
inline bool chooseData(QComboBox* combo, const QString& data) {
    const int index = combo->findData(data);
    if (index < 0)
        return false;
    combo->setCurrentIndex(index);
    return true;
}

/// The feature names the combo offers, in item order.
inline QStringList itemData(const QComboBox* combo) {
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemData(i).toString();
    return names;
}

/// Activates dataset `row` through the dataset list, as a click would.
inline void selectRow(MainWindow& window, int row) {
    part<QListWidget>(window, "datasetList")->setCurrentRow(row);
    processEventsFor(5);
}

/// What the scatter plot draws, read from its plot items.
class PlotProbe {
public:
    explicit PlotProbe(ScatterPlot* plot) : m_plot(plot) {}

    /// The dots shown (in plot order), from whichever dot curve is visible.
    std::vector<QPointF> dots() const {
        std::vector<QPointF> points;
        if (const QwtPlotSpectroCurve* spectro = spectroCurve(); spectro && spectro->isVisible()) {
            for (const QwtPoint3D& p : samples(spectro))
                points.emplace_back(p.x(), p.y());
            return points;
        }
        if (const QwtPlotCurve* curve = symbolCurve(6); curve && curve->isVisible())
            for (std::size_t i = 0; i < curve->dataSize(); ++i)
                points.push_back(curve->sample(i));
        return points;
    }

    /// Colour values of the coloured dots; empty when the dots are plain.
    std::vector<double> colors() const {
        std::vector<double> values;
        const QwtPlotSpectroCurve* spectro = spectroCurve();
        if (spectro && spectro->isVisible())
            for (const QwtPoint3D& p : samples(spectro))
                values.push_back(p.z());
        return values;
    }

    bool anyDotsVisible() const {
        const QwtPlotSpectroCurve* spectro = spectroCurve();
        const QwtPlotCurve* plain = symbolCurve(6);
        return (spectro && spectro->isVisible()) || (plain && plain->isVisible());
    }

    /// The highlighted point, if the marker is shown.
    std::optional<QPointF> highlight() const {
        const QwtPlotCurve* curve = symbolCurve(12);
        if (!curve || !curve->isVisible() || curve->dataSize() == 0)
            return std::nullopt;
        return curve->sample(0);
    }

    /// Contour curves in the order they were attached.
    std::vector<const QwtPlotCurve*> contours() const {
        std::vector<const QwtPlotCurve*> curves;
        for (const QwtPlotItem* item : m_plot->itemList(QwtPlotItem::Rtti_PlotCurve))
            if (item->z() == 40.0)
                curves.push_back(static_cast<const QwtPlotCurve*>(item));
        return curves;
    }

    /// Polygon overlays, in the plot's item order.
    std::vector<const QwtPlotShapeItem*> overlays() const {
        std::vector<const QwtPlotShapeItem*> shapes;
        for (const QwtPlotItem* item : m_plot->itemList(QwtPlotItem::Rtti_PlotShape))
            shapes.push_back(static_cast<const QwtPlotShapeItem*>(item));
        return shapes;
    }

private:
    /// The samples of a spectro curve. Qwt 6.1 keeps the sample store a
    /// private base of the curve; a C-style cast is the one way to reach it.
    static std::vector<QwtPoint3D> samples(const QwtPlotSpectroCurve* curve) {
        const auto* store = (const QwtSeriesStore<QwtPoint3D>*)curve;
        std::vector<QwtPoint3D> points;
        for (std::size_t i = 0; i < store->dataSize(); ++i)
            points.push_back(store->sample(static_cast<int>(i)));
        return points;
    }
    const QwtPlotSpectroCurve* spectroCurve() const {
        const QwtPlotItemList items = m_plot->itemList(QwtPlotItem::Rtti_PlotSpectroCurve);
        return items.isEmpty() ? nullptr : static_cast<const QwtPlotSpectroCurve*>(items.first());
    }
    /// The symbols-only curve whose symbol is `size` pixels wide.
    const QwtPlotCurve* symbolCurve(int size) const {
        for (const QwtPlotItem* item : m_plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
            const auto* curve = static_cast<const QwtPlotCurve*>(item);
            if (curve->style() == QwtPlotCurve::NoCurve && curve->symbol() &&
                curve->symbol()->size().width() == size)
                return curve;
        }
        return nullptr;
    }

    ScatterPlot* m_plot;
};

/// A range rule over [lo, hi] of one feature.
inline FilterRule rangeRule(const std::string& feature, double lo, double hi) {
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

/// A polygon rule over (x, y).
inline FilterRule polygonRule(const std::string& x, const std::string& y,
                              std::vector<std::pair<double, double>> vertices) {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = std::move(vertices);
    return rule;
}

/// Runs the main plot refresh as an edit in the filter dock does.
inline void refreshPlot(MainWindow& window) {
    emit window.findChild<FilterDockWidget*>()->filterChanged();
    // The request runs when the event loop turns; the tests read at once.
    window.flushPlotRequests();
}

} // namespace Quorvex3::test
