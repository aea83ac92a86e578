#include "session/ExportFileDriver.h"

#include "session/Hdf5Handle.h"

#include <H5FDpublic.h>
#include <H5Ppublic.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

namespace Quorvex3 {

namespace {

// The largest address an off_t can reach, as the POSIX driver has it.
constexpr haddr_t kMaxAddress = (haddr_t(1) << (8 * sizeof(off_t) - 1)) - 1;

// Bytes of discarded writes kept so the library reads back what it wrote
// while a failed file closes (metadata only: the step that failed wrote no
// more data). Beyond this, discarded bytes are dropped.
constexpr std::size_t kMaxKeptBytes = std::size_t(64) << 20;

std::atomic<int> s_closingWriteError{0};

struct DriverInfo {
    ExportFileOutcome* outcome;
};

// One open file; `pub` first, as the library expects.
struct DriverFile {
    H5FD_t pub;
    int fd;
    haddr_t eoa;
    haddr_t eof;
    dev_t device;
    ino_t inode;
    ExportFileOutcome* outcome;
    // Discarded writes in their order, so reads see the newest bytes.
    std::vector<std::pair<haddr_t, std::vector<unsigned char>>> kept;
    std::size_t keptBytes;
};

DriverFile* fileOf(H5FD_t* file) {
    return reinterpret_cast<DriverFile*>(file);
}
const DriverFile* fileOf(const H5FD_t* file) {
    return reinterpret_cast<const DriverFile*>(file);
}

herr_t report(const char* function, hid_t minor, const std::string& text) {
    H5Epush2(H5E_DEFAULT, __FILE__, function, __LINE__, H5E_ERR_CLS, H5E_VFL, minor, "%s",
             text.c_str());
    return -1;
}

// The system's words for `error`, in the form the writer's messages quote.
std::string systemReason(const char* what, int error) {
    return std::string(what) + ": error message = '" + std::strerror(error) + "'";
}

// A write or truncate failed with `error`: kept as the outcome's first
// failure and from now on everything is discarded. Reported to the library
// unless the file is closing.
herr_t failed(DriverFile* file, const char* function, hid_t minor, const char* what, int error) {
    ExportFileOutcome& outcome = *file->outcome;
    const std::string text = systemReason(what, error);
    if (outcome.failure.empty())
        outcome.failure = std::string(what) + " (" + std::strerror(error) + ")";
    outcome.discarding = true;
    if (outcome.closing)
        return 0;
    return report(function, minor, text);
}

bool overflows(haddr_t address, std::size_t size) {
    return address == HADDR_UNDEF || address > kMaxAddress || size > kMaxAddress ||
           address + size > kMaxAddress;
}

H5FD_t* driverOpen(const char* name, unsigned flags, hid_t access, haddr_t maxAddress) {
    if (!name || !*name || maxAddress == 0 || maxAddress == HADDR_UNDEF || maxAddress > kMaxAddress)
        return report("driverOpen", H5E_BADVALUE, "invalid file name or address range"), nullptr;
    const auto* info = static_cast<const DriverInfo*>(H5Pget_driver_info(access));
    if (!info || !info->outcome)
        return report("driverOpen", H5E_BADVALUE, "no outcome to record into"), nullptr;
    int mode = (flags & H5F_ACC_RDWR) ? O_RDWR : O_RDONLY;
    if (flags & H5F_ACC_TRUNC)
        mode |= O_TRUNC;
    if (flags & H5F_ACC_CREAT)
        mode |= O_CREAT;
    if (flags & H5F_ACC_EXCL)
        mode |= O_EXCL;
    const int fd = ::open(name, mode | O_CLOEXEC, 0666);
    if (fd < 0)
        return report("driverOpen", H5E_CANTOPENFILE, systemReason("unable to open file", errno)),
               nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return report("driverOpen", H5E_BADFILE, systemReason("unable to fstat file", error)),
               nullptr;
    }
    auto* file = new DriverFile{};
    file->fd = fd;
    file->eof = static_cast<haddr_t>(status.st_size);
    file->device = status.st_dev;
    file->inode = status.st_ino;
    file->outcome = info->outcome;
    return &file->pub;
}

herr_t driverClose(H5FD_t* handle) {
    DriverFile* file = fileOf(handle);
    const int result = ::close(file->fd);
    const int error = errno;
    delete file;
    // The descriptor is gone either way; what was written is what the
    // earlier calls reported.
    return result == 0 || error == EINTR
               ? 0
               : report("driverClose", H5E_CANTCLOSEFILE, systemReason("unable to close file", error));
}

int driverCompare(const H5FD_t* a, const H5FD_t* b) {
    const DriverFile* x = fileOf(a);
    const DriverFile* y = fileOf(b);
    if (x->device != y->device)
        return x->device < y->device ? -1 : 1;
    if (x->inode != y->inode)
        return x->inode < y->inode ? -1 : 1;
    return 0;
}

herr_t driverQuery(const H5FD_t*, unsigned long* flags) {
    if (flags)
        *flags = H5FD_FEAT_AGGREGATE_METADATA | H5FD_FEAT_ACCUMULATE_METADATA |
                 H5FD_FEAT_DATA_SIEVE | H5FD_FEAT_AGGREGATE_SMALLDATA |
                 H5FD_FEAT_POSIX_COMPAT_HANDLE | H5FD_FEAT_DEFAULT_VFD_COMPATIBLE |
                 // as the POSIX driver; also what H5Fget_eoa asks of a driver
                 H5FD_FEAT_SUPPORTS_SWMR_IO;
    return 0;
}

haddr_t driverGetEoa(const H5FD_t* file, H5FD_mem_t) {
    return fileOf(file)->eoa;
}

herr_t driverSetEoa(H5FD_t* file, H5FD_mem_t, haddr_t address) {
    fileOf(file)->eoa = address;
    return 0;
}

haddr_t driverGetEof(const H5FD_t* file, H5FD_mem_t) {
    return fileOf(file)->eof;
}

herr_t driverGetHandle(H5FD_t* file, hid_t, void** handle) {
    if (!handle)
        return report("driverGetHandle", H5E_BADVALUE, "no place for the handle");
    *handle = &fileOf(file)->fd;
    return 0;
}

herr_t driverRead(H5FD_t* handle, H5FD_mem_t, hid_t, haddr_t address, std::size_t size,
                  void* buffer) {
    DriverFile* file = fileOf(handle);
    if (overflows(address, size))
        return report("driverRead", H5E_OVERFLOW, "address out of range");
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(file->fd, out + done, size - done,
                                  static_cast<off_t>(address + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return report("driverRead", H5E_READERROR, systemReason("file read failed", errno));
        if (n == 0)
            break; // beyond the end: zeros, as the POSIX driver reads them
        done += static_cast<std::size_t>(n);
    }
    std::memset(out + done, 0, size - done);
    // What was discarded after a failure is what the library wrote last.
    for (const auto& [start, bytes] : file->kept) {
        const haddr_t from = std::max(start, address);
        const haddr_t to = std::min(start + bytes.size(), address + size);
        if (from < to)
            std::memcpy(out + (from - address), bytes.data() + (from - start), to - from);
    }
    return 0;
}

herr_t driverWrite(H5FD_t* handle, H5FD_mem_t, hid_t, haddr_t address, std::size_t size,
                   const void* buffer) {
    DriverFile* file = fileOf(handle);
    if (overflows(address, size) || address + size > file->eoa)
        return report("driverWrite", H5E_OVERFLOW, "address out of range");
    const auto* in = static_cast<const unsigned char*>(buffer);
    const int testError = s_closingWriteError.load();
    if (!file->outcome->discarding && file->outcome->closing && testError != 0)
        failed(file, "driverWrite", H5E_WRITEERROR, "file write failed", testError);
    std::size_t done = 0;
    while (!file->outcome->discarding && done < size) {
        const ssize_t n = ::pwrite(file->fd, in + done, size - done,
                                   static_cast<off_t>(address + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (failed(file, "driverWrite", H5E_WRITEERROR, "file write failed",
                       n < 0 ? errno : ENOSPC) < 0)
                return -1;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (file->outcome->discarding && done < size && file->keptBytes + size - done <= kMaxKeptBytes) {
        file->kept.emplace_back(address + done,
                                std::vector<unsigned char>(in + done, in + size));
        file->keptBytes += size - done;
    }
    file->eof = std::max(file->eof, address + size);
    return 0;
}

herr_t driverTruncate(H5FD_t* handle, hid_t, hbool_t) {
    DriverFile* file = fileOf(handle);
    if (file->eoa == file->eof)
        return 0;
    if (!file->outcome->discarding && ::ftruncate(file->fd, static_cast<off_t>(file->eoa)) != 0 &&
        failed(file, "driverTruncate", H5E_SEEKERROR, "unable to extend file properly", errno) <
            0)
        return -1;
    file->eof = file->eoa;
    return 0;
}

const H5FD_class_t s_driverClass = {
    "quorvex3_export",   // name
    kMaxAddress,         // maxaddr
    H5F_CLOSE_WEAK,      // fc_degree
    nullptr,             // terminate
    nullptr,             // sb_size
    nullptr,             // sb_encode
    nullptr,             // sb_decode
    sizeof(DriverInfo),  // fapl_size
    nullptr,             // fapl_get
    nullptr,             // fapl_copy
    nullptr,             // fapl_free
    0,                   // dxpl_size
    nullptr,             // dxpl_copy
    nullptr,             // dxpl_free
    driverOpen,          // open
    driverClose,         // close
    driverCompare,       // cmp
    driverQuery,         // query
    nullptr,             // get_type_map
    nullptr,             // alloc
    nullptr,             // free
    driverGetEoa,        // get_eoa
    driverSetEoa,        // set_eoa
    driverGetEof,        // get_eof
    driverGetHandle,     // get_handle
    driverRead,          // read
    driverWrite,         // write
    nullptr,             // flush
    driverTruncate,      // truncate
    nullptr,             // lock
    nullptr,             // unlock
    H5FD_FLMAP_DICHOTOMY // fl_map
};

// The driver's identifier, registered again after the library was shut
// down and started anew.
hid_t driverId() {
    static hid_t s_id = H5I_INVALID_HID;
    if (s_id < 0 || H5Iis_valid(s_id) <= 0)
        s_id = H5FDregister(&s_driverClass);
    return s_id;
}

} // namespace

hid_t createExportFileAccess(ExportFileOutcome* outcome) {
    const hid_t driver = driverId();
    if (driver < 0)
        throwHdf5Failure("registering the export file driver");
    const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
    if (access < 0)
        throwHdf5Failure("creating file access properties");
    const DriverInfo info{outcome};
    if (H5Pset_driver(access, driver, &info) < 0) {
        H5Pclose(access);
        throwHdf5Failure("choosing the export file driver");
    }
    return access;
}

void failExportFileWritesWhileClosingForTesting(int errorNumber) {
    s_closingWriteError.store(errorNumber);
}

} // namespace Quorvex3
