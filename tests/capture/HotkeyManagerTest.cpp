#include <gtest/gtest.h>

#include "capture/HotkeyManager.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Settings.h"

#include "support/TestEnvironment.h"

namespace {

using Action = HotkeyManager::Action;
using Status = HotkeyManager::Status;
using Chord = GlobalHotkeys::Chord;

// Keeps grabs in a map; chords in `takenElsewhere` answer with a conflict, symbols in `unnamed` (no
// key of the layout carries them) with BadValue.
class FakeHotkeys : public GlobalHotkeys {
public:
    Outcome grab(int id, Chord chord) override
    {
        release(id);
        if (unnamed.contains(chord.keysym)) return {Outcome::Failed, 2};
        if (takenElsewhere.contains(chord)) return {Outcome::Conflict, 10};
        grabs.insert(id, chord);
        return {Outcome::Grabbed, 0};
    }
    void release(int id) override { grabs.remove(id); }
    void press(int id, quint32 modifiers = 0, quint32 time = 0)
    {
        time = time ? time : (clock += 5000);
        Q_EMIT pressed(id, modifiers, time);
    }
    void up(int id, quint32 time) { Q_EMIT released(id, time); }
    quint32 clock = 0;

    void changeLayout() { Q_EMIT keymapChanged(); }

    QMap<int, Chord> grabs;
    QList<Chord> takenElsewhere;
    QList<quint32> unnamed;
};

constexpr quint32 kAltShift = GlobalHotkeys::Alt | GlobalHotkeys::Shift;

class HotkeyManagerTest : public ::testing::Test {
protected:
    HotkeyManager::Shortcut stored(Action a) { return HotkeyManager::storedBinding(a, settings); }
    void store(Action a, qint64 keyCode, qint64 modifiers)
    {
        settings.setValue(HotkeyManager::keyCodeKey(a), keyCode);
        settings.setValue(HotkeyManager::modifiersKey(a), modifiers);
    }

    Settings settings{std::make_unique<MemorySettingsBackend>()};
    FakeHotkeys hotkeys;
    tarnwick::test::LogCapture log;
};

TEST_F(HotkeyManagerTest, DefaultsAreGrabbedUnderIdsZeroToThreeAndPressesReachOnAction)
{
    HotkeyManager manager(hotkeys, settings);
    // The capture chord again with Super (id 4): X grabs match the exact modifier set.
    const QMap<int, Chord> expected{{0, {0x6e, kAltShift}},
                                    {1, {0x20, kAltShift}},
                                    {2, {0x68, kAltShift}},
                                    {3, {0x73, kAltShift}},
                                    {4, {0x20, kAltShift | GlobalHotkeys::Super}}};
    EXPECT_EQ(hotkeys.grabs, expected);
    for (Action a : HotkeyManager::allCases()) EXPECT_EQ(manager.statuses().value(a), (Status{Status::active, 0}));

    QList<std::pair<Action, quint32>> fired;
    manager.onAction = [&](Action a, quint32 mods) { fired << std::pair{a, mods}; };
    for (int id : {1, 3, 5, -1}) hotkeys.press(id, kAltShift);
    hotkeys.press(4, kAltShift | GlobalHotkeys::Super);
    EXPECT_EQ(fired, (QList<std::pair<Action, quint32>>{
                         {Action::capture, 0xA00}, {Action::shelf, 0xA00}, {Action::capture, 0xB00}}));
}

TEST_F(HotkeyManagerTest, AHeldChordActsOncePerPress)
{
    HotkeyManager manager(hotkeys, settings);
    int count = 0;
    manager.onAction = [&](Action, quint32) { ++count; };
    // Repeats as presses alone while held, then as release-press pairs of one time stamp.
    hotkeys.press(0, kAltShift, 1000);
    hotkeys.press(0, kAltShift, 1500);
    hotkeys.press(0, kAltShift, 1533);
    hotkeys.up(0, 1566);
    hotkeys.press(0, kAltShift, 1566);
    hotkeys.up(0, 1600);
    EXPECT_EQ(count, 1);
    hotkeys.press(0, kAltShift, 1700);  // pressed again by hand
    hotkeys.up(0, 1800);
    hotkeys.press(1, kAltShift, 1800);  // another chord at the same moment is its own press
    EXPECT_EQ(count, 3);
}

TEST_F(HotkeyManagerTest, OnlyHandledActionsAreGrabbed)
{
    HotkeyManager manager(hotkeys, settings, {Action::newNote, Action::capture});
    EXPECT_EQ(hotkeys.grabs.keys(), (QList<int>{0, 1, 4}));
    EXPECT_FALSE(manager.statuses().contains(Action::shelf));
    manager.setBinding({1, HotkeyManager::kControl}, Action::shelf);
    manager.restoreDefaults();
    EXPECT_EQ(hotkeys.grabs.keys(), (QList<int>{0, 1, 4}));
    manager.enable(Action::shelf);
    EXPECT_TRUE(hotkeys.grabs.contains(3));
}

TEST_F(HotkeyManagerTest, UnusableStoredBindingsFallBackToTheDefault)
{
    const HotkeyManager::Shortcut fallback{49, 0xA00};
    settings.setValue(HotkeyManager::keyCodeKey(Action::capture), 12);  // no modifier key
    EXPECT_EQ(stored(Action::capture), fallback);
    EXPECT_EQ(log.count("Ignoring corrupt binding for capture (keyCode=12 modifiers=0)"), 1);

    settings.remove(HotkeyManager::keyCodeKey(Action::capture));
    settings.setValue(HotkeyManager::modifiersKey(Action::capture), 0x100);  // no key-code key: silent
    log.clear();
    EXPECT_EQ(stored(Action::capture), fallback);
    EXPECT_TRUE(log.lines("hotkeys").isEmpty());

    store(Action::capture, 127, 0x100);
    EXPECT_EQ(stored(Action::capture), (HotkeyManager::Shortcut{127, 0x100}));
    for (qint64 bad : {qint64(128), qint64(-1), qint64(4294967296)}) {
        store(Action::capture, bad, 0x100);
        EXPECT_EQ(stored(Action::capture), fallback) << bad;
    }
    // A chord without Ctrl, Alt or Super would take a key from every application; stray bits are
    // no binding at all.
    for (qint64 mask : {0x200, 0x400, 0x1, 0x10800, 0x900 | 0x80}) {
        store(Action::capture, 12, mask);
        EXPECT_EQ(stored(Action::capture), fallback) << mask;
    }
    store(Action::capture, 12, 0x1200);
    EXPECT_EQ(stored(Action::capture), (HotkeyManager::Shortcut{12, 0x1200}));
    EXPECT_TRUE(log.contains("keyCode=4294967296"));
}

TEST_F(HotkeyManagerTest, LegacyDefaultsAreForgottenOnceAndCustomBindingsKept)
{
    store(Action::capture, 49, 0x800);
    store(Action::newNote, 45, 0xA00);
    store(Action::shelf, 45, 0x300);  // Command+Shift+N
    {
        HotkeyManager manager(hotkeys, settings);
        EXPECT_FALSE(settings.contains(HotkeyManager::keyCodeKey(Action::capture)));
        EXPECT_FALSE(settings.contains(HotkeyManager::modifiersKey(Action::newNote)));
        EXPECT_EQ(stored(Action::shelf), (HotkeyManager::Shortcut{45, 0x300}));
        EXPECT_EQ(hotkeys.grabs.value(1), (Chord{0x20, kAltShift}));
        EXPECT_TRUE(log.contains("Migrated capture off its legacy default"));
    }
    store(Action::capture, 49, 0x800);
    HotkeyManager again(hotkeys, settings);
    EXPECT_EQ(stored(Action::capture), (HotkeyManager::Shortcut{49, 0x800}));
}

TEST_F(HotkeyManagerTest, ConflictsLeaveOnlyThatActionWithoutItsHotKey)
{
    hotkeys.takenElsewhere << Chord{0x20, kAltShift};
    HotkeyManager manager(hotkeys, settings);
    EXPECT_EQ(manager.statuses().value(Action::capture).label(), "Conflict - in use by another app");
    EXPECT_EQ(hotkeys.grabs.keys(), (QList<int>{0, 2, 3}));
    EXPECT_FALSE(hotkeys.grabs.contains(4)) << "no Super variant of a chord we do not hold";
    EXPECT_TRUE(log.contains("Failed to register capture (status 10)"));

    manager.setBinding({49, 0x1200}, Action::capture);  // Control+Shift+Space is free
    EXPECT_EQ(hotkeys.grabs.value(1), (Chord{0x20, GlobalHotkeys::Control | GlobalHotkeys::Shift}));

    // A chord another of our own actions holds is a conflict too, not a second silent grab.
    manager.setBinding({45, 0xA00}, Action::shelf);
    EXPECT_EQ(manager.statuses().value(Action::shelf).kind, Status::conflict);
    EXPECT_FALSE(hotkeys.grabs.contains(3));

    hotkeys.takenElsewhere.clear();
    manager.restoreDefaults();
    EXPECT_EQ(hotkeys.grabs.size(), 5);
    for (Action a : HotkeyManager::allCases())
        EXPECT_FALSE(settings.contains(HotkeyManager::keyCodeKey(a)) ||
                     settings.contains(HotkeyManager::modifiersKey(a)));
}

// A layout change grabs every handled chord again: each status follows where its chord stands now,
// and a chord the old layout could not name is grabbed once the new one can.
TEST_F(HotkeyManagerTest, ALayoutChangeRenewsEveryGrabAndStatus)
{
    hotkeys.unnamed << 0x6e;  // a layout without N
    HotkeyManager manager(hotkeys, settings, {Action::newNote, Action::capture, Action::hideAll});
    EXPECT_EQ(manager.statuses().value(Action::newNote), (Status{Status::failed, 2}));
    QList<Action> fired;
    manager.onAction = [&](Action a, quint32) { fired << a; };
    int changes = 0;
    QObject::connect(&manager, &HotkeyManager::statusesChanged, [&] { ++changes; });

    hotkeys.unnamed.clear();
    hotkeys.takenElsewhere << Chord{0x68, kAltShift};  // meanwhile another application took Alt+Shift+H
    hotkeys.changeLayout();
    EXPECT_EQ(manager.statuses().value(Action::newNote), (Status{Status::active, 0}));
    EXPECT_EQ(manager.statuses().value(Action::capture), (Status{Status::active, 0}));
    EXPECT_EQ(manager.statuses().value(Action::hideAll).kind, Status::conflict);
    EXPECT_FALSE(manager.statuses().contains(Action::shelf));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(hotkeys.grabs.keys(), (QList<int>{0, 1, 4}));
    hotkeys.press(0, kAltShift);
    EXPECT_EQ(fired, QList<Action>{Action::newNote});
}

TEST_F(HotkeyManagerTest, RefusedAndImpossibleGrabsAreReportedNotFaked)
{
    HotkeyManager refused(hotkeys, settings);
    refused.setBinding({127, 0x100}, Action::newNote);  // no PC key behind code 127
    EXPECT_EQ(refused.statuses().value(Action::newNote), (Status{Status::failed, 2}));

    UnavailableGlobalHotkeys none;
    HotkeyManager unavailable(none, settings);
    EXPECT_EQ(unavailable.statuses().value(Action::shelf).kind, Status::unavailable);
}

}  // namespace
