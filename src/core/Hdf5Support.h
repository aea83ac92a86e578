#pragma once

// Internal helpers shared by the reader's translation units.

#include <string>

namespace Quorvex3 {

/// HDF5 prints its own error stack on the failing thread, and in a
/// thread-safe build that switch is per thread: every entry point that calls
/// into HDF5 calls this first, so only our one-line messages appear.
void silenceHdf5ErrorsOnThisThread();

/// Why opening `path` failed, as an English sentence: a missing or unreadable
/// file, a folder, a file that is not HDF5, or the HDF5 library's innermost
/// message. Call right after the failed open, on the same thread, holding the
/// HDF5 lock.
std::string openFailureReason(const std::string& path);

} // namespace Quorvex3
