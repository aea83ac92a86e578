#pragma once

// Shared by the export tests: one small source measurement with every kind
// of metadata and per-event data, a fixture exporting it, the independent
// oracle (export_oracle.py).

#include "core/RTDCReader.h"
#include "session/DatasetExport.h"
#include "support/RtdcFixtureWriter.h"

#include <QDir>
#include <QProcess>

#include <H5Cpp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace Quorvex3::test {

/// 6 events of 12 x 250 pixel frames: rows of 250 bytes, no multiple of 4.
constexpr int kEvents = 6;
constexpr int kHeight = 12;
constexpr int kWidth = 250;

struct SourceOptions {
    bool images = true; // and masks
    std::size_t traceLength = 16;
    std::vector<double> frames = {7, 7, 8, 9, 10, 11}; // empty: no "frame"
};

/// Features area_um (float32), deform, bright_avg (uint16 beyond 32767),
/// edge (numbers whose text is easy to get wrong), short_col (3 values
/// only), frame; images, masks, two int16 traces and a uint16 one whose
/// name the reader does not list as a trace; root attributes of every
/// kind (UTF-8 and fixed strings, int64, float32, enumeration, arrays,
/// polygons, a compound) and the records of an earlier export.
inline void writeSource(const std::string& path, const SourceOptions& o = {}) {
    using namespace Quorvex3::testing;
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("area_um", {10.f, 20.f, 30.f, 40.f, 50.f, 60.f});
        w.addColumn<double>("deform", {0.05, 0.01, 0.02, 0.04, 0.03, 0.06});
        w.addColumn<uint16_t>("bright_avg", {100, 40000, 65535, 7, 32768, 1});
        w.addColumn<double>("edge", {1e16, NAN, -0.0, 4.9406564584124654e-324, 1e17, -INFINITY});
        w.addColumn<double>("short_col", {0.1, 0.2, 0.3});
        if (!o.frames.empty())
            w.addColumn<double>("frame", o.frames);
        // Event 5 is noise that deflate cannot shrink: its chunk is stored raw.
        const auto pixel = [](int k, int i) {
            std::uint64_t h = static_cast<std::uint64_t>(i + 1) * 0x9E3779B97F4A7C15ull;
            h = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ull;
            return static_cast<std::uint8_t>(k < 5 ? i % kWidth + 7 * (i / kWidth) + 31 * k
                                                   : (h ^ (h >> 29)) >> 56);
        };
        std::vector<std::uint8_t> image;
        std::vector<std::uint8_t> mask;
        std::vector<int16_t> trace;
        std::vector<std::uint16_t> other;
        for (int k = 0; k < kEvents; ++k) {
            for (int i = 0; i < kWidth * kHeight; ++i) {
                image.push_back(pixel(k, i));
                mask.push_back(i % 3 == k % 3 ? 255 : 0);
            }
            for (std::size_t s = 0; s < o.traceLength; ++s) {
                trace.push_back(static_cast<int16_t>(k * 100 + static_cast<int>(s)));
                other.push_back(static_cast<std::uint16_t>(40000 + k * 10 + static_cast<int>(s)));
            }
        }
        if (o.images) {
            const Storage chunks = Storage::chunked({2, kHeight, kWidth}, 4);
            w.addImageStack("image", kEvents, kHeight, kWidth, image, chunks);
            w.addImageStack("mask", kEvents, kHeight, kWidth, mask, chunks);
        }
        w.addTrace("fl1_raw", kEvents, o.traceLength, trace);
        w.addTrace("fl2_raw", kEvents, o.traceLength, trace);
        w.addTrace("fl1_other", kEvents, o.traceLength, other);
        w.setStringAttribute("experiment:sample", "Blood \xc2\xb5-sample", CharSet::Utf8);
        w.setStringAttribute("experiment:note", "tab\there\nnext\\back\rreturn");
        w.setScalarAttribute<int64_t>("experiment:run index", 123456789012LL);
        w.setScalarAttribute<int64_t>("experiment:event count", kEvents);
        w.setScalarAttribute<double>("imaging:pixel size", 0.34);
        w.setScalarAttribute<float>("imaging:frame rate", 2000.5f);
        w.setFixedStringAttribute("setup:chip identifier", "CHIP-7", CharSet::Ascii,
                                  StringPad::NullPad, 10);
        w.setEnumAttribute("online_contour:no absdiff", 1);
        w.setArrayAttribute<double>("setup:matrix", {2, 3}, {1.5, 2.5, 3.5, 4.5, 5.5, 6.5});
        w.setPolygonAttribute("user:area_um,deform polygon points",
                              {{2.f, 0.02f}, {80.f, 0.02f}, {40.f, 0.3f}});
        w.setStringAttribute("offline_filter:area_um min", "1.000000");
        w.setStringAttribute("export:changed sample name", "Old name");
    }
    H5::H5File file(path, H5F_ACC_RDWR); // a compound, which the fixture writer cannot make
    H5::CompType pair(2 * sizeof(int));
    pair.insertMember("a", 0, H5::PredType::NATIVE_INT);
    pair.insertMember("b", sizeof(int), H5::PredType::NATIVE_INT);
    const int value[2] = {1, 2};
    file.openGroup("/").createAttribute("setup:compound", pair, H5::DataSpace()).write(pair, value);
}

inline FilterRule range(const std::string& feature, double lo, double hi, bool inverted = false) {
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    rule.inverted = inverted;
    return rule;
}

/// The source measurement opened, exported with the choices of each test.
class ExportFixture : public ::testing::Test {
protected:
    void SetUp() override { openSource(); }

    void openSource(const SourceOptions& options = {}) {
        m_reader.reset();
        m_source = m_dir.file("M001_data.rtdc");
        writeSource(m_source, options);
        ASSERT_TRUE(open(m_source));
    }

    bool open(const std::string& path) {
        m_reader = std::make_shared<RTDCReader>();
        m_metadata = m_reader->openFile(path) ? m_reader->readMetadata() : RTDCMetadata();
        return m_reader->isOpen();
    }

    ExportOutcome exportWith(const EventFilter& filter, const ExportResult& choices,
                             const QString& name = QStringLiteral("Blood \u00b5-sample"),
                             const ExportProgress& progress = {}) {
        return exportDataset(
            {m_reader.get(), m_reader->getFilename(), name, &m_metadata, filter, progress},
            choices);
    }

    /// Runs export_oracle.py on the exports of `source`, given as pairs of
    /// path and the export choices it was made with; its findings go to the test's output.
    static int oracle(const char* kind, const std::string& source, const QStringList& exports) {
        return QProcess::execute(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(QUORVEX3_SESSION_TEST_DIR "/export_oracle.py"), kind,
                        QString::fromStdString(source)} +
                exports);
    }

    QStringList files() const {
        return QDir(QString::fromStdString(m_dir.path()))
            .entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    testing::TempDir m_dir;
    std::string m_source;
    std::shared_ptr<RTDCReader> m_reader;
    RTDCMetadata m_metadata;
};

} // namespace Quorvex3::test
