#include <gtest/gtest.h>

#include "capture/HotkeyManager.h"
#include "platform/GlobalHotkeys.h"
#include "platform/KeyGrabs.h"
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
        grabs.remove(id);
        if (unnamed.contains(chord.keysym)) return {Outcome::Failed, 2};
        if (takenElsewhere.contains(chord)) return {Outcome::Conflict, 10};
        grabs.insert(id, chord);
        return {Outcome::Grabbed, 0};
    }
    void release(int id) override
    {
        grabs.remove(id);
        ++releases;
    }
    int releases = 0;
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

// A notice of the keyboard renews each status by grabbing each chord again over its own grab: a chord
// released first would miss a press made in between. A chord freed by another action's new binding
// is tried again, so its row tells what it does.
TEST_F(HotkeyManagerTest, ANoticeReleasesNothingAndAFreedChordIsTriedAgain)
{
    HotkeyManager manager(hotkeys, settings);
    hotkeys.changeLayout();
    EXPECT_EQ(hotkeys.releases, 0);
    EXPECT_EQ(hotkeys.grabs.size(), 5);

    manager.setBinding({6, 0x1800}, Action::newNote);  // Ctrl+Alt+Z
    manager.setBinding({6, 0x1800}, Action::shelf);
    EXPECT_EQ(manager.statuses().value(Action::shelf).kind, Status::conflict);
    EXPECT_FALSE(hotkeys.grabs.contains(3));
    manager.setBinding({40, 0x1800}, Action::newNote);  // New note moves to Ctrl+Alt+K
    EXPECT_EQ(manager.statuses().value(Action::shelf), (Status{Status::active, 0}));
    EXPECT_EQ(hotkeys.grabs.value(3), (Chord{'z', GlobalHotkeys::Control | GlobalHotkeys::Alt}));
    EXPECT_EQ(hotkeys.grabs.value(0), (Chord{'k', GlobalHotkeys::Control | GlobalHotkeys::Alt}));
}

// The grabber's book of keys: on de,us, Ctrl+Alt+Z (id 0) and Ctrl+Alt+Y (id 3) change keys (29 and
// 52) with the group. Once two ids asked for one key, the later one is refused, and letting it go
// leaves the key with the one that holds it.
TEST(KeyGrabs, KeysPassBetweenChordsWithoutADropAndAreReleasedOnlyByTheirOwner)
{
    using KeyGrabs::Key;
    constexpr quint16 ctrlAlt = 0x4 | 0x8;
    const Key k29{29, ctrlAlt}, k52{52, ctrlAlt};
    const KeyGrabs::Owners german{{k29, 0}, {k52, 3}};

    const KeyGrabs::Plan swap = KeyGrabs::plan(german, {{0, {k52}}, {3, {k29}}});
    EXPECT_TRUE(swap.grab.isEmpty() && swap.ungrab.isEmpty() && swap.refused.isEmpty());
    EXPECT_EQ(swap.owners, (KeyGrabs::Owners{{k29, 3}, {k52, 0}}));

    const KeyGrabs::Plan same = KeyGrabs::plan(german, {{0, {k29}}, {3, {k52}}});
    EXPECT_TRUE(same.grab.isEmpty() && same.ungrab.isEmpty());
    EXPECT_EQ(same.owners, german);

    // Both chords on one key: the one listed first keeps it.
    const KeyGrabs::Plan shared = KeyGrabs::plan({{k29, 0}}, {{0, {k29}}, {3, {k29, k52}}});
    EXPECT_EQ(shared.refused, QList<int>{3});
    EXPECT_TRUE(shared.grab.isEmpty());
    EXPECT_EQ(shared.owners, (KeyGrabs::Owners{{k29, 0}}));
    // The refused one let go (or moved elsewhere): key 29 stays held.
    const KeyGrabs::Plan moved = KeyGrabs::plan(shared.owners, {{0, {k29}}, {3, {Key{45, ctrlAlt}}}});
    EXPECT_TRUE(moved.ungrab.isEmpty());
    const Key k45{45, ctrlAlt};
    EXPECT_EQ(moved.grab, QList<Key>{k45});
    EXPECT_EQ(KeyGrabs::plan(moved.owners, {{0, {k29}}}).ungrab, QList<Key>{k45});

    // A chord moving to new keys: the new one grabbed, the old one let go; other modifiers are
    // another key.
    const Key shifted{29, 0x4 | 0x1};
    const KeyGrabs::Plan move = KeyGrabs::plan({{k29, 0}}, {{0, {shifted}}});
    EXPECT_EQ(move.grab, QList<Key>{shifted});
    EXPECT_EQ(move.ungrab, QList<Key>{k29});
    EXPECT_EQ(KeyGrabs::keysOf(german, 3), QList<Key>{k52});
}

}  // namespace
