#include <gtest/gtest.h>

#include "shelf/ShelfFixture.h"

using namespace tarnwick::test;

class ShelfControllerTest : public ShelfFixture {};

// A burst of keys searches once, for the last query; moving the selection and opening the actions
// row neither search nor fetch; saves refresh the lists once per turn, and not while closed.
TEST_F(ShelfControllerTest, SearchAndRebuildsAreCoalesced)
{
    addNote("alpha");
    addNote("beta");
    store->saveNow();
    shelf->present();
    const int builds = shelf->lensBuilds();
    for (const char* q : {"a", "al", "alp"}) state().setQuery(QString::fromLatin1(q));
    EXPECT_EQ(shelf->searchRuns(), 0);
    turn();
    EXPECT_EQ(shelf->searchRuns(), 1);
    EXPECT_EQ(state().searchRows().size(), 1);

    state().moveSelection(1);
    state().toggleActions();
    state().moveSelection(-1);
    turn();
    EXPECT_EQ(shelf->searchRuns(), 1);
    EXPECT_EQ(shelf->lensBuilds(), builds);

    addNote("alpine");
    store->saveNow();
    store->saveNow();
    turn();
    EXPECT_EQ(shelf->searchRuns(), 2);
    EXPECT_EQ(shelf->lensBuilds(), builds + 1);
    EXPECT_EQ(state().searchRows().size(), 2);

    shelf->dismiss();
    store->saveNow();
    turn();
    EXPECT_EQ(shelf->lensBuilds(), builds + 1);
}

// The actions row follows the selection and the state, and is one item under the selected row.
TEST_F(ShelfControllerTest, ActionsRowSitsUnderTheSelectedRowOnly)
{
    addNote("one");
    addNote("two", {}, 10);
    store->saveNow();
    shelf->present();
    state().toggleActions();
    EXPECT_EQ(shown(shelf->browseModel()), (QStringList{"H:Today", "N:one", "A", "N:two"}));
    state().moveSelection(1);  // closes it
    EXPECT_EQ(shown(shelf->browseModel()), (QStringList{"H:Today", "N:one", "N:two"}));
    state().toggleActions();
    shelf->escape();
    EXPECT_FALSE(state().showActions());
    EXPECT_TRUE(shelf->isOpen());
    shelf->escape();
    EXPECT_FALSE(shelf->isOpen());
}

// Focus: a loss within the grace is undone unless one of our windows took the keyboard; later it
// closes the shelf, and the tray click that caused it does not open it again. The tour comes first.
TEST_F(ShelfControllerTest, FocusGraceReopenGuardAndOnboardingGate)
{
    onboarded = false;
    shelf->statusItemClicked();
    EXPECT_EQ(onboardingShown, 1);
    EXPECT_FALSE(shelf->isOpen());
    onboarded = true;

    shelf->statusItemClicked();
    ASSERT_TRUE(shelf->isOpen());
    clock.advance(100);
    shelf->focusLost();
    turn();
    EXPECT_EQ(host.refocused, 1);
    EXPECT_TRUE(shelf->isOpen());

    // The window of ours it was opened over, told it has the keyboard back as the shelf's key is let
    // go: no move of the user's, so the shelf stays and takes the keyboard again.
    host.ours = true;
    host.openedOver = true;
    shelf->focusLost();
    turn();
    EXPECT_EQ(host.refocused, 2);
    EXPECT_TRUE(shelf->isOpen());

    host.openedOver = false;  // a note window we just opened
    shelf->focusLost();
    turn();
    EXPECT_EQ(host.refocused, 2);
    EXPECT_FALSE(shelf->isOpen());

    // The window it was opened over, opened from one of its rows: that took the keyboard on purpose.
    Note* note = addNote("Over");
    store->saveNow();
    shelf->present();
    turn();
    ASSERT_FALSE(shelf->searchState().rows().isEmpty());
    shelf->actions().commit();
    shelf->actions().commit();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.last(), note->uuid());
    host.openedOver = true;
    shelf->focusLost();
    turn();
    EXPECT_EQ(host.refocused, 2);
    EXPECT_FALSE(shelf->isOpen());

    // After the grace, going back to the window it was opened over closes it.
    host.openedOver = true;
    shelf->present();
    clock.advance(800);
    shelf->focusLost();
    turn();
    EXPECT_FALSE(shelf->isOpen());

    host.ours = host.openedOver = false;
    shelf->present();
    clock.advance(800);
    shelf->focusLost();
    turn();
    EXPECT_FALSE(shelf->isOpen());
    clock.advance(100);
    shelf->statusItemClicked();
    EXPECT_FALSE(shelf->isOpen());
    clock.advance(400);
    shelf->statusItemClicked();
    EXPECT_TRUE(shelf->isOpen());
    shelf->statusItemClicked();
    EXPECT_FALSE(shelf->isOpen());
    EXPECT_EQ(host.opened, host.closed);
}

// The tray icon is lit from the turn after the shelf opens, never inline, and goes dark at once on
// every way it closes. A close in the same turn as the opening (the click that shut it again) leaves
// it dark, and a controller gone before that turn lights nothing.
TEST_F(ShelfControllerTest, TrayIconIsLitOnlyWhileTheShelfStaysOpen)
{
    QList<bool> lit;
    QObject::connect(shelf.get(), &ShelfController::statusItemLitChanged, [&](bool on) { lit << on; });
    auto openLit = [&] {
        shelf->present();
        EXPECT_FALSE(shelf->statusItemLit());
        turn();
        EXPECT_TRUE(shelf->statusItemLit());
    };

    openLit();
    shelf->escape();
    EXPECT_FALSE(shelf->statusItemLit());
    EXPECT_EQ(lit, (QList<bool>{true, false}));

    shelf->statusItemClicked();
    shelf->statusItemClicked();
    turn();
    EXPECT_FALSE(shelf->statusItemLit());
    EXPECT_EQ(lit.size(), 2);

    openLit();
    shelf->statusItemClicked();
    EXPECT_FALSE(shelf->statusItemLit());

    openLit();
    clock.advance(800);
    shelf->focusLost();
    EXPECT_TRUE(shelf->statusItemLit());
    turn();
    EXPECT_FALSE(shelf->statusItemLit());

    // Opened again while open: the old panel's close darkens it, the new one lights it a turn later.
    openLit();
    shelf->present();
    EXPECT_FALSE(shelf->statusItemLit());
    turn();
    EXPECT_TRUE(shelf->statusItemLit());
    EXPECT_EQ(lit, (QList<bool>{true, false, true, false, true, false, true, false, true}));

    shelf->dismiss();
    shelf->present();
    shelf.reset();
    turn();
    EXPECT_EQ(lit.size(), 10);
}
