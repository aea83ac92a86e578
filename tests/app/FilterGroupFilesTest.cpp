// Filter-group files: the export dialog, what an exported file holds and
// how it is written, importing with renamed clashes, and malformed or
// unreadable files that must change nothing.
#include "FilterGroupTestSupport.h"

#include "filters/FilterDockWidget.h"
#include "model/FilterGroup.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <limits>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using Quorvex3::testing::DialogCall;
using Quorvex3::testing::ScriptedDialogProvider;
using Quorvex3::testing::TempDir;
using test::polygonRule;
using test::rangeRule;

const QString kSaveFilter = QStringLiteral("Quorvex3 Filter Groups (*.qv3fg)");

/// Runs `act` on the next modal dialog that opens (from a timer, while the
/// dialog's own event loop runs).
void whenDialogOpens(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

QListWidget* listOf(QDialog* dialog) {
    return dialog->findChild<QListWidget*>();
}

QPushButton* okOf(QDialog* dialog) {
    return dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

QPushButton* buttonNamed(QDialog* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeText(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

/// Names and rule counts of the window's groups, for "nothing changed".
std::vector<std::pair<std::string, std::size_t>> groupSummary(const MainWindow& window) {
    std::vector<std::pair<std::string, std::size_t>> summary;
    for (const auto& group : window.filterGroups())
        summary.emplace_back(group->name, group->rules.size());
    return summary;
}

std::vector<std::string> groupNames(const MainWindow& window) {
    std::vector<std::string> names;
    for (const auto& group : window.filterGroups())
        names.push_back(group->name);
    return names;
}

class FilterGroupFiles : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    QString file(const char* name) const { return QString::fromStdString(m_dir.file(name)); }

    QString infoText() { return m_window.findChild<QLabel*>(QStringLiteral("infoLabel"))->text(); }

    /// Exports with the dialog accepted as it opens (every group checked).
    void exportAll(MainWindow& window, const QString& path) {
        m_dialogs.fileAnswers.push_back(path);
        whenDialogOpens([](QDialog* dialog) { dialog->accept(); });
        QMetaObject::invokeMethod(&window, "exportFilterGroupsToFile", Qt::DirectConnection);
    }

    void importFrom(MainWindow& window, const QString& path) {
        m_dialogs.fileAnswers.push_back(path);
        QMetaObject::invokeMethod(&window, "importFilterGroupsFromFile", Qt::DirectConnection);
    }

    /// Three groups with range and polygon rules, one bound infinite.
    void addSampleGroups(MainWindow& window) {
        const int a = window.addFilterGroup("Singlets");
        window.addRuleToGroup(a, rangeRule("area_um", 15.25, 45.5));
        FilterRule open = rangeRule("deform", -std::numeric_limits<double>::infinity(), 0.03);
        open.inverted = true;
        window.addRuleToGroup(a, open);
        const int b = window.addFilterGroup("Debris \xc2\xb5");
        FilterRule polygon = polygonRule({{10.0, 0.01}, {50.0, 0.01}, {30.0, 0.05}});
        polygon.scaleXMode = 2;
        polygon.enabled = false;
        window.addRuleToGroup(b, polygon);
        window.addFilterGroup("Empty");
    }

    TempDir m_dir;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
    MainWindow m_window;
};

// ---- export ------------------------------------------------------------------------

TEST_F(FilterGroupFiles, ExportWithoutGroupsOnlySaysSo) {
    QMetaObject::invokeMethod(&m_window, "exportFilterGroupsToFile", Qt::DirectConnection);
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Information);
    EXPECT_EQ(m_dialogs.calls[0].title, QStringLiteral("Export Filter Groups"));
    EXPECT_EQ(m_dialogs.calls[0].text, QStringLiteral("There are no filter groups to export."));
}

TEST_F(FilterGroupFiles, ExportDialogListsEveryGroupCheckedAndOkFollowsTheChecks) {
    addSampleGroups(m_window);
    bool inspected = false;
    whenDialogOpens([&](QDialog* dialog) {
        inspected = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Export Filter Groups"));
        EXPECT_EQ(dialog->size(), QSize(360, 360));
        EXPECT_EQ(dialog->parentWidget(), &m_window);
        QListWidget* list = listOf(dialog);
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->item(1)->text(), QStringLiteral("Debris \u00b5"));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(list->item(i)->checkState(), Qt::Checked);
        EXPECT_TRUE(okOf(dialog)->isEnabled());

        buttonNamed(dialog, QStringLiteral("Select None"))->click();
        EXPECT_FALSE(okOf(dialog)->isEnabled());
        list->item(2)->setCheckState(Qt::Checked);
        EXPECT_TRUE(okOf(dialog)->isEnabled());
        list->item(2)->setCheckState(Qt::Unchecked);
        EXPECT_FALSE(okOf(dialog)->isEnabled());
        buttonNamed(dialog, QStringLiteral("Select All"))->click();
        EXPECT_TRUE(okOf(dialog)->isEnabled());
        dialog->reject();
    });
    QMetaObject::invokeMethod(&m_window, "exportFilterGroupsToFile", Qt::DirectConnection);
    EXPECT_TRUE(inspected);
    // Cancelled: no file was asked for.
    EXPECT_TRUE(m_dialogs.calls.empty());
}

TEST_F(FilterGroupFiles, ExportWritesTheCheckedGroupsInListOrder) {
    addSampleGroups(m_window);
    m_dialogs.fileAnswers.push_back(file("chosen"));
    whenDialogOpens([](QDialog* dialog) {
        listOf(dialog)->item(1)->setCheckState(Qt::Unchecked);
        okOf(dialog)->click();
    });
    QMetaObject::invokeMethod(&m_window, "exportFilterGroupsToFile", Qt::DirectConnection);

    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::SaveFile);
    EXPECT_EQ(m_dialogs.calls[0].title, QStringLiteral("Export Filter Groups"));
    EXPECT_EQ(m_dialogs.calls[0].text, kSaveFilter);
    EXPECT_TRUE(m_dialogs.calls[0].dir.isEmpty());
    EXPECT_EQ(infoText(), QStringLiteral("Exported 2 filter group(s)."));

    // The extension of the chosen filter was added.
    const QJsonDocument document = QJsonDocument::fromJson(readAll(file("chosen.qv3fg")));
    ASSERT_TRUE(document.isObject());
    const QJsonObject root = document.object();
    EXPECT_EQ(root.value(QStringLiteral("formatVersion")).toInt(), 1);
    const QJsonArray groups = root.value(QStringLiteral("groups")).toArray();
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0].toObject().value(QStringLiteral("name")).toString(),
              QStringLiteral("Singlets"));
    EXPECT_EQ(groups[1].toObject().value(QStringLiteral("name")).toString(),
              QStringLiteral("Empty"));
    const QJsonArray rules = groups[0].toObject().value(QStringLiteral("rules")).toArray();
    ASSERT_EQ(rules.size(), 2);
    const QJsonObject second = rules[1].toObject();
    EXPECT_EQ(second.size(), 11);
    EXPECT_EQ(second.value(QStringLiteral("featureName")).toString(), QStringLiteral("deform"));
    EXPECT_EQ(second.value(QStringLiteral("minValue")).toString(), QStringLiteral("-inf"));
    EXPECT_EQ(second.value(QStringLiteral("maxValue")).toDouble(), 0.03);
    EXPECT_TRUE(second.value(QStringLiteral("inverted")).toBool());
    EXPECT_EQ(second.value(QStringLiteral("propagationId")).toString(), QString());
    EXPECT_TRUE(groups[1].toObject().value(QStringLiteral("rules")).toArray().isEmpty());
}

TEST_F(FilterGroupFiles, ExportStopsSilentlyWhenNoPathIsChosen) {
    addSampleGroups(m_window);
    const QString before = infoText();
    exportAll(m_window, QString());
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::SaveFile);
    EXPECT_EQ(infoText(), before);
}

TEST_F(FilterGroupFiles, WrittenFileIsJsonThatPythonAcceptsAndReadsBackIdentically) {
    addSampleGroups(m_window);
    const QString first = file("first.qv3fg");
    exportAll(m_window, first);
    ASSERT_FALSE(readAll(first).isEmpty());

    if (QFile::exists(QStringLiteral("/usr/bin/python3"))) {
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-m"), QStringLiteral("json.tool"), first});
        ASSERT_TRUE(python.waitForFinished(30000));
        EXPECT_EQ(python.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    }

    MainWindow other;
    importFrom(other, first);
    EXPECT_EQ(groupSummary(other), groupSummary(m_window));
    const QString second = file("second.qv3fg");
    exportAll(other, second);
    EXPECT_EQ(readAll(second), readAll(first));
}

TEST_F(FilterGroupFiles, AnUnopenableTargetIsReportedAndNothingIsWritten) {
    addSampleGroups(m_window);
    const QString path = file("missing-folder/groups.qv3fg");
    exportAll(m_window, path);
    ASSERT_EQ(m_dialogs.count(DialogCall::Critical), 1);
    EXPECT_EQ(m_dialogs.calls.back().title, QStringLiteral("Export Filter Groups"));
    EXPECT_EQ(m_dialogs.calls.back().text,
              QStringLiteral("Failed to open file for writing:\n") + path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_NE(infoText(), QStringLiteral("Exported 3 filter group(s)."));
}

/// Lowers the largest file this process may write, for its lifetime; the
/// write beyond it then fails with EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit lowered = m_previous;
        lowered.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_active = false;
};

TEST_F(FilterGroupFiles, AFailedWriteIsReportedAndKeepsTheExistingFile) {
    addSampleGroups(m_window);
    const QString path = file("kept.qv3fg");
    const QByteArray precious = "{\"formatVersion\": 1, \"groups\": []}\n";
    writeText(path, precious);
    {
        FileSizeLimit limit(static_cast<rlim_t>(precious.size()) + 8);
        ASSERT_TRUE(limit.active());
        exportAll(m_window, path);
    }
    ASSERT_EQ(m_dialogs.count(DialogCall::Critical), 1);
    EXPECT_EQ(m_dialogs.calls.back().title, QStringLiteral("Export Filter Groups"));
    EXPECT_EQ(m_dialogs.calls.back().text, QStringLiteral("Failed to write file:\n") + path);
    EXPECT_EQ(readAll(path), precious);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(QString::fromStdString(m_dir.path())).entryList(QDir::Files),
              QStringList{QStringLiteral("kept.qv3fg")});
}

TEST_F(FilterGroupFiles, ASuccessfulExportReplacesAnExistingFile) {
    addSampleGroups(m_window);
    const QString path = file("old.qv3fg");
    writeText(path, "old content that is longer than nothing");
    exportAll(m_window, path);
    const QJsonDocument document = QJsonDocument::fromJson(readAll(path));
    ASSERT_TRUE(document.isObject());
    EXPECT_EQ(document.object().value(QStringLiteral("groups")).toArray().size(), 3);
    EXPECT_EQ(infoText(), QStringLiteral("Exported 3 filter group(s)."));
}

// ---- import ------------------------------------------------------------------------

TEST_F(FilterGroupFiles, ImportAsksWithItsTitleAndFiltersAndStopsWhenCancelled) {
    m_window.addFilterGroup("A");
    importFrom(m_window, QString());
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::OpenFile);
    EXPECT_EQ(m_dialogs.calls[0].title, QStringLiteral("Import Filter Groups"));
    EXPECT_EQ(m_dialogs.calls[0].text,
              QStringLiteral("Quorvex3 Filter Groups (*.qv3fg);;All Files (*)"));
    EXPECT_TRUE(m_dialogs.calls[0].dir.isEmpty());
    EXPECT_EQ(groupNames(m_window), (std::vector<std::string>{"A"}));
}

TEST_F(FilterGroupFiles, ClashingNamesGetTheSmallestFreeSuffixOnTheBaseName) {
    m_window.addFilterGroup("Gate");
    const QString path = file("gates.qv3fg");
    writeText(path, R"({"formatVersion": 1, "groups": [
        {"name": "Gate", "rules": []}, {"name": "Gate", "rules": []}]})");
    importFrom(m_window, path);
    EXPECT_EQ(groupNames(m_window), (std::vector<std::string>{"Gate", "Gate (2)", "Gate (3)"}));
    EXPECT_EQ(infoText(), QStringLiteral("Imported 2 filter group(s)."));

    MainWindow other;
    other.addFilterGroup("Gate");
    other.addFilterGroup("Gate (2)");
    writeText(path, R"({"groups": [{"name": "Gate"}, {"name": "gate"}]})");
    importFrom(other, path);
    EXPECT_EQ(groupNames(other),
              (std::vector<std::string>{"Gate", "Gate (2)", "Gate (3)", "gate"}));
}

// Each clash takes the smallest suffix free at that moment, also after
// names of other bases have filled some in; ids follow in file order.
TEST_F(FilterGroupFiles, SuffixesCountEveryNameTakenSoFarInFileOrder) {
    m_window.addFilterGroup("Gate");
    m_window.addFilterGroup("Gate (3)");
    const QString path = file("many.qv3fg");
    writeText(path, R"json({"groups": [{"name": "Gate"}, {"name": "Gate"}, {"name": "Gate (2)"},
        {"name": "Gate (5)"}, {"name": "Gate"}, {"name": "Gate (7)"}, {"name": "Gate"},
        {"name": "Gate (3)"}]})json");
    importFrom(m_window, path);
    EXPECT_EQ(
        groupNames(m_window),
        (std::vector<std::string>{"Gate", "Gate (3)", "Gate (2)", "Gate (4)", "Gate (2) (2)",
                                  "Gate (5)", "Gate (6)", "Gate (7)", "Gate (8)", "Gate (3) (2)"}));
    std::vector<int> ids;
    for (const auto& group : m_window.filterGroups())
        ids.push_back(group->id);
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(m_window.findChild<FilterDockWidget*>()->groupWidgets().size(), 10u);
}

// What the file held but could not be used is named in one warning after
// the groups are in: values of another type take their defaults, an element
// that is no group or no rule is left out.
TEST_F(FilterGroupFiles, MissingNamesOddElementsAndOtherVersionsStillImport) {
    const QString path = file("odd.qv3fg");
    writeText(path, R"({"formatVersion": 7, "groups": [
        {"rules": [{"type": "Range", "featureName": "area_um", "minValue": 1, "maxValue": 2,
                    "propagationId": "{11111111-2222-3333-4444-555555555555}"},
                   17, {"featureName": "deform", "maxValue": "high"}]},
        42,
        {"name": 5, "rules": "none"}]})");
    m_dialogs.calls.clear();
    importFrom(m_window, path);
    EXPECT_EQ(groupNames(m_window),
              (std::vector<std::string>{"Imported group", "Imported group (2)"}));
    const auto& groups = m_window.filterGroups();
    // A rule that is not an object is left out.
    ASSERT_EQ(groups[0]->rules.size(), 2u);
    EXPECT_EQ(groups[0]->rules[0].featureName, "area_um");
    EXPECT_EQ(groups[0]->rules[0].maxValue, 2.0);
    EXPECT_TRUE(groups[0]->rules[0].propagationId.empty());
    EXPECT_EQ(groups[0]->rules[1].featureName, "deform");
    EXPECT_EQ(groups[0]->rules[1].maxValue, 0.0);
    EXPECT_TRUE(groups[1]->rules.empty());
    EXPECT_EQ(infoText(), QStringLiteral("Imported 2 filter group(s)."));

    ASSERT_EQ(m_dialogs.calls.size(), 2u); // the file dialog, then the one warning
    const DialogCall& box = m_dialogs.calls[1];
    EXPECT_EQ(box.kind, DialogCall::Warning);
    EXPECT_EQ(box.title, QStringLiteral("Import Filter Groups"));
    EXPECT_EQ(box.text,
              QStringLiteral("Some values of the file could not be used; they were replaced by "
                             "their defaults or left out:\n"
                             "\u2022 group \"Imported group\": rule 2: 17 is no rule; left "
                             "out\n"
                             "\u2022 group \"Imported group\": rule 3 (range on deform): maximum "
                             "\"high\" replaced by 0\n"
                             "\u2022 group 2: 42 is no group; left out\n"
                             "\u2022 group \"Imported group (2)\": name 5 replaced by \"Imported "
                             "group\"\n"
                             "\u2022 group \"Imported group (2)\": rules \"none\" left out"));

    // A file the reader has nothing to say about gives no box.
    writeText(path, R"({"groups": [{"name": "Clean", "rules": []}]})");
    m_dialogs.calls.clear();
    importFrom(m_window, path);
    EXPECT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(groupNames(m_window).back(), "Clean");
}

// A file of hundreds of damaged values gave a box of 40 of them, taller than
// the screen, and "… and 460 more" that could be read nowhere: the box shows
// the first ones, its details every one. So does the refusal of a file
// without one usable group.
TEST_F(FilterGroupFiles, EveryDamagedValueOfALongReportIsInTheBoxOrItsDetails) {
    QByteArray groups;
    std::vector<QString> problems;
    for (int g = 1; g <= 100; ++g) {
        groups += (g > 1 ? ", " : "") +
                  QStringLiteral(R"({"name": "Gate %1", "rules": [)").arg(g).toUtf8();
        for (int r = 1; r <= 5; ++r) {
            groups += r > 1 ? ", " : "";
            groups += R"({"type": "Range", "featureName": "deform", "maxValue": "high"})";
            problems.push_back(QStringLiteral("group \"Gate %1\": rule %2 (range on deform): "
                                              "maximum \"high\" replaced by 0")
                                   .arg(g)
                                   .arg(r));
        }
        groups += "]}";
    }
    QByteArray numbers;
    std::vector<QString> elements;
    for (int i = 1; i <= 500; ++i) {
        numbers += i > 1 ? ", 7" : "7";
        elements.push_back(QStringLiteral("group %1: 7 is no group; left out").arg(i));
    }
    const struct {
        const char* what;
        QByteArray file;
        DialogCall::Kind kind;
        QString heading;
        const std::vector<QString>& lines;
    } cases[] = {
        {"500 damaged values", "{\"groups\": [" + groups + "]}", DialogCall::Warning,
         QStringLiteral("Some values of the file could not be used; they were replaced by their "
                        "defaults or left out:"),
         problems},
        {"500 elements that are no group", "{\"groups\": [" + numbers + "]}", DialogCall::Critical,
         QStringLiteral("The file contains no usable filter group:"), elements},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = file("long.qv3fg");
        writeText(path, c.file);
        m_dialogs.calls.clear();
        importFrom(m_window, path);
        ASSERT_EQ(m_dialogs.calls.size(), 2u); // the file dialog, then the one box
        const DialogCall& box = m_dialogs.calls[1];
        EXPECT_EQ(box.kind, c.kind);
        EXPECT_EQ(box.title, QStringLiteral("Import Filter Groups"));
        EXPECT_TRUE(box.text.startsWith(c.heading + QStringLiteral("\n\u2022 ") + c.lines.front()))
            << box.text.toStdString();
        EXPECT_LE(box.text.count(QLatin1Char('\n')), 15) << box.text.toStdString();
        int shownNowhere = 0;
        for (const QString& line : c.lines)
            shownNowhere += box.text.contains(line) || box.details.contains(line) ? 0 : 1;
        EXPECT_EQ(shownNowhere, 0);
    }
    EXPECT_EQ(m_window.filterGroups().size(), 100u);
}

TEST_F(FilterGroupFiles, ImportedGroupsStartSwitchedOffInEveryDataset) {
    const std::vector<std::string> paths = test::openMeasurements(m_window, m_dir, 2);
    ASSERT_EQ(paths.size(), 2u);
    const QString path = file("one.qv3fg");
    writeText(path, R"({"groups": [{"name": "G", "rules": []}]})");
    importFrom(m_window, path);
    ASSERT_EQ(m_window.filterGroups().size(), 1u);
    const int id = m_window.filterGroups()[0]->id;
    for (const auto& entry : m_window.datasets()) {
        ASSERT_EQ(entry->groupEnabled.count(id), 1u);
        EXPECT_FALSE(entry->groupEnabled.at(id));
    }
}

struct MalformedCase {
    const char* name;
    QByteArray content; // written to the file; empty: the path given instead
    DialogCall::Kind kind;
    QString text; // the whole text, or its beginning when `prefixOnly`
    bool prefixOnly;
};

TEST_F(FilterGroupFiles, MalformedOrUnreadableFilesAreReportedAndChangeNothing) {
    m_window.addFilterGroup("Kept");
    m_window.addRuleToGroup(0, rangeRule("area_um", 1, 2));
    const auto before = groupSummary(m_window);
    const QString notValid = QStringLiteral("File is not a valid filter-groups JSON: ");
    const QString noGroups = QStringLiteral("The file contains no filter groups.");
    const std::vector<MalformedCase> cases{
        {"root array", R"([{"name": "G", "rules": []}])", DialogCall::Critical, notValid, true},
        {"not JSON", "formatVersion = 1", DialogCall::Critical, notValid, true},
        {"empty file", "", DialogCall::Critical, notValid, true},
        {"groups of the wrong type", R"({"groups": {"name": "G"}})", DialogCall::Information,
         noGroups, false},
        {"no groups", R"({"formatVersion": 1})", DialogCall::Information, noGroups, false},
        {"empty groups", R"({"groups": []})", DialogCall::Information, noGroups, false},
        {"no usable group", R"({"groups": [7, "Gate", null]})", DialogCall::Critical,
         QStringLiteral("The file contains no usable filter group:\n\u2022 group 1: 7 is no "
                        "group; left out\n\u2022 group 2: \"Gate\" is no group; left out\n"
                        "\u2022 group 3: null is no group; left out"),
         false},
    };
    for (const MalformedCase& test : cases) {
        SCOPED_TRACE(test.name);
        const QString path = file("bad.qv3fg");
        writeText(path, test.content);
        m_dialogs.calls.clear();
        importFrom(m_window, path);
        ASSERT_EQ(m_dialogs.calls.size(), 2u);
        const DialogCall& box = m_dialogs.calls[1];
        EXPECT_EQ(box.kind, test.kind);
        EXPECT_EQ(box.title, QStringLiteral("Import Filter Groups"));
        if (test.prefixOnly) {
            EXPECT_TRUE(box.text.startsWith(test.text)) << box.text.toStdString();
            // Something is said after the fixed words.
            EXPECT_GT(box.text.size(), test.text.size() + 3) << box.text.toStdString();
        } else {
            EXPECT_EQ(box.text, test.text);
        }
        EXPECT_EQ(groupSummary(m_window), before);
    }

    // Unreadable: a path that does not exist, and a folder.
    for (const QString& path :
         {file("does-not-exist.qv3fg"), QString::fromStdString(m_dir.path())}) {
        m_dialogs.calls.clear();
        importFrom(m_window, path);
        ASSERT_EQ(m_dialogs.calls.size(), 2u);
        EXPECT_EQ(m_dialogs.calls[1].kind, DialogCall::Critical);
        EXPECT_EQ(m_dialogs.calls[1].title, QStringLiteral("Import Filter Groups"));
        EXPECT_EQ(m_dialogs.calls[1].text, QStringLiteral("Failed to read file:\n") + path);
        EXPECT_EQ(groupSummary(m_window), before);
    }
    // No group id was used up by the failed imports.
    EXPECT_EQ(m_window.addFilterGroup(""), 1);
}

} // namespace
} // namespace Quorvex3
