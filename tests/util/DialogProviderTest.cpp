#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

using Quorvex3::DialogProvider;
using Quorvex3::QtDialogProvider;
using Quorvex3::ScopedDialogProvider;
using Quorvex3::testing::DialogCall;
using Quorvex3::testing::ScriptedDialogProvider;

// ===== Installing a provider =================================================

TEST(DialogProvider, DefaultsToTheQtDialogs) {
    EXPECT_NE(dynamic_cast<QtDialogProvider*>(&DialogProvider::current()), nullptr);
}

TEST(DialogProvider, ScopedGuardsNestAndRestoreTheDefault) {
    ScriptedDialogProvider outer;
    ScriptedDialogProvider inner;
    {
        ScopedDialogProvider outerGuard(outer);
        EXPECT_EQ(&DialogProvider::current(), &outer);
        {
            ScopedDialogProvider innerGuard(inner);
            EXPECT_EQ(&DialogProvider::current(), &inner);
        }
        EXPECT_EQ(&DialogProvider::current(), &outer);
    }
    EXPECT_NE(dynamic_cast<QtDialogProvider*>(&DialogProvider::current()), nullptr);
}

TEST(DialogProvider, SetCurrentReturnsThePreviousAndNullRestoresTheDefault) {
    ScriptedDialogProvider fake;
    EXPECT_EQ(DialogProvider::setCurrent(&fake), nullptr);
    EXPECT_EQ(DialogProvider::setCurrent(nullptr), &fake);
    EXPECT_NE(dynamic_cast<QtDialogProvider*>(&DialogProvider::current()), nullptr);
}

// ===== The scripted fake used by widget tests ================================

TEST(ScriptedDialogProvider, AnswersFileDialogsInOrderThenCancels) {
    ScriptedDialogProvider fake;
    fake.fileAnswers = {"/tmp/a.png", "/tmp/dir"};
    fake.filterAnswers = {"JPEG (*.jpg)"};
    ScopedDialogProvider guard(fake);
    DialogProvider& dialogs = DialogProvider::current();

    QString filter;
    EXPECT_EQ(
        dialogs.getSaveFileName(nullptr, "Save", "/start", "PNG (*.png);;JPEG (*.jpg)", &filter),
        "/tmp/a.png");
    EXPECT_EQ(filter, "JPEG (*.jpg)");
    EXPECT_EQ(dialogs.getExistingDirectory(nullptr, "Folder", QString()), "/tmp/dir");

    QString unscripted;
    EXPECT_TRUE(
        dialogs.getOpenFileName(nullptr, "Open", QString(), "PNG (*.png);;All (*)", &unscripted)
            .isEmpty());
    EXPECT_EQ(unscripted, "PNG (*.png)"); // the first filter, as a real dialog preselects

    ASSERT_EQ(fake.calls.size(), 3u);
    EXPECT_EQ(fake.calls[0].kind, DialogCall::SaveFile);
    EXPECT_EQ(fake.calls[0].title, "Save");
    EXPECT_EQ(fake.calls[0].dir, "/start");
    EXPECT_EQ(fake.calls[1].kind, DialogCall::Directory);
    EXPECT_EQ(fake.calls[2].kind, DialogCall::OpenFile);
}

TEST(ScriptedDialogProvider, AnswersMessageBoxesFromTheScriptThenTheDefaults) {
    ScriptedDialogProvider fake;
    fake.buttonAnswers = {QMessageBox::No};
    ScopedDialogProvider guard(fake);
    DialogProvider& dialogs = DialogProvider::current();

    EXPECT_EQ(dialogs.question(nullptr, "Q", "Really?"), QMessageBox::No);
    EXPECT_EQ(dialogs.question(nullptr, "Q", "Really?", QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No),
              QMessageBox::No);
    EXPECT_EQ(dialogs.question(nullptr, "Q", "Really?"), QMessageBox::Yes);
    EXPECT_EQ(dialogs.warning(nullptr, "W", "Careful"), QMessageBox::Ok);
    EXPECT_EQ(fake.count(DialogCall::Question), 3);
    EXPECT_EQ(fake.count(DialogCall::Warning), 1);
    EXPECT_EQ(fake.calls.back().text, "Careful");
}

// ===== The real boxes =========================================================

// Texts name datasets and paths as users typed them: "<b>x</b>" must show
// as those characters, not as a bold x. The reason of a failure goes into
// the box's details.
TEST(QtDialogProvider, BoxesShowPlainTextAndTheirDetails) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);

    QtDialogProvider provider;
    struct Seen {
        Qt::TextFormat format = Qt::AutoText;
        QString text;
        QString details;
    };
    const auto closeNextBox = [](Seen& seen) {
        QTimer::singleShot(0, [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->textFormat(), box->text(), box->detailedText()};
            box->done(QMessageBox::Ok);
        });
    };
    Seen seen;
    closeNextBox(seen);
    provider.criticalWithDetails(nullptr, "Error", "Failed to open: /data/<b>x</b>.rtdc",
                                 "The file does not exist.");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.text, "Failed to open: /data/<b>x</b>.rtdc");
    EXPECT_EQ(seen.details, "The file does not exist.");

    closeNextBox(seen);
    static_cast<DialogProvider&>(provider).warning(
        nullptr, "Loading Problem", "Some features of \"<i>y</i>\" could not be read");
    EXPECT_EQ(seen.format, Qt::PlainText);

    closeNextBox(seen);
    provider.warningWithDetails(nullptr, "Error", "Failed to read feature data.",
                                "The feature \"area_um\" holds no numbers.");
    EXPECT_EQ(seen.text, "Failed to read feature data.");
    EXPECT_EQ(seen.details, "The feature \"area_um\" holds no numbers.");
}
