#pragma once

class QTableWidget;

namespace Quorvex3 {

/// Lets the label in the first column of each row whose cells 1 to
/// `lastEmpty` are all empty (a pairwise comparison's "A vs B", which has no
/// category values) run over those cells, so that it stays on one line
/// without widening the label column. Spans set before are kept; call
/// `QTableWidget::clearSpans` before refilling the table.
void spanLabelsOverEmptyCells(QTableWidget* table, int lastEmpty);

/// Lays a filled table of results (the comparison's or the ROC analysis')
/// out inside its width, whatever the window's size, and keeps refitting it
/// on every resize of its viewport:
/// - with too little room the titles wrap at their spaces first (the header
///   grows to hold them), then the columns that fill the fewest rows wrap
///   their text (the category values before the test names that fill every
///   row), never below their longest word, so nothing is cut and nothing
///   scrolls sideways as long as the longest words fit (see `fitColumns`);
/// - a label running over its empty neighbours stays on one line;
/// - each row is as high as its tallest cell, a label running over its
///   neighbours measured at its whole width;
/// - the table is at least high enough for its five tallest rows (all of
///   them when it has fewer) below the header, and at most 200 pixels high
///   unless those five need more.
/// Call it after each filling of the table; the table owns the fitter.
void fitResultTable(QTableWidget* table);

} // namespace Quorvex3
