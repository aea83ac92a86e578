#include "core/ShownEvents.h"

#include "core/RTDCReader.h"

#include <memory>
#include <numeric>
#include <string>

namespace Quorvex3 {

std::vector<int> shownEvents(RTDCReader& reader, const EventFilter& filter) {
    const std::size_t eventCount = reader.getEventCount();
    if (!filter.isEnabled() || filter.ruleCount() == 0) {
        std::vector<int> all(eventCount);
        std::iota(all.begin(), all.end(), 0);
        return all;
    }
    // The handles keep the columns alive while the filter reads them,
    // whatever another thread registers or retires meanwhile.
    std::vector<std::shared_ptr<const std::vector<double>>> held;
    EventFilter::FeatureMap columns;
    for (const std::string& name : filter.requiredFeatures()) {
        std::shared_ptr<const std::vector<double>> column = reader.featureColumn(name);
        columns[name] = column.get();
        held.push_back(std::move(column));
    }
    return filter.apply(columns, eventCount);
}

std::vector<int> shownEventsByRules(RTDCReader& reader, const EventFilter& filter) {
    EventFilter switchedOn = filter;
    switchedOn.setEnabled(true);
    return shownEvents(reader, switchedOn);
}

} // namespace Quorvex3
