// Derived-feature computations: the background task protocol shared by
// every compute action, and the per-dataset actions of the calculations
// dock. The dimension-reduction actions live in MainWindowDimReduction.cpp.
//
// A task never holds a dataset record: its work keeps each reader alive by
// its shared handle and reports per dataset id, and the finish step looks
// the records up by id, so a record gone meanwhile is simply skipped.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModInputs.h"
#include "calc/EModQualityDialog.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/CalcTaskRunner.h"
#include "util/DialogProvider.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

namespace Quorvex3 {

namespace {

/// One dataset of a running task: what the work needs and what it found.
struct CalcItem {
    int id = -1;
    std::shared_ptr<RTDCReader> reader;
    RTDCMetadata metadata;
    EModParams params;
    QString name;
    bool ok = false;
    QString error;
};
using CalcItems = std::vector<CalcItem>;

CalcItem itemFor(const DatasetEntry& entry) {
    CalcItem item;
    item.id = entry.id;
    item.reader = entry.reader;
    item.metadata = entry.metadata;
    item.name = entry.displayName;
    return item;
}

/// Posts "Dataset k of n" to the bar from the pool thread.
void postDatasetFormat(QProgressBar* bar, size_t k, size_t n) {
    const QString format = QStringLiteral("Dataset %1 of %2 \u2014 %p%").arg(k).arg(n);
    QMetaObject::invokeMethod(
        bar, [bar, format] { bar->setFormat(format); }, Qt::QueuedConnection);
}

/// Runs `run` on each item in turn, announcing the dataset in all-datasets mode.
template <typename Run> void runEach(CalcItems& items, bool allMode, QProgressBar* bar, Run run) {
    for (size_t k = 0; k < items.size(); ++k) {
        if (allMode)
            postDatasetFormat(bar, k + 1, items.size());
        items[k].ok = run(items[k]);
    }
}

const std::set<std::string>& imageFeatureNameSet() {
    static const std::set<std::string> names = [] {
        const auto list = imageFeatureNames();
        return std::set<std::string>(list.begin(), list.end());
    }();
    return names;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

void MainWindow::createCalcTaskRunner() {
    CalcTaskRunner::Hooks hooks;
    hooks.started = [this] {
        QProgressBar* progress = m_calculationsWidget->progressBar();
        progress->setValue(0);
        progress->setFormat(QStringLiteral("%p%"));
        progress->show();
    };
    hooks.progress = [this](int percent) {
        m_calculationsWidget->progressBar()->setValue(percent);
    };
    hooks.ended = [this] { onCalcFinished(); };
    m_calcRunner = std::make_unique<CalcTaskRunner>(std::move(hooks));
}

void MainWindow::startCalcTask(std::function<void()> work, std::function<void()> done) {
    m_calcRunner->start([work = std::move(work)](CalcTaskControl&) { work(); }, std::move(done));
}

bool MainWindow::calcBusy() const {
    return m_calcRunner && m_calcRunner->busy();
}

bool MainWindow::refuseWhileCalculating(const QString& title) {
    if (!calcBusy())
        return false;
    DialogProvider::current().warning(
        this, title, QStringLiteral("A calculation is running. Please wait until it has finished."),
        QMessageBox::Ok);
    return true;
}

void MainWindow::onCalcFinished() {
    // The runner runs the task's own finish step right after this.
    m_calculationsWidget->progressBar()->hide();
}

void MainWindow::refreshAfterCalculation(std::function<bool(const std::string&)> recomputed) {
    m_zoomResetPredicate = std::move(recomputed);
    refreshFeaturesAndPlot();
    m_combinePlotWindows.broadcast([](CombinePlotWindow* window) { window->refresh(); });
    m_statisticalEvalWindows.broadcast(
        [](StatisticalEvalWindow* window) { window->onFeaturesChanged(); });
    scheduleRetiredColumnRelease();
}

void MainWindow::scheduleRetiredColumnRelease() {
    // Views read columns by reference; the plot refresh asked for above runs
    // from the event loop, so the old columns go only after it, and only
    // while no task reads a column on the pool.
    QTimer::singleShot(0, this, [this] {
        if (calcBusy())
            return;
        flushPlotRequests();
        for (const auto& entry : datasets())
            if (entry->reader)
                entry->reader->releaseRetiredColumns();
    });
}

DatasetEntry* MainWindow::usableActiveDataset() const {
    DatasetEntry* active = activeDataset();
    if (!active || !active->featuresLoaded || calcBusy())
        return nullptr;
    return active;
}

void MainWindow::reportCalcErrors(const QString& title, const std::vector<QString>& errors) {
    if (errors.empty())
        return;
    QStringList lines;
    for (const QString& e : errors)
        if (!lines.contains(e))
            lines << e;
    DialogProvider::current().warning(this, title, lines.join(QStringLiteral("\n")),
                                      QMessageBox::Ok);
}

void MainWindow::onRefineFluorescence() {
    DatasetEntry* active = usableActiveDataset();
    if (!active)
        return;
    const bool allMode = m_calculationsWidget->isRefineAllChecked();
    const FLRefineSettings settings = m_calculationsWidget->readRefineSettings();
    auto items = std::make_shared<CalcItems>();
    if (!allMode) {
        if (active->reader)
            items->push_back(itemFor(*active));
    } else {
        for (const auto& e : datasets())
            if (e->featuresLoaded && e->reader && e->reader->hasTraces())
                items->push_back(itemFor(*e));
    }
    m_calculationsWidget->setRefineEnabled(false);
    QProgressBar* bar = m_calculationsWidget->progressBar();
    disconnect(m_flRefinement, nullptr, this, nullptr);
    connect(m_flRefinement, &FLRefinement::progressChanged, bar, &QProgressBar::setValue);
    FLRefinement* component = m_flRefinement;
    startCalcTask(
        [items, allMode, bar, component, settings] {
            runEach(*items, allMode, bar, [&](CalcItem& item) {
                return component->run(item.reader.get(), item.metadata, settings);
            });
        },
        [this, items] {
            m_calculationsWidget->setRefineEnabled(true);
            for (const CalcItem& item : *items)
                if (DatasetEntry* e = findDatasetById(item.id); e && item.ok)
                    e->flRefinementApplied = true;
            configureTracePlot();
            refreshAfterCalculation([](const std::string& name) { return endsWith(name, "_rf"); });
            if (DatasetEntry* e = activeDataset(); e && e->currentEventIndex >= 0)
                displayEventTrace(e->currentEventIndex);
        });
}

void MainWindow::onCompensateCrosstalk() {
    DatasetEntry* active = usableActiveDataset();
    if (!active)
        return;
    const std::vector<int> channels = getActiveFlChannels(active->reader.get());
    if (channels.size() < 2)
        return;
    const arma::Mat<double> matrix = m_calculationsWidget->readSpilloverMatrix();
    const bool allMode = m_calculationsWidget->isCompensateAllChecked();
    auto items = std::make_shared<CalcItems>();
    if (!allMode) {
        items->push_back(itemFor(*active));
    } else {
        for (const auto& e : datasets())
            if (e->featuresLoaded && e->reader)
                items->push_back(itemFor(*e));
    }
    m_calculationsWidget->setCompensateEnabled(false);
    QProgressBar* bar = m_calculationsWidget->progressBar();
    disconnect(m_flCompensation, nullptr, this, nullptr);
    connect(m_flCompensation, &FLCompensation::progressChanged, bar, &QProgressBar::setValue);
    FLCompensation* component = m_flCompensation;
    startCalcTask(
        [items, allMode, bar, component, channels, matrix] {
            runEach(*items, allMode, bar, [&](CalcItem& item) {
                // Another channel set would misread the matrix: skipped.
                if (allMode && getActiveFlChannels(item.reader.get()) != channels)
                    return false;
                return component->run(item.reader.get(), channels, matrix);
            });
        },
        [this, items, channels, matrix] {
            m_calculationsWidget->setCompensateEnabled(true);
            for (const CalcItem& item : *items)
                if (DatasetEntry* e = findDatasetById(item.id); e && item.ok) {
                    e->ctcApplied = true;
                    e->ctcChannels = channels;
                    e->spilloverMatrix = matrix;
                }
            refreshAfterCalculation(
                [](const std::string& name) { return endsWith(name, "_max_ctc"); });
        });
}

EModParams MainWindow::emodulusParamsForActive(const DatasetEntry& entry) const {
    EModParams params = m_calculationsWidget->readEmodulusParams();
    // Only a positive metadata temperature counts: a recorder writes 0 when
    // it measured none (the same rule as a restored computation).
    applyMetadataTemperature(params, entry.metadata);
    fillMissingConditions(params);
    return params;
}

bool MainWindow::refreshEmodulusAvailability(const DatasetEntry& entry) {
    const RTDCReader* reader = entry.reader.get();
    const std::string reason =
        reader ? emodUnavailableReason(entry.metadata, reader->hasFeature("area_um"),
                                       reader->hasFeature("deform"))
               : std::string("Not available: the dataset is not loaded.");
    m_calculationsWidget->setEmodulusEnabled(reason.empty());
    m_calculationsWidget->setEmodulusUnavailableReason(QString::fromStdString(reason));
    return reason.empty();
}

QString MainWindow::isolineTableProblem() const {
    m_emodulus->buildTriangulation(0);
    if (m_emodulus->triangulation(0))
        return {};
    const QString reason = m_emodulus->lutError(0);
    return reason.isEmpty() ? QStringLiteral("The Young's modulus look-up table was not found.")
                            : reason;
}

void MainWindow::onComputeEmodulus() {
    DatasetEntry* active = usableActiveDataset();
    if (!active)
        return;
    const bool allMode = m_calculationsWidget->isEmodulusAllChecked();
    auto items = std::make_shared<CalcItems>();
    if (!allMode) {
        if (isReservoirMeasurement(active->metadata)) {
            refreshEmodulusAvailability(*active);
            return;
        }
        if (!active->reader)
            return;
        CalcItem item = itemFor(*active);
        item.params = emodulusParamsForActive(*active);
        items->push_back(std::move(item));
    } else {
        const std::string chosen = m_calculationsWidget->selectedDeformFeature();
        for (const auto& e : datasets()) {
            if (!e->featuresLoaded || !e->reader || isReservoirMeasurement(e->metadata))
                continue;
            const std::string deform =
                chosen == "deform" || e->reader->hasFeature(chosen) ? chosen : "deform";
            if (!e->reader->hasFeature("area_um") || !e->reader->hasFeature(deform))
                continue;
            CalcItem item = itemFor(*e);
            item.params = m_calculationsWidget->buildParamsForDataset(
                e->metadata, e->reader->hasFeature("temp"));
            item.params.deformFeature = deform;
            item.params.pixelationCorrection = deform == "deform";
            fillMissingConditions(item.params);
            items->push_back(std::move(item));
        }
    }
    m_calculationsWidget->setEmodulusEnabled(false);
    QProgressBar* bar = m_calculationsWidget->progressBar();
    disconnect(m_emodulus, nullptr, this, nullptr);
    connect(m_emodulus, &EModulus::progressChanged, bar, &QProgressBar::setValue);
    EModulus* component = m_emodulus;
    startCalcTask(
        [items, allMode, bar, component] {
            runEach(*items, allMode, bar, [&](CalcItem& item) {
                return component->run(item.reader.get(), item.params, &item.error);
            });
        },
        [this, items] {
            std::vector<QString> errors;
            QStringList defaults;
            for (const CalcItem& item : *items) {
                if (DatasetEntry* e = findDatasetById(item.id); e && item.ok) {
                    e->emodApplied = true;
                    e->emodParams = item.params;
                }
                if (!item.ok && !item.error.isEmpty())
                    errors.push_back(items->size() > 1
                                         ? item.name + QStringLiteral(": ") + item.error
                                         : item.error);
                QStringList taken;
                if (item.ok)
                    for (const std::string& value : emodDefaultsTaken(item.metadata, item.params))
                        taken << QString::fromStdString(value);
                if (!taken.isEmpty())
                    defaults << item.name + QStringLiteral(": ") + taken.join(QStringLiteral(", "));
            }
            if (!defaults.isEmpty()) {
                if (!errors.empty())
                    errors.push_back(QString());
                errors.push_back(QStringLiteral("Computed with default values where the "
                                                "metadata gives no usable value:"));
                for (const QString& line : defaults)
                    errors.push_back(line);
            }
            DatasetEntry* shown = activeDataset();
            if (shown)
                refreshEmodulusAvailability(*shown);
            else
                m_calculationsWidget->setEmodulusEnabled(false);
            m_calculationsWidget->setAssessQualityVisible(shown && shown->emodApplied);
            refreshAfterCalculation([](const std::string& name) { return name == "emodulus"; });
            // A missing table, unusable conditions and the defaults taken
            // for missing ones are the user's to know, in one box.
            reportCalcErrors(QStringLiteral("Young's Modulus"), errors);
        });
}

void MainWindow::onAssessEmodQuality() {
    DatasetEntry* active = activeDataset();
    if (!active || !active->featuresLoaded || !active->emodApplied || !active->reader)
        return;
    // The running task may be replacing the very columns the report reads.
    if (refuseWhileCalculating(QStringLiteral("Assess Quality")))
        return;
    const EModParams params = emodulusParamsForActive(*active);
    RTDCReader* reader = active->reader.get();
    const size_t n = static_cast<size_t>(reader->getEventCount());
    std::vector<int> indices;
    if (m_calculationsWidget->isUseFilteredDataChecked() && active->filter.isEnabled()) {
        const EventFilter effective = buildEffectiveFilter(active);
        EventFilter filter;
        filter.setEnabled(true);
        filter.setCombineMode(effective.combineMode());
        for (const FilterRule& rule : effective.rules()) {
            if (!rule.enabled || rule.featureName == "emodulus" ||
                (rule.type == 1 && rule.featureNameY == "emodulus"))
                continue;
            filter.addRule(rule);
        }
        EventFilter::FeatureMap columns;
        for (const std::string& name : filter.requiredFeatures())
            columns[name] = &reader->readScalarFeature(name);
        indices = filter.apply(columns, n);
    } else {
        indices.resize(n);
        for (size_t i = 0; i < n; ++i)
            indices[i] = static_cast<int>(i);
    }
    const EModulus::QualityReport report = m_emodulus->assessQuality(reader, params, indices);
    auto* dialog = new EModQualityDialog(report, active->displayName, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MainWindow::onComputeFourierDeform() {
    DatasetEntry* active = usableActiveDataset();
    if (!active)
        return;
    const bool allMode = m_calculationsWidget->isFourierAllChecked();
    auto items = std::make_shared<CalcItems>();
    if (!allMode) {
        if (active->reader && active->reader->hasMasks())
            items->push_back(itemFor(*active));
    } else {
        for (const auto& e : datasets())
            if (e->featuresLoaded && e->reader && e->reader->hasMasks())
                items->push_back(itemFor(*e));
    }
    if (items->empty()) {
        DialogProvider::current().warning(
            this, QStringLiteral("Fourier Deformation"),
            allMode ? QStringLiteral("No loaded dataset has segmentation masks.")
                    : QStringLiteral("This dataset has no segmentation masks."),
            QMessageBox::Ok);
        return;
    }
    m_calculationsWidget->setFourierEnabled(false);
    QProgressBar* bar = m_calculationsWidget->progressBar();
    disconnect(m_fourierDeform, nullptr, this, nullptr);
    connect(m_fourierDeform, &FourierDeform::progressChanged, bar, &QProgressBar::setValue);
    FourierDeform* component = m_fourierDeform;
    startCalcTask(
        [items, allMode, bar, component] {
            runEach(*items, allMode, bar,
                    [&](CalcItem& item) { return component->run(item.reader.get()); });
        },
        [this, items] {
            m_calculationsWidget->setFourierEnabled(true);
            for (const CalcItem& item : *items)
                if (DatasetEntry* e = findDatasetById(item.id); e && item.ok)
                    e->fcDeformApplied = true;
            refreshEmodulusDeformSources();
            refreshAfterCalculation([](const std::string& name) {
                return name == "deform_fc" || name == "deform_odd" || name == "deform_even";
            });
        });
}

void MainWindow::onComputeImageFeatures() {
    DatasetEntry* active = usableActiveDataset();
    if (!active)
        return;
    const bool allMode = m_calculationsWidget->isImageFeaturesAllChecked();
    auto items = std::make_shared<CalcItems>();
    auto usable = [](const DatasetEntry& e) {
        return e.reader && e.reader->hasImages() && e.reader->hasMasks();
    };
    if (!allMode) {
        if (usable(*active))
            items->push_back(itemFor(*active));
    } else {
        for (const auto& e : datasets())
            if (e->featuresLoaded && usable(*e))
                items->push_back(itemFor(*e));
    }
    if (items->empty()) {
        DialogProvider::current().warning(
            this, QStringLiteral("Image Features"),
            allMode ? QStringLiteral("No loaded dataset has both images and segmentation masks.")
                    : QStringLiteral("This dataset has no images and/or segmentation masks."),
            QMessageBox::Ok);
        return;
    }
    m_calculationsWidget->setImageFeaturesEnabled(false);
    QProgressBar* bar = m_calculationsWidget->progressBar();
    disconnect(m_imageFeatures, nullptr, this, nullptr);
    connect(m_imageFeatures, &ImageFeatures::progressChanged, bar, &QProgressBar::setValue);
    ImageFeatures* component = m_imageFeatures;
    startCalcTask(
        [items, allMode, bar, component] {
            runEach(*items, allMode, bar,
                    [&](CalcItem& item) { return component->run(item.reader.get()); });
        },
        [this, items] {
            m_calculationsWidget->setImageFeaturesEnabled(true);
            for (const CalcItem& item : *items)
                if (DatasetEntry* e = findDatasetById(item.id); e && item.ok)
                    e->imageFeaturesApplied = true;
            refreshAfterCalculation(
                [](const std::string& name) { return imageFeatureNameSet().count(name) > 0; });
        });
}

} // namespace Quorvex3
