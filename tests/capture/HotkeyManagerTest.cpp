#include <gtest/gtest.h>

#include <QMap>

#include "capture/HotkeyManager.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Settings.h"

#include "support/TestEnvironment.h"

namespace {

using Action = HotkeyManager::Action;
using Status = HotkeyManager::Status;
using Outcome = GlobalHotkeys::Outcome;

// Holds grabs in a map; chords listed in `takenElsewhere` answer with a conflict.
class FakeHotkeys : public GlobalHotkeys {
public:
    Outcome grab(int id, Chord chord) override
    {
        release(id);
        if (takenElsewhere.contains(chord)) return {Outcome::Conflict, 10};
        if (refuseWith) return {Outcome::Failed, refuseWith};
        grabs.insert(id, chord);
        return {Outcome::Grabbed, 0};
    }
    void release(int id) override { grabs.remove(id); }
    void press(int id) { Q_EMIT pressed(id); }

    QMap<int, Chord> grabs;
    QList<Chord> takenElsewhere;
    qint32 refuseWith = 0;
};

const GlobalHotkeys::Chord kAltShiftSpace{0x20, GlobalHotkeys::Alt | GlobalHotkeys::Shift};

class HotkeyManagerTest : public ::testing::Test {
protected:
    HotkeyManager::Shortcut stored(Action a) { return HotkeyManager::storedBinding(a, settings); }
    QString key(Action a) { return HotkeyManager::keyCodeKey(a); }
    QString mods(Action a) { return HotkeyManager::modifiersKey(a); }

    Settings settings{std::make_unique<MemorySettingsBackend>()};
    FakeHotkeys hotkeys;
    tarnwick::test::LogCapture log;
};

TEST_F(HotkeyManagerTest, DefaultsAreGrabbedAsAltShiftChordsUnderIdsZeroToThree)
{
    HotkeyManager manager(hotkeys, settings);
    const quint32 altShift = GlobalHotkeys::Alt | GlobalHotkeys::Shift;
    const QMap<int, GlobalHotkeys::Chord> expected{
        {0, {0x6e, altShift}}, {1, {0x20, altShift}}, {2, {0x68, altShift}}, {3, {0x73, altShift}}};
    EXPECT_EQ(hotkeys.grabs, expected);
    for (Action a : HotkeyManager::allCases()) EXPECT_EQ(manager.statuses().value(a), (Status{Status::active, 0}));
    EXPECT_EQ(HotkeyManager::actionFromRawValue(QStringLiteral("hideAll")), Action::hideAll);
    EXPECT_EQ(HotkeyManager::actionFromRawValue(QStringLiteral("HideAll")), std::nullopt);

    QList<Action> fired;
    manager.onAction = [&](Action a) { fired << a; };
    hotkeys.press(1);
    hotkeys.press(3);
    hotkeys.press(4);  // not one of ours
    hotkeys.press(-1);
    EXPECT_EQ(fired, (QList<Action>{Action::capture, Action::shelf}));
}

TEST_F(HotkeyManagerTest, UnusableStoredBindingsFallBackToTheDefault)
{
    const HotkeyManager::Shortcut fallback{49, 0xA00};
    settings.setValue(key(Action::capture), 12);  // no modifier key
    EXPECT_EQ(stored(Action::capture), fallback);
    EXPECT_EQ(log.count(QStringLiteral("Ignoring corrupt binding for capture (keyCode=12 modifiers=0)")), 1);

    settings.remove(key(Action::capture));
    settings.setValue(mods(Action::capture), 0x100);  // no key-code key: silent
    log.clear();
    EXPECT_EQ(stored(Action::capture), fallback);
    EXPECT_TRUE(log.lines(QStringLiteral("hotkeys")).isEmpty());

    settings.setValue(key(Action::capture), 127);
    EXPECT_EQ(stored(Action::capture), (HotkeyManager::Shortcut{127, 0x100}));
    for (qint64 bad : {qint64(128), qint64(-1), qint64(4294967296)}) {
        settings.setValue(key(Action::capture), bad);
        EXPECT_EQ(stored(Action::capture), fallback) << bad;
    }
    EXPECT_TRUE(log.contains(QStringLiteral("keyCode=4294967296")));
    settings.setValue(key(Action::capture), 12);
    settings.setValue(mods(Action::capture), qint64(0x100000A00));  // modifiers beyond 32 bits
    EXPECT_EQ(stored(Action::capture), fallback);
}

TEST_F(HotkeyManagerTest, LegacyDefaultsAreForgottenOnceAndCustomBindingsKept)
{
    settings.setValue(key(Action::capture), 49);
    settings.setValue(mods(Action::capture), 0x800);
    settings.setValue(key(Action::newNote), 45);
    settings.setValue(mods(Action::newNote), 0xA00);
    settings.setValue(key(Action::shelf), 45);
    settings.setValue(mods(Action::shelf), 0x300);  // Command+Shift+N
    {
        HotkeyManager manager(hotkeys, settings);
        EXPECT_FALSE(settings.contains(key(Action::capture)));
        EXPECT_FALSE(settings.contains(mods(Action::capture)));
        EXPECT_FALSE(settings.contains(key(Action::newNote)));
        EXPECT_EQ(stored(Action::shelf), (HotkeyManager::Shortcut{45, 0x300}));
        EXPECT_EQ(hotkeys.grabs.value(1), kAltShiftSpace);
        EXPECT_TRUE(settings.boolValue(QStringLiteral("hotkey.migratedToLightScheme")));
        EXPECT_TRUE(log.contains(QStringLiteral("Migrated capture off its legacy default")));
    }
    settings.setValue(key(Action::capture), 49);
    settings.setValue(mods(Action::capture), 0x800);
    HotkeyManager again(hotkeys, settings);
    EXPECT_EQ(stored(Action::capture), (HotkeyManager::Shortcut{49, 0x800}));
}

TEST_F(HotkeyManagerTest, AChordHeldElsewhereIsAConflictAndLeavesOnlyThatActionWithout)
{
    hotkeys.takenElsewhere << kAltShiftSpace;
    HotkeyManager manager(hotkeys, settings);
    const Status status = manager.statuses().value(Action::capture);
    EXPECT_EQ(status.kind, Status::conflict);
    EXPECT_EQ(status.label(), QStringLiteral("Conflict - in use by another app"));
    EXPECT_FALSE(hotkeys.grabs.contains(1));
    EXPECT_EQ(hotkeys.grabs.size(), 3);
    EXPECT_TRUE(log.contains(QStringLiteral("Failed to register capture (status 10)")));

    // Moving the action to a free chord takes it out of conflict.
    manager.setBinding({49, 0x1200}, Action::capture);
    EXPECT_EQ(manager.statuses().value(Action::capture).kind, Status::active);
    EXPECT_EQ(hotkeys.grabs.value(1), (GlobalHotkeys::Chord{0x20, GlobalHotkeys::Control | GlobalHotkeys::Shift}));
}

TEST_F(HotkeyManagerTest, TwoActionsOnOneChordDoNotBothClaimIt)
{
    HotkeyManager manager(hotkeys, settings);
    manager.setBinding({45, 0xA00}, Action::shelf);  // the new-note chord
    EXPECT_EQ(manager.statuses().value(Action::shelf).kind, Status::conflict);
    EXPECT_FALSE(hotkeys.grabs.contains(3));

    // Restoring the defaults clears all eight keys and gives every action its own chord back.
    manager.setBinding({12, 0x100}, Action::hideAll);
    manager.restoreDefaults();
    for (Action a : HotkeyManager::allCases()) {
        EXPECT_FALSE(settings.contains(key(a)) || settings.contains(mods(a)));
        EXPECT_EQ(manager.statuses().value(a).kind, Status::active);
    }
    EXPECT_EQ(hotkeys.grabs.size(), 4);
}

TEST_F(HotkeyManagerTest, RefusedAndImpossibleGrabsAreReportedNotFaked)
{
    hotkeys.refuseWith = -3;
    HotkeyManager refused(hotkeys, settings);
    EXPECT_EQ(refused.statuses().value(Action::newNote).label(), QStringLiteral("Failed (code -3)"));

    // A key with no PC key behind it cannot be grabbed.
    hotkeys.refuseWith = 0;
    refused.setBinding({127, 0x100}, Action::newNote);
    EXPECT_EQ(refused.statuses().value(Action::newNote), (Status{Status::failed, 2}));

    UnavailableGlobalHotkeys none;
    HotkeyManager unavailable(none, settings);
    EXPECT_EQ(unavailable.statuses().value(Action::shelf).kind, Status::unavailable);
    EXPECT_TRUE(
        log.contains(QStringLiteral("Global hot keys are unavailable on this display; shelf is not registered")));
}

}  // namespace
