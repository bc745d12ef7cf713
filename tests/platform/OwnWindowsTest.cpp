// The rule for the windows Tarnwick shows on request, as far as it shows without a window manager:
// a close keeps the window (and its native window), a minimised window comes back, the order of
// requests is kept. The window-manager states themselves are checked in the desktop session.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>
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

TEST(OwnWindowsTest, FramesLieWhollyOnTheWorkAreaAndFocusScrollsIntoView)
{
    const QRect area(0, 24, 1024, 576);
    const QList<std::tuple<QRect, QRect, const char*>> cases{
        {QRect(100, 100, 562, 400), QRect(100, 100, 562, 400), "inside: unchanged"},
        {QRect(231, -38, 562, 696), QRect(231, 24, 562, 576), "taller: cut to the area, title bar on screen"},
        {QRect(-40, 300, 300, 400), QRect(0, 200, 300, 400), "off the left and the bottom: moved in"},
        {QRect(900, 30, 300, 100), QRect(724, 30, 300, 100), "off the right"},
        {QRect(-10, -10, 2000, 2000), area, "larger both ways"},
    };
    for (const auto& [frame, placed, what] : cases) EXPECT_EQ(OwnWindows::fitFrame(frame, area), placed) << what;

    // A fixed window taller than the screen is made as tall as the work area and put on it, and gets
    // its size back on a screen that holds it.
    Settings settings(std::make_unique<MemorySettingsBackend>());
    QWidget window;
    auto* scroll = new QScrollArea;
    (new QVBoxLayout(&window))->addWidget(scroll);
    auto* column = new QVBoxLayout(new QWidget);
    QLineEdit* last = nullptr;
    for (int i = 0; i < 60; ++i) column->addWidget(last = new QLineEdit);
    scroll->setWidget(column->parentWidget());
    scroll->setWidgetResizable(true);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    window.setFixedSize(300, screen.height() + 200);
    window.move(screen.left() - 20, screen.top() - 50);
    OwnWindows::adopt(&window, settings, {.fixedSize = true});
    OwnWindows::present(&window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(screen.contains(window.frameGeometry())) << "frame off the work area";
    EXPECT_EQ(window.frameGeometry().height(), screen.height());

    last->setFocus(Qt::OtherFocusReason);
    const QPoint inView = last->mapTo(scroll->viewport(), QPoint(0, 0));
    EXPECT_TRUE(scroll->viewport()->rect().contains(QRect(inView, last->size()))) << "focused control out of view";
}
