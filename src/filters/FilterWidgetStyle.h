#pragma once

#include <QString>

class QWidget;

namespace Quorvex3 {

/// Style sheets shared by the filter dock, its rule editors and its group
/// boxes, so every button of the dock looks alike.
namespace FilterWidgetStyle {

/// Ordinary push button.
QString plainButton();
/// Push button that marks a divergence between datasets (accent colours).
QString highlightedButton();
/// The small "×" button that removes a rule or deletes a group.
QString removeButton();

} // namespace FilterWidgetStyle

/// A thin horizontal line (140 × 1 pixels, centred) that separates two
/// consecutive rule editors. Owned by `parent`.
QWidget* makeRuleSeparator(QWidget* parent);

} // namespace Quorvex3
