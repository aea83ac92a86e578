#pragma once

#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// Names of the features of `reader` a plot can put on an axis or colour
/// by: the scalar features (RTDCReader::isScalarFeature) that hold a number
/// for every event. In the order of getAvailableFeatures().
///
/// Left out, besides "image", "mask" and "contour":
/// - a column with fewer values than the event count: its events past the
///   end have no value, so callers treat it as absent;
/// - a column without numbers (strings, compounds, integer sizes the
///   reader does not convert): the reader reads it as absent.
///
/// A file column is judged by its stored type and length, not by reading
/// it, so a numeric column whose read fails stays offered and its failure is
/// reported where it is read; a measurement without events keeps its
/// numeric columns. A derived feature is judged by its values.
/// Takes the HDF5 lock for the look-ups; an empty list for a closed reader.
std::vector<std::string> usableScalarFeatures(RTDCReader& reader);

} // namespace Quorvex3
