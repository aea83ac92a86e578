// The views of the active dataset's current event: the event image (with its
// mask), the fluorescence traces and the feature values, and the metadata
// tree. Also the two small queries the calculations dock needs: which
// fluorescence channels a dataset has and which deformation sources exist.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/TracePlot.h"

#include <QHeaderView>
#include <QSpinBox>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace Quorvex3 {

namespace {

QString utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

/// A metadata value as a finite number; the whole text (blanks aside) must
/// be the number, so "12 kHz" or "" are not read as anything.
std::optional<double> parseNumber(const std::string& text) {
    bool ok = false;
    const double value = utf8(text).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

/// The channel number written as a run of decimal digits at `pos` ("12" in
/// "channel 12 name"); none when there is no digit there or it does not fit.
std::optional<int> channelNumberAt(const std::string& text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end == pos || end - pos > 9)
        return std::nullopt;
    return std::stoi(text.substr(pos, end - pos));
}

/// Whole base-10 reading in the manner of strtol (leading blanks and a sign
/// allowed, digits up to the first non-digit); none without digits or when
/// the value does not fit an int.
std::optional<int> leadingInteger(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

/// What the fluorescence section says about the trace plot's channels.
struct TraceChannelSetup {
    std::map<int, std::string> names;
    std::map<int, double> offsets;
    double sampleRate = 0.0;
};

/// True for "<prefix> ...<marker>..." keys in either spelling: with blanks
/// ("channel 2 name") or with underscores ("channel_2_name").
bool isChannelKey(const std::string& key, const char* word, const char* marker) {
    const std::string w(word);
    const std::string m(marker);
    return (startsWith(key, w + ' ') && contains(key, ' ' + m)) ||
           (startsWith(key, w + '_') && contains(key, '_' + m));
}

TraceChannelSetup readFluorescenceSetup(const std::map<std::string, std::string>& section) {
    static const std::size_t kChannelPrefixLength = 8;  // "channel "
    static const std::size_t kBaselinePrefixLength = 9; // "baseline "
    TraceChannelSetup setup;
    for (const auto& [key, value] : section) {
        if (key == "sample rate" || key == "sample_rate") {
            if (const auto rate = parseNumber(value))
                setup.sampleRate = *rate;
        } else if (isChannelKey(key, "channel", "name")) {
            if (const auto channel = channelNumberAt(key, kChannelPrefixLength))
                setup.names[*channel] = value;
        } else if (isChannelKey(key, "baseline", "offset")) {
            const auto channel = channelNumberAt(key, kBaselinePrefixLength);
            const auto offset = parseNumber(value);
            if (channel && offset)
                setup.offsets[*channel] = *offset;
        }
    }
    return setup;
}

/// "FL<n>" for every trace "fl<n>..." whose number starts with 1 to 9
/// (fl12_median is channel 12), for measurements without channel names.
void nameChannelsFromTraces(const std::vector<std::string>& traceNames,
                            std::map<int, std::string>& names) {
    for (const std::string& trace : traceNames) {
        if (trace.size() < 3 || !startsWith(trace, "fl") || trace[2] < '1' || trace[2] > '9')
            continue;
        if (const auto channel = channelNumberAt(trace, 2))
            names.emplace(*channel, "FL" + std::to_string(*channel));
    }
}

} // namespace

// ---- event selection ---------------------------------------------------------

void MainWindow::onEventSpinBoxChanged(int event) {
    // With or without images: the table, the marker and the traces show
    // the event the box names.
    DatasetEntry* entry = activeDataset();
    if (!entry || !entry->reader)
        return;
    if (event < 0 || static_cast<std::size_t>(event) >= entry->reader->getEventCount())
        return;
    entry->currentEventIndex = event;

    // Before the first plot of the dataset point i is event i; after it the
    // mapping holds every plotted point, and an event missing from it (hidden
    // by the filter or not finite) has no point.
    const bool identity = !m_plottedIndicesValid && m_plot.eventIndices.empty();
    const int plotIndex = identity ? event : plotIndexOfEvent(event);
    if (plotIndex >= 0)
        m_scatterPlot->highlightPoint(plotIndex);
    else
        m_scatterPlot->clearHighlight();
    displayEventImage(event);
}

void MainWindow::onMaskToggled(bool) {
    const DatasetEntry* entry = activeDataset();
    if (entry && entry->reader && entry->currentEventIndex >= 0)
        displayEventImage(entry->currentEventIndex);
}

// ---- event views -------------------------------------------------------------

void MainWindow::displayEventImage(int event) {
    const DatasetEntry* entry = activeDataset();
    if (!entry || !entry->reader)
        return;
    RTDCReader& reader = *entry->reader;

    int width = 0;
    int height = 0;
    const std::vector<uint8_t> image =
        event >= 0 ? reader.readImage(static_cast<std::size_t>(event), width, height)
                   : std::vector<uint8_t>{};
    if (!image.empty()) {
        const QString title = QStringLiteral("Event %1").arg(event);
        std::vector<uint8_t> mask;
        int maskWidth = 0;
        int maskHeight = 0;
        if (m_imageViewer->isMaskChecked() && reader.hasMasks())
            mask = reader.readMask(static_cast<std::size_t>(event), maskWidth, maskHeight);
        if (!mask.empty() && maskWidth == width && maskHeight == height)
            m_imageViewer->displayImageWithMask(image, mask, width, height,
                                                title + QStringLiteral(" (with mask)"));
        else
            m_imageViewer->displayImage(image, width, height, title);
    }
    displayEventTrace(event);
    updateEventDataTable(event);
}

void MainWindow::displayEventTrace(int event) {
    const DatasetEntry* entry = activeDataset();
    if (!entry || !entry->reader || !entry->reader->hasTraces() || !m_tracePlot->hasChannels()) {
        m_tracePlot->clear();
        return;
    }
    std::map<std::string, std::vector<float>> traces;
    if (event >= 0) {
        for (const TraceChannel& channel : m_tracePlot->channels()) {
            std::vector<float> samples =
                entry->reader->readTrace(channel.traceName, static_cast<std::size_t>(event));
            if (!samples.empty())
                traces[channel.traceName] = std::move(samples);
        }
    }
    m_tracePlot->setTraces(traces);
}

void MainWindow::updateEventDataTable(int event) {
    const DatasetEntry* entry = activeDataset();
    if (!entry || !entry->reader) {
        m_eventTable->setRowCount(0);
        return;
    }
    RTDCReader& reader = *entry->reader;
    std::vector<std::string> names = reader.getAvailableFeatures();
    names.erase(
        std::remove_if(names.begin(), names.end(),
                       [](const std::string& name) { return !RTDCReader::isScalarFeature(name); }),
        names.end());

    m_eventTable->setRowCount(static_cast<int>(names.size()));
    for (int row = 0; row < static_cast<int>(names.size()); ++row) {
        const std::string& name = names[static_cast<std::size_t>(row)];
        auto* label = new QTableWidgetItem(utf8(reader.getFeatureLabel(name)));
        label->setToolTip(utf8(name));
        m_eventTable->setItem(row, 0, label);

        // A column may hold fewer values than there are events (a derived
        // feature of a shorter run): its cell stays empty then.
        const std::vector<double>& values = reader.readScalarFeature(name);
        QString text;
        if (event >= 0 && static_cast<std::size_t>(event) < values.size())
            text = QString::number(values[static_cast<std::size_t>(event)], 'g', 6);
        m_eventTable->setItem(row, 1, new QTableWidgetItem(text));
    }
    m_eventTable->resizeColumnsToContents();
    fitEventTableToPanel();
}

void MainWindow::fitEventTableToPanel() {
    // The event panel is narrow: long labels ("Position along channel axis
    // [µm]") would push the values out of sight. The values keep the width
    // they need, the labels take the rest (elided when short of room; the
    // tooltip names the feature). The header keeps this when the panel is
    // resized or shown later.
    QHeaderView* header = m_eventTable->horizontalHeader();
    if (header->sectionResizeMode(1) == QHeaderView::ResizeToContents)
        return;
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

// ---- trace plot set-up -------------------------------------------------------

void MainWindow::configureTracePlot() {
    const DatasetEntry* entry = activeDataset();
    if (!entry || !entry->reader) {
        m_tracePlot->hide();
        return;
    }
    RTDCReader& reader = *entry->reader;
    if (!reader.hasTraces()) {
        m_tracePlot->clear();
        m_tracePlot->hide();
        return;
    }

    TraceChannelSetup setup = readFluorescenceSetup(entry->metadata.fluorescence);
    const std::vector<std::string> traceNames = reader.getAvailableTraceNames();
    if (setup.names.empty())
        nameChannelsFromTraces(traceNames, setup.names);

    // An unknown rate stays unknown (not above 0): the plot then counts
    // samples instead of inventing a time axis.
    m_tracePlot->configureChannels(setup.names, setup.offsets, setup.sampleRate, traceNames,
                                   m_calculationsWidget->isShowRefinedTrace());
    m_tracePlot->setVisible(m_tracePlot->hasChannels());
}

std::vector<int> MainWindow::getActiveFlChannels(RTDCReader* reader) {
    std::vector<int> channels;
    if (!reader)
        return channels;
    for (const std::string& name : reader->getAvailableFeatures()) {
        if (name.size() < 6 || !startsWith(name, "fl") || !endsWith(name, "_max") ||
            contains(name, "_max_"))
            continue;
        if (const auto channel = leadingInteger(name.substr(2, name.size() - 6)))
            channels.push_back(*channel);
    }
    std::sort(channels.begin(), channels.end());
    return channels;
}

void MainWindow::refreshEmodulusDeformSources() {
    const DatasetEntry* entry = activeDataset();
    if (!entry || !entry->reader)
        return;
    m_calculationsWidget->updateDeformSources(false, entry->reader->hasFeature("deform_fc"),
                                              entry->reader->hasFeature("deform_odd"));
}

// ---- metadata tree -----------------------------------------------------------

void MainWindow::populateMetadataTree() {
    const DatasetEntry* entry = activeDataset();
    if (!entry)
        return;
    m_metadataTree->clear();
    const RTDCMetadata& metadata = entry->metadata;
    addMetadataSection(QStringLiteral("Experiment"), metadata.experiment);
    addMetadataSection(QStringLiteral("Setup"), metadata.setup);
    addMetadataSection(QStringLiteral("Imaging"), metadata.imaging);
    addMetadataSection(QStringLiteral("Online Contour"), metadata.onlineContour);
    addMetadataSection(QStringLiteral("Fluorescence"), metadata.fluorescence);
    addMetadataSection(QStringLiteral("Online Filter"), metadata.onlineFilter);
    addMetadataSection(QStringLiteral("Offline Filter"), metadata.offlineFilter);
    addMetadataSection(QStringLiteral("Export"), metadata.exportSection);

    static const std::string kKnownSections[] = {"experiment",     "setup",        "imaging",
                                                 "online_contour", "fluorescence", "online_filter",
                                                 "offline_filter", "export"};
    std::map<std::string, std::string> other;
    for (const auto& [name, value] : metadata.allAttributes) {
        const std::size_t colon = name.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string section = name.substr(0, colon);
        if (std::find(std::begin(kKnownSections), std::end(kKnownSections), section) ==
            std::end(kKnownSections))
            other.emplace(name, value);
    }
    addMetadataSection(QStringLiteral("Other"), other);

    m_metadataTree->expandAll();
    m_metadataTree->resizeColumnToContents(0);
}

void MainWindow::addMetadataSection(const QString& title,
                                    const std::map<std::string, std::string>& entries) {
    if (entries.empty())
        return;
    auto* section = new QTreeWidgetItem(m_metadataTree);
    section->setText(0, title);
    QFont font = section->font(0);
    font.setBold(true);
    section->setFont(0, font);
    for (const auto& [key, value] : entries) {
        auto* row = new QTreeWidgetItem(section);
        row->setText(0, utf8(key));
        row->setText(1, utf8(value));
    }
}

} // namespace Quorvex3
