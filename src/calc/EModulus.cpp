// The look-up table caches and the per-event Young's modulus computation.

#include "calc/EModulus.h"

#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>

namespace Quorvex3 {

namespace {

using Lock = std::lock_guard<std::mutex>;

bool positiveFinite(double value) {
    return std::isfinite(value) && value > 0.0;
}

QString number(double value) {
    return QString::number(value, 'g', 6);
}

// Why the table's reference conditions cannot scale a modulus; empty when
// they can. The parser keeps its defaults for bad metadata, so this only
// fires for a table built some other way.
QString tableProblem(const LUTData& table) {
    if (!positiveFinite(table.channelWidth) || !positiveFinite(table.flowRate) ||
        !positiveFinite(table.fluidViscosity))
        return QStringLiteral("The Young's modulus look-up table's reference channel width, "
                              "flow rate or viscosity is not a positive number.");
    return {};
}

} // namespace

EModulus::EModulus(QObject* parent) : QObject(parent) {}

EModulus::~EModulus() = default;

std::string EModulus::lutFilename(LUTModel model) {
    return model == 0 ? std::string("LUT_LE_2D_FEM.txt") : std::string();
}

void EModulus::setLUTSearchDir(const QString& dir) {
    Lock lock(m_cacheMutex);
    m_searchDir = dir;
}

void EModulus::loadLUT(LUTModel model) {
    Lock lock(m_cacheMutex);
    loadLUTLocked(model);
}

void EModulus::loadLUTLocked(LUTModel model) {
    if (m_tables.count(model) > 0)
        return;
    const QString fileName = QString::fromStdString(lutFilename(model));
    if (fileName.isEmpty()) {
        m_errors[model] = QStringLiteral("There is no Young's modulus look-up table for "
                                         "model %1.")
                              .arg(model);
        return;
    }
    const QString base =
        m_searchDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_searchDir;
    const QString path = findLUTFile(base, fileName);
    if (path.isEmpty()) {
        std::cerr << "EModulus: LUT file not found: " << fileName.toStdString()
                  << " (searched from " << base.toStdString() << ")" << std::endl;
        m_errors[model] =
            QStringLiteral("The Young's modulus look-up table \"%1\" was not found. It belongs "
                           "in a folder \"data\" next to the program (searched from %2).")
                .arg(fileName, base);
        return;
    }
    auto table = std::make_unique<LUTData>();
    QString error;
    if (!readLUTFile(path, *table, &error)) {
        m_errors[model] = error;
        return;
    }
    m_errors.erase(model);
    m_tables.emplace(model, std::move(table));
}

void EModulus::buildTriangulation(LUTModel model) {
    Lock lock(m_cacheMutex);
    if (m_triangulations.count(model) > 0)
        return;
    loadLUTLocked(model);
    const auto table = m_tables.find(model);
    if (table == m_tables.end())
        return;
    // A table that cannot be triangulated stays so: remember the reason
    // instead of trying again on every call.
    if (m_errors.count(model) > 0)
        return;
    auto lut = std::make_unique<TriangulatedLUT>();
    QString error;
    if (!triangulateLUT(*table->second, *lut, &error)) {
        std::cerr << "EModulus: " << error.toStdString() << std::endl;
        m_errors[model] = error;
        return;
    }
    m_triangulations.emplace(model, std::move(lut));
}

const LUTData* EModulus::lut(LUTModel model) const {
    Lock lock(m_cacheMutex);
    const auto found = m_tables.find(model);
    return found == m_tables.end() ? nullptr : found->second.get();
}

const TriangulatedLUT* EModulus::triangulation(LUTModel model) const {
    Lock lock(m_cacheMutex);
    const auto found = m_triangulations.find(model);
    return found == m_triangulations.end() ? nullptr : found->second.get();
}

QString EModulus::lutError(LUTModel model) const {
    Lock lock(m_cacheMutex);
    const auto found = m_errors.find(model);
    return found == m_errors.end() ? QString() : found->second;
}

double EModulus::interpolateLUT(const TriangulatedLUT& lut, double area, double deform) const {
    return interpolateTriangulated(lut, area, deform);
}

QString EModulus::tableFor(LUTModel model, const TriangulatedLUT*& lut, const LUTData*& table) {
    loadLUT(model);
    buildTriangulation(model);
    lut = triangulation(model);
    table = this->lut(model);
    if (!lut || !table) {
        std::cerr << "EModulus: failed to build LUT triangulation" << std::endl;
        const QString reason = lutError(model);
        return reason.isEmpty()
                   ? QStringLiteral("The Young's modulus look-up table could not be loaded.")
                   : reason;
    }
    return tableProblem(*table);
}

bool EModulus::run(RTDCReader* reader, const EModParams& params, QString* error) {
    auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!reader)
        return fail(QStringLiteral("No measurement is loaded."));
    for (const std::string& name : {std::string("area_um"), params.deformFeature}) {
        if (!reader->hasFeature(name))
            return fail(QStringLiteral("The measurement has no feature \"%1\".")
                            .arg(QString::fromStdString(name)));
    }
    if (const QString bad = emodParamsProblem(params, params.pixelationCorrection); !bad.isEmpty())
        return fail(bad);

    const TriangulatedLUT* lut = nullptr;
    const LUTData* table = nullptr;
    if (const QString problem = tableFor(params.lutModel, lut, table); !problem.isEmpty())
        return fail(problem);

    // Shared handles: a column replaced meanwhile stays alive while we read.
    const auto areaColumn = reader->featureColumn("area_um");
    const auto deformColumn = reader->featureColumn(params.deformFeature);
    if (!areaColumn || !deformColumn || areaColumn->empty() ||
        deformColumn->size() != areaColumn->size())
        return fail(QStringLiteral("The measurement's area and deformation columns are empty or "
                                   "differ in length."));
    const std::vector<double>& area = *areaColumn;
    const std::vector<double>& deform = *deformColumn;
    const std::size_t n = area.size();

    std::shared_ptr<const std::vector<double>> temperatures;
    if (params.temperatureSource == static_cast<int>(TemperatureSource::Event) &&
        reader->hasFeature("temp")) {
        temperatures = reader->featureColumn("temp");
        if (temperatures && temperatures->size() != n)
            temperatures.reset();
    }
    double viscosity = 0.0;
    if (!temperatures) {
        viscosity = computeViscosity(params, params.temperature);
        if (!positiveFinite(viscosity))
            return fail(QStringLiteral("The viscosity (%1 mPa·s at %2 °C) is not a positive "
                                       "number; check the medium, viscosity and temperature.")
                            .arg(number(viscosity), number(params.temperature)));
    }

    const double s = table->channelWidth / params.channelWidth;
    const double geometry = std::pow(s, 3.0);
    const double flow = params.flowRate / table->flowRate;
    const double areaScale = s * s;
    std::vector<double> result(n, std::numeric_limits<double>::quiet_NaN());
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 256 == 0)
            emit progressChanged(static_cast<int>(static_cast<std::uint64_t>(i) * 100 / n));
        double d = deform[i];
        if (params.pixelationCorrection)
            d = pixelationCorrection(d, area[i], params.pixelSize);
        const double e = interpolateTriangulated(*lut, area[i] * areaScale, d);
        if (std::isnan(e))
            continue;
        const double eta = temperatures ? computeViscosity(params, (*temperatures)[i]) : viscosity;
        result[i] = geometry * flow * e * (eta / table->fluidViscosity);
    }
    emit progressChanged(100);
    reader->addCalculatedFeature("emodulus", std::move(result));
    return true;
}

bool applyMetadataTemperature(EModParams& params, const RTDCMetadata& metadata) {
    if (params.temperatureSource != static_cast<int>(TemperatureSource::Metadata))
        return false;
    const auto found = metadata.setup.find("temperature");
    if (found == metadata.setup.end())
        return false;
    bool ok = false;
    const double value = QString::fromStdString(found->second).toDouble(&ok);
    if (!ok || !positiveFinite(value))
        return false;
    params.temperature = value;
    return true;
}

QString emodParamsProblem(const EModParams& params, bool usesPixelSize) {
    if (!positiveFinite(params.channelWidth))
        return QStringLiteral("The channel width (%1 µm) is not a positive number; the "
                              "measurement's metadata lacks a usable \"channel width\".")
            .arg(number(params.channelWidth));
    if (!positiveFinite(params.flowRate))
        return QStringLiteral("The flow rate (%1 µL/s) is not a positive number; the "
                              "measurement's metadata lacks a usable \"flow rate\".")
            .arg(number(params.flowRate));
    if (usesPixelSize && !positiveFinite(params.pixelSize))
        return QStringLiteral("The pixel size (%1 µm) is not a positive number; the "
                              "measurement's metadata lacks a usable \"pixel size\".")
            .arg(number(params.pixelSize));
    return {};
}

QString formatCountPercent(int count, int total) {
    if (total <= 0)
        return QStringLiteral("0 (0.0%)");
    return QStringLiteral("%1 (%2%)").arg(count).arg(count * 100.0 / total, 0, 'f', 1);
}

} // namespace Quorvex3
