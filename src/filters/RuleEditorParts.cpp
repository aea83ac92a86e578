#include "filters/RuleEditorParts.h"

#include "filters/FilterWidgetStyle.h"
#include "util/WrapRowLayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLayout>
#include <QPushButton>

namespace Quorvex3 {

namespace {

QString trRule(const char* text) {
    return QCoreApplication::translate("Quorvex3::RuleEditor", text);
}

QPushButton* makeRowButton(QWidget* parent, const QString& text, const char* objectName) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setFixedHeight(16);
    button->setStyleSheet(FilterWidgetStyle::plainButton());
    return button;
}

// Re-polishing is not free, and refreshes run on every plot update.
void setButtonStyle(QPushButton* button, const QString& style) {
    if (button->styleSheet() != style)
        button->setStyleSheet(style);
}

} // namespace

QPushButton* makeRemoveButton(QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("\u00D7"), parent);
    button->setObjectName(QStringLiteral("removeButton"));
    button->setFixedSize(20, 24);
    button->setStyleSheet(FilterWidgetStyle::removeButton());
    return button;
}

QCheckBox* makeInvertBox(QWidget* parent) {
    auto* box = new QCheckBox(trRule("Invert"), parent);
    box->setObjectName(QStringLiteral("invertBox"));
    box->setToolTip(trRule("Invert this rule (pass events that do NOT match)"));
    return box;
}

QLayout* buildPropagationRow(QWidget* parent, PropagationButtons& buttons) {
    buttons.apply = makeRowButton(parent, trRule("Apply to All"), "applyToAllButton");
    buttons.update = makeRowButton(parent, trRule("Update in All"), "updateInAllButton");
    buttons.checkState = makeRowButton(parent, trRule("Uncheck in All"), "checkStateButton");
    buttons.deleteAll = makeRowButton(parent, trRule("Delete from All"), "deleteFromAllButton");
    buttons.update->hide();
    buttons.checkState->hide();
    buttons.deleteAll->hide();

    // Three buttons side by side are wider than a dock on a small screen:
    // they continue on a second line there.
    auto* row = new WrapRowLayout(4);
    row->setContentsMargins(20, 0, 0, 0);
    row->addWidget(buttons.apply);
    row->addWidget(buttons.update);
    row->addWidget(buttons.checkState);
    row->addWidget(buttons.deleteAll);
    return row;
}

void refreshPropagationButtons(const PropagationButtons& buttons, const PropagationState& state) {
    QPushButton* const all[] = {buttons.apply, buttons.update, buttons.checkState,
                                buttons.deleteAll};
    if (state.inGroup) {
        for (QPushButton* button : all)
            button->hide();
        return;
    }
    buttons.apply->setVisible(!state.hasId);
    buttons.update->setVisible(state.hasId);
    buttons.checkState->setVisible(state.hasId);
    buttons.deleteAll->setVisible(state.hasId);

    // The button copies the rule's own state to its copies, so it names
    // that state.
    buttons.checkState->setText(state.enableChecked ? trRule("Check in All")
                                                    : trRule("Uncheck in All"));
    for (QPushButton* button : all)
        button->setEnabled(state.multiDataset);

    const bool marked = state.hasId && state.multiDataset;
    setButtonStyle(buttons.apply, FilterWidgetStyle::plainButton());
    setButtonStyle(buttons.deleteAll, FilterWidgetStyle::plainButton());
    setButtonStyle(buttons.update, marked && state.contentDiffers
                                       ? FilterWidgetStyle::highlightedButton()
                                       : FilterWidgetStyle::plainButton());
    setButtonStyle(buttons.checkState, marked && state.enabledDiffers
                                           ? FilterWidgetStyle::highlightedButton()
                                           : FilterWidgetStyle::plainButton());
}

void discardEditor(QLayout* layout, QWidget* widget, QWidget* keeper) {
    const QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == widget || widget->isAncestorOf(focus)))
        keeper->setFocus(Qt::OtherFocusReason);
    layout->removeWidget(widget);
    widget->hide();
    widget->deleteLater();
}

} // namespace Quorvex3
