#include "util/FileNameUtil.h"

#include <gtest/gtest.h>

using Quorvex3::ensureSelectedFilterExtension;

// ===== ensureSelectedFilterExtension =========================================

TEST(EnsureSelectedFilterExtension, AppendsTheFiltersExtensionToABareName) {
    EXPECT_EQ(ensureSelectedFilterExtension("plot", "PNG Image (*.png)"), "plot.png");
    EXPECT_EQ(ensureSelectedFilterExtension("/tmp/my.dir/plot", "PNG Image (*.png)"),
              "/tmp/my.dir/plot.png");
}

TEST(EnsureSelectedFilterExtension, KeepsANameThatEndsInAnyFilterExtensionIgnoringCase) {
    EXPECT_EQ(ensureSelectedFilterExtension("plot.PNG", "PNG Image (*.png)"), "plot.PNG");
    EXPECT_EQ(ensureSelectedFilterExtension("a.jpg", "Images (*.png *.jpg)"), "a.jpg");
    EXPECT_EQ(ensureSelectedFilterExtension("t.TSV", "Tables (*.txt *.tsv)"), "t.TSV");
}

TEST(EnsureSelectedFilterExtension, AppendsTheFirstExtensionToAForeignOne) {
    EXPECT_EQ(ensureSelectedFilterExtension("a.bmp", "Images (*.png *.jpg)"), "a.bmp.png");
    // The near miss ".jpeg" is not ".jpg".
    EXPECT_EQ(ensureSelectedFilterExtension("a.jpeg", "JPEG Images (*.jpg)"), "a.jpeg.jpg");
}

TEST(EnsureSelectedFilterExtension, HandlesMultiPartExtensions) {
    EXPECT_EQ(ensureSelectedFilterExtension("data.tar.gz", "Archives (*.tar.gz)"), "data.tar.gz");
    EXPECT_EQ(ensureSelectedFilterExtension("data", "Archives (*.tar.gz)"), "data.tar.gz");
}

TEST(EnsureSelectedFilterExtension, AppendsInLowerCaseWithTrailingDotsDropped) {
    EXPECT_EQ(ensureSelectedFilterExtension("plot", "PNG Image (*.PNG)"), "plot.png");
    EXPECT_EQ(ensureSelectedFilterExtension("plot", "Odd (*.svg..)"), "plot.svg");
    // A duplicate in another case does not move the first extension.
    EXPECT_EQ(ensureSelectedFilterExtension("plot", "Any (*.PDF *.pdf *.svg)"), "plot.pdf");
}

TEST(EnsureSelectedFilterExtension, LeavesThePathAloneWithoutAUsableExtension) {
    EXPECT_EQ(ensureSelectedFilterExtension("plot", "All files (*)"), "plot");
    EXPECT_EQ(ensureSelectedFilterExtension("plot", "Nothing (*..)"), "plot");
    EXPECT_EQ(ensureSelectedFilterExtension("plot", QString()), "plot");
}

TEST(EnsureSelectedFilterExtension, EndsAnExtensionAtTheFirstCharacterBeyondLettersDigitsDots) {
    EXPECT_EQ(ensureSelectedFilterExtension("plot", "Underscore (*.q_v)"), "plot.q");
}

TEST(EnsureSelectedFilterExtension, ReturnsAnEmptyPathEmpty) {
    EXPECT_TRUE(ensureSelectedFilterExtension(QString(), "PNG Image (*.png)").isEmpty());
}

TEST(EnsureSelectedFilterExtension, UsesTheFirstFilterOfACombinedFilterString) {
    EXPECT_EQ(ensureSelectedFilterExtension("f", "PNG (*.png);;JPEG (*.jpg)"), "f.png");
    EXPECT_EQ(ensureSelectedFilterExtension("f.jpg", "PNG (*.png);;JPEG (*.jpg)"), "f.jpg");
}
