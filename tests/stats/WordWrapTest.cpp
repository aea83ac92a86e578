// Wrapping of table texts and category names between words: numbers stay
// whole where Qt's own line breaking splits them, lines fill greedily, and
// a word wider than its room is shortened in the middle.

#include "stats/WordWrap.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QTextLayout>

using Quorvex3::longestWord;
using Quorvex3::wordsOf;
using Quorvex3::wrapAtWords;

TEST(WordWrap, BreaksBetweenWordsOnly) {
    struct Case {
        QString text;
        QStringList words;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("Mann-Whitney U"), {"Mann-", "Whitney ", "U"}},
        {QStringLiteral("Kruskal-Wallis"), {"Kruskal-", "Wallis"}},
        {QStringLiteral("Condition 1 vs Condition 2"),
         {"Condition ", "1 ", "vs ", "Condition ", "2"}},
        // Qt breaks these after "0." and "e-": a p-value must stay whole.
        {QStringLiteral("0.005372"), {"0.005372"}},
        {QStringLiteral("1.234e-05"), {"1.234e-05"}},
        {QStringLiteral("1.04e+04"), {"1.04e+04"}},
        {QStringLiteral("10.81 \u00B1 0.0159"), {"10.81 ", "\u00B1 ", "0.0159"}},
        {QStringLiteral("Sig. (\u03B1*=0.0004167)"), {"Sig. ", "(\u03B1*=0.0004167)"}},
        {QStringLiteral("> (higher = Drug-2)"), {"> ", "(higher ", "= ", "Drug-2)"}},
        {QStringLiteral("1.5-fold"), {"1.5-fold"}},
        {QString(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(wordsOf(c.text), c.words);
    }
}

// The widest word, not the widest of Qt's pieces: "0.005372" whole.
TEST(WordWrap, LongestWordIsTheWidestWholeWord) {
    const QFont font(QStringLiteral("Sans Serif"), 9);
    const QFontMetrics metrics(font);
    EXPECT_EQ(longestWord(font, QStringLiteral("0.005372")),
              metrics.horizontalAdvance(QStringLiteral("0.005372")));
    EXPECT_EQ(longestWord(font, QStringLiteral("Mann-Whitney U")),
              metrics.horizontalAdvance(QStringLiteral("Whitney")));
    EXPECT_EQ(longestWord(font, QStringLiteral("  a  ")), metrics.horizontalAdvance('a'));
    EXPECT_EQ(longestWord(font, QString()), 0);
}

TEST(WordWrap, FillsLinesGreedilyAndShortensLongWords) {
    const QFont font(QStringLiteral("Sans Serif"), 9);
    const QFontMetrics metrics(font);
    const auto width = [&](const char* text) {
        return metrics.horizontalAdvance(QString::fromUtf8(text));
    };
    // Room for "Condition 1" and "vs Condition" but not for "Condition 1 vs".
    EXPECT_EQ(
        wrapAtWords(QStringLiteral("Condition 1 vs Condition 2"), metrics, width("Condition 1 v")),
        QStringLiteral("Condition 1\nvs Condition\n2"));
    EXPECT_EQ(wrapAtWords(QStringLiteral("Condition 1"), metrics, width("Condition 1")),
              QStringLiteral("Condition 1"));
    EXPECT_EQ(wrapAtWords(QStringLiteral("Mann-Whitney U"), metrics, width("Whitney U")),
              QStringLiteral("Mann-\nWhitney U"));
    // A word wider than the room keeps its ends.
    const QString shortened = wrapAtWords(QStringLiteral("Treatment12"), metrics, width("Treatm"));
    EXPECT_LE(metrics.horizontalAdvance(shortened), width("Treatm"));
    EXPECT_TRUE(shortened.startsWith('T') && shortened.endsWith('2')) << shortened.toStdString();
    EXPECT_TRUE(shortened.contains(QChar(0x2026))) << shortened.toStdString();
}
