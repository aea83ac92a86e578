#include "model/SpilloverMatrix.h"

#include <armadillo>

namespace Quorvex3 {

SpilloverMatrix::SpilloverMatrix() : m_matrix(std::make_unique<arma::Mat<double>>()) {}

SpilloverMatrix::SpilloverMatrix(const SpilloverMatrix& other)
    : m_matrix(std::make_unique<arma::Mat<double>>(*other.m_matrix)) {}

SpilloverMatrix& SpilloverMatrix::operator=(const SpilloverMatrix& other) {
    *m_matrix = *other.m_matrix;
    return *this;
}

SpilloverMatrix::~SpilloverMatrix() = default;

SpilloverMatrix& SpilloverMatrix::operator=(const arma::Mat<double>& matrix) {
    *m_matrix = matrix;
    return *this;
}

void SpilloverMatrix::clear() {
    m_matrix->reset();
}

} // namespace Quorvex3
