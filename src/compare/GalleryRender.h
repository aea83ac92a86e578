#pragma once

// One page of the image gallery: a cutout around each event, with the
// page's contrast window applied. Runs on a pool thread with its own copy of
// the reader handle and of its input; touches nothing else. Captions (the
// event ids) are drawn by the grid widget from GalleryTile::eventIndex.

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// One cell of a page.
struct GalleryTile {
    cv::Mat image;       ///< 8-bit, one channel, its own pixels; empty when unreadable
    int eventIndex = -1; ///< 0-based event index in the measurement (the caption)
};

/// What the window hands to a page render.
struct GalleryRenderInput {
    std::vector<int> pageIndices; ///< event indices of the page, in display order
    int cutoutWidth = 0;          ///< pixels; below 1 gives empty tiles
    int cutoutHeight = 0;
    double pixelSize = 0.34; ///< micrometres per pixel, converts pos_x/pos_y to pixels
    int contrastMode = 0;    ///< the window's mode (0 full, 1 auto, 2 manual); informative only
    int lo = 0;              ///< contrast window, grey values
    int hi = 255;
    std::uint32_t generation = 0; ///< the window's render generation, handed back
};

struct GalleryRenderResult {
    std::vector<GalleryTile> tiles; ///< one per page index, in page order
    std::uint32_t generation = 0;
};

/// Renders the page: for each index, the event's image is cut out around the
/// event's position ("pos_x", "pos_y" in micrometres over `pixelSize`) or,
/// when there is no usable position, around the image centre; what lies
/// outside the image is black. A position is usable when both features
/// exist, the value is finite, its pixel coordinate fits an int and
/// `pixelSize` is finite and above 0. Then the contrast window is applied.
/// An unreadable image, or a failure while cutting it, gives a tile with an
/// empty image; no exception leaves the function (running out of memory
/// for the page itself gives no tiles). A null reader gives no tiles.
GalleryRenderResult renderGalleryPage(std::shared_ptr<RTDCReader> reader, GalleryRenderInput input);

/// Applies the contrast window [lo, hi] to an 8-bit tile in place: with
/// lo' = max(lo, 0) and hi' = min(hi, 255), hi' <= lo' makes the tile black;
/// else, unless lo <= 0 and hi >= 255 (left as it is), every pixel p becomes
/// (p - lo') * 255 / (hi' - lo') rounded half away from zero, clamped to
/// 0..255.
void applyGalleryContrast(cv::Mat& tile, int lo, int hi);

} // namespace Quorvex3
