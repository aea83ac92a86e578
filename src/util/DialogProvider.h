#pragma once

#include <QColor>
#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QDialog;
class QWidget;

namespace Quorvex3 {

/// One button of a message box with buttons of its own.
struct MessageBoxButton {
    QString text;
    QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
};

/// A message box with buttons of its own: the question it asks and the
/// buttons it offers, in the order they are added to the box.
struct CustomMessageBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    /// Qt::PlainText for texts that hold outside data (an exception's text,
    /// release notes from a server), so markup in them is shown, not run.
    Qt::TextFormat textFormat = Qt::AutoText;
    std::vector<MessageBoxButton> buttons;
    /// Index into `buttons` of the default button; -1 lets Qt choose.
    int defaultButton = -1;
};

/// Asks for the name of a file to write through the current provider, for
/// dialogs whose `filters` (";;"-separated) each name one file format: the
/// answer completed by ensureOfferedFilterExtension, so a typed known suffix
/// chooses the format ("fig.svg" under the PNG filter is an SVG file) and a
/// name without one gets the selected filter's. Empty when cancelled.
QString askSaveFilePath(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filters);

/// The real QMessageBox for `box`, parented to `parent` and not yet shown;
/// its buttons are added in order, so button i is buttons().at(i). Shown,
/// it lies inside its screen (ScreenFitMessageBox).
std::unique_ptr<QMessageBox> createMessageBox(QWidget* parent, const CustomMessageBox& box);

/// The one way the program opens modal dialogs: file dialogs, message boxes
/// and its own dialogs.
///
/// Widgets never call the QFileDialog/QMessageBox statics directly; they call
/// `DialogProvider::current()`, which by default forwards to those statics.
/// Tests install a scripted fake with `setCurrent` (or `ScopedDialogProvider`)
/// that records the calls and returns prepared answers, so every path behind
/// a dialog runs offscreen without a blocking event loop.
///
/// GUI thread only. The arguments mean what they mean for the Qt statics of
/// the same name; file dialogs return an empty string (list) when cancelled.
/// Message texts are shown as plain text: they carry names and paths chosen
/// by users, which must appear as typed, never as markup. The default
/// provider's boxes lie inside the screen whatever their length: lines that
/// do not fit go to the box's details (ScreenFitMessageBox).
class DialogProvider {
public:
    virtual ~DialogProvider();

    /// The provider in use: the installed one, else the Qt default.
    static DialogProvider& current();

    /// Installs `provider` (not owned; null restores the Qt default) and
    /// returns the one installed before (null when it was the default).
    static DialogProvider* setCurrent(DialogProvider* provider);

    /// Name of an existing file to open. `selectedFilter`, when given, holds
    /// the filter to preselect and receives the one the user chose.
    virtual QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter, QString* selectedFilter = nullptr,
                                    QFileDialog::Options options = {}) = 0;

    /// Names of existing files to open (empty when cancelled).
    virtual QStringList getOpenFileNames(QWidget* parent, const QString& caption,
                                         const QString& dir, const QString& filter,
                                         QString* selectedFilter = nullptr,
                                         QFileDialog::Options options = {}) = 0;

    /// Name of a file to write, as typed: callers complete the extension with
    /// ensureSelectedFilterExtension and the filter read back here.
    virtual QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter, QString* selectedFilter = nullptr,
                                    QFileDialog::Options options = {}) = 0;

    /// An existing directory.
    virtual QString
    getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir,
                         QFileDialog::Options options = QFileDialog::ShowDirsOnly) = 0;

    /// Message boxes; each returns the button that closed the box.
    virtual QMessageBox::StandardButton
    information(QWidget* parent, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;
    virtual QMessageBox::StandardButton
    warning(QWidget* parent, const QString& title, const QString& text,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;
    virtual QMessageBox::StandardButton
    critical(QWidget* parent, const QString& title, const QString& text,
             QMessageBox::StandardButtons buttons = QMessageBox::Ok,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;
    virtual QMessageBox::StandardButton
    question(QWidget* parent, const QString& title, const QString& text,
             QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;
    /// A critical box whose "Show Details..." part holds `details`. By
    /// default the details are left out (critical()); providers able to show
    /// them override this.
    virtual QMessageBox::StandardButton criticalWithDetails(QWidget* parent, const QString& title,
                                                            const QString& text,
                                                            const QString& details);
    /// A warning box whose "Show Details..." part holds `details`; by
    /// default without them (warning()), like criticalWithDetails.
    virtual QMessageBox::StandardButton warningWithDetails(QWidget* parent, const QString& title,
                                                           const QString& text,
                                                           const QString& details);

    /// Runs a message box with buttons of its own. Returns the index in
    /// `box.buttons` of the button that closed it, or -1 when it was closed
    /// otherwise (Escape picks the reject-role button, as in Qt).
    virtual int messageBox(QWidget* parent, const CustomMessageBox& box) = 0;

    /// Runs one of the program's own dialogs modally and returns its result
    /// (QDialog::Accepted or QDialog::Rejected). The dialog is the caller's;
    /// its widgets carry object names so scripted tests can fill them in.
    virtual int execDialog(QDialog& dialog) = 0;

    /// Input dialogs. `ok`, when given, receives whether the user accepted;
    /// on cancel the returned value is meaningless (as for the Qt statics).
    virtual int getInt(QWidget* parent, const QString& title, const QString& label, int value,
                       int minValue, int maxValue, int step = 1, bool* ok = nullptr) = 0;
    virtual double getDouble(QWidget* parent, const QString& title, const QString& label,
                             double value, double minValue, double maxValue, int decimals = 1,
                             bool* ok = nullptr) = 0;
    virtual QString getText(QWidget* parent, const QString& title, const QString& label,
                            QLineEdit::EchoMode mode = QLineEdit::Normal,
                            const QString& text = QString(), bool* ok = nullptr) = 0;
    /// One of `items`, starting at `current`; `editable` lets the user type.
    virtual QString getItem(QWidget* parent, const QString& title, const QString& label,
                            const QStringList& items, int current = 0, bool editable = true,
                            bool* ok = nullptr) = 0;

    /// The standard colour dialog; an invalid colour when cancelled.
    virtual QColor getColor(const QColor& initial, QWidget* parent, const QString& title,
                            QColorDialog::ColorDialogOptions options = {}) = 0;

private:
    static DialogProvider* s_current;
};

/// The default provider: opens the real Qt dialogs.
class QtDialogProvider : public DialogProvider {
public:
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter, QString* selectedFilter,
                            QFileDialog::Options options) override;
    QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter, QString* selectedFilter,
                                 QFileDialog::Options options) override;
    QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter, QString* selectedFilter,
                            QFileDialog::Options options) override;
    QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir,
                                 QFileDialog::Options options) override;
    QMessageBox::StandardButton information(QWidget* parent, const QString& title,
                                            const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) override;
    QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override;
    QMessageBox::StandardButton critical(QWidget* parent, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override;
    QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override;
    int messageBox(QWidget* parent, const CustomMessageBox& box) override;
    int execDialog(QDialog& dialog) override;
    int getInt(QWidget* parent, const QString& title, const QString& label, int value, int minValue,
               int maxValue, int step, bool* ok) override;
    double getDouble(QWidget* parent, const QString& title, const QString& label, double value,
                     double minValue, double maxValue, int decimals, bool* ok) override;
    QString getText(QWidget* parent, const QString& title, const QString& label,
                    QLineEdit::EchoMode mode, const QString& text, bool* ok) override;
    QString getItem(QWidget* parent, const QString& title, const QString& label,
                    const QStringList& items, int current, bool editable, bool* ok) override;
    QColor getColor(const QColor& initial, QWidget* parent, const QString& title,
                    QColorDialog::ColorDialogOptions options) override;
    QMessageBox::StandardButton criticalWithDetails(QWidget* parent, const QString& title,
                                                    const QString& text,
                                                    const QString& details) override;
    QMessageBox::StandardButton warningWithDetails(QWidget* parent, const QString& title,
                                                   const QString& text,
                                                   const QString& details) override;
};

/// Installs a provider for the lifetime of the guard and restores the
/// previous one afterwards (for tests).
class ScopedDialogProvider {
public:
    explicit ScopedDialogProvider(DialogProvider& provider)
        : m_previous(DialogProvider::setCurrent(&provider)) {}
    ~ScopedDialogProvider() { DialogProvider::setCurrent(m_previous); }
    ScopedDialogProvider(const ScopedDialogProvider&) = delete;
    ScopedDialogProvider& operator=(const ScopedDialogProvider&) = delete;

private:
    DialogProvider* m_previous;
};

} // namespace Quorvex3
