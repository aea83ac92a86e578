// The real message box with buttons of its own, clicked from a timer while it
// runs modally: Qt lays the buttons out by role, the answer is the index in
// the order given.
#include "util/DialogProvider.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

using Quorvex3::CustomMessageBox;

TEST(QtDialogProviderMessageBox, AnswersTheIndexOfTheClickedButtonInTheOrderGiven) {
    CustomMessageBox box;
    box.textFormat = Qt::PlainText;
    box.buttons = {{"Open", QMessageBox::AcceptRole},
                   {"Ignore", QMessageBox::ActionRole},
                   {"Later", QMessageBox::RejectRole}};
    EXPECT_EQ(Quorvex3::createMessageBox(nullptr, box)->textFormat(), Qt::PlainText);
    for (int i = 0; i < 3; ++i) {
        QTimer::singleShot(0, [&] {
            for (auto* button : QApplication::activeModalWidget()->findChildren<QAbstractButton*>())
                if (button->text() == box.buttons[i].text)
                    button->click();
        });
        EXPECT_EQ(Quorvex3::QtDialogProvider().messageBox(nullptr, box), i);
    }
}
