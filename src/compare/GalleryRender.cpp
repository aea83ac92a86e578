#include "compare/GalleryRender.h"

#include "core/RTDCReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace Quorvex3 {

namespace {

using Column = std::shared_ptr<const std::vector<double>>;

// The event positions, held by shared handle: other threads may register
// derived features while the page renders.
struct Positions {
    Column x;
    Column y;
    double pixelSize = 0.0;

    // The event's pixel position truncated toward zero, when usable.
    bool centre(int index, long long& cx, long long& cy) const {
        if (!x || !y || !(std::isfinite(pixelSize) && pixelSize > 0.0) || index < 0)
            return false;
        const auto i = static_cast<size_t>(index);
        if (i >= x->size() || i >= y->size())
            return false;
        long long px = 0;
        long long py = 0;
        if (!toPixel((*x)[i], px) || !toPixel((*y)[i], py))
            return false;
        cx = px;
        cy = py;
        return true;
    }

    bool toPixel(double micrometres, long long& pixel) const {
        const double p = micrometres / pixelSize;
        // A centre that does not fit an int is no usable position.
        if (!(p > -2147483649.0 && p < 2147483648.0))
            return false;
        pixel = static_cast<long long>(p);
        return true;
    }
};

Positions readPositions(RTDCReader& reader, double pixelSize) {
    Positions positions;
    positions.pixelSize = pixelSize;
    if (reader.hasFeature("pos_x") && reader.hasFeature("pos_y")) {
        positions.x = reader.featureColumn("pos_x");
        positions.y = reader.featureColumn("pos_y");
    }
    return positions;
}

// The cutoutWidth x cutoutHeight rectangle whose top left corner is (x0, y0),
// black where it leaves the image. Never shares the frame's memory.
cv::Mat cutOut(const uint8_t* frame, int width, int height, long long x0, long long y0,
               int cutoutWidth, int cutoutHeight) {
    cv::Mat tile = cv::Mat::zeros(cutoutHeight, cutoutWidth, CV_8UC1);
    const long long left = std::max(x0, 0LL);
    const long long right = std::min(x0 + cutoutWidth, static_cast<long long>(width));
    const long long top = std::max(y0, 0LL);
    const long long bottom = std::min(y0 + cutoutHeight, static_cast<long long>(height));
    if (right <= left || bottom <= top)
        return tile;
    const auto span = static_cast<size_t>(right - left);
    for (long long row = top; row < bottom; ++row) {
        const uint8_t* source = frame + row * width + left;
        std::memcpy(tile.ptr<uint8_t>(static_cast<int>(row - y0)) + (left - x0), source, span);
    }
    return tile;
}

// Cuts the tile of `tile.eventIndex` out of its frame and applies the
// contrast window; a failure leaves the tile's image empty.
void renderTile(GalleryTile& tile, const Positions& positions, const GalleryRenderInput& input,
                const uint8_t* frame, int width, int height) {
    if (width < 1 || height < 1)
        return;
    try {
        long long cx = width / 2;
        long long cy = height / 2;
        positions.centre(tile.eventIndex, cx, cy);
        tile.image = cutOut(frame, width, height, cx - input.cutoutWidth / 2,
                            cy - input.cutoutHeight / 2, input.cutoutWidth, input.cutoutHeight);
        applyGalleryContrast(tile.image, input.lo, input.hi);
    } catch (const cv::Exception&) {
        tile.image = cv::Mat();
    } catch (const std::bad_alloc&) {
        tile.image = cv::Mat();
    }
}

} // namespace

GalleryRenderResult renderGalleryPage(std::shared_ptr<RTDCReader> reader,
                                      GalleryRenderInput input) {
    GalleryRenderResult result;
    result.generation = input.generation;
    if (!reader)
        return result;
    try {
        const Positions positions = readPositions(*reader, input.pixelSize);
        result.tiles.resize(input.pageIndices.size());
        // The page's frames come through the reader's bulk read, which
        // inflates the chunks they lie in on several threads at once: a page
        // spread over the measurement touches one chunk per few tiles.
        std::vector<size_t> events;
        std::vector<size_t> tileOfEvent;
        events.reserve(input.pageIndices.size());
        tileOfEvent.reserve(input.pageIndices.size());
        const bool cutting = input.cutoutWidth >= 1 && input.cutoutHeight >= 1;
        for (size_t p = 0; p < input.pageIndices.size(); ++p) {
            const int index = input.pageIndices[p];
            result.tiles[p].eventIndex = index;
            if (index >= 0 && cutting) {
                events.push_back(static_cast<size_t>(index));
                tileOfEvent.push_back(p);
            }
        }
        // One visitor call at a time; each fills only its own tile.
        reader->visitImages(events,
                            [&](size_t position, const uint8_t* pixels, int width, int height) {
                                renderTile(result.tiles[tileOfEvent[position]], positions, input,
                                           pixels, width, height);
                            });
    } catch (const std::bad_alloc&) {
        result.tiles.clear();
    }
    return result;
}

void applyGalleryContrast(cv::Mat& tile, int lo, int hi) {
    const int low = std::max(lo, 0);
    const int high = std::min(hi, 255);
    if (high <= low) {
        tile.setTo(0);
        return;
    }
    if (lo <= 0 && hi >= 255)
        return;
    cv::Mat table(1, 256, CV_8UC1);
    for (int p = 0; p < 256; ++p) {
        const long scaled = std::lround((p - low) * 255.0 / (high - low));
        table.at<uint8_t>(p) = static_cast<uint8_t>(std::clamp(scaled, 0L, 255L));
    }
    cv::LUT(tile, table, tile);
}

} // namespace Quorvex3
