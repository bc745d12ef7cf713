// The practice capture from the capture hot key to the tour's capture page, over a real store.
#include <gtest/gtest.h>

#include "app/CaptureActions.h"
#include "capture/CaptureCapsuleController.h"
#include "model/Capture.h"
#include "model/NoteNotifications.h"
#include "onboarding/OnboardingController.h"
#include "onboarding/OnboardingFlowModel.h"
#include "support/FakeSelectionReader.h"
#include "support/NoteStoreFixture.h"

namespace {

using Screen = OnboardingFlowModel::Screen;

struct NoPanel : OnboardingPanel {
    void present() override {}
    void bringToFront() override {}
    void discard() override { delete this; }
};

class PracticeCaptureTest : public tarnwick::test::NoteStoreTestBase {
protected:
    PracticeCaptureTest()
    {
        service.setSelectionProvider([this]() -> CaptureService::SelectionRead {
            ++selectionReads;
            return CaptureContext{"outside words", "Probe Notes", "xmessage", {}, {}};
        });
        CaptureActions::Hooks hooks;
        hooks.practiceSelection = [this] { return controller.practiceSelection().value_or(QString()); };
        actions = std::make_unique<CaptureActions>(*store, service, capsule, settings, hooks);
    }
    QStringList capturedTexts()
    {
        QStringList texts;
        for (const Capture* c : store->captures()) texts << c->text();
        return texts;
    }

    FakeSelectionReader reader;
    CaptureService service{*store, [](const QUuid&) { return false; }, settings, clock, reader};
    CaptureCapsuleController capsule{clock, {}, [] { return false; }};
    OnboardingController controller{settings, clock, [](OnboardingController&) { return new NoPanel; }, {}};
    std::unique_ptr<CaptureActions> actions;
    int selectionReads = 0;
};

TEST_F(PracticeCaptureTest, SuperHeldStillFilesAPlainCaptureAndEarnsTheCapturePage)
{
    controller.present();
    OnboardingFlowModel flow(NotificationCenter::shared(), settings, controller.practice(), true);
    while (flow.screen() != Screen::capture) flow.advance();
    controller.practice().setSelectedText("these words");
    const int notesBefore = int(store->allActive().size());

    actions->dispatch(HotkeyManager::Action::capture, HotkeyManager::kCommand | HotkeyManager::kOption);
    EXPECT_EQ(capturedTexts(), QStringList{"these words"});
    const Capture* stored = store->captures().value(0);
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->sourceApp());
    EXPECT_FALSE(stored->sourceBundleID());
    EXPECT_EQ(int(store->allActive().size()), notesBefore);
    EXPECT_EQ(selectionReads, 0) << "the other application's selection is not read";
    EXPECT_TRUE(flow.isEarned(Screen::capture));
    EXPECT_EQ(capsule.model().message(), "Text captured");
}

TEST_F(PracticeCaptureTest, WordsLeftBehindNeverReachALaterCapture)
{
    // Selected on the capture page, then skipped: the next capture reads the other application.
    controller.present();
    OnboardingFlowModel flow(NotificationCenter::shared(), settings, controller.practice(), true);
    while (flow.screen() != Screen::capture) flow.advance();
    controller.practice().setSelectedText("these words");
    flow.advance();
    actions->dispatch(HotkeyManager::Action::capture, HotkeyManager::kOption);
    EXPECT_EQ(capturedTexts(), QStringList{"outside words"});

    // With the tour closed, even words still held are not offered.
    controller.practice().setSelectedText("stale words");
    controller.panelClosed();
    controller.practice().setSelectedText("stale words");
    actions->dispatch(HotkeyManager::Action::capture, HotkeyManager::kOption);
    EXPECT_FALSE(capturedTexts().contains("stale words"));
    EXPECT_EQ(selectionReads, 2);
}

}  // namespace
