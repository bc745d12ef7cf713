#include <gtest/gtest.h>

#include "model/NoteNotifications.h"
#include "platform/NotificationCenter.h"
#include "shelf/ShelfFixture.h"
#include "shelf/ShelfTexts.h"

using namespace tarnwick::test;

class ShelfRowsTest : public ShelfFixture {};

TEST(ShelfTextsTest, FirstLineEndsAtEveryLineBreakAndDrawsControlsAsSpaces)
{
    const struct {
        QString text, first;
    } cases[] = {
        {"", ""},
        {"\n", "\n"},
        {"\n\nsecond\nthird", "second"},
        {"one\r\ntwo", "one"},
        {"one\rtwo", "one"},
        {"  spaced  \nx", "  spaced  "},
    };
    for (const auto& c : cases) EXPECT_EQ(ShelfTexts::firstLine(c.text), c.first) << qPrintable(c.text);
    EXPECT_EQ(ShelfTexts::drawable(QStringLiteral("a\tb\x1b[31mc\u2028d")), QStringLiteral("a b [31mc d"));
    // A huge one-line text is only ever read up to the prefix.
    const QString huge(3'000'000, u'x');
    EXPECT_EQ(ShelfTexts::firstLine(huge).size(), ShelfTexts::displayPrefix);
    EXPECT_EQ(ShelfTexts::drawable(huge).size(), ShelfTexts::displayPrefix);
    EXPECT_EQ(ShelfTexts::rowLabel("T", std::nullopt, QString()), QStringLiteral("T, "));
    EXPECT_EQ(ShelfTexts::rowLabel("T", QStringLiteral("App"), std::nullopt), QStringLiteral("T, App"));
}

// What rows say: snippets only in search and never of a locked body, a capture's second line only
// when it adds something, labels, times, and the bold match as a range of the drawn text.
TEST_F(ShelfRowsTest, RowTextsInListsAndInSearch)
{
    Note* plain = addNote("Groceries", "buy milk and <i>eggs</i> today", 0);
    Note* locked = addNote("", "secret zebra milk", 0);
    locked->setIsLocked(true);
    addCapture("milk line", QStringLiteral("Browser"));
    addCapture("first\nthen milk again", std::nullopt, std::nullopt, 10);
    store->saveNow();
    shelf->present();

    ShelfListModel& lens = shelf->browseModel();
    const auto inLens = lens.texts(lens.indexOf(ShelfRow::note(plain->uuid())));
    EXPECT_EQ(inLens.title, "Groceries");
    EXPECT_FALSE(inLens.secondLine);
    EXPECT_EQ(inLens.accessibleLabel, "Groceries");
    EXPECT_FALSE(inLens.meta.isEmpty());
    const auto lockedRow = lens.texts(lens.indexOf(ShelfRow::note(locked->uuid())));
    EXPECT_EQ(lockedRow.title, "Private note");
    EXPECT_TRUE(lockedRow.locked && lockedRow.redacted);

    state().setQuery(QStringLiteral("MILK"));
    turn();
    ShelfListModel& results = shelf->searchModel();
    const auto found = results.texts(results.indexOf(ShelfRow::note(plain->uuid())));
    ASSERT_TRUE(found.secondLine);
    EXPECT_EQ(*found.secondLine, "buy milk and <i>eggs</i> today");
    ASSERT_TRUE(found.match);
    EXPECT_EQ(found.secondLine->mid(found.match->start, found.match->length), "milk");
    EXPECT_EQ(found.accessibleLabel, "Groceries, buy milk and <i>eggs</i> today");
    EXPECT_EQ(results.indexOf(ShelfRow::note(locked->uuid())), -1);  // found by its title only

    QStringList seconds;
    for (int i = 0; i < results.rowCount(); ++i)
        if (results.capture(i))
            seconds << results.texts(i).secondLine.value_or("-") + "|" + results.texts(i).accessibleLabel;
    EXPECT_EQ(seconds, (QStringList{"-|milk line, Browser", "first then milk again|first, first then milk again"}));
}

// A match past the first 16,384 characters of a long note or capture is the excerpt its row shows,
// with the match bold.
TEST_F(ShelfRowsTest, ADeepMatchShowsInItsRow)
{
    QString lorem;
    while (lorem.size() < 20'000) lorem += "lorem ipsum ";
    Note* note = addNote("Long", lorem + " WORD20000 tail", 0);
    addCapture(lorem + " WORD20000 captured", QStringLiteral("Browser"));
    store->saveNow();
    shelf->present();
    state().setQuery(QStringLiteral("word20000"));
    turn();
    ShelfListModel& results = shelf->searchModel();
    QStringList shown;
    for (int i = 0; i < results.rowCount(); ++i) {
        const auto texts = results.texts(i);
        if (!texts.secondLine || !texts.match) continue;
        shown << texts.secondLine->mid(texts.match->start, texts.match->length) + "|" +
                     texts.secondLine->right(texts.secondLine->size() - texts.match->start);
    }
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"WORD20000|WORD20000 captured", "WORD20000|WORD20000 tail"}));
    EXPECT_TRUE(results.texts(results.indexOf(ShelfRow::note(note->uuid()))).secondLine->startsWith(QChar(0x2026)));
}

// Every row operation: what it does to the store, what it tells the rest, which hook it calls.
TEST_F(ShelfRowsTest, RowOperationsChangeTheStoreNotifyAndCallBack)
{
    Note* note = addNote("Note");
    Capture* filed = addCapture("filed text", std::nullopt);
    filed->setNoteUUID(note->uuid());
    Capture* bare = addCapture("bare text", std::nullopt);
    store->saveNow();
    shelf->present();
    ShelfRowActions& ops = shelf->actions();
    QStringList posted;
    ObserverToken a = NotificationCenter::shared().observe(
        tarnwickToggleRollUp, [&](const Notification& n) { posted << "roll:" + n.object; });
    ObserverToken b = NotificationCenter::shared().observe(tarnwickDidDeleteNote,
                                                           [&](const Notification& n) { posted << "del:" + n.object; });
    const QString id = note->uuid().toString(QUuid::WithoutBraces).toUpper();

    const qint64 before = store->revision();
    ops.togglePin(*note);
    EXPECT_TRUE(note->isPinned());
    EXPECT_EQ(store->revision(), before + 1);
    ops.rollUp(*note);
    EXPECT_EQ(opened, QList<QUuid>{note->uuid()});

    // Command names: Open in note only for a filed capture.
    QStringList titles;
    for (const auto& c : ops.commands(ShelfRow::capture(filed->uuid()))) titles << c.title;
    EXPECT_EQ(titles, (QStringList{"Peek", "Pin", "Open in note", "Copy", "Delete"}));
    EXPECT_EQ(ops.commands(ShelfRow::capture(bare->uuid())).size(), 4);

    ops.openCaptureNote(*filed);
    ops.peekCapture(*bare);
    ops.copy(*bare);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(peeked, QList<QUuid>{bare->uuid()});
    EXPECT_EQ(copied, QStringList{"bare text"});
    ops.togglePin(*bare);
    EXPECT_TRUE(bare->isPinned());

    state().toggleActions();
    ops.deleteCapture(filed->uuid());
    EXPECT_FALSE(state().showActions());
    EXPECT_EQ(store->captures().size(), 1);
    EXPECT_FALSE(note->isTrashed());   // the note it was filed into stays
    ops.deleteCapture(filed->uuid());  // already gone: nothing happens

    ops.deleteNote(*note);
    EXPECT_TRUE(note->isTrashed());
    EXPECT_FALSE(note->isPinned());
    EXPECT_EQ(posted, (QStringList{"roll:" + id, "del:" + id}));

    state().setShowActions(true);
    ops.purge(*note);  // leaves the actions row alone
    EXPECT_TRUE(state().showActions());
    EXPECT_EQ(store->note(note->uuid()), nullptr);

    ops.newNote();
    ASSERT_EQ(store->allActive().size(), 1);
    Note* made = store->allActive().first();
    EXPECT_EQ(store->activeNoteID(), made->uuid());
    EXPECT_EQ(opened.last(), made->uuid());
    EXPECT_FALSE(store->context().hasChanges());
}

// Return selects, then opens; Ctrl+Return opens a filed capture's note; Return on a bin row restores
// it and keeps the shelf open; Ctrl+P pins the first note without selecting it.
TEST_F(ShelfRowsTest, CommitActivateAndPinFromTheKeys)
{
    Note* note = addNote("Note");
    store->saveNow();
    shelf->present();
    ShelfRowActions& ops = shelf->actions();
    ops.pinSelected();
    EXPECT_TRUE(note->isPinned());
    EXPECT_FALSE(state().selectedRow());
    ops.activateSelection(true);
    EXPECT_TRUE(opened.isEmpty());
    ops.commit();
    EXPECT_TRUE(opened.isEmpty());
    ops.commit();
    EXPECT_EQ(opened, QList<QUuid>{note->uuid()});

    Capture* filed = addCapture("x", std::nullopt);
    filed->setNoteUUID(note->uuid());
    store->saveNow();
    state().setLens(ShelfSearchState::Lens::captures);
    turn();
    state().moveSelection(1);
    ops.activateSelection(true);
    EXPECT_EQ(opened.last(), note->uuid());
    ops.commit();
    EXPECT_EQ(peeked, QList<QUuid>{filed->uuid()});

    store->softDelete(*note);
    state().setLens(ShelfSearchState::Lens::bin);
    turn();
    state().moveSelection(1);
    ops.commit();
    EXPECT_FALSE(note->isTrashed());
    EXPECT_TRUE(shelf->isOpen());
}

// A row deleted or restored from the shelf leaves the list but may stay selected: the keys then act as
// with nothing selected, never on the row that left (a binned note pinned, or opened).
TEST_F(ShelfRowsTest, ARowThatLeftTheListIsNoSelection)
{
    addNote("Older");
    addNote("Newer");
    store->saveNow();
    shelf->present();
    turn();
    ShelfRowActions& ops = shelf->actions();
    ASSERT_EQ(state().rows().size(), 2);
    const ShelfRow first = state().rows().at(0), second = state().rows().at(1);
    Note* firstNote = store->note(first.id);
    Note* secondNote = store->note(second.id);
    ASSERT_TRUE(firstNote && secondNote);

    // A listed selection is the one acted on, not the first row.
    state().setSelectedRow(second);
    ops.pinSelected();
    EXPECT_TRUE(secondNote->isPinned());
    ops.pinSelected();
    EXPECT_FALSE(secondNote->isPinned());

    // Deleted from its actions row: it leaves the list, the selection stays on it.
    state().toggleActions();
    ops.deleteNote(*secondNote);
    turn();
    ASSERT_EQ(state().rows(), QList<ShelfRow>{first});
    ASSERT_EQ(state().selectedRow(), second);
    EXPECT_FALSE(state().actionsRowShown());
    ops.pinSelected();  // the first row's note, as with nothing selected
    EXPECT_FALSE(secondNote->isPinned());
    EXPECT_TRUE(firstNote->isPinned());
    ops.activateSelection(true);
    EXPECT_TRUE(opened.isEmpty());
    ops.commit();  // selects the first row only
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(state().selectedRow(), first);
    ops.commit();
    EXPECT_EQ(opened, QList<QUuid>{first.id});

    // In the bin: a row restored by Return leaves the bin; the next Return and Ctrl+Return do not restore
    // or open it again, and Ctrl+K opens the actions row of the first row still there.
    ops.deleteNote(*firstNote);
    state().setLens(ShelfSearchState::Lens::bin);
    turn();
    ASSERT_EQ(state().rows().size(), 2);
    const ShelfRow restored = state().rows().at(0), stays = state().rows().at(1);
    state().setSelectedRow(restored);
    ops.commit();
    turn();
    EXPECT_FALSE(store->note(restored.id)->isTrashed());
    ASSERT_EQ(state().rows(), QList<ShelfRow>{stays});
    opened.clear();
    ops.activateSelection(true);
    ops.pinSelected();  // a bin row is never pinned
    EXPECT_FALSE(store->note(restored.id)->isPinned());
    EXPECT_FALSE(store->note(stays.id)->isPinned());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(store->note(stays.id)->isTrashed());
    state().toggleActions();
    EXPECT_EQ(state().selectedRow(), stays);
    EXPECT_TRUE(state().showActions());
}
