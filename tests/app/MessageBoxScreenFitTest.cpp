// The message boxes of the default dialog provider on a small screen, with
// the program's look: whatever the length of their text, every box lies
// inside the screen with its buttons in reach, also with its details open,
// and what it was given can be read in its text or its details.
#include "AppTestSupport.h"

#include "model/RepairReport.h"
#include "support/LayoutCheck.h"
#include "util/DialogProvider.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace Quorvex3 {
namespace {

using testing::layoutFaults;
using testing::settleLayout;

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        test::isolateHomeDirectories();
        m_app = std::make_unique<QApplication>(test::applicationArgc(), test::applicationArgv());
        testing::useProgramLookForLayout();
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

const QSize kScreen(1280, 720);

/// What a damaged session file gives: values of a dozen datasets, indices
/// out of range, groups that are none; as long as the reader's own lines.
std::vector<QString> sessionProblems(int count) {
    std::vector<QString> lines;
    for (int i = 0; i < count; ++i) {
        const QString dataset = QStringLiteral("M%1_Sample_%2.rtdc").arg(i % 12 + 1).arg(i % 7);
        switch (i % 4) {
        case 0:
            lines.push_back(QStringLiteral("%1: filter rule %2 (range on area_um): minimum "
                                           "\"abc\" replaced by 0")
                                .arg(dataset)
                                .arg(i + 1));
            break;
        case 1:
            lines.push_back(QStringLiteral("%1: current event %2 replaced by 0 (outside the "
                                           "measurement's events)")
                                .arg(dataset)
                                .arg(100000 + i));
            break;
        case 2:
            lines.push_back(
                QStringLiteral("filter group %1: %2 is no group; left out").arg(i + 1).arg(i * 3));
            break;
        default:
            lines.push_back(
                QStringLiteral("%1: contour fractions \"[0.5, x]\" replaced by the default (%2)")
                    .arg(dataset)
                    .arg(i));
            break;
        }
    }
    return lines;
}

/// What a filter-group file of groups with bad rules gives.
std::vector<QString> groupProblems(int count) {
    std::vector<QString> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(QStringLiteral("group \"Gate %1\": rule %2 (range on deform): maximum "
                                       "\"high\" replaced by 0")
                            .arg(i / 5 + 1)
                            .arg(i % 5 + 1));
    return lines;
}

/// What was seen of the box while it was open.
struct SeenBox {
    bool opened = false;
    QString text;
    QString details;
    QStringList faults;         ///< the layout check with the details closed
    QStringList faultsOpen;     ///< and open
    QStringList buttonsOutside; ///< buttons not wholly on the screen
    int detailsLines = 0;       ///< whole lines the open details show at once
};

/// The screen a box must lie in: 1280 x 720, or the test's screen where that
/// is smaller (the offscreen platform's is 800 x 600).
QRect screenOf(const QWidget& box) {
    const QRect available = box.screen()->availableGeometry();
    return available & QRect(available.topLeft(), kScreen);
}

QStringList buttonsOutside(QMessageBox& box) {
    const QRect screen = screenOf(box);
    QStringList outside;
    for (QAbstractButton* button : box.findChildren<QAbstractButton*>()) {
        if (!button->isVisible())
            continue;
        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
        if (!screen.contains(onScreen))
            outside << button->text();
    }
    if (!screen.contains(box.frameGeometry()))
        outside << QStringLiteral("the box itself");
    return outside;
}

/// Opens a box through the default provider (`open`) and looks at it while
/// it is open: with the details closed, and open when it has them.
SeenBox showThroughProvider(const std::function<void(QtDialogProvider&)>& open) {
    SeenBox seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.opened = true;
        settleLayout();
        seen.text = box->text();
        seen.details = box->detailedText();
        seen.faults = layoutFaults(*box, {}, kScreen);
        seen.buttonsOutside = buttonsOutside(*box);
        for (QAbstractButton* button : box->buttons())
            if (box->buttonRole(button) == QMessageBox::ActionRole) // "Show Details..."
                button->click();
        settleLayout();
        if (auto* details = box->findChild<QTextEdit*>(); details && details->isVisible()) {
            seen.faultsOpen = layoutFaults(*box, {}, kScreen);
            seen.detailsLines =
                details->viewport()->height() / details->fontMetrics().lineSpacing();
            seen.buttonsOutside += buttonsOutside(*box);
        }
        box->done(QMessageBox::Ok);
    });
    QtDialogProvider provider;
    open(provider);
    return seen;
}

QString joined(const QStringList& lines) {
    return lines.join(QStringLiteral("\n  "));
}

/// Every line of `lines` that the box shows nowhere.
QStringList missing(const SeenBox& seen, const std::vector<QString>& lines) {
    QStringList gone;
    for (const QString& line : lines)
        if (!seen.text.contains(line) && !seen.details.contains(line))
            gone << line;
    return gone;
}

void expectInsideAndWhole(const SeenBox& seen, const std::vector<QString>& problems) {
    ASSERT_TRUE(seen.opened);
    EXPECT_TRUE(seen.faults.isEmpty()) << joined(seen.faults).toStdString();
    EXPECT_TRUE(seen.faultsOpen.isEmpty()) << joined(seen.faultsOpen).toStdString();
    EXPECT_TRUE(seen.buttonsOutside.isEmpty()) << joined(seen.buttonsOutside).toStdString();
    const QStringList gone = missing(seen, problems);
    EXPECT_TRUE(gone.isEmpty()) << gone.size() << " problems shown nowhere, the first: "
                                << (gone.isEmpty() ? "" : gone.front().toStdString());
}

const QString kSessionHeading =
    QStringLiteral("Some stored values could not be used; they were replaced by their defaults "
                   "or left out:");
const QString kGroupHeading = QStringLiteral("Some values of the file could not be used; they "
                                             "were replaced by their defaults or left out:");

// ===== Reports of damaged files ===============================================

// A session of 200 unusable values gave one box of 500 x 1080 pixels: its OK
// button below a 720-pixel screen, and past "… and 156 more" nothing could
// be read. An import of 100 groups of bad rules: 500 x 1755.
TEST(ScreenFitMessageBox, ARepairReportFitsTheScreenAndHoldsEveryProblem) {
    const struct {
        const char* what;
        QString title;
        QString heading;
        std::vector<QString> problems;
    } cases[] = {
        {"200-problem session", QStringLiteral("Load Session"), kSessionHeading,
         sessionProblems(200)},
        {"500-problem group import", QStringLiteral("Import Filter Groups"), kGroupHeading,
         groupProblems(500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RepairReportMessage report =
            repairReportMessage(repairReport({{c.heading, c.problems}}));
        const SeenBox seen = showThroughProvider([&](QtDialogProvider& provider) {
            provider.warningWithDetails(nullptr, c.title, report.text, report.details);
        });
        expectInsideAndWhole(seen, c.problems);
        // Qt's own details showed five lines of the hundreds at a time.
        EXPECT_GE(seen.detailsLines, 12);
        EXPECT_TRUE(
            seen.text.startsWith(c.heading + QStringLiteral("\n\u2022 ") + c.problems.front()))
            << seen.text.toStdString();
    }
}

// Any long text, from anywhere: the box keeps the first lines that fit,
// names how many follow, and its details begin with the whole text.
TEST(ScreenFitMessageBox, ALongTextKeepsItsFirstLinesAndGivesTheWholeToTheDetails) {
    std::vector<QString> problems = sessionProblems(200);
    const std::vector<QString> failures = {
        QStringLiteral("M3_Sample_2.rtdc: Young's modulus could not be computed again: the "
                       "look-up table is missing")};
    const QString whole =
        repairReport({{kSessionHeading, problems},
                      {QStringLiteral("Derived features could not be computed again:"), failures}});
    problems.push_back(failures.front());
    const struct {
        const char* what;
        std::function<void(QtDialogProvider&)> open;
        QString details; ///< what the box was given as details
    } cases[] = {
        {"a warning",
         [&](QtDialogProvider& provider) {
             static_cast<DialogProvider&>(provider).warning(nullptr, "Load Session", whole);
         },
         QString()},
        {"a question",
         [&](QtDialogProvider& provider) {
             static_cast<DialogProvider&>(provider).question(nullptr, "Load Session", whole);
         },
         QString()},
        {"a box with details of its own",
         [&](QtDialogProvider& provider) {
             provider.criticalWithDetails(nullptr, "Error", whole, "The reason.");
         },
         QStringLiteral("The reason.")},
        {"a box with buttons of its own",
         [&](QtDialogProvider& provider) {
             CustomMessageBox box;
             box.title = QStringLiteral("Dataset Not Found");
             box.text = whole;
             box.textFormat = Qt::PlainText;
             box.buttons = {{QStringLiteral("Locate..."), QMessageBox::AcceptRole},
                            {QStringLiteral("Skip"), QMessageBox::RejectRole}};
             provider.messageBox(nullptr, box);
         },
         QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SeenBox seen = showThroughProvider(c.open);
        expectInsideAndWhole(seen, problems);
        EXPECT_TRUE(
            seen.text.startsWith(kSessionHeading + QStringLiteral("\n\u2022 ") + problems.front()))
            << seen.text.toStdString();
        // The count names the lines with text that the box leaves out.
        QStringList shown = seen.text.split(QLatin1Char('\n'));
        const QString count = shown.takeLast();
        int left = 0;
        for (const QString& line : whole.split(QLatin1Char('\n')))
            left += line.isEmpty() || shown.contains(line) ? 0 : 1;
        EXPECT_EQ(count, QStringLiteral("\u2026 and %1 more lines \u2014 see details").arg(left));
        EXPECT_GT(shown.size(), 5) << "keeps as many lines as fit";
        EXPECT_TRUE(seen.details.startsWith(whole)) << seen.details.left(200).toStdString();
        EXPECT_TRUE(seen.details.endsWith(c.details.isEmpty() ? whole : c.details));
    }
}

// A box that fits with its details closed but not with them open: its text
// is cut so that it fits with them open (a box of any height, in steps of a
// few lines, up to taller than the screen).
TEST(ScreenFitMessageBox, ABoxWithDetailsFitsWithThemOpen) {
    for (int count = 10; count <= 60; count += 4) {
        SCOPED_TRACE(count);
        std::vector<QString> lines;
        for (int i = 1; i <= count; ++i)
            lines.push_back(QStringLiteral("line %1").arg(i));
        QStringList text;
        for (const QString& line : lines)
            text << line;
        const SeenBox seen = showThroughProvider([&](QtDialogProvider& provider) {
            provider.criticalWithDetails(nullptr, "Error", text.join(QLatin1Char('\n')),
                                         "The reason.");
        });
        expectInsideAndWhole(seen, lines);
    }
}

// A text that fits is shown as given, without details.
TEST(ScreenFitMessageBox, AShortTextStaysAsItIs) {
    const QString text = QStringLiteral("Loading a session will close all current datasets\nand "
                                        "windows. Unsaved changes will be lost.\n\nContinue?");
    const SeenBox seen = showThroughProvider([&](QtDialogProvider& provider) {
        static_cast<DialogProvider&>(provider).warning(nullptr, "Load Session", text,
                                                       QMessageBox::Ok | QMessageBox::Cancel,
                                                       QMessageBox::Cancel);
    });
    ASSERT_TRUE(seen.opened);
    EXPECT_EQ(seen.text, text);
    EXPECT_TRUE(seen.details.isEmpty());
    EXPECT_TRUE(seen.faults.isEmpty()) << joined(seen.faults).toStdString();
}

} // namespace
} // namespace Quorvex3
