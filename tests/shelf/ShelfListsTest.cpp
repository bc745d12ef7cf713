#include <gtest/gtest.h>

#include "shelf/ShelfDateGroup.h"
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

// The hints name the binding in force whenever the shelf opens, and at once when a hot key is rebound
// while it shows; opening again with nothing rebound builds nothing.
TEST_F(ShelfListsTest, EmptyHintsNameTheHotKeysAsBoundNow)
{
    const QString capturesHint = "?:Nothing captured yet. Select text anywhere and press %1.";
    const QString notesHint = "?:No notes yet. Press %1 anywhere.";
    auto bind = [&](HotkeyManager::Action action, int keyCode, int modifiers) {
        settings.setValue(HotkeyManager::keyCodeKey(action), keyCode);
        settings.setValue(HotkeyManager::modifiersKey(action), modifiers);
    };
    state().setLens(ShelfSearchState::Lens::captures);
    shelf->present();
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{capturesHint.arg("Alt+Shift+Space")});
    shelf->dismiss();
    bind(HotkeyManager::Action::capture, 8, 0x1800);  // Ctrl+Alt+C
    shelf->present();
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{capturesHint.arg("Ctrl+Alt+C")});
    shelf->dismiss();
    const int builds = shelf->lensBuilds();
    shelf->present();
    EXPECT_EQ(shelf->lensBuilds(), builds);

    state().flipLens();  // notes
    turn();
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{notesHint.arg("Alt+Shift+N")});
    shelf->dismiss();
    bind(HotkeyManager::Action::newNote, 45, 0x1200);  // Ctrl+Shift+N
    shelf->present();
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{notesHint.arg("Ctrl+Shift+N")});
    settings.remove(HotkeyManager::keyCodeKey(HotkeyManager::Action::newNote));
    turn();
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{notesHint.arg("Alt+Shift+N")});
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

// Across local midnight, unchanged rows drop their clock time for a date just as their heading turns
// to "Yesterday": a capture's time and a binned note's time are made for the day they are shown on.
TEST_F(ShelfListsTest, RowTimesFollowTheDayAsTheHeadingsDo)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    clock.setNow(QDateTime(QDate(2026, 12, 8), QTime(23, 59), zone).toUTC());
    const QDateTime stamped = clock.now();
    Capture* capture = addCapture("late capture", QStringLiteral("Editor"));
    Note* binned = addNote("Late note");
    store->saveNow();
    store->softDelete(*binned);
    const auto metaOf = [this](const ShelfRow& row) {
        ShelfListModel& model = shelf->browseModel();
        return model.texts(model.indexOf(row)).meta;
    };

    state().setLens(ShelfSearchState::Lens::captures);
    shelf->present();
    EXPECT_EQ(shown(shelf->browseModel()), (QStringList{"H:Today", "C:late capture"}));
    const QString clockTime = metaOf(ShelfRow::capture(capture->uuid()));
    EXPECT_EQ(clockTime, ShelfDateGroup::compactTime(stamped, stamped));
    state().setLens(ShelfSearchState::Lens::bin);
    turn();
    EXPECT_EQ(metaOf(ShelfRow::binNote(binned->uuid())), clockTime);
    shelf->dismiss();

    clock.advance(2 * 60 * 1000);  // 00:01 of the next day
    const QString date = ShelfDateGroup::compactTime(stamped, clock.now());
    ASSERT_NE(date, clockTime);
    shelf->present();
    EXPECT_EQ(metaOf(ShelfRow::binNote(binned->uuid())), date);
    state().setLens(ShelfSearchState::Lens::captures);
    turn();
    EXPECT_EQ(shown(shelf->browseModel()), (QStringList{"H:Yesterday", "C:late capture"}));
    EXPECT_EQ(metaOf(ShelfRow::capture(capture->uuid())), date);
}

// The shelf left open across local midnight: at the day change its headings and row times follow, in
// the search results and in the lens alike, with no save to set them off; and again the next midnight.
TEST_F(ShelfListsTest, TheOpenShelfFollowsTheDayChange)
{
    clock.setNow(QDateTime(QDate(2026, 12, 8), QTime(23, 59), QTimeZone::systemTimeZone()).toUTC());
    const QDateTime stamped = clock.now();
    Capture* capture = addCapture("late capture", QStringLiteral("Editor"));
    store->saveNow();
    const auto metaOf = [&](ShelfListModel& model) {
        return model.texts(model.indexOf(ShelfRow::capture(capture->uuid()))).meta;
    };
    state().setLens(ShelfSearchState::Lens::captures);
    shelf->present();
    state().setQuery("late");
    turn();
    EXPECT_EQ(metaOf(shelf->searchModel()), ShelfDateGroup::compactTime(stamped, stamped));

    clock.advance(90 * 1000);  // 00:00:30 of the next day
    turn();
    const QString date = ShelfDateGroup::compactTime(stamped, clock.now());
    EXPECT_EQ(metaOf(shelf->searchModel()), date);
    state().setQuery("");
    turn();
    EXPECT_EQ(shown(shelf->browseModel()), (QStringList{"H:Yesterday", "C:late capture"}));
    EXPECT_EQ(metaOf(shelf->browseModel()), date);

    clock.advance(24 * 60 * 60 * 1000);
    turn();
    EXPECT_EQ(shown(shelf->browseModel()).first(), "H:" + ShelfDateGroup::title(stamped, clock.now()));
    EXPECT_NE(shown(shelf->browseModel()).first(), "H:Yesterday");
}
