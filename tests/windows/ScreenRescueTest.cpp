#include <gtest/gtest.h>

#include "windows/ScreenRescue.h"

namespace {

// Laptop screen with a 25-point top panel, a taller screen to its right, another to its left.
const QRectF mainArea(0, 25, 1440, 875);
const QRectF rightArea(1440, 0, 1920, 1080);
const QRectF leftArea(-1920, 0, 1920, 1080);

TEST(ScreenRescueTest, RescueKeepsReachableFramesAndMovesStrandedOnes)
{
    struct Case {
        const char* name;
        QRectF frame;
        QList<QRectF> screens;
        QRectF preferred;
        QRectF expected;
    };
    const Case cases[] = {
        {"on screen", {100, 100, 400, 300}, {mainArea}, mainArea, {100, 100, 400, 300}},
        {"strip overlaps 60 x 20 exactly", {1380, 880, 400, 300}, {mainArea}, mainArea, {1380, 880, 400, 300}},
        {"59.9 wide", {1380.1, 880, 400, 300}, {mainArea}, mainArea, {1024, 584, 400, 300}},
        {"19.9 high", {1380, 880.1, 400, 300}, {mainArea}, mainArea, {1024, 584, 400, 300}},
        {"partly off the left, still reachable", {-300, 100, 400, 300}, {mainArea}, mainArea, {-300, 100, 400, 300}},
        {"off the left keeps y", {-500, 200, 400, 300}, {mainArea}, mainArea, {16, 200, 400, 300}},
        {"off the right", {2000, 200, 400, 300}, {mainArea}, mainArea, {1024, 200, 400, 300}},
        {"above, strip under the panel", {100, -280, 400, 300}, {mainArea}, mainArea, {100, 41, 400, 300}},
        {"below", {100, 1000, 400, 300}, {mainArea}, mainArea, {100, 584, 400, 300}},
        {"larger than the screen", {3000, 3000, 2000, 1500}, {mainArea}, mainArea, {16, 41, 1408, 843}},
        {"reachable on another screen only",
         {1600, 100, 400, 300},
         {mainArea, rightArea},
         mainArea,
         {1600, 100, 400, 300}},
        {"its screen removed", {1600, 100, 400, 300}, {mainArea}, mainArea, {1024, 100, 400, 300}},
        {"negative coordinates, reachable",
         {-1000, 100, 400, 300},
         {leftArea, mainArea},
         mainArea,
         {-1000, 100, 400, 300}},
        {"rescued onto a screen at negative x", {100, 100, 400, 300}, {leftArea}, leftArea, {-416, 100, 400, 300}},
        {"no screens at all", {100, 100, 400, 300}, {}, mainArea, {100, 100, 400, 300}},
        {"screen too small for the margins", {500, 500, 100, 100}, {}, {0, 0, 20, 20}, {0, 0, 20, 20}},
    };
    for (const Case& c : cases) EXPECT_EQ(ScreenRescue::rescue(c.frame, c.screens, c.preferred), c.expected) << c.name;
}

TEST(ScreenRescueTest, ContainmentIsTheAvailableAreaOfOneScreenOrTheFramesOfSeveral)
{
    const ScreenRescue::Screen laptop{{0, 0, 1440, 900}, mainArea};
    const ScreenRescue::Screen external{rightArea, {1440, 30, 1920, 1050}};
    EXPECT_TRUE(ScreenRescue::containmentBounds(QList<ScreenRescue::Screen>{}).isEmpty());
    EXPECT_EQ(ScreenRescue::containmentBounds({laptop}), QList<QRectF>{mainArea});
    EXPECT_EQ(ScreenRescue::containmentBounds({laptop, external}), (QList<QRectF>{laptop.frame, external.frame}));
}

TEST(ScreenRescueTest, ContainedClampsIntoTheUnionOfTheBounds)
{
    const QList<QRectF> sideBySide{{0, 0, 1440, 900}, rightArea};
    struct Case {
        const char* name;
        QRectF frame;
        QList<QRectF> bounds;
        QRectF expected;
    };
    const Case cases[] = {
        {"no bounds", {-5000, 0, 10, 10}, {}, {-5000, 0, 10, 10}},
        {"under the panel of a lone screen", {100, 0, 400, 300}, {mainArea}, {100, 25, 400, 300}},
        {"larger than the bounds", {300, 300, 3000, 2000}, {mainArea}, mainArea},
        {"corner neither screen covers", {100, 950, 300, 100}, sideBySide, {100, 950, 300, 100}},
        {"past the right edge of the union", {3300, 100, 300, 200}, sideBySide, {3060, 100, 300, 200}},
        {"negative coordinates", {-2500, -50, 300, 200}, {leftArea, mainArea}, {-1920, 0, 300, 200}},
    };
    for (const Case& c : cases) EXPECT_EQ(ScreenRescue::contained(c.frame, c.bounds), c.expected) << c.name;
}

}  // namespace
