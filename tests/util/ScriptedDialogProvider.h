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

#include <deque>
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
        Question
    };
    Kind kind;
    QString title;               // caption of file dialogs, title of message boxes
    QString text;                // message box text; the filter of file dialogs
    QString dir;                 // start directory of file dialogs
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

    QMessageBox::StandardButton criticalWithDetails(QWidget*, const QString& title,
                                                    const QString& text,
                                                    const QString& details) override {
        // Through critical(), so fakes that watch it see this box too.
        const QMessageBox::StandardButton answer =
            critical(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        calls.back().details = details;
        return answer;
    }

private:
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
