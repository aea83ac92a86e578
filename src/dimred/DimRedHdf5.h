#pragma once

// Building blocks of the reference file. Everything read is checked before
// anything is allocated: ranks, extents and their product in size_t, and
// every type by its own class, so a crafted file cannot make a reader
// allocate without bound or convert silently. The single-value functions
// throw H5::Exception (with a readable detail message) on failure; callers
// hold RTDCReader::s_hdf5Mutex.

#include <H5Cpp.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace dimredfile {

/// Largest number of values a dataset of a reference may hold.
constexpr size_t kMaxValues = size_t(1) << 28;
/// Largest number of names a string list of a reference may hold.
constexpr size_t kMaxStrings = size_t(1) << 20;

void writeInt64Attribute(H5::H5Object& location, const std::string& name, long long value);
void writeDoubleAttribute(H5::H5Object& location, const std::string& name, double value);
void writeStringAttribute(H5::H5Object& location, const std::string& name,
                          const std::string& value);
void writeStringListDataset(H5::Group& location, const std::string& name,
                            const std::vector<std::string>& values);
/// cols 0 writes a 1-D dataset of `rows` values; 2-D datasets of 4096 values
/// or more are chunked [min(rows, 4096), cols] and deflated at level 4.
void writeMatrixDataset(H5::Group& location, const std::string& name,
                        const std::vector<double>& values, size_t rows, size_t cols);

/// An integer attribute of one element, in the signed 64-bit range.
long long readInt64Attribute(const H5::H5Object& location, const std::string& name);
/// A floating-point or integer attribute of one element.
double readDoubleAttribute(const H5::H5Object& location, const std::string& name);
/// A string attribute of one element (fixed or variable length, any
/// character set), read through a memory type built from its own type.
std::string readStringAttribute(const H5::H5Object& location, const std::string& name);
/// The dataset `name`; throws with a readable message when there is none.
H5::DataSet openDataset(const H5::Group& location, const std::string& name);
/// A 1-D dataset of strings; its length is its extent.
std::vector<std::string> readStringListDataset(const H5::Group& location, const std::string& name);
/// A 1-D or 2-D dataset of numbers as doubles. With `expected` not 0 its
/// element count must equal it. False with `error` set otherwise.
bool readMatrixDataset(const H5::Group& location, const std::string& name, std::vector<double>& out,
                       size_t expected, std::string& error);

/// Rank and extents of a dataset's simple dataspace; false (with `error`)
/// for a rank other than 1 or 2.
bool datasetShape(const H5::DataSet& dataset, const std::string& name, int& rank, size_t dims[2],
                  std::string& error);

/// a * b, false when it overflows size_t.
bool checkedProduct(size_t a, size_t b, size_t& product);

} // namespace dimredfile
} // namespace Quorvex3
