#pragma once

#include <cstddef>

namespace H5 {
class DataSet;
class PredType;
} // namespace H5

namespace Quorvex3 {

/// Reads a one-dimensional, chunked, deflate-compressed (optionally
/// shuffled) dataset by fetching its chunks raw and inflating them on
/// several threads; decompression dominates a feature read and the library
/// itself inflates one chunk at a time.
///
/// Writes `count` values of `memType` to `dest` and returns true only when
/// the dataset is of that simple kind, its stored type equals `memType` and
/// every chunk inflates to its full size. Otherwise it returns false and the
/// caller reads the usual way (what was written to `dest` is then
/// overwritten). Caller holds the HDF5 lock; HDF5 exceptions pass on.
bool readDeflatedColumnInParallel(const H5::DataSet& dataset, const H5::PredType& memType,
                                  size_t count, unsigned char* dest);

} // namespace Quorvex3
