// The tour's window as the controller keeps it: one at a time, fresh at each showing, and finished
// only by its last button.
#include <gtest/gtest.h>

#include "onboarding/OnboardingController.h"
#include "onboarding/TourPlacement.h"
#include "platform/Settings.h"
#include "support/FakeClock.h"

namespace {

struct FakePanel : OnboardingPanel {
    QStringList* log;
    explicit FakePanel(QStringList* log) : log(log) {}
    void present() override { *log << "present"; }
    void bringToFront() override { *log << "front"; }
    void discard() override
    {
        *log << "discard";
        delete this;
    }
};

struct Tour {
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    FakeClock clock;
    QStringList log;
    bool shelfOpen = false;
    int quits = 0;
    OnboardingController controller{settings,
                                    clock,
                                    [this](OnboardingController&) {
                                        log << "build";
                                        return new FakePanel(&log);
                                    },
                                    {[this] { return shelfOpen; },
                                     [this] {
                                         log << "shelf";
                                         shelfOpen = true;
                                     },
                                     [this] { ++quits; }}};
};

TEST(OnboardingController, ShowsOneTourAtATimeAndRaisesTheOpenOne)
{
    Tour t;
    EXPECT_TRUE(t.controller.present());
    EXPECT_TRUE(t.controller.present());
    EXPECT_EQ(t.log, (QStringList{"build", "present", "front"}));
    EXPECT_TRUE(t.controller.isOpen());

    // Closed by the window manager: torn down uncompleted; the next showing is a new one.
    t.controller.panelClosed();
    EXPECT_FALSE(t.controller.isOpen());
    EXPECT_FALSE(t.settings.contains("onboarding.completed"));
    t.controller.present();
    EXPECT_EQ(t.log, (QStringList{"build", "present", "front", "discard", "build", "present"}));
    t.clock.advance(1000);
    EXPECT_FALSE(t.log.contains("shelf"));
}

TEST(OnboardingController, FinishWritesOnceAndOpensAClosedShelfAMomentLater)
{
    Tour t;
    t.controller.present();
    t.controller.finish();
    t.controller.finish();  // a second press of the last button in the same showing
    EXPECT_TRUE(t.settings.boolValue("onboarding.completed"));
    EXPECT_FALSE(t.controller.isOpen());
    EXPECT_EQ(t.log.count("discard"), 1);
    t.clock.advance(OnboardingController::kShelfDelayMs - 1);
    EXPECT_FALSE(t.log.contains("shelf"));
    t.clock.advance(1);
    EXPECT_EQ(t.log.count("shelf"), 1);

    // Replayed after completion, it starts afresh; finishing with the shelf already open leaves it be.
    t.settings.remove("onboarding.completed");
    t.controller.present();
    t.controller.finish();
    t.clock.advance(1000);
    EXPECT_EQ(t.log.count("shelf"), 1);
    EXPECT_EQ(t.log.count("build"), 2);
    EXPECT_TRUE(t.settings.boolValue("onboarding.completed"));
}

TEST(OnboardingController, PracticeWordsReachCaptureOnlyWhileTheTourIsOpen)
{
    Tour t;
    t.controller.practice().setSelectedText("these words");
    EXPECT_EQ(t.controller.practiceSelection(), std::nullopt);  // no tour on screen
    t.controller.present();
    EXPECT_EQ(t.controller.practiceSelection(), std::nullopt);  // each showing starts empty
    t.controller.practice().setSelectedText(" these words ");
    EXPECT_EQ(t.controller.practiceSelection(), "these words");
    t.controller.practice().setSelectedText("  ");
    EXPECT_EQ(t.controller.practiceSelection(), std::nullopt);
    t.controller.practice().setSelectedText("words");
    t.controller.panelClosed();
    EXPECT_EQ(t.controller.practice().selectedText(), "");
}

TEST(OnboardingController, CtrlQAloneIsTheQuitChord)
{
    EXPECT_TRUE(OnboardingController::isQuitChord(Qt::Key_Q, Qt::ControlModifier));
    EXPECT_FALSE(OnboardingController::isQuitChord(Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_FALSE(OnboardingController::isQuitChord(Qt::Key_Q, Qt::NoModifier));
    EXPECT_FALSE(OnboardingController::isQuitChord(Qt::Key_W, Qt::ControlModifier));
    EXPECT_FALSE(OnboardingController::isQuitChord(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier));
    Tour t;
    t.controller.present();
    t.controller.quit();
    EXPECT_EQ(t.quits, 1);
    EXPECT_FALSE(t.settings.contains("onboarding.completed"));
}

}  // namespace

// Where the tour stands: centred unless the new note or the shelf would cover it, then moved away from
// them just far enough; on a screen too small for that, as little of it covered as the room allows.
TEST(TourPlacement, StandsClearOfTheNoteAndShelfWhereTheScreenHasRoom)
{
    using TourPlacement::topLeft;
    const QSize tour(520, 400);
    const QRect screen(0, 0, 1280, 800);
    // A new note 60 in from the right and 80 down, the shelf under a tray icon at the top right.
    const QRect note(860, 80, 360, 280), shelf(892, 29, 380, 500);

    EXPECT_EQ(topLeft(screen, tour, {}), QPoint(380, 200));
    const QPoint moved = topLeft(screen, tour, {note, shelf});
    EXPECT_EQ(moved.y(), 200) << "only sideways";
    const QRect placed(moved, tour);
    for (const QRect& other : {note, shelf})
        EXPECT_FALSE(placed.adjusted(-TourPlacement::kGap, 0, TourPlacement::kGap, 0).intersects(other))
            << "covered by " << other.x() << "," << other.y();
    EXPECT_EQ(placed.right() + 1 + TourPlacement::kGap, note.left()) << "moved further than it needed";

    // Windows that leave the centred tour alone, or that are empty, do not move it.
    EXPECT_EQ(topLeft(screen, tour, {QRect(1000, 30, 200, 100), QRect()}), QPoint(380, 200));
    // A tray at the top left: the tour moves right, away from the shelf there.
    EXPECT_GT(topLeft(screen, tour, {QRect(8, 29, 380, 500)}).x(), 380);
    // A second screen to the right: the same rule in its own coordinates.
    EXPECT_EQ(topLeft(screen.translated(1280, 0), tour, {note.translated(1280, 0)}), moved + QPoint(1280, 0));

    // 1024 x 600 still has room; 800 x 600 has none: the tour keeps to the margin, less covered than
    // centred.
    EXPECT_EQ(topLeft(QRect(0, 0, 1024, 600), tour, {QRect(604, 80, 360, 280)}), QPoint(68, 100));
    const QRect small(0, 0, 800, 600);
    const QRect smallNote(380, 80, 360, 280);
    const QPoint squeezed = topLeft(small, tour, {smallNote});
    EXPECT_EQ(squeezed, QPoint(TourPlacement::kMargin, 100));
    // Narrower than the tour itself: centred, never pushed off the left edge.
    EXPECT_EQ(topLeft(QRect(0, 0, 500, 500), tour, {QRect(0, 0, 500, 100)}), QPoint(-10, 50));
}
