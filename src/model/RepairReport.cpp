#include "model/RepairReport.h"

#include <QStringList>

namespace Quorvex3 {

QString repairReport(const std::vector<RepairReportSection>& sections) {
    std::size_t shown = 0;
    std::size_t left = 0;
    QStringList texts;
    for (const RepairReportSection& section : sections) {
        if (section.lines.empty())
            continue;
        QString text = section.heading;
        for (const QString& line : section.lines) {
            if (shown < kRepairReportMaxLines) {
                text += QStringLiteral("\n\u2022 ") + line;
                ++shown;
            } else {
                ++left;
            }
        }
        texts << text;
    }
    QString text = texts.join(QStringLiteral("\n\n"));
    if (left > 0)
        text += QStringLiteral("\n\u2026 and %1 more").arg(left);
    return text;
}

} // namespace Quorvex3
