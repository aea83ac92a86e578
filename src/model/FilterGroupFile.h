#pragma once

#include "model/FilterGroup.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Quorvex3 {

/// Names groups apart from every group there is: `base` itself, or `base`
/// + " (n)" with the smallest n from 2 on that no group is named yet (names
/// compared exactly). Names only accumulate while groups are added, so the
/// search for a base resumes where its previous one stopped: a file of
/// thousands of groups of one name is named in linear time.
class UniqueGroupNames {
public:
    explicit UniqueGroupNames(const std::vector<std::string>& taken);

    /// The name for a new group of `base`, counted as taken from now on.
    std::string take(const std::string& base);

private:
    std::unordered_set<std::string> m_taken;
    std::unordered_map<std::string, int> m_nextSuffix; // first n not yet known to be taken
};

/// Name of a group whose file gives it none.
inline const char* const kImportedGroupName = "Imported group";

/// What a filter-group file (".qv3fg") holds for an import.
struct FilterGroupFileContent {
    enum class Outcome {
        /// `groups` holds at least one group to add.
        Groups,
        /// No JSON, or a root that is no object: refuse with `message`.
        NotJson,
        /// "groups" is missing, no array or empty: say `message`.
        NoGroups,
        /// Not one element of "groups" is a group: refuse with `message`
        /// and `details`, which list the elements.
        NoUsableGroup,
    };
    Outcome outcome = Outcome::NotJson;
    /// The text of the box for every outcome but Groups.
    QString message;
    /// The box's details: for NoUsableGroup with more elements than the
    /// box lists, all of them (see repairReportMessage); else empty.
    QString details;
    /// The groups in file order, named apart from each other and from the
    /// names the reader was given; ids are left to the caller. Rules carry
    /// no propagation id.
    std::vector<FilterGroup> groups;
    /// What could not be used as stored, one line each, led by the group
    /// (`group "Gate (2)"`, as it is named now, or `group N` for an element
    /// left out, N from 1) and the rule: values replaced by their defaults
    /// and elements left out. A missing key is not listed.
    std::vector<QString> problems;
};

/// Reads the bytes of a filter-group file. Each element of "groups" that
/// is an object becomes a group: its "name" (empty or missing: "Imported
/// group", then made unique against `takenNames` and the groups before it)
/// and its "rules" read by readFilterRules. An element that is no object is
/// left out and listed. "formatVersion" is not read. Never fails on what
/// the bytes hold.
FilterGroupFileContent readFilterGroupFile(const QByteArray& bytes,
                                           const std::vector<std::string>& takenNames);

} // namespace Quorvex3
