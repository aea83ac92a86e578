#pragma once

// Running a piece of a test in a child process: for what may end the
// process (a fatal signal, a limit that cannot be lifted again), so that it
// ends only the child and the test can say what happened.

#include <sys/resource.h>

#include <cstddef>
#include <functional>
#include <string>

namespace Quorvex3::testing {

/// Runs `body` in a forked child, which ends with _exit(body()); returns the
/// child's wait status. Only the calling thread exists in the child.
int statusInChild(const std::function<int()>& body);

/// Whether the child ended normally with exit code 0.
bool succeeded(int status);

/// "exit code N" or "killed by signal NAME", for failure messages.
std::string describeStatus(int status);

/// Lets the calling process map at most `bytes` more of private memory
/// (RLIMIT_DATA over what it holds now): a larger allocation then fails
/// instead of being granted and filled. For child processes: the limit is
/// not put back. False when it could not be set.
bool limitFurtherMemory(std::size_t bytes);

/// Lowers the soft file-size limit of the calling process to `bytes` (writes
/// beyond it then fail with EFBIG, or raise SIGXFSZ unless it is ignored)
/// and puts the previous limit back when destroyed.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    /// False when the limit could not be set.
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    bool m_active = false;
};

} // namespace Quorvex3::testing
