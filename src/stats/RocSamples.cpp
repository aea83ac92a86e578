#include "stats/RocSamples.h"

#include "stats/GroupComparison.h"

#include <algorithm>
#include <map>

namespace Quorvex3 {

namespace {

std::optional<double> valueOf(const RocEntryValues& entry, std::size_t feature) {
    return feature < entry.values.size() ? entry.values[feature] : std::nullopt;
}

RocClassSamples perDataset(const std::vector<RocEntryValues>& entries, std::size_t featureCount) {
    RocClassSamples samples;
    samples.byFeature.resize(featureCount);
    samples.complete.resize(featureCount);
    for (const RocEntryValues& entry : entries) {
        bool complete = true;
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (const std::optional<double> v = valueOf(entry, f))
                samples.byFeature[f].push_back(*v);
            else
                complete = false;
        }
        if (!complete)
            continue;
        for (std::size_t f = 0; f < featureCount; ++f)
            samples.complete[f].push_back(*valueOf(entry, f));
    }
    return samples;
}

RocClassSamples perSubject(const std::vector<RocEntryValues>& entries, std::size_t featureCount,
                           bool rootMeanSquare) {
    // Every unassigned biological replicate number (0 or less) is one group,
    // so entries marked 0 and -1 of one subject are not averaged apart first;
    // without any assigned number this is the one-level average per ID.
    std::vector<std::map<int, double>> byId(featureCount);
    for (std::size_t f = 0; f < featureCount; ++f) {
        std::vector<ReplicateSample> replicates;
        replicates.reserve(entries.size());
        for (const RocEntryValues& entry : entries)
            replicates.push_back({entry.numberId, std::max(entry.bioRepId, 0), valueOf(entry, f)});
        byId[f] = aggregateReplicates(replicates, rootMeanSquare);
    }
    RocClassSamples samples;
    samples.complete.resize(featureCount);
    for (const std::map<int, double>& values : byId)
        samples.byFeature.push_back(mapValues(values));
    if (featureCount == 0)
        return samples;
    for (const auto& [id, first] : byId.front()) {
        bool complete = true;
        for (std::size_t f = 1; f < featureCount && complete; ++f)
            complete = byId[f].count(id) > 0;
        for (std::size_t f = 0; complete && f < featureCount; ++f)
            samples.complete[f].push_back(f == 0 ? first : byId[f].at(id));
    }
    return samples;
}

} // namespace

RocClassSamples collectRocSamples(const std::vector<RocEntryValues>& entries,
                                  std::size_t featureCount, bool replicates, bool rootMeanSquare) {
    return replicates ? perSubject(entries, featureCount, rootMeanSquare)
                      : perDataset(entries, featureCount);
}

} // namespace Quorvex3
