// The row of filter-panel controls that continues on the next line when the
// panel is narrow.
#include "util/WrapRowLayout.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <vector>

namespace Quorvex3 {
namespace {

class Hinted : public QWidget {
public:
    Hinted(QWidget* parent, QSize hint, int least) : QWidget(parent), m_hint(hint) {
        setMinimumWidth(least);
    }
    QSize sizeHint() const override { return m_hint; }

private:
    QSize m_hint;
};

// Three items asking for 100, 60 and 150 pixels (heights 20, 30, 20),
// spacing 4, left margin 20: where each lands at a given width.
TEST(WrapRowLayout, PlacesItemsOnLinesAsTheWidthAllows) {
    const struct {
        const char* name;
        int width;
        std::vector<QRect> expected;
        int height;
    } cases[] = {
        {"all on one line, centred vertically",
         400,
         {QRect(20, 5, 100, 20), QRect(124, 0, 60, 30), QRect(188, 5, 150, 20)},
         30},
        {"exactly one line",
         338,
         {QRect(20, 5, 100, 20), QRect(124, 0, 60, 30), QRect(188, 5, 150, 20)},
         30},
        {"one pixel short: the last one wraps",
         337,
         {QRect(20, 5, 100, 20), QRect(124, 0, 60, 30), QRect(20, 34, 150, 20)},
         54},
        {"one per line",
         180,
         {QRect(20, 0, 100, 20), QRect(20, 24, 60, 30), QRect(20, 58, 150, 20)},
         78},
        {"an item wider than a line shrinks to it",
         140,
         {QRect(20, 0, 100, 20), QRect(20, 24, 60, 30), QRect(20, 58, 120, 20)},
         78},
        {"but not below its least width",
         100,
         {QRect(20, 0, 80, 20), QRect(20, 24, 60, 30), QRect(20, 58, 110, 20)},
         78},
    };
    QWidget panel;
    auto* layout = new WrapRowLayout(4);
    layout->setContentsMargins(20, 0, 0, 0);
    panel.setLayout(layout);
    std::vector<QWidget*> items = {new Hinted(&panel, QSize(100, 20), 50),
                                   new Hinted(&panel, QSize(60, 30), 60),
                                   new Hinted(&panel, QSize(150, 20), 110)};
    for (QWidget* item : items)
        layout->addWidget(item);

    EXPECT_EQ(layout->sizeHint(), QSize(338, 30));
    EXPECT_EQ(layout->minimumSize().width(), 130); // the widest least width and the margin
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(layout->heightForWidth(c.width), c.height);
        layout->setGeometry(QRect(0, 0, c.width, c.height));
        for (std::size_t i = 0; i < items.size(); ++i)
            EXPECT_EQ(items[i]->geometry(), c.expected[i]) << "item " << i;
    }
}

TEST(WrapRowLayout, AHiddenItemTakesNoRoom) {
    QWidget panel;
    auto* layout = new WrapRowLayout(4);
    layout->setContentsMargins(0, 0, 0, 0);
    panel.setLayout(layout);
    auto* first = new Hinted(&panel, QSize(100, 20), 100);
    auto* hidden = new Hinted(&panel, QSize(300, 20), 300);
    auto* last = new Hinted(&panel, QSize(50, 20), 50);
    for (QWidget* item :
         {static_cast<QWidget*>(first), static_cast<QWidget*>(hidden), static_cast<QWidget*>(last)})
        layout->addWidget(item);
    hidden->hide();
    EXPECT_EQ(layout->sizeHint(), QSize(154, 20));
    EXPECT_EQ(layout->minimumSize().width(), 100);
    layout->setGeometry(QRect(0, 0, 154, 20));
    EXPECT_EQ(last->geometry(), QRect(104, 0, 50, 20));
}

} // namespace
} // namespace Quorvex3
