#include "compare/GalleryContrast.h"

#include "core/RTDCReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <random>

namespace Quorvex3 {

namespace {

constexpr std::uint32_t kSampleSeed = 12345;
constexpr size_t kSampledImages = 200;
constexpr size_t kByteStride = 8;

// Uniform in 0 .. m - 1 (m >= 1) from raw engine outputs, by rejection of
// the incomplete top block so every residue is equally likely.
std::uint32_t drawBelow(std::mt19937& engine, std::uint32_t m) {
    constexpr std::uint64_t kRange = std::uint64_t{1} << 32;
    const std::uint64_t limit = kRange - kRange % m;
    for (;;) {
        const std::uint64_t u = engine();
        if (u < limit)
            return static_cast<std::uint32_t>(u % m);
    }
}

// The k-th smallest value (from 0) of a histogram of grey values.
int kthValue(const std::array<std::uint64_t, 256>& counts, std::uint64_t k) {
    std::uint64_t seen = 0;
    for (int v = 0; v < 256; ++v) {
        seen += counts[static_cast<size_t>(v)];
        if (seen > k)
            return v;
    }
    return 255;
}

} // namespace

std::vector<int> galleryContrastSample(const std::vector<int>& indices) {
    std::vector<int> shuffled(indices);
    std::mt19937 engine(kSampleSeed);
    const size_t n = shuffled.size();
    for (size_t p = 0; p + 1 < n; ++p) {
        const std::uint32_t j = drawBelow(engine, static_cast<std::uint32_t>(n - p));
        if (j != 0)
            std::swap(shuffled[p], shuffled[p + j]);
    }
    shuffled.resize(std::min(n, kSampledImages));
    std::sort(shuffled.begin(), shuffled.end());
    return shuffled;
}

GalleryAutoContrastResult computeGalleryAutoContrast(std::shared_ptr<RTDCReader> reader,
                                                     std::vector<int> indices,
                                                     std::uint32_t generation) {
    GalleryAutoContrastResult result;
    result.generation = generation;
    if (!reader || indices.empty())
        return result;
    try {
        // The k-th values of a byte sample are read off its histogram: the
        // same selection as sorting the sample, without keeping it.
        std::array<std::uint64_t, 256> counts{};
        std::uint64_t total = 0;
        std::vector<size_t> events;
        for (const int index : galleryContrastSample(indices))
            if (index >= 0)
                events.push_back(static_cast<size_t>(index));
        // The order frames arrive in does not matter to a histogram.
        reader->visitImages(events, [&](size_t, const uint8_t* pixels, int width, int height) {
            const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
            for (size_t offset = 0; offset < bytes; offset += kByteStride) {
                ++counts[pixels[offset]];
                ++total;
            }
        });
        if (total == 0)
            return result;
        const double last = static_cast<double>(total - 1);
        result.lo = kthValue(counts, static_cast<std::uint64_t>(std::floor(last * 0.01)));
        result.hi = kthValue(counts, static_cast<std::uint64_t>(std::floor(last * 0.99)));
        if (result.hi <= result.lo)
            result.hi = std::min(result.lo, 254) + 1;
    } catch (const std::bad_alloc&) {
        result.lo = 0;
        result.hi = 255;
    }
    return result;
}

} // namespace Quorvex3
