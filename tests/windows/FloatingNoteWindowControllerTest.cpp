#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QMoveEvent>
#include <QScreen>

#include "model/NoteNotifications.h"
#include "platform/NotificationCenter.h"
#include "support/NoteStoreFixture.h"
#include "windows/FloatingNotePanel.h"
#include "windows/FloatingNoteWindowController.h"
#include "windows/FloatingNotesManager.h"

namespace {

using tarnwick::test::NoteStoreTestBase;

QString objectOf(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

class FloatingNoteWindowControllerTest : public NoteStoreTestBase {
protected:
    FloatingNoteWindowControllerTest()
    {
        a = addNote("Alpha", "a");
        b = addNote("Beta", "b");
        a->setFrameOnDesktop(QRectF(100, 120, 500, 500));
        store->saveNow();
        window = std::make_unique<FloatingNoteWindowController>(*a, *store, settings, clock);
        window->setAnimationsEnabled(false);
        window->setCursorSource([this] { return cursor; });
    }
    void post(const QString& name, const QString& object, const QVariantMap& info = {})
    {
        NotificationCenter::shared().post(name, object, info);
    }
    QVariantMap step(const QVariant& dx, const QVariant& dy, const QVariant& ended)
    {
        return {{"dx", dx}, {"dy", dy}, {"ended", ended}};
    }

    Note* a;
    Note* b;
    QPointF cursor{300, 300};
    std::unique_ptr<FloatingNoteWindowController> window;
};

TEST_F(FloatingNoteWindowControllerTest, OpensAtTheSavedCornerWithTheSharedSize)
{
    EXPECT_EQ(window->frame(), QRectF(100, 120, 360, 280));
    EXPECT_EQ(a->frameOnDesktop(), QRectF(100, 120, 360, 280));
    EXPECT_EQ(window->panel()->windowTitle(), "Alpha");
    a->setTitle("Renamed");
    EXPECT_EQ(window->panel()->windowTitle(), "Renamed");
    a->setIsLocked(true);
    EXPECT_EQ(window->panel()->windowTitle(), a->lockedTitle());
}

TEST_F(FloatingNoteWindowControllerTest, ObserversActOnlyForTheNoteShownNowAndIgnoreMalformedInfo)
{
    const QRectF start = window->frame();
    post(tarnwickToggleRollUp, objectOf(b->uuid()));
    post(tarnwickToggleRollUp, QStringLiteral("not a uuid"));
    post(tarnwickToggleRollUp, QString());
    EXPECT_FALSE(window->isRolled());
    for (const QVariantMap& bad : {step("10", 0.0, false), step(10.0, 0.0, 1), step(qQNaN(), 0.0, false),
                                   QVariantMap{{"dx", 10.0}, {"ended", false}}}) {
        post(tarnwickResizeDrag, objectOf(a->uuid()), bad);
        post(tarnwickDragNote, objectOf(a->uuid()), bad);
    }
    EXPECT_EQ(window->frame(), start);

    // Lower case names the same note.
    post(tarnwickToggleRollUp, a->uuid().toString(QUuid::WithoutBraces));
    EXPECT_TRUE(window->isRolled());
    post(tarnwickToggleRollUp, objectOf(a->uuid()));

    // After the window moved to another note, the old note's requests are not for it.
    window->present(b->uuid(), 1, false);
    post(tarnwickToggleZoom, objectOf(a->uuid()));
    EXPECT_EQ(window->frame(), start);
    post(tarnwickResizeDrag, objectOf(b->uuid()), step(40.0, 20.0, false));
    EXPECT_EQ(window->frame().size(), QSizeF(400, 300));
}

TEST_F(FloatingNoteWindowControllerTest, RollZoomGripAndDragKeepTheCornerAndSaveOnce)
{
    const QRectF start = window->frame();
    window->toggleRollUp();
    EXPECT_EQ(window->frame(), QRectF(100, 120, 360, 82));
    EXPECT_TRUE(window->deckModel().isRolled());
    // A screen change keeps the rolled height.
    window->applySizeBounds();
    EXPECT_EQ(window->frame().height(), 82);
    // Zooming a rolled window unrolls it first, then zooms from the real frame (kept on the screen).
    window->toggleZoom();
    EXPECT_FALSE(window->isRolled());
    EXPECT_EQ(window->frame().size(), window->clampedMaxSize().toSize());
    window->toggleZoom();
    EXPECT_EQ(window->frame(), start);
    // Opened out for another note: the frame before the roll-up, and nothing saved on the way.
    window->toggleRollUp();
    const qint64 rolledAt = store->revision();
    window->unroll();
    EXPECT_FALSE(window->isRolled());
    EXPECT_FALSE(window->deckModel().isRolled());
    EXPECT_EQ(window->frame(), start);
    EXPECT_EQ(store->revision(), rolledAt);

    // The grip stops at the minimum; the shared size is written when the drag ends.
    window->handleResizeDrag(-150, 0, false);
    EXPECT_EQ(window->frame().width(), 260);
    EXPECT_FALSE(settings.contains("notes.windowWidth"));
    window->handleResizeDrag(0, 0, true);
    EXPECT_EQ(settings.doubleValue("notes.windowWidth"), 260);

    // The strip drag follows the pointer and saves once, when it ends.
    const qint64 revision = store->revision();
    window->dragStep(0, 0, false);
    cursor += QPointF(30, 40);
    window->dragStep(30, 40, false);
    EXPECT_EQ(window->frame().topLeft(), QPointF(130, 160));
    EXPECT_EQ(store->revision(), revision);
    window->dragStep(30, 40, true);
    EXPECT_EQ(store->revision(), revision + 1);
    EXPECT_EQ(a->frameOnDesktop()->topLeft(), QPointF(130, 160));

    // Opacity: clamped, non-finite ignored.
    window->applyOpacity(1.4);
    EXPECT_EQ(window->deckModel().opacity(), 1.0);
    window->applyOpacity(-0.2);
    window->applyOpacity(qQNaN());
    EXPECT_EQ(window->deckModel().opacity(), 0.0);
}

TEST_F(FloatingNoteWindowControllerTest, ZoomedOnALargerScreenFitsThisOneAndStillZoomsBack)
{
    const QRectF start = window->frame();
    window->toggleZoom();
    // As it stood zoomed on a larger screen, under that screen's limits.
    window->panel()->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->panel()->setGeometry(102, 64, 1177, 736);
    const qint64 revision = store->revision();
    EXPECT_TRUE(window->fitToScreen());
    EXPECT_EQ(window->frame().size(), window->clampedMaxSize());
    EXPECT_TRUE(QRectF(window->panel()->screen()->availableGeometry()).contains(window->frame()));
    EXPECT_EQ(store->revision(), revision);  // the caller saves
    EXPECT_FALSE(window->fitToScreen());
    window->toggleZoom();
    EXPECT_EQ(window->frame(), start);

    // A rescue's move says when it has landed, at the frame asked for.
    int landed = 0;
    window->moveForRescue(QRectF(40, 30, 360, 280), [&] { ++landed; });
    EXPECT_EQ(landed, 1);
    EXPECT_EQ(window->frame(), QRectF(40, 30, 360, 280));
}

// The screen shrinks under a window: the window manager nudges it before the rescue has run, and the
// rescue then brings it in. The store takes only where it lands, with one save, and the note's popover
// closes rather than stay where the old screen was. A move the window manager makes with no rescue
// under way is saved at once, and one the rescue leaves where it is is saved by the rescue.
TEST_F(FloatingNoteWindowControllerTest, ARescuedWindowIsSavedOnceWhereItLands)
{
    window.reset();
    FloatingNotesManager manager(*store, settings, [this](Note& note) {
        auto made = std::make_unique<FloatingNoteWindowController>(note, *store, settings, clock);
        made->setAnimationsEnabled(false);
        return std::unique_ptr<NoteWindow>(std::move(made));
    });
    manager.setScreenSource({[] { return QList<QRectF>{QRectF(0, 0, 800, 600)}; },
                             [] { return std::optional<QRectF>(QRectF(0, 0, 800, 600)); }});
    auto* shown = static_cast<FloatingNoteWindowController*>(manager.show(a->uuid()));
    ASSERT_TRUE(shown);
    QCoreApplication::processEvents();
    FloatingNotePanel* panel = shown->panel();
    const auto nudge = [&](const QPoint& to) {
        const QPoint from = panel->pos();
        panel->move(to);
        QMoveEvent moved(to, from);
        QApplication::sendEvent(panel, &moved);
    };
    auto* popover = new QFrame(shown->deckView(), Qt::Popup);
    popover->resize(200, 100);
    popover->show();
    ASSERT_EQ(QApplication::activePopupWidget(), popover);

    const QRectF before = *a->frameOnDesktop();
    const qint64 revision = store->revision();
    manager.scheduleRescue();
    nudge(QPoint(764, 80));
    EXPECT_EQ(a->frameOnDesktop(), before) << "the nudge was saved";
    EXPECT_EQ(store->revision(), revision);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown->frame(), QRectF(424, 80, 360, 280));
    EXPECT_EQ(a->frameOnDesktop(), QRectF(424, 80, 360, 280));
    EXPECT_EQ(store->revision(), revision + 1);
    EXPECT_FALSE(popover->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    nudge(QPoint(300, 200));
    EXPECT_EQ(a->frameOnDesktop(), QRectF(300, 200, 360, 280));
    manager.scheduleRescue();
    nudge(QPoint(200, 90));
    const qint64 nudged = store->revision();
    QCoreApplication::processEvents();
    EXPECT_EQ(a->frameOnDesktop(), QRectF(200, 90, 360, 280));
    EXPECT_EQ(store->revision(), nudged + 1);
}

TEST_F(FloatingNoteWindowControllerTest, PresentSlidesFromTheSideAndForgetsADragUnderWay)
{
    window->dragStep(0, 0, false);
    window->present(b->uuid(), -1, false);
    EXPECT_EQ(window->deckModel().note(), b);
    EXPECT_EQ(window->deckModel().slideDirection(), -1);
    // A drag that began on the other note starts afresh from where the window is now.
    cursor = QPointF(500, 500);
    window->dragStep(0, 0, true);
    EXPECT_EQ(window->frame().topLeft(), QPointF(100, 120));

    window->present(b->uuid(), 1, false);
    window->present(QUuid::createUuid(), 1, false);
    EXPECT_EQ(window->noteID(), b->uuid());
}

}  // namespace

namespace {

TEST_F(FloatingNoteWindowControllerTest, DeckViewPlacesTheCardsOneWidthApart)
{
    window->show();
    DeckRootView* view = window->deckView();
    DeckModel& model = window->deckModel();
    model.setDragOffset(0);
    EXPECT_FALSE(view->peekCard()->isVisibleTo(view));
    EXPECT_EQ(view->currentCard()->geometry(), QRect(0, 0, 360, 280));

    model.setPeekNote(b);
    model.setPeekIsTrailing(true);
    model.setDragOffset(-90);
    EXPECT_EQ(view->currentCard()->x(), -90);
    EXPECT_EQ(view->peekCard()->x(), 270);
    model.setPeekIsTrailing(false);
    model.setDragOffset(40);
    EXPECT_EQ(view->peekCard()->x(), -320);

    // The sheet shows past the last note only; a peek note wins over it.
    model.setPeekIsNewNote(true);
    EXPECT_FALSE(view->showsNewNoteSheet());
    model.setPeekNote(nullptr);
    model.setDragOffset(-100);
    EXPECT_TRUE(view->showsNewNoteSheet());
    EXPECT_EQ(view->newNoteSheetRect(), QRect(260, 0, 360, 280));
    EXPECT_FALSE(view->peekCard()->isVisibleTo(view));
}

}  // namespace
