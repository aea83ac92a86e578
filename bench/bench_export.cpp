// Speed and memory of the dataset exports, each beside an independent tool
// doing the same work in the same run:
// - .rtdc: 10k and 50k events with 80 x 250 images and masks, against h5py
//   writing the same arrays with the same chunks and gzip 4
//   (bench/export_h5py_bench.py); MB/s of raw event data and the peak
//   resident memory of the export alone;
// - TSV: 1e6 rows x 20 columns, against numpy.savetxt(fmt='%.17g')
//   (bench/export_numpy_bench.py); MB/s of text;
// - AVI: 10k frames, MJPEG and raw, against the ffmpeg program encoding the
//   same frames; frames/s.
// The source measurement is generated once into the build tree.
#include "CellFrameStacks.h"
#include "core/RTDCReader.h"
#include "session/DatasetExport.h"
#include "session/RowChunkWriter.h"
#include "session/TsvExport.h"

#include <benchmark/benchmark.h>

#include <H5Cpp.h>

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Quorvex3;

using bench::kCellFrameBytes;
constexpr int kSourceEvents = 50000;
constexpr int kScalarFeatures = 10;

const std::string kDataDir = QUORVEX3_BENCH_DATA_DIR;
const std::string kSource = kDataDir + "/export_source_50k.rtdc";
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kScripts = QStringLiteral(QUORVEX3_BENCH_SOURCE_DIR);

// Writes the source once: scalar features, then images and masks in chunks
// of one frame, deflated at level 4 (in parallel).
void ensureSource() {
    bench::writeBenchSourceOnce(kSource, [](H5::H5File& file) {
        H5::Group events = file.createGroup("/events");
        std::mt19937_64 random(42);
        std::normal_distribution<double> normal(0.0, 1.0);
        const hsize_t n = kSourceEvents;
        for (int f = 0; f < kScalarFeatures; ++f) {
            std::vector<double> values(kSourceEvents);
            for (double& v : values)
                v = 50.0 + 10.0 * normal(random);
            const std::string name = f == 0   ? "area_um"
                                     : f == 1 ? "frame"
                                              : "feature_" + std::to_string(f);
            if (f == 1)
                for (int i = 0; i < kSourceEvents; ++i)
                    values[static_cast<std::size_t>(i)] = i / 2;
            events.createDataSet(name, H5::PredType::IEEE_F64LE, H5::DataSpace(1, &n))
                .write(values.data(), H5::PredType::NATIVE_DOUBLE);
        }
        bench::writeCellFrameStacks(events, n);
    });
}

/// Peak resident memory since the last reset, in MiB (Linux).
double peakRssMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

void resetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::vector<int> firstEvents(int count) {
    std::vector<int> indices(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        indices[static_cast<std::size_t>(i)] = i;
    return indices;
}

/// Runs a script or program and returns the seconds it printed last.
double timedRun(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    return lines.isEmpty() ? 0.0 : lines.back().toDouble();
}

/// Wall time of an external command.
double wallSeconds(const QString& program, const QStringList& arguments) {
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    return clock.nsecsElapsed() * 1e-9;
}

// ---- .rtdc -------------------------------------------------------------------------------

void BM_RtdcExport(benchmark::State& state) {
    ensureSource();
    const int events = static_cast<int>(state.range(0));
    RTDCReader reader;
    reader.openFile(kSource);
    reader.preloadAllFeatures();
    const RTDCMetadata metadata = reader.readMetadata();
    DatasetExportJob job;
    job.reader = &reader;
    job.filePath = kSource;
    job.metadata = &metadata;
    ExportResult choices;
    choices.features = reader.getAvailableFeatures();
    choices.includeImages = choices.includeMasks = true;
    const QString out = QString::fromStdString(kDataDir + "/export_bench.rtdc");
    double peak = 0.0;
    for (auto _ : state) {
        QFile::remove(out);
        resetPeakRss();
        const ExportOutcome outcome = exportDatasetAsRtdc(
            job, choices, out, choices.features, firstEvents(events), false, EventFilter());
        peak = peakRssMiB();
        if (outcome.status != ExportOutcome::Status::Written)
            state.SkipWithError(outcome.error.toStdString().c_str());
    }
    const double bytes = events * (2.0 * kCellFrameBytes + kScalarFeatures * 8.0);
    state.counters["MB/s"] =
        benchmark::Counter(bytes * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_RSS_MiB"] = peak;
    state.counters["file_MB"] = QFileInfo(out).size() * 1e-6;
    QFile::remove(out);
}
BENCHMARK(BM_RtdcExport)
    ->Arg(10000)
    ->Arg(50000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_H5pyWriteSameArrays(benchmark::State& state) {
    ensureSource();
    const int events = static_cast<int>(state.range(0));
    const QString out = QString::fromStdString(kDataDir + "/h5py_bench.rtdc");
    for (auto _ : state) {
        const double seconds =
            timedRun(kPython, {kScripts + QStringLiteral("/export_h5py_bench.py"),
                               QString::fromStdString(kSource), out, QString::number(events)});
        state.SetIterationTime(seconds);
    }
    const double bytes = events * (2.0 * kCellFrameBytes + kScalarFeatures * 8.0);
    state.counters["MB/s"] =
        benchmark::Counter(bytes * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
    QFile::remove(out);
}
BENCHMARK(BM_H5pyWriteSameArrays)
    ->Arg(10000)
    ->Arg(50000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// ---- TSV -----------------------------------------------------------------------------------

constexpr int kTsvRows = 1000000;
constexpr int kTsvColumns = 20;

void BM_TsvExport(benchmark::State& state) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1000.0);
    std::vector<std::vector<double>> values(kTsvColumns, std::vector<double>(kTsvRows));
    std::vector<TsvColumn> columns;
    for (int c = 0; c < kTsvColumns; ++c) {
        for (double& v : values[static_cast<std::size_t>(c)])
            v = uniform(random);
        columns.push_back({"column " + std::to_string(c), &values[static_cast<std::size_t>(c)]});
    }
    const QString out = QString::fromStdString(kDataDir + "/bench.tsv");
    QDir().mkpath(QString::fromStdString(kDataDir));
    const std::vector<int> rows = firstEvents(kTsvRows);
    for (auto _ : state) {
        bool openFailed = false;
        QString error;
        if (!writeTsvFile(out, {"# bench"}, columns, rows, openFailed, error))
            state.SkipWithError(error.toStdString().c_str());
    }
    state.counters["MB/s"] = benchmark::Counter(QFileInfo(out).size() * 1e-6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    QFile::remove(out);
}
BENCHMARK(BM_TsvExport)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NumpySavetxt(benchmark::State& state) {
    const QString out = QString::fromStdString(kDataDir + "/numpy_bench.tsv");
    QDir().mkpath(QString::fromStdString(kDataDir));
    for (auto _ : state) {
        const double seconds =
            timedRun(kPython, {kScripts + QStringLiteral("/export_numpy_bench.py"), out,
                               QString::number(kTsvRows), QString::number(kTsvColumns)});
        state.SetIterationTime(seconds);
    }
    state.counters["MB/s"] = benchmark::Counter(QFileInfo(out).size() * 1e-6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    QFile::remove(out);
}
BENCHMARK(BM_NumpySavetxt)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

// ---- AVI -----------------------------------------------------------------------------------

constexpr int kAviFrames = 10000;

void BM_AviExport(benchmark::State& state) {
    ensureSource();
    const bool mjpeg = state.range(0) != 0;
    RTDCReader reader;
    reader.openFile(kSource);
    DatasetExportJob job;
    job.reader = &reader;
    const QString out = QString::fromStdString(kDataDir + "/bench.avi");
    for (auto _ : state) {
        QFile::remove(out);
        const ExportOutcome outcome =
            exportDatasetAsAvi(job, out, firstEvents(kAviFrames), mjpeg, false);
        if (outcome.status != ExportOutcome::Status::Written)
            state.SkipWithError(outcome.error.toStdString().c_str());
    }
    state.counters["frames/s"] =
        benchmark::Counter(kAviFrames, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = QFileInfo(out).size() * 1e-6;
    QFile::remove(out);
}
BENCHMARK(BM_AviExport)
    ->ArgName("mjpeg")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same frames as one raw grey stream, written once.
QString rawFrames() {
    const std::string path = kDataDir + "/frames_10k.gray";
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        RTDCReader reader;
        reader.openFile(kSource);
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kAviFrames; ++i) {
            int width = 0;
            int height = 0;
            const std::vector<std::uint8_t> frame =
                reader.readImage(static_cast<std::size_t>(i), width, height);
            out.write(reinterpret_cast<const char*>(frame.data()),
                      static_cast<std::streamsize>(frame.size()));
        }
    }
    return QString::fromStdString(path);
}

void BM_FfmpegSameFrames(benchmark::State& state) {
    ensureSource();
    const bool mjpeg = state.range(0) != 0;
    const QString input = rawFrames();
    const QString out = QString::fromStdString(kDataDir + "/ffmpeg_bench.avi");
    for (auto _ : state) {
        QFile::remove(out);
        QStringList arguments = {QStringLiteral("-v"),
                                 QStringLiteral("error"),
                                 QStringLiteral("-y"),
                                 QStringLiteral("-f"),
                                 QStringLiteral("rawvideo"),
                                 QStringLiteral("-pix_fmt"),
                                 QStringLiteral("gray"),
                                 QStringLiteral("-s"),
                                 QStringLiteral("250x80"),
                                 QStringLiteral("-r"),
                                 QStringLiteral("25"),
                                 QStringLiteral("-i"),
                                 input};
        if (mjpeg)
            arguments << QStringLiteral("-c:v") << QStringLiteral("mjpeg") << QStringLiteral("-q:v")
                      << QStringLiteral("2");
        else
            arguments << QStringLiteral("-c:v") << QStringLiteral("rawvideo")
                      << QStringLiteral("-pix_fmt") << QStringLiteral("gray");
        arguments << out;
        state.SetIterationTime(wallSeconds(QStringLiteral("ffmpeg"), arguments));
    }
    state.counters["frames/s"] =
        benchmark::Counter(kAviFrames, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = QFileInfo(out).size() * 1e-6;
    QFile::remove(out);
}
BENCHMARK(BM_FfmpegSameFrames)
    ->ArgName("mjpeg")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace

BENCHMARK_MAIN();
