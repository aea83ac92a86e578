#pragma once

#include "dimred/DimRedMatrix.h"

#include <string>
#include <vector>

namespace Quorvex3 {

/// A fitted PCA projection about the robust centre of its training matrix.
struct DimRedModel {
    std::vector<std::string> features; ///< input feature names, in column order
    std::vector<double> centre;        ///< from the training matrix's robust scaling
    std::vector<double> scale;
    std::vector<double> loading1; ///< unit eigenvector of component 1, one entry per feature
    std::vector<double> loading2; ///< unit eigenvector of component 2
    double explained1 = 0.0;      ///< share of the total variance (0 ... 1)
    double explained2 = 0.0;
    size_t nTrain = 0; ///< number of training rows
    std::vector<std::string> degenerate;
    bool valid = false; ///< false in a default (empty) model
};

/// Principal components of the robust-scaled matrix, taken about the median
/// (the scaled values are not re-centred on their mean). A default model when
/// cols < 2, rows < 3 or the names do not match the column count. Each
/// loading's largest-magnitude entry is positive.
DimRedModel fitPca(const DimRedMatrix& matrix, const std::vector<std::string>& featureNames);

/// First and second principal coordinate of every row, matrix.rows values in
/// each output. All NaN for an invalid model, a column count other than the
/// model's, or no rows; NaN in both for a row holding a non-finite value.
void projectOnto(const DimRedModel& model, const DimRedMatrix& matrix, std::vector<double>& out1,
                 std::vector<double>& out2);

/// Cyclic Jacobi eigen decomposition of the symmetric n x n row-major matrix
/// `a` (overwritten). `eigenvalues` receives n values in ascending order and
/// `eigenvectors` an n x n row-major matrix whose column k is the unit
/// eigenvector of eigenvalues[k]. n = 0 empties both.
void jacobiEigenSymmetric(std::vector<double>& a, int n, std::vector<double>& eigenvalues,
                          std::vector<double>& eigenvectors);

/// Implicit QL eigen decomposition of the symmetric tridiagonal matrix with
/// the given diagonal (n values) and off-diagonal (the first n - 1 values
/// used). Same output layout as jacobiEigenSymmetric. False (outputs
/// unspecified) when an eigenvalue does not converge, as with non-finite
/// entries, or when the off-diagonal is too short; n = 0 empties both.
bool tridiagonalEigen(const std::vector<double>& diagonal, const std::vector<double>& offDiagonal,
                      std::vector<double>& eigenvalues, std::vector<double>& eigenvectors);

} // namespace Quorvex3
