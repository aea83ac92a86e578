// Compiles the header on its own, so a missing include shows up here first.
#include "model/DatasetEntry.h"

#include "core/RTDCReader.h"

namespace Quorvex3 {

std::vector<std::string> scalarFeaturesOf(const DatasetEntry* entry) {
    std::vector<std::string> names;
    if (!entry || !entry->reader)
        return names;
    for (const std::string& name : entry->reader->getAvailableFeatures())
        if (RTDCReader::isScalarFeature(name))
            names.push_back(name);
    return names;
}

} // namespace Quorvex3
