// Fit and apply of a two-dimensional embedding over matrices that were read
// from measurements beforehand, so the pool thread never walks the dataset
// list of the window.
#include "dimred/DimRedJob.h"

#include "core/RTDCReader.h"
#include "dimred/RobustScaling.h"

#include <cmath>
#include <limits>
#include <map>

namespace Quorvex3 {

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

void post(const DimRedProgress& progress, int percent) {
    if (progress)
        progress(percent);
}

bool rowFinite(const DimRedMatrix& m, size_t row) {
    for (size_t j = 0; j < m.cols; ++j)
        if (!std::isfinite(m.data[row * m.cols + j]))
            return false;
    return true;
}

/// Cluster ids of every target from its columns; empty lists when the
/// model is not valid.
void labelTargets(const DimRedClusterModel& cluster, std::vector<DimRedColumns>& columns) {
    if (!cluster.valid)
        return;
    for (DimRedColumns& c : columns)
        assignClusters(cluster, c.x, c.y, c.cluster);
}

} // namespace

std::shared_ptr<UmapModel> makeUmapModel() {
    auto model = std::make_shared<UmapModel>();
    model->initUsed = 1;
    model->valid = false;
    return model;
}

void appendTrainingRows(RTDCReader& reader, const std::vector<std::string>& features,
                        const std::vector<int>& candidates, size_t tag, DimRedMatrix& training,
                        std::vector<std::pair<size_t, size_t>>& provenance) {
    // Shared handles: a column replaced meanwhile by another computation
    // stays alive for this read.
    std::vector<std::shared_ptr<const std::vector<double>>> columns;
    for (const std::string& name : features)
        columns.push_back(reader.featureColumn(name));
    for (int candidate : candidates) {
        if (candidate < 0)
            continue;
        const size_t i = static_cast<size_t>(candidate);
        bool usable = true;
        for (const auto& column : columns)
            if (!column || column->size() <= i || !std::isfinite((*column)[i])) {
                usable = false;
                break;
            }
        if (!usable)
            continue;
        for (const auto& column : columns)
            training.data.push_back((*column)[i]);
        ++training.rows;
        provenance.emplace_back(tag, i);
    }
}

DimRedMatrix buildEventMatrix(RTDCReader& reader, const std::vector<std::string>& features) {
    const size_t n = static_cast<size_t>(reader.getEventCount());
    DimRedMatrix m;
    m.rows = n;
    m.cols = features.size();
    m.data.assign(n * m.cols, kNaN);
    for (size_t j = 0; j < features.size(); ++j) {
        const auto column = reader.featureColumn(features[j]);
        if (!column)
            continue;
        const size_t have = std::min(n, column->size());
        for (size_t i = 0; i < have; ++i)
            m.data[i * m.cols + j] = (*column)[i];
    }
    return m;
}

DimRedFitResult fitDimReduction(const DimRedFitInput& input, const DimRedProgress& progress) {
    DimRedFitResult result;
    result.umap = *makeUmapModel();
    const size_t count = input.targets.size() < 2 ? 1 : input.targets.size();
    std::vector<double> trainX, trainY;
    if (input.method == 0) {
        result.model = fitPca(input.training, input.features);
        if (!result.model.valid)
            return result;
        post(progress, 45);
        for (size_t k = 0; k < input.targets.size(); ++k) {
            DimRedColumns c;
            projectOnto(result.model, input.targets[k], c.x, c.y);
            result.columns.push_back(std::move(c));
            post(progress, static_cast<int>(45 + (40 * (k + 1)) / count));
        }
        projectOnto(result.model, input.training, trainX, trainY);
    } else {
        const RobustScaling scaling = fitScaling(input.training, input.features);
        const DimRedMatrix scaled = applyScaling(scaling, input.training);
        result.umap = umapFit(scaled, input.umap, [&progress](int p) {
            post(progress, (p * 60) / 100);
            return true;
        });
        if (!result.umap.valid)
            return result;
        std::map<std::pair<size_t, size_t>, size_t> trainingRow;
        for (size_t r = 0; r < input.provenance.size(); ++r)
            trainingRow.emplace(input.provenance[r], r);
        for (size_t k = 0; k < input.targets.size(); ++k) {
            const DimRedMatrix& target = input.targets[k];
            DimRedColumns c;
            c.x.assign(target.rows, kNaN);
            c.y.assign(target.rows, kNaN);
            DimRedMatrix queued;
            queued.cols = target.cols;
            std::vector<size_t> queuedEvents;
            for (size_t i = 0; i < target.rows; ++i) {
                const auto found = trainingRow.find({k, i});
                if (found != trainingRow.end()) {
                    c.x[i] = result.umap.embedding[2 * found->second];
                    c.y[i] = result.umap.embedding[2 * found->second + 1];
                } else if (rowFinite(target, i)) {
                    queued.data.insert(queued.data.end(), target.data.begin() + i * target.cols,
                                       target.data.begin() + (i + 1) * target.cols);
                    ++queued.rows;
                    queuedEvents.push_back(i);
                }
            }
            if (queued.rows > 0) {
                std::vector<double> out;
                umapTransform(result.umap, applyScaling(scaling, queued), out, DimRedProgress());
                for (size_t q = 0; q < queuedEvents.size() && 2 * q + 1 < out.size(); ++q) {
                    c.x[queuedEvents[q]] = out[2 * q];
                    c.y[queuedEvents[q]] = out[2 * q + 1];
                }
            }
            result.columns.push_back(std::move(c));
            post(progress, static_cast<int>(60 + (25 * (k + 1)) / count));
        }
        result.model.features = input.features;
        result.model.centre = scaling.centre;
        result.model.scale = scaling.scale;
        result.model.degenerate = scaling.degenerate;
        result.model.nTrain = input.training.rows;
        result.model.valid = true;
        for (size_t r = 0; r < result.umap.nTrain; ++r) {
            trainX.push_back(result.umap.embedding[2 * r]);
            trainY.push_back(result.umap.embedding[2 * r + 1]);
        }
    }
    if (input.cluster.enabled && !trainX.empty()) {
        std::vector<double> points;
        points.reserve(2 * trainX.size());
        for (size_t r = 0; r < trainX.size(); ++r) {
            points.push_back(trainX[r]);
            points.push_back(trainY[r]);
        }
        const double eps = input.cluster.epsAuto
                               ? suggestEps(points, trainX.size(), input.cluster.minPts)
                               : input.cluster.eps;
        result.cluster = buildClusterModel(trainX, trainY, eps, input.cluster.minPts);
        labelTargets(result.cluster, result.columns);
    }
    post(progress, 100);
    return result;
}

std::vector<DimRedColumns> applyDimRedReference(const DimRedReference& reference,
                                                const std::vector<DimRedMatrix>& targets,
                                                const DimRedProgress& progress) {
    std::vector<DimRedColumns> columns;
    const size_t total = targets.size() < 2 ? 1 : targets.size();
    RobustScaling scaling;
    scaling.centre = reference.model.centre;
    scaling.scale = reference.model.scale;
    for (size_t k = 0; k < targets.size(); ++k) {
        const DimRedMatrix& target = targets[k];
        DimRedColumns c;
        if (reference.kind == 0) {
            projectOnto(reference.model, target, c.x, c.y);
        } else {
            c.x.assign(target.rows, kNaN);
            c.y.assign(target.rows, kNaN);
            DimRedMatrix gathered;
            gathered.cols = target.cols;
            std::vector<size_t> events;
            for (size_t i = 0; i < target.rows; ++i)
                if (rowFinite(target, i)) {
                    gathered.data.insert(gathered.data.end(), target.data.begin() + i * target.cols,
                                         target.data.begin() + (i + 1) * target.cols);
                    ++gathered.rows;
                    events.push_back(i);
                }
            if (gathered.rows > 0) {
                const int base = static_cast<int>(k * 100 / total);
                const int span = static_cast<int>(100 / total);
                std::vector<double> out;
                umapTransform(reference.umap, applyScaling(scaling, gathered), out,
                              [&progress, base, span](int p) {
                                  post(progress, base + (span * p) / 100);
                                  return true;
                              });
                for (size_t q = 0; q < events.size() && 2 * q + 1 < out.size(); ++q) {
                    c.x[events[q]] = out[2 * q];
                    c.y[events[q]] = out[2 * q + 1];
                }
            }
        }
        columns.push_back(std::move(c));
        post(progress, static_cast<int>((k + 1) * 100 / total));
    }
    labelTargets(reference.cluster, columns);
    return columns;
}

DimRedReference makeFittedReference(int method, const DimRedFitResult& result,
                                    const std::string& fitDatasets, const std::string& created) {
    DimRedReference ref;
    ref.kind = method == 0 ? 0 : 1;
    ref.model = result.model;
    if (ref.kind == 1)
        ref.umap = result.umap;
    if (result.cluster.valid)
        ref.cluster = result.cluster;
    ref.created = created;
    ref.app_version = "3.3.99";
    ref.fit_datasets = fitDatasets;
    ref.present = true;
    return ref;
}

void writeDimRedColumns(RTDCReader& reader, DimRedColumns columns) {
    const size_t n = columns.x.size();
    reader.addCalculatedFeature("dim_1", std::move(columns.x));
    reader.addCalculatedFeature("dim_2", std::move(columns.y));
    if (!columns.cluster.empty())
        reader.addCalculatedFeature("dr_cluster", std::move(columns.cluster));
    else if (reader.hasFeature("dr_cluster"))
        reader.addCalculatedFeature("dr_cluster", std::vector<double>(n, kNaN));
}

} // namespace Quorvex3
