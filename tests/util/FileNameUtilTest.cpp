#include "util/FileNameUtil.h"

#include <gtest/gtest.h>

using Quorvex3::ensureOfferedFilterExtension;
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

// ===== ensureOfferedFilterExtension ==========================================

namespace {

const QString kPlotFilters =
    QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
const QString kPng = QStringLiteral("PNG Image (*.png)");

struct OfferedCase {
    const char* typed;
    const char* selected;
    const char* written;
};

// "plot2.svg" typed with the PNG filter selected was written as
// "plot2.svg.png": a typed suffix of any offered format chooses the format.
const OfferedCase kOfferedCases[] = {
    {"plot2.svg", "PNG Image (*.png)", "plot2.svg"},
    {"plot2.SVG", "PNG Image (*.png)", "plot2.SVG"},
    {"plot2.Pdf", "SVG Vector (*.svg)", "plot2.Pdf"},
    {"/tmp/a.b/plot2.png", "PDF Document (*.pdf)", "/tmp/a.b/plot2.png"},
    {"plot2.png", "PNG Image (*.png)", "plot2.png"},
    // No offered suffix: the selected filter's extension is appended.
    {"plot2", "SVG Vector (*.svg)", "plot2.svg"},
    {"plot2.jpg", "PNG Image (*.png)", "plot2.jpg.png"},
    {"plot2svg", "PNG Image (*.png)", "plot2svg.png"},
    {"/tmp/x.svg/plot2", "PDF Document (*.pdf)", "/tmp/x.svg/plot2.pdf"},
};

} // namespace

TEST(EnsureOfferedFilterExtension, ATypedOfferedSuffixChoosesTheFormat) {
    for (const OfferedCase& c : kOfferedCases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(ensureOfferedFilterExtension(QString::fromUtf8(c.typed),
                                               QString::fromUtf8(c.selected), kPlotFilters),
                  QString::fromUtf8(c.written));
    }
}

TEST(EnsureOfferedFilterExtension, OnlyTheOfferedFormatsCount) {
    // A format of another dialog is no known suffix here.
    EXPECT_EQ(ensureOfferedFilterExtension("plot.svg", kPng, kPng), "plot.svg.png");
    // Without offered filters it is the selected filter's rule.
    EXPECT_EQ(ensureOfferedFilterExtension("plot.svg", kPng, QString()), "plot.svg.png");
    EXPECT_EQ(ensureOfferedFilterExtension("plot", "All files (*)", kPlotFilters), "plot");
}

TEST(EnsureOfferedFilterExtension, ReturnsAnEmptyPathEmpty) {
    EXPECT_TRUE(ensureOfferedFilterExtension(QString(), kPng, kPlotFilters).isEmpty());
}
