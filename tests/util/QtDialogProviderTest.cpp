// The real message box with buttons of its own, answered from a timer while
// it runs modally: Qt lays the buttons out by role, the answer is the index
// in the order given.
#include "util/DialogProvider.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

TEST(QtDialogProviderMessageBox, AnswersTheIndexOfTheClickedButtonInTheOrderGiven) {
    CustomMessageBox box;
    box.text = "<b>not bold</b>";
    box.textFormat = Qt::PlainText;
    box.buttons = {{"Open", QMessageBox::AcceptRole},
                   {"Ignore", QMessageBox::ActionRole},
                   {"Later", QMessageBox::RejectRole}};
    EXPECT_EQ(createMessageBox(nullptr, box)->textFormat(), Qt::PlainText);
    const std::pair<QString, int> clicks[] = {{"Open", 0}, {"Ignore", 1}, {"Later", 2}, {"", 2}};
    for (const auto& [text, index] : clicks) {
        const QString name = text;
        QTimer::singleShot(0, [&] {
            auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(open, nullptr);
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            if (name.isEmpty())
                QApplication::sendEvent(open, &escape);
            for (QAbstractButton* button : open->buttons())
                if (button->text() == name)
                    button->click();
        });
        EXPECT_EQ(QtDialogProvider().messageBox(nullptr, box), index) << text.toStdString();
    }
}

} // namespace
} // namespace Quorvex3
