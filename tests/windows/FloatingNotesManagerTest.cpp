#include <gtest/gtest.h>

#include <QCoreApplication>
#include <functional>

#include "model/Note.h"
#include "support/NoteStoreFixture.h"
#include "windows/FloatingNotesManager.h"

namespace {

using tarnwick::test::NoteStoreTestBase;

struct FakeWindow : NoteWindow {
    QUuid id;
    FloatingNotesManager* manager = nullptr;
    bool visible = false;
    bool rolled = false;
    int shows = 0;
    QList<std::pair<QUuid, int>> presented;
    QList<bool> presentedRolled;
    QRectF rect{100, 100, 360, 280};
    std::optional<QRectF> expanded;
    std::shared_ptr<int> retired;

    QUuid noteID() const override { return id; }
    void setManager(FloatingNotesManager* m) override { manager = m; }
    void show() override
    {
        visible = true;
        ++shows;
    }
    void present(const QUuid& to, int direction, bool) override
    {
        if (to == id) return;
        id = to;
        presented.append({to, direction});
        presentedRolled.append(rolled);
    }
    void unroll() override { rolled = false; }
    void orderOut() override { visible = false; }
    void applyOpacity(double) override {}
    QRectF frame() const override { return rect; }
    QRectF restingFrame() const override { return expanded.value_or(rect); }
    // What a screen change does to the window's size, and whether its move animates: an animated move
    // lands when the test says so.
    std::optional<QRectF> fitsTo;
    bool animates = false;
    std::function<void()> landing;
    bool fitToScreen() override
    {
        if (!fitsTo || *fitsTo == rect) return false;
        rect = *fitsTo;
        return true;
    }
    void moveForRescue(const QRectF& to, std::function<void()> landed) override
    {
        if (expanded) expanded->moveTopLeft(to.topLeft());
        if (!animates) {
            rect = to;
            landed();
            return;
        }
        landing = [this, to, landed] {
            rect = to;
            landed();
        };
    }
    void retire() override
    {
        ++*retired;
        delete this;
    }
};

class FloatingNotesManagerTest : public NoteStoreTestBase {
protected:
    FloatingNotesManagerTest()
    {
        manager = std::make_unique<FloatingNotesManager>(*store, settings, [this](Note& note) {
            auto window = std::make_unique<FakeWindow>();
            window->id = note.uuid();
            window->retired = retired;
            return std::unique_ptr<NoteWindow>(std::move(window));
        });
        manager->setEmptyNoteToast([this](const QString& name, std::function<void()> undo) {
            toasts << name;
            lastUndo = std::move(undo);
        });
        manager->setScreenSource(
            {[this] { return screens; }, [this] { return std::optional<QRectF>(screens.value(0)); }});
    }
    QUuid saved(const QString& title)
    {
        Note* note = addNote(title, title.isEmpty() ? QString() : QStringLiteral("body"));
        store->saveNow();
        return note->uuid();
    }
    FakeWindow* window(const QUuid& id) { return static_cast<FakeWindow*>(manager->controller(id)); }
    // Opens each note in turn (one window in deck mode) and leaves the window on `at`.
    void openAll(const QList<QUuid>& ids, const QUuid& at)
    {
        for (const QUuid& id : ids) manager->show(id);
        manager->show(at);
    }
    void bin(const QUuid& id) { store->softDelete(*store->note(id)); }

    std::shared_ptr<int> retired = std::make_shared<int>(0);
    QStringList toasts;
    std::function<void()> lastUndo;
    QList<QRectF> screens{QRectF(0, 0, 1280, 800)};
    std::unique_ptr<FloatingNotesManager> manager;
};

TEST_F(FloatingNotesManagerTest, ShowOpensReusesAndSlidesOneWindowInDeckMode)
{
    const QUuid a = saved("A"), b = saved("B"), gone = QUuid::createUuid(), binned = saved("Binned");
    bin(binned);
    EXPECT_EQ(manager->show(gone), nullptr);
    EXPECT_EQ(manager->show(binned), nullptr);
    EXPECT_TRUE(manager->openStack().isEmpty());

    // Anything but a stored bool leaves deck mode on.
    settings.setValue("notes.oneAtATime", QStringLiteral("no"));
    NoteWindow* first = manager->show(a);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(manager->show(a), first);
    EXPECT_EQ(window(a)->shows, 2);
    EXPECT_EQ(manager->openStack(), QList<QUuid>({a}));

    EXPECT_EQ(manager->show(b), first);
    EXPECT_EQ(manager->controllerIDs(), QList<QUuid>({b}));
    EXPECT_EQ(window(b)->presented, (QList<std::pair<QUuid, int>>{{b, 1}}));
    EXPECT_EQ(store->activeNoteID(), b);
    EXPECT_EQ(manager->openStack(), QList<QUuid>({a, b}));

    settings.setValue("notes.oneAtATime", false);
    manager->show(a);
    EXPECT_EQ(manager->controllerIDs().size(), 2);
}

// A note opened into the deck window is there to be read and typed in: a window rolled up on another
// note opens out before it takes it. Shown again on its own note, or stepped on by key, close or
// deletion, the window stays rolled.
TEST_F(FloatingNotesManagerTest, ANoteOpenedIntoARolledDeckWindowIsShownWhole)
{
    const QUuid a = saved("A"), b = saved("B"), c = saved("C");
    openAll({a, b}, a);
    FakeWindow* deck = window(a);
    deck->rolled = true;
    deck->presentedRolled.clear();
    manager->show(a);
    EXPECT_TRUE(deck->rolled);
    manager->commitSwipe(*deck, 1, false);
    manager->closeNote(b);
    EXPECT_EQ(deck->id, a);
    EXPECT_EQ(deck->presentedRolled, QList<bool>({true, true}));

    manager->show(c);
    EXPECT_EQ(deck->id, c);
    EXPECT_FALSE(deck->rolled);
    EXPECT_EQ(deck->presentedRolled.last(), false);
}

TEST_F(FloatingNotesManagerTest, CloseNoteStepsToANeighbourOrCloses)
{
    const QUuid a = saved("A"), b = saved("B"), c = saved("C");
    // On the first note the window goes forward; later ones go back; the last one closes it.
    openAll({a, b, c}, a);
    manager->closeNote(a);
    EXPECT_EQ(manager->controllerIDs(), QList<QUuid>({b}));
    EXPECT_EQ(window(b)->presented.last(), std::make_pair(b, 1));
    EXPECT_EQ(manager->openStack(), QList<QUuid>({b, c}));
    manager->show(c);
    manager->closeNote(c);
    EXPECT_EQ(window(b)->presented.last(), std::make_pair(b, -1));
    manager->closeNote(b);
    EXPECT_TRUE(manager->controllerIDs().isEmpty());
    EXPECT_EQ(*retired, 1);

    // Outside deck mode only that window closes.
    settings.setValue("notes.oneAtATime", false);
    manager->show(a);
    manager->show(b);
    manager->closeNote(a);
    EXPECT_EQ(manager->controllerIDs(), QList<QUuid>({b}));
}

TEST_F(FloatingNotesManagerTest, DeletionMovesToTheNearestReachableNoteOrCloses)
{
    const QUuid a = saved("A"), b = saved("B"), c = saved("C"), d = saved("D");
    openAll({a, b, c, d}, c);
    bin(b);
    bin(c);
    manager->noteWasDeleted(c);
    EXPECT_EQ(manager->controllerIDs(), QList<QUuid>({a}));
    EXPECT_EQ(window(a)->presented.last(), std::make_pair(a, -1));
    EXPECT_EQ(manager->openStack().size(), 4);  // the binned note stays on the stack

    bin(a);
    manager->noteWasDeleted(a);
    EXPECT_EQ(window(d)->presented.last(), std::make_pair(d, 1));
    bin(d);
    manager->noteWasDeleted(d);
    EXPECT_TRUE(manager->controllerIDs().isEmpty());
    manager->noteWasDeleted(d);  // no window: nothing
}

TEST_F(FloatingNotesManagerTest, MovesNeverStackTwoWindowsOnOneNoteAndCarryHiddenState)
{
    const QUuid a = saved("A"), b = saved("B"), c = saved("C");
    settings.setValue("notes.oneAtATime", false);
    manager->show(a);
    manager->show(b);
    settings.setValue("notes.oneAtATime", true);

    // B has its own window: closing A's note closes A's window and brings B forward.
    const int bShows = window(b)->shows;
    manager->closeNote(a);
    EXPECT_EQ(manager->controllerIDs(), QList<QUuid>({b}));
    EXPECT_EQ(window(b)->shows, bShows + 1);
    EXPECT_TRUE(window(b)->presented.isEmpty());

    // The same for a deletion.
    settings.setValue("notes.oneAtATime", false);
    manager->show(c);
    settings.setValue("notes.oneAtATime", true);
    bin(c);
    manager->noteWasDeleted(c);
    EXPECT_EQ(manager->controllerIDs(), QList<QUuid>({b}));

    // The swipe step onto a note with its own window brings that one forward and keeps this one.
    settings.setValue("notes.oneAtATime", false);
    manager->show(a);
    FakeWindow* onA = window(a);
    manager->moveToNote(b, *onA, 1);
    EXPECT_EQ(onA->noteID(), a);
    EXPECT_EQ(manager->controllerIDs().size(), 2);

    // A hidden window moved by a deletion stays hidden and returns with the others.
    manager->closePanel(b);
    const QUuid d = saved("D");
    manager->show(d);
    settings.setValue("notes.oneAtATime", true);
    manager->hideAll();
    bin(a);
    manager->noteWasDeleted(a);
    ASSERT_NE(window(b), nullptr);  // the window on A moved back to B
    EXPECT_TRUE(manager->hiddenIDs().contains(b));
    EXPECT_FALSE(manager->openNoteIDs().contains(b));
    EXPECT_FALSE(window(b)->visible);
    manager->restoreAll();
    EXPECT_TRUE(window(b)->visible);
    EXPECT_TRUE(window(d)->visible);
}

TEST_F(FloatingNotesManagerTest, ShowAfterHideAllShowsOnlyThatNote)
{
    const QUuid a = saved("A"), b = saved("B");
    settings.setValue("notes.oneAtATime", false);
    manager->show(a);
    manager->hideAll();
    EXPECT_TRUE(manager->isHidden());
    EXPECT_TRUE(manager->openNoteIDs().isEmpty());
    manager->show(b);
    EXPECT_FALSE(manager->isHidden());
    EXPECT_TRUE(manager->hiddenIDs().isEmpty());
    EXPECT_FALSE(window(a)->visible);
    EXPECT_EQ(manager->openNoteIDs().size(), 2);
}

TEST_F(FloatingNotesManagerTest, EmptyNoteLeftBySwipeIsBinnedWithUndoButNotByOtherMoves)
{
    const QUuid a = saved("A"), empty = saved(""), b = saved("B");
    openAll({a, empty, b}, empty);
    FakeWindow* w = window(empty);
    manager->commitSwipe(*w, 1, false);
    EXPECT_EQ(w->noteID(), b);
    EXPECT_TRUE(store->note(empty)->isTrashed());
    EXPECT_EQ(manager->openStack(), QList<QUuid>({a, b}));
    EXPECT_EQ(toasts, QStringList({"Empty note"}));

    lastUndo();
    EXPECT_FALSE(store->note(empty)->isTrashed());
    EXPECT_EQ(manager->openStack(), QList<QUuid>({a, empty, b}));
    EXPECT_EQ(w->noteID(), b);

    // The keyboard step stops at the ends; show(), Ctrl+W and deletions leave empty notes alone.
    manager->commitSwipe(*w, 1, false);
    EXPECT_EQ(w->noteID(), b);
    manager->show(empty);
    manager->show(a);
    EXPECT_FALSE(store->note(empty)->isTrashed());

    // A locked note is never binned this way.
    Note* locked = store->note(empty);
    seal(*locked);
    store->saveNow();
    manager->show(empty);
    manager->commitSwipe(*window(empty), -1, false);
    EXPECT_FALSE(store->note(empty)->isTrashed());
}

TEST_F(FloatingNotesManagerTest, NewNoteFromTheSwipeJoinsTheDeck)
{
    const QUuid a = saved("A");
    settings.setValue("notes.defaultThemeID", QStringLiteral("rose"));
    FakeWindow* w = static_cast<FakeWindow*>(manager->show(a));
    manager->commitNewNote(*w);
    const QUuid made = w->noteID();
    ASSERT_NE(made, a);
    EXPECT_EQ(store->note(made)->tint(), Tint::rose);
    EXPECT_EQ(manager->deck(), QList<QUuid>({a, made}));
    EXPECT_EQ(store->activeNoteID(), made);
}

TEST_F(FloatingNotesManagerTest, DeckSkipsMissingAndBinnedAndReadsTheNewestDuplicate)
{
    const QUuid a = saved("A"), b = saved("B");
    openAll({a, b}, a);
    EXPECT_EQ(manager->deck(), QList<QUuid>({a, b}));
    // An older duplicate row of B that is in the bin does not hide the live one; a newer binned one does.
    Note* older = addDuplicate(*store->note(b), 3600);
    older->setIsTrashed(true);
    store->saveNow();
    EXPECT_EQ(manager->deck(), QList<QUuid>({a, b}));
    bin(b);
    EXPECT_EQ(manager->deck(), QList<QUuid>({a}));
}

TEST_F(FloatingNotesManagerTest, RescueMovesStrandedWindowsAndTheirUnrolledFrame)
{
    const QUuid a = saved("A"), b = saved("B");
    settings.setValue("notes.oneAtATime", false);
    manager->show(a);
    manager->show(b);
    window(a)->rect = QRectF(3000, 300, 360, 82);  // rolled, on a screen that went away
    window(a)->expanded = QRectF(3000, 300, 360, 280);
    window(b)->rect = QRectF(1200, 300, 360, 280);  // its strip still overlaps by 80 points

    manager->rescueStrandedPanels();
    EXPECT_EQ(window(a)->rect, QRectF(904, 300, 360, 82));
    EXPECT_EQ(store->note(a)->frameOnDesktop(), QRectF(904, 300, 360, 280));
    EXPECT_EQ(window(b)->rect, QRectF(1200, 300, 360, 280));
    EXPECT_FALSE(store->note(b)->frameOnDesktop().has_value());

    screens.clear();
    window(a)->rect = QRectF(5000, 0, 360, 280);
    manager->rescueStrandedPanels();
    EXPECT_EQ(window(a)->rect.x(), 5000);

    // Screen changes within one turn of the event loop make one rescue.
    int reads = 0;
    manager->setScreenSource({[&] {
                                  ++reads;
                                  return QList<QRectF>{QRectF(0, 0, 1280, 800)};
                              },
                              [] { return std::optional<QRectF>(QRectF(0, 0, 1280, 800)); }});
    for (int i = 0; i < 3; ++i) manager->scheduleRescue();
    EXPECT_EQ(reads, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(window(a)->rect.x(), 904);
}

TEST_F(FloatingNotesManagerTest, ScreenChangeStoresTheFrameAWindowEndsAtWithOneSave)
{
    const QUuid a = saved("A"), b = saved("B"), c = saved("C");
    settings.setValue("notes.oneAtATime", false);
    for (const QUuid& id : {a, b, c}) manager->show(id);
    screens = {QRectF(0, 0, 800, 600)};
    // Stranded by the shrink and nudged by the window manager; its move animates.
    window(a)->rect = QRectF(764, 80, 360, 280);
    window(a)->animates = true;
    // Zoomed on the larger screen: comes within this one's limits and stays reachable.
    window(b)->rect = QRectF(102, 64, 1177, 736);
    window(b)->fitsTo = QRectF(64, 48, 736, 552);
    // Stranded, fitted to the screen's limits and then rescued: one save of the rescued frame.
    window(c)->rect = QRectF(900, 100, 1000, 700);
    window(c)->fitsTo = QRectF(900, 100, 736, 552);

    const qint64 before = store->revision();
    manager->rescueStrandedPanels();
    EXPECT_EQ(store->revision(), before + 2);
    EXPECT_EQ(store->note(b)->frameOnDesktop(), QRectF(64, 48, 736, 552));
    EXPECT_EQ(store->note(c)->frameOnDesktop(), QRectF(48, 32, 736, 552));
    EXPECT_FALSE(store->note(a)->frameOnDesktop().has_value());

    // The animated window lands after it was moved to another note: that note keeps the frame.
    const QUuid d = saved("D");
    manager->moveToNote(d, *window(a), 1);
    ASSERT_TRUE(window(d));
    const qint64 moved = store->revision();
    window(d)->landing();
    EXPECT_EQ(store->note(d)->frameOnDesktop(), QRectF(424, 80, 360, 280));
    EXPECT_EQ(store->revision(), moved + 1);
}

}  // namespace
