// The entry point of the benchmarks that need a QApplication: offscreen
// unless told otherwise, with settings, caches and help collections in a
// private home (never the user's), numbers formatted with a decimal point.
#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <clocale>

int main(int argc, char** argv) {
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        qputenv(variable, home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Quorvex3"));
    QApplication::setOrganizationName(QStringLiteral("Quorvex3"));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
