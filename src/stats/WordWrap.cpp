#include "stats/WordWrap.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

/// Whether a line may break at `end` of `text` (where the text layout
/// offers a break) without splitting a word or a number.
bool breaksBetweenWords(const QString& text, int end) {
    if (end <= 0 || end >= text.size())
        return true;
    const QChar before = text.at(end - 1);
    if (before.isSpace())
        return true;
    return before == QLatin1Char('-') && end >= 2 && text.at(end - 2).isLetter() &&
           text.at(end).isLetter();
}

} // namespace

QStringList wordsOf(const QString& text) {
    QStringList words;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    int start = 0;
    while (start < text.size()) {
        int end = breaks.toNextBoundary();
        while (end > 0 && !breaksBetweenWords(text, end))
            end = breaks.toNextBoundary();
        if (end <= start)
            end = text.size();
        words << text.mid(start, end - start);
        start = end;
    }
    return words;
}

int longestWord(const QFont& font, const QString& text) {
    // Rounded up as the text layout rounds a line's width.
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QString& word : wordsOf(text))
        widest = std::max(widest, metrics.horizontalAdvance(word.trimmed()));
    return static_cast<int>(std::ceil(widest));
}

QString wrapAtWords(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : wordsOf(text)) {
        const QString longer = line + word;
        if (line.isEmpty() || metrics.horizontalAdvance(longer.trimmed()) <= width) {
            line = longer;
            continue;
        }
        lines << line.trimmed();
        line = word;
    }
    if (!line.isEmpty())
        lines << line.trimmed();
    for (QString& shown : lines)
        if (metrics.horizontalAdvance(shown) > width)
            shown = metrics.elidedText(shown, Qt::ElideMiddle, std::max(0, width));
    return lines.join(QLatin1Char('\n'));
}

} // namespace Quorvex3
