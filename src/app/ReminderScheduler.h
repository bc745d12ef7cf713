#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QUuid>

#include "platform/Clock.h"

class DesktopNotifications;
class Note;
class NoteStore;
class Settings;

// Turns a note's reminder date into one desktop notification at that time. Pending reminders are kept
// and timed in this process (on the boot-time clock, so a suspend does not delay them) and are rebuilt
// from the stored notes at every launch; one is pending per note at most, keyed by the note's UUID.
// They are timed whether or not a notification service is there yet (the desktop's daemon may start
// after us): the service is asked when one falls due. Reminders that fell due while Tarnwick was not
// running are shown once at the next launch; "reminders.handledThrough" records how far that got.
// Every failure is logged under "reminders" and goes no further.
class ReminderScheduler : public QObject {
    Q_OBJECT
public:
    static inline const QString kHandledThroughKey = QStringLiteral("reminders.handledThrough");
    // A reminder due while no notification service runs is tried again this often until one does.
    static constexpr qint64 kRetryMs = 30000;

    ReminderScheduler(NoteStore& store, DesktopNotifications& center, Clock& clock, Settings& settings,
                      QObject* parent = nullptr);
    ~ReminderScheduler() override;

    // Reminders can appear: a notification service is on the session bus. Never prompts.
    bool hasAuthorization();
    // The desktop has no permission prompt: the same question as hasAuthorization(), logged when no.
    bool requestAuthorizationIfNeeded();
    // The same as performSchedule(): whether the reminder can appear is asked when it falls due.
    void schedule(const Note& note);
    // Replaces the note's pending reminder with one for its present reminder date; a note without a
    // date, or with one not after now, is left with none.
    void performSchedule(const Note& note);
    // Withdraws the note's pending reminder; notifications already shown stay.
    void cancel(const Note& note);
    // Schedules every note outside the bin whose reminder lies ahead, and shows once those that fell
    // due since the last one handled (none on the very first launch).
    void rescheduleAll();

    bool isPending(const QUuid& noteID) const { return m_pending.contains(noteID); }

    // A reminder was set while no notification service runs: asks the shell, once per session, to
    // explain why it will not appear (explanationNeeded).
    void explainUnavailable();

    // How many shown notifications are remembered, so that activating one the daemon shows again from
    // its history still opens its note.
    static constexpr int kRememberedNotifications = 256;

    // The display title and the snippet of an unlocked note's notification.
    static QString displayTitle(const QString& title);
    static QString snippet(const QString& body);

Q_SIGNALS:
    // The user activated the notification of this note's reminder.
    void openNoteRequested(const QUuid& noteID);
    // Emitted at most once per session by explainUnavailable().
    void explanationNeeded();

private:
    void deliver(const QUuid& noteID);
    void show(const Note& note);
    void retryWaiting();
    void markHandledThrough(const QDateTime& date);

    NoteStore& m_store;
    DesktopNotifications& m_center;
    Clock& m_clock;
    Settings& m_settings;
    QHash<QUuid, TimerHandle> m_pending;
    // Due, but no notification service was there to show them yet.
    QSet<QUuid> m_waiting;
    TimerHandle m_retry;
    void remember(quint32 id, const QString& noteID);
    void forget(const QString& noteID);

    // Notifications shown: the notification id, and the "noteID" it carries; kept after the daemon
    // closes one (it may show it again from its history) until the reminder is cleared, the note is
    // gone, or it is among the oldest past kRememberedNotifications.
    QHash<quint32, QString> m_shown;
    QList<quint32> m_shownOrder;
    bool m_explained = false;
};
