#include "plots/PlotRecording.h"

#include "plots/RoundSpectroCurve.h"

#include <qwt_color_map.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_item.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_spectrocurve.h>
#include <qwt_scale_map.h>
#include <qwt_series_data.h>
#include <qwt_symbol.h>

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPicture>
#include <QPrinter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Quorvex3 {

namespace {

constexpr double kMmPerInch = 25.4;
/// Dots drawn between two looks at the cancel flag.
constexpr int kDotsPerStep = 25000;

int pixels(double mm, double dpi) {
    return static_cast<int>(mm / kMmPerInch * dpi);
}

/// A picture that tells the painter (and so Qwt's renderer) the resolution
/// and size of the device it will be replayed on, so that the layout, the
/// fonts and Qwt's choices are those of the real file.
class DevicePicture : public QPicture {
public:
    DevicePicture(int dpi, QSize size) : m_dpi(dpi), m_size(size) {}

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return static_cast<int>(m_size.width() * kMmPerInch / m_dpi);
        case PdmHeightMM:
            return static_cast<int>(m_size.height() * kMmPerInch / m_dpi);
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return m_dpi;
        default:
            return QPicture::metric(metric);
        }
    }

private:
    int m_dpi;
    QSize m_size;
};

/// A colour map read once into a table, so that a copy of a heat map can be
/// drawn after its plot (and the plot's colour map) has gone: 4096 steps
/// across the colour range, well below a step of any 8-bit channel.
class SampledColorMap : public QwtColorMap {
public:
    SampledColorMap(const QwtColorMap& map, const QwtInterval& range) : m_range(range) {
        m_table.resize(kSteps);
        for (int i = 0; i < kSteps; ++i)
            m_table[i] = map.rgb(range, range.minValue() + range.width() * i / (kSteps - 1));
    }
    QRgb rgb(const QwtInterval& interval, double value) const override {
        const double width = interval.width();
        if (std::isnan(value) || !(width > 0.0))
            return 0u;
        const double ratio = std::clamp((value - interval.minValue()) / width, 0.0, 1.0);
        return m_table[static_cast<int>(std::lround(ratio * (kSteps - 1)))];
    }
    unsigned char colorIndex(const QwtInterval& interval, double value) const override {
        const double width = interval.width();
        if (std::isnan(value) || !(width > 0.0))
            return 0;
        const double ratio = std::clamp((value - interval.minValue()) / width, 0.0, 1.0);
        return static_cast<unsigned char>(ratio * 255.0);
    }

private:
    static constexpr int kSteps = 4096;
    QwtInterval m_range;
    QVector<QRgb> m_table;
};

/// Items drawn as many dots: copied for the writer instead of recorded.
/// Their number of dots; 0 for any other item.
size_t dotCount(const QwtPlotItem* item) {
    if (const auto* round = dynamic_cast<const RoundSpectroCurve*>(item))
        return round->sharedSamples().size() > 0
                   ? static_cast<size_t>(round->sharedSamples().size())
                   : 0;
    const auto* curve = dynamic_cast<const QwtPlotCurve*>(item);
    if (curve && curve->symbol() && curve->style() == QwtPlotCurve::NoCurve)
        return curve->dataSize();
    return 0;
}

bool isDotItem(const QwtPlotItem* item) {
    return dotCount(item) > 0;
}

/// A copy of a dot item that owns or shares everything it draws.
std::shared_ptr<QwtPlotSeriesItem> copyDotItem(const QwtPlotItem* item) {
    if (const auto* round = dynamic_cast<const RoundSpectroCurve*>(item)) {
        auto copy = std::make_shared<RoundSpectroCurve>();
        copy->setSamples(round->sharedSamples()); // shared, not copied
        if (round->colorMap())
            copy->setColorMap(new SampledColorMap(*round->colorMap(), round->colorRange()));
        copy->setColorRange(round->colorRange());
        copy->setPenWidth(round->penWidth());
        copy->setPaintAttribute(QwtPlotSpectroCurve::ClipPoints,
                                round->testPaintAttribute(QwtPlotSpectroCurve::ClipPoints));
        copy->setRenderHint(QwtPlotItem::RenderAntialiased,
                            item->testRenderHint(QwtPlotItem::RenderAntialiased));
        return copy;
    }
    const auto* curve = dynamic_cast<const QwtPlotCurve*>(item);
    auto copy = std::make_shared<QwtPlotCurve>();
    copy->setStyle(curve->style());
    const QwtSymbol* symbol = curve->symbol();
    auto* symbolCopy =
        new QwtSymbol(symbol->style(), symbol->brush(), symbol->pen(), symbol->size());
    // Its cache is a QPixmap, which not every platform allows off the GUI
    // thread; each symbol is drawn instead.
    symbolCopy->setCachePolicy(QwtSymbol::NoCache);
    copy->setSymbol(symbolCopy);
    if (const auto* data = dynamic_cast<const QwtPointSeriesData*>(curve->data())) {
        copy->setSamples(data->samples()); // shared, not copied
    } else {
        QVector<QPointF> samples;
        samples.reserve(static_cast<int>(curve->dataSize()));
        for (size_t i = 0; i < curve->dataSize(); ++i)
            samples.append(curve->sample(static_cast<int>(i)));
        copy->setSamples(samples);
    }
    for (const auto attribute : {QwtPlotCurve::ClipPolygons, QwtPlotCurve::FilterPoints,
                                 QwtPlotCurve::MinimizeMemory, QwtPlotCurve::ImageBuffer})
        copy->setPaintAttribute(attribute, curve->testPaintAttribute(attribute));
    copy->setRenderHint(QwtPlotItem::RenderAntialiased,
                        item->testRenderHint(QwtPlotItem::RenderAntialiased));
    return copy;
}

/// The painter's state and the scale maps with which the plot draws its
/// canvas items: taken by an item of our own put where the dots are.
struct CanvasState {
    bool captured = false;
    QTransform transform;
    bool hasClip = false;
    QPainterPath clip;
    QPainter::RenderHints hints;
    QFont font;
    QwtScaleMap xMap;
    QwtScaleMap yMap;
    QRectF canvasRect;

    /// Puts the painter into the state the canvas items were drawn in, on
    /// top of the transform it has (a page's mapping of its dots).
    void apply(QPainter& painter) const {
        painter.setWorldTransform(transform, true);
        if (hasClip)
            painter.setClipPath(clip);
        painter.setRenderHints(hints, true);
        painter.setFont(font);
    }
};

class CanvasStateProbe : public QwtPlotItem {
public:
    explicit CanvasStateProbe(CanvasState& state) : m_state(state) {}
    int rtti() const override { return QwtPlotItem::Rtti_PlotUserItem + 731; }
    void draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
              const QRectF& canvasRect) const override {
        m_state.captured = true;
        m_state.transform = painter->worldTransform();
        m_state.hasClip = painter->hasClipping();
        if (m_state.hasClip)
            m_state.clip = painter->clipPath();
        m_state.hints = painter->renderHints();
        m_state.font = painter->font();
        m_state.xMap = xMap;
        m_state.yMap = yMap;
        m_state.canvasRect = canvasRect;
    }

private:
    CanvasState& m_state;
};

} // namespace

/// One step of a recording: a picture to replay, or a dot item to draw in
/// the painter state of its plot's canvas.
struct RecordingSegment {
    std::shared_ptr<QPicture> picture;
    std::shared_ptr<QwtPlotSeriesItem> dots;
    int dotCount = 0;
    std::shared_ptr<const CanvasState> state;
};

class RecordedPlot {
public:
    std::vector<RecordingSegment> segments;
    QString title;
    int dpi = 96;
    /// The resolution a picture takes as its own when it is replayed.
    double pictureDpi = 96.0;
};

struct PlotRecorder::Impl {
    PlotTarget target;
    int dpi = 96;
    QSize deviceSize;
    double unitsPerMm = 1.0;
    QRectF documentRect;
    std::shared_ptr<RecordedPlot> recording = std::make_shared<RecordedPlot>();

    std::shared_ptr<QPicture> newPicture() {
        RecordingSegment segment;
        segment.picture = std::make_shared<DevicePicture>(dpi, deviceSize);
        recording->segments.push_back(segment);
        return segment.picture;
    }
};

PlotTarget plotDocumentTarget(PlotFileFormat format, const QSizeF& sizeMm, int dpi) {
    PlotTarget target;
    target.format = format;
    target.kind = PlotTarget::Kind::Document;
    target.sizeMm = sizeMm;
    target.dpi = dpi;
    return target;
}

PlotTarget plotPageTarget(PlotFileFormat format, const PlotPageSetup& page) {
    PlotTarget target;
    target.format = format;
    target.kind = PlotTarget::Kind::Page;
    target.sizeMm = page.sizeMm;
    target.dpi = page.dpi;
    target.page = page;
    return target;
}

PlotRecorder::PlotRecorder(const PlotTarget& target) : m_impl(std::make_unique<Impl>()) {
    Impl& d = *m_impl;
    d.target = target;
    const QSizeF& mm = target.sizeMm;
    if (target.kind == PlotTarget::Kind::Document) {
        // As QwtPlotRenderer::renderDocument sets up its devices.
        const QSizeF size = mm / kMmPerInch * target.dpi;
        d.documentRect = QRectF(QPointF(0.0, 0.0), size);
        d.unitsPerMm = target.dpi / kMmPerInch;
        if (target.format == PlotFileFormat::Png) {
            d.documentRect = QRectF(d.documentRect.toRect());
            d.dpi = qRound(dotsPerMetre(target.dpi) * 0.0254);
        } else {
            d.dpi = target.dpi;
        }
        d.deviceSize = d.documentRect.size().toSize();
    } else {
        // As writePlotPage sets up its devices.
        switch (target.format) {
        case PlotFileFormat::Png:
            d.dpi = qRound(dotsPerMetre(target.page.dpi) * 0.0254);
            d.unitsPerMm = target.page.dpi / kMmPerInch;
            d.deviceSize =
                QSize(pixels(mm.width(), target.page.dpi), pixels(mm.height(), target.page.dpi));
            break;
        case PlotFileFormat::Svg:
            // The painter draws in the generator's dots (mapSvgPageDots).
            d.dpi = target.page.svgResolution;
            d.unitsPerMm = svgPageDotsPerMm(target.page);
            d.deviceSize = QSize(pixels(mm.width(), d.dpi), pixels(mm.height(), d.dpi));
            break;
        default:
            d.dpi = QPrinter(QPrinter::HighResolution).resolution();
            d.unitsPerMm = d.dpi / kMmPerInch;
            d.deviceSize = QSize(pixels(mm.width(), d.dpi), pixels(mm.height(), d.dpi));
            break;
        }
    }
    d.recording->dpi = d.dpi;
    d.recording->pictureDpi = QPicture().logicalDpiX();
}

PlotRecorder::~PlotRecorder() = default;

double PlotRecorder::unitsPerMm() const {
    return m_impl->unitsPerMm;
}

QRectF PlotRecorder::documentRect() const {
    return m_impl->documentRect;
}

void PlotRecorder::render(QwtPlotRenderer& renderer, QwtPlot* plot, const QRectF& rect) {
    Impl& d = *m_impl;
    if (d.recording->title.isEmpty()) {
        d.recording->title = plot->title().text();
        if (d.recording->title.isEmpty())
            d.recording->title = QStringLiteral("Plot Document");
    }
    // The items in the order the plot draws them (by z); from the first dot
    // item on, the writer draws them after the rest of the plot.
    const QwtPlotItemList items = plot->itemList();
    int first = -1;
    for (int i = 0; i < items.size(); ++i) {
        if (items[i]->isVisible() && isDotItem(items[i])) {
            first = i;
            break;
        }
    }
    std::vector<QwtPlotItem*> later;
    if (first >= 0) {
        for (int i = first; i < items.size(); ++i) {
            QwtPlotItem* item = items[i];
            if (!item->isVisible())
                continue;
            // The writer has the maps of the dots' axes only.
            if (item->xAxis() != items[first]->xAxis() || item->yAxis() != items[first]->yAxis()) {
                later.clear();
                first = -1;
                break;
            }
            later.push_back(item);
        }
    }
    if (first < 0) {
        QPainter painter(d.newPicture().get());
        renderer.render(plot, &painter, rect);
        return;
    }

    auto state = std::make_shared<CanvasState>();
    {
        CanvasStateProbe probe(*state);
        probe.setAxes(items[first]->xAxis(), items[first]->yAxis());
        probe.setZ(items[first]->z());
        for (QwtPlotItem* item : later)
            item->setVisible(false);
        probe.attach(plot);
        {
            QPainter painter(d.newPicture().get());
            renderer.render(plot, &painter, rect);
        }
        probe.detach();
        for (QwtPlotItem* item : later)
            item->setVisible(true);
    }
    if (!state->captured)
        return; // the renderer drew no canvas items

    // Dots are copied; the items between and above them are recorded, in
    // the painter state of the canvas, as QwtPlot::drawItems draws them.
    for (size_t i = 0; i < later.size();) {
        if (isDotItem(later[i])) {
            RecordingSegment segment;
            segment.dots = copyDotItem(later[i]);
            segment.dotCount = static_cast<int>(dotCount(later[i]));
            segment.state = state;
            d.recording->segments.push_back(segment);
            ++i;
            continue;
        }
        QPainter painter(d.newPicture().get());
        state->apply(painter);
        for (; i < later.size() && !isDotItem(later[i]); ++i) {
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing,
                                  later[i]->testRenderHint(QwtPlotItem::RenderAntialiased));
            later[i]->draw(&painter, state->xMap, state->yMap, state->canvasRect);
            painter.restore();
        }
    }
}

std::shared_ptr<const RecordedPlot> PlotRecorder::finish() {
    std::shared_ptr<const RecordedPlot> done = std::move(m_impl->recording);
    m_impl->recording = std::make_shared<RecordedPlot>();
    m_impl->recording->dpi = m_impl->dpi;
    m_impl->recording->pictureDpi = done->pictureDpi;
    return done;
}

int PlotRecorder::stepCount(const RecordedPlot& recording) {
    int steps = 1;
    for (const RecordingSegment& segment : recording.segments) {
        if (segment.dots)
            steps += (segment.dotCount + kDotsPerStep - 1) / kDotsPerStep;
    }
    return steps;
}

namespace {

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load();
}

// Replays the recording; false once cancelled.
bool playRecording(QPainter& painter, const RecordedPlot& recording,
                   const std::atomic<bool>* cancel, const std::function<void()>& step) {
    for (const RecordingSegment& segment : recording.segments) {
        if (cancelled(cancel))
            return false;
        if (segment.picture) {
            // A picture scales itself by the device's resolution over the
            // screen's on replay (it assumes it was recorded at the screen's);
            // this one was recorded at the device's own.
            painter.save();
            painter.scale(recording.pictureDpi / painter.device()->logicalDpiX(),
                          recording.pictureDpi / painter.device()->logicalDpiY());
            painter.drawPicture(QPointF(0.0, 0.0), *segment.picture);
            painter.restore();
            continue;
        }
        const int count = segment.dotCount;
        for (int from = 0; from < count; from += kDotsPerStep) {
            if (cancelled(cancel))
                return false;
            painter.save();
            segment.state->apply(painter);
            painter.setRenderHint(QPainter::Antialiasing,
                                  segment.dots->testRenderHint(QwtPlotItem::RenderAntialiased));
            segment.dots->drawSeries(&painter, segment.state->xMap, segment.state->yMap,
                                     segment.state->canvasRect, from,
                                     std::min(count, from + kDotsPerStep) - 1);
            painter.restore();
            if (step)
                step();
        }
    }
    return true;
}

// Opens the target's device on `file`, plays the recording and closes it.
bool paintRecording(const QString& file, const PlotTarget& target, const RecordedPlot& recording,
                    const std::atomic<bool>* cancel, const std::function<void()>& step) {
    const QSizeF& mm = target.sizeMm;
    const bool document = target.kind == PlotTarget::Kind::Document;
    QPainter painter;
    switch (target.format) {
    case PlotFileFormat::Png: {
        QImage image;
        // As renderDocument and writePlotPage make their images.
        if (document) {
            image = QImage((mm / kMmPerInch * target.dpi).toSize(), QImage::Format_ARGB32);
            image.setDotsPerMeterX(dotsPerMetre(target.dpi));
            image.setDotsPerMeterY(dotsPerMetre(target.dpi));
        } else {
            image = QImage(pixels(mm.width(), target.page.dpi),
                           pixels(mm.height(), target.page.dpi), QImage::Format_RGB32);
            image.setDotsPerMeterX(dotsPerMetre(target.page.dpi));
            image.setDotsPerMeterY(dotsPerMetre(target.page.dpi));
        }
        if (image.isNull())
            return false;
        image.fill(Qt::white);
        if (!painter.begin(&image))
            return false;
        const bool played = playRecording(painter, recording, cancel, step);
        painter.end();
        return played && !cancelled(cancel) && image.save(file, "PNG");
    }
    case PlotFileFormat::Svg: {
        QSvgGenerator generator;
        generator.setFileName(file);
        generator.setTitle(document ? recording.title : target.page.title);
        if (document) {
            generator.setResolution(target.dpi);
            generator.setViewBox(QRectF(QPointF(0.0, 0.0), mm / kMmPerInch * target.dpi));
        } else {
            const PlotPageSetup& page = target.page;
            generator.setResolution(page.svgResolution);
            generator.setSize(QSize(pixels(mm.width(), page.svgPixelsPerInch),
                                    pixels(mm.height(), page.svgPixelsPerInch)));
            generator.setViewBox(QRectF(0.0, 0.0, mm.width() * page.svgUnitsPerMm,
                                        mm.height() * page.svgUnitsPerMm));
        }
        if (!painter.begin(&generator))
            return false;
        if (!document)
            mapSvgPageDots(painter, target.page);
        const bool played = playRecording(painter, recording, cancel, step);
        return painter.end() && played;
    }
    case PlotFileFormat::Pdf: {
        // A PDF writer rather than a printer: no print system is involved,
        // and it may be used on any thread. Same engine, same file.
        QPdfWriter writer(file);
        writer.setPageSize(QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        writer.setResolution(recording.dpi);
        writer.setTitle(document ? recording.title : target.page.title);
        writer.setCreator(QStringLiteral("Quorvex3"));
        if (!painter.begin(&writer))
            return false;
        const bool played = playRecording(painter, recording, cancel, step);
        // A cancelled document is still closed (its temporary file goes).
        return painter.end() && played;
    }
    case PlotFileFormat::Unknown:
        break;
    }
    return false;
}

} // namespace

bool writeRecordedPlot(const QString& path, const PlotTarget& target, const RecordedPlot& recording,
                       const std::atomic<bool>* cancel, const std::function<void()>& step,
                       QString* error) {
    if (target.format == PlotFileFormat::Unknown) {
        if (error)
            *error = QStringLiteral("Unknown file format.");
        return false;
    }
    const bool written = writeCheckedFile(
        path,
        [&](const QString& file) {
            const bool painted = paintRecording(file, target, recording, cancel, step);
            if (step)
                step();
            return painted && !cancelled(cancel);
        },
        [&](const QString& file) { return plotFileLooksWritten(file, target.format); }, error);
    if (!written && cancelled(cancel) && error)
        *error = QStringLiteral("Cancelled.");
    return written;
}

} // namespace Quorvex3
