#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/Settings.h"
#include "windows/NoteWindowGeometry.h"
#include "windows/NoteWindowKeys.h"

namespace {

namespace G = NoteWindowGeometry;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(NoteWindowGeometryTest, SizeLimitsAndTheSharedSize)
{
    EXPECT_EQ(G::maximumSize(QRectF(0, 0, 1920, 1080)), QSizeF(1400, 993.6));
    EXPECT_EQ(G::maximumSize(QRectF(0, 0, 1000, 700)), QSizeF(920, 644));
    EXPECT_EQ(G::maximumSize(std::nullopt), QSizeF(1288, 1012));
    // A maximum below the minimum wins.
    EXPECT_EQ(G::clampedSize({100, 100}, {200, 150}), QSizeF(200, 150));

    Settings settings{std::make_unique<MemorySettingsBackend>()};
    const QSizeF max(1400, 993.6);
    EXPECT_EQ(G::globalNoteSize(settings, max), QSizeF(360, 280));
    settings.setValue("notes.windowWidth", 200.0);
    settings.setValue("notes.windowHeight", 500.0);
    EXPECT_EQ(G::globalNoteSize(settings, max), QSizeF(360, 280));
    settings.setValue("notes.windowWidth", nan);
    EXPECT_EQ(G::globalNoteSize(settings, max), QSizeF(360, 280));
    settings.setValue("notes.windowWidth", 5000.0);
    EXPECT_EQ(G::globalNoteSize(settings, max), QSizeF(1400, 500));
}

TEST(NoteWindowGeometryTest, FirstFrameKeepsTheSavedCornerWithTheSharedSizeOrOpensTopRight)
{
    const QRectF screen(0, 0, 1280, 800), available(0, 24, 1280, 776);
    G::FirstFrameInput input{std::nullopt, {360, 280}, available, {screen}, {available}};
    // New: right edge 60 and top 80 inside the work area.
    EXPECT_EQ(G::firstFrame(input), QRectF(860, 104, 360, 280));

    input.savedFrame = QRectF(200, 150, 900, 900);
    EXPECT_EQ(G::firstFrame(input), QRectF(200, 150, 360, 280));

    // Saved far off screen: rescued onto the preferred screen.
    input.savedFrame = QRectF(-5000, 9000, 360, 280);
    const QRectF rescued = G::firstFrame(input);
    EXPECT_TRUE(available.contains(rescued)) << rescued.x() << "," << rescued.y();

    // A saved frame that is not a frame places the window as new.
    for (const QRectF bad : {QRectF(nan, 10, 360, 280), QRectF(10, 10, 0, 0), QRectF(10, 10, -4, 280)}) {
        input.savedFrame = bad;
        EXPECT_EQ(G::firstFrame(input), QRectF(860, 104, 360, 280));
    }
}

TEST(NoteWindowGeometryTest, ZoomRollAndGripKeepTheTopLeftCorner)
{
    const QSizeF max(1400, 993.6);
    // Within 20 points of the maximum both ways counts as zoomed.
    const QRectF big(50, 60, 1390, 980);
    EXPECT_EQ(G::toggleZoom(big, max, std::nullopt).target, QRectF(50, 60, 260, 180));
    EXPECT_EQ(G::toggleZoom(big, max, QRectF(1, 2, 300, 300)).target, QRectF(1, 2, 300, 300));
    const G::Zoom zoomIn = G::toggleZoom(QRectF(50, 60, 360, 280), max, std::nullopt);
    EXPECT_EQ(zoomIn.target, QRectF(50, 60, 1400, 993.6));
    EXPECT_EQ(zoomIn.lastUserFrame, QRectF(50, 60, 360, 280));

    EXPECT_EQ(G::rolledFrame(QRectF(10, 20, 360, 280)), QRectF(10, 20, 360, 82));

    EXPECT_EQ(G::gripResized(QRectF(10, 20, 360, 280), -160, 0, max), QRectF(10, 20, 260, 280));
    EXPECT_EQ(G::gripResized(QRectF(10, 20, 260, 280), -10, 0, max), std::nullopt);
    EXPECT_EQ(G::gripResized(QRectF(10, 20, 360, 280), nan, 5, max), std::nullopt);

    // The drag follows the pointer: started 30, 40 points ago, the window moves by the pointer's travel.
    const QPointF start = G::dragMouseStart({500, 500}, 30, 40);
    EXPECT_EQ(start, QPointF(470, 460));
    EXPECT_EQ(G::draggedOrigin({100, 100}, start, {520, 510}), QPointF(150, 150));
}

TEST(NoteWindowKeysTest, CommandsAndWhatPassesOn)
{
    using C = NoteWindowKeys::Command;
    const auto ctrl = Qt::ControlModifier, alt = Qt::AltModifier, shift = Qt::ShiftModifier;
    struct Row {
        int key;
        Qt::KeyboardModifiers mods;
        C expected;
    };
    const Row rows[] = {
        {Qt::Key_Left, ctrl | alt, C::previousNote},
        {Qt::Key_Right, ctrl | alt | Qt::KeypadModifier, C::nextNote},
        {Qt::Key_PageUp, ctrl, C::previousNote},
        {Qt::Key_PageDown, ctrl, C::nextNote},
        {Qt::Key_Right, ctrl | alt | shift, C::none},
        {Qt::Key_Right, ctrl, C::none},
        {Qt::Key_W, ctrl, C::closeNote},
        {Qt::Key_W, ctrl | shift, C::none},
        {Qt::Key_F, ctrl, C::find},
        {Qt::Key_F, ctrl | shift, C::toggleSearchPalette},
        {Qt::Key_Z, ctrl, C::none},
        {Qt::Key_Z, ctrl | shift, C::none},
        {Qt::Key_V, ctrl, C::none},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NoteWindowKeys::commandFor(row.key, row.mods), row.expected) << row.key << " " << int(row.mods);
}

}  // namespace
