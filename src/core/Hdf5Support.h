#pragma once

// Internal helpers shared by the reader's translation units.

namespace Quorvex3 {

/// HDF5 prints its own error stack on the failing thread, and in a
/// thread-safe build that switch is per thread: every entry point that calls
/// into HDF5 calls this first, so only our one-line messages appear.
void silenceHdf5ErrorsOnThisThread();

} // namespace Quorvex3
