#pragma once

namespace Quorvex3 {

/// Makes a write beyond the process's file-size limit (RLIMIT_FSIZE, as set
/// by `ulimit -f` or a batch system) fail with EFBIG instead of ending the
/// program with SIGXFSZ, so that every writer gets its write error, reports
/// it and leaves the old file as it was. Process-wide and for the whole
/// run: called once at start-up, before any file is written.
void ignoreFileSizeLimitSignal();

} // namespace Quorvex3
