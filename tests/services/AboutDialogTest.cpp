// The About dialog: the libraries it names, where it finds the licence
// texts, and what each licence link opens.
#include "ServicesTestSupport.h"

#include "services/AboutDialog.h"
#include "services/AppLocations.h"
#include "util/ScriptedDialogProvider.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

using testing::DialogCall;

[[maybe_unused]] const bool s_application = (testing::installServicesTestApplication(), true);

const QString kBuiltAppDir = QStringLiteral(QUORVEX3_BUILT_APP_DIR);

const struct {
    const char* link;
    const char* name;
} kLinks[] = {
    {"app:license-en", "Software License Agreement.md"},
    {"app:license-de", "Softwarelizenzvereinbarung.md"},
    {"app:notice-en", "(EN) Quorvex 3THIRD PARTY SOFTWARE NOTICES.md"},
    {"app:notice-de", "(DE) Quorvex 3 THIRD PARTY SOFTWARE NOTICES.md"},
    {"app:thirdparty-folder", "third party licenses"},
};

class AboutDialogTest : public ::testing::Test {
protected:
    AboutDialogTest() : guard(dialogs) {}
    ~AboutDialogTest() override { setApplicationDirOverride(QString()); }

    static QLabel* linksLabel(AboutDialog& dialog) {
        return dialog.findChild<QLabel*>(QStringLiteral("licenseLinks"));
    }

    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard;
    testing::UrlRecorder urls{{"file", "https"}};
};

TEST_F(AboutDialogTest, OpensEachShippedLicenceTextThroughItsLink) {
    setApplicationDirOverride(kBuiltAppDir);
    const QString folder = QDir::cleanPath(kBuiltAppDir + "/licenses");
    ASSERT_EQ(AboutDialog::licensesDir(), folder);
    AboutDialog dialog;
    QLabel* links = linksLabel(dialog);
    ASSERT_NE(links, nullptr);
    for (const auto& entry : kLinks) {
        SCOPED_TRACE(entry.link);
        EXPECT_TRUE(links->text().contains(QStringLiteral("href=\"%1\"").arg(entry.link)));
        emit links->linkActivated(QString::fromLatin1(entry.link));
        ASSERT_FALSE(urls.opened.empty());
        const QString path = QDir(folder).filePath(QString::fromUtf8(entry.name));
        EXPECT_EQ(urls.opened.back(), QUrl::fromLocalFile(path));
        EXPECT_TRUE(QFileInfo::exists(path));
    }
    EXPECT_EQ(urls.opened.size(), 5u);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(AboutDialogTest, ShipsTheLibrariesCopyrightFiles) {
    const QDir thirdParty(kBuiltAppDir + "/licenses/third party licenses");
    for (const char* package : {"libqt5core5a", "libqwt-qt5-6", "libhdf5-103-1",
                                "libopencv-core406", "libarmadillo11", "zlib1g", "liblapack3"}) {
        SCOPED_TRACE(package);
        QFile file(thirdParty.filePath(QString::fromLatin1(package) + ".copyright"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().contains("Copyright"));
    }
    // The licence of the program itself is not decided yet, and says so.
    QFile agreement(kBuiltAppDir + "/licenses/Software License Agreement.md");
    ASSERT_TRUE(agreement.open(QIODevice::ReadOnly));
    EXPECT_TRUE(agreement.readAll().contains("has not been decided yet"));
}

TEST_F(AboutDialogTest, NamesAMissingLicenceFile) {
    QTemporaryDir app;
    QDir(app.path()).mkpath("licenses");
    setApplicationDirOverride(app.path());
    AboutDialog dialog;
    dialog.onLinkActivated("app:notice-de");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(dialogs.calls[0].title, "About");
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not find:\n" + app.path() +
                  "/licenses/(DE) Quorvex 3 THIRD PARTY SOFTWARE NOTICES.md"
                  "\n\nThe licenses folder is shipped alongside the application; this build "
                  "appears to be missing it.");
    EXPECT_TRUE(urls.opened.empty());
}

TEST_F(AboutDialogTest, WithoutALicencesFolderSaysSo) {
    QTemporaryDir app;
    QDir(app.path()).mkpath("licenses");
    setApplicationDirOverride(app.path());
    AboutDialog dialog;
    EXPECT_TRUE(linksLabel(dialog)->text().contains("app:license-en"));

    // The folder goes while the dialog is open.
    QDir(app.path() + "/licenses").removeRecursively();
    dialog.onLinkActivated("app:license-en");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, "License files are not available in this build.");
    EXPECT_TRUE(urls.opened.empty());

    AboutDialog without;
    EXPECT_EQ(linksLabel(without)->text(), "<i>License files are not bundled with this build.</i>");
}

TEST_F(AboutDialogTest, HandsOtherLinksToTheDesktop) {
    setApplicationDirOverride(kBuiltAppDir);
    AboutDialog dialog;
    dialog.onLinkActivated("https://example.com/licenses");
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0], QUrl("https://example.com/licenses"));
}

TEST_F(AboutDialogTest, NamesTheQtItRunsWith) {
    EXPECT_EQ(AboutDialog::builtWithText(),
              QStringLiteral("Built with Qt %1, QWT, HDF5, OpenCV, Armadillo.").arg(qVersion()));
}

} // namespace
} // namespace Quorvex3
