#include "plots/TracePlot.h"

#include "plots/AxisTickFit.h"
#include "plots/PseudoLogScaleEngine.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_text.h>

#include <QPen>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace Quorvex3 {

namespace {

constexpr double kIntensityMin = -10.0;
constexpr double kIntensityMax = 35000.0;

// Each colour component after the intensity fall-off and a 0.8 gamma.
int spectrumComponent(double component, double intensity) {
    if (component <= 0.0)
        return 0;
    const double value = std::pow(component * intensity, 0.8) * 255.0;
    return std::min(static_cast<int>(value), 255);
}

} // namespace

TracePlot::TracePlot(QWidget* parent) : QwtPlot(parent) {
    setupPlot();
}

TracePlot::~TracePlot() {
    for (QwtPlotCurve* curve : m_curves)
        delete curve; // detaches itself
}

void TracePlot::replot() {
    fitMajorTicks(*this, QwtPlot::xBottom);
    fitMajorTicks(*this, QwtPlot::yLeft);
    QwtPlot::replot();
}

void TracePlot::resizeEvent(QResizeEvent* event) {
    QwtPlot::resizeEvent(event);
    replot();
}

void TracePlot::setupPlot() {
    setCanvasBackground(QBrush(Qt::white));
    setMinimumHeight(180);
    setMaximumHeight(260);
    setMinimumWidth(260);

    QFont tickFont = axisFont(QwtPlot::xBottom);
    tickFont.setPointSize(7);
    QFont titleFont = tickFont;
    titleFont.setPointSize(8);

    QwtText bottomTitle(QStringLiteral("Time [µs]"));
    bottomTitle.setFont(titleFont);
    setAxisTitle(QwtPlot::xBottom, bottomTitle);
    QwtText leftTitle(QStringLiteral("Fluorescence [a.u.]"));
    leftTitle.setFont(titleFont);
    setAxisTitle(QwtPlot::yLeft, leftTitle);
    setAxisFont(QwtPlot::xBottom, tickFont);
    setAxisFont(QwtPlot::yLeft, tickFont);
    useSpacedLabels(*this, QwtPlot::xBottom);
    useSpacedLabels(*this, QwtPlot::yLeft);

    setAxisScaleEngine(QwtPlot::yLeft, new PseudoLogScaleEngine(100.0, 0.5));
    resetIntensityAxis();

    auto* grid = new QwtPlotGrid;
    grid->setPen(QPen(QColor(Qt::gray), 0.0, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin));
    grid->attach(this);
}

void TracePlot::resetIntensityAxis() {
    setAxisScale(QwtPlot::yLeft, kIntensityMin, kIntensityMax);
}

void TracePlot::configureChannels(const std::map<int, std::string>& channelNames,
                                  const std::map<int, double>& offsets, double sampleRate,
                                  const std::vector<std::string>& availableTraces,
                                  bool showRefined) {
    m_sampleRate = sampleRate;
    // The axis says what it counts: time needs a rate, without one the
    // samples are numbered (see setTraces).
    QwtText timeTitle = axisTitle(QwtPlot::xBottom);
    timeTitle.setText(sampleRate > 0.0 ? QStringLiteral("Time [µs]")
                                       : QStringLiteral("Sample number"));
    setAxisTitle(QwtPlot::xBottom, timeTitle);
    m_channels.clear();
    for (QwtPlotCurve* curve : m_curves)
        delete curve;
    m_curves.clear();

    for (const auto& [number, name] : channelNames) {
        TraceChannel channel;
        channel.name = name;
        channel.channel = number;
        const int wavelength = parseWavelength(name);
        channel.colour = wavelength >= 1 ? wavelengthToColor(wavelength) : QColor(Qt::gray);
        const auto offset = offsets.find(number);
        channel.offset = offset != offsets.end() ? offset->second : 0.0;

        const std::string base = "fl" + std::to_string(number) + "_median";
        const std::string refined = base + "_rf";
        const bool useRefined =
            showRefined && std::find(availableTraces.begin(), availableTraces.end(), refined) !=
                               availableTraces.end();
        channel.traceName = useRefined ? refined : base;
        const QString title =
            (useRefined ? QStringLiteral("FL%1 refined (%2)") : QStringLiteral("FL%1 (%2)"))
                .arg(number)
                .arg(QString::fromStdString(name));

        auto* curve = new QwtPlotCurve(title);
        curve->setPen(QPen(channel.colour, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->attach(this);
        curve->hide();
        m_channels.push_back(std::move(channel));
        m_curves.push_back(curve);
    }
}

void TracePlot::setTraces(const std::map<std::string, std::vector<float>>& traces) {
    if (m_channels.empty() || traces.empty()) {
        clear();
        return;
    }
    // Sample j lies j / rate seconds after the first; without a rate the
    // axis counts samples.
    const double microsPerSample = m_sampleRate > 0.0 ? 1e6 / m_sampleRate : 1.0;
    for (size_t i = 0; i < m_channels.size(); ++i) {
        QwtPlotCurve* curve = m_curves[i];
        const auto trace = traces.find(m_channels[i].traceName);
        if (trace == traces.end() || trace->second.empty()) {
            curve->setSamples(QVector<QPointF>());
            curve->hide();
            continue;
        }
        const std::vector<float>& samples = trace->second;
        QVector<QPointF> points;
        points.reserve(static_cast<int>(samples.size()));
        for (size_t j = 0; j < samples.size(); ++j) {
            points.append(QPointF(static_cast<double>(j) * microsPerSample,
                                  m_channels[i].offset + static_cast<double>(samples[j])));
        }
        curve->setSamples(points);
        curve->show();
    }
    setAxisAutoScale(QwtPlot::xBottom, true);
    resetIntensityAxis();
    replot();
}

void TracePlot::clear() {
    for (QwtPlotCurve* curve : m_curves) {
        curve->setSamples(QVector<QPointF>());
        curve->hide();
    }
    replot();
}

int TracePlot::parseWavelength(const std::string& name) {
    const std::string head = name.substr(0, name.find('/'));
    try {
        return std::stoi(head, nullptr, 10);
    } catch (const std::exception&) {
        return 0; // no leading digits, or out of the int range
    }
}

QColor TracePlot::wavelengthToColor(double wavelength) {
    const double w = wavelength;
    if (w < 380.0 || w > 780.0)
        return QColor(128, 128, 128);

    double intensity = 1.0;
    if (w < 420.0)
        intensity = 0.3 + 0.7 * (w - 380.0) / 40.0;
    else if (w > 700.0)
        intensity = 0.3 + 0.7 * (780.0 - w) / 80.0;

    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    if (w < 440.0) {
        r = (440.0 - w) / 60.0;
        b = 1.0;
    } else if (w < 490.0) {
        g = (w - 440.0) / 50.0;
        b = 1.0;
    } else if (w < 510.0) {
        g = 1.0;
        b = (510.0 - w) / 20.0;
    } else if (w < 580.0) {
        r = (w - 510.0) / 70.0;
        g = 1.0;
    } else if (w < 645.0) {
        r = 1.0;
        g = (645.0 - w) / 65.0;
    } else {
        r = 1.0;
    }
    return QColor(spectrumComponent(r, intensity), spectrumComponent(g, intensity),
                  spectrumComponent(b, intensity));
}

} // namespace Quorvex3
