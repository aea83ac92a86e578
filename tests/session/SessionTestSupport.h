#pragma once

// Shared by the export tests: one small source measurement with every kind
// of metadata and per-event data, running the Python oracles, and a lowered
// file-size limit that stands in for a full disk.

#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <sys/resource.h>

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <H5Cpp.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace Quorvex3::test {

/// The source measurement's shape: 6 events of 12 x 250 pixel frames (rows
/// of 250 bytes, not a multiple of 4) and traces of 16 samples.
constexpr int kEvents = 6;
constexpr int kHeight = 12;
constexpr int kWidth = 250;
constexpr int kTraceLength = 16;

/// Pixel (x, y) of event k's image: a pattern that differs per event;
/// event 5 is noise that deflate cannot shrink.
inline std::uint8_t imagePixel(int k, int x, int y) {
    if (k == 5) {
        std::uint64_t h =
            (static_cast<std::uint64_t>(y) * 1000u + static_cast<std::uint64_t>(x) + 1u) *
            0x9E3779B97F4A7C15ull;
        h = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ull;
        return static_cast<std::uint8_t>((h ^ (h >> 29)) >> 56);
    }
    return static_cast<std::uint8_t>((x + 7 * y + 31 * k) % 256);
}

inline std::vector<std::uint8_t> framePixels(int events, bool mask) {
    std::vector<std::uint8_t> pixels;
    for (int k = 0; k < events; ++k)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                pixels.push_back(mask ? ((x + y + k) % 3 == 0 ? 255 : 0) : imagePixel(k, x, y));
    return pixels;
}

struct SourceOptions {
    bool images = true;
    bool masks = true;
    bool traces = true;
    int traceLength = kTraceLength;
    /// The "frame" column; empty: none.
    std::vector<double> frames = {7, 7, 8, 9, 10, 11};
};

/// Writes the source measurement: features area_um (float32), deform
/// (float64), bright_avg (uint16 beyond 32767), frame, short_col (3 values
/// only); images, masks and two int16 traces; root attributes of every
/// kind a file may hold (variable UTF-8 and fixed strings, int64, float32
/// and float64, enumeration, numeric arrays, polygons in two sections, a
/// compound, and "offline_filter:"/"export:" entries of an earlier export).
inline void writeSourceMeasurement(const std::string& path, const SourceOptions& options = {}) {
    using namespace Quorvex3::testing;
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("area_um", {10.f, 20.f, 30.f, 40.f, 50.f, 60.f});
        w.addColumn<double>("deform", {0.05, 0.01, 0.02, 0.04, 0.03, 0.06});
        w.addColumn<uint16_t>("bright_avg", {100, 40000, 65535, 7, 32768, 1});
        if (!options.frames.empty())
            w.addColumn<double>("frame", options.frames);
        w.addColumn<double>("short_col", {0.1, 0.2, 0.3});
        if (options.images)
            w.addImageStack("image", kEvents, kHeight, kWidth, framePixels(kEvents, false),
                            Storage::chunked({2, kHeight, kWidth}, 4));
        if (options.masks)
            w.addImageStack("mask", kEvents, kHeight, kWidth, framePixels(kEvents, true),
                            Storage::chunked({2, kHeight, kWidth}, 4));
        if (options.traces) {
            const auto length = static_cast<size_t>(options.traceLength);
            for (const char* name : {"fl1_raw", "fl2_raw"}) {
                std::vector<int16_t> samples;
                for (int k = 0; k < kEvents; ++k)
                    for (size_t s = 0; s < length; ++s)
                        samples.push_back(static_cast<int16_t>(k * 100 + static_cast<int>(s) -
                                                               (name[2] == '2' ? 50 : 0)));
                w.addTrace(name, kEvents, length, samples);
            }
        }
        w.setStringAttribute("experiment:sample", "Blood \xc2\xb5-sample", CharSet::Utf8);
        w.setScalarAttribute<int64_t>("experiment:run index", 123456789012LL);
        w.setScalarAttribute<double>("imaging:pixel size", 0.34);
        w.setScalarAttribute<float>("imaging:frame rate", 2000.5f);
        w.setScalarAttribute<double>("setup:flow rate", 1e-7);
        w.setFixedStringAttribute("setup:chip identifier", "CHIP-7", CharSet::Ascii,
                                  StringPad::NullPad, 10);
        w.setFixedStringAttribute("setup:medium", "CellCarrier", CharSet::Ascii,
                                  StringPad::SpacePad, 16);
        w.setEnumAttribute("online_contour:no absdiff", 1);
        w.setArrayAttribute<int32_t>("fluorescence:laser powers", {3}, {10, 20, 30});
        w.setArrayAttribute<double>("setup:matrix", {2, 3}, {1.5, 2.5, 3.5, 4.5, 5.5, 6.5});
        w.setPolygonAttribute("online_filter:area_um,deform polygon points",
                              {{1.f, 0.01f}, {90.f, 0.01f}, {90.f, 0.2f}, {1.f, 0.2f}});
        w.setPolygonAttribute("user:area_um,deform polygon points",
                              {{2.f, 0.02f}, {80.f, 0.02f}, {40.f, 0.3f}});
        w.setStringAttribute("offline_filter:area_um min", "1.000000");
        w.setStringAttribute("export:date", "2001-01-01");
        w.setStringAttribute("export:changed sample name", "Old name");
    }
    // A compound attribute, which the fixture writer has no call for.
    H5::H5File file(path, H5F_ACC_RDWR);
    H5::CompType pair(2 * sizeof(int));
    pair.insertMember("a", 0, H5::PredType::NATIVE_INT);
    pair.insertMember("b", sizeof(int), H5::PredType::NATIVE_INT);
    const int value[2] = {1, 2};
    file.openGroup("/").createAttribute("setup:compound", pair, H5::DataSpace()).write(pair, value);
}

/// Result of an external program.
struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

/// Runs `program` with `arguments` and waits (up to two minutes).
inline ProcessResult runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out or failed to start: ") + process.errorString();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

/// Runs one of the oracle scripts of this folder with /usr/bin/python3.
inline ProcessResult runOracle(const QString& script, const QStringList& arguments) {
    return runProgram(QStringLiteral("/usr/bin/python3"),
                      QStringList{QStringLiteral(QUORVEX3_SESSION_TEST_DIR "/") + script} +
                          arguments);
}

/// Lowers the largest file this process may write, for its lifetime; a
/// write beyond it then fails with EFBIG (as on a full disk) instead of
/// ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit lowered = m_previous;
        lowered.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_active = false;
};

/// The names of the files in `folder`, hidden ones included, sorted.
inline QStringList filesIn(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace Quorvex3::test
