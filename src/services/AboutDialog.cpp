#include "services/AboutDialog.h"

#include "services/AppLocations.h"
#include "services/UpdateChecker.h"
#include "util/DialogProvider.h"

#include <QDate>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStringList>
#include <QUrl>
#include <QVBoxLayout>
#include <QtGlobal>

namespace Quorvex3 {

namespace {

struct LicenseLink {
    const char* link;
    const char* name; // file or folder in the licences folder
};

// The English notice's file name has no blank between "3" and "THIRD", the
// German one has; both are the names the texts are published under.
const LicenseLink kLicenseLinks[] = {
    {"app:license-en", "Software License Agreement.md"},
    {"app:license-de", "Softwarelizenzvereinbarung.md"},
    {"app:notice-en", "(EN) Quorvex 3THIRD PARTY SOFTWARE NOTICES.md"},
    {"app:notice-de", "(DE) Quorvex 3 THIRD PARTY SOFTWARE NOTICES.md"},
    {"app:thirdparty-folder", "third party licenses"},
};

QString anchor(const char* target, const QString& label) {
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(QString::fromLatin1(target), label);
}

QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

void warn(QWidget* parent, const QString& text) {
    DialogProvider::current().warning(parent, QStringLiteral("About"), text, QMessageBox::Ok);
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Quorvex3"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);

    auto* title = new QLabel(
        QStringLiteral("<div style='font-size:18px; font-weight:bold;'>Quorvex3 v%1</div>")
            .arg(UpdateChecker::currentVersion()),
        this);
    title->setTextFormat(Qt::RichText);
    layout->addWidget(title);
    layout->addWidget(wrappedLabel(
        QStringLiteral("Data analysis and visualization tool for Veloxar RT-DC data."), this));
    auto* rights = new QLabel(
        QStringLiteral("&copy; %1 BVA. All rights reserved.").arg(QDate::currentDate().year()),
        this);
    rights->setTextFormat(Qt::RichText);
    layout->addWidget(rights);
    layout->addWidget(wrappedLabel(builtWithText(), this));
    layout->addSpacing(4);

    auto* links = new QLabel(licenseLinksText(), this);
    links->setObjectName(QStringLiteral("licenseLinks"));
    links->setTextFormat(Qt::RichText);
    links->setWordWrap(true);
    links->setOpenExternalLinks(false);
    links->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(links, &QLabel::linkActivated, this, &AboutDialog::onLinkActivated);
    layout->addWidget(links);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString AboutDialog::licensesDir() {
    return findLicensesDir(applicationDir());
}

QString AboutDialog::builtWithText() {
    const QStringList libraries = {QStringLiteral("Qt %1").arg(QString::fromLatin1(qVersion())),
                                   QStringLiteral("QWT"), QStringLiteral("HDF5"),
                                   QStringLiteral("OpenCV"), QStringLiteral("Armadillo")};
    return QStringLiteral("Built with %1.").arg(libraries.join(QStringLiteral(", ")));
}

QString AboutDialog::licenseLinksText() const {
    if (licensesDir().isEmpty())
        return QStringLiteral("<i>License files are not bundled with this build.</i>");
    return QStringLiteral("<b>License:</b> ") +
           anchor("app:license-en", QStringLiteral("English")) + QStringLiteral(" &middot; ") +
           anchor("app:license-de", QStringLiteral("Deutsch")) +
           QStringLiteral("<br><b>Third-party notices:</b> ") +
           anchor("app:notice-en", QStringLiteral("English")) + QStringLiteral(" &middot; ") +
           anchor("app:notice-de", QStringLiteral("Deutsch")) + QStringLiteral("<br>") +
           anchor("app:thirdparty-folder",
                  QStringLiteral("Open third-party license texts folder\u2026"));
}

void AboutDialog::onLinkActivated(const QString& link) {
    const QString folder = licensesDir();
    if (folder.isEmpty()) {
        warn(this, QStringLiteral("License files are not available in this build."));
        return;
    }
    const LicenseLink* known = nullptr;
    for (const LicenseLink& entry : kLicenseLinks)
        if (link == QLatin1String(entry.link))
            known = &entry;
    if (!known) {
        QDesktopServices::openUrl(QUrl(link));
        return;
    }
    const QString path = QDir(folder).filePath(QString::fromUtf8(known->name));
    if (!QFileInfo::exists(path)) {
        warn(this, QStringLiteral("Could not find:\n") + path +
                       QStringLiteral("\n\nThe licenses folder is shipped alongside the "
                                      "application; this build appears to be missing it."));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        warn(this, QStringLiteral("Could not open:\n") + path);
}

} // namespace Quorvex3
