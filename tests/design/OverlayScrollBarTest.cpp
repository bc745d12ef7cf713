#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include "design/OverlayScrollBar.h"
#include "support/FakeClock.h"

namespace {
struct Fixture {
    FakeClock clock;
    bool reduce = false;
    QPlainTextEdit area;
    OverlayScrollBar* bar;
    Fixture() : bar(OverlayScrollBar::install(&area, clock))
    {
        bar->setReduceMotion([this] { return reduce; });
        area.setPlainText(QString("line\n").repeated(300));
        area.resize(240, 200);
        area.show();
        QCoreApplication::processEvents();
    }
    void scroll() { area.verticalScrollBar()->setValue(area.verticalScrollBar()->value() + 40); }
};
}  // namespace

// Scrolling shows the bar at full strength; a second after the last movement it fades out over the
// fade and is gone; movement mid-fade brings it back at once.
TEST(OverlayScrollBar, ShowsWhileScrollingAndFadesASecondAfter)
{
    Fixture f;
    f.clock.advance(OverlayScrollBar::lingerMs + OverlayScrollBar::fadeMs + Tween::frameMs);
    EXPECT_FALSE(f.bar->isShowing());
    f.scroll();
    EXPECT_TRUE(f.bar->isShowing());
    EXPECT_DOUBLE_EQ(f.bar->strength(), 1.0);
    EXPECT_EQ(f.bar->thumbRect().width(), OverlayScrollBar::thumbWidth);

    f.clock.advance(OverlayScrollBar::lingerMs - 10);
    EXPECT_DOUBLE_EQ(f.bar->strength(), 1.0);
    f.clock.advance(10 + OverlayScrollBar::fadeMs / 2);
    EXPECT_TRUE(f.bar->isShowing());
    EXPECT_GT(f.bar->strength(), 0.0);
    EXPECT_LT(f.bar->strength(), 1.0);
    f.scroll();
    EXPECT_DOUBLE_EQ(f.bar->strength(), 1.0);

    f.clock.advance(OverlayScrollBar::lingerMs + OverlayScrollBar::fadeMs + Tween::frameMs);
    EXPECT_FALSE(f.bar->isShowing());
    EXPECT_DOUBLE_EQ(f.bar->strength(), 0.0);
}

// Under the pointer the thumb widens to 10 px and the bar stays; with Reduce Motion it goes at once.
TEST(OverlayScrollBar, HoverHoldsItAndReduceMotionSkipsTheFade)
{
    Fixture f;
    f.scroll();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), f.bar->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(f.bar, &enter);
    EXPECT_EQ(f.bar->thumbRect().width(), OverlayScrollBar::thumbWidthActive);
    EXPECT_LE(f.bar->thumbRect().right(), f.bar->width() - 1);
    f.clock.advance(3 * OverlayScrollBar::lingerMs);
    EXPECT_TRUE(f.bar->isShowing());
    EXPECT_DOUBLE_EQ(f.bar->strength(), 1.0);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(f.bar, &leave);
    f.reduce = true;
    f.clock.advance(OverlayScrollBar::lingerMs);
    EXPECT_FALSE(f.bar->isShowing());
}
