#pragma once

#include <memory>

namespace arma {
template <typename eT> class Mat;
} // namespace arma

namespace Quorvex3 {

/// A square matrix of doubles (the spillover between fluorescence channels)
/// held behind a pointer, so the dataset record, and every file that includes
/// it, compiles without the Armadillo headers; only the code that reads or
/// sets the matrix includes <armadillo>.
///
/// A value: copies are deep. Starts, and is cleared to, 0 x 0.
class SpilloverMatrix {
public:
    SpilloverMatrix();
    SpilloverMatrix(const SpilloverMatrix& other);
    SpilloverMatrix& operator=(const SpilloverMatrix& other);
    ~SpilloverMatrix();

    /// Takes a copy of `matrix`.
    SpilloverMatrix& operator=(const arma::Mat<double>& matrix);

    const arma::Mat<double>& value() const { return *m_matrix; }
    arma::Mat<double>& value() { return *m_matrix; }
    /// Back to 0 x 0.
    void clear();

private:
    // Never null: a moved-from record still holds a matrix.
    std::unique_ptr<arma::Mat<double>> m_matrix;
};

} // namespace Quorvex3
