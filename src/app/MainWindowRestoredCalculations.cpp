// Derived features a dataset had but its reader lacks (a restored session):
// redone for every dataset as one background task when a session load
// ends, and for the shown dataset when it is first shown. Either way they
// never run beside another calculation, which may be using the same
// computation objects.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModInputs.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "core/RTDCReader.h"
#include "util/CalcTaskRunner.h"

#include <QProgressBar>
#include <QStringList>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace Quorvex3 {

namespace {

/// The refinement a restored dataset is given again: the dock's starting
/// values, written out so a change of the dock's defaults does not change
/// what a saved session gets back.
FLRefineSettings restoredRefineSettings() {
    FLRefineSettings settings;
    settings.hampel1Enabled = true;
    settings.hampel1K = 5;
    settings.hampel1Threshold = 3.0f;
    settings.hampel2Enabled = true;
    settings.hampel2K = 11;
    settings.hampel2Threshold = 3.0f;
    settings.medianEnabled = false;
    settings.medianK = 3;
    settings.rollingAvgEnabled = false;
    settings.rollingAvgK = 3;
    settings.savgolEnabled = true;
    settings.savgolK = 3;
    settings.flMaxThreshold = 400.0;
    return settings;
}

bool hasCalculatedRefinedFeature(const RTDCReader& reader) {
    const std::string suffix = "_rf";
    for (const std::string& name : reader.getAvailableFeatures()) {
        if (name.size() >= 8 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            reader.isCalculatedFeature(name))
            return true;
    }
    return false;
}

bool hasCalculatedCompensation(const RTDCReader& reader, const std::vector<int>& channels) {
    return std::any_of(channels.begin(), channels.end(), [&reader](int channel) {
        return reader.isCalculatedFeature("fl" + std::to_string(channel) + "_max_ctc");
    });
}

QString channelList(const std::vector<int>& channels) {
    QStringList numbers;
    for (const int channel : channels)
        numbers << QString::number(channel);
    return numbers.isEmpty() ? QStringLiteral("none") : numbers.join(QStringLiteral(", "));
}

} // namespace

/// The applied computations of one dataset, with everything their work
/// needs copied out of the record, so the work may run on the pool.
struct RestoredComputations {
    int id = -1;
    QString name;
    std::shared_ptr<RTDCReader> reader;
    RTDCMetadata metadata;
    bool refine = false;
    bool compensate = false;
    std::vector<int> channels;
    arma::Mat<double> matrix;
    bool fourier = false;
    bool emodulus = false;
    EModParams emodParams;
    bool imageFeatures = false;
    /// One text per applied computation that cannot be redone since the
    /// measurement lacks what it needs ("image features could not be
    /// computed again: ..."); those are not attempted.
    std::vector<QString> unavailable;

    /// How many of the computations are still to do on the reader as it is
    /// now (the modulus may wait for the Fourier deformation it reads).
    int missing() const {
        if (!reader)
            return 0;
        const RTDCReader& r = *reader;
        int count = 0;
        count += refine && !hasCalculatedRefinedFeature(r) ? 1 : 0;
        count += compensate && !hasCalculatedCompensation(r, channels) ? 1 : 0;
        count += fourier && !r.isCalculatedFeature("deform_fc") ? 1 : 0;
        count += emodulus && !r.isCalculatedFeature("emodulus") ? 1 : 0;
        count += imageFeatures && !r.isCalculatedFeature(imageFeatureNames().front()) ? 1 : 0;
        return count;
    }
};

namespace {

// An applied computation the dataset's measurement cannot give again would
// otherwise just be missing after the load, as if it had never been made.
std::vector<QString> unavailableComputations(const DatasetEntry& entry,
                                             const RestoredComputations& job) {
    std::vector<QString> lines;
    const auto cannot = [&lines](const char* what, const QString& why) {
        lines.push_back(QLatin1String(what) + QStringLiteral(" could not be computed again: ") +
                        why);
    };
    const RTDCReader& reader = *job.reader;
    if (entry.flRefinementApplied && !job.refine)
        cannot("fluorescence peak refinement",
               QStringLiteral("the measurement has no fluorescence channels"));
    if (entry.ctcApplied && !job.compensate)
        cannot("crosstalk compensation",
               QStringLiteral("it was made for the fluorescence channels %1, the measurement "
                              "has %2")
                   .arg(channelList(entry.ctcChannels), channelList(job.channels)));
    if (entry.fcDeformApplied && !job.fourier)
        cannot("Fourier deformation", QStringLiteral("the measurement has no segmentation masks"));
    if (entry.emodApplied && !job.emodulus) {
        const char* missing = !reader.hasFeature("area_um") ? "area_um" : "deform";
        cannot("Young's modulus", isReservoirMeasurement(entry.metadata)
                                      ? QStringLiteral("the measurement was taken in the reservoir")
                                      : QStringLiteral("the measurement has no \"%1\" feature")
                                            .arg(QLatin1String(missing)));
    }
    if (entry.imageFeaturesApplied && !job.imageFeatures)
        cannot("image features",
               QStringLiteral("the measurement has no images and/or segmentation masks"));
    return lines;
}

} // namespace

RestoredComputations MainWindow::restoredComputationsOf(const DatasetEntry& entry) const {
    RestoredComputations job;
    job.id = entry.id;
    job.name = entry.displayName;
    job.reader = entry.reader;
    job.metadata = entry.metadata;
    RTDCReader* reader = entry.reader.get();
    if (!reader)
        return job;
    job.channels = getActiveFlChannels(reader);
    job.refine = !job.channels.empty() && entry.flRefinementApplied;
    job.compensate = job.channels.size() >= 2 && entry.ctcApplied &&
                     entry.ctcChannels == job.channels &&
                     entry.spilloverMatrix.value().n_rows == job.channels.size();
    if (job.compensate)
        job.matrix = entry.spilloverMatrix.value();
    job.fourier = reader->hasMasks() && entry.fcDeformApplied;
    job.emodulus = entry.emodApplied && !isReservoirMeasurement(entry.metadata) &&
                   reader->hasFeature("area_um") && reader->hasFeature("deform");
    if (job.emodulus) {
        // The computation's own rule: only a temperature above 0 °C replaces
        // the stored one (a recorder writes 0 when it measured none).
        job.emodParams = entry.emodParams;
        applyMetadataTemperature(job.emodParams, entry.metadata);
    }
    job.imageFeatures = reader->hasImages() && reader->hasMasks() && entry.imageFeaturesApplied &&
                        !imageFeatureNames().empty();
    job.unavailable = unavailableComputations(entry, job);
    return job;
}

std::vector<QString> MainWindow::runRestoredComputations(const RestoredComputations& job,
                                                         const std::function<void()>& stepDone) {
    std::vector<QString> failures;
    RTDCReader* reader = job.reader.get();
    if (!reader)
        return failures;
    const auto attempt = [&](bool wanted, bool present, const QString& what, auto run) {
        if (!wanted || present)
            return;
        QString error;
        bool ok = false;
        try {
            ok = run(&error);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        } catch (...) {
            error = QStringLiteral("unexpected error");
        }
        if (!ok)
            failures.push_back(what + QStringLiteral(" could not be computed again") +
                               (error.isEmpty() ? QString() : QStringLiteral(": ") + error));
        if (stepDone)
            stepDone();
    };
    // In this order: the modulus may read the Fourier deformation.
    attempt(job.refine, hasCalculatedRefinedFeature(*reader),
            QStringLiteral("fluorescence peak refinement"), [&](QString*) {
                return m_flRefinement->run(reader, job.metadata, restoredRefineSettings());
            });
    attempt(job.compensate, hasCalculatedCompensation(*reader, job.channels),
            QStringLiteral("crosstalk compensation"),
            [&](QString*) { return m_flCompensation->run(reader, job.channels, job.matrix); });
    attempt(job.fourier, reader->isCalculatedFeature("deform_fc"),
            QStringLiteral("Fourier deformation"),
            [&](QString*) { return m_fourierDeform->run(reader); });
    if (job.emodulus && !reader->isCalculatedFeature("emodulus") &&
        !reader->hasFeature(job.emodParams.deformFeature)) {
        failures.push_back(
            QStringLiteral("Young's modulus could not be computed again: no feature \"%1\"")
                .arg(QString::fromStdString(job.emodParams.deformFeature)));
        if (stepDone)
            stepDone();
    } else {
        attempt(job.emodulus, reader->isCalculatedFeature("emodulus"),
                QStringLiteral("Young's modulus"),
                [&](QString* error) { return m_emodulus->run(reader, job.emodParams, error); });
    }
    attempt(job.imageFeatures,
            job.imageFeatures && reader->isCalculatedFeature(imageFeatureNames().front()),
            QStringLiteral("image features"),
            [&](QString*) { return m_imageFeatures->run(reader); });
    return failures;
}

void MainWindow::redoRestoredComputations(DatasetEntry& entry) {
    const RestoredComputations job = restoredComputationsOf(entry);
    if (job.missing() == 0)
        return;
    if (calcBusy()) {
        // The running task may be using the same computation objects: the
        // dataset is shown again once it has finished, which redoes them.
        const int id = entry.id;
        m_calcRunner->whenIdle([this, id] {
            const DatasetEntry* active = activeDataset();
            if (active && active->id == id)
                refreshUIForActiveDataset();
        });
        return;
    }
    for (const QString& failure : runRestoredComputations(job, {}))
        qWarning("%s: %s", qUtf8Printable(job.name), qUtf8Printable(failure));
}

void MainWindow::redoSessionComputations(
    std::function<void(const std::vector<QString>& failures)> then) {
    if (calcBusy()) {
        m_calcRunner->whenIdle(
            [this, then = std::move(then)]() mutable { redoSessionComputations(std::move(then)); });
        return;
    }
    auto jobs = std::make_shared<std::vector<RestoredComputations>>();
    auto failures = std::make_shared<std::vector<QString>>();
    int steps = 0;
    for (const auto& entry : datasets()) {
        if (!entry || !entry->featuresLoaded)
            continue;
        RestoredComputations job = restoredComputationsOf(*entry);
        for (const QString& line : job.unavailable)
            failures->push_back(job.name + QStringLiteral(": ") + line);
        if (const int missing = job.missing(); missing > 0) {
            steps += missing;
            jobs->push_back(std::move(job));
        }
    }
    if (jobs->empty()) {
        then(*failures);
        return;
    }
    QProgressBar* bar = m_calculationsWidget->progressBar();
    // Progress counts whole computations; the objects' own reports would
    // restart the bar for each of them.
    for (QObject* component : std::initializer_list<QObject*>{
             m_flRefinement, m_flCompensation, m_fourierDeform, m_emodulus, m_imageFeatures})
        QObject::disconnect(component, nullptr, bar, nullptr);
    m_calcRunner->start(
        [this, jobs, failures, bar, steps](CalcTaskControl& control) {
            int done = 0;
            for (std::size_t k = 0; k < jobs->size(); ++k) {
                const QString format =
                    QStringLiteral("Dataset %1 of %2 \u2014 %p%").arg(k + 1).arg(jobs->size());
                QMetaObject::invokeMethod(
                    bar, [bar, format] { bar->setFormat(format); }, Qt::QueuedConnection);
                const RestoredComputations& job = (*jobs)[k];
                for (const QString& failure : runRestoredComputations(
                         job, [&] { control.progress(++done * 100 / std::max(steps, 1)); }))
                    failures->push_back(job.name + QStringLiteral(": ") + failure);
            }
        },
        [failures, then = std::move(then)] { then(*failures); });
}

} // namespace Quorvex3
