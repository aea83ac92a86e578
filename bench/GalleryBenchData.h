#pragma once

// The gallery benchmarks' measurement: 10,000 events of 80 x 250 pixels,
// gzip-compressed in chunks of 100 frames, a dark elliptic cell with noise
// per frame, and pos_x/pos_y in micrometres. Generated once into
// $TMPDIR/quorvex3-bench/gallery_10k.rtdc and reused.

#include "support/RtdcFixtureWriter.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace galleryBench {

constexpr size_t kEvents = 10000;
constexpr size_t kHeight = 80;
constexpr size_t kWidth = 250;
constexpr double kPixelSize = 0.34;
constexpr int kPageSize = 400;

inline std::filesystem::path benchDir() {
    return std::filesystem::temp_directory_path() / "quorvex3-bench";
}

inline void writeMeasurement(const std::string& path) {
    std::mt19937 rng(20240613);
    std::normal_distribution<double> noise(0.0, 4.0);
    std::uniform_real_distribution<double> centreX(40.0, 210.0), radius(8.0, 16.0);
    std::vector<uint8_t> pixels(kEvents * kHeight * kWidth);
    std::vector<double> posX(kEvents), posY(kEvents);
    for (size_t e = 0; e < kEvents; ++e) {
        const double cx = centreX(rng), cy = 40.0, rx = radius(rng), ry = rx * 0.8;
        posX[e] = cx * kPixelSize;
        posY[e] = cy * kPixelSize;
        for (size_t y = 0; y < kHeight; ++y) {
            for (size_t x = 0; x < kWidth; ++x) {
                const double dx = (static_cast<double>(x) - cx) / rx;
                const double dy = (static_cast<double>(y) - cy) / ry;
                const double inside = dx * dx + dy * dy < 1.0 ? -45.0 : 0.0;
                const double value = 110.0 + static_cast<double>(x) / 25.0 + inside + noise(rng);
                pixels[(e * kHeight + y) * kWidth + x] =
                    static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
    }
    Quorvex3::testing::RtdcFixtureWriter writer(path);
    writer.addImageStack("image", kEvents, kHeight, kWidth, pixels,
                         Quorvex3::testing::Storage::chunked({100, kHeight, kWidth}, 4));
    writer.addColumn("pos_x", posX);
    writer.addColumn("pos_y", posY);
}

// Written under a temporary name and renamed, so an interrupted run never
// leaves a half-written file to be reused.
inline const std::string& benchFile() {
    static const std::string path = [] {
        const std::string target = (benchDir() / "gallery_10k.rtdc").string();
        if (!std::filesystem::exists(target)) {
            std::filesystem::create_directories(benchDir());
            std::cerr << "Generating " << target << " (once)..." << std::endl;
            writeMeasurement(target + ".partial");
            std::filesystem::rename(target + ".partial", target);
        }
        return target;
    }();
    return path;
}

} // namespace galleryBench
