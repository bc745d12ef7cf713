// The tour's window as the controller keeps it: one at a time, fresh at each showing, and finished
// only by its last button.
#include <gtest/gtest.h>

#include "onboarding/OnboardingController.h"
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
