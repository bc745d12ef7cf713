// The tour's screens as a user walks them: what each shows, which hot key earns it, and what becomes of
// the practice words.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "model/NoteNotifications.h"
#include "onboarding/OnboardingController.h"
#include "onboarding/OnboardingFlowModel.h"
#include "onboarding/PracticeSelection.h"
#include "platform/Settings.h"
#include "support/FakeClock.h"

namespace {

using Screen = OnboardingFlowModel::Screen;
using Group = OnboardingFlowModel::CaptureGroup;

struct Flow {
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    NotificationCenter center;
    PracticeSelection practice;
    std::unique_ptr<OnboardingFlowModel> model;

    explicit Flow(bool captureAvailable = true) { make(captureAvailable); }
    void make(bool captureAvailable = true)
    {
        model = std::make_unique<OnboardingFlowModel>(center, settings, practice, captureAvailable);
    }
    void goTo(Screen screen)
    {
        while (model->screen() != screen) model->advance();
    }
    void fire(const QString& action) { center.post(tarnwickHotkeyFired, action); }
};

TEST(OnboardingFlow, EachScreenShowsItsSkipMarksListeningSleepAndFilledButton)
{
    Flow f;
    struct Row {
        Screen screen;
        bool skip;
        std::optional<int> mark;
        std::optional<QString> listening;
        QString button;
    };
    const QList<Row> table = {
        {Screen::welcome, false, {}, {}, "Begin"},
        {Screen::newNote, true, 0, "Listening", ""},
        {Screen::capture, true, 1, "Waiting for a selection", ""},
        {Screen::hide, true, 2, "Listening", ""},
        {Screen::shelf, true, 3, "Listening", ""},
        {Screen::notes, false, {}, {}, "Next"},
        {Screen::connections, false, {}, {}, "Next"},
        {Screen::agreement, false, {}, {}, "Start capturing"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(int(row.screen));
        ASSERT_EQ(f.model->screen(), row.screen);
        const auto page = f.model->page();
        EXPECT_EQ(page.showsSkip, row.skip);
        EXPECT_EQ(page.markIndex, row.mark);
        EXPECT_EQ(page.listening, row.listening);
        EXPECT_EQ(page.primaryButton, row.button);
        // The title counts as the marks do, and only where they are shown.
        EXPECT_EQ(f.model->windowTitle(),
                  row.mark ? QString("Tarnwick tour (Step %1 of 4)").arg(*row.mark + 1) : QString("Tarnwick tour"));
        f.model->advance();
    }
    // Past the last screen the tour finishes instead of moving.
    EXPECT_EQ(f.model->screen(), Screen::agreement);

    // The capture page: asleep and quiet without words, awake and urgent with them, then earned.
    Flow g;
    g.goTo(Screen::capture);
    EXPECT_TRUE(g.model->page().keysAsleep);
    EXPECT_FALSE(g.model->page().listeningUrgent);
    g.practice.setSelectedText("  these words ");
    EXPECT_FALSE(g.model->page().keysAsleep);
    EXPECT_EQ(g.model->page().listening, "Now press the keys");
    EXPECT_TRUE(g.model->page().listeningUrgent);
    g.fire("capture");
    const auto captured = g.model->page();
    EXPECT_EQ(captured.captureGroup, Group::captured);
    EXPECT_EQ(captured.title, "That's the whole app.");
    EXPECT_EQ(captured.primaryButton, "Next key");
    EXPECT_FALSE(captured.showsSkip);
    EXPECT_TRUE(captured.keysEarned);

    // A session without X11 selection access asks to enable capture and shows no field.
    Flow noX(false);
    noX.goTo(Screen::capture);
    const auto enable = noX.model->page();
    EXPECT_EQ(enable.captureGroup, Group::enableCapture);
    EXPECT_EQ(enable.primaryButton, "Enable capture");
    EXPECT_FALSE(enable.keysAsleep);
    EXPECT_TRUE(enable.body.contains("through X11, which this session does not offer"));
    EXPECT_FALSE(noX.model->showsPracticeField());
}

TEST(OnboardingFlow, TextsSayWhatIsTrueOnThisDesktop)
{
    Flow f;
    QStringList texts;
    for (int i = 0; i < OnboardingFlowModel::kScreenCount; ++i) {
        texts << f.model->page().title << f.model->page().body;
        f.model->advance();
    }
    const QString all = texts.join('\n');
    EXPECT_FALSE(all.contains("Mac")) << all.toStdString();
    EXPECT_FALSE(all.contains("menu bar")) << all.toStdString();
    EXPECT_TRUE(all.contains("in the tray")) << all.toStdString();
    EXPECT_TRUE(all.contains("or click the tray icon any time.")) << all.toStdString();
    EXPECT_TRUE(all.contains(QString::fromUtf8("clears the desk \u2014 every note")));
}

TEST(OnboardingFlow, OnlyTheScreensOwnHotKeyEarnsItOnceAndTicks)
{
    Flow f;
    QSignalSpy earned(f.model.get(), &OnboardingFlowModel::earned);
    f.fire("newNote");  // on the welcome screen nothing listens
    f.goTo(Screen::newNote);
    for (const char* other : {"capture", "shelf", "hideAll", "", "NEWNOTE", "newNote ", "bogus"}) f.fire(other);
    EXPECT_FALSE(f.model->isEarned(Screen::newNote));
    EXPECT_EQ(f.model->pressTick(), 0);

    f.fire("newNote");
    f.fire("newNote");  // the repeat only performs the action
    EXPECT_TRUE(f.model->isEarned(Screen::newNote));
    EXPECT_EQ(f.model->pressTick(), 1);
    EXPECT_EQ(earned.count(), 1);
    EXPECT_FALSE(f.model->page().showsSkip);
    EXPECT_EQ(f.model->page().primaryButton, "Next");
    EXPECT_TRUE(f.model->page().keysEarned);

    // A skipped screen stays unearned; the next one listens for its own key only.
    f.model->advance();
    f.model->advance();
    ASSERT_EQ(f.model->screen(), Screen::hide);
    EXPECT_FALSE(f.model->isEarned(Screen::capture));
    f.fire("shelf");
    f.fire("hideAll");
    EXPECT_TRUE(f.model->isEarned(Screen::hide));
    EXPECT_EQ(f.model->pressTick(), 2);

    // A model gone away hears nothing: the observation ends with it.
    f.model.reset();
    f.fire("shelf");
    EXPECT_EQ(f.center.observerCount(), 0);
}

TEST(OnboardingFlow, ChordsFollowTheBindingInForce)
{
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    using Action = HotkeyManager::Action;
    EXPECT_EQ(OnboardingFlowModel::chord(Action::capture, settings), (QStringList{"Alt", "Shift", "Space"}));
    EXPECT_EQ(OnboardingFlowModel::chord(Action::newNote, settings), (QStringList{"Alt", "Shift", "N"}));

    settings.setValue(HotkeyManager::keyCodeKey(Action::shelf), 40);
    settings.setValue(HotkeyManager::modifiersKey(Action::shelf), 0x1000 | 0x800 | 0x200 | 0x100);
    EXPECT_EQ(OnboardingFlowModel::chord(Action::shelf, settings), (QStringList{"Ctrl", "Alt", "Shift", "Super", "K"}));

    // Unusable bindings show the default.
    settings.setValue(HotkeyManager::keyCodeKey(Action::hideAll), 4);
    settings.setValue(HotkeyManager::modifiersKey(Action::hideAll), 0);
    EXPECT_EQ(OnboardingFlowModel::chord(Action::hideAll, settings), (QStringList{"Alt", "Shift", "H"}));
    settings.setValue(HotkeyManager::keyCodeKey(Action::hideAll), 300);
    settings.setValue(HotkeyManager::modifiersKey(Action::hideAll), 0xA00);
    EXPECT_EQ(OnboardingFlowModel::chord(Action::hideAll, settings), (QStringList{"Alt", "Shift", "H"}));
    settings.remove(HotkeyManager::modifiersKey(Action::hideAll));
    settings.setValue(HotkeyManager::keyCodeKey(Action::hideAll), 5);
    EXPECT_EQ(OnboardingFlowModel::chord(Action::hideAll, settings), (QStringList{"Alt", "Shift", "H"}));
}

TEST(PracticeSelection, IsTrimmedAndSignalsOnlyRealChanges)
{
    const QString sentence = "Select any of these words to wake the keys.";
    const int at = int(sentence.indexOf("these"));
    EXPECT_EQ(PracticeSelection::trimmedRange(sentence, at, at + 11), "these words");
    EXPECT_EQ(PracticeSelection::trimmedRange(sentence, at + 11, at - 1), "these words");  // dragged backwards
    EXPECT_EQ(PracticeSelection::trimmedRange(sentence, at, at), "");                      // a caret alone
    EXPECT_EQ(PracticeSelection::trimmedRange(sentence, -5, 999), sentence);
    EXPECT_EQ(PracticeSelection::trimmedRange(" \n\t ", 0, 4), "");
    EXPECT_EQ(PracticeSelection::trimmedRange(QString("a") + QChar::ParagraphSeparator + " ", 0, 3), "a");

    PracticeSelection practice;
    QSignalSpy changed(&practice, &PracticeSelection::selectedTextChanged);
    practice.setSelectedText(" these ");
    practice.setSelectedText("these");
    practice.setSelectedText("   ");
    EXPECT_EQ(practice.selectedText(), "");
    EXPECT_EQ(changed.count(), 2);
}

TEST(PracticeSelection, WordsCountOnlyWhileTheFieldIsOnThePage)
{
    // Skipped away from the capture page: the words are dropped with the field.
    Flow f;
    f.goTo(Screen::capture);
    f.practice.setSelectedText("these words");
    EXPECT_TRUE(f.model->showsPracticeField());
    f.model->advance();
    EXPECT_EQ(f.practice.selectedText(), "");

    // Captured: the field gives way to "That's the whole app." and takes the words with it.
    Flow g;
    g.goTo(Screen::capture);
    g.practice.setSelectedText("these words");
    g.fire("capture");
    EXPECT_EQ(g.practice.selectedText(), "");

    // Words left over from anything before start a new showing empty.
    Flow h;
    h.practice.setSelectedText("old words");
    h.make();
    EXPECT_EQ(h.practice.selectedText(), "");
}

}  // namespace
