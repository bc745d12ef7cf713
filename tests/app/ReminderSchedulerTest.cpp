#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/ReminderScheduler.h"
#include "support/FakeDesktopNotifications.h"
#include "support/NoteStoreFixture.h"

namespace {

class ReminderSchedulerTest : public tarnwick::test::NoteStoreTestBase {
protected:
    Note* noteDueIn(double seconds, const QString& title = "Call back", const QString& body = "About the lease")
    {
        Note* note = addNote(title, body);
        note->setReminderDate(now().addMSecs(qint64(seconds * 1000)));
        store->saveNow();
        return note;
    }
    QStringList shown() const
    {
        QStringList out;
        for (const auto& n : center.shown) out << n.title + " | " + n.body;
        return out;
    }

    FakeDesktopNotifications center;
    ReminderScheduler scheduler{*store, center, clock, settings};
};

TEST_F(ReminderSchedulerTest, OneReminderPerNoteShownAtItsLatestDateAndOpeningTheNote)
{
    Note* note = noteDueIn(90.7);
    scheduler.schedule(*note);
    EXPECT_TRUE(log.contains("Reminder scheduled in 90s"));
    note->setReminderDate(now().addSecs(300));
    scheduler.schedule(*note);
    clock.advanceSeconds(299);
    EXPECT_TRUE(center.shown.isEmpty());
    clock.advanceSeconds(1);
    EXPECT_EQ(shown(), QStringList{"Call back | About the lease"});

    QSignalSpy open(&scheduler, &ReminderScheduler::openNoteRequested);
    const quint32 id = center.shown[0].id;
    Q_EMIT center.actionInvoked(id + 7, "default");  // another application's
    Q_EMIT center.actionInvoked(id, "other");
    Q_EMIT center.actionInvoked(id, "default");
    // Closed, then shown again from the daemon's history: it still opens its note.
    Q_EMIT center.closed(id);
    Q_EMIT center.actionInvoked(id, "default");
    ASSERT_EQ(open.size(), 2);
    EXPECT_EQ(open[0][0].toUuid(), note->uuid());
    EXPECT_EQ(open[1][0].toUuid(), note->uuid());

    scheduler.schedule(*noteDueIn(0.3));  // raised to one second
    EXPECT_TRUE(log.contains("Reminder scheduled in 1s"));
    clock.advance(999);
    EXPECT_EQ(center.shown.size(), 1);
    clock.advance(1);
    EXPECT_EQ(center.shown.size(), 2);
}

TEST_F(ReminderSchedulerTest, ClearedPastOrCancelledRemindersShowNothing)
{
    QList<Note*> notes = {noteDueIn(60), noteDueIn(60), noteDueIn(60), noteDueIn(60)};
    for (Note* note : notes) scheduler.schedule(*note);
    notes[0]->setReminderDate(now());
    notes[1]->setReminderDate(now().addSecs(-5));
    notes[2]->setReminderDate(std::nullopt);
    for (int i : {0, 1, 2}) scheduler.performSchedule(*notes[i]);
    scheduler.cancel(*notes[3]);
    scheduler.cancel(*notes[3]);
    log.clear();
    clock.advanceSeconds(3600);
    EXPECT_TRUE(center.shown.isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(ReminderSchedulerTest, TheNotificationShowsTheNoteAsItIsWhenDue)
{
    const QString family = "👨‍👩‍👧";
    Note* locked = noteDueIn(10, "Bank PIN", "1234");
    Note* binned = noteDueIn(10);
    Note* purged = noteDueIn(10);
    Note* postponed = noteDueIn(10, "Later", "Postponed");
    for (Note* note : {locked, binned, purged, postponed, noteDueIn(10, " \n\t ", "\n  \n"),
                       noteDueIn(10, "  Trip  ", family + QString(300, u'x'))})
        scheduler.schedule(*note);
    locked->setIsLocked(true);
    store->softDelete(*binned);
    store->purge(*purged);
    postponed->setReminderDate(now().addSecs(20));  // moved later without a new schedule call
    clock.advanceSeconds(10);
    EXPECT_EQ(shown(), (QStringList{"Tarnwick | You have a reminder on a locked note.",
                                    "Tarnwick note | Your note reminder", "Trip | " + family + QString(119, u'x')}));
    clock.advanceSeconds(10);
    EXPECT_EQ(shown().last(), "Later | Postponed");
}

TEST_F(ReminderSchedulerTest, LaunchTimesRemindersWithoutAServiceAndAsksWhenOneFallsDue)
{
    Note* ahead = noteDueIn(60, "Ahead");
    Note* later = noteDueIn(150, "Later");
    Note* binned = noteDueIn(60);
    store->softDelete(*binned);

    center.available = false;  // the desktop's daemon starts after us
    log.clear();
    scheduler.rescheduleAll();
    EXPECT_TRUE(scheduler.isPending(ahead->uuid()) && scheduler.isPending(later->uuid()));
    EXPECT_FALSE(scheduler.isPending(binned->uuid()));
    EXPECT_FALSE(scheduler.requestAuthorizationIfNeeded());
    EXPECT_TRUE(log.contains("Notification permission was not granted; reminders will not appear."));

    clock.advanceSeconds(60);
    clock.advance(ReminderScheduler::kRetryMs);
    EXPECT_TRUE(center.shown.isEmpty());
    center.available = true;  // the daemon came up: the waiting one appears at the next try
    clock.advance(ReminderScheduler::kRetryMs);
    EXPECT_EQ(shown(), QStringList{"Ahead | About the lease"});
    clock.advanceSeconds(30);
    EXPECT_EQ(shown(), (QStringList{"Ahead | About the lease", "Later | About the lease"}));
    EXPECT_EQ(settings.dateValue(ReminderScheduler::kHandledThroughKey), *later->reminderDate());

    center.failure = "no room";
    scheduler.schedule(*noteDueIn(5));
    clock.advanceSeconds(5);
    EXPECT_TRUE(log.contains("Failed to show reminder: no room"));
}

TEST_F(ReminderSchedulerTest, RemindersMissedWhileNotRunningAreShownOnceAtLaunch)
{
    // The very first launch has no record: nothing old is dug up, and the record starts now.
    noteDueIn(-3600, "Ancient");
    scheduler.rescheduleAll();
    EXPECT_TRUE(center.shown.isEmpty());
    EXPECT_EQ(settings.dateValue(ReminderScheduler::kHandledThroughKey), now());

    // Off for a day: the two that fell due meanwhile appear, oldest first, and only once.
    clock.advanceSeconds(86400);
    noteDueIn(-60, "Second");
    noteDueIn(-7200, "First", QString("Look") + QChar(0xFFFC) + "here");
    Note* binned = noteDueIn(-120, "Binned");
    store->softDelete(*binned);
    scheduler.rescheduleAll();
    EXPECT_EQ(shown(), (QStringList{"First | Look here", "Second | About the lease"}));
    ReminderScheduler again{*store, center, clock, settings};
    again.rescheduleAll();
    EXPECT_EQ(center.shown.size(), 2);
}

// What was shown opens its note until the reminder is cleared or the note is gone; a purged note is
// still offered to the shell (which opens nothing) and then forgotten; the explanation is asked once.
TEST_F(ReminderSchedulerTest, ShownRemindersOpenTheirNoteUntilClearedOrGone)
{
    QSignalSpy open(&scheduler, &ReminderScheduler::openNoteRequested);
    Note* cleared = noteDueIn(1, "Cleared");
    Note* purged = noteDueIn(1, "Purged");
    scheduler.schedule(*cleared);
    scheduler.schedule(*purged);
    clock.advanceSeconds(1);
    ASSERT_EQ(center.shown.size(), 2);
    const quint32 clearedID = center.shown[0].title == "Cleared" ? center.shown[0].id : center.shown[1].id;
    const quint32 purgedID = center.shown[0].title == "Purged" ? center.shown[0].id : center.shown[1].id;

    cleared->setReminderDate(std::nullopt);
    scheduler.cancel(*cleared);
    Q_EMIT center.actionInvoked(clearedID, "default");
    EXPECT_EQ(open.size(), 0);

    const QUuid purgedNote = purged->uuid();
    store->purge(*purged);
    Q_EMIT center.actionInvoked(purgedID, "default");
    Q_EMIT center.actionInvoked(purgedID, "default");
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open[0][0].toUuid(), purgedNote);

    QSignalSpy explain(&scheduler, &ReminderScheduler::explanationNeeded);
    scheduler.explainUnavailable();
    scheduler.explainUnavailable();
    EXPECT_EQ(explain.size(), 1);
}

// The remembered notifications are bounded: the oldest go first.
TEST_F(ReminderSchedulerTest, RememberedNotificationsAreBounded)
{
    QSignalSpy open(&scheduler, &ReminderScheduler::openNoteRequested);
    Note* note = noteDueIn(1);
    for (int i = 0; i <= ReminderScheduler::kRememberedNotifications; ++i) {
        note->setReminderDate(now().addSecs(1));
        scheduler.schedule(*note);
        clock.advanceSeconds(1);
    }
    ASSERT_EQ(center.shown.size(), ReminderScheduler::kRememberedNotifications + 1);
    Q_EMIT center.actionInvoked(center.shown.first().id, "default");
    EXPECT_EQ(open.size(), 0);
    Q_EMIT center.actionInvoked(center.shown.last().id, "default");
    EXPECT_EQ(open.size(), 1);
}

}  // namespace
