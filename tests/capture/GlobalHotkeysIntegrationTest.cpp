// Real grabs on the X server of the desktop session: xdotool presses the chords as a user would.
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <QProcess>
#include <QTest>
#include <cstdlib>

#include "capture/HotkeyManager.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Settings.h"

#include "support/TestEnvironment.h"

namespace {

using Action = HotkeyManager::Action;

bool xdotool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(10000) && p.exitCode() == 0;
}

// Another X client, holding a chord on the root window as a rival application would.
class RivalClient {
public:
    RivalClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~RivalClient() { xcb_disconnect(m_connection); }

    bool grab(xcb_keysym_t keysym, quint16 modifiers)
    {
        if (xcb_connection_has_error(m_connection)) return false;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        bool ok = codes && *codes != XCB_NO_SYMBOL;
        if (ok) {
            xcb_generic_error_t* error =
                xcb_request_check(m_connection, xcb_grab_key_checked(m_connection, 1, root, modifiers, codes[0],
                                                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            ok = error == nullptr;
            free(error);
        }
        free(codes);
        xcb_key_symbols_free(symbols);
        return ok;
    }

private:
    xcb_connection_t* m_connection;
};

class GlobalHotkeysIntegration : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tarnwick::test::TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
        hotkeys = GlobalHotkeys::forCurrentPlatform();
    }

    std::unique_ptr<GlobalHotkeys> hotkeys;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
};

TEST_F(GlobalHotkeysIntegration, PressingAChordFiresItsActionWithOrWithoutNumLock)
{
    HotkeyManager manager(*hotkeys, settings);
    ASSERT_EQ(manager.statuses().value(Action::newNote).kind, HotkeyManager::Status::active);
    QList<Action> fired;
    manager.onAction = [&](Action a) { fired << a; };

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("alt+shift+n")}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired.size() == 1; }, 5000));
    EXPECT_EQ(fired.value(0), Action::newNote);

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")}));
    xdotool({QStringLiteral("key"), QStringLiteral("alt+shift+space")});
    xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired.size() == 2; }, 5000));
    EXPECT_EQ(fired.value(1), Action::capture);

    // A chord none of the actions has fires nothing.
    xdotool({QStringLiteral("key"), QStringLiteral("alt+n")});
    QTest::qWait(300);
    EXPECT_EQ(fired.size(), 2);
}

TEST_F(GlobalHotkeysIntegration, AChordAnotherClientHoldsIsReportedAsAConflict)
{
    {
        RivalClient rival;
        ASSERT_TRUE(rival.grab(0x68, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT));  // Alt+Shift+H
        HotkeyManager manager(*hotkeys, settings);
        EXPECT_EQ(manager.statuses().value(Action::hideAll).kind, HotkeyManager::Status::conflict);
        EXPECT_EQ(manager.statuses().value(Action::shelf).kind, HotkeyManager::Status::active);

        // The lock-modifier variants grabbed before the refusal were given back.
        RivalClient second;
        EXPECT_TRUE(second.grab(0x68, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK));
    }
    // The server drops a departed client's grabs once it has read the close.
    HotkeyManager manager(*hotkeys, settings);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            manager.restoreDefaults();
            return manager.statuses().value(Action::hideAll).kind == HotkeyManager::Status::active;
        },
        5000));
}

}  // namespace
