#pragma once

#include <QHash>
#include <QObject>
#include <QUuid>

#include "platform/Clock.h"

class DesktopNotifications;
class Note;
class NoteStore;

// Turns a note's reminder date into one desktop notification at that time. Pending reminders are kept
// and timed in this process (on the boot-time clock, so a suspend does not delay them) and are rebuilt
// from the stored notes at every launch; one is pending per note at most, keyed by the note's UUID.
// Every failure is logged under "reminders" and goes no further.
class ReminderScheduler : public QObject {
    Q_OBJECT
public:
    ReminderScheduler(NoteStore& store, DesktopNotifications& center, Clock& clock, QObject* parent = nullptr);
    ~ReminderScheduler() override;

    // Reminders can appear: a notification service is on the session bus. Never prompts.
    bool hasAuthorization();
    // The desktop has no permission prompt: the same question as hasAuthorization(), logged when no.
    bool requestAuthorizationIfNeeded();
    // performSchedule() when reminders can appear; otherwise nothing, silently.
    void schedule(const Note& note);
    // Replaces the note's pending reminder with one for its present reminder date; a note without a
    // date, or with one not after now, is left with none.
    void performSchedule(const Note& note);
    // Withdraws the note's pending reminder; notifications already shown stay.
    void cancel(const Note& note);
    // Schedules every note outside the bin whose reminder lies ahead.
    void rescheduleAll();

    bool isPending(const QUuid& noteID) const { return m_pending.contains(noteID); }

    // The display title and the snippet of an unlocked note's notification.
    static QString displayTitle(const QString& title);
    static QString snippet(const QString& body);

Q_SIGNALS:
    // The user activated the notification of this note's reminder.
    void openNoteRequested(const QUuid& noteID);

private:
    void deliver(const QUuid& noteID);

    NoteStore& m_store;
    DesktopNotifications& m_center;
    Clock& m_clock;
    QHash<QUuid, TimerHandle> m_pending;
    // Notifications shown and not yet closed: the notification id, and the "noteID" it carries.
    QHash<quint32, QString> m_shown;
};
