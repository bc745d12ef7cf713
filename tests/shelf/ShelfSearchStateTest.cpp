#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "platform/Settings.h"
#include "shelf/ShelfKeys.h"
#include "shelf/ShelfSearchState.h"

namespace {

using Lens = ShelfSearchState::Lens;
using Surface = ShelfSearchState::Surface;
using Commit = ShelfSearchState::Commit;

const QString kLensKey = "shelf.lastLens";
const ShelfRow a = ShelfRow::note(QUuid::createUuid());
const ShelfRow b = ShelfRow::capture(QUuid::createUuid());
const ShelfRow c = ShelfRow::note(QUuid::createUuid());

class ShelfSearchStateTest : public ::testing::Test {
protected:
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    std::unique_ptr<ShelfSearchState> state = std::make_unique<ShelfSearchState>(settings);
};

TEST_F(ShelfSearchStateTest, StoredLensIsReadStrictly)
{
    const std::pair<QVariant, Lens> cases[] = {
        {"captures", Lens::captures}, {"bin", Lens::bin}, {"Bin", Lens::notes},
        {"CAPTURES", Lens::notes},    {2, Lens::notes},   {QVariant(), Lens::notes},
    };
    for (const auto& [stored, expected] : cases) {
        stored.isValid() ? settings.setValue(kLensKey, stored) : settings.remove(kLensKey);
        EXPECT_EQ(ShelfSearchState(settings).lens(), expected) << stored.toString().toStdString();
    }
}

TEST_F(ShelfSearchStateTest, LensIsStoredOnEveryAssignmentAndFlipsOnlyWhileBrowsing)
{
    QSignalSpy lensChanged(state.get(), &ShelfSearchState::lensChanged);
    state->setLens(Lens::notes);  // unchanged: silent, but stored
    EXPECT_EQ(settings.storedValue(kLensKey), QVariant("notes"));
    state->setBrowseRows({a, b});
    for (Lens expected : {Lens::bin, Lens::captures, Lens::notes}) {
        state->setSelectedRow(b);
        state->setShowActions(true);
        state->flipLens();
        EXPECT_EQ(state->lens(), expected);
        EXPECT_EQ(settings.stringValue(kLensKey), ShelfSearchState::rawValue(expected));
        EXPECT_EQ(state->selectedRow(), std::nullopt);
        EXPECT_FALSE(state->showActions());
    }
    EXPECT_EQ(lensChanged.count(), 3);

    // Tab while searching changes nothing; a lens chosen then keeps the search surface.
    state->setQuery("x");
    state->flipLens();
    EXPECT_EQ(state->lens(), Lens::notes);
    state->setLens(Lens::bin);
    EXPECT_EQ(state->surface(), Surface::search);
}

TEST_F(ShelfSearchStateTest, MoveSelectionClampsAndTreatsAStaleSelectionAsNone)
{
    const ShelfRow gone = ShelfRow::binNote(a.id);  // the same note in the bin is another row
    const struct {
        std::optional<ShelfRow> from;
        int delta;
        ShelfRow to;
    } cases[] = {
        {std::nullopt, +1, a}, {std::nullopt, -1, a}, {a, +1, b}, {b, -1, a}, {c, +1, c}, {a, -1, a}, {gone, -1, a},
    };
    state->setBrowseRows({a, b, c});
    for (const auto& tc : cases) {
        state->setSelectedRow(tc.from);
        state->setShowActions(true);
        state->moveSelection(tc.delta);
        EXPECT_EQ(state->selectedRow(), tc.to);
        EXPECT_FALSE(state->showActions());
    }
    // Without rows nothing at all happens.
    state->setBrowseRows({});
    state->setShowActions(true);
    state->moveSelection(+1);
    EXPECT_EQ(state->selectedRow(), a);
    EXPECT_TRUE(state->showActions());
}

TEST_F(ShelfSearchStateTest, QueryKeepsTheSearchSurfaceUntilExitSearch)
{
    state->setBrowseRows({a, b});
    state->setSelectedRow(b);
    QSignalSpy selection(state.get(), &ShelfSearchState::selectedRowChanged);

    state->setQuery(" ");  // a lone space is not a search, but shows its surface
    EXPECT_EQ(state->surface(), Surface::search);
    EXPECT_FALSE(state->isSearching());
    EXPECT_EQ(selection.count(), 1);

    state->setSearchRows({c, a});
    state->setSelectedRow(a);
    state->setShowActions(true);
    state->setQuery(" w");
    EXPECT_EQ(state->selectedRow(), std::nullopt);
    EXPECT_FALSE(state->showActions());
    state->setSelectedRow(c);
    state->setQuery(" w");  // the same text again changes nothing
    EXPECT_EQ(state->selectedRow(), c);

    // Spaces and tabs are trimmed before deciding whether it is a search; line breaks are not.
    for (const auto& [query, searching] : {std::pair{u"\t\u00A0\u3000", false}, {u"\n", true}, {u" a ", true}}) {
        state->setQuery(QString::fromUtf16(query));
        EXPECT_EQ(state->isSearching(), searching);
    }
    state->setQuery(QString());
    EXPECT_EQ(state->surface(), Surface::search);
    state->exitSearch();
    EXPECT_EQ(state->surface(), Surface::browse);
    EXPECT_TRUE(state->searchRows().isEmpty());
    EXPECT_EQ(state->selectedRow(), b);
}

TEST_F(ShelfSearchStateTest, CommitAndToggleActionsSelectTheFirstRowFirst)
{
    EXPECT_EQ(state->commit(), (Commit{Commit::Kind::nothing, std::nullopt}));
    state->toggleActions();  // no rows: nothing selected, but the row still opens
    EXPECT_EQ(state->selectedRow(), std::nullopt);
    EXPECT_TRUE(state->showActions());

    state->setBrowseRows({b, c});
    EXPECT_EQ(state->commit(), (Commit{Commit::Kind::selectedFirstRow, std::nullopt}));
    EXPECT_EQ(state->commit(), Commit::activate(b));
    state->resetSelections();
    EXPECT_FALSE(state->showActions());
    state->toggleActions();
    EXPECT_EQ(state->selectedRow(), b);
    EXPECT_TRUE(state->showActions());

    // A selection that has left the rows counts as none: Return selects, Ctrl+K selects the first row.
    state->setSelectedRow(a);
    EXPECT_EQ(state->listedSelection(), std::nullopt);
    EXPECT_EQ(state->commit(), (Commit{Commit::Kind::selectedFirstRow, std::nullopt}));
    EXPECT_EQ(state->selectedRow(), b);
    state->setSelectedRow(a);
    state->setShowActions(false);
    state->toggleActions();
    EXPECT_EQ(state->selectedRow(), b);
    EXPECT_TRUE(state->actionsRowShown());
}

// The keys that walk and press the actions row's chips go to them only while the selected row really
// shows that row; with the flag set anywhere else (a bin row, an empty list, a selection of the other
// surface or one that has left the list) every key keeps its usual meaning. Escape is the same either
// way: it closes the row first.
TEST(ShelfKeyRoutingTest, ChipsTakeTheKeysOnlyUnderAShownActionsRow)
{
    using Command = ShelfKeys::Command;
    const ShelfRow bin = ShelfRow::binNote(QUuid::createUuid());
    const std::optional<ShelfRow> none;
    // The flag is set in each; the browse surface keeps `browsed` selected while the search one is shown.
    const struct {
        const char* name;
        Surface surface;
        QList<ShelfRow> rows;
        std::optional<ShelfRow> selected, browsed;
        bool chips;
    } situations[] = {
        {"note row", Surface::browse, {a, b}, a, none, true},
        {"capture row", Surface::browse, {a, b}, b, none, true},
        {"search result", Surface::search, {b, c}, c, none, true},
        {"bin row", Surface::browse, {bin, a}, bin, none, false},
        {"empty lens", Surface::browse, {}, none, none, false},
        {"row gone from the list", Surface::browse, {c}, a, none, false},
        {"no search results", Surface::search, {}, none, none, false},
        {"selection on the other surface", Surface::search, {a}, none, a, false},
    };
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        Command onChips, otherwise;
    } keys[] = {
        {Qt::Key_Return, Qt::NoModifier, Command::pressAction, Command::commit},
        {Qt::Key_Enter, Qt::KeypadModifier, Command::pressAction, Command::commit},
        {Qt::Key_Space, Qt::NoModifier, Command::pressAction, Command::none},
        {Qt::Key_Tab, Qt::NoModifier, Command::nextAction, Command::flipLens},
        {Qt::Key_Backtab, Qt::ShiftModifier, Command::previousAction, Command::toFooter},
        {Qt::Key_Right, Qt::NoModifier, Command::nextAction, Command::none},
        {Qt::Key_Left, Qt::NoModifier, Command::previousAction, Command::none},
        {Qt::Key_A, Qt::NoModifier, Command::none, Command::none},
        {Qt::Key_Escape, Qt::NoModifier, Command::escape, Command::escape},
    };
    for (const auto& situation : situations) {
        Settings settings{std::make_unique<MemorySettingsBackend>()};
        ShelfSearchState state(settings);
        state.setBrowseRows(situation.surface == Surface::browse ? situation.rows : QList<ShelfRow>{a});
        state.setSelectedRow(situation.surface == Surface::browse ? situation.selected : situation.browsed);
        if (situation.surface == Surface::search) {
            state.setQuery("x");
            state.setSearchRows(situation.rows);
            state.setSelectedRow(situation.selected);
        }
        state.setShowActions(true);
        EXPECT_EQ(state.actionsRowShown(), situation.chips) << situation.name;
        for (const auto& k : keys)
            EXPECT_EQ(ShelfKeys::route(k.key, k.mods, state.actionsRowShown()),
                      situation.chips ? k.onChips : k.otherwise)
                << situation.name << ", key " << k.key;
    }
}

}  // namespace
