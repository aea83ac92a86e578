// The statistical summary export: the table over fixture measurements
// (figures worked out by hand, random data against numpy/scipy), the
// dialog's choices, and the main window's export with its refusals,
// questions and failures.
#include "MainWindowTestSupport.h"
#include "app/MainWindow.h"
#include "app/StatSummaryTable.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "stats/StatSummaryExportDialog.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCodec>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::DialogCall;
using testing::RtdcFixtureWriter;
using testing::ScriptedDialogProvider;
using testing::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Columns = std::vector<std::pair<std::string, std::vector<double>>>;

void writeMeasurement(const std::string& path, const Columns& columns) {
    RtdcFixtureWriter w(path);
    for (const auto& [name, values] : columns)
        w.addColumn<double>(name, values);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

StatSummaryResult everyStatistic(std::vector<std::string> features, double percentile = 95.0) {
    StatSummaryResult r;
    r.features = std::move(features);
    r.includeIQR = r.includeSEM = r.includeQ1 = r.includeQ3 = r.includeMin = true;
    r.includeMax = r.includeCV = r.includeSkewness = r.includePercentile = true;
    r.percentile = percentile;
    return r;
}

/// An open reader of a fixture file.
std::shared_ptr<RTDCReader> openReader(const std::string& path) {
    auto reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(reader->openFile(path)) << path;
    return reader;
}

// ---- the table ----------------------------------------------------------------------

class StatSummaryTable : public ::testing::Test {
protected:
    std::shared_ptr<RTDCReader> measurement(const std::string& name, const Columns& columns) {
        const std::string path = m_dir.file(name);
        writeMeasurement(path, columns);
        return openReader(path);
    }
    TempDir m_dir;
};

TEST_F(StatSummaryTable, EveryStatisticOfOneToFourHasTheHandFigures) {
    const auto reader = measurement("a.rtdc", {{"area_um", {3, 1, 4, 2}}});
    const std::string table =
        buildStatSummaryTable({{"A", reader.get(), EventFilter()}}, everyStatistic({"area_um"}));
    // Q(p) = v[k](1 - f) + f v[k+1] with h = 3p: Q1 1.75, Q3 3.25, P95 3.85;
    // SD = sqrt(5/3), SEM = SD/2, CV = SD*100/2.5; symmetric, so skewness 0.
    const std::string label = "Area [\xC2\xB5m\xC2\xB2]";
    std::string header = "Dataset";
    for (const char* column : {"N", "Median", "IQR", "Q1", "Q3", "P95.0", "Mean", "SD", "SEM",
                               "CV (%)", "Min", "Max", "Skewness"})
        header += "\t" + label + " " + column;
    EXPECT_EQ(table, header + "\nA\t4\t2.5\t1.5\t1.75\t3.25\t3.85\t2.5\t1.29099\t0.645497\t"
                              "51.6398\t1\t4\t0\n");
}

TEST_F(StatSummaryTable, EdgeRowsOfOneFeature) {
    const struct {
        const char* what;
        std::vector<double> values;
        double percentile;
        const char* row; // the cells after the name
    } cases[] = {
        {"one value", {7}, 95.0, "1\t7\t0\t7\t7\t7\t7\t0\t0\t0\t7\t7\t0"},
        {"five equal values", {2, 2, 2, 2, 2}, 95.0, "5\t2\t0\t2\t2\t2\t2\t0\t0\t0\t2\t2\t0"},
        {"all NaN", {kNaN, kNaN}, 95.0, "0\t\t\t\t\t\t\t\t\t\t\t\t"},
        {"non-finite values skipped",
         {kNaN, 1, kInf, 3, -kInf},
         95.0,
         "2\t2\t1\t1.5\t2.5\t2.9\t2\t1.41421\t1\t70.7107\t1\t3\t0"},
        {"percentile 100 is the maximum",
         {5, 1, 9, 3},
         100.0,
         "4\t4\t3.5\t2.5\t6\t9\t4.5\t3.41565\t1.70783\t75.9033\t1\t9\t0.434651"},
        {"percentile 0 is the minimum",
         {5, 1, 9, 3},
         0.0,
         "4\t4\t3.5\t2.5\t6\t1\t4.5\t3.41565\t1.70783\t75.9033\t1\t9\t0.434651"},
        {"zero mean: CV 0", {-1, 1}, 95.0, "2\t0\t1\t-0.5\t0.5\t0.9\t0\t1.41421\t1\t0\t-1\t1\t0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto reader = measurement(std::string(c.what) + ".rtdc", {{"feat", c.values}});
        const auto rows = lines(buildStatSummaryTable({{"D", reader.get(), EventFilter()}},
                                                      everyStatistic({"feat"}, c.percentile)));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1], std::string("D\t") + c.row);
    }
}

TEST_F(StatSummaryTable, MissingFeaturesHiddenEventsAndShortColumns) {
    const auto first = measurement("first.rtdc", {{"a", {1, 2, 3, 4}}});
    const auto second = measurement("second.rtdc", {{"a", {10, 20, 30, 40}}, {"b", {1, 2, 3, 4}}});
    // A computed column shorter than the measurement (a failed or partial
    // computation): only its own two values count, nothing is read past it.
    second->addCalculatedFeature("short_feature", {5.0, 7.0});
    EventFilter hideAll;
    FilterRule rule;
    rule.featureName = "a";
    rule.minValue = 100.0;
    rule.maxValue = 200.0;
    hideAll.addRule(rule);
    StatSummaryResult r;
    r.features = {"b", "a", "short_feature"};
    r.includeMedian = false; // N, Mean, SD
    const auto rows = lines(buildStatSummaryTable({{"first", first.get(), EventFilter()},
                                                   {"second", second.get(), EventFilter()},
                                                   {"second hidden", second.get(), hideAll},
                                                   {"no reader", nullptr, EventFilter()}},
                                                  r));
    ASSERT_EQ(rows.size(), 5u);
    // "b" takes its label from the second dataset, the first that has it.
    EXPECT_EQ(rows[0], "Dataset\tb N\tb Mean\tb SD\ta N\ta Mean\ta SD\tshort_feature N\t"
                       "short_feature Mean\tshort_feature SD");
    EXPECT_EQ(rows[1], "first\t\t\t\t4\t2.5\t1.29099\t\t\t");
    EXPECT_EQ(rows[2], "second\t4\t2.5\t1.29099\t4\t25\t12.9099\t2\t6\t1.41421");
    EXPECT_EQ(rows[3], "second hidden\t0\t\t\t0\t\t\t0\t\t");
    EXPECT_EQ(rows[4], "no reader\t\t\t\t\t\t\t\t\t");
}

TEST_F(StatSummaryTable, TabsAndLineBreaksInNamesBecomeBlanks) {
    const auto reader = measurement("a.rtdc", {{"a", {1, 2}}});
    StatSummaryResult r;
    r.features = {"a"};
    r.includeMedian = r.includeMean = r.includeSD = false;
    EXPECT_EQ(buildStatSummaryTable({{"x\ty\nz", reader.get(), EventFilter()}}, r),
              "Dataset\ta N\nx y z\t2\n");
}

TEST_F(StatSummaryTable, RandomDataAgreesWithNumpyAndScipy) {
    std::mt19937_64 rng(42);
    std::lognormal_distribution<double> skewed(1.0, 0.6);
    std::normal_distribution<double> normal(-3.0, 2.0);
    Columns columns;
    for (int f = 0; f < 6; ++f) {
        std::vector<double> v(f == 5 ? 3 : 200 + 37 * f);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = f % 2 ? normal(rng) : skewed(rng) * 1000.0;
        if (f == 2)
            v[17] = kNaN, v[50] = kInf;
        columns.push_back({"f" + std::to_string(f), v});
    }
    // The fixture holds equally long columns: each dataset one column padded
    // with NaN, which the table skips like numpy's finite mask.
    const std::string data = m_dir.file("columns.bin");
    std::ofstream bin(data, std::ios::binary);
    std::vector<std::shared_ptr<RTDCReader>> readers;
    std::vector<StatSummarySource> sources;
    for (auto& [name, v] : columns) {
        const auto n = static_cast<std::int64_t>(v.size());
        bin.write(reinterpret_cast<const char*>(&n), sizeof n);
        bin.write(reinterpret_cast<const char*>(v.data()),
                  static_cast<std::streamsize>(v.size() * sizeof(double)));
        std::vector<double> padded = v;
        padded.resize(500, kNaN);
        readers.push_back(measurement(name + ".rtdc", {{"x", padded}}));
        sources.push_back({name, readers.back().get(), EventFilter()});
    }
    bin.close();
    for (const double percentile : {95.0, 12.5}) {
        SCOPED_TRACE(percentile);
        const auto rows = lines(buildStatSummaryTable(sources, everyStatistic({"x"}, percentile)));
        FILE* pipe = ::popen(("/usr/bin/python3 '" QUORVEX3_TEST_DIR "/stat_summary_oracle.py' '" +
                              data + "' " + std::to_string(percentile))
                                 .c_str(),
                             "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ASSERT_EQ(::pclose(pipe), 0) << output;
        const auto expected = lines(output);
        ASSERT_EQ(expected.size(), columns.size());
        ASSERT_EQ(rows.size(), columns.size() + 1);
        for (std::size_t i = 0; i < columns.size(); ++i)
            EXPECT_EQ(rows[i + 1], columns[i].first + "\t" + expected[i]);
    }
}

// ---- the dialog ---------------------------------------------------------------------

class StatSummaryDialog : public ::testing::Test {
protected:
    DatasetEntry& add(const std::string& folder, const Columns& columns) {
        QDir().mkpath(QString::fromStdString(m_dir.file(folder)));
        auto entry = std::make_unique<DatasetEntry>();
        entry->id = static_cast<int>(m_datasets.size());
        entry->filePath = m_dir.file(folder + "/m" + std::to_string(entry->id) + ".rtdc");
        writeMeasurement(entry->filePath, columns);
        entry->reader = openReader(entry->filePath);
        entry->featuresLoaded = true;
        m_datasets.push_back(std::move(entry));
        return *m_datasets.back();
    }
    static QCheckBox* box(QDialog& d, const QString& name) {
        auto* b = d.findChild<QCheckBox*>(name);
        EXPECT_NE(b, nullptr) << name.toStdString();
        return b;
    }
    static QRadioButton* radio(QDialog& d, const char* name) {
        return d.findChild<QRadioButton*>(QLatin1String(name));
    }
    TempDir m_dir;
    std::vector<std::unique_ptr<DatasetEntry>> m_datasets;
};

TEST_F(StatSummaryDialog, FirstOpeningOffersTheCurrentDatasetsFeatures) {
    DatasetEntry& current = add("run1", {{"deform", {1}}, {"area_um", {1}}});
    add("run2", {{"deform", {1}}, {"zeta", {1}}, {"bright_avg", {1}}});
    StatSummaryExportDialog d(&current, m_datasets, nullptr, nullptr);
    EXPECT_EQ(d.windowTitle(), "Export Statistical Summary");
    EXPECT_TRUE(radio(d, "currentOnlyRadio")->isChecked());
    EXPECT_EQ(radio(d, "allDatasetsRadio")->text(), "All datasets (2)");
    EXPECT_TRUE(radio(d, "allDatasetsRadio")->isEnabled());
    const StatSummaryResult r = d.getResult();
    // Own features in byte order, then the others' in byte order.
    EXPECT_EQ(r.features, (std::vector<std::string>{"area_um", "deform"}));
    EXPECT_EQ(box(d, "feature:area_um")->text(), QString::fromUtf8("Area [µm²]  [area_um]"));
    EXPECT_EQ(box(d, "feature:zeta")->text(), "zeta  [zeta]");
    EXPECT_TRUE(box(d, "feature:zeta")->isHidden());
    EXPECT_EQ(box(d, "feature:zeta")->toolTip(),
              "Not available in current dataset (available in other datasets)");
    EXPECT_EQ(box(d, "feature:zeta")->palette().color(QPalette::Disabled, QPalette::WindowText),
              QColor(160, 160, 160));
    EXPECT_FALSE(box(d, "feature:deform")->isHidden());
    EXPECT_TRUE(r.includeN && r.includeMedian && r.includeIQR);
    EXPECT_FALSE(r.includeMean || r.includeSD || r.includeSEM || r.includeQ1 || r.includeQ3 ||
                 r.includeMin || r.includeMax || r.includeCV || r.includeSkewness ||
                 r.includePercentile);
    EXPECT_EQ(r.percentile, 95.0);
    EXPECT_FALSE(d.findChild<QDoubleSpinBox*>("percentileSpin")->isEnabled());
    EXPECT_EQ(QString::fromStdString(r.outputPath),
              QString::fromStdString(m_dir.file("run1")) + "/statistical_summary.tsv");
    EXPECT_FALSE(r.allDatasets);
}

TEST_F(StatSummaryDialog, ScopeSelectionAndPercentile) {
    DatasetEntry& current = add("run1", {{"deform", {1}}});
    add("run2", {{"area_um", {1}}, {"zeta", {1}}});
    StatSummaryExportDialog d(&current, m_datasets, nullptr, nullptr);
    d.findChild<QPushButton*>("deselectAllButton")->click();
    d.findChild<QPushButton*>("selectAllButton")->click();
    // Hidden boxes stay unchecked under "Select All".
    EXPECT_EQ(d.getResult().features, std::vector<std::string>{"deform"});
    radio(d, "allDatasetsRadio")->setChecked(true);
    EXPECT_FALSE(box(d, "feature:zeta")->isHidden());
    box(d, "feature:zeta")->setChecked(true);
    radio(d, "currentOnlyRadio")->setChecked(true);
    EXPECT_TRUE(box(d, "feature:zeta")->isHidden());
    // Checked while shown, still returned while hidden.
    EXPECT_EQ(d.getResult().features, (std::vector<std::string>{"deform", "zeta"}));
    d.findChild<QPushButton*>("deselectAllButton")->click();
    EXPECT_TRUE(d.getResult().features.empty());

    auto* percentile = d.findChild<QDoubleSpinBox*>("percentileSpin");
    box(d, "statPercentile")->setChecked(true);
    EXPECT_TRUE(percentile->isEnabled());
    percentile->setValue(12.5);
    box(d, "statPercentile")->setChecked(false);
    EXPECT_FALSE(percentile->isEnabled());
    EXPECT_EQ(d.getResult().percentile, 12.5);
}

TEST_F(StatSummaryDialog, PreviousChoicesComeBack) {
    DatasetEntry& current = add("run1", {{"deform", {1}}, {"area_um", {1}}});
    StatSummaryResult previous = everyStatistic({"deform", "gone"}, 50.0);
    previous.includeN = false;
    previous.allDatasets = true;
    {
        // One dataset: "All datasets (1)" is disabled and not restored.
        StatSummaryExportDialog d(&current, m_datasets, nullptr, &previous);
        EXPECT_FALSE(radio(d, "allDatasetsRadio")->isEnabled());
        EXPECT_EQ(radio(d, "allDatasetsRadio")->text(), "All datasets (1)");
        const StatSummaryResult r = d.getResult();
        EXPECT_FALSE(r.allDatasets);
        EXPECT_EQ(r.features, std::vector<std::string>{"deform"});
        EXPECT_FALSE(r.includeN);
        EXPECT_TRUE(r.includeSkewness && r.includePercentile && r.includeMean && r.includeQ3);
        EXPECT_EQ(r.percentile, 50.0);
        // An empty remembered path keeps the default.
        EXPECT_EQ(QString::fromStdString(r.outputPath),
                  QString::fromStdString(m_dir.file("run1")) + "/statistical_summary.tsv");
    }
    add("run2", {{"zeta", {1}}});
    previous.features = {"zeta"};
    previous.outputPath = "/elsewhere/out.tsv ";
    StatSummaryExportDialog d(&current, m_datasets, nullptr, &previous);
    EXPECT_TRUE(radio(d, "allDatasetsRadio")->isChecked());
    EXPECT_FALSE(box(d, "feature:zeta")->isHidden());
    EXPECT_EQ(d.getResult().features, std::vector<std::string>{"zeta"});
    EXPECT_EQ(d.getResult().outputPath, "/elsewhere/out.tsv ");
}

TEST_F(StatSummaryDialog, BrowseReplacesThePathOnlyWhenAnswered) {
    DatasetEntry& current = add("run1", {{"deform", {1}}});
    StatSummaryExportDialog d(&current, m_datasets, nullptr, nullptr);
    auto* edit = d.findChild<QLineEdit*>("outputPathEdit");
    const QString start = edit->text();
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    d.findChild<QPushButton*>("browseButton")->click(); // cancelled
    EXPECT_EQ(edit->text(), start);
    EXPECT_FALSE(d.outputPickedThroughBrowse());
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].title, "Save Statistical Summary");
    EXPECT_EQ(dialogs.calls[0].text, "TSV files (*.tsv);;All files (*)");
    EXPECT_EQ(dialogs.calls[0].dir, start);
    dialogs.fileAnswers = {"/tmp/picked.tsv"};
    d.findChild<QPushButton*>("browseButton")->click();
    EXPECT_EQ(edit->text(), "/tmp/picked.tsv");
    EXPECT_TRUE(d.outputPickedThroughBrowse());
    edit->setText("/tmp/typed.tsv");
    EXPECT_FALSE(d.outputPickedThroughBrowse());
}

// ---- the main window's export --------------------------------------------------------

class StatSummaryExport : public ::testing::Test {
protected:
    void SetUp() override { m_window = std::make_unique<MainWindow>(); }
    void TearDown() override { m_window.reset(); }

    void open(const std::string& name, const Columns& columns) {
        const std::string path = m_dir.file(name);
        writeMeasurement(path, columns);
        const size_t before = m_window->datasets().size();
        m_window->addDataset(QString::fromStdString(path));
        ASSERT_TRUE(test::waitUntil([&] {
            return m_window->datasets().size() == before + 1 &&
                   m_window->datasets().back()->featuresLoaded;
        }));
    }
    /// Runs the export; the dialog is accepted after `fill` (when given)
    /// set its output path to `path`, or rejected without `fill`.
    void run(ScriptedDialogProvider& dialogs, const std::function<void(QDialog&)>& fill) {
        dialogs.dialogScript = [&fill](QDialog& d) {
            if (!fill)
                return static_cast<int>(QDialog::Rejected);
            fill(d);
            return static_cast<int>(QDialog::Accepted);
        };
        ScopedDialogProvider guard(dialogs);
        QAction* action = test::actionNamed(test::menuNamed(*m_window, "&Export"),
                                            "Export Statistical &Summary...");
        ASSERT_NE(action, nullptr);
        action->trigger();
    }
    static std::function<void(QDialog&)> writeTo(const std::string& path) {
        return [path](QDialog& d) {
            d.findChild<QLineEdit*>("outputPathEdit")->setText(QString::fromStdString(path));
        };
    }
    /// The message boxes of the run, as "kind: text".
    static std::vector<std::string> boxes(const ScriptedDialogProvider& dialogs) {
        std::vector<std::string> out;
        for (const DialogCall& c : dialogs.calls) {
            const char* kind = c.kind == DialogCall::Information ? "information"
                               : c.kind == DialogCall::Warning   ? "warning"
                               : c.kind == DialogCall::Question  ? "question"
                                                                 : nullptr;
            if (kind) {
                EXPECT_EQ(c.title, "Export");
                out.push_back(std::string(kind) + ": " + c.text.toStdString());
            }
        }
        return out;
    }
    TempDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(StatSummaryExport, WithoutALoadedDatasetItWarns) {
    ScriptedDialogProvider dialogs;
    run(dialogs, writeTo(m_dir.file("out.tsv")));
    EXPECT_EQ(boxes(dialogs),
              std::vector<std::string>{"warning: No loaded dataset available for export."});
    EXPECT_EQ(dialogs.count(DialogCall::Dialog), 0);
}

/// Reads the output file while the success box is open.
class FileAtSuccessDialogs : public ScriptedDialogProvider {
public:
    std::string path;
    std::string atSuccess = "<no box>";
    QMessageBox::StandardButton information(QWidget* parent, const QString& title,
                                            const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton def) override {
        atSuccess = readFile(path);
        return ScriptedDialogProvider::information(parent, title, text, buttons, def);
    }
};

TEST_F(StatSummaryExport, WritesTheTableAndSaysSoAfterwards) {
    open("a.rtdc", {{"area_um", {1, 2, 3, 4}}, {"deform", {0.5, 0.5, 0.5, 0.5}}});
    const std::string out = m_dir.file("summary.tsv");
    FileAtSuccessDialogs dialogs;
    dialogs.path = out;
    run(dialogs, writeTo(out));
    EXPECT_EQ(boxes(dialogs),
              std::vector<std::string>{"information: Statistical summary exported to:\n" + out});
    const std::string expected = "Dataset\tArea [\xC2\xB5m\xC2\xB2] N\tArea [\xC2\xB5m\xC2\xB2] "
                                 "Median\tArea [\xC2\xB5m\xC2\xB2] IQR\tDeformation N\t"
                                 "Deformation Median\tDeformation IQR\n"
                                 "a.rtdc\t4\t2.5\t1.5\t4\t0.5\t0\n";
    EXPECT_EQ(dialogs.atSuccess, expected);
    EXPECT_EQ(readFile(out), expected);
}

TEST_F(StatSummaryExport, RefusalsKeepOrForgetTheChoicesAsDocumented) {
    open("a.rtdc", {{"area_um", {1, 2, 3, 4}}});
    const std::string out = m_dir.file("summary.tsv");
    const struct {
        const char* what;
        std::function<void(QDialog&)> fill;
        const char* box; // null: none
    } cases[] = {
        {"cancelled", nullptr, nullptr},
        {"no feature", [](QDialog& d) { d.findChild<QPushButton*>("deselectAllButton")->click(); },
         "warning: No features selected."},
        {"empty path", writeTo(""), "warning: No output file selected."},
        {"blank path", writeTo("  "), "warning: No output file selected."},
        {"no statistic",
         [](QDialog& d) {
             for (const char* s : {"statN", "statMedian", "statIQR"})
                 d.findChild<QCheckBox*>(s)->setChecked(false);
         },
         "warning: No statistics selected."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDialogProvider dialogs;
        run(dialogs, c.fill);
        EXPECT_EQ(boxes(dialogs),
                  c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{});
        EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    }
    // The refusals after the feature check were remembered, "no feature" was not:
    // the next dialog opens with no statistic and the area feature checked.
    ScriptedDialogProvider dialogs;
    StatSummaryResult offered;
    run(dialogs, [&](QDialog& d) {
        offered = static_cast<StatSummaryExportDialog&>(d).getResult();
        writeTo(out)(d);
    });
    EXPECT_EQ(offered.features, std::vector<std::string>{"area_um"});
    EXPECT_FALSE(offered.includeN || offered.includeMedian || offered.includeIQR);
}

TEST_F(StatSummaryExport, AsksBeforeReplacingATypedNameWithNoAsDefault) {
    open("a.rtdc", {{"area_um", {1, 2, 3, 4}}});
    const std::string out = m_dir.file("old.tsv");
    testing::writeBytes(out, "old contents\n");
    {
        // No answer scripted: the box's default button answers.
        ScriptedDialogProvider dialogs;
        run(dialogs, writeTo(out));
        ASSERT_EQ(boxes(dialogs).size(), 1u);
        EXPECT_EQ(boxes(dialogs)[0],
                  "question: The file\n" + out + "\nalready exists. Do you want to replace it?");
        EXPECT_EQ(readFile(out), "old contents\n");
    }
    {
        ScriptedDialogProvider dialogs;
        dialogs.buttonAnswers = {QMessageBox::Yes};
        run(dialogs, writeTo(out));
        EXPECT_EQ(boxes(dialogs).back(), "information: Statistical summary exported to:\n" + out);
        EXPECT_EQ(lines(readFile(out)).size(), 2u);
    }
    {
        // Picked through "Browse...": its save dialog asked already.
        testing::writeBytes(out, "old contents\n");
        ScriptedDialogProvider dialogs;
        dialogs.fileAnswers = {QString::fromStdString(out)};
        run(dialogs, [](QDialog& d) { d.findChild<QPushButton*>("browseButton")->click(); });
        EXPECT_EQ(boxes(dialogs), std::vector<std::string>{
                                      "information: Statistical summary exported to:\n" + out});
        EXPECT_EQ(lines(readFile(out)).size(), 2u);
    }
}

TEST_F(StatSummaryExport, FailuresWarnWithThePathAndKeepTheOldFile) {
    open("a.rtdc", {{"area_um", {1, 2, 3, 4}}});
    // A read-only folder; root, whom permissions do not stop, gets a folder
    // that refuses new files to everyone.
    const std::string folder = m_dir.file("read-only");
    ::mkdir(folder.c_str(), 0555);
    const std::string unwritable =
        (::access(folder.c_str(), W_OK) == 0 ? std::string("/sys") : folder) + "/summary.tsv";
    {
        ScriptedDialogProvider dialogs;
        run(dialogs, writeTo(unwritable));
        EXPECT_EQ(boxes(dialogs), std::vector<std::string>{
                                      "warning: Could not open file for writing:\n" + unwritable});
        EXPECT_FALSE(QFile::exists(QString::fromStdString(unwritable)));
    }
    // A write that fails part-way (the file size limit) leaves the old file.
    const std::string out = m_dir.file("old.tsv");
    testing::writeBytes(out, "old contents\n");
    ScriptedDialogProvider dialogs;
    dialogs.buttonAnswers = {QMessageBox::Yes};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    run(dialogs, writeTo(out));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    const auto shown = boxes(dialogs);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].rfind("warning: Could not write file:\n" + out + "\n\n", 0), 0u) << shown[1];
    EXPECT_EQ(readFile(out), "old contents\n");
    EXPECT_EQ(QDir(QString::fromStdString(m_dir.path())).entryList(QDir::Hidden | QDir::Files),
              QDir(QString::fromStdString(m_dir.path())).entryList(QDir::Files));
}

TEST_F(StatSummaryExport, TextIsUtf8WhateverTheLocaleCodec) {
    open("Probe \xC2\xB5-1.rtdc", {{"area_um", {1, 2}}});
    QTextCodec* before = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const std::string out = m_dir.file("latin1-locale.tsv");
    ScriptedDialogProvider dialogs;
    run(dialogs, [&](QDialog& d) {
        writeTo(out)(d);
        d.findChild<QCheckBox*>("statMedian")->setChecked(false);
        d.findChild<QCheckBox*>("statIQR")->setChecked(false);
    });
    QTextCodec::setCodecForLocale(before);
    EXPECT_EQ(readFile(out), "Dataset\tArea [\xC2\xB5m\xC2\xB2] N\nProbe \xC2\xB5-1.rtdc\t2\n");
}

} // namespace
} // namespace Quorvex3
