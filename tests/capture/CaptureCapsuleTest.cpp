// The capsule's timing and keys on a fake clock, and its chrome as laid out.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>

#include "capture/CaptureCapsuleChrome.h"
#include "capture/CaptureCapsuleController.h"
#include "capture/CaptureCapsuleView.h"
#include "design/MiddleElidedLabel.h"
#include "support/FakeClock.h"

namespace {

using Kind = CaptureCapsuleController::Kind;

// Records what the controller asks of its window; fades end when the test says so.
struct FakeSurface : CaptureCapsuleController::Surface {
    void present(bool) override { ++presents, visible = true; }
    void fadeOut(bool, std::function<void()> done) override { fades.push_back(std::move(done)); }
    void orderOut() override { visible = false; }
    void setKeyMonitor(bool on) override { monitor = on; }
    int presents = 0;
    bool visible = false, monitor = false;
    std::vector<std::function<void()>> fades;
};

class CaptureCapsuleTest : public ::testing::Test {
protected:
    FakeClock clock;
    CaptureCapsuleController capsule{clock,
                                     [this](CaptureCapsuleController&) {
                                         auto s = std::make_unique<FakeSurface>();
                                         surface = s.get();
                                         return s;
                                     },
                                     [] { return false; }};
    FakeSurface* surface = nullptr;
    int undos = 0, opens = 0;
    void showCaptured(bool withOpen = true)
    {
        capsule.show(
            Kind::capturedText(), [this] { ++undos; },
            withOpen ? std::function<void()>([this] { ++opens; }) : std::function<void()>());
    }
};

TEST_F(CaptureCapsuleTest, EachKindFillsTheModel)
{
    auto& m = capsule.model();
    capsule.show(Kind::deletedItem("Empty note"), [] {});
    EXPECT_EQ(m.message(), "Empty note deleted");
    EXPECT_TRUE(m.showsUndo());
    EXPECT_FALSE(m.showsOpenAffordance());
    capsule.show(Kind::warningOf("Nothing selected", "Select some text"), [] {});
    EXPECT_EQ(m.detail(), "Select some text");
    EXPECT_FALSE(m.showsUndo());
    showCaptured();
    EXPECT_EQ(m.message(), "Text captured");
    EXPECT_EQ(m.detail(), std::nullopt);
    EXPECT_TRUE(m.showsOpenAffordance());
    EXPECT_EQ(surface->presents, 3) << "one window, reused";
}

TEST_F(CaptureCapsuleTest, ACapsuleShownDuringTheOldFadeStaysUp)
{
    showCaptured();
    clock.advance(2000);
    ASSERT_EQ(surface->fades.size(), 1u);
    showCaptured();
    surface->fades.front()();  // the old fade ends after the new show
    EXPECT_TRUE(surface->visible);
    EXPECT_TRUE(surface->monitor);
    clock.advance(1999);
    EXPECT_TRUE(capsule.isShowing()) << "the new capsule runs its own full two seconds";
    clock.advance(1);
    surface->fades.back()();
    EXPECT_FALSE(surface->visible);
    EXPECT_FALSE(surface->monitor);
}

TEST_F(CaptureCapsuleTest, HoverPausesTheCountdownAndLeavingResumesIt)
{
    showCaptured();
    capsule.hoverChanged(false);  // a leave without an enter changes nothing
    EXPECT_EQ(capsule.model().shownAtMs(), clock.elapsedMs());
    clock.advance(1500);
    capsule.hoverChanged(true);
    clock.advance(60000);
    EXPECT_TRUE(capsule.isShowing());
    EXPECT_DOUBLE_EQ(capsule.model().remainingFraction(clock.elapsedMs()), 0.25);
    capsule.hoverChanged(false);
    clock.advance(499);
    EXPECT_TRUE(capsule.isShowing());
    clock.advance(1);
    EXPECT_FALSE(capsule.isShowing()) << "0.5 s were left";

    showCaptured();
    clock.advance(1980);
    capsule.hoverChanged(true);
    capsule.hoverChanged(false);
    clock.advance(99);
    EXPECT_TRUE(capsule.isShowing()) << "never less than 0.1 s after leaving";
    clock.advance(1);
    EXPECT_FALSE(capsule.isShowing());
}

TEST_F(CaptureCapsuleTest, KeysUndoOnceDismissOrPassThrough)
{
    showCaptured();
    for (const auto& [key, mods] : {std::pair{int(Qt::Key_Z), Qt::KeyboardModifiers()},
                                    {int(Qt::Key_A), Qt::ControlModifier},
                                    {int(Qt::Key_Return), Qt::NoModifier}})
        EXPECT_FALSE(capsule.handleKey(key, mods)) << key;
    EXPECT_TRUE(capsule.handleKey(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_FALSE(capsule.handleKey(Qt::Key_Z, Qt::ControlModifier)) << "dismissed: keys pass again";
    EXPECT_EQ(undos, 1);

    showCaptured();
    capsule.undoAction();
    capsule.undoAction();
    EXPECT_EQ(undos, 2) << "Undo runs once per capsule";

    showCaptured();
    EXPECT_TRUE(capsule.handleKey(Qt::Key_Escape, Qt::ControlModifier | Qt::AltModifier));
    EXPECT_EQ(undos, 2);
    EXPECT_EQ(opens, 0);

    // An undo that fails says so: its own capsule stays up for its whole time, whichever road undid.
    for (const bool byKey : {false, true}) {
        capsule.show(Kind::capturedText(), [this] { capsule.show(Kind::warningOf("Not undone", "Why"), [] {}); });
        if (byKey)
            EXPECT_TRUE(capsule.handleKey(Qt::Key_Z, Qt::ControlModifier));
        else
            capsule.undoAction();
        EXPECT_TRUE(capsule.isShowing());
        EXPECT_EQ(capsule.model().message(), "Not undone");
        clock.advance(3999);
        EXPECT_TRUE(capsule.isShowing());
        clock.advance(1);
        EXPECT_FALSE(capsule.isShowing());
    }
}

TEST(CaptureCapsuleChrome, PaddingHeightWidthAndTheStillBar)
{
    using Chrome = CaptureCapsuleChrome;
    const auto make = [](QString message, std::optional<QString> detail, bool undo, double still) {
        return std::make_unique<Chrome>(Chrome::Content{message,
                                                        detail,
                                                        "text.viewfinder",
                                                        Qt::white,
                                                        Chrome::Countdown::fixed(still),
                                                        Chrome::Backing::solid,
                                                        {},
                                                        undo});
    };
    const auto plain = make("Text captured", std::nullopt, true, 0.62);
    const auto warning = make("Nothing captured", QString("Select text in another app first."), false, 0);
    const auto longer = make("Text captured " + QString(80, u'w'), std::nullopt, true, 1);
    const auto markup = make("<b>x</b>", QString("<i>y</i>"), false, 1);
    EXPECT_TRUE(plain->hasUndoElement());
    EXPECT_FALSE(warning->hasUndoElement());
    EXPECT_GT(warning->sizeHint().height(), plain->sizeHint().height()) << "the detail adds a line";
    EXPECT_GT(longer->sizeHint().width(), plain->sizeHint().width() + 300) << "widened, never cut";
    EXPECT_DOUBLE_EQ(plain->barFraction(), 0.62);
    EXPECT_LE(warning->barFraction(), 0) << "a still bar at 0 is hidden, track included";
    for (QLabel* label : markup->findChildren<QLabel*>()) EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(CaptureCapsuleView::titleFor("Nothing selected", QString("Select")), "Nothing selected: Select");
}

}  // namespace

// What a screen reader is told: the capsule is a notification named with its message and detail, and
// a tooltip that carries markup for the eye gives the plain text as the description.
TEST(CapsuleAndTooltipsForScreenReaders, NamesAndDescriptionsArePlain)
{
    FakeClock clock;
    CaptureCapsuleView* view = nullptr;
    CaptureCapsuleController capsule(
        clock,
        [&](CaptureCapsuleController& c) {
            auto made = std::make_unique<CaptureCapsuleView>(c);
            view = made.get();
            return made;
        },
        [] { return true; });
    capsule.show(Kind::warningOf("Nothing selected", "Select <b>some</b> text"), [] {});
    ASSERT_TRUE(view);
    QAccessibleInterface* told = QAccessible::queryAccessibleInterface(view);
    EXPECT_EQ(told->role(), QAccessible::Notification);
    EXPECT_EQ(told->text(QAccessible::Name), "Nothing selected: Select <b>some</b> text");
    capsule.show(Kind::capturedText(), [] {});
    EXPECT_EQ(QAccessible::queryAccessibleInterface(view)->text(QAccessible::Name), "Text captured");

    MiddleElidedLabel label;
    const QString name = "A <b>bold</b> & very long client name that cannot fit in the room given";
    label.setFullText(name);
    label.show();
    label.resize(80, 20);
    ASSERT_TRUE(label.isElided());
    EXPECT_TRUE(label.toolTip().startsWith("<qt>"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&label)->text(QAccessible::Description), name);
    label.resize(2000, 20);
    ASSERT_FALSE(label.isElided());
    EXPECT_EQ(label.toolTip(), "");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&label)->text(QAccessible::Description), "");
}
