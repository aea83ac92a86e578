#include "util/DialogProvider.h"

#include "util/FileNameUtil.h"
#include "util/ScreenFitMessageBox.h"

#include <QAbstractButton>
#include <QDialog>
#include <QInputDialog>
#include <QPushButton>
#include <QVariant>

namespace Quorvex3 {

DialogProvider* DialogProvider::s_current = nullptr;

DialogProvider::~DialogProvider() = default;

DialogProvider& DialogProvider::current() {
    static QtDialogProvider s_default;
    return s_current ? *s_current : s_default;
}

DialogProvider* DialogProvider::setCurrent(DialogProvider* provider) {
    DialogProvider* previous = s_current;
    s_current = provider;
    return previous;
}

QString QtDialogProvider::getOpenFileName(QWidget* parent, const QString& caption,
                                          const QString& dir, const QString& filter,
                                          QString* selectedFilter, QFileDialog::Options options) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, selectedFilter, options);
}

QStringList QtDialogProvider::getOpenFileNames(QWidget* parent, const QString& caption,
                                               const QString& dir, const QString& filter,
                                               QString* selectedFilter,
                                               QFileDialog::Options options) {
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter, selectedFilter, options);
}

QString QtDialogProvider::getSaveFileName(QWidget* parent, const QString& caption,
                                          const QString& dir, const QString& filter,
                                          QString* selectedFilter, QFileDialog::Options options) {
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter, options);
}

QString QtDialogProvider::getExistingDirectory(QWidget* parent, const QString& caption,
                                               const QString& dir, QFileDialog::Options options) {
    return QFileDialog::getExistingDirectory(parent, caption, dir, options);
}

namespace {

/// A modal box like the QMessageBox statics open, but with plain text and
/// inside the screen.
QMessageBox::StandardButton showBox(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton,
                                    const QString& details = QString()) {
    ScreenFitMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    if (!details.isEmpty())
        box.setDetailedText(details);
    if (box.exec() == -1)
        return QMessageBox::Cancel;
    return box.standardButton(box.clickedButton());
}

} // namespace

QMessageBox::StandardButton DialogProvider::criticalWithDetails(QWidget* parent,
                                                                const QString& title,
                                                                const QString& text,
                                                                const QString&) {
    return critical(parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

QMessageBox::StandardButton DialogProvider::warningWithDetails(QWidget* parent,
                                                               const QString& title,
                                                               const QString& text,
                                                               const QString&) {
    return warning(parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

QMessageBox::StandardButton
QtDialogProvider::information(QWidget* parent, const QString& title, const QString& text,
                              QMessageBox::StandardButtons buttons,
                              QMessageBox::StandardButton defaultButton) {
    return showBox(QMessageBox::Information, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton QtDialogProvider::warning(QWidget* parent, const QString& title,
                                                      const QString& text,
                                                      QMessageBox::StandardButtons buttons,
                                                      QMessageBox::StandardButton defaultButton) {
    return showBox(QMessageBox::Warning, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton QtDialogProvider::critical(QWidget* parent, const QString& title,
                                                       const QString& text,
                                                       QMessageBox::StandardButtons buttons,
                                                       QMessageBox::StandardButton defaultButton) {
    return showBox(QMessageBox::Critical, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton QtDialogProvider::question(QWidget* parent, const QString& title,
                                                       const QString& text,
                                                       QMessageBox::StandardButtons buttons,
                                                       QMessageBox::StandardButton defaultButton) {
    return showBox(QMessageBox::Question, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton QtDialogProvider::criticalWithDetails(QWidget* parent,
                                                                  const QString& title,
                                                                  const QString& text,
                                                                  const QString& details) {
    return showBox(QMessageBox::Critical, parent, title, text, QMessageBox::Ok,
                   QMessageBox::NoButton, details);
}

QMessageBox::StandardButton QtDialogProvider::warningWithDetails(QWidget* parent,
                                                                 const QString& title,
                                                                 const QString& text,
                                                                 const QString& details) {
    return showBox(QMessageBox::Warning, parent, title, text, QMessageBox::Ok,
                   QMessageBox::NoButton, details);
}

namespace {
// Qt lists a box's buttons grouped by role, not in the order they were
// added, so each button carries its index.
const char* const kButtonIndexProperty = "quorvex3ButtonIndex";
} // namespace

QString askSaveFilePath(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filters) {
    QString selectedFilter;
    const QString path =
        DialogProvider::current().getSaveFileName(parent, caption, dir, filters, &selectedFilter);
    return path.isEmpty() ? QString() : ensureOfferedFilterExtension(path, selectedFilter, filters);
}

std::unique_ptr<QMessageBox> createMessageBox(QWidget* parent, const CustomMessageBox& box) {
    std::unique_ptr<QMessageBox> messageBox = std::make_unique<ScreenFitMessageBox>(parent);
    messageBox->setIcon(box.icon);
    messageBox->setWindowTitle(box.title);
    messageBox->setTextFormat(box.textFormat);
    messageBox->setText(box.text);
    for (std::size_t i = 0; i < box.buttons.size(); ++i) {
        QPushButton* button = messageBox->addButton(box.buttons[i].text, box.buttons[i].role);
        button->setProperty(kButtonIndexProperty, static_cast<int>(i));
        if (static_cast<int>(i) == box.defaultButton)
            messageBox->setDefaultButton(button);
    }
    return messageBox;
}

int QtDialogProvider::messageBox(QWidget* parent, const CustomMessageBox& box) {
    const std::unique_ptr<QMessageBox> messageBox = createMessageBox(parent, box);
    messageBox->exec();
    const QAbstractButton* clicked = messageBox->clickedButton();
    if (!clicked)
        return -1;
    bool ok = false;
    const int index = clicked->property(kButtonIndexProperty).toInt(&ok);
    return ok ? index : -1;
}

int QtDialogProvider::execDialog(QDialog& dialog) {
    return dialog.exec();
}

int QtDialogProvider::getInt(QWidget* parent, const QString& title, const QString& label, int value,
                             int minValue, int maxValue, int step, bool* ok) {
    return QInputDialog::getInt(parent, title, label, value, minValue, maxValue, step, ok);
}

double QtDialogProvider::getDouble(QWidget* parent, const QString& title, const QString& label,
                                   double value, double minValue, double maxValue, int decimals,
                                   bool* ok) {
    return QInputDialog::getDouble(parent, title, label, value, minValue, maxValue, decimals, ok);
}

QString QtDialogProvider::getText(QWidget* parent, const QString& title, const QString& label,
                                  QLineEdit::EchoMode mode, const QString& text, bool* ok) {
    return QInputDialog::getText(parent, title, label, mode, text, ok);
}

QString QtDialogProvider::getItem(QWidget* parent, const QString& title, const QString& label,
                                  const QStringList& items, int current, bool editable, bool* ok) {
    return QInputDialog::getItem(parent, title, label, items, current, editable, ok);
}

QColor QtDialogProvider::getColor(const QColor& initial, QWidget* parent, const QString& title,
                                  QColorDialog::ColorDialogOptions options) {
    return QColorDialog::getColor(initial, parent, title, options);
}

} // namespace Quorvex3
