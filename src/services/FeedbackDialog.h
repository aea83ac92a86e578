#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace Quorvex3 {

/// Object names of the feedback dialog's widgets (scripted tests fill them).
inline const char* const kFeedbackErrorLabelName = "feedbackErrorLabel";
inline const char* const kFeedbackCommentName = "feedbackComment";
inline const char* const kFeedbackPreviewName = "feedbackPreview";

/// The dialog "Send Feedback to BVA Support", not yet shown: the error (only
/// when a title or details are given), the comment editor, the read-only
/// preview of the report and the "Send" and "Cancel" buttons. The caller
/// owns it.
QDialog* createFeedbackDialog(const QString& errorTitle, const QString& errorDetails,
                              const QString& preview, QWidget* parent);

/// The comment typed into a feedback dialog, without leading and trailing
/// white space.
QString feedbackComment(const QDialog& dialog);

} // namespace Quorvex3
