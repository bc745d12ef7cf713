// The rule for the windows Tarnwick shows on request, as far as it shows without a window manager:
// a close keeps the window (and its native window), a minimised window comes back, the order of
// requests is kept. The window-manager states themselves are checked in the desktop session.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QWindow>

#include "platform/OwnWindows.h"
#include "platform/Settings.h"

TEST(OwnWindowsTest, ClosingHidesAndPresentingBringsTheSameWindowBack)
{
    Settings settings(std::make_unique<MemorySettingsBackend>());
    QWidget settingsWindow, tour;
    OwnWindows::adopt(&settingsWindow, settings, {.aboveWhileActive = true, .fixedSize = true});
    OwnWindows::adopt(&tour, settings, {.aboveWhileActive = true, .hideOnClose = false});
    EXPECT_TRUE(OwnWindows::isAdopted(&settingsWindow));
    EXPECT_FALSE(OwnWindows::isAdopted(nullptr));

    OwnWindows::present(&settingsWindow);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&settingsWindow));
    QWindow* handle = settingsWindow.windowHandle();
    const WId native = settingsWindow.winId();
    EXPECT_FALSE(settingsWindow.close()) << "the close is turned into a hide";
    EXPECT_FALSE(settingsWindow.isVisible());
    EXPECT_EQ(settingsWindow.windowHandle(), handle);
    ASSERT_TRUE(handle->handle()) << "the native window was destroyed";
    EXPECT_EQ(settingsWindow.winId(), native);

    settingsWindow.setWindowState(Qt::WindowMinimized);
    OwnWindows::present(&settingsWindow);
    EXPECT_TRUE(settingsWindow.isVisible());
    EXPECT_FALSE(settingsWindow.isMinimized()) << "presenting restores a minimised window";

    OwnWindows::present(&tour);
    EXPECT_GT(OwnWindows::requestOrder(&tour), OwnWindows::requestOrder(&settingsWindow));
    OwnWindows::present(&settingsWindow);
    EXPECT_GT(OwnWindows::requestOrder(&settingsWindow), OwnWindows::requestOrder(&tour));

    // Without the close rule the window closes as any other does.
    EXPECT_TRUE(tour.close());
    EXPECT_FALSE(tour.isVisible());
}
