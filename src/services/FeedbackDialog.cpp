#include "services/FeedbackDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Quorvex3 {

namespace {

QLabel* errorLabel(const QString& title, const QString& details, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("<b>Error:</b> ") + title.toHtmlEscaped() +
                                 QStringLiteral("<br>") + details.toHtmlEscaped(),
                             parent);
    label->setObjectName(QString::fromLatin1(kFeedbackErrorLabelName));
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    return label;
}

QPlainTextEdit* previewEditor(const QString& preview, QWidget* parent) {
    auto* editor = new QPlainTextEdit(parent);
    editor->setObjectName(QString::fromLatin1(kFeedbackPreviewName));
    editor->setReadOnly(true);
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(8);
    editor->setFont(font);
    editor->setPlainText(preview);
    return editor;
}

} // namespace

QDialog* createFeedbackDialog(const QString& errorTitle, const QString& errorDetails,
                              const QString& preview, QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(QStringLiteral("Send Feedback to BVA Support"));
    dialog->resize(640, 540);
    auto* layout = new QVBoxLayout(dialog);

    if (!errorTitle.isEmpty() || !errorDetails.isEmpty())
        layout->addWidget(errorLabel(errorTitle, errorDetails, dialog));
    layout->addWidget(new QLabel(
        QStringLiteral("The information below will be sent to BVA support:\n"
                       "  \u2022 Application version and system info\n"
                       "  \u2022 A summary of the current session (no file paths or sample names)\n"
                       "  \u2022 Recent diagnostic log messages"),
        dialog));
    layout->addWidget(new QLabel(QStringLiteral("Your comment (optional):"), dialog));
    auto* comment = new QPlainTextEdit(dialog);
    comment->setObjectName(QString::fromLatin1(kFeedbackCommentName));
    comment->setPlaceholderText(QStringLiteral("Describe what happened or what you expected..."));
    comment->setMaximumHeight(100);
    layout->addWidget(comment);
    layout->addWidget(new QLabel(QStringLiteral("Preview of data to be sent:"), dialog));
    layout->addWidget(previewEditor(preview, dialog));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    QPushButton* send = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
    send->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    return dialog;
}

QString feedbackComment(const QDialog& dialog) {
    const auto* editor =
        dialog.findChild<QPlainTextEdit*>(QString::fromLatin1(kFeedbackCommentName));
    return editor ? editor->toPlainText().trimmed() : QString();
}

} // namespace Quorvex3
