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

/// The text of the one box that tells the user what a file made the program
/// replace or leave out: each section with lines as its heading followed by
/// every one of its lines ("\n• line"), sections apart by a blank line.
/// Empty when no section has a line. Shown through repairReportMessage,
/// which keeps the box short.
QString repairReport(const std::vector<RepairReportSection>& sections);

/// Most listed lines a repair report's box shows in its text: a badly
/// damaged file gave a box taller than the screen, its buttons out of reach.
constexpr std::size_t kRepairReportBoxLines = 10;

/// A repair report split for a message box: what the box says and what its
/// details (which scroll) hold.
struct RepairReportMessage {
    /// The report as it is when it lists at most kRepairReportBoxLines
    /// lines; else every heading with the first lines, in order, at least
    /// one of each section, and under each section that lost lines "… and
    /// N more — see details".
    QString text;
    /// The whole report when `text` leaves lines out, else empty.
    QString details;
};

/// Splits `report`, a text made by repairReport, for a message box.
RepairReportMessage repairReportMessage(const QString& report);

} // namespace Quorvex3
