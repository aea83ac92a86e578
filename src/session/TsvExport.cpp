#include "session/TsvExport.h"

#include "session/ExportPlanning.h"
#include "util/AtomicFile.h"

#include <QIODevice>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace Quorvex3 {

namespace {

// Rows one task formats before the text is written, so memory stays small
// while each thread has enough to do.
constexpr std::size_t kRowsPerBlock = 4096;

void appendRow(std::string& out, const std::vector<TsvColumn>& columns, int event) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c > 0)
            out += '\t';
        const std::vector<double>* values = columns[c].values;
        // An event beyond a short column has no value: an empty cell.
        if (values && event >= 0 && static_cast<std::size_t>(event) < values->size())
            appendTsvNumber(out, (*values)[static_cast<std::size_t>(event)]);
    }
    out += '\n';
}

} // namespace

void appendTsvNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "nan";
        return;
    }
    // The shortest text that reads back as the same double: exact, and
    // without the noise digits of a fixed precision (0.05, not
    // 0.050000000000000003). At most 24 characters.
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec == std::errc())
        out.append(buffer, end);
}

std::vector<std::string> tsvHeaderLines(std::size_t eventCount,
                                        const std::string& changedSampleName,
                                        const RTDCMetadata& metadata, const std::string& date) {
    std::vector<std::string> lines;
    lines.push_back("# Quorvex3 TSV Export");
    lines.push_back("# export:date = " + date);
    lines.push_back("# export:event count = " + std::to_string(eventCount));
    if (!changedSampleName.empty())
        lines.push_back("# export:changed sample name = " + escapeHeaderText(changedSampleName));
    // The measurement's own event count becomes the count of the events
    // this file holds, as it does in an .rtdc export.
    for (const auto& [key, value] : metadata.allAttributes)
        lines.push_back(
            "# " + escapeHeaderText(key) + " = " +
            escapeHeaderText(key == kExperimentEventCount ? std::to_string(eventCount) : value));
    lines.push_back("#");
    return lines;
}

bool writeTsvFile(const QString& path, const std::vector<std::string>& headerLines,
                  const std::vector<TsvColumn>& columns, const std::vector<int>& indices,
                  bool& openFailed, QString& error, const ExportProgress& progress) {
    bool cancelled = false;
    const auto produce = [&](QIODevice& device) {
        std::string head;
        for (const std::string& line : headerLines)
            head += line + '\n';
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (c > 0)
                head += '\t';
            head += escapeHeaderText(columns[c].label);
        }
        head += '\n';
        if (device.write(head.data(), static_cast<qint64>(head.size())) !=
            static_cast<qint64>(head.size()))
            return false;

        // One round: each thread formats one block of rows; the blocks are
        // then written in order.
        const int threads = std::max(1, QThread::idealThreadCount());
        QThreadPool pool;
        pool.setMaxThreadCount(threads);
        std::vector<std::string> blocks(static_cast<std::size_t>(threads));
        const std::size_t rowsPerRound = kRowsPerBlock * blocks.size();
        for (std::size_t start = 0; start < indices.size(); start += rowsPerRound) {
            if (progress && !progress(start, indices.size())) {
                cancelled = true;
                return false;
            }
            for (std::size_t b = 0; b < blocks.size(); ++b) {
                const std::size_t first = start + b * kRowsPerBlock;
                const std::size_t last = std::min(indices.size(), first + kRowsPerBlock);
                std::string& block = blocks[b];
                block.clear();
                if (first >= last)
                    continue;
                pool.start(QRunnable::create([&block, &columns, &indices, first, last] {
                    for (std::size_t r = first; r < last; ++r)
                        appendRow(block, columns, indices[r]);
                }));
            }
            pool.waitForDone();
            for (const std::string& block : blocks) {
                if (device.write(block.data(), static_cast<qint64>(block.size())) !=
                    static_cast<qint64>(block.size()))
                    return false;
            }
        }
        return true;
    };
    const WriteResult result = writeFileAtomically(path, produce, &error);
    if (cancelled)
        error = QStringLiteral("cancelled");
    openFailed = result == WriteResult::OpenFailed;
    return result == WriteResult::Written;
}

} // namespace Quorvex3
