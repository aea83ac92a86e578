// The dimension-reduction actions: fit a projection on one or all datasets,
// keep it as the session reference, save and load that reference, and apply
// it to datasets without refitting. The numeric work is DimRedJob's; here
// the datasets are chosen, the user asked and told, and the task run.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedJob.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/DialogProvider.h"
#include "util/FileNameUtil.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>

#include <memory>

namespace Quorvex3 {

namespace {

const QString kTitle = QStringLiteral("Dimension Reduction");

/// A target of a running task: the reader stays alive through its handle.
struct DimRedTargets {
    std::vector<std::shared_ptr<RTDCReader>> readers;
    std::vector<DimRedMatrix> matrices;
};

DimRedProgress postTo(QProgressBar* bar) {
    return [bar](int percent) {
        QMetaObject::invokeMethod(
            bar, [bar, percent] { bar->setValue(percent); }, Qt::QueuedConnection);
        return true;
    };
}

bool hasAll(const RTDCReader& reader, const std::vector<std::string>& features) {
    for (const std::string& f : features)
        if (!reader.hasFeature(f))
            return false;
    return true;
}

QString joined(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& n : names)
        list << QString::fromStdString(n);
    return list.join(QStringLiteral(", "));
}

} // namespace

void MainWindow::onComputeDimReduction() {
    DatasetEntry* active = usableActiveDataset();
    if (!active)
        return;
    if (m_calculationsWidget->dimRedFitScope() == 2) {
        computeDimReductionFromReference();
        return;
    }
    const std::vector<std::string> features = m_calculationsWidget->selectedDimRedFeatures();
    if (features.size() < 2)
        return;
    const int method = m_calculationsWidget->dimRedMethod();
    const bool pooled = m_calculationsWidget->dimRedFitScope() == 1;
    const bool applyAll = m_calculationsWidget->dimRedApplyScope() == 1;
    if (!active->reader || !hasAll(*active->reader, features)) {
        DialogProvider::current().warning(
            this, kTitle,
            QStringLiteral("The active dataset no longer has all of the selected features."),
            QMessageBox::Ok);
        return;
    }
    std::vector<DatasetEntry*> eligible;
    QStringList missing;
    for (const auto& e : datasets()) {
        if (!e->featuresLoaded || !e->reader)
            continue;
        if (hasAll(*e->reader, features))
            eligible.push_back(e.get());
        else
            missing << e->displayName;
    }
    const std::vector<DatasetEntry*> fitSet =
        pooled ? eligible : std::vector<DatasetEntry*>{active};
    const std::vector<DatasetEntry*> targetSet =
        applyAll ? eligible : std::vector<DatasetEntry*>{active};
    if ((pooled || applyAll) && !missing.isEmpty()) {
        const auto answer = DialogProvider::current().question(
            this, kTitle,
            QStringLiteral("These datasets lack one or more selected features and will be left "
                           "out:\n\n%1\n\nContinue?")
                .arg(missing.join(QStringLiteral(", "))),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes)
            return;
    }

    auto input = std::make_shared<DimRedFitInput>();
    input->method = method;
    input->features = features;
    input->training.cols = features.size();
    auto targets = std::make_shared<DimRedTargets>();
    for (DatasetEntry* t : targetSet) {
        targets->readers.push_back(t->reader);
        input->targets.push_back(buildEventMatrix(*t->reader, features));
    }
    QStringList fitNames;
    for (DatasetEntry* f : fitSet) {
        const size_t n = static_cast<size_t>(f->reader->getEventCount());
        const EventFilter filter = buildEffectiveFilter(f);
        std::vector<int> candidates;
        if (!filter.isEnabled() || filter.ruleCount() == 0) {
            candidates.resize(n);
            for (size_t i = 0; i < n; ++i)
                candidates[i] = static_cast<int>(i);
        } else {
            EventFilter::FeatureMap columns;
            for (const std::string& name : filter.requiredFeatures())
                if (f->reader->hasFeature(name))
                    columns[name] = &f->reader->readScalarFeature(name);
            candidates = filter.apply(columns, n);
        }
        // Training rows of a dataset that also receives coordinates are
        // tagged with its target number, so its fitted positions are kept.
        size_t tag = static_cast<size_t>(-1);
        for (size_t k = 0; k < targetSet.size(); ++k)
            if (targetSet[k] == f)
                tag = k;
        appendTrainingRows(*f->reader, features, candidates, tag, input->training,
                           input->provenance);
        fitNames << f->displayName;
    }
    if (input->training.rows < 3) {
        DialogProvider::current().warning(
            this, kTitle,
            QStringLiteral("Not enough events pass the filter with valid values in every "
                           "selected feature to fit a projection."),
            QMessageBox::Ok);
        return;
    }
    input->umap = m_calculationsWidget->umapParams();
    input->cluster.enabled = m_calculationsWidget->dimRedClusterEnabled();
    input->cluster.minPts = m_calculationsWidget->dimRedClusterMinPts();
    input->cluster.epsAuto = m_calculationsWidget->dimRedClusterEpsAuto();
    input->cluster.eps = m_calculationsWidget->dimRedClusterEps();
    m_calculationsWidget->setDimRedBusy(true);
    QProgressBar* bar = m_calculationsWidget->progressBar();
    auto result = std::make_shared<DimRedFitResult>();
    const int fitCount = static_cast<int>(fitSet.size());
    const UmapParams requested = input->umap;
    startCalcTask(
        [input, targets, result, bar] {
            *result = fitDimReduction(*input, postTo(bar));
            for (size_t k = 0; k < result->columns.size(); ++k)
                writeDimRedColumns(*targets->readers[k], std::move(result->columns[k]));
            result->columns.clear();
        },
        [this, result, method, fitCount, fitNames, requested] {
            m_calculationsWidget->setDimRedBusy(false);
            if (!result->model.valid) {
                DialogProvider::current().warning(
                    this, kTitle,
                    QStringLiteral("Could not fit a projection to the selected features."),
                    QMessageBox::Ok);
                return;
            }
            const QString created = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
            m_dimRedReference = std::make_shared<DimRedReference>(makeFittedReference(
                method, *result, fitNames.join(QStringLiteral(", ")).toStdString(),
                created.toStdString()));
            m_dimRedReferenceSource = QStringLiteral("the projection fitted in this session");
            m_calculationsWidget->setDimRedReferenceInfo(
                QStringLiteral("Fitted: ") +
                    QString::fromStdString(describeDimRedReference(*m_dimRedReference)),
                true);
            const bool clustered = result->cluster.valid;
            // An old "dr_cluster" was cleared too, so it counts as recomputed.
            refreshAfterCalculation([](const std::string& name) {
                return name == "dim_1" || name == "dim_2" || name == "dr_cluster";
            });
            QString text = QStringLiteral("Fitted on %1 events from %2 dataset(s).\n")
                               .arg(result->model.nTrain)
                               .arg(fitCount);
            if (method == 0) {
                text += QStringLiteral("Dimension 1 captures %1%, Dimension 2 %2% of the spread "
                                       "across the selected features.")
                            .arg(result->model.explained1 * 100.0, 0, 'f', 1)
                            .arg(result->model.explained2 * 100.0, 0, 'f', 1);
            } else {
                text += QStringLiteral(
                    "UMAP axes carry no units and no explained variance. Distances between "
                    "clusters, and their relative sizes, are not meaningful \u2014 only which "
                    "events group together is.");
                if (requested.init == 0 && result->umap.initUsed == 1)
                    text += QStringLiteral(
                        "\n\nSpectral initialisation was requested but could not be computed "
                        "for this neighbour graph, so the run started from a random layout "
                        "instead. The grouping is unaffected; the overall arrangement is "
                        "arbitrary.");
            }
            if (!result->model.degenerate.empty())
                text += QStringLiteral("\n\nConstant across the fit set and therefore ignored: ") +
                        joined(result->model.degenerate);
            if (clustered)
                text += QStringLiteral("\n\nLabelled %1 cluster(s) as \"DR cluster ID\"; "
                                       "unclustered events carry no id.")
                            .arg(result->cluster.clusterCount);
            else if (m_calculationsWidget->dimRedClusterEnabled())
                text += QStringLiteral("\n\nNo clusters were found with the chosen settings "
                                       "\u2014 try a larger radius or fewer minimum points.");
            DialogProvider::current().information(this, kTitle, text, QMessageBox::Ok);
        });
}

void MainWindow::computeDimReductionFromReference() {
    const std::shared_ptr<DimRedReference> reference = m_dimRedReference;
    DatasetEntry* active = activeDataset();
    if (!reference || !reference->present || !active || !active->featuresLoaded)
        return;
    const std::vector<std::string>& features = reference->model.features;
    std::vector<DatasetEntry*> targets;
    QStringList missing;
    if (m_calculationsWidget->dimRedApplyScope() == 1) {
        for (const auto& e : datasets()) {
            if (!e->featuresLoaded || !e->reader)
                continue;
            if (hasAll(*e->reader, features))
                targets.push_back(e.get());
            else
                missing << e->displayName;
        }
    } else if (active->reader && hasAll(*active->reader, features)) {
        targets.push_back(active);
    }
    if (targets.empty()) {
        DialogProvider::current().warning(
            this, kTitle,
            QStringLiteral("No loaded dataset has all of the reference's features:\n\n%1")
                .arg(joined(features)),
            QMessageBox::Ok);
        return;
    }
    if (!missing.isEmpty()) {
        const auto answer = DialogProvider::current().question(
            this, kTitle,
            QStringLiteral("These datasets lack one or more of the reference's features (%1) "
                           "and will be left out:\n\n%2\n\nContinue?")
                .arg(joined(features), missing.join(QStringLiteral(", "))),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes)
            return;
    }
    applyDimRedReferenceTo(reference, targets, m_dimRedReferenceSource);
}

void MainWindow::applyDimRedReferenceTo(std::shared_ptr<DimRedReference> reference,
                                        const std::vector<DatasetEntry*>& targets,
                                        const QString& source) {
    auto work = std::make_shared<DimRedTargets>();
    for (DatasetEntry* t : targets) {
        work->readers.push_back(t->reader);
        work->matrices.push_back(buildEventMatrix(*t->reader, reference->model.features));
    }
    m_calculationsWidget->setDimRedBusy(true);
    QProgressBar* bar = m_calculationsWidget->progressBar();
    const int count = static_cast<int>(targets.size());
    startCalcTask(
        [work, reference, bar] {
            std::vector<DimRedColumns> columns =
                applyDimRedReference(*reference, work->matrices, postTo(bar));
            for (size_t k = 0; k < columns.size(); ++k)
                writeDimRedColumns(*work->readers[k], std::move(columns[k]));
        },
        [this, reference, source, count] {
            m_calculationsWidget->setDimRedBusy(false);
            refreshAfterCalculation([](const std::string& name) {
                return name == "dim_1" || name == "dim_2" || name == "dr_cluster";
            });
            QString text = QStringLiteral("Applied %1 to %2 dataset(s) without refitting.\n\n%3")
                               .arg(source)
                               .arg(count)
                               .arg(QString::fromStdString(describeDimRedReference(*reference)));
            if (reference->kind == 1)
                text += QStringLiteral(
                    "\n\nEvents were placed into the reference's embedding by transforming "
                    "them against the events it was fitted on. A dataset that was part of the "
                    "original fit will land close to, but not exactly on, its fitted position.");
            if (reference->cluster.valid)
                text += QStringLiteral("\n\nEvents were assigned to the reference's %1 cluster(s) "
                                       "as \"DR cluster ID\", so the ids match across every "
                                       "dataset this reference is applied to.")
                            .arg(reference->cluster.clusterCount);
            if (!reference->model.degenerate.empty())
                text += QStringLiteral("\n\nConstant across the reference's fit set and "
                                       "therefore ignored: ") +
                        joined(reference->model.degenerate);
            DialogProvider::current().information(this, QStringLiteral("Apply Reference"), text,
                                                  QMessageBox::Ok);
        });
}

void MainWindow::onSaveDimRedReference() {
    if (!m_dimRedReference || !m_dimRedReference->present) {
        DialogProvider::current().information(
            this, QStringLiteral("Save Reference"),
            QStringLiteral(
                "Fit a dimension reduction first \u2014 there is no projection to save."),
            QMessageBox::Ok);
        return;
    }
    QString selected;
    QString path = DialogProvider::current().getSaveFileName(
        this, QStringLiteral("Save Dimension Reduction Reference"), QString(),
        QStringLiteral("Quorvex3 Dimension Reduction (*.qv3dr)"), &selected);
    if (path.isEmpty())
        return;
    path = ensureSelectedFilterExtension(path, selected);
    std::string error;
    if (!saveDimRedReference(path.toUtf8().toStdString(), *m_dimRedReference, error)) {
        DialogProvider::current().critical(this, QStringLiteral("Save Reference"),
                                           QStringLiteral("Failed to save the reference:\n") +
                                               QString::fromStdString(error),
                                           QMessageBox::Ok);
        return;
    }
    const double mb = static_cast<double>(QFileInfo(path).size()) / 1048576.0;
    m_infoLabel->setText(QStringLiteral("Saved dimension-reduction reference (%1 MB).")
                             .arg(mb, 0, 'f', mb >= 0.1 ? 1 : 3));
}

void MainWindow::onLoadDimRedReference() {
    if (calcBusy())
        return;
    const QString path = DialogProvider::current().getOpenFileName(
        this, QStringLiteral("Load Dimension Reduction Reference"), QString(),
        QStringLiteral("Quorvex3 Dimension Reduction (*.qv3dr);;All Files (*)"));
    if (path.isEmpty())
        return;
    auto reference = std::make_shared<DimRedReference>();
    std::string error;
    if (!loadDimRedReference(path.toUtf8().toStdString(), *reference, error)) {
        DialogProvider::current().critical(this, QStringLiteral("Load Reference"),
                                           QStringLiteral("Could not read this reference:\n") +
                                               QString::fromStdString(error),
                                           QMessageBox::Ok);
        return;
    }
    m_dimRedReference = reference;
    m_dimRedReferenceSource = QFileInfo(path).fileName();
    m_calculationsWidget->setDimRedReferenceInfo(
        QStringLiteral("Loaded: ") + QString::fromStdString(describeDimRedReference(*reference)),
        true);
    m_infoLabel->setText(QStringLiteral(
        "Loaded dimension-reduction reference \u2014 apply it with Fit on: Use reference."));
}

} // namespace Quorvex3
