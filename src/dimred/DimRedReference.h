#pragma once

#include "dimred/Dbscan.h"
#include "dimred/Pca.h"
#include "dimred/Umap.h"

#include <string>

namespace Quorvex3 {

/// A fitted two-dimensional embedding kept for reuse on other datasets:
/// input features, robust scaling, the PCA loadings or the UMAP training
/// events with their embedding, optionally a cluster model, and provenance.
/// Held by std::shared_ptr and read-only once built.
struct DimRedReference {
    int kind = 0;               ///< 0 PCA, 1 UMAP
    DimRedModel model;          ///< features, scaling, PCA loadings, nTrain, degenerate
    UmapModel umap;             ///< meaningful when kind is 1
    DimRedClusterModel cluster; ///< clusters of the training embedding, when valid
    std::string created;        ///< UTC, ISO 8601
    std::string app_version;
    std::string fit_datasets; ///< display names of the fit datasets joined by ", "
    bool present = false;     ///< true when the record holds a reference
};

/// Writes `ref` as a .qv3dr file (HDF5). The file is written beside the
/// target under a temporary name and renamed over it only when complete,
/// so an existing file is never lost. False with an English sentence in
/// `error` on failure. Takes the process-wide HDF5 lock.
bool saveDimRedReference(const std::string& path, const DimRedReference& ref, std::string& error);

/// Reads and validates a .qv3dr file; the file is untrusted. False with an
/// English sentence in `error` for anything malformed (ref is then partly
/// filled with present false). A damaged cluster block loads without
/// clusters. Never throws. Takes the process-wide HDF5 lock.
bool loadDimRedReference(const std::string& path, DimRedReference& ref, std::string& error);

/// One line such as "PCA, 4 features, fitted on 1200 events from A, B (...)".
std::string describeDimRedReference(const DimRedReference& ref);

} // namespace Quorvex3
