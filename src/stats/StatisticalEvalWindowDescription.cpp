// The explanatory description of the current tab and settings, and the
// detection of subject and replicate numbers in dataset names.
#include "stats/StatisticalEvalWindow.h"

#include "stats/CategoryPanel.h"
#include "stats/GroupComparison.h"
#include "util/DialogProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QTabWidget>

#include <charconv>
#include <regex>
#include <set>

namespace Quorvex3 {

namespace {

/// Number of tests of one comparison run: per feature one test for two
/// categories, else one per pair.
int testCount(int features, int categories) {
    return features * (categories > 2 ? categories * (categories - 1) / 2 : 1);
}

/// A number searched in a text: whether the pattern matched, and the first
/// group's value when its digits fit an int.
struct FoundNumber {
    bool matched = false;
    std::optional<int> value;
};

FoundNumber findNumber(const std::regex& pattern, const std::string& text) {
    std::smatch match;
    if (!std::regex_search(text, match, pattern))
        return {};
    const std::string digits = match[1].str();
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return {true, std::nullopt};
    return {true, value};
}

const std::regex& idPattern() {
    static const std::regex pattern("ID(\\d+)", std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

const std::regex& bioRepPattern() {
    static const std::regex pattern("BR(\\d+)", std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

const std::regex& techRepPattern() {
    static const std::regex pattern("TR(\\d+)", std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

} // namespace

void StatisticalEvalWindow::updateDescription() {
    QStringList paragraphs;
    switch (m_tabWidget ? m_tabWidget->currentIndex() : 0) {
    case 1:
        paragraphs = rocParagraphs();
        break;
    case 2:
        paragraphs = distributionParagraphs();
        break;
    default:
        paragraphs = comparisonParagraphs();
        break;
    }
    m_descriptionLabel->setText(paragraphs.join(QStringLiteral("\n\n")));
}

namespace {

QString summaryParagraph(int index) {
    switch (index) {
    case 1:
        return QStringLiteral("Each dataset is summarized by its mean — sensitive to outliers.");
    case 2:
        return QStringLiteral("Each dataset is summarized by its standard deviation — compares "
                              "variability, not location.");
    case 3:
        return QStringLiteral("Each dataset is summarized by its coefficient of variation "
                              "(SD/mean) — compares relative variability.");
    case 4:
        return QStringLiteral("Each dataset is summarized by its interquartile range — compares "
                              "spread, robust against outliers.");
    default:
        return QStringLiteral(
            "Each dataset is summarized by its median — robust against outliers.");
    }
}

} // namespace

QStringList StatisticalEvalWindow::comparisonParagraphs() const {
    const int k = static_cast<int>(m_categoryPanels.size());
    const bool paired = isPaired();
    const bool replicates = m_replicatesCheck->isChecked();
    const double alpha = m_alphaSpin->value();
    QStringList out{summaryParagraph(m_summaryCombo->currentIndex())};

    if (k >= 2) {
        if (!paired && k == 2)
            out << QStringLiteral("Mann-Whitney U test: tests whether values in one group tend "
                                  "to be larger than the other. Does not require equal group "
                                  "sizes.");
        else if (!paired)
            out << QStringLiteral("Kruskal-Wallis test (omnibus): tests whether at least one "
                                  "group differs. Followed by pairwise Mann-Whitney U post-hoc "
                                  "tests.");
        else if (k == 2)
            out << QStringLiteral("Wilcoxon signed-rank test: tests whether matched differences "
                                  "are systematically shifted from zero.");
        else
            out << QStringLiteral("Friedman test (omnibus): tests whether at least one group "
                                  "differs across repeated measures. Followed by pairwise "
                                  "Wilcoxon signed-rank post-hoc tests.");
    }

    if (!paired && replicates)
        out << QStringLiteral("Replicates with the same ID are aggregated within each category "
                              "before the independent test, avoiding pseudoreplication. "
                              "Double-click a dataset to assign its ID.");
    else if (paired && replicates)
        out << QStringLiteral("IDs use the format ID.BioRep.TechRep. Technical replicates (same "
                              "ID and bio rep) are aggregated first, then biological replicates "
                              "(same ID) are aggregated. Matching uses the ID number. "
                              "Double-click a dataset to assign its IDs.");
    else if (paired)
        out << QStringLiteral("Datasets sharing the same ID are treated as biological replicates "
                              "and aggregated. Matching uses the ID number. Double-click a "
                              "dataset to assign its ID.");

    const int m = testCount(selectedFeatureCount(), k);
    if (m >= 2) {
        const QString correction = m_correctionCombo->currentText();
        if (correction == QLatin1String("Bonferroni"))
            out << QStringLiteral("Bonferroni correction: %1 is divided by %2 tests (%3=%4). "
                                  "Simple and conservative.")
                       .arg(QStringLiteral("α"))
                       .arg(m)
                       .arg(QStringLiteral("α*"))
                       .arg(QString::number(alpha / m, 'g', 4));
        else if (correction == QLatin1String("Holm-Bonferroni"))
            out << QStringLiteral("Holm-Bonferroni step-down correction across %1 tests. Less "
                                  "conservative than Bonferroni while controlling the "
                                  "family-wise error rate.")
                       .arg(m);
        else
            out << QStringLiteral("No correction applied across %1 tests. Risk of false "
                                  "positives increases with the number of comparisons.")
                       .arg(m);
    }

    if (paired && k >= 2) {
        int n = -1;
        for (const CategoryPanel* panel : m_categoryPanels) {
            std::set<int> subjects;
            for (const CategoryDatasetEntry& entry : panel->entries())
                if (entry.numberId > 0)
                    subjects.insert(entry.numberId);
            if (!subjects.empty() && (n < 0 || static_cast<int>(subjects.size()) < n))
                n = static_cast<int>(subjects.size());
        }
        if (n >= 1 && n <= 10) {
            // The uncorrected level: with this few pairs no correction can help.
            const ReachabilityCheck check =
                checkReachability(n, alpha, MultipleCorrection::None, 1, 2);
            out << QStringLiteral("With %1 matched observations, the minimum achievable p-value "
                                  "(Wilcoxon) is %2%3.")
                       .arg(n)
                       .arg(QStringLiteral("≈"))
                       .arg(QString::number(check.pMin, 'g', 3));
            if (!check.reachable)
                out << QStringLiteral("This exceeds %1=%2 — significance cannot be reached "
                                      "regardless of effect size. More matched observations are "
                                      "needed.")
                           .arg(QStringLiteral("α"))
                           .arg(QString::number(alpha, 'g', 3));
        }
    }
    return out;
}

QStringList StatisticalEvalWindow::rocParagraphs() const {
    const int k = static_cast<int>(m_categoryPanels.size());
    QStringList out{summaryParagraph(m_summaryCombo->currentIndex())};
    out << QStringLiteral("ROC analysis evaluates how well each feature separates two "
                          "categories. Each dataset is reduced to a single summary value, then "
                          "receiver operating characteristic curves are computed per feature.");
    if (m_replicatesCheck->isChecked())
        out << QStringLiteral("Replicates are included: datasets sharing the same ID are "
                              "aggregated before ROC analysis to avoid pseudoreplication. "
                              "Double-click a dataset to assign its IDs.");
    if (k < 2)
        out << QStringLiteral("Add at least 2 categories with datasets to run ROC analysis.");
    else if (k > 2)
        out << QStringLiteral("More than 2 categories present — you will be asked to select the "
                              "negative (reference) and positive (condition) classes.");
    return out;
}

QStringList StatisticalEvalWindow::distributionParagraphs() const {
    QStringList out{QStringLiteral(
        "Explore the full event-level distributions of selected features across categories. "
        "This helps identify whether groups differ in location, spread, or shape.")};
    if (m_distributionModeCombo->currentIndex() == 1)
        out << QStringLiteral("Per-category mode: for each category, the per-dataset density "
                              "curves are averaged pointwise (equal weight per dataset). The "
                              "shaded band shows ±1 SD of the density across datasets, "
                              "indicating how consistently the distribution shape is reproduced "
                              "within a category.");
    else
        out << QStringLiteral("Per-dataset mode: each dataset is shown as an individual density "
                              "curve, colored by its category.");
    if (selectedFeatureCount() == 0)
        out << QStringLiteral("Select one or more features to display.");
    if (m_categoryPanels.empty())
        out << QStringLiteral("Add categories with datasets to explore distributions.");
    return out;
}

void StatisticalEvalWindow::autoDetectNumberIds() {
    int detected = 0;
    int total = 0;
    for (CategoryPanel* panel : m_categoryPanels) {
        // The setters rebuild the panel's rows; walk a copy of its entries.
        const std::vector<CategoryDatasetEntry> entries = panel->entries();
        for (const CategoryDatasetEntry& entry : entries) {
            ++total;
            std::string subject = entry.displayName.toStdString();
            FoundNumber id = findNumber(idPattern(), subject);
            if (!id.matched && !entry.sampleName.empty()) {
                subject = entry.sampleName;
                id = findNumber(idPattern(), subject);
            }
            // An ID whose digits overflow an int names no subject we could
            // match on: the entry stays as it is and counts as undetected.
            if (!id.value)
                continue;
            panel->setNumberId(entry.datasetId, *id.value);
            ++detected;
            if (const std::optional<int> bio = findNumber(bioRepPattern(), subject).value)
                panel->setBioRepId(entry.datasetId, *bio);
            if (const std::optional<int> tech = findNumber(techRepPattern(), subject).value)
                panel->setTechRepId(entry.datasetId, *tech);
        }
    }

    const QString title = QStringLiteral("Auto-detect IDs");
    if (detected == 0 && total >= 1)
        DialogProvider::current().information(
            this, title,
            QStringLiteral("No IDs detected. Use the naming convention ID#, BR#, TR# in dataset "
                           "names (e.g. \"Sample ID1 BR2 TR1\").\n\nID = subject/sample "
                           "identifier\nBR = biological replicate (optional)\nTR = technical "
                           "replicate (optional)"),
            QMessageBox::Ok);
    else if (detected < total)
        DialogProvider::current().information(
            this, title,
            QStringLiteral("Detected IDs in %1 of %2 datasets. Remaining datasets need manual "
                           "assignment or names containing ID#.")
                .arg(detected)
                .arg(total),
            QMessageBox::Ok);
}

} // namespace Quorvex3
