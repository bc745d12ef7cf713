#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include "shelf/ShelfFixture.h"
#include "shelf/ShelfListView.h"
#include "shelf/ShelfWindowHost.h"
#include "support/KeyboardAtHide.h"

using namespace tarnwick::test;

class ShelfPanelTest : public ShelfFixture {
protected:
    void SetUp() override
    {
        ShelfFixture::SetUp();
        ShelfPanel::Options options;
        options.showSettings = [this] { ++settingsShown; };
        windows = std::make_unique<ShelfWindowHost>(*shelf, Clock::system(), Settings::shared(), options);
    }
    void TearDown() override
    {
        windows.reset();
        ShelfFixture::TearDown();
    }
    std::unique_ptr<ShelfWindowHost> windows;
    int settingsShown = 0;
};

// The field keeps the keyboard: letters edit the query, the shelf keys move the state, Tab turns the
// lenses without moving the focus, and Ctrl+A stays the field's.
TEST_F(ShelfPanelTest, TheSearchFieldRoutesKeys)
{
    addNote("zebra one");
    addNote("zebra two", {}, 5);
    store->saveNow();
    shelf->present();
    ShelfPanel* panel = windows->panel();
    ASSERT_TRUE(panel);
    QLineEdit* field = panel->searchField();
    EXPECT_EQ(panel->windowTitle(), "Tarnwick shelf");

    ASSERT_EQ(state().lens(), ShelfSearchState::Lens::notes);
    QTest::keyClick(field, Qt::Key_Tab);
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(state().lens(), ShelfSearchState::Lens::captures);  // each flips to the next lens
    EXPECT_EQ(panel->focusWidget(), field);

    QTest::keyClicks(field, "zeb");
    EXPECT_EQ(state().query(), "zeb");
    EXPECT_EQ(state().surface(), ShelfSearchState::Surface::search);
    turn();
    EXPECT_EQ(shelf->searchRuns(), 1);
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(state().selectedRow(), state().searchRows().value(1));
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "zeb");
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1);
    QTest::keyClick(field, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(shelf->isOpen());

    if (qEnvironmentVariableIsSet("TARNWICK_SHELF_SHOT")) {
        shelf->present();
        QTest::keyClick(windows->panel()->searchField(), Qt::Key_K, Qt::ControlModifier);
        windows->panel()->grab().save(qEnvironmentVariable("TARNWICK_SHELF_SHOT"));
    }
}

// The footer is reached by Shift+Tab from the field (unless the actions row has the keys) and walked
// round back to it; its buttons press with Space and Return; Ctrl+, opens the settings from the field
// and the footer; Escape there still closes the shelf.
TEST_F(ShelfPanelTest, TheFooterTakesTheKeyboard)
{
    addNote("one");
    store->saveNow();
    shelf->present();
    ShelfPanel* panel = windows->panel();
    panel->show();
    QApplication::setActiveWindow(panel);
    QLineEdit* field = panel->searchField();
    const QList<QToolButton*> footer = panel->footerButtons();
    ASSERT_EQ(footer.size(), 3);

    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), field);
    QTest::keyClick(field, Qt::Key_Escape);
    const auto lens = state().lens();
    QList<QWidget*> walk;
    for (const auto key :
         {Qt::Key_Backtab, Qt::Key_Backtab, Qt::Key_Backtab, Qt::Key_Backtab, Qt::Key_Backtab, Qt::Key_Tab}) {
        QTest::keyClick(QApplication::focusWidget(), key, key == Qt::Key_Tab ? Qt::NoModifier : Qt::ShiftModifier);
        walk << QApplication::focusWidget();
    }
    EXPECT_EQ(walk, (QList<QWidget*>{footer[2], footer[1], footer[0], field, footer[2], field}));
    EXPECT_EQ(state().lens(), lens) << "only Tab in the field turns the lens";

    QTest::keyClick(field, Qt::Key_Comma, Qt::ControlModifier);
    QTest::keyClick(footer[1], Qt::Key_Comma, Qt::ControlModifier);
    QTest::keyClick(footer[1], Qt::Key_Space);
    EXPECT_EQ(settingsShown, 3);
    EXPECT_EQ(field->text(), "");
    QTest::keyClick(footer[0], Qt::Key_Return);
    EXPECT_EQ(opened.size(), 1) << "New note";
    QTest::keyClick(footer[2], Qt::Key_Escape);
    EXPECT_FALSE(shelf->isOpen());
}

// Escape gives the note the shelf was opened over the keyboard, in the field that had it, before the
// shelf hides; a shelf closed because another window took the keyboard hands nothing on.
TEST_F(ShelfPanelTest, EscapeGivesTheKeyboardBackBeforeTheShelfHides)
{
    QWidget note;
    new QLineEdit(&note);
    auto* field = new QLineEdit(&note);
    note.show();
    note.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&note));
    field->setFocus();

    shelf->present();
    ShelfPanel* panel = windows->panel();
    ASSERT_TRUE(panel);
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
    KeyboardAtHide escaped(panel);
    QTest::keyClick(panel->searchField(), Qt::Key_Escape);
    EXPECT_FALSE(shelf->isOpen());
    ASSERT_EQ(escaped.hides(), 1);
    EXPECT_EQ(escaped.activeAtHide(), &note);
    EXPECT_TRUE(field->hasFocus());

    shelf->present();
    panel = windows->panel();
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    KeyboardAtHide leftBehind(panel);
    shelf->dismiss();
    EXPECT_EQ(leftBehind.activeAtHide(), &elsewhere);
}

// Ctrl+K sets the actions flag also where no actions row can show (a bin row, an empty lens): there
// Return restores, Tab turns the lens, Shift+Tab reaches the footer and a space is typed.
TEST_F(ShelfPanelTest, WithoutAnActionsRowTheKeysKeepTheirMeaning)
{
    Note* first = addNote("first", {}, 5);
    Note* second = addNote("second");
    store->softDelete(*first);
    store->softDelete(*second);
    state().setLens(ShelfSearchState::Lens::bin);
    shelf->present();
    ShelfPanel* panel = windows->panel();
    panel->show();
    QApplication::setActiveWindow(panel);
    QLineEdit* field = panel->searchField();
    ASSERT_EQ(state().browseRows().size(), 2);

    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(state().showActions());
    EXPECT_EQ(shelf->browseModel().actionsItem(), -1);
    const QUuid restored = state().selectedRow()->id;
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(store->note(restored)->isTrashed());
    turn();
    ASSERT_EQ(state().browseRows().size(), 1);

    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(state().lens(), ShelfSearchState::Lens::captures);
    turn();
    ASSERT_TRUE(state().browseRows().isEmpty());

    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(state().showActions());
    QTest::keyClick(field, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), panel->footerButtons().last());
    field->setFocus();
    QTest::keyClicks(field, " ab");
    EXPECT_EQ(state().query(), " ab");
    EXPECT_EQ(field->text(), " ab");
}

// The unsaved warning wins over the capture one; both are plain text.
TEST_F(ShelfPanelTest, BannersShowWhatIsWrongAsPlainText)
{
    ShelfPanel::Options options;
    options.storeFailed = true;
    options.captureBroken = [] { return true; };
    windows = std::make_unique<ShelfWindowHost>(*shelf, Clock::system(), Settings::shared(), options);
    shelf->present();
    QStringList texts;
    for (auto* l : windows->panel()->bannerWidget()->findChildren<QLabel*>())
        if (!l->text().isEmpty()) texts << l->text();
    EXPECT_EQ(texts, QStringList{"Notes aren\u2019t being saved. Quit and reopen Tarnwick."});
    shelf->dismiss();

    options.storeFailed = false;
    windows = std::make_unique<ShelfWindowHost>(*shelf, Clock::system(), Settings::shared(), options);
    shelf->present();
    texts.clear();
    for (auto* l : windows->panel()->bannerWidget()->findChildren<QLabel*>()) {
        if (l->text().isEmpty()) continue;
        texts << l->text();
        EXPECT_EQ(l->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(texts, QStringList{"Alt+Shift+Space can't read your selection. Fix in Permissions."});
    EXPECT_FALSE(windows->panel()->bannerWidget()->isHidden());
}

// The screen changes under the open shelf: it goes where it would open now; a shelf opened again
// afterwards stands at the same place.
TEST_F(ShelfPanelTest, AScreenChangePlacesTheOpenShelfAgain)
{
    shelf->present();
    ShelfPanel* panel = windows->panel();
    ASSERT_TRUE(panel);
    const std::optional<QRect> where = windows->placement(false);
    ASSERT_TRUE(where);
    panel->move(762, 29);  // where it hung on a larger screen
    QScreen* screen = QGuiApplication::primaryScreen();
    Q_EMIT screen->geometryChanged(screen->geometry());
    Q_EMIT screen->availableGeometryChanged(screen->availableGeometry());
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->pos(), where->topLeft());
    shelf->dismiss();
    shelf->present();
    EXPECT_EQ(windows->panel()->pos(), where->topLeft());
}
