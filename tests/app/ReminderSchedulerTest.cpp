#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/ReminderScheduler.h"
#include "support/FakeDesktopNotifications.h"
#include "support/NoteStoreFixture.h"

namespace {

using tarnwick::test::NoteStoreTestBase;

class ReminderSchedulerTest : public NoteStoreTestBase {
protected:
    Note* noteDueIn(double seconds, const QString& title = QStringLiteral("Call back"),
                    const QString& body = QStringLiteral("About the lease"))
    {
        Note* note = addNote(title, body);
        note->setReminderDate(now().addMSecs(qint64(seconds * 1000)));
        store->saveNow();
        return note;
    }

    FakeDesktopNotifications center;
    ReminderScheduler scheduler{*store, center, clock};
};

TEST_F(ReminderSchedulerTest, OneReminderPerNoteShownAtItsDateAndOpeningTheNote)
{
    Note* note = noteDueIn(90.7);
    scheduler.schedule(*note);
    EXPECT_TRUE(log.contains(QStringLiteral("Reminder scheduled in 90s")));

    // A new date replaces the pending reminder.
    note->setReminderDate(now().addSecs(300));
    scheduler.schedule(*note);
    clock.advanceSeconds(120);
    EXPECT_TRUE(center.shown.isEmpty());
    clock.advanceSeconds(180);
    ASSERT_EQ(center.shown.size(), 1);
    EXPECT_EQ(center.shown[0].title, QStringLiteral("Call back"));
    EXPECT_EQ(center.shown[0].body, QStringLiteral("About the lease"));
    EXPECT_FALSE(scheduler.isPending(note->uuid()));

    QSignalSpy open(&scheduler, &ReminderScheduler::openNoteRequested);
    Q_EMIT center.actionInvoked(center.shown[0].id + 7, QStringLiteral("default"));  // not ours
    Q_EMIT center.actionInvoked(center.shown[0].id, QStringLiteral("other"));
    EXPECT_TRUE(open.isEmpty());
    Q_EMIT center.actionInvoked(center.shown[0].id, QStringLiteral("default"));
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open[0][0].toUuid(), note->uuid());
    Q_EMIT center.closed(center.shown[0].id);
    Q_EMIT center.actionInvoked(center.shown[0].id, QStringLiteral("default"));
    EXPECT_EQ(open.size(), 1);

    // Less than a second ahead still fires, a second on.
    Note* soon = noteDueIn(0.3);
    scheduler.schedule(*soon);
    EXPECT_TRUE(log.contains(QStringLiteral("Reminder scheduled in 1s")));
    clock.advance(999);
    EXPECT_EQ(center.shown.size(), 1);
    clock.advance(1);
    EXPECT_EQ(center.shown.size(), 2);
}

TEST_F(ReminderSchedulerTest, ClearedPastOrPresentDatesLeaveNothingPending)
{
    Note* note = noteDueIn(60);
    scheduler.schedule(*note);
    for (const std::optional<QDateTime>& date :
         {std::optional<QDateTime>(now()), std::optional<QDateTime>(now().addSecs(-5)), std::optional<QDateTime>()}) {
        scheduler.schedule(*noteDueIn(60));
        note->setReminderDate(date);
        scheduler.performSchedule(*note);
        EXPECT_FALSE(scheduler.isPending(note->uuid()));
    }
    Note* other = noteDueIn(60);
    scheduler.schedule(*other);
    scheduler.cancel(*other);
    scheduler.cancel(*other);  // nothing pending any more: no effect
    log.clear();
    clock.advanceSeconds(3600);
    EXPECT_EQ(center.shown.size(), 3);  // only the three untouched notes of the loop
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
}

TEST_F(ReminderSchedulerTest, TheNotificationShowsTheNoteAsItIsWhenDue)
{
    Note* locked = noteDueIn(10, QStringLiteral("Bank PIN"), QStringLiteral("1234"));
    Note* binned = noteDueIn(10);
    Note* purged = noteDueIn(10);
    Note* blank = noteDueIn(10, QStringLiteral(" \n\t "), QStringLiteral("\n  \n"));
    const QString family = QStringLiteral("👨‍👩‍👧");
    Note* longBody = noteDueIn(10, QStringLiteral("  Trip  "), family + QString(300, u'x'));
    for (Note* note : {locked, binned, purged, blank, longBody}) scheduler.schedule(*note);
    locked->setIsLocked(true);
    store->softDelete(*binned);
    store->purge(*purged);

    clock.advanceSeconds(10);
    ASSERT_EQ(center.shown.size(), 3);
    EXPECT_EQ(center.shown[0].title, QStringLiteral("Tarnwick"));
    EXPECT_EQ(center.shown[0].body, QStringLiteral("You have a reminder on a locked note."));
    EXPECT_EQ(center.shown[1].title, QStringLiteral("Tarnwick note"));
    EXPECT_EQ(center.shown[1].body, QStringLiteral("Your note reminder"));
    EXPECT_EQ(center.shown[2].title, QStringLiteral("Trip"));
    EXPECT_EQ(center.shown[2].body, family + QString(119, u'x'));
}

TEST_F(ReminderSchedulerTest, LaunchReschedulesFutureRemindersOfNotesOutsideTheBin)
{
    Note* ahead = noteDueIn(60);
    Note* past = noteDueIn(-60);
    Note* binned = noteDueIn(60);
    store->softDelete(*binned);
    addNote(QStringLiteral("No reminder"));
    store->saveNow();

    center.available = false;
    log.clear();
    scheduler.rescheduleAll();
    EXPECT_FALSE(scheduler.isPending(ahead->uuid()));
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_FALSE(scheduler.requestAuthorizationIfNeeded());
    EXPECT_TRUE(log.contains(QStringLiteral("Notification permission was not granted; reminders will not appear.")));

    center.available = true;
    EXPECT_TRUE(scheduler.requestAuthorizationIfNeeded());
    scheduler.rescheduleAll();
    EXPECT_TRUE(scheduler.isPending(ahead->uuid()));
    EXPECT_FALSE(scheduler.isPending(past->uuid()));
    EXPECT_FALSE(scheduler.isPending(binned->uuid()));

    // A service that refuses the notification is logged; nothing else happens.
    center.failure = QStringLiteral("no room");
    clock.advanceSeconds(60);
    EXPECT_TRUE(center.shown.isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("Failed to show reminder: no room")));
}

}  // namespace
