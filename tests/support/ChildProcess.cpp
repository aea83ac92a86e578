#include "support/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Quorvex3::testing {

int statusInChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

bool succeeded(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string describeStatus(int status) {
    if (WIFSIGNALED(status))
        return std::string("killed by signal ") + strsignal(WTERMSIG(status));
    return "exit code " + std::to_string(WEXITSTATUS(status));
}

bool limitFurtherMemory(std::size_t bytes) {
    // The private writable mappings held now, as the limit counts them.
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return false;
    unsigned long long heldKiB = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmData: %llu kB", &heldKiB) == 1)
            break;
    std::fclose(status);
    if (heldKiB == 0)
        return false;
    rlimit data{};
    if (getrlimit(RLIMIT_DATA, &data) != 0)
        return false;
    data.rlim_cur = std::min(data.rlim_max, static_cast<rlim_t>(heldKiB) * 1024 + bytes);
    return setrlimit(RLIMIT_DATA, &data) == 0;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    if (getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
        return;
    rlimit lowered = m_saved;
    lowered.rlim_cur = bytes;
    m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    if (m_active)
        setrlimit(RLIMIT_FSIZE, &m_saved);
}

} // namespace Quorvex3::testing
