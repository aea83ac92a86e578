// Reading a filter-group file for an import: the groups it holds, named
// apart, and every value it could not use, named with its group and rule.
#include "model/FilterGroupFile.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using Outcome = FilterGroupFileContent::Outcome;

std::vector<std::string> namesOf(const FilterGroupFileContent& content) {
    std::vector<std::string> names;
    for (const FilterGroup& group : content.groups)
        names.push_back(group.name + "/" + std::to_string(group.rules.size()));
    return names;
}

// A damaged element is named and the rest imported: values of another type
// take their defaults; a group that is no object, and a rule that could
// filter nothing (no object, a polygon of too few corners, no feature name)
// are left out.
TEST(FilterGroupFileRead, NamesWhatItReplacesOrLeavesOut) {
    struct Case {
        const char* what;
        const char* file;
        std::vector<std::string> groups; // "name/rule count"
        std::vector<QString> problems;
    };
    const Case cases[] = {
        {"valid",
         R"({"formatVersion": 7, "groups": [{"name": "Gate", "rules": [{"featureName": "a"}]}, {}]})",
         {"Gate (2)/1", "Imported group/0"},
         {}},
        {"name of another type",
         R"({"groups": [{"name": 5, "rules": []}, {"name": ""}]})",
         {"Imported group/0", "Imported group (2)/0"},
         {R"(group "Imported group": name 5 replaced by "Imported group")"}},
        {"rules no array",
         R"({"groups": [{"name": "A", "rules": "none"}]})",
         {"A/0"},
         {R"(group "A": rules "none" left out)"}},
        {"damaged rules",
         R"({"groups": [{"name": "A", "rules": [{"featureName": "x", "minValue": "abc"}, 17,
             {"type": "Polygon", "polygonVertices": [[0, 0], [1, 1]]},
             {"type": "Polygon", "featureName": "x", "featureNameY": "y",
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]}]}]})",
         {"A/2"},
         {R"(group "A": rule 1 (range on x): minimum "abc" replaced by 0)",
          R"(group "A": rule 2: 17 is no rule; left out)",
          R"(group "A": rule 3 (polygon on /): only 2 vertices usable; rule left out)"}},
        // Rules that would look real and filter nothing; one on a feature
        // this measurement may lack stays.
        {"rules whose feature names name nothing",
         R"({"groups": [{"name": "A", "rules": [{"featureName": 17}, {"featureName": ""}, {},
             {"type": "Polygon", "featureName": "x", "featureNameY": 2,
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]},
             {"featureName": "no_such_feature"}]}]})",
         {"A/1"},
         {R"(group "A": rule 1 (range): featureName 17 names no feature; rule left out)",
          R"(group "A": rule 2 (range): featureName "" names no feature; rule left out)",
          R"(group "A": rule 3 (range): no featureName; rule left out)",
          R"(group "A": rule 4 (polygon): featureNameY 2 names no feature; rule left out)"}},
        {"groups that are no objects",
         R"({"groups": [3, {"name": "B"}, "x", null, [1]]})",
         {"B/0"},
         {"group 1: 3 is no group; left out", R"(group 3: "x" is no group; left out)",
          "group 4: null is no group; left out", "group 5: an array is no group; left out"}},
    };
    for (const Case& c : cases) {
        const FilterGroupFileContent content = readFilterGroupFile(c.file, {"Gate"});
        EXPECT_EQ(content.outcome, Outcome::Groups) << c.what;
        EXPECT_EQ(namesOf(content), c.groups) << c.what;
        EXPECT_EQ(content.problems, c.problems) << c.what;
    }

    const FilterGroupFileContent linked = readFilterGroupFile(
        R"({"groups": [{"rules": [{"featureName": "a",
            "propagationId": "{1b4e28ba-2fa1-11d2-883f-0016d3cca427}"}]}]})",
        {});
    ASSERT_EQ(namesOf(linked), std::vector<std::string>{"Imported group/1"});
    EXPECT_TRUE(linked.groups[0].rules[0].propagationId.empty());
}

// A file without one usable group is refused with what it holds; one that
// is no JSON object, or names no groups, with the fixed texts.
TEST(FilterGroupFileRead, RefusesAFileWithoutAUsableGroup) {
    QByteArray manyNumbers = "{\"groups\": [";
    for (int i = 0; i < 20000; ++i)
        manyNumbers += i == 0 ? "0" : ", 0";
    manyNumbers += "]}";
    const FilterGroupFileContent numbers = readFilterGroupFile(manyNumbers, {});
    EXPECT_EQ(numbers.outcome, Outcome::NoUsableGroup);
    EXPECT_TRUE(numbers.groups.empty());
    EXPECT_TRUE(numbers.message.startsWith(
        QStringLiteral("The file contains no usable filter group:\n\u2022 group 1: 0 is no "
                       "group; left out\n")))
        << numbers.message.toStdString();
    // The box lists the first elements; its details all of them.
    EXPECT_EQ(numbers.message.count(QStringLiteral("\u2022")), 10);
    EXPECT_TRUE(
        numbers.message.endsWith(QStringLiteral("\u2026 and 19990 more \u2014 see details")));
    EXPECT_EQ(numbers.details.count(QStringLiteral("\u2022")), 20000);
    EXPECT_TRUE(
        numbers.details.endsWith(QStringLiteral("\u2022 group 20000: 0 is no group; left out")));

    const struct {
        const char* file;
        Outcome outcome;
        const char* message; // its beginning
    } refused[] = {
        {"", Outcome::NotJson, "File is not a valid filter-groups JSON: "},
        {"[{\"name\": \"G\"}]", Outcome::NotJson,
         "File is not a valid filter-groups JSON: the root is not a JSON object"},
        {"{\"groups\": {}}", Outcome::NoGroups, "The file contains no filter groups."},
        {"{\"groups\": []}", Outcome::NoGroups, "The file contains no filter groups."},
        {"{\"groups\": [\"a\"]}", Outcome::NoUsableGroup,
         "The file contains no usable filter group:\n\u2022 group 1: \"a\" is no group; left "
         "out"},
    };
    for (const auto& c : refused) {
        const FilterGroupFileContent content = readFilterGroupFile(c.file, {});
        EXPECT_EQ(content.outcome, c.outcome) << c.file;
        EXPECT_TRUE(content.message.startsWith(QString::fromUtf8(c.message)))
            << c.file << ": " << content.message.toStdString();
        EXPECT_TRUE(content.groups.empty()) << c.file;
    }
}

} // namespace
} // namespace Quorvex3
