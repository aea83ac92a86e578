#pragma once

#include "calc/EModulus.h"

#include <QDialog>
#include <QString>

class QWidget;

namespace Quorvex3 {

/// Traffic-light rating of one aspect of a quality report.
enum class QualityLight { Green, Amber, Red };

/// The ratings the dialog shows, one per aspect, from a valid report with
/// events: coverage (share of unmapped events), boundary proximity (share
/// of mapped events near the lower edge), gradient sensitivity and
/// population bias.
QualityLight coverageLight(const EModulus::QualityReport& report);
QualityLight boundaryLight(const EModulus::QualityReport& report);
QualityLight sensitivityLight(const EModulus::QualityReport& report);
QualityLight biasLight(const EModulus::QualityReport& report);

/// A snapshot of one dataset's Young's modulus quality report: a coloured
/// dot and the figures per aspect. Built complete in the constructor; the
/// caller opens it non-modally with delete-on-close.
class EModQualityDialog : public QDialog {
    Q_OBJECT

public:
    EModQualityDialog(const EModulus::QualityReport& report, const QString& datasetName,
                      QWidget* parent = nullptr);
};

} // namespace Quorvex3
