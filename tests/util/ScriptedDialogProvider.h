#pragma once

// Scripted stand-in for the modal dialogs, for offscreen widget tests:
//
//     Quorvex3::testing::ScriptedDialogProvider dialogs;
//     dialogs.fileAnswers.push_back(dir.path() + "/frame");
//     dialogs.filterAnswers.push_back("PNG Images (*.png)");
//     Quorvex3::ScopedDialogProvider guard(dialogs);
//     viewer.saveImage();
//     EXPECT_EQ(dialogs.calls.back().title, "Success");

#include "util/DialogProvider.h"

#include <QDialog>

#include <deque>
#include <functional>
#include <utility>
#include <vector>

namespace Quorvex3::testing {

/// One dialog the code under test opened.
struct DialogCall {
    enum Kind {
        OpenFile,
        OpenFiles,
        SaveFile,
        Directory,
        Information,
        Warning,
        Critical,
        Question,
        MessageBox, // a box with buttons of its own
        Dialog,     // one of the program's own dialogs
        Input,      // getInt, getDouble, getText, getItem
        Color       // the colour dialog
    };
    Kind kind;
    QString title; // caption of file dialogs, title of message boxes and dialogs
    QString text;  // message box text; the filter of file dialogs
    QString dir;   // start directory of file dialogs
    // Boxes with buttons of their own:
    Qt::TextFormat textFormat = Qt::AutoText;
    QStringList buttons = {}; // button texts in the order offered
    QString details = QString(); // the details part of a message box
};

/// Records every dialog and answers from queues. An exhausted file queue
/// answers as a cancelled dialog (empty); an exhausted button queue answers
/// with the default button, else the first of the offered buttons.
class ScriptedDialogProvider : public DialogProvider {
public:
    std::deque<QString> fileAnswers;   // open/save/directory answers, in order
    std::deque<QString> filterAnswers; // selected filters of file dialogs
    std::deque<QStringList> multiFileAnswers;
    std::deque<QMessageBox::StandardButton> buttonAnswers;
    /// Boxes with buttons of their own: the text of the button to click; a
    /// text the box does not offer, or none when exhausted, closes it
    /// without a button (-1).
    std::deque<QString> choiceAnswers;
    /// Runs once, while the next box with buttons of its own is open.
    std::function<void()> whileBoxOpen;
    /// Runs each dialog given to execDialog while it is "open" (fill in its
    /// widgets, click its buttons) and returns its result; without one the
    /// dialog is rejected untouched.
    std::function<int(QDialog&)> dialogScript;
    /// Input dialogs: the next answer, as text ("42", "0.5", an item);
    /// none left (or the string "<cancel>") cancels the dialog.
    std::deque<QString> inputAnswers;
    /// Colour dialogs: the next colour; none left cancels (invalid colour).
    std::deque<QColor> colorAnswers;
    std::vector<DialogCall> calls;

    /// Number of recorded calls of one kind.
    int count(DialogCall::Kind kind) const {
        int n = 0;
        for (const DialogCall& call : calls)
            n += call.kind == kind ? 1 : 0;
        return n;
    }

    QString getOpenFileName(QWidget*, const QString& caption, const QString& dir,
                            const QString& filter, QString* selectedFilter,
                            QFileDialog::Options) override {
        calls.push_back({DialogCall::OpenFile, caption, filter, dir});
        answerFilter(filter, selectedFilter);
        return nextFile();
    }

    QStringList getOpenFileNames(QWidget*, const QString& caption, const QString& dir,
                                 const QString& filter, QString* selectedFilter,
                                 QFileDialog::Options) override {
        calls.push_back({DialogCall::OpenFiles, caption, filter, dir});
        answerFilter(filter, selectedFilter);
        if (multiFileAnswers.empty())
            return {};
        QStringList answer = multiFileAnswers.front();
        multiFileAnswers.pop_front();
        return answer;
    }

    QString getSaveFileName(QWidget*, const QString& caption, const QString& dir,
                            const QString& filter, QString* selectedFilter,
                            QFileDialog::Options) override {
        calls.push_back({DialogCall::SaveFile, caption, filter, dir});
        answerFilter(filter, selectedFilter);
        return nextFile();
    }

    QString getExistingDirectory(QWidget*, const QString& caption, const QString& dir,
                                 QFileDialog::Options) override {
        calls.push_back({DialogCall::Directory, caption, QString(), dir});
        return nextFile();
    }

    QMessageBox::StandardButton information(QWidget*, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) override {
        return box(DialogCall::Information, title, text, buttons, defaultButton);
    }

    QMessageBox::StandardButton warning(QWidget*, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override {
        return box(DialogCall::Warning, title, text, buttons, defaultButton);
    }

    QMessageBox::StandardButton critical(QWidget*, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override {
        return box(DialogCall::Critical, title, text, buttons, defaultButton);
    }

    QMessageBox::StandardButton question(QWidget*, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override {
        return box(DialogCall::Question, title, text, buttons, defaultButton);
    }

    int messageBox(QWidget*, const CustomMessageBox& box) override {
        DialogCall call{DialogCall::MessageBox, box.title, box.text, QString(), box.textFormat};
        for (const MessageBoxButton& button : box.buttons)
            call.buttons.append(button.text);
        calls.push_back(call);
        if (const std::function<void()> hook = std::exchange(whileBoxOpen, nullptr))
            hook();
        if (choiceAnswers.empty())
            return -1;
        const QString answer = choiceAnswers.front();
        choiceAnswers.pop_front();
        return static_cast<int>(call.buttons.indexOf(answer));
    }

    int execDialog(QDialog& dialog) override {
        calls.push_back({DialogCall::Dialog, dialog.windowTitle(), QString(), QString()});
        return dialogScript ? dialogScript(dialog) : static_cast<int>(QDialog::Rejected);
    }

    int getInt(QWidget*, const QString& title, const QString& label, int value, int, int, int,
               bool* ok) override {
        const QString answer = nextInput(title, label, ok);
        return answer.isNull() ? value : answer.toInt();
    }

    double getDouble(QWidget*, const QString& title, const QString& label, double value, double,
                     double, int, bool* ok) override {
        const QString answer = nextInput(title, label, ok);
        return answer.isNull() ? value : answer.toDouble();
    }

    QString getText(QWidget*, const QString& title, const QString& label, QLineEdit::EchoMode,
                    const QString& text, bool* ok) override {
        const QString answer = nextInput(title, label, ok);
        return answer.isNull() ? text : answer;
    }

    QString getItem(QWidget*, const QString& title, const QString& label, const QStringList& items,
                    int current, bool, bool* ok) override {
        const QString answer = nextInput(title, label, ok);
        calls.back().buttons = items;
        if (answer.isNull())
            return current >= 0 && current < items.size() ? items.at(current) : QString();
        return answer;
    }

    QColor getColor(const QColor& initial, QWidget*, const QString& title,
                    QColorDialog::ColorDialogOptions) override {
        calls.push_back({DialogCall::Color, title, initial.name(), QString()});
        if (colorAnswers.empty())
            return QColor();
        const QColor answer = colorAnswers.front();
        colorAnswers.pop_front();
        return answer;
    }

    QMessageBox::StandardButton criticalWithDetails(QWidget*, const QString& title,
                                                    const QString& text,
                                                    const QString& details) override {
        // Through critical(), so fakes that watch it see this box too.
        const QMessageBox::StandardButton answer =
            critical(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        calls.back().details = details;
        return answer;
    }

    QMessageBox::StandardButton warningWithDetails(QWidget*, const QString& title,
                                                   const QString& text,
                                                   const QString& details) override {
        // Through warning(), so fakes that watch it see this box too.
        const QMessageBox::StandardButton answer =
            warning(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        calls.back().details = details;
        return answer;
    }

private:
    // The scripted answer, or a null string when the dialog is cancelled.
    QString nextInput(const QString& title, const QString& label, bool* ok) {
        calls.push_back({DialogCall::Input, title, label, QString()});
        QString answer;
        if (!inputAnswers.empty()) {
            answer = inputAnswers.front();
            inputAnswers.pop_front();
        }
        const bool accepted = !answer.isNull() && answer != QStringLiteral("<cancel>");
        if (ok)
            *ok = accepted;
        return accepted ? answer : QString();
    }

    QString nextFile() {
        if (fileAnswers.empty())
            return QString();
        QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    // Like the real dialog: the scripted choice, else the preselected
    // filter, else the first one offered.
    void answerFilter(const QString& filter, QString* selectedFilter) {
        if (!selectedFilter)
            return;
        if (!filterAnswers.empty()) {
            *selectedFilter = filterAnswers.front();
            filterAnswers.pop_front();
        } else if (selectedFilter->isEmpty()) {
            *selectedFilter = filter.section(QStringLiteral(";;"), 0, 0);
        }
    }

    QMessageBox::StandardButton box(DialogCall::Kind kind, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) {
        calls.push_back({kind, title, text, QString()});
        if (!buttonAnswers.empty()) {
            const QMessageBox::StandardButton answer = buttonAnswers.front();
            buttonAnswers.pop_front();
            return answer;
        }
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
            if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
                return static_cast<QMessageBox::StandardButton>(bit);
        }
        return QMessageBox::NoButton;
    }
};

} // namespace Quorvex3::testing
