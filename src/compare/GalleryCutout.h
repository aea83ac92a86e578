#pragma once

// The gallery's automatic cutout size: the 99th percentile of the cells'
// bounding box ("size_x", "size_y") in pixels plus a margin. GUI thread.

#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// Largest cutout side in pixels (the cutout spin boxes' maximum).
constexpr int kMaxGalleryCutoutSide = 1024;

/// The k-th smallest value, k = floor((N - 1) * 0.99) from 0, of the
/// feature over the filtered events (indices outside the column are
/// skipped). Non-finite values are dropped: an infinite size would make
/// the cutout unbounded. 0.0 when the reader lacks the feature or no value
/// is left.
double featurePercentile99(RTDCReader& reader, const std::vector<int>& filteredIndices,
                           const std::string& feature);

/// One side from a 99th-percentile size in micrometres:
/// ceil(size / pixelSize) + 2 * margin, computed in double and capped at
/// kMaxGalleryCutoutSide before it becomes an int. 0 (not computable) when
/// the size is not above 0, the pixel size not finite and above 0, or the
/// result below 1.
int cutoutSideFromPercentile(double percentile99, double pixelSize, int margin);

struct GalleryCutoutSize {
    int width = 64;
    int height = 64;
};

/// The automatic cutout: each side from its percentile; a side that is not
/// computable takes the first filtered event's image size (no margin), else
/// 64. Both sides are rounded up to even and at most kMaxGalleryCutoutSide.
GalleryCutoutSize computeAutoCutoutSize(RTDCReader& reader, const std::vector<int>& filteredIndices,
                                        double pixelSize, int margin);

} // namespace Quorvex3
