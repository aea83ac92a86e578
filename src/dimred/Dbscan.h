#pragma once

#include <cstddef>
#include <vector>

namespace Quorvex3 {

/// The clustered training points of an embedding, used to label new points.
struct DimRedClusterModel {
    std::vector<double> points; ///< x, y in turn; only clustered training points, in input order
    std::vector<int> labels;    ///< cluster number (>= 0) of each kept point
    int clusterCount = 0;
    double eps = 0.0;   ///< radius used
    int minPts = 0;     ///< minimum neighbourhood size used (the point included)
    bool valid = false; ///< false in a default model
};

/// DBSCAN of n 2-D points (x, y in turn). Labels: clusters 0, 1, ... in order
/// of discovery, -1 noise and every point with a non-finite coordinate.
/// Neighbourhoods include the point itself and points at exactly eps. All -1
/// when eps is not > 0 or minPts < 1.
std::vector<int> dbscan2d(const std::vector<double>& points, size_t n, double eps, int minPts,
                          int& clusterCount);

/// A clustering radius from a sample of at most about 24000 points: a
/// quarter of the way (on a log scale) along the longest run of radii that
/// give the same cluster count of at least 2. 0 when none can be suggested.
double suggestEps(const std::vector<double>& points, size_t n, int minPts);

/// Clusters the training embedding (x, y) and keeps the clustered points.
/// A default model when nothing clusters or the settings are unusable.
DimRedClusterModel buildClusterModel(const std::vector<double>& x, const std::vector<double>& y,
                                     double eps, int minPts);

/// For every new point, the label of the nearest clustered training point
/// when that lies within the model's eps, else NaN (also for a non-finite
/// coordinate or an unusable model).
void assignClusters(const DimRedClusterModel& model, const std::vector<double>& x,
                    const std::vector<double>& y, std::vector<double>& out);

} // namespace Quorvex3
