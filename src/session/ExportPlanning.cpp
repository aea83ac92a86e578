#include "session/ExportPlanning.h"

#include "core/RTDCReader.h"
#include "session/FilterRecord.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <ctime>
#include <unordered_set>

namespace Quorvex3 {

ExportFormat exportFormatOf(const ExportResult& result) {
    if (result.formatTsv)
        return ExportFormat::Tsv;
    if (result.formatAvi)
        return ExportFormat::Avi;
    return ExportFormat::Rtdc;
}

QString exportFolder(const std::string& filePath, const ExportResult& result) {
    if (result.useCustomDirectory)
        return QString::fromStdString(result.outputDirectory);
    return QFileInfo(QString::fromStdString(filePath)).absolutePath();
}

QString exportFileName(const std::string& filePath, ExportFormat format) {
    QString name = QFileInfo(QString::fromStdString(filePath)).fileName();
    if (format != ExportFormat::Rtdc) {
        if (name.endsWith(QStringLiteral(".rtdc"), Qt::CaseInsensitive))
            name.chop(5);
        name += format == ExportFormat::Tsv ? QStringLiteral(".tsv") : QStringLiteral(".avi");
    }
    return QStringLiteral("QV3export_") + name;
}

QString firstFreeExportPath(const QString& folder, const QString& name) {
    const QDir dir(folder);
    if (!dir.exists(name))
        return dir.filePath(name);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString suffix = dot < 0 ? QString() : name.mid(dot);
    for (int n = 2;; ++n) {
        const QString candidate = base + QLatin1Char('_') + QString::number(n) + suffix;
        if (!dir.exists(candidate))
            return dir.filePath(candidate);
    }
}

EventSelection selectExportEvents(const EventFilter& effective, RTDCReader& reader) {
    EventSelection selection;
    const std::size_t eventCount = reader.getEventCount();
    if (!effective.isEnabled() || effective.ruleCount() == 0) {
        selection.indices.resize(eventCount);
        for (std::size_t i = 0; i < eventCount; ++i)
            selection.indices[i] = static_cast<int>(i);
        return selection;
    }
    EventFilter::FeatureMap columns;
    for (const std::string& name : effective.requiredFeatures())
        columns[name] = &reader.readScalarFeature(name);
    selection.indices = effective.apply(columns, eventCount);
    selection.filterApplied = true;
    selection.recordedFilter = rulesTakingPart(effective, columns, eventCount);
    return selection;
}

std::vector<std::string> selectExportFeatures(const std::vector<std::string>& wanted,
                                              const RTDCReader& reader) {
    const std::vector<std::string> available = reader.getAvailableFeatures();
    const std::unordered_set<std::string> offered(available.begin(), available.end());
    std::unordered_set<std::string> taken;
    std::vector<std::string> selected;
    for (const std::string& name : wanted) {
        if (RTDCReader::isScalarFeature(name) && offered.count(name) > 0 &&
            taken.insert(name).second)
            selected.push_back(name);
    }
    return selected;
}

std::string changedSampleName(const QString& displayName, const RTDCMetadata& metadata) {
    const auto sample = metadata.experiment.find("sample");
    const std::string name = displayName.toStdString();
    const std::string stored = sample == metadata.experiment.end() ? std::string() : sample->second;
    return name == stored ? std::string() : name;
}

std::string localIsoDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return std::string(text, length);
}

std::string escapeHeaderText(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\t':
            escaped += "\\t";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

} // namespace Quorvex3
