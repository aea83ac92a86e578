#pragma once

// Shared by the offscreen tests of the category panels and the evaluation
// window: the application object, and a dataset store whose datasets are
// measurements written by the fixture writer.

#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Quorvex3::testing {

inline QApplication& statsApp() {
    static int argc = 1;
    static char name[] = "test_stats_window";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    return application;
}

/// Runs pending deleteLater() calls.
inline void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

/// The named child of `parent`; fails the test when it is missing.
template <typename T> T* namedChild(QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << "no child " << name;
    return found;
}

/// A store holding measurements written on demand.
class StatsStoreFixture : public ::testing::Test {
protected:
    void SetUp() override { statsApp(); }

    /// Writes a measurement with `features` (three events each) and, when
    /// given, the sample name; appends it as a loaded dataset named
    /// `displayName` and returns its id.
    int addDataset(const QString& displayName, const std::vector<std::string>& features,
                   const std::string& sample = {}, bool loaded = true, bool withReader = true) {
        const std::string path =
            m_dir.file("m" + std::to_string(m_store.count()) + ".rtdc");
        {
            RtdcFixtureWriter writer(path);
            double base = 1.0;
            for (const std::string& feature : features) {
                writer.addColumn<double>(feature, {base, base + 1.0, base + 2.0});
                base += 10.0;
            }
            if (!sample.empty())
                writer.setStringAttribute("experiment:sample", sample);
        }
        auto entry = std::make_unique<DatasetEntry>();
        entry->filePath = path;
        entry->displayName = displayName;
        if (withReader) {
            auto reader = std::make_shared<RTDCReader>();
            EXPECT_TRUE(reader->openFile(path));
            entry->metadata = reader->readMetadata();
            entry->reader = reader;
        }
        entry->featuresLoaded = loaded;
        const int row = m_store.append(std::move(entry));
        return m_store.at(row)->id;
    }

    TempDir m_dir;
    DatasetStore m_store;
};

} // namespace Quorvex3::testing
