#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
