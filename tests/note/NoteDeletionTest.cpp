#include <gtest/gtest.h>

#include "model/NoteNotifications.h"
#include "note/NoteDeletion.h"
#include "platform/NotificationCenter.h"
#include "support/NoteStoreFixture.h"

using tarnwick::test::NoteStoreTestBase;

class NoteDeletionTest : public NoteStoreTestBase {};

// Deleting bins the note, saves, and tells the shell exactly once, with the note's id, after the
// note is already in the bin (the window manager looks it up when it hears of it).
TEST_F(NoteDeletionTest, BinsSavesAndPostsOnceWithTheNoteID)
{
    Note* note = addNote("Shopping", "milk");
    note->setIsPinned(true);
    store->saveNow();
    const QString id = note->uuid().toString(QUuid::WithoutBraces).toUpper();

    QStringList posted;
    bool trashedWhenPosted = false;
    ObserverToken token = NotificationCenter::shared().observe(tarnwickDidDeleteNote, [&](const Notification& n) {
        posted << n.object;
        trashedWhenPosted = note->isTrashed();
    });
    NoteDeletion::perform(*note, *store);

    EXPECT_EQ(posted, QStringList{id});
    EXPECT_TRUE(trashedWhenPosted);
    EXPECT_FALSE(store->context().hasChanges());
    EXPECT_TRUE(store->allActive().isEmpty());
    ASSERT_EQ(store->trashed().size(), 1);
    EXPECT_FALSE(store->trashed().first()->isPinned());
}
