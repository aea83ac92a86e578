// The window's session state.
#include "stats/StatisticalEvalWindow.h"

namespace Quorvex3 {

QJsonObject StatisticalEvalWindow::saveState(const DatasetStore::DatasetList&) const {
    return {};
}

void StatisticalEvalWindow::restoreState(const QJsonObject&, const QMap<int, int>&) {}

} // namespace Quorvex3
