#pragma once

// The HDF5 file driver of the .rtdc writer. Internal to the writer.
//
// HDF5 1.10 cannot survive a file whose close fails: the failed H5Fclose
// frees the file's state but keeps its identifier, and any later use of it
// (a second close, the library's own shutdown) crashes. So the export file
// is written through this driver, which is the default POSIX driver (pread,
// pwrite, ftruncate on one descriptor, the same bytes on disk) with one
// difference: after the first write or truncate that fails, it keeps the
// system's reason and discards every later write and truncate (successfully,
// without touching the disk). The failing call itself is reported, so the
// step that caused it ends; closing datasets and the file afterwards always
// succeeds. While the writer closes, even the first failure is only kept:
// the library never sees a failed close. A failed file is only fit to be
// discarded by the caller.

#include <H5Ipublic.h>

#include <string>

namespace Quorvex3 {

/// What became of one file written through the driver; owned by the
/// writer, it outlives the file.
struct ExportFileOutcome {
    /// The first failure's reason ("file write failed (No space left on
    /// device)"); empty while none.
    std::string failure;
    /// Writes and truncates go nowhere (after a failure, or on request).
    bool discarding = false;
    /// The file is being flushed and closed: failures are kept, not reported.
    bool closing = false;
};

/// A file access list of this driver that records into `outcome`.
/// Throws Hdf5Failure when the driver cannot be set up.
hid_t createExportFileAccess(ExportFileOutcome* outcome);

/// Test seam: with a non-zero error number every write made while a file of
/// this driver closes fails with it, as a full disk would make it fail.
void failExportFileWritesWhileClosingForTesting(int errorNumber);

} // namespace Quorvex3
