// The .qv3dr reference file: atomic writing and validated reading.

#include "core/Hdf5Support.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedHdf5.h"
#include "dimred/DimRedReference.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

namespace Quorvex3 {

using namespace dimredfile;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr long long kFormatVersion = 1;

// A record whose vectors disagree with its counts would make the writer
// read past them; such a record is refused instead of written.
bool consistent(const DimRedReference& ref) {
    const size_t f = ref.model.features.size();
    if (ref.model.centre.size() != f || ref.model.scale.size() != f)
        return false;
    if (ref.kind != 1)
        return ref.model.loading1.size() == f && ref.model.loading2.size() == f;
    const UmapModel& u = ref.umap;
    size_t values = 0;
    return u.nFeatures == f && checkedProduct(u.nTrain, f, values) &&
           u.trainData.size() == values && u.embedding.size() == 2 * u.nTrain;
}

void writeReference(H5::Group& root, const DimRedReference& ref) {
    const DimRedModel& m = ref.model;
    const size_t f = m.features.size();
    writeInt64Attribute(root, "format_version", kFormatVersion);
    writeStringAttribute(root, "kind", ref.kind == 1 ? "umap" : "pca");
    writeStringAttribute(root, "created", ref.created);
    writeStringAttribute(root, "app_version", ref.app_version);
    writeStringAttribute(root, "fit_datasets", ref.fit_datasets);
    writeInt64Attribute(root, "fit_event_count", static_cast<long long>(m.nTrain));
    writeStringListDataset(root, "features", m.features);
    writeMatrixDataset(root, "centre", m.centre, f, 0);
    writeMatrixDataset(root, "scale", m.scale, f, 0);
    writeStringListDataset(root, "degenerate_features", m.degenerate);
    if (ref.kind == 1) {
        const UmapModel& u = ref.umap;
        const UmapParams& p = u.params;
        writeMatrixDataset(root, "train_data", u.trainData, u.nTrain, u.nFeatures);
        writeMatrixDataset(root, "train_embed", u.embedding, u.nTrain, 2);
        writeDoubleAttribute(root, "umap_a", u.a);
        writeDoubleAttribute(root, "umap_b", u.b);
        writeInt64Attribute(root, "umap_n_neighbors", p.n_neighbors);
        writeDoubleAttribute(root, "umap_min_dist", p.min_dist);
        writeDoubleAttribute(root, "umap_spread", p.spread);
        writeInt64Attribute(root, "umap_n_epochs", p.n_epochs);
        writeDoubleAttribute(root, "umap_learning_rate", p.learning_rate);
        writeDoubleAttribute(root, "umap_repulsion_strength", p.repulsion_strength);
        writeInt64Attribute(root, "umap_negative_sample_rate", p.negative_sample_rate);
        // The 64-bit seed is stored bit for bit in the signed field.
        writeInt64Attribute(root, "umap_seed", static_cast<long long>(p.seed));
        writeStringAttribute(root, "umap_init_used", u.initUsed == 0 ? "spectral" : "random");
    } else {
        std::vector<double> loadings(m.loading1);
        loadings.insert(loadings.end(), m.loading2.begin(), m.loading2.end());
        writeMatrixDataset(root, "loadings", loadings, 2, f);
        writeDoubleAttribute(root, "explained_1", m.explained1);
        writeDoubleAttribute(root, "explained_2", m.explained2);
    }
    const DimRedClusterModel& c = ref.cluster;
    if (c.valid && !c.labels.empty() && c.points.size() == 2 * c.labels.size()) {
        std::vector<double> labels(c.labels.begin(), c.labels.end());
        writeMatrixDataset(root, "cluster_embed", c.points, c.labels.size(), 2);
        writeMatrixDataset(root, "cluster_labels", labels, c.labels.size(), 0);
        writeInt64Attribute(root, "cluster_count", c.clusterCount);
        writeDoubleAttribute(root, "cluster_eps", c.eps);
        writeInt64Attribute(root, "cluster_min_pts", c.minPts);
    }
}

// A name beside the target that no file has yet.
std::string temporaryPathFor(const std::string& path) {
    static std::atomic<unsigned> s_counter{0};
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%llx-%x.tmp", stamp & 0xFFFFFFFFFFull,
                      s_counter.fetch_add(1));
        const std::string candidate = path + suffix;
        if (!QFile::exists(QString::fromStdString(candidate)))
            return candidate;
    }
    return path + ".tmp";
}

} // namespace

bool saveDimRedReference(const std::string& path, const DimRedReference& ref, std::string& error) {
    error.clear();
    if (!ref.present || !ref.model.valid) {
        error = "there is no fitted projection to save";
        return false;
    }
    if (ref.kind == 1 && !ref.umap.valid) {
        error = "the UMAP model is not fitted";
        return false;
    }
    if (!consistent(ref)) {
        error = "the projection's data do not match its feature list";
        return false;
    }
    const Lock lock(RTDCReader::s_hdf5Mutex);
    silenceHdf5ErrorsOnThisThread();
    const std::string temporary = temporaryPathFor(path);
    bool written = false;
    try {
        std::unique_ptr<H5::H5File> created;
        try {
            created = std::make_unique<H5::H5File>(temporary, H5F_ACC_EXCL);
        } catch (const H5::Exception&) {
            error = "cannot create a file in the folder of '" + path + "'";
            return false;
        }
        H5::H5File& file = *created;
        H5::Group root = file.openGroup("/");
        writeReference(root, ref);
        root.close();
        file.close();
        written = true;
    } catch (const H5::Exception& e) {
        error = e.getDetailMsg();
    } catch (const std::bad_alloc&) {
        error = "out of memory while writing the reference";
    }
    if (!written) {
        if (error.empty())
            error = "the reference could not be written";
        std::remove(temporary.c_str());
        return false;
    }
    const QString target = QString::fromStdString(path);
    if (QFile::exists(target))
        QFile::setPermissions(QString::fromStdString(temporary), QFile::permissions(target));
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "the finished file could not replace '" + path + "'";
        return false;
    }
    return true;
}

std::string describeDimRedReference(const DimRedReference& ref) {
    if (!ref.present)
        return "No reference loaded.";
    std::string text = ref.kind == 1 ? "UMAP" : "PCA";
    text += ", " + std::to_string(ref.model.features.size()) + " features";
    if (ref.model.nTrain != 0)
        text += ", fitted on " + std::to_string(ref.model.nTrain) + " events";
    if (!ref.fit_datasets.empty())
        text += " from " + ref.fit_datasets;
    if (!ref.created.empty())
        text += " (" + ref.created + ")";
    return text;
}

} // namespace Quorvex3
