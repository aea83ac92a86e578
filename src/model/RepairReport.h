#pragma once

#include <QString>

#include <cstddef>
#include <vector>

namespace Quorvex3 {

/// One heading of a repair report and the lines listed under it.
struct RepairReportSection {
    QString heading;
    std::vector<QString> lines;
};

/// Most lines a repair report lists: a badly damaged file must not give a
/// box taller than the screen.
constexpr std::size_t kRepairReportMaxLines = 40;

/// The text of the one box that tells the user what a file made the program
/// replace or leave out: each section with lines as its heading followed by
/// its lines ("\n• line"), sections apart by a blank line. Past
/// kRepairReportMaxLines lines in all the rest is counted in a last line,
/// "… and N more". Empty when no section has a line.
QString repairReport(const std::vector<RepairReportSection>& sections);

} // namespace Quorvex3
