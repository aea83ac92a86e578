#pragma once

// Shared by the filter editor tests: the application object, a measurement
// written by the fixture writer, and small look-ups of child widgets.

#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace Quorvex3::testing {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_filter_editors";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    return application;
}

/// Bits of a double, to compare bounds exactly (0.0 and -0.0 differ).
inline std::uint64_t bits(double value) {
    std::uint64_t out = 0;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

/// Runs pending deleteLater() calls.
inline void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

/// The named child of `parent` (searching all descendants); fails the test
/// when it is missing.
template <typename T> T* child(QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << "no child " << name;
    return found;
}

/// Six events with columns chosen for their data spans:
/// - "area_um": awkward extremes 12.36 and 512.94 (span >= 100: 1 decimal);
/// - "deform": finite span 0.05 (6 decimals, step 0.0005);
/// - "bright_avg": span exactly 100 (1 decimal, step 1);
/// - "size_x_um": all values 7.5 (span 0: 6 decimals, step 0.01);
/// - "aspect": finite values 1.5 .. 2.0 among NaN and infinities (4 decimals);
/// - "inert_ratio_raw": no finite value at all;
/// - "porosity": span 2.2 between 1.234 and 3.434 (2 decimals).
class FilterFixture : public ::testing::Test {
protected:
    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    static constexpr double kInf = std::numeric_limits<double>::infinity();

    void SetUp() override {
        app();
        m_path = m_dir.file("filters.rtdc");
        {
            RtdcFixtureWriter writer(m_path);
            writer.addColumn<double>("area_um", {100.0, 12.36, 250.5, 512.94, 300.0, 42.0});
            writer.addColumn<double>("deform", {0.02, 0.01, 0.06, 0.03, 0.045, 0.05});
            writer.addColumn<double>("bright_avg", {50.0, 0.0, 100.0, 25.0, 75.0, 10.0});
            writer.addColumn<double>("size_x_um", {7.5, 7.5, 7.5, 7.5, 7.5, 7.5});
            writer.addColumn<double>("aspect", {1.5, kNaN, kInf, 2.0, -kInf, 1.75});
            writer.addColumn<double>("inert_ratio_raw", {kNaN, kInf, -kInf, kNaN, kNaN, kInf});
            writer.addColumn<double>("porosity", {1.234, 3.434, 2.0, 2.5, 3.0, 1.5});
        }
        m_reader = std::make_unique<RTDCReader>();
        ASSERT_TRUE(m_reader->openFile(m_path));
    }

    QString label(const std::string& name) const {
        return QString::fromStdString(m_reader->getFeatureLabel(name));
    }

    TempDir m_dir;
    std::string m_path;
    std::unique_ptr<RTDCReader> m_reader;
};

/// The style sheets the editors must use, spelled out here on their own.
inline const QString kPlainStyle =
    QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; }");
inline const QString kHighlightedStyle = QStringLiteral(
    "QPushButton { padding: 2px 8px; min-height: 16px; background-color: #a6d7d5; color: "
    "#00abad; border: 1px solid #00abad; font-weight: bold; }");
inline const QString kRemoveStyle = QStringLiteral(
    "QPushButton { padding: 0; min-height: 24px; min-width: 20px; max-width: 20px; font-size: "
    "16px; color: #606468; border-radius: 4px; }QPushButton:hover { color: #d32f2f; "
    "background-color: #fde8e8; border-color: #d32f2f; }");

} // namespace Quorvex3::testing
