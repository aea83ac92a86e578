#pragma once

// The gallery's automatic contrast window: the 1st and 99th percentile of
// grey values sampled from the dataset's images. Runs on a pool thread with
// its own copies of the reader handle and the event list.

#include <cstdint>
#include <memory>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

struct GalleryAutoContrastResult {
    int lo = 0;
    int hi = 255;
    std::uint32_t generation = 0; ///< as handed to computeGalleryAutoContrast
};

/// The events whose images the automatic contrast samples, in ascending
/// order (the order they are read in, so consecutive frames share a
/// decompressed chunk). The first min(n, 200) entries of a shuffled copy
/// of `indices`: an mt19937 seeded with 12345 swaps position p with p + j,
/// for p from 0 to n - 2, where j is uniform in 0 .. n - 1 - p, drawn from
/// the engine's raw 32-bit outputs by rejection: with m = n - p, outputs at
/// or above 2^32 - (2^32 mod m) are discarded and j is the first kept
/// output modulo m. (std::uniform_int_distribution is not used: its draws
/// differ between standard libraries.) Same list, same sample, every run.
std::vector<int> galleryContrastSample(const std::vector<int>& indices);

/// Every eighth byte (offsets 0, 8, 16, ... of each whole frame) of the
/// sampled events' images; lo is the k-th smallest value for
/// k = floor((N - 1) * 0.01) and hi for k = floor((N - 1) * 0.99), counted
/// from 0; hi <= lo becomes min(lo, 254) + 1. Unreadable images add
/// nothing; no values (or no reader) give (0, 255). No exception leaves
/// the function: running out of memory gives (0, 255).
GalleryAutoContrastResult computeGalleryAutoContrast(std::shared_ptr<RTDCReader> reader,
                                                     std::vector<int> indices,
                                                     std::uint32_t generation);

} // namespace Quorvex3
