#include "util/ScreenFitMessageBox.h"

#include "util/WindowUtil.h"

#include <QScreen>
#include <QShowEvent>
#include <QStringList>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

namespace Quorvex3 {

namespace {

/// The first `kept` lines of `lines` and a line naming how many of the
/// others hold text.
QString firstLines(const QStringList& lines, int kept) {
    int more = 0;
    for (int i = kept; i < lines.size(); ++i)
        more += lines.at(i).trimmed().isEmpty() ? 0 : 1;
    QStringList text = lines.mid(0, kept);
    while (!text.isEmpty() && text.last().trimmed().isEmpty())
        text.removeLast();
    text << (more == 1 ? QStringLiteral("\u2026 and 1 more line \u2014 see details")
                       : QStringLiteral("\u2026 and %1 more lines \u2014 see details").arg(more));
    return text.join(QLatin1Char('\n'));
}

} // namespace

void ScreenFitMessageBox::showEvent(QShowEvent* event) {
    // Qt sizes the box to its text and places it over its parent.
    QMessageBox::showEvent(event);
    if (event->spontaneous())
        return;
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    const QRect area = shownOn->availableGeometry().marginsRemoved(WindowUtil::frameAround(this));
    enlargeDetails(area.height());
    if (height() + detailsGrowth() > area.height())
        moveOverflowToDetails(area.height());
    // A box cut to fit fills the screen's height with its details open: it
    // goes where it fits, wherever Qt placed it at its first size.
    WindowUtil::moveInsideScreen(this, detailsGrowth());
}

void ScreenFitMessageBox::enlargeDetails(int room) {
    auto* edit = findChild<QTextEdit*>();
    if (!edit || edit->document()->isEmpty())
        return;
    // Qt's details show about five lines: too few to read a long list in.
    // Up to half the screen's height is theirs; the text gives way.
    const int margins = 2 * edit->frameWidth();
    const int lines = std::max(1, edit->document()->blockCount());
    const int wanted = edit->fontMetrics().lineSpacing() * std::min(lines, kDetailsLines) +
                       margins + 2 * static_cast<int>(edit->document()->documentMargin());
    const int height = std::min(wanted, room / 2);
    if (height > edit->height())
        edit->setFixedHeight(height);
}

int ScreenFitMessageBox::detailsGrowth() {
    const auto* edit = findChild<QTextEdit*>();
    QWidget* details = edit ? edit->parentWidget() : nullptr;
    if (!details || details == this || details->isVisible())
        return 0;
    // Qt sizes the box anew each time its text is set, with what shows.
    const int closed = height();
    details->show();
    setText(text());
    const int open = height();
    details->hide();
    setText(text());
    return std::max(0, open - closed);
}

void ScreenFitMessageBox::moveOverflowToDetails(int room) {
    const QString whole = text();
    if (textFormat() == Qt::RichText ||
        (textFormat() == Qt::AutoText && Qt::mightBeRichText(whole)))
        return;
    const QStringList lines = whole.split(QLatin1Char('\n'));
    const QString details = detailedText();
    setDetailedText(details.isEmpty() ? whole : whole + QStringLiteral("\n\n") + details);
    enlargeDetails(room);
    const int growth = detailsGrowth();
    // The most lines that fit; none when not even the note does.
    int fitting = 0;
    int low = 1;
    int high = static_cast<int>(lines.size()) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        setText(firstLines(lines, middle));
        if (height() + growth <= room) {
            fitting = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    setText(firstLines(lines, fitting));
}

} // namespace Quorvex3
