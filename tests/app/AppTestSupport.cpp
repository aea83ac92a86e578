#include "AppTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

namespace Quorvex3 {
namespace test {

QString isolateHomeDirectories() {
    static std::unique_ptr<QTemporaryDir> home;
    if (home)
        return home->path();
    home = std::make_unique<QTemporaryDir>();
    const QString root = home->path();
    const QDir dir(root);
    const struct {
        const char* variable;
        const char* subdirectory;
    } locations[] = {{"XDG_CONFIG_HOME", ".config"},
                     {"XDG_CACHE_HOME", ".cache"},
                     {"XDG_DATA_HOME", ".local/share"},
                     {"XDG_STATE_HOME", ".local/state"},
                     {"XDG_RUNTIME_DIR", "runtime"}};
    qputenv("HOME", QFile::encodeName(root));
    for (const auto& location : locations) {
        dir.mkpath(QString::fromLatin1(location.subdirectory));
        qputenv(location.variable, QFile::encodeName(dir.filePath(location.subdirectory)));
    }
    // Qt insists on a private runtime directory.
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return root;
}

int& applicationArgc() {
    static int argc = 1;
    return argc;
}

char** applicationArgv() {
    static char name[] = "quorvex3-test";
    static char* argv[] = {name, nullptr};
    return argv;
}

QStringList linesOf(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString logLinePrefixPattern(const QString& level) {
    return QStringLiteral(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z \[)") +
           QRegularExpression::escape(level) + QStringLiteral(R"(\] )");
}

} // namespace test
} // namespace Quorvex3
