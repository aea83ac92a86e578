#pragma once

class QwtLinearColorMap;

namespace Quorvex3 {

/// Number of colour maps the plots offer (indices 0 .. kColorMapCount - 1).
constexpr int kColorMapCount = 6;

/// A new colour map for the given index, in RGB format from value 0 to 1:
/// 0 Viridis, 1 Jet, 2 Jet+, 3 Plasma, 4 BVAC, 5 Grayscale. Any index
/// outside 0 .. 5 gives Viridis. The caller owns the result; a curve or a
/// colour bar that receives it takes it over.
QwtLinearColorMap* createColorMap(int index);

} // namespace Quorvex3
