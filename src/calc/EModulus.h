#pragma once

#include "calc/EModParams.h"
#include "calc/IsoLine.h"
#include "calc/LUTTable.h"
#include "calc/LUTTriangulation.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

class RTDCReader;
struct RTDCMetadata;

/// Young's modulus of deformed cells from a finite-element look-up table,
/// the viscosity models it needs, the quality report of a computed modulus
/// and the lines of constant modulus drawn over area and deformation.
///
/// The main window owns one. Its table caches are filled once per table
/// model, under a lock, by whichever thread first needs them (the
/// background computation or the GUI thread's quality report and lines),
/// and are only read afterwards; every other member is safe to call from
/// several threads at once.
class EModulus : public QObject {
    Q_OBJECT

public:
    using LUTData = Quorvex3::LUTData;
    using TriangulatedLUT = Quorvex3::TriangulatedLUT;

    /// One line of constant Young's modulus, as drawn on scatter plots.
    using IsoLine = Quorvex3::IsoLine;

    /// How well the table maps a set of events (see assessQuality).
    struct QualityReport {
        int totalEvents = 0;            ///< event indices given
        int areaTooSmall = 0;           ///< scaled area below the table's smallest
        int areaTooLarge = 0;           ///< scaled area above the table's largest
        int deformTooLow = 0;           ///< classed below the table in deformation
        int deformTooHigh = 0;          ///< classed above the table in deformation
        int mapped = 0;                 ///< with a modulus from the table
        int nearBoundary = 0;           ///< mapped, close to the lower deformation edge
        double medianSensitivity = 0.0; ///< median propagated relative error
        int highSensitivity = 0;        ///< mapped, sensitivity above 1.0
        double medianAll = 0.0;         ///< kPa, median of all mapped events
        double medianInterior = 0.0;    ///< kPa, median of mapped events off the edge
        double bias = 0.0;              ///< relative difference of the two medians
        bool valid = false;             ///< the assessment ran
    };

    /// The main window owns one, as a child.
    explicit EModulus(QObject* parent = nullptr);
    ~EModulus() override;

    // --- Look-up table -----------------------------------------------------
    /// File name of a table model: "LUT_LE_2D_FEM.txt" for 0, else empty.
    static std::string lutFilename(LUTModel model);
    /// Directory the table search starts from instead of the program's
    /// directory (QCoreApplication::applicationDirPath); empty restores
    /// that. For tests.
    void setLUTSearchDir(const QString& dir);
    /// Finds and parses the table of `model` unless it is cached. When the
    /// file is missing, one line goes to standard error, nothing is cached
    /// and lutError tells why; the next call searches again.
    void loadLUT(LUTModel model);
    /// Loads the table if needed, then triangulates and caches it unless
    /// that was done. Afterwards triangulation(model) is set, or lutError
    /// says why not.
    void buildTriangulation(LUTModel model);
    /// The cached table / triangulation of `model`, or null. A non-null
    /// pointer stays valid and unchanged for the object's life.
    const LUTData* lut(LUTModel model) const;
    const TriangulatedLUT* triangulation(LUTModel model) const;
    /// Why the last load or triangulation of `model` failed, as a sentence
    /// for the user; empty when nothing failed.
    QString lutError(LUTModel model) const;
    /// Modulus in kPa at (area in µm², deformation) from `lut`; NaN outside
    /// the table.
    double interpolateLUT(const TriangulatedLUT& lut, double area, double deform) const;

    // --- Computation -------------------------------------------------------
    /// Computes "emodulus" (kPa, NaN where the table has no value) for every
    /// event from "area_um" and params.deformFeature and adds it to the
    /// reader. Refuses (false, reader unchanged, `error` set to a sentence
    /// for the user) when an input feature or the table is missing, or when
    /// the channel width, flow rate, pixel size (when the pixelation
    /// correction is on), viscosity or the table's reference values are not
    /// positive finite numbers. Emits progressChanged on the calling thread.
    bool run(RTDCReader* reader, const EModParams& params, QString* error = nullptr);

    /// Classifies the events `indices` against the table in the conditions
    /// of `params` (always "deform", always pixelation-corrected, one
    /// viscosity at params.temperature). Invalid when the reader, "area_um",
    /// "deform" or the table is missing, or the conditions are not positive
    /// finite numbers.
    QualityReport assessQuality(RTDCReader* reader, const EModParams& params,
                                const std::vector<int>& indices);

    /// The lines of the eleven fixed modulus levels, traced through table 0
    /// in the conditions of `params`; empty without a table or with
    /// conditions that are not positive finite numbers.
    std::vector<IsoLine> computeIsolines(const EModParams& params);

    // --- Models --------------------------------------------------------------
    /// Deformation minus the offset that pixelation adds to a cell of
    /// `area` µm² imaged with pixels of `pixelSize` µm.
    static double pixelationCorrection(double deform, double area, double pixelSize);
    /// Viscosities in mPa·s; T in °C, channel width in µm, flow rate in µL/s.
    static double viscosityKestin1978(double T);
    static double viscosityHerold2017(EModMedium medium, double T, double channelWidth,
                                      double flowRate);
    static double viscosityBuyukurganci2022(EModMedium medium, double T, double channelWidth,
                                            double flowRate);
    /// The viscosity of params.viscosityModel at temperature T.
    static double computeViscosity(const EModParams& params, double T);

signals:
    /// Progress of a run in per cent (0 to 100); emitted on the running thread.
    void progressChanged(int percent);

private:
    void loadLUTLocked(LUTModel model);
    /// Loads and triangulates `model` for a computation; a sentence for the
    /// user (and the standard-error line) when that fails or the table's
    /// reference values are unusable, else empty.
    QString tableFor(LUTModel model, const TriangulatedLUT*& lut, const LUTData*& table);

    mutable std::mutex m_cacheMutex;
    QString m_searchDir;
    std::map<LUTModel, std::unique_ptr<const LUTData>> m_tables;
    std::map<LUTModel, std::unique_ptr<const TriangulatedLUT>> m_triangulations;
    std::map<LUTModel, QString> m_errors;
};

/// Sets params.temperature from the metadata's "setup" "temperature" when
/// params.temperatureSource is Metadata and the value is a number above
/// 0 °C; a missing, unparsable or non-positive value (a recorder's
/// placeholder) leaves the temperature as it is. Returns whether it changed.
bool applyMetadataTemperature(EModParams& params, const RTDCMetadata& metadata);

/// Why `params` cannot give moduli, as a sentence for the user; empty when
/// the channel width, flow rate and (when `usesPixelSize`) pixel size are
/// positive finite numbers.
QString emodParamsProblem(const EModParams& params, bool usesPixelSize);

/// "%1 (%2%)": the count and its share of `total` in per cent with one
/// decimal; "0 (0.0%)" when total is 0 or less.
QString formatCountPercent(int count, int total);

} // namespace Quorvex3
