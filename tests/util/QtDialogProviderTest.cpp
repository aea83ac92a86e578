// The real message box with buttons of its own, clicked from a timer while
// it runs modally.
#include "util/DialogProvider.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

CustomMessageBox updateBox() {
    CustomMessageBox box;
    box.icon = QMessageBox::Information;
    box.title = "Update Available";
    box.text = "<b>not bold</b>";
    box.textFormat = Qt::PlainText;
    // Accept, action and reject roles: Qt lays them out in another order.
    box.buttons = {{"Open Downloads...", QMessageBox::AcceptRole},
                   {"Ignore This Version", QMessageBox::ActionRole},
                   {"Later", QMessageBox::RejectRole}};
    return box;
}

/// Runs `box` and, once it is open, clicks the button with `text` (or
/// presses Escape when `text` is empty); returns the provider's answer.
int runAndClick(const CustomMessageBox& box, const QString& text, QString* shownText = nullptr,
                Qt::TextFormat* shownFormat = nullptr) {
    QTimer::singleShot(0, [&] {
        auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(open, nullptr);
        if (shownText)
            *shownText = open->text();
        if (shownFormat)
            *shownFormat = open->textFormat();
        if (text.isEmpty()) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(open, &escape);
            return;
        }
        for (QAbstractButton* button : open->buttons())
            if (button->text() == text)
                button->click();
    });
    return QtDialogProvider().messageBox(nullptr, box);
}

TEST(QtDialogProviderMessageBox, AnswersTheIndexOfTheClickedButtonInTheOrderGiven) {
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    EXPECT_EQ(runAndClick(updateBox(), "Open Downloads...", &shown, &format), 0);
    EXPECT_EQ(shown, "<b>not bold</b>");
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(runAndClick(updateBox(), "Ignore This Version"), 1);
    EXPECT_EQ(runAndClick(updateBox(), "Later"), 2);
}

TEST(QtDialogProviderMessageBox, EscapeChoosesTheRejectButton) {
    EXPECT_EQ(runAndClick(updateBox(), QString()), 2);
}

} // namespace
} // namespace Quorvex3
