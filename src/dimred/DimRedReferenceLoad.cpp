// Reading a .qv3dr reference. The file is untrusted: every value is checked
// for type, shape and range before it is used or allocated for.

#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedHdf5.h"
#include "dimred/DimRedReference.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <new>

namespace Quorvex3 {

using namespace dimredfile;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Ranges a fitted model can have; anything outside comes from a damaged or
// crafted file and would make applying the reference misbehave or run for
// hours.
constexpr long long kMaxNeighbours = 1000;
constexpr long long kMaxEpochs = 10000;
constexpr long long kMaxNegativeRate = 100;
constexpr double kMaxRate = 100.0;
constexpr double kMaxCurveA = 1e6;
constexpr double kMaxCurveB = 10.0;
constexpr long long kMaxMinPts = 1000000;

// Thrown for a malformed file; carries the sentence for the user.
struct Refusal {
    std::string message;
};

bool allFinite(const std::vector<double>& values) {
    for (const double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

bool inRange(double v, double lo, double hi) {
    return std::isfinite(v) && v >= lo && v <= hi;
}

bool inRange(long long v, long long lo, long long hi) {
    return v >= lo && v <= hi;
}

void readMatrixOrRefuse(const H5::Group& root, const std::string& name, std::vector<double>& out,
                        size_t expected) {
    std::string error;
    if (!readMatrixDataset(root, name, out, expected, error))
        throw Refusal{error};
}

void readScaling(const H5::Group& root, DimRedModel& model) {
    model.features = readStringListDataset(root, "features");
    if (model.features.size() < 2)
        throw Refusal{"the reference lists fewer than two input features"};
    const size_t f = model.features.size();
    readMatrixOrRefuse(root, "centre", model.centre, f);
    readMatrixOrRefuse(root, "scale", model.scale, f);
    if (!allFinite(model.centre) || !allFinite(model.scale))
        throw Refusal{"the reference's centre or scale is not finite"};
    for (const double s : model.scale)
        if (!(s > 0.0))
            throw Refusal{"the reference has a non-positive scale"};
    if (root.attrExists("fit_event_count")) {
        const long long count = readInt64Attribute(root, "fit_event_count");
        if (count < 0)
            throw Refusal{"the reference's fit event count is out of range"};
        model.nTrain = static_cast<size_t>(count);
    }
    try {
        model.degenerate = readStringListDataset(root, "degenerate_features");
    } catch (const H5::Exception&) {
        model.degenerate.clear();
    }
}

void readUmapParams(const H5::Group& root, UmapModel& u) {
    UmapParams& p = u.params;
    u.a = readDoubleAttribute(root, "umap_a");
    u.b = readDoubleAttribute(root, "umap_b");
    const long long neighbours = readInt64Attribute(root, "umap_n_neighbors");
    p.min_dist = readDoubleAttribute(root, "umap_min_dist");
    p.spread = readDoubleAttribute(root, "umap_spread");
    const long long epochs = readInt64Attribute(root, "umap_n_epochs");
    p.learning_rate = readDoubleAttribute(root, "umap_learning_rate");
    p.repulsion_strength = readDoubleAttribute(root, "umap_repulsion_strength");
    const long long negatives = readInt64Attribute(root, "umap_negative_sample_rate");
    p.seed = static_cast<uint64_t>(readInt64Attribute(root, "umap_seed"));
    if (root.attrExists("umap_init_used"))
        u.initUsed = readStringAttribute(root, "umap_init_used") == "spectral" ? 0 : 1;
    const bool sane =
        u.a > 0.0 && inRange(u.a, 0.0, kMaxCurveA) && u.b > 0.0 && inRange(u.b, 0.0, kMaxCurveB) &&
        inRange(neighbours, 2, kMaxNeighbours) && inRange(p.min_dist, 0.0, kMaxRate) &&
        p.spread > 0.0 && inRange(p.spread, 0.0, kMaxRate) && inRange(epochs, 1, kMaxEpochs) &&
        p.learning_rate > 0.0 && inRange(p.learning_rate, 0.0, kMaxRate) &&
        inRange(p.repulsion_strength, 0.0, kMaxRate) && inRange(negatives, 0, kMaxNegativeRate);
    if (!sane)
        throw Refusal{"the reference's UMAP parameters are out of range"};
    p.n_neighbors = static_cast<int32_t>(neighbours);
    p.n_epochs = static_cast<int32_t>(epochs);
    p.negative_sample_rate = static_cast<int32_t>(negatives);
}

void readUmap(const H5::Group& root, DimRedReference& ref) {
    UmapModel& u = ref.umap;
    const size_t f = ref.model.features.size();
    size_t dims[2] = {0, 0};
    {
        const H5::DataSet train = openDataset(root, "train_data");
        int rank = 0;
        std::string error;
        if (!datasetShape(train, "train_data", rank, dims, error) || rank != 2)
            throw Refusal{"the reference's training data is malformed"};
        if (dims[1] != f)
            throw Refusal{"the reference's training data does not match its feature list"};
    }
    u.nTrain = dims[0];
    u.nFeatures = f;
    if (u.nTrain == 0)
        throw Refusal{"the reference carries no training events"};
    size_t values = 0;
    size_t embedValues = 0;
    if (!checkedProduct(u.nTrain, f, values) || !checkedProduct(u.nTrain, 2, embedValues) ||
        values > kMaxValues)
        throw Refusal{"dataset 'train_data' is too large"};
    readMatrixOrRefuse(root, "train_data", u.trainData, values);
    readMatrixOrRefuse(root, "train_embed", u.embedding, embedValues);
    if (!allFinite(u.trainData) || !allFinite(u.embedding))
        throw Refusal{"the reference's training data or embedding is not finite"};
    readUmapParams(root, u);
    u.valid = true;
}

void readPca(const H5::Group& root, DimRedModel& model) {
    const size_t f = model.features.size();
    std::vector<double> loadings;
    readMatrixOrRefuse(root, "loadings", loadings, 2 * f);
    if (!allFinite(loadings))
        throw Refusal{"the reference's loadings are not finite"};
    model.loading1.assign(loadings.begin(), loadings.begin() + static_cast<std::ptrdiff_t>(f));
    model.loading2.assign(loadings.begin() + static_cast<std::ptrdiff_t>(f), loadings.end());
    if (root.attrExists("explained_1"))
        model.explained1 = readDoubleAttribute(root, "explained_1");
    if (root.attrExists("explained_2"))
        model.explained2 = readDoubleAttribute(root, "explained_2");
}

// The optional cluster block: anything wrong in it leaves the reference
// without clusters instead of failing the load.
DimRedClusterModel readClusters(const H5::Group& root) {
    DimRedClusterModel c;
    const DimRedClusterModel none;
    try {
        size_t dims[2] = {0, 0};
        int rank = 0;
        std::string error;
        {
            const H5::DataSet embed = openDataset(root, "cluster_embed");
            if (!datasetShape(embed, "cluster_embed", rank, dims, error))
                return none;
        }
        const size_t m = dims[0];
        if (rank != 2 || dims[1] != 2 || m == 0 || m > kMaxValues / 2)
            return none;
        std::vector<double> labels;
        if (!readMatrixDataset(root, "cluster_embed", c.points, 2 * m, error) ||
            !readMatrixDataset(root, "cluster_labels", labels, m, error) || !allFinite(c.points))
            return none;
        const long long count = readInt64Attribute(root, "cluster_count");
        c.eps = readDoubleAttribute(root, "cluster_eps");
        const long long minPts = readInt64Attribute(root, "cluster_min_pts");
        if (!inRange(count, 1, static_cast<long long>(m)) || !inRange(minPts, 1, kMaxMinPts) ||
            !(c.eps > 0.0) || !std::isfinite(c.eps))
            return none;
        c.labels.resize(m);
        for (size_t i = 0; i < m; ++i) {
            const double label = labels[i];
            if (!std::isfinite(label) || label != std::trunc(label) || label < 0.0 ||
                label >= static_cast<double>(count))
                return none;
            c.labels[i] = static_cast<int>(label);
        }
        c.clusterCount = static_cast<int>(count);
        c.minPts = static_cast<int>(minPts);
        c.valid = c.eps > 0.0 && c.clusterCount > 0;
    } catch (const H5::Exception&) {
        return none;
    }
    return c;
}

void readReference(const std::string& path, DimRedReference& ref) {
    const H5::H5File file(path, H5F_ACC_RDONLY);
    const H5::Group root = file.openGroup("/");
    if (!root.attrExists("format_version") || !root.attrExists("kind"))
        throw Refusal{"not a Quorvex3 dimension-reduction reference"};
    const long long version = readInt64Attribute(root, "format_version");
    if (version >= 2)
        throw Refusal{"the file was written by a newer version of Quorvex3 (format " +
                      std::to_string(version) + ")"};
    const std::string kind = readStringAttribute(root, "kind");
    if (kind == "pca")
        ref.kind = 0;
    else if (kind == "umap")
        ref.kind = 1;
    else
        throw Refusal{"unknown projection kind '" + kind + "'"};
    if (root.attrExists("created"))
        ref.created = readStringAttribute(root, "created");
    if (root.attrExists("app_version"))
        ref.app_version = readStringAttribute(root, "app_version");
    if (root.attrExists("fit_datasets"))
        ref.fit_datasets = readStringAttribute(root, "fit_datasets");
    readScaling(root, ref.model);
    if (ref.kind == 1)
        readUmap(root, ref);
    else
        readPca(root, ref.model);
    if (root.attrExists("cluster_count"))
        ref.cluster = readClusters(root);
    ref.model.valid = true;
    ref.present = true;
}

} // namespace

bool loadDimRedReference(const std::string& path, DimRedReference& ref, std::string& error) {
    ref = DimRedReference();
    error.clear();
    const Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        error = "the file cannot be opened";
        return false;
    }
    try {
        if (!H5::H5File::isHdf5(path)) {
            error = "not a Quorvex3 reference file";
            return false;
        }
        readReference(path, ref);
        return true;
    } catch (const Refusal& r) {
        error = r.message;
    } catch (const H5::Exception& e) {
        error = e.getDetailMsg();
        if (error.empty())
            error = "the file is not a readable reference";
    } catch (const std::bad_alloc&) {
        error = "the reference is too large to load";
    } catch (const std::length_error&) {
        error = "the reference is too large to load";
    }
    ref.present = false;
    return false;
}

} // namespace Quorvex3
