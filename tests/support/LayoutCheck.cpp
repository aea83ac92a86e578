#include "support/LayoutCheck.h"

#include "app/Startup.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QFont>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>

#include <algorithm>

namespace Quorvex3::testing {

void useProgramLookForLayout() {
    static const bool done = [] {
        resetNumericLocale();
        applyApplicationLook();
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        return true;
    }();
    (void)done;
}

void settleLayout() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

QSize sizeForFrame(const QWidget& window, QSize frame) {
    return frame - (window.frameGeometry().size() - window.size());
}

void showWithFrameSize(QWidget& window, QSize frame) {
    // The frame is known once the window is shown; its docks take their
    // widths from the size it is shown at.
    window.resize(frame);
    window.show();
    settleLayout();
    window.resize(sizeForFrame(window, frame));
    settleLayout();
}

namespace {

QString describe(const QWidget* widget, const QString& text = QString()) {
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty())
        name += QLatin1Char(' ') + widget->objectName();
    if (!text.isEmpty())
        name += QStringLiteral(" \"") + text + QLatin1Char('"');
    return name;
}

/// Inside a spin box or an editable combo box: part of that control.
bool partOfAnotherControl(const QWidget* widget) {
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(up) || qobject_cast<const QComboBox*>(up))
            return true;
    return false;
}

/// Shown to the user now: visible up to `top` and not in a dock that sits
/// behind another dock's tab.
bool inSight(QWidget* widget, QWidget& top) {
    if (!widget->isVisibleTo(&top))
        return false;
    auto* window = qobject_cast<QMainWindow*>(&top);
    if (!window)
        return true;
    for (QWidget* up = widget; up && up != &top; up = up->parentWidget())
        if (auto* dock = qobject_cast<QDockWidget*>(up))
            if (!window->tabifiedDockWidgets(dock).isEmpty() && dock->visibleRegion().isEmpty())
                return false;
    return true;
}

/// Width the combo box gives its text (the field the current item is drawn in).
int comboTextRoom(const QComboBox* combo) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.iconSize = combo->iconSize();
    option.subControls = QStyle::SC_All;
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    // The label is drawn one pixel in from each side of the field.
    return field.width() - 2;
}

/// Width the line edit gives its text.
int lineEditTextRoom(const QLineEdit* edit) {
    QStyleOptionFrame panel;
    panel.initFrom(edit);
    panel.rect = edit->rect();
    panel.lineWidth = edit->hasFrame()
                          ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, edit)
                          : 0;
    panel.midLineWidth = 0;
    panel.state |= QStyle::State_Sunken;
    const QRect contents = edit->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &panel, edit)
                               .marginsRemoved(edit->textMargins());
    // QLineEdit keeps two pixels free on each side of its text.
    return contents.width() - 4;
}

void checkButton(QAbstractButton* button, QStringList& faults) {
    if (button->text().isEmpty())
        return;
    const int needed = button->minimumSizeHint().width();
    if (button->width() < needed)
        faults << QStringLiteral("%1 cut: %2 of %3 px")
                      .arg(describe(button, button->text()))
                      .arg(button->width())
                      .arg(needed);
}

void checkCombo(QComboBox* combo, QStringList& faults) {
    const int room = comboTextRoom(combo);
    for (int i = 0; i < combo->count(); ++i) {
        int needed = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
        if (!combo->itemIcon(i).isNull())
            needed += combo->iconSize().width() + 4;
        if (needed > room) {
            faults << QStringLiteral("%1 cuts item \"%2\": %3 of %4 px")
                          .arg(describe(combo))
                          .arg(combo->itemText(i))
                          .arg(room)
                          .arg(needed);
        }
    }
}

void checkLineEdit(QLineEdit* edit, QStringList& faults) {
    if (edit->text().isEmpty() || edit->echoMode() != QLineEdit::Normal)
        return;
    const int room = lineEditTextRoom(edit);
    const int needed = edit->fontMetrics().horizontalAdvance(edit->text());
    if (needed > room)
        faults << QStringLiteral("%1 cuts its text: %2 of %3 px")
                      .arg(describe(edit, edit->text()))
                      .arg(room)
                      .arg(needed);
}

void checkGroupBox(QGroupBox* box, QStringList& faults) {
    const int needed = box->minimumSizeHint().width();
    if (box->width() < needed)
        faults << QStringLiteral("%1 squeezed: %2 of %3 px")
                      .arg(describe(box, box->title()))
                      .arg(box->width())
                      .arg(needed);
}

void checkSideways(QAbstractScrollArea* area, QStringList& faults) {
    if (area->horizontalScrollBar()->maximum() > 0)
        faults << QStringLiteral("%1 scrolls sideways by %2 px")
                      .arg(describe(area))
                      .arg(area->horizontalScrollBar()->maximum());
}

constexpr int kLeastRows = 5;

void checkListRows(QListView* list, QStringList& faults) {
    if (!list->model() || list->model()->rowCount(list->rootIndex()) == 0 ||
        list->viewMode() != QListView::ListMode)
        return;
    const int row = list->sizeHintForRow(0) + 2 * list->spacing();
    if (row <= 0)
        return;
    const int shown = list->viewport()->height() / row;
    if (shown < kLeastRows)
        faults << QStringLiteral("%1 shows %2 rows (%3 px high, rows of %4 px)")
                      .arg(describe(list))
                      .arg(shown)
                      .arg(list->viewport()->height())
                      .arg(row);
}

/// A scroll area holding a column of check boxes (a feature list).
void checkCheckBoxColumn(QScrollArea* area, QStringList& faults) {
    QWidget* content = area->widget();
    if (!content)
        return;
    QList<QCheckBox*> boxes = content->findChildren<QCheckBox*>();
    boxes.erase(std::remove_if(boxes.begin(), boxes.end(),
                               [content](QCheckBox* box) { return !box->isVisibleTo(content); }),
                boxes.end());
    if (boxes.size() < kLeastRows + 1)
        return;
    std::sort(boxes.begin(), boxes.end(),
              [](QCheckBox* a, QCheckBox* b) { return a->y() < b->y(); });
    const int pitch = boxes[1]->y() - boxes[0]->y();
    if (pitch <= 0)
        return; // not a column
    const int shown = area->viewport()->height() / pitch;
    if (shown < kLeastRows)
        faults << QStringLiteral("%1 shows %2 of its %3 rows (%4 px high, rows of %5 px)")
                      .arg(describe(area))
                      .arg(shown)
                      .arg(boxes.size())
                      .arg(area->viewport()->height())
                      .arg(pitch);
}

} // namespace

QStringList layoutFaults(QWidget& top, const LayoutAllowances& allow, QSize screen) {
    QStringList faults;
    if (top.width() > screen.width() || top.height() > screen.height())
        faults << QStringLiteral("%1 is %2 x %3, larger than the screen")
                      .arg(describe(&top))
                      .arg(top.width())
                      .arg(top.height());
    // Small enough is not enough: a window 1195 wide placed at x = 90 ends
    // past a 1280-pixel screen.
    if (top.isWindow()) {
        const QRect area(top.screen() ? top.screen()->availableGeometry().topLeft() : QPoint(),
                         screen);
        const QRect frame = top.frameGeometry();
        if (!area.contains(frame))
            faults << QStringLiteral("%1 reaches past the screen: frame %2, %3 to %4, %5 on a "
                                     "screen %6, %7 to %8, %9")
                          .arg(describe(&top))
                          .arg(frame.left())
                          .arg(frame.top())
                          .arg(frame.right())
                          .arg(frame.bottom())
                          .arg(area.left())
                          .arg(area.top())
                          .arg(area.right())
                          .arg(area.bottom());
    }
    const QSize least = top.minimumSizeHint().expandedTo(top.minimumSize());
    if (least.width() > screen.width() || least.height() > screen.height())
        faults << QStringLiteral("%1 needs at least %2 x %3")
                      .arg(describe(&top))
                      .arg(least.width())
                      .arg(least.height());

    for (QWidget* widget : top.findChildren<QWidget*>()) {
        if (!inSight(widget, top) || partOfAnotherControl(widget) ||
            widget->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const bool mayCut = allow.mayCutText.contains(widget->objectName());
        if (auto* button = qobject_cast<QAbstractButton*>(widget); button && !mayCut)
            checkButton(button, faults);
        else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && !mayCut)
            checkCombo(combo, faults);
        else if (auto* edit = qobject_cast<QLineEdit*>(widget); edit && !mayCut)
            checkLineEdit(edit, faults);
        else if (auto* box = qobject_cast<QGroupBox*>(widget); box && !mayCut)
            checkGroupBox(box, faults);

        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
            if (!allow.mayScrollSideways.contains(area->objectName()))
                checkSideways(area, faults);
            if (auto* list = qobject_cast<QListView*>(area))
                checkListRows(list, faults);
            else if (auto* scroll = qobject_cast<QScrollArea*>(area))
                checkCheckBoxColumn(scroll, faults);
        }
    }
    return faults;
}

QStringList dialogModeFaults(QDialog& dialog, const std::vector<DialogMode>& modes,
                             const LayoutAllowances& allow, QSize screen) {
    QStringList faults;
    const QPoint origin =
        dialog.screen() ? dialog.screen()->availableGeometry().topLeft() : QPoint();
    for (const DialogMode& mode : modes) {
        const QSize frame = dialog.frameGeometry().size();
        dialog.move(origin + QPoint(std::max(0, screen.width() - frame.width()),
                                    std::max(0, screen.height() - frame.height())));
        settleLayout();
        mode.enter();
        settleLayout();
        for (const QString& fault : layoutFaults(dialog, allow, screen))
            faults << mode.name + QStringLiteral(": ") + fault;
    }
    return faults;
}

} // namespace Quorvex3::testing
