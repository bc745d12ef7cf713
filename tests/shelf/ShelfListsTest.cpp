#include <gtest/gtest.h>

#include "shelf/ShelfFixture.h"
#include "shelf/ShelfTexts.h"

using namespace tarnwick::test;

class ShelfListsTest : public ShelfFixture {};

// Each lens: its groups in display order, the rows the keyboard walks equal to the rows shown, and
// its empty hint with the chord in force (a corrupt stored binding shows the default one).
TEST_F(ShelfListsTest, LensesShowGroupsHintsAndWalkExactlyWhatIsShown)
{
    settings.setValue(HotkeyManager::keyCodeKey(HotkeyManager::Action::newNote), -5);
    state().setLens(ShelfSearchState::Lens::notes);
    shelf->present();
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{"?:No notes yet. Press Alt+Shift+N anywhere."});
    shelf->dismiss();

    addNote("Older", {}, 26 * 3600);
    Note* pinned = addNote("Pinned one", {}, 30 * 3600);
    pinned->setIsPinned(true);
    addNote("Fresh");
    Note* binned = addNote("Gone");
    store->saveNow();
    store->softDelete(*binned);
    shelf->present();
    EXPECT_EQ(shown(shelf->browseModel()),
              (QStringList{"H:Pinned", "N:Pinned one", "H:Today", "N:Fresh", "H:Yesterday", "N:Older"}));
    QList<ShelfRow> rows;
    for (int i = 0; i < shelf->browseModel().rowCount(); ++i)
        if (Note* n = shelf->browseModel().note(i)) rows << ShelfRow::note(n->uuid());
    EXPECT_EQ(state().browseRows(), rows);

    state().flipLens();  // bin
    turn();
    EXPECT_EQ(shown(shelf->browseModel()), (QStringList{"H:In the bin", "B:Gone"}));
    EXPECT_EQ(state().browseRows(), QList<ShelfRow>{ShelfRow::binNote(binned->uuid())});
    shelf->actions().emptyBin();
    turn();
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{"?:" + ShelfTexts::binHint()});

    state().flipLens();  // captures
    turn();
    EXPECT_EQ(shown(shelf->browseModel()),
              QStringList{"?:Nothing captured yet. Select text anywhere and press Alt+Shift+Space."});
    addCapture("first\r\nsecond", QStringLiteral("Editor"));
    store->saveNow();
    turn();
    EXPECT_EQ(shown(shelf->browseModel()), (QStringList{"H:Today", "C:first"}));
}

// Search: notes by rank then captures under their headings, the prompt for a blank query, and the
// no-match line with the query as typed but trimmed, drawn as itself.
TEST_F(ShelfListsTest, SearchSectionsPromptAndNoMatch)
{
    addNote("zebra title", "zebra body");
    addNote("plain", "a zebra inside");
    addCapture("nothing here", std::nullopt, QStringLiteral("Zebra page"));
    store->saveNow();
    shelf->present();
    state().setQuery(QStringLiteral("  "));
    turn();
    EXPECT_EQ(shown(shelf->searchModel()), QStringList{"?:" + ShelfTexts::searchPrompt()});
    EXPECT_EQ(shelf->searchRuns(), 0);

    state().setQuery(QStringLiteral(" ZEBRA\t"));
    turn();
    EXPECT_EQ(shown(shelf->searchModel()),
              (QStringList{"H:Notes", "N:zebra title", "N:plain", "H:Captures", "C:nothing here"}));
    EXPECT_EQ(state().searchRows().size(), 3);
    EXPECT_EQ(state().searchRows().last().kind, ShelfRow::Kind::capture);

    state().setQuery(QStringLiteral(" <b>Bold</b> "));
    turn();
    EXPECT_EQ(shown(shelf->searchModel()), QStringList{"?:Nothing matches \u201C<b>Bold</b>\u201D."});
    EXPECT_TRUE(state().searchRows().isEmpty());
}
