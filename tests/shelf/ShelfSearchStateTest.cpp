#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "platform/Settings.h"
#include "shelf/ShelfSearchState.h"

namespace {

using Lens = ShelfSearchState::Lens;
using Surface = ShelfSearchState::Surface;
using Commit = ShelfSearchState::Commit;

const ShelfRow a = ShelfRow::note(QUuid::createUuid());
const ShelfRow b = ShelfRow::capture(QUuid::createUuid());
const ShelfRow c = ShelfRow::note(QUuid::createUuid());

class ShelfSearchStateTest : public ::testing::Test {
protected:
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    std::unique_ptr<ShelfSearchState> state = std::make_unique<ShelfSearchState>(settings);

    void recreate() { state = std::make_unique<ShelfSearchState>(settings); }
};

TEST_F(ShelfSearchStateTest, StoredLensIsReadStrictly)
{
    const struct {
        QVariant stored;
        Lens expected;
    } cases[] = {
        {QStringLiteral("captures"), Lens::captures},
        {QStringLiteral("bin"), Lens::bin},
        {QStringLiteral("notes"), Lens::notes},
        {QStringLiteral("Bin"), Lens::notes},
        {QStringLiteral("CAPTURES"), Lens::notes},
        {QStringLiteral(" bin"), Lens::notes},
        {2, Lens::notes},
        {true, Lens::notes},
        {QVariant(), Lens::notes},
    };
    for (const auto& tc : cases) {
        if (tc.stored.isValid())
            settings.setValue(QStringLiteral("shelf.lastLens"), tc.stored);
        else
            settings.remove(QStringLiteral("shelf.lastLens"));
        recreate();
        EXPECT_EQ(state->lens(), tc.expected) << tc.stored.toString().toStdString();
    }
}

TEST_F(ShelfSearchStateTest, LensIsStoredOnEveryAssignmentAndFlipsInPickerOrder)
{
    QSignalSpy lensChanged(state.get(), &ShelfSearchState::lensChanged);
    state->setLens(Lens::notes);  // the lens it already has: stored, but silent
    EXPECT_EQ(lensChanged.count(), 0);
    EXPECT_EQ(settings.storedValue(QStringLiteral("shelf.lastLens")), QVariant(QStringLiteral("notes")));

    state->setBrowseRows({a, b});
    state->setSelectedRow(b);
    state->setShowActions(true);
    const Lens order[] = {Lens::bin, Lens::captures, Lens::notes};
    for (Lens expected : order) {
        state->flipLens();
        EXPECT_EQ(state->lens(), expected);
        EXPECT_EQ(settings.stringValue(QStringLiteral("shelf.lastLens")), ShelfSearchState::rawValue(expected));
        EXPECT_EQ(state->selectedRow(), std::nullopt);
        EXPECT_FALSE(state->showActions());
    }
    EXPECT_EQ(lensChanged.count(), 3);

    settings.setValue(QStringLiteral("shelf.lastLens"), QStringLiteral("bin"));
    recreate();
    state->flipLens();
    EXPECT_EQ(settings.stringValue(QStringLiteral("shelf.lastLens")), QStringLiteral("captures"));
}

TEST_F(ShelfSearchStateTest, TabWhileSearchingChangesNothingAndLensNeverChangesSurface)
{
    state->setQuery(QStringLiteral("x"));
    state->setSearchRows({a});
    state->setSelectedRow(a);
    state->flipLens();
    EXPECT_EQ(state->lens(), Lens::notes);
    EXPECT_EQ(state->selectedRow(), a);
    EXPECT_FALSE(settings.contains(QStringLiteral("shelf.lastLens")));

    state->setLens(Lens::bin);
    EXPECT_EQ(state->surface(), Surface::search);
}

TEST_F(ShelfSearchStateTest, MoveSelectionClampsAndTreatsAStaleSelectionAsNone)
{
    const ShelfRow gone = ShelfRow::binNote(a.id);  // same note, other list: not among the rows
    const struct {
        std::optional<ShelfRow> from;
        int delta;
        ShelfRow to;
    } cases[] = {
        {std::nullopt, +1, a}, {std::nullopt, -1, a}, {a, +1, b}, {b, -1, a}, {c, +1, c}, {a, -1, a}, {a, +7, c},
        {gone, +1, a},         {gone, -1, a},
    };
    state->setBrowseRows({a, b, c});
    for (const auto& tc : cases) {
        state->setSelectedRow(tc.from);
        state->setShowActions(true);
        state->moveSelection(tc.delta);
        EXPECT_EQ(state->selectedRow(), tc.to);
        EXPECT_FALSE(state->showActions());
    }

    // Without rows nothing moves and the actions row stays as it was.
    state->setBrowseRows({});
    state->setSelectedRow(b);
    state->setShowActions(true);
    state->moveSelection(+1);
    EXPECT_EQ(state->selectedRow(), b);
    EXPECT_TRUE(state->showActions());
}

TEST_F(ShelfSearchStateTest, QueryRules)
{
    state->setBrowseRows({a, b});
    state->setSelectedRow(b);

    // A lone space already switches to the search surface, though it is not a search yet.
    state->setQuery(QStringLiteral(" "));
    EXPECT_EQ(state->surface(), Surface::search);
    EXPECT_FALSE(state->isSearching());
    EXPECT_EQ(state->selectedRow(), std::nullopt);

    // Each keystroke clears the search selection and closes the actions row.
    state->setSearchRows({c, a});
    state->setSelectedRow(a);
    state->setShowActions(true);
    state->setQuery(QStringLiteral(" w"));
    EXPECT_EQ(state->selectedRow(), std::nullopt);
    EXPECT_FALSE(state->showActions());

    // The same text again is silent.
    state->setSelectedRow(c);
    QSignalSpy queryChanged(state.get(), &ShelfSearchState::queryChanged);
    state->setQuery(QStringLiteral(" w"));
    EXPECT_EQ(queryChanged.count(), 0);
    EXPECT_EQ(state->selectedRow(), c);

    // Deleting the text stays on the search surface; only exitSearch() goes back, to the same row.
    state->setQuery(QString());
    EXPECT_EQ(state->surface(), Surface::search);
    state->exitSearch();
    EXPECT_EQ(state->surface(), Surface::browse);
    EXPECT_TRUE(state->searchRows().isEmpty());
    EXPECT_EQ(state->selectedRow(), b);
    EXPECT_EQ(state->rows(), (QList<ShelfRow>{a, b}));

    // An empty query while browsing does nothing to the surface.
    state->exitSearch();
    EXPECT_EQ(state->surface(), Surface::browse);
}

TEST_F(ShelfSearchStateTest, IsSearchingTrimsSpacesAndTabsButNotLineBreaks)
{
    const struct {
        const char16_t* query;
        bool searching;
    } cases[] = {
        {u"", false}, {u" \t ", false}, {u"\u00A0\u3000", false}, {u"\n", true}, {u" a ", true}, {u"\t\r\t", true},
    };
    for (const auto& tc : cases) {
        state->setQuery(QString::fromUtf16(tc.query));
        EXPECT_EQ(state->isSearching(), tc.searching) << QString::fromUtf16(tc.query).toStdString();
    }
}

TEST_F(ShelfSearchStateTest, CommitSelectsFirstThenActivates)
{
    EXPECT_EQ(state->commit(), (Commit{Commit::Kind::nothing, std::nullopt}));
    state->setBrowseRows({b, c});
    EXPECT_EQ(state->commit(), (Commit{Commit::Kind::selectedFirstRow, std::nullopt}));
    EXPECT_EQ(state->selectedRow(), b);
    state->setShowActions(true);
    EXPECT_EQ(state->commit(), Commit::activate(b));
    EXPECT_TRUE(state->showActions());
}

TEST_F(ShelfSearchStateTest, ToggleActionsSelectsFirstRowAndAlwaysInverts)
{
    QSignalSpy actions(state.get(), &ShelfSearchState::showActionsChanged);
    state->toggleActions();
    EXPECT_EQ(state->selectedRow(), std::nullopt);
    EXPECT_TRUE(state->showActions());
    state->toggleActions();
    EXPECT_FALSE(state->showActions());
    EXPECT_EQ(actions.count(), 2);

    state->setBrowseRows({c, a});
    state->toggleActions();
    EXPECT_EQ(state->selectedRow(), c);
    state->setSelectedRow(a);
    state->toggleActions();
    EXPECT_EQ(state->selectedRow(), a);
}

TEST_F(ShelfSearchStateTest, SelectionsArePerSurfaceAndSignalOnlyOnRealChange)
{
    state->setBrowseRows({a, b});
    state->setSelectedRow(a);
    QSignalSpy selection(state.get(), &ShelfSearchState::selectedRowChanged);
    QSignalSpy rows(state.get(), &ShelfSearchState::browseRowsChanged);
    state->setSelectedRow(a);
    state->setBrowseRows({a, b});
    EXPECT_EQ(selection.count(), 0);
    EXPECT_EQ(rows.count(), 0);

    // Switching surface changes what selectedRow() reads, so it is announced.
    state->setQuery(QStringLiteral("q"));
    EXPECT_EQ(selection.count(), 1);
    EXPECT_EQ(state->selectedRow(), std::nullopt);
    state->setSearchRows({c});
    state->moveSelection(+1);
    EXPECT_EQ(selection.count(), 2);

    // A freshly opened panel forgets both selections, but keeps the query, surface and lens.
    state->setShowActions(true);
    state->resetSelections();
    EXPECT_EQ(state->selectedRow(), std::nullopt);
    EXPECT_FALSE(state->showActions());
    EXPECT_EQ(state->query(), QStringLiteral("q"));
    state->setSurface(Surface::browse);
    EXPECT_EQ(state->selectedRow(), std::nullopt);
}

TEST(ShelfRowTest, KindIsPartOfIdentity)
{
    const QUuid id = QUuid::createUuid();
    EXPECT_NE(ShelfRow::note(id), ShelfRow::binNote(id));
    EXPECT_EQ(ShelfRow::note(id), ShelfRow::note(id));
    QSet<ShelfRow> set{ShelfRow::note(id), ShelfRow::binNote(id), ShelfRow::capture(id), ShelfRow::note(id)};
    EXPECT_EQ(set.size(), 3);
}

}  // namespace
