// The one text that names what a file made the program replace or leave
// out, and its split for a message box: a short text and the whole list as
// the box's details.
#include "model/RepairReport.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <vector>

namespace Quorvex3 {
namespace {

std::vector<QString> numbered(const char* prefix, int count) {
    std::vector<QString> lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back(QStringLiteral("%1 %2").arg(QLatin1String(prefix)).arg(i));
    return lines;
}

QString bullets(const char* prefix, int first, int last) {
    QString text;
    for (int i = first; i <= last; ++i)
        text += QStringLiteral("\n\u2022 %1 %2").arg(QLatin1String(prefix)).arg(i);
    return text;
}

// ===== repairReport ===========================================================

// Every line is listed: the text is the box's details, which scroll.
TEST(RepairReport, ListsEveryLineOfEverySectionWithLines) {
    EXPECT_EQ(repairReport({}), QString());
    EXPECT_EQ(repairReport({{QStringLiteral("Empty:"), {}}}), QString());
    const QString report = repairReport({{QStringLiteral("Values:"), numbered("value", 200)},
                                         {QStringLiteral("Nothing:"), {}},
                                         {QStringLiteral("Failures:"), numbered("failure", 2)}});
    EXPECT_EQ(report, QStringLiteral("Values:") + bullets("value", 1, 200) +
                          QStringLiteral("\n\nFailures:") + bullets("failure", 1, 2));
}

// ===== repairReportMessage ====================================================

// The box lists the first lines, at least one of each section, and says
// under each section how many of its lines only the details hold.
TEST(RepairReportMessage, ShowsTheFirstLinesAndCountsTheRestOfEachSection) {
    const QString more = QStringLiteral("\n\u2026 and %1 more \u2014 see details");
    const struct {
        const char* what;
        int values;
        int failures;
        QString text; ///< the box's text; its details are the whole report when it differs
    } cases[] = {
        {"nothing to say", 0, 0, QString()},
        {"as many lines as the box lists", 10, 0,
         QStringLiteral("Values:") + bullets("value", 1, 10)},
        {"as many in two sections", 8, 2,
         QStringLiteral("Values:") + bullets("value", 1, 8) + QStringLiteral("\n\nFailures:") +
             bullets("failure", 1, 2)},
        {"one line more", 11, 0, QStringLiteral("Values:") + bullets("value", 1, 10) + more.arg(1)},
        {"the first section long, the second named by its first line", 45, 1,
         QStringLiteral("Values:") + bullets("value", 1, 10) + more.arg(35) +
             QStringLiteral("\n\nFailures:") + bullets("failure", 1, 1)},
        {"both sections long", 12, 3,
         QStringLiteral("Values:") + bullets("value", 1, 10) + more.arg(2) +
             QStringLiteral("\n\nFailures:") + bullets("failure", 1, 1) + more.arg(2)},
        {"only the second section", 0, 30,
         QStringLiteral("Failures:") + bullets("failure", 1, 10) + more.arg(20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString report =
            repairReport({{QStringLiteral("Values:"), numbered("value", c.values)},
                          {QStringLiteral("Failures:"), numbered("failure", c.failures)}});
        const RepairReportMessage message = repairReportMessage(report);
        EXPECT_EQ(message.text, c.text) << message.text.toStdString();
        EXPECT_EQ(message.details, c.text == report ? QString() : report);
    }
}

// The box of a session with 200 unusable values: short, and every value in
// the details, in order.
TEST(RepairReportMessage, KeepsTheBoxShortAndTheWholeListInTheDetails) {
    const std::vector<QString> values = numbered("M1.rtdc: filter rule", 200);
    const QString report = repairReport({{QStringLiteral("Values:"), values}});
    const RepairReportMessage message = repairReportMessage(report);
    EXPECT_EQ(message.text.split(QLatin1Char('\n')).size(),
              static_cast<int>(kRepairReportBoxLines) + 2); // the heading and the count
    EXPECT_TRUE(message.text.endsWith(QStringLiteral("\u2026 and 190 more \u2014 see details")));
    const QStringList detailLines = message.details.split(QLatin1Char('\n'));
    ASSERT_EQ(detailLines.size(), 201);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(detailLines[i + 1], QStringLiteral("\u2022 ") + values[std::size_t(i)]);
}

} // namespace
} // namespace Quorvex3
