// Where the manual and the licence texts are looked for.
#include "services/AppLocations.h"

#include "support/RtdcFixtureWriter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

TEST(AppLocations, LooksForTheManualInThreePlacesInOrder) {
    testing::TempDir root;
    const QString app = QString::fromStdString(root.path()) + "/bin";
    QDir().mkpath(app);
    const QStringList candidates = manualCandidates(app);
    EXPECT_EQ(candidates, QStringList({app + "/../data/quorvex3.qch", app + "/data/quorvex3.qch",
                                       app + "/../Resources/quorvex3.qch"}));
    EXPECT_TRUE(findManual(app).isEmpty());

    // Later candidates count only while the earlier ones are missing.
    for (int i = 2; i >= 0; --i) {
        QDir().mkpath(QFileInfo(candidates[i]).absolutePath());
        QFile file(candidates[i]);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        EXPECT_EQ(findManual(app), candidates[i]);
    }
}

TEST(AppLocations, FindsTheLicensesFolderInOrderAndCleaned) {
    testing::TempDir root;
    const QString base = QString::fromStdString(root.path());
    const QString app = base + "/Quorvex3.app/MacOS/";
    QDir().mkpath(app);
    EXPECT_EQ(licensesDirCandidates(app),
              QStringList({base + "/Quorvex3.app/Resources/licenses",
                           base + "/Quorvex3.app/MacOS/licenses",
                           base + "/Quorvex3.app/share/quorvex3/licenses"}));
    EXPECT_TRUE(findLicensesDir(app).isEmpty());

    QDir().mkpath(base + "/Quorvex3.app/share/quorvex3/licenses");
    EXPECT_EQ(findLicensesDir(app), base + "/Quorvex3.app/share/quorvex3/licenses");
    QDir().mkpath(app + "licenses");
    EXPECT_EQ(findLicensesDir(app), base + "/Quorvex3.app/MacOS/licenses");
    QDir().mkpath(base + "/Quorvex3.app/Resources/licenses");
    EXPECT_EQ(findLicensesDir(app), base + "/Quorvex3.app/Resources/licenses");

    // A file of that name is not a folder.
    testing::TempDir other;
    const QString otherApp = QString::fromStdString(other.path());
    QFile file(otherApp + "/licenses");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(findLicensesDir(otherApp).isEmpty());
}

TEST(AppLocations, TheApplicationFolderCanBeReplaced) {
    setApplicationDirOverride("/opt/q3/bin");
    EXPECT_EQ(applicationDir(), "/opt/q3/bin");
    setApplicationDirOverride(QString());
    EXPECT_NE(applicationDir(), "/opt/q3/bin");
}

} // namespace
} // namespace Quorvex3
