#pragma once

#include <QDialog>
#include <QString>

namespace Quorvex3 {

/// Version, maker, the libraries the program is built with and links to the
/// licence and notice texts shipped in the licences folder beside the
/// program (opened in the desktop's default application).
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    /// The licences folder beside the application (see findLicensesDir),
    /// or empty when none is shipped.
    static QString licensesDir();

    /// "Built with ...": the Qt named is the one linked at run time.
    static QString builtWithText();

public slots:
    /// Opens the licence file or folder behind an "app:" link; any other
    /// link is handed to the desktop as a URL.
    void onLinkActivated(const QString& link);

private:
    QString licenseLinksText() const;
};

} // namespace Quorvex3
