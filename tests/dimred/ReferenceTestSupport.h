#pragma once

// References for the file tests, and in-place edits of a written file that
// turn it into the damaged or crafted files a user might open.

#include "DimRedTestData.h"
#include "dimred/DimRedReference.h"

#include <H5Cpp.h>

#include <string>
#include <vector>

namespace Quorvex3::dimredtest {

/// A PCA reference on `features` features fitted on gaussianMatrix data,
/// with clusters of its training projection.
DimRedReference pcaReference(size_t features = 4, size_t rows = 300);

/// A UMAP reference with `events` training events of `features` features.
/// fitted: by umapFit (small sizes only); otherwise made up, valid.
DimRedReference umapReference(size_t events, size_t features, bool fitted);

/// Opens a written reference read-write and changes its root in place.
class ReferenceEditor {
public:
    explicit ReferenceEditor(const std::string& path);

    void removeAttribute(const std::string& name);
    void setInt64(const std::string& name, long long value);
    void setUInt64(const std::string& name, unsigned long long value);
    void setDouble(const std::string& name, double value);
    void setString(const std::string& name, const std::string& value);
    /// An attribute of two doubles instead of one value.
    void setDoublePair(const std::string& name, double a, double b);

    void removeDataset(const std::string& name);
    /// A double dataset of the given shape (rank = dims.size()).
    void setDoubles(const std::string& name, const std::vector<hsize_t>& dims,
                    const std::vector<double>& values);
    /// A chunked double dataset of the given extents with nothing written,
    /// so a tiny file can declare an enormous dataset.
    void setEmptyChunked(const std::string& name, const std::vector<hsize_t>& dims,
                         bool strings = false);
    /// A 1-D dataset of variable-length strings.
    void setStrings(const std::string& name, const std::vector<std::string>& values);
    /// A 1-D dataset of fixed-length (space-padded) strings of `width` bytes.
    void setFixedStrings(const std::string& name, const std::vector<std::string>& values,
                         size_t width);

private:
    H5::H5File m_file;
    H5::Group m_root;
};

} // namespace Quorvex3::dimredtest
