#pragma once

// Small helpers shared by the reader's tests.

#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Quorvex3::testing {

/// Runs `body` with standard error captured and returns what it printed.
template <typename F> std::string capturedStderr(F&& body) {
    ::testing::internal::CaptureStderr();
    body();
    return ::testing::internal::GetCapturedStderr();
}

/// Number of lines in `text` (a final line without newline counts).
inline size_t lineCount(const std::string& text) {
    size_t lines = 0;
    for (char c : text)
        lines += (c == '\n');
    if (!text.empty() && text.back() != '\n')
        ++lines;
    return lines;
}

/// True when `text` begins with `prefix`.
inline bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

/// A file with one float column "area_um" {1, 2, 3}: the known-good file
/// used to show that a reader still works after bad input.
inline std::string writeGoodFile(const TempDir& dir, const std::string& name = "good.rtdc") {
    const std::string path = dir.file(name);
    RtdcFixtureWriter writer(path);
    writer.addColumn<float>("area_um", {1.f, 2.f, 3.f});
    return path;
}

/// Opens the good file with `reader` and checks it reads normally.
inline void expectReaderStillWorks(RTDCReader& reader, const TempDir& dir) {
    ASSERT_TRUE(reader.openFile(writeGoodFile(dir)));
    EXPECT_EQ(reader.getAvailableFeatures(), std::vector<std::string>{"area_um"});
    EXPECT_EQ(reader.readScalarFeature("area_um"), (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_EQ(reader.getEventCount(), 3u);
}

} // namespace Quorvex3::testing
