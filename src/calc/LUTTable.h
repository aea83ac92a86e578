#pragma once

// The Young's modulus look-up table: a text file of (area, deformation,
// modulus) rows with an optional JSON metadata block, found in a data
// directory near the executable. GUI-free (Qt Core).

#include <QString>
#include <QStringList>

#include <vector>

namespace Quorvex3 {

/// Which look-up table. 0 (the 2-D finite-element table) is the only one;
/// every other value names no file.
using LUTModel = int;

/// One parsed table. The three columns have one entry per accepted row.
struct LUTData {
    /// Cell area in µm².
    std::vector<double> area;
    /// Deformation (dimensionless).
    std::vector<double> deform;
    /// Young's modulus in kPa at the table's reference conditions.
    std::vector<double> emodulus;
    /// Reference conditions the moduli were computed for; the metadata block
    /// replaces them only with positive finite numbers.
    double channelWidth = 20.0;    ///< µm
    double flowRate = 0.16;        ///< µL/s
    double fluidViscosity = 1.002; ///< mPa·s
};

/// Parses table text line by line. Feed every line (without its line end)
/// to addLine, then take the table with result().
///
/// Rows whose first three fields are not all finite numbers are skipped, so
/// a stray "nan" or "inf" never reaches the triangulation.
class LUTParser {
public:
    void addLine(const QString& line);
    /// The table read so far (possibly without rows).
    const LUTData& result() const { return m_data; }

private:
    void applyMetadata();

    LUTData m_data;
    QString m_metadata;
    bool m_inMetadata = false;
    bool m_headerSeen = false;
};

/// The places searched for table `fileName`, in order, below `baseDir` (the
/// program's directory): data/, ../Resources/data/, ../data/, ../../data/,
/// ../../../data/.
QStringList lutSearchCandidates(const QString& baseDir, const QString& fileName);

/// The first candidate of lutSearchCandidates that exists; empty if none.
QString findLUTFile(const QString& baseDir, const QString& fileName);

/// Reads and parses the table at `path` (UTF-8 text, any of "\n", "\r\n"
/// line ends). False, with `error` set to a sentence for the user, when the
/// file cannot be opened; a file without valid rows still succeeds.
bool readLUTFile(const QString& path, LUTData& table, QString* error);

} // namespace Quorvex3
