// The spillover matrix of a dataset record: a value held behind a pointer,
// so copying a record (a duplicate, a session restore) must copy the matrix,
// not share it.
#include "model/DatasetEntry.h"

#include <gtest/gtest.h>

#include <armadillo>

namespace Quorvex3 {
namespace {

arma::Mat<double> twoChannels() {
    arma::Mat<double> m(2, 2);
    m(0, 0) = 1.0;
    m(0, 1) = 0.1;
    m(1, 0) = 0.2;
    m(1, 1) = 1.0;
    return m;
}

TEST(SpilloverMatrix, StartsEmptyTakesACopyAndClearsToEmpty) {
    DatasetEntry entry;
    EXPECT_EQ(entry.spilloverMatrix.value().n_rows, 0u);
    EXPECT_EQ(entry.spilloverMatrix.value().n_cols, 0u);

    arma::Mat<double> source = twoChannels();
    entry.spilloverMatrix = source;
    source(1, 0) = 9.0;
    EXPECT_EQ(entry.spilloverMatrix.value()(1, 0), 0.2);
    EXPECT_EQ(entry.spilloverMatrix.value()(0, 1), 0.1);

    entry.spilloverMatrix.clear();
    EXPECT_EQ(entry.spilloverMatrix.value().n_elem, 0u);
}

TEST(SpilloverMatrix, CopiedRecordsHoldTheirOwnMatrix) {
    DatasetEntry original;
    original.spilloverMatrix = twoChannels();

    DatasetEntry constructed(original);
    DatasetEntry assigned;
    assigned = original;
    DatasetEntry moved(std::move(constructed));
    for (DatasetEntry* copy : {&moved, &assigned})
        EXPECT_TRUE(arma::approx_equal(copy->spilloverMatrix.value(), twoChannels(), "absdiff",
                                       0.0));

    assigned.spilloverMatrix.value()(0, 1) = 0.5;
    moved.spilloverMatrix.clear();
    EXPECT_EQ(original.spilloverMatrix.value()(0, 1), 0.1);
    EXPECT_EQ(original.spilloverMatrix.value().n_rows, 2u);
    // A moved-from record still holds a (usable) matrix.
    EXPECT_EQ(constructed.spilloverMatrix.value().n_rows, 2u);
}

} // namespace
} // namespace Quorvex3
