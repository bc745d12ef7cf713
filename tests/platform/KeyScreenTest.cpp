// Which screen a card or a confirmation goes to with two monitors side by side.
#include <gtest/gtest.h>

#include "platform/KeyScreen.h"

namespace {

const QRect a(0, 0, 1280, 800), b(1280, 0, 1280, 800);
const QList<QRect> twoScreens{a, b};
const QPoint onA(300, 400), onB(1600, 400), offScreen(4000, 400);

TEST(KeyScreen, TheKeyWindowsScreenWinsOverThePointers)
{
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(1500, 100, 460, 300), onA), 1) << "keys on B, pointer on A";
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(100, 100, 460, 300), onB), 0) << "keys on A, pointer on B";
    // A window across the seam belongs to the screen that holds more of it, wherever the pointer is.
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(1000, 100, 400, 300), onB), 0);
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(1180, 100, 400, 300), onA), 1);
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(1300, 100, 400, 300), offScreen), 1);
    // Screens listed in another order, or not starting at the origin.
    EXPECT_EQ(KeyScreen::choose({b, a}, QRect(1500, 100, 460, 300), onA), 0);
    EXPECT_EQ(KeyScreen::choose({QRect(-1280, 0, 1280, 800), a}, QRect(-900, 40, 300, 200), onA), 0);
}

TEST(KeyScreen, ThePointerAnswersOnlyWhenNoWindowPlacesIt)
{
    EXPECT_EQ(KeyScreen::choose(twoScreens, std::nullopt, onB), 1) << "no window has the keyboard";
    EXPECT_EQ(KeyScreen::choose(twoScreens, std::nullopt, onA), 0);
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(5000, 100, 300, 300), onB), 1) << "a window on no screen";
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(100, 100, 0, 0), onB), 1) << "a window of no size";
    // A desktop window over both monitors says nothing of where the user works.
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(0, 0, 2560, 800), onB), 1);
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(0, 0, 2560, 800), onA), 0);
    EXPECT_EQ(KeyScreen::choose(twoScreens, QRect(0, 0, 2560, 800), offScreen), 0) << "the first of those tied";
    EXPECT_EQ(KeyScreen::choose(twoScreens, std::nullopt, offScreen), -1);
    EXPECT_EQ(KeyScreen::choose({}, QRect(0, 0, 100, 100), onA), -1);
}

}  // namespace
