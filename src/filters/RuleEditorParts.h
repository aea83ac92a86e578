#pragma once

// Pieces shared by the range and the polygon rule editors: the remove
// button, the invert box and the row of propagation buttons.

class QCheckBox;
class QLayout;
class QPushButton;
class QWidget;

namespace Quorvex3 {

/// The "×" button that asks to remove a rule (20 × 24 pixels). Owned by `parent`.
QPushButton* makeRemoveButton(QWidget* parent);

/// The "Invert" check box of a rule (unchecked). Owned by `parent`.
QCheckBox* makeInvertBox(QWidget* parent);

/// The four buttons that copy, update, switch or delete a rule in every
/// loaded dataset. Not owning: the buttons belong to the rule editor.
struct PropagationButtons {
    QPushButton* apply = nullptr;
    QPushButton* update = nullptr;
    QPushButton* checkState = nullptr;
    QPushButton* deleteAll = nullptr;
};

/// Creates the four buttons as children of `parent` and returns their row
/// (indented by 20 pixels, wrapping when narrow, to be added to the
/// editor's layout). "Apply to All" starts visible, the other three hidden.
QLayout* buildPropagationRow(QWidget* parent, PropagationButtons& buttons);

/// What the propagation buttons show.
struct PropagationState {
    bool inGroup = false;        ///< group rules are never propagated
    bool hasId = false;          ///< the rule has copies in other datasets
    bool multiDataset = false;   ///< more than one dataset is loaded
    bool contentDiffers = false; ///< a copy elsewhere differs in content
    bool enabledDiffers = false; ///< a copy elsewhere differs in its enabled state
    bool enableChecked = false;  ///< the rule's own enable box
};

/// Visibility, text, enabled state and style of the four buttons for `state`.
void refreshPropagationButtons(const PropagationButtons& buttons, const PropagationState& state);

/// Takes an editor out of `layout` and deletes it later (it may be the one
/// whose signal is being handled). Keyboard focus inside it moves to
/// `keeper` first: a hidden focus widget hands focus on along the tab chain,
/// to whatever control comes next in the window (the dataset name field,
/// where the next keystrokes would rename the dataset).
void discardEditor(QLayout* layout, QWidget* widget, QWidget* keeper);

} // namespace Quorvex3
