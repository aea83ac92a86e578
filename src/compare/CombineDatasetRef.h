#pragma once

#include <QColor>

#include <string>

namespace Quorvex3 {

/// One dataset in a combined plot window: which dataset, which features on
/// which axis scales, in which colour. Copied by value between the window's
/// list and its cards.
struct CombineDatasetRef {
    int datasetId = -1; ///< id of the main window's dataset
    std::string xFeature;
    std::string yFeature;
    QColor color; ///< with alpha
    int scaleXMode = 0; ///< ScaleMode code: 0 linear, 1 log, 2 pseudo-log
    int scaleYMode = 0;
};

/// Number of colours in the dataset palette.
constexpr int kCombinePaletteSize = 20;

/// Colour `index` of the dataset palette (taken modulo its size; a negative
/// index counts as 0). A new dataset takes the colour of the number of
/// datasets before it.
QColor combinePaletteColor(int index);

} // namespace Quorvex3
