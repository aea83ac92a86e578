#include "model/RepairReport.h"

#include <QStringList>

namespace Quorvex3 {

namespace {

const QString kLinePrefix = QStringLiteral("\u2022 ");

QString moreLine(std::size_t left) {
    return QStringLiteral("\u2026 and %1 more \u2014 see details").arg(left);
}

} // namespace

QString repairReport(const std::vector<RepairReportSection>& sections) {
    QStringList texts;
    for (const RepairReportSection& section : sections) {
        if (section.lines.empty())
            continue;
        QString text = section.heading;
        for (const QString& line : section.lines)
            text += QStringLiteral("\n") + kLinePrefix + line;
        texts << text;
    }
    return texts.join(QStringLiteral("\n\n"));
}

RepairReportMessage repairReportMessage(const QString& report) {
    const QStringList lines = report.split(QLatin1Char('\n'));
    std::size_t listed = 0;
    for (const QString& line : lines)
        listed += line.startsWith(kLinePrefix) ? 1 : 0;
    if (listed <= kRepairReportBoxLines)
        return {report, QString()};

    // Sections are apart by blank lines. Each one shows at least its first
    // line, so every kind of problem is named in the box, and each one that
    // loses lines says how many, so no count is read as another section's.
    QStringList kept;
    std::size_t shown = 0;
    std::size_t shownHere = 0; // lines of the current section shown
    std::size_t left = 0;      // and not shown
    const auto endSection = [&] {
        if (left > 0)
            kept << moreLine(left);
        shownHere = 0;
        left = 0;
    };
    for (const QString& line : lines) {
        if (!line.startsWith(kLinePrefix)) {
            if (line.isEmpty())
                endSection();
            kept << line;
        } else if (shown < kRepairReportBoxLines || shownHere == 0) {
            kept << line;
            ++shown;
            ++shownHere;
        } else {
            ++left;
        }
    }
    endSection();
    return {kept.join(QLatin1Char('\n')), report};
}

} // namespace Quorvex3
