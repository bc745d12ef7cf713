// The rule for the windows Tarnwick shows on request, as far as it shows without a window manager:
// a close keeps the window (and its native window), a minimised window comes back, the order of
// requests is kept. The window-manager states themselves are checked in the desktop session.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/OwnWindows.h"
#include "platform/Settings.h"

// Stands for Qt's tray icon widget on X11, known by its class name: counts the presses it is given.
class QSystemTrayIconSys : public QWidget {
    Q_OBJECT
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

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

// A question closed by its window (Alt+F4) is answered as Escape answers it, with its button's signal,
// so what its Cancel does is done. While it is up, the tray icon still takes clicks (the question blocks
// every other window of ours), and the question can be brought back from a minimised state.
TEST(OwnWindowsTest, AQuestionClosedByItsWindowIsCancelledAndTheTrayIconStillReachesIt)
{
    QSystemTrayIconSys icon;
    icon.setFixedSize(22, 22);
    icon.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&icon));
    EXPECT_FALSE(OwnWindows::bringQuestionForward()) << "no question is up";

    QMessageBox box(QMessageBox::Warning, "Tarnwick", "Your latest changes aren't saved.");
    box.addButton("Save Again", QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    OwnWindows::adoptQuestion(&box);
    QList<QAbstractButton*> clicked;
    QObject::connect(&box, &QMessageBox::buttonClicked, &box, [&clicked](QAbstractButton* b) { clicked << b; });
    int pressesWhileAsked = -1;
    bool broughtBack = false, minimisedAfter = true;
    QTimer::singleShot(0, &box, [&] {
        if (!QTest::qWaitForWindowExposed(&box)) return;
        QTest::mouseClick(&icon, Qt::LeftButton);
        pressesWhileAsked = icon.presses;
        box.setWindowState(Qt::WindowMinimized);
        broughtBack = OwnWindows::bringQuestionForward();
        minimisedAfter = box.isMinimized();
        box.close();  // what the window manager's close comes to
    });
    box.exec();
    EXPECT_EQ(pressesWhileAsked, 1) << "the question blocked the tray icon";
    EXPECT_TRUE(broughtBack);
    EXPECT_FALSE(minimisedAfter);
    EXPECT_EQ(clicked, QList<QAbstractButton*>{cancel});
    EXPECT_FALSE(OwnWindows::bringQuestionForward()) << "answered, nothing is up";
    EXPECT_EQ(icon.windowHandle()->transientParent(), nullptr);
}

// A window adopted to give the keyboard back hands it, as it goes, to the window of ours it was presented
// from (in the control that had it): dismissed by the app or closed by the user, also when a popup of
// that window was open.
TEST(OwnWindowsTest, AWindowThatGoesGivesTheKeyboardBackWhereItCameFrom)
{
    Settings settings(std::make_unique<MemorySettingsBackend>());
    QWidget opener, themeWindow;
    new QLineEdit(&opener);
    auto* field = new QLineEdit(&opener);
    new QLineEdit(&themeWindow);
    OwnWindows::adopt(&themeWindow, settings, {.givesKeyboardBack = true});
    opener.show();
    opener.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&opener));
    field->setFocus();
    auto backToOpener = [&] {
        return QTest::qWaitFor([&] { return QApplication::activeWindow() == &opener; }) && field->hasFocus();
    };

    OwnWindows::present(&themeWindow);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&themeWindow));
    OwnWindows::dismiss(&themeWindow);
    EXPECT_FALSE(themeWindow.isVisible());
    EXPECT_TRUE(backToOpener()) << "dismissed";

    QWidget popup(&opener, Qt::Popup);
    popup.show();
    OwnWindows::present(&themeWindow);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&themeWindow));
    EXPECT_FALSE(themeWindow.close());
    EXPECT_FALSE(themeWindow.isVisible());
    EXPECT_TRUE(backToOpener()) << "closed, presented from under a popup";
    popup.hide();

    // Presented from a shelf opened over the opener, which hides as this one takes the keyboard: it goes
    // back to the opener, the window the shelf was opened over.
    FocusReturn underShelf;
    underShelf.capture(&opener);
    QWidget shelf;
    shelf.show();
    shelf.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shelf));
    OwnWindows::present(&themeWindow, underShelf);
    shelf.hide();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&themeWindow));
    EXPECT_FALSE(themeWindow.close());
    EXPECT_TRUE(backToOpener()) << "presented from a shelf that has hidden since";
}

#include "OwnWindowsTest.moc"
