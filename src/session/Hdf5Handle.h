#pragma once

// Checked owner of a raw HDF5 identifier, for the calls the C++ API lacks
// (attribute copies, raw chunk writes). Internal to the writer.

#include <H5Epublic.h>
#include <H5Ipublic.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace Quorvex3 {

/// A refused HDF5 call of the C API, with what was being done and the
/// library's innermost reason.
class Hdf5Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The description of the innermost entry of the thread's HDF5 error stack
/// (the actual cause, e.g. the system's write error); empty when none.
inline std::string innermostHdf5Error() {
    std::string detail;
    H5Ewalk2(
        H5E_DEFAULT, H5E_WALK_UPWARD,
        [](unsigned n, const H5E_error2_t* entry, void* data) -> herr_t {
            if (n == 0 && entry && entry->desc)
                *static_cast<std::string*>(data) = entry->desc;
            return 0;
        },
        &detail);
    // The low-level messages carry a dump of the call; the system's own
    // words are the part a user can act on.
    const std::string marker = "error message = '";
    const std::size_t start = detail.find(marker);
    if (start != std::string::npos) {
        const std::size_t from = start + marker.size();
        const std::size_t end = detail.find('\'', from);
        const std::string head = detail.substr(0, detail.find(':'));
        detail =
            head + " (" + detail.substr(from, end == std::string::npos ? end : end - from) + ")";
    }
    return detail;
}

/// Throws Hdf5Failure("<what> failed: <reason>").
[[noreturn]] inline void throwHdf5Failure(const std::string& what) {
    const std::string reason = innermostHdf5Error();
    throw Hdf5Failure(what + " failed" + (reason.empty() ? std::string() : ": " + reason));
}

/// The C++ API's message for a failed step followed by the innermost reason
/// the library gave (its own message names only the outermost call).
template <typename Exception> std::string describeHdf5Exception(const Exception& e) {
    const std::string reason = innermostHdf5Error();
    const std::string detail = e.getDetailMsg();
    return reason.empty() || reason == detail ? detail : detail + ": " + reason;
}

/// Owns an identifier and closes it with the matching H5?close function.
/// Construction from a negative identifier throws Hdf5Failure naming
/// `what`, so every call that returns an identifier is checked.
class Hdf5Handle {
public:
    using Closer = herr_t (*)(hid_t);

    Hdf5Handle(hid_t id, Closer closer, const std::string& what) : m_id(id), m_closer(closer) {
        if (m_id < 0)
            throwHdf5Failure(what);
    }
    ~Hdf5Handle() {
        if (m_id >= 0)
            m_closer(m_id);
    }
    Hdf5Handle(Hdf5Handle&& other) noexcept
        : m_id(std::exchange(other.m_id, -1)), m_closer(other.m_closer) {}
    Hdf5Handle(const Hdf5Handle&) = delete;
    Hdf5Handle& operator=(const Hdf5Handle&) = delete;
    Hdf5Handle& operator=(Hdf5Handle&&) = delete;

    hid_t id() const { return m_id; }

private:
    hid_t m_id;
    Closer m_closer;
};

} // namespace Quorvex3
