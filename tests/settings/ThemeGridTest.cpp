#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextDocumentFragment>

#include "design/TarnwickTheme.h"
#include "model/NoteTheme.h"
#include "settings/TarnSettingsSection.h"
#include "settings/TarnSwitchToggleStyle.h"
#include "settings/ThemeGrid.h"

namespace {

ResolvedNoteTheme named(const QString& id, const QString& name)
{
    ResolvedNoteTheme theme = NoteTheme::builtIn(Tint::green);
    theme.id = id;
    theme.name = name;
    return theme;
}

struct Grid {
    ThemeGrid grid;
    QStringList picked;
    int created = 0;

    explicit Grid(int width, bool custom = true)
    {
        grid.setOnPick([this](const QString& id) { picked << id; });
        if (custom) grid.setOnCreate([this] { ++created; });
        grid.setThemes(NoteTheme::builtIns());
        grid.resize(width, grid.heightForWidth(width));
    }
    void click(int cell) { QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(cell).center()); }
};

}  // namespace

// The adaptive columns: as many of at least 62 px as fit with 10 px between them, and one when less
// than two fit; the Custom tile leads only when there is an action for it.
TEST(ThemeGridTest, CellsWrapIntoAdaptiveColumns)
{
    EXPECT_EQ(ThemeGrid::columnsFor(133), 1);
    EXPECT_EQ(ThemeGrid::columnsFor(134), 2);
    EXPECT_EQ(ThemeGrid::columnsFor(0), 1);
    EXPECT_EQ(ThemeGrid::columnsFor(512), 7);

    Grid narrow(120);
    ASSERT_EQ(narrow.grid.cellCount(), 7);
    EXPECT_EQ(narrow.grid.cellRect(6).left(), 0);
    EXPECT_GT(narrow.grid.cellRect(6).top(), narrow.grid.cellRect(5).bottom());

    Grid wide(512);
    EXPECT_EQ(wide.grid.cellRect(6).top(), 0);
    EXPECT_GE(wide.grid.cellRect(0).width(), ThemeGrid::kMinColumnWidth);
    EXPECT_EQ(wide.grid.cellRect(6).right(), 511);  // columns share the whole width

    ThemeGrid empty;
    EXPECT_EQ(empty.heightForWidth(300), 0);
    empty.setOnCreate([] {});
    EXPECT_EQ(empty.cellCount(), 1);
    EXPECT_EQ(empty.accessibleNameFor(0), "Create a custom theme");
    EXPECT_GT(empty.heightForWidth(300), ThemeGrid::kSwatchHeight);
}

// A click reports the tile's id and leaves the selection to the caller; the Custom tile creates; a
// press dragged off its tile does nothing.
TEST(ThemeGridTest, ClicksReportTheTileAndNeverSelectByThemselves)
{
    Grid g(512);
    g.grid.setSelectedID("blue");
    g.click(3);  // Custom, slate, blue, green
    g.click(0);
    EXPECT_EQ(g.picked, QStringList{"green"});
    EXPECT_EQ(g.created, 1);
    EXPECT_EQ(g.grid.selectedID(), "blue");

    QTest::mousePress(&g.grid, Qt::LeftButton, {}, g.grid.cellRect(1).center());
    QTest::mouseRelease(&g.grid, Qt::LeftButton, {}, g.grid.cellRect(2).center());
    EXPECT_EQ(g.picked.size(), 1);

    Grid plain(512, false);
    plain.click(0);
    EXPECT_EQ(plain.picked, QStringList{"slate"});

    // A double click, as the platform sends it, acts once.
    for (int cell : {0, 3}) {
        const QPoint at = g.grid.cellRect(cell).center();
        QTest::mousePress(&g.grid, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&g.grid, Qt::LeftButton, {}, at);
        QTest::mouseDClick(&g.grid, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&g.grid, Qt::LeftButton, {}, at);
    }
    EXPECT_EQ(g.created, 2);
    EXPECT_EQ(g.picked, (QStringList{"green", "green"}));
}

// Theme names come from users: the tooltip shows them literally and the accessible tiles carry them
// verbatim, with the selected state on the selected tile only.
TEST(ThemeGridTest, NamesStayPlainTextInTooltipsAndAccessibleTiles)
{
    ThemeGrid grid;
    grid.setThemes({named("a", "<b>Bold</b> & co"), named("b", "Second")});
    grid.setSelectedID("b");
    grid.resize(300, grid.heightForWidth(300));
    const QString tip = grid.toolTipFor(0);
    QLabel shown;
    shown.setText(tip);
    EXPECT_EQ(QTextDocumentFragment::fromHtml(tip).toPlainText(), "<b>Bold</b> & co");

    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_TRUE(iface);
    ASSERT_EQ(iface->childCount(), 2);
    EXPECT_EQ(iface->child(0)->text(QAccessible::Name), "<b>Bold</b> & co");
    EXPECT_FALSE(iface->child(0)->state().selected);
    EXPECT_TRUE(iface->child(1)->state().selected);
    EXPECT_EQ(iface->indexOfChild(iface->child(1)), 1);
    grid.setSelectedID("gone");
    EXPECT_FALSE(iface->child(1)->state().selected);
}

// The selection mark is the 2 px accent border; other tiles keep the hairline.
TEST(ThemeGridTest, OnlyTheSelectedTileWearsTheAccentBorder)
{
    Grid g(512, false);
    g.grid.setSelectedID("green");
    const QImage image = g.grid.grab().toImage();
    const auto leftEdge = [&](int cell) {
        const QRect r = g.grid.cellRect(cell);
        return image.pixelColor(r.left() + 1, r.top() + ThemeGrid::kSwatchHeight / 2);
    };
    const auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 40;
    };
    EXPECT_TRUE(near(leftEdge(2), TarnwickTheme::accent()));
    EXPECT_FALSE(near(leftEdge(1), TarnwickTheme::accent()));
}

// The chrome: titles in capitals, no title row when absent, and a labelled switch that toggles from
// the keyboard and names itself after its title.
TEST(ThemeGridTest, SettingsChromeShowsTitlesAndSwitches)
{
    TarnSettingsSection titled("Startup & Tray");
    ASSERT_TRUE(titled.titleLabel());
    EXPECT_EQ(titled.titleLabel()->text(), "STARTUP & TRAY");
    TarnSettingsSection bare;
    EXPECT_FALSE(bare.titleLabel());

    TarnSwitchToggleStyle row("Show in the taskbar", "Off = tray only, no taskbar clutter");
    row.show();
    TarnSwitch* toggle = row.toggle();
    EXPECT_EQ(toggle->accessibleName(), "Show in the taskbar");
    toggle->setFocus();
    QTest::keyClick(toggle, Qt::Key_Space);
    EXPECT_TRUE(toggle->isChecked());
    toggle->setEnabled(false);
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_TRUE(toggle->isChecked());
}

// The grid is one Tab stop that starts on the selected tile; arrows move (rows by the column count,
// never off the grid), Space picks. What a screen reader sees follows: every tile a named child, the
// selected one selected, the keyboard's tile the focused child, and its press action picks.
TEST(ThemeGridTest, KeyboardAndScreenReaderReachEveryTile)
{
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* grid = new ThemeGrid(&window);
    auto* after = new QLineEdit(&window);
    QStringList picked;
    grid->setOnPick([&](const QString& id) { picked << id; });
    grid->setOnCreate([] {});
    grid->setThemes(NoteTheme::builtIns());
    grid->setSelectedID(NoteTheme::builtIns()[2].id);
    grid->setGeometry(0, 30, 300, grid->heightForWidth(300));  // four columns
    after->move(0, 200);
    window.resize(320, 240);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentCell(), 3) << "the keyboard starts on the selected tile (after Custom)";

    QAccessibleInterface* tiles = QAccessible::queryAccessibleInterface(grid);
    ASSERT_EQ(tiles->childCount(), 7);
    EXPECT_EQ(tiles->child(0)->text(QAccessible::Name), "Create a custom theme");
    EXPECT_EQ(tiles->child(3)->text(QAccessible::Name), NoteTheme::builtIns()[2].name);
    EXPECT_TRUE(tiles->child(3)->state().selected);
    EXPECT_FALSE(tiles->child(4)->state().selected);
    EXPECT_EQ(tiles->focusChild(), tiles->child(3));
    EXPECT_TRUE(tiles->child(3)->state().focused);

    QTest::keyClick(grid, Qt::Key_Right);  // onto the next row
    EXPECT_EQ(grid->currentCell(), 4);
    QTest::keyClick(grid, Qt::Key_Down);  // no tile below: stays
    EXPECT_EQ(grid->currentCell(), 4);
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Left);  // the first tile is the edge
    EXPECT_EQ(grid->currentCell(), 0);
    QTest::keyClick(grid, Qt::Key_End);
    QTest::keyClick(grid, Qt::Key_Right);
    EXPECT_EQ(grid->currentCell(), 6);
    EXPECT_EQ(tiles->focusChild(), tiles->child(6));
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(picked, QStringList{NoteTheme::builtIns()[5].id});

    tiles->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(picked.last(), NoteTheme::builtIns()[0].id);

    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_TRUE(after->hasFocus()) << "the tiles are one Tab stop";
    EXPECT_EQ(tiles->focusChild(), nullptr);
}
