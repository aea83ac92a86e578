#include "util/DialogProvider.h"

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

QMessageBox::StandardButton
QtDialogProvider::information(QWidget* parent, const QString& title, const QString& text,
                              QMessageBox::StandardButtons buttons,
                              QMessageBox::StandardButton defaultButton) {
    return QMessageBox::information(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton QtDialogProvider::warning(QWidget* parent, const QString& title,
                                                      const QString& text,
                                                      QMessageBox::StandardButtons buttons,
                                                      QMessageBox::StandardButton defaultButton) {
    return QMessageBox::warning(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton QtDialogProvider::critical(QWidget* parent, const QString& title,
                                                       const QString& text,
                                                       QMessageBox::StandardButtons buttons,
                                                       QMessageBox::StandardButton defaultButton) {
    return QMessageBox::critical(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton QtDialogProvider::question(QWidget* parent, const QString& title,
                                                       const QString& text,
                                                       QMessageBox::StandardButtons buttons,
                                                       QMessageBox::StandardButton defaultButton) {
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

} // namespace Quorvex3
