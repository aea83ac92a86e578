#pragma once

// Wrapping of short labels (table titles and cells, category names under a
// plot) at the places between words, never inside a word or a number.

#include <QString>
#include <QStringList>

class QFont;
class QFontMetrics;

namespace Quorvex3 {

/// The pieces of `text` that wrapping keeps on one line, in order, each
/// with the spaces that follow it: lines break after a space, or after the
/// hyphen between two letters ("Mann-" "Whitney"), never inside a number
/// ("0.005372", "1.234e-05"), which Qt's own line breaking splits after
/// "0." or "e-".
QStringList wordsOf(const QString& text);

/// Width in whole pixels (rounded up) of the widest of `wordsOf(text)`,
/// its trailing spaces left out: the narrowest room the text wraps into
/// without cutting a word.
int longestWord(const QFont& font, const QString& text);

/// `text` in lines of at most `width` pixels joined by "\n", broken at the
/// places of `wordsOf` and filling each line greedily; a word wider than
/// `width` alone is shortened in its middle with an ellipsis.
QString wrapAtWords(const QString& text, const QFontMetrics& metrics, int width);

} // namespace Quorvex3
