#pragma once

#include <qwt_plot.h>

#include <QColor>

#include <map>
#include <string>
#include <vector>

class QwtPlotCurve;

namespace Quorvex3 {

/// One configured fluorescence channel of the trace plot.
struct TraceChannel {
    /// Key of the channel's trace in the map given to setTraces:
    /// "fl<n>_median", or "fl<n>_median_rf" for the refined trace.
    std::string traceName;
    /// The channel's name as given (e.g. "488/525").
    std::string name;
    /// Channel number n.
    int channel = 0;
    /// Pen colour of the curve.
    QColor colour;
    /// Added to every sample of the channel (intensity units).
    double offset = 0.0;
};

/// Fluorescence traces of one event: a curve per channel, coloured by the
/// wavelength in the channel's name, over time in µs on a pseudo-log
/// intensity axis fixed to -10 … 35000. The plot owns its curves.
/// GUI thread only.
class TracePlot : public QwtPlot {
    Q_OBJECT

public:
    explicit TracePlot(QWidget* parent = nullptr);
    ~TracePlot() override;

    /// Replaces all channels and curves. `channelNames` maps channel number
    /// to name, `offsets` channel number to baseline offset (missing: 0.0),
    /// `sampleRate` is in samples per second; a rate not above 0 is unknown,
    /// and the time axis then shows sample numbers, titled "Sample number"
    /// (else "Time [µs]"). With `showRefined`, a channel
    /// uses "fl<n>_median_rf" when `availableTraces` lists it. Curves start
    /// hidden; nothing is replotted until setTraces or clear.
    void configureChannels(const std::map<int, std::string>& channelNames,
                           const std::map<int, double>& offsets, double sampleRate,
                           const std::vector<std::string>& availableTraces, bool showRefined);

    /// Shows one event: trace name to samples. Channels whose trace is
    /// missing or empty are hidden; an empty map acts as clear().
    void setTraces(const std::map<std::string, std::vector<float>>& traces);

    /// Empties and hides every curve and replots; channels stay configured.
    void clear();

    bool hasChannels() const { return !m_channels.empty(); }

    /// The configured channels in ascending channel number.
    const std::vector<TraceChannel>& channels() const { return m_channels; }

    /// Leading base-10 integer of the text before the first "/" (leading
    /// blanks and a sign allowed); 0 when there is none or it overflows.
    static int parseWavelength(const std::string& name);

    /// Visible-spectrum colour of a wavelength in nm; grey (128, 128, 128)
    /// outside 380 … 780 nm.
    static QColor wavelengthToColor(double wavelength);

public slots:
    /// Thins the ticks of the time and intensity axes where their labels
    /// would overlap, then replots.
    void replot() override;

protected:
    /// Fits the ticks to the new size.
    void resizeEvent(QResizeEvent* event) override;

private:
    void setupPlot();
    void resetIntensityAxis();

    double m_sampleRate = 0.0;
    std::vector<TraceChannel> m_channels;
    std::vector<QwtPlotCurve*> m_curves; // owned, parallel to m_channels
};

} // namespace Quorvex3
