#include "app/MainWindow.h"
#include "util/AtomicFile.h"

#include <H5Cpp.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSplashScreen>
#include <QTimer>

#include <sys/resource.h>

#include <clocale>
#include <cstdio>
#include <stdexcept>

namespace Quorvex3 {

namespace {

void report(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

bool splashVisible() {
    const auto widgets = QApplication::topLevelWidgets();
    for (const QWidget* widget : widgets)
        if (qobject_cast<const QSplashScreen*>(widget) && widget->isVisible())
            return true;
    return false;
}

// Replaces a file while the file-size limit is far below the new file's
// size, as a nearly full disk or `ulimit -f` would have it, and reports what
// became of the write and of the old file.
void writeBeyondTheFileSizeLimit() {
    const QString folder = qEnvironmentVariable("XDG_STATE_HOME");
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("limited.txt"));
    writeFileAtomically(path, QByteArray("old"));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit lowered = saved;
    lowered.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &lowered);
    QString error;
    const WriteResult result = writeFileAtomically(path, QByteArray(64 * 1024, 'x'), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    QFile old(path);
    old.open(QIODevice::ReadOnly);
    report(QStringLiteral("size limit written=%1 error=%2 file=%3 files=%4")
               .arg(result == WriteResult::Written)
               .arg(error, QString::fromUtf8(old.readAll()))
               .arg(QDir(folder).entryList(QDir::Files | QDir::Hidden).join(QLatin1Char(','))));
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), m_mode(qEnvironmentVariable("QUORVEX3_PROBE")) {
    m_sinceConstruction.start();
    report(QStringLiteral("constructed splash=%1 locale=%2 name=%3")
               .arg(splashVisible())
               .arg(QString::fromLatin1(std::setlocale(LC_NUMERIC, nullptr)))
               .arg(QCoreApplication::applicationName()));
    if (m_mode == QLatin1String("throw-std"))
        throw std::runtime_error("window could not be built");
    if (m_mode == QLatin1String("throw-hdf5"))
        throw H5::FileIException("H5File::openFile", "unable to open file");
    if (m_mode == QLatin1String("throw-other"))
        throw 7;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    report(QStringLiteral("shown after=%1 splash=%2")
               .arg(m_sinceConstruction.elapsed())
               .arg(splashVisible()));
    if (m_mode == QLatin1String("size-limit"))
        writeBeyondTheFileSizeLimit();
    if (m_mode == QLatin1String("slot-throws")) {
        QTimer::singleShot(0, this, [] { throw std::runtime_error("slot failed"); });
        return;
    }
    QTimer::singleShot(0, this, [] { QCoreApplication::exit(3); });
}

void MainWindow::onUnhandledException(const QString& title, const QString& message) {
    report(QStringLiteral("error dialog title=%1 message=%2").arg(title, message));
    QCoreApplication::exit(4);
}

} // namespace Quorvex3
