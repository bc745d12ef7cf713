#include <gtest/gtest.h>

#include <QAbstractAnimation>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

#include "design/HexColor.h"
#include "model/NoteTheme.h"
#include "platform/NotificationCenter.h"
#include "settings/ThemeGrid.h"
#include "store/NoteThemes.h"
#include "support/NoteStoreFixture.h"
#include "themes/ColorField.h"
#include "themes/NotePalettePopover.h"
#include "themes/ThemeWindowController.h"

namespace {

struct NotePalettePopoverTest : tarnwick::test::NoteStoreTestBase {
    void SetUp() override
    {
        note = addNote("Plan");
        store->saveNow();
        anchor.resize(40, 20);
        anchor.show();
        controller = std::make_unique<ThemeWindowController>(*store, settings);
        palette = new NotePalettePopover(*store, *note, controller.get(), &anchor);
        palette->popUp();
        token = NotificationCenter::shared().observe(tarnwickThemeChanged, [this](const Notification&) { ++posts; });
    }
    void TearDown() override
    {
        if (palette) palette->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QWidget anchor;
    Note* note = nullptr;
    std::unique_ptr<ThemeWindowController> controller;
    QPointer<NotePalettePopover> palette;
    ObserverToken token;
    int posts = 0;
};

}  // namespace

TEST_F(NotePalettePopoverTest, OpeningAndFillingWriteNothingAndTheResetRowFollowsOverrides)
{
    EXPECT_EQ(palette->grid()->themes().size(), 6);
    EXPECT_EQ(palette->grid()->selectedID(), "blue");
    palette->setCustomising(true);
    palette->paperField()->swatchButton()->click();
    EXPECT_EQ(posts, 0) << "opening the palette and the picker wrote something";
    EXPECT_FALSE(note->paperHexOverride());
    EXPECT_FALSE(note->fontFamilyOverride());
    EXPECT_TRUE(palette->resetRow()->isHidden());

    // The picker over the palette: Escape closes it alone.
    ColorPickerPopover* picker = palette->paperField()->picker();
    ASSERT_TRUE(picker);
    EXPECT_TRUE(picker->hexField()->hasFocus() || picker->hexField()->selectedText() == picker->hexField()->text());
    QTest::keyClicks(picker->hexField(), "2b5c93");
    EXPECT_EQ(*note->paperHexOverride(), "2B5C93");
    EXPECT_EQ(posts, 2) << "the three-digit reading, then the whole code";
    EXPECT_FALSE(palette->resetRow()->isHidden());
    QTest::keyClick(picker->hexField(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(palette->paperField()->picker());
    EXPECT_TRUE(palette->isVisible());

    const int themesBefore = palette->grid()->themes().size();
    palette->familyBox()->setCurrentIndex(palette->familyBox()->count() - 1);
    EXPECT_FALSE(note->fontFamilyOverride()) << "a programmatic selection is no choice of the user's";
    palette->resetButton()->click();
    EXPECT_FALSE(note->paperHexOverride());
    EXPECT_TRUE(palette->resetRow()->isHidden());
    EXPECT_EQ(palette->grid()->themes().size(), themesBefore);
}

// Escape in the open Typeface menu closes the menu alone; the next Escape closes the palette.
TEST_F(NotePalettePopoverTest, EscapeInTheTypefaceMenuClosesOnlyTheMenu)
{
    palette->setCustomising(true);
    QComboBox* family = palette->familyBox();
    family->setFocus();
    family->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return family->view()->isVisible(); }));
    // Asked first whether Escape is a shortcut, the menu takes it and stays open for the key press:
    // closed already, the press would go on to the palette and close it.
    QKeyEvent ask(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);
    ask.ignore();
    QApplication::sendEvent(family->view(), &ask);
    EXPECT_TRUE(ask.isAccepted());
    EXPECT_TRUE(family->view()->isVisible());
    QTest::keyClick(family->view(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !family->view()->isVisible(); }));
    QCoreApplication::processEvents();
    ASSERT_TRUE(palette);
    EXPECT_TRUE(palette->isVisible()) << "the palette went with the menu";
    EXPECT_FALSE(note->fontFamilyOverride());
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : family, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !palette || !palette->isVisible(); })) << "a second Escape closes it";
}

TEST_F(NotePalettePopoverTest, AnUnlistedTypefaceShowsAsTextWithNoRowSelected)
{
    note->setFontFamilyOverride(QStringLiteral("Harbour & <b>Sans</b>"));
    store->saveNow();
    NotificationCenter::shared().post(tarnwickThemeChanged);
    EXPECT_EQ(palette->familyTrailing()->text(), "Harbour & <b>Sans</b>");
    EXPECT_EQ(palette->familyTrailing()->textFormat(), Qt::PlainText);
    EXPECT_EQ(palette->familyBox()->currentIndex(), -1);
}

TEST_F(NotePalettePopoverTest, ReturnInTheNamingFieldSavesTheLookAsATheme)
{
    palette->setCustomising(true);
    palette->saveAsButton()->click();
    ASSERT_TRUE(palette->namingPopover());
    EXPECT_EQ(palette->namingPopover()->windowTitle(), "Name this theme");
    QTest::keyClicks(palette->nameField(), "Harbour");
    QTest::keyClick(palette->nameField(), Qt::Key_Return);
    EXPECT_EQ(sql("SELECT name FROM NoteTheme"), "Harbour");
    EXPECT_EQ(palette->grid()->selectedID(), note->themeID());
    EXPECT_FALSE(palette->customising());
    EXPECT_TRUE(palette->isVisible());

    palette->saveAsButton()->click();
    EXPECT_TRUE(palette->nameField()->text().isEmpty()) << "each naming starts empty";
}

TEST_F(NotePalettePopoverTest, CreatingOpensTheThemeWindowAndClosesThePalette)
{
    palette->palette().create();
    QCoreApplication::processEvents();
    ASSERT_TRUE(controller->window());
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_FALSE(palette && palette->isVisible());
    controller->editorView()->save();
    EXPECT_EQ(sql("SELECT name || revision FROM NoteTheme"), "My theme1");
    EXPECT_EQ(note->themeID(), sql("SELECT id FROM NoteTheme"));
}

// Thirty-six themes are taller than the screen: the grid scrolls within the room under the anchor,
// so the drawer's last row ("Save as a theme…") stays on screen, and the keyboard's tile is kept in view.
TEST_F(NotePalettePopoverTest, AGridTallerThanTheScreenScrollsAndKeepsTheDrawerOnScreen)
{
    palette->close();
    // The first palette gone for good (its focus handed back) before the second opens.
    QTest::qWait(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (int i = 0; i < 30; ++i)
        context().insert(std::make_unique<NoteTheme>(QStringLiteral("T%1").arg(i), QStringLiteral("Theme %1").arg(i),
                                                     Qt::white, std::nullopt, std::nullopt, 1.0, 0));
    store->saveNow();
    store->invalidateThemeCache();
    const QRect screen = anchor.screen()->availableGeometry();
    anchor.move(screen.left() + 20, screen.top() + 40);
    palette = new NotePalettePopover(*store, *note, controller.get(), &anchor, true);
    palette->popUp();
    // The drawer's opening eases in on the wall clock, which a busy machine stretches.
    auto eased = [&] {
        if (!palette || !palette->isVisible()) return false;
        for (const QAbstractAnimation* a : palette->findChildren<QAbstractAnimation*>())
            if (a->state() == QAbstractAnimation::Running) return false;
        return true;
    };
    QTest::qWait(50);
    ASSERT_TRUE(QTest::qWaitFor(eased, 10000));
    ASSERT_EQ(palette->grid()->cellCount(), 37);

    const QRect saveAs(palette->saveAsButton()->mapToGlobal(QPoint(0, 0)), palette->saveAsButton()->size());
    EXPECT_TRUE(screen.contains(saveAs)) << "save as at " << saveAs.y() << " on a screen to " << screen.bottom();
    EXPECT_LT(palette->gridScroll()->height(), palette->grid()->height());

    ThemeGrid* grid = palette->grid();
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_End);
    const QRect last = grid->cellRect(grid->cellCount() - 1);
    EXPECT_TRUE(grid->visibleRegion().boundingRect().contains(last)) << "the last tile was not scrolled into view";
}

// A saturated colour puts the wheel's marker on the rim; it is drawn whole there, past the disc's
// square, and a press on the disc still picks the colour under the pointer.
TEST_F(NotePalettePopoverTest, TheWheelsMarkerIsDrawnWholeAtTheRim)
{
    palette->setCustomising(true);
    palette->paperField()->swatchButton()->click();
    ColorPickerPopover* picker = palette->paperField()->picker();
    ASSERT_TRUE(picker);
    QTest::keyClicks(picker->hexField(), "ff0000");  // red: the top of the rim
    QWidget* wheel = picker->wheel();
    const QImage image = wheel->grab().toImage();
    const int middle = wheel->width() / 2;
    const int rimTop = wheel->height() / 2 - 42;
    ASSERT_GE(rimTop - 7, 0) << "no room above the rim for the marker";
    // The marker's shadow 7 px above its centre, against the same row away from it.
    EXPECT_LT(qGray(image.pixel(middle, rimTop - 7)), qGray(image.pixel(middle - 30, rimTop - 7)) - 15)
        << "the top of the marker is cut off";

    QTest::mouseClick(wheel, Qt::LeftButton, {}, QPoint(middle, wheel->height() / 2));
    EXPECT_LT(hsb(picker->model().color()).s, 0.05) << "the disc's centre is white";
}
