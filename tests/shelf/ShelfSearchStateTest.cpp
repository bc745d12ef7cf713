#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "platform/Settings.h"
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
}

}  // namespace
