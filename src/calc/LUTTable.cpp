#include "calc/LUTTable.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <cmath>

namespace Quorvex3 {

namespace {

// Replaces `target` only with a positive finite number: a zero or negative
// reference width, flow rate or viscosity would turn every modulus into
// zero, infinity or NaN further on.
void takePositive(const QJsonObject& object, const char* key, double& target) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return;
    const double number = value.toDouble();
    if (std::isfinite(number) && number > 0.0)
        target = number;
}

} // namespace

void LUTParser::addLine(const QString& line) {
    if (line.contains(QLatin1String("BEGIN METADATA"))) {
        m_metadata.clear();
        m_inMetadata = true;
        return;
    }
    if (line.contains(QLatin1String("END METADATA"))) {
        applyMetadata();
        m_inMetadata = false;
        return;
    }
    if (m_inMetadata) {
        m_metadata += line.startsWith(QLatin1Char('#')) ? line.mid(1) : line;
        m_metadata += QLatin1Char('\n');
        return;
    }
    if (line.startsWith(QLatin1Char('#')) || line.trimmed().isEmpty())
        return;
    if (!m_headerSeen &&
        (line.contains(QLatin1String("area")) || line.contains(QLatin1String("deform")))) {
        m_headerSeen = true;
        return;
    }
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    const QStringList parts = line.split(whitespace, Qt::SkipEmptyParts);
    if (parts.size() < 3)
        return;
    double values[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts[i].toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return;
    }
    m_data.area.push_back(values[0]);
    m_data.deform.push_back(values[1]);
    m_data.emodulus.push_back(values[2]);
}

void LUTParser::applyMetadata() {
    static const QRegularExpression prefix(QStringLiteral("^#\\s*"),
                                           QRegularExpression::MultilineOption);
    QString text = m_metadata;
    text.remove(prefix);
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return;
    const QJsonObject object = document.object();
    takePositive(object, "channel_width", m_data.channelWidth);
    takePositive(object, "flow_rate", m_data.flowRate);
    takePositive(object, "fluid_viscosity", m_data.fluidViscosity);
}

QStringList lutSearchCandidates(const QString& baseDir, const QString& fileName) {
    static const char* const kRelative[] = {"/data/", "/../Resources/data/", "/../data/",
                                            "/../../data/", "/../../../data/"};
    QStringList candidates;
    for (const char* relative : kRelative)
        candidates << baseDir + QLatin1String(relative) + fileName;
    return candidates;
}

QString findLUTFile(const QString& baseDir, const QString& fileName) {
    for (const QString& candidate : lutSearchCandidates(baseDir, fileName)) {
        if (QFile::exists(candidate))
            return candidate;
    }
    return {};
}

bool readLUTFile(const QString& path, LUTData& table, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("The Young's modulus look-up table \"%1\" could not be "
                                    "opened: %2")
                         .arg(path, file.errorString());
        return false;
    }
    // Line by line: the table may be large, and nothing in it needs the
    // whole text at once.
    LUTParser parser;
    while (!file.atEnd()) {
        QByteArray bytes = file.readLine();
        while (bytes.endsWith('\n') || bytes.endsWith('\r'))
            bytes.chop(1);
        parser.addLine(QString::fromUtf8(bytes));
    }
    table = parser.result();
    return true;
}

} // namespace Quorvex3
