// Why a measurement file could not be opened, in words for the user: the
// HDF5 library's own message ("H5Fopen failed") does not tell a missing file
// from a foreign or a damaged one.
#include "core/Hdf5Support.h"

#include <H5Cpp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace Quorvex3 {

namespace {

herr_t keepInnermost(unsigned position, const H5E_error2_t* error, void* data) {
    // Walked from the innermost step outwards: the first is where it failed.
    if (position == 0 && error && error->desc)
        *static_cast<std::string*>(data) = error->desc;
    return 0;
}

/// The innermost message of this thread's HDF5 error stack (empty if none).
std::string innermostHdf5Error() {
    std::string message;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, &keepInnermost, &message);
    return message;
}

} // namespace

std::string openFailureReason(const std::string& path) {
    // Read first, while the stack still holds the failed open.
    const std::string hdf5 = innermostHdf5Error();
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::exists(file, error))
        return "The file does not exist.";
    if (std::filesystem::is_directory(file, error))
        return "The path names a folder, not a file.";
    errno = 0;
    if (FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        return std::string("The file cannot be read: ") + std::strerror(errno) + ".";
    }
    if (H5Fis_hdf5(path.c_str()) <= 0)
        return "The file is not an HDF5 file (.rtdc measurements are), or its header is "
               "damaged.";
    return "The HDF5 library could not open it" + (hdf5.empty() ? std::string(".") : ": " + hdf5);
}

} // namespace Quorvex3
