// Real grabs on the X server of the desktop session: xdotool presses the chords as a user would.
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <QProcess>
#include <QTest>

#include "capture/HotkeyManager.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Settings.h"

#include "support/TestEnvironment.h"

namespace {

using Action = HotkeyManager::Action;

void press(const QString& keys)
{
    EXPECT_EQ(QProcess::execute("xdotool", {"key", keys}), 0);
}

// Grabs `keysym` with `modifiers` on the root window from a connection of its own, as a rival
// application would; true when the server granted it.
bool rivalGrabs(xcb_connection_t* c, xcb_keysym_t keysym, quint16 modifiers)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_grab_key_checked(c, 1, root, modifiers, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    free(codes);
    xcb_key_symbols_free(symbols);
    free(error);
    return error == nullptr;
}

class GlobalHotkeysIntegration : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tarnwick::test::TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
    }

    std::unique_ptr<GlobalHotkeys> hotkeys = GlobalHotkeys::forCurrentPlatform();
    Settings settings{std::make_unique<MemorySettingsBackend>()};
};

TEST_F(GlobalHotkeysIntegration, PressingAChordFiresItsActionWithOrWithoutNumLock)
{
    HotkeyManager manager(*hotkeys, settings);
    QList<Action> fired;
    manager.onAction = [&](Action a, quint32) { fired << a; };

    press("alt+shift+n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired == QList<Action>{Action::newNote}; }, 5000));
    press("Num_Lock");
    press("alt+shift+space");
    press("Num_Lock");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired == QList<Action>{Action::newNote, Action::capture}; }, 5000));
}

TEST_F(GlobalHotkeysIntegration, AChordAnotherClientHoldsIsReportedAsAConflict)
{
    xcb_connection_t* rival = xcb_connect(nullptr, nullptr);
    ASSERT_TRUE(rivalGrabs(rival, 0x68, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT));  // Alt+Shift+H
    HotkeyManager manager(*hotkeys, settings);
    EXPECT_EQ(manager.statuses().value(Action::hideAll).kind, HotkeyManager::Status::conflict);
    EXPECT_EQ(manager.statuses().value(Action::shelf).kind, HotkeyManager::Status::active);

    // The lock-modifier variants grabbed before the refusal were given back.
    xcb_connection_t* second = xcb_connect(nullptr, nullptr);
    EXPECT_TRUE(rivalGrabs(second, 0x68, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK));
    xcb_disconnect(second);
    xcb_disconnect(rival);
}

// The server lets one client grab a key twice, the second grab replacing the first: a second chord of
// ours on a key we hold is refused, and letting it go leaves the key with the chord that holds it.
TEST_F(GlobalHotkeysIntegration, AKeyHeldForOneChordIsNeitherSharedNorReleasedByAnother)
{
    const GlobalHotkeys::Chord altShiftN{0x6e, GlobalHotkeys::Alt | GlobalHotkeys::Shift};
    QList<int> fired;
    QObject::connect(hotkeys.get(), &GlobalHotkeys::pressed, [&](int id, quint32, quint32) { fired << id; });
    EXPECT_EQ(hotkeys->grab(0, altShiftN).kind, GlobalHotkeys::Outcome::Grabbed);
    EXPECT_EQ(hotkeys->grab(3, altShiftN).kind, GlobalHotkeys::Outcome::Conflict);
    hotkeys->release(3);
    // Grabbed again as it is: nothing changes hands.
    EXPECT_EQ(hotkeys->grab(0, altShiftN).kind, GlobalHotkeys::Outcome::Grabbed);
    press("alt+shift+n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired == QList<int>{0}; }, 5000));
    hotkeys->release(0);
}

}  // namespace
