#include "app/ReminderScheduler.h"

#include <QPointer>
#include <QTextBoundaryFinder>

#include "model/Note.h"
#include "model/NoteBlock.h"
#include "platform/DesktopNotifications.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"

namespace {
QString idString(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}
}  // namespace

ReminderScheduler::ReminderScheduler(NoteStore& store, DesktopNotifications& center, Clock& clock, Settings& settings,
                                     QObject* parent)
    : QObject(parent), m_store(store), m_center(center), m_clock(clock), m_settings(settings)
{
    connect(&m_center, &DesktopNotifications::actionInvoked, this, [this](quint32 id, const QString& action) {
        if (action != QLatin1String("default")) return;
        const auto shown = m_shown.constFind(id);
        if (shown == m_shown.constEnd()) return;  // someone else's notification
        const QString noteIDString = *shown;
        const QUuid noteID = QUuid::fromString(noteIDString);
        if (noteID.isNull()) return;
        const Note* note = m_store.note(noteID);
        // A note purged since then is forgotten; opening it is the shell's to refuse.
        if (!note) forget(noteIDString);
        Q_EMIT openNoteRequested(noteID);
    });
}

void ReminderScheduler::remember(quint32 id, const QString& noteID)
{
    if (m_shown.contains(id)) m_shownOrder.removeOne(id);
    m_shown.insert(id, noteID);
    m_shownOrder.append(id);
    while (m_shownOrder.size() > kRememberedNotifications) m_shown.remove(m_shownOrder.takeFirst());
}

void ReminderScheduler::forget(const QString& noteID)
{
    for (auto it = m_shown.begin(); it != m_shown.end();) {
        if (*it == noteID) {
            m_shownOrder.removeOne(it.key());
            it = m_shown.erase(it);
        } else {
            ++it;
        }
    }
}

void ReminderScheduler::explainUnavailable()
{
    if (m_explained) return;
    m_explained = true;
    Q_EMIT explanationNeeded();
}

ReminderScheduler::~ReminderScheduler()
{
    for (TimerHandle& timer : m_pending) timer.cancel();
    m_retry.cancel();
}

bool ReminderScheduler::hasAuthorization()
{
    return m_center.isAvailable();
}

bool ReminderScheduler::requestAuthorizationIfNeeded()
{
    if (m_center.isAvailable()) return true;
    qCInfo(Log::reminders, "Notification permission was not granted; reminders will not appear.");
    return false;
}

void ReminderScheduler::schedule(const Note& note)
{
    performSchedule(note);
}

void ReminderScheduler::performSchedule(const Note& note)
{
    const QUuid id = note.uuid();
    cancel(note);
    const std::optional<QDateTime> date = note.reminderDate();
    if (!date) return;
    const qint64 remainingMs = m_clock.now().msecsTo(*date);
    if (remainingMs <= 0) return;
    const qint64 intervalMs = std::max<qint64>(remainingMs, 1000);
    m_pending.insert(id, m_clock.after(intervalMs, this, [this, id] { deliver(id); }));
    qCDebug(Log::reminders, "Reminder scheduled in %llds", static_cast<long long>(intervalMs / 1000));
}

void ReminderScheduler::cancel(const Note& note)
{
    // Cleared: what was shown of it no longer opens the note.
    if (!note.reminderDate()) forget(idString(note.uuid()));
    if (auto pending = m_pending.find(note.uuid()); pending != m_pending.end()) {
        pending->cancel();
        m_pending.erase(pending);
    }
}

void ReminderScheduler::rescheduleAll()
{
    const QDateTime now = m_clock.now();
    const std::optional<QDateTime> handledThrough = m_settings.dateValue(kHandledThroughKey);
    // Only the notes with a reminder: the order of scheduling does not matter.
    const QList<Note*> notes = m_store.withReminders();
    QList<const Note*> missed;
    for (const Note* note : notes) {
        const std::optional<QDateTime> date = note->reminderDate();
        if (!date) continue;
        if (*date > now)
            performSchedule(*note);
        else if (handledThrough && *date > *handledThrough)
            missed.append(note);
    }
    // Oldest first, as they would have appeared. Without a record (the first launch of a version that
    // keeps one) nothing old is dug up.
    std::sort(missed.begin(), missed.end(),
              [](const Note* a, const Note* b) { return *a->reminderDate() < *b->reminderDate(); });
    for (const Note* note : missed) show(*note);
    markHandledThrough(now);
}

void ReminderScheduler::markHandledThrough(const QDateTime& date)
{
    const std::optional<QDateTime> stored = m_settings.dateValue(kHandledThroughKey);
    if (!stored || *stored < date) m_settings.setValue(kHandledThroughKey, date);
}

// The note is read as it is now, not as it was when the reminder was set: a note locked since then
// shows none of its words, a note binned or deleted since then reminds of nothing, and a date moved later
// waits for that date.
void ReminderScheduler::deliver(const QUuid& noteID)
{
    m_pending.remove(noteID);
    const Note* note = m_store.note(noteID);
    if (!note || note->isTrashed() || !note->reminderDate()) return;
    if (*note->reminderDate() > m_clock.now()) {
        performSchedule(*note);
        return;
    }
    markHandledThrough(*note->reminderDate());
    show(*note);
}

void ReminderScheduler::show(const Note& note)
{
    const QUuid noteID = note.uuid();
    // Asked now rather than when the reminder was set: a daemon that started since then shows it, and
    // one that starts later (after us, at login) shows it when it comes.
    if (!m_center.isAvailable()) {
        if (m_waiting.isEmpty())
            qCInfo(Log::reminders, "No notification service is running yet; reminders wait until one is.");
        m_waiting.insert(noteID);
        if (!m_retry.isActive()) m_retry = m_clock.after(kRetryMs, this, [this] { retryWaiting(); });
        return;
    }
    const bool locked = note.isLocked();
    const QString title = locked ? QStringLiteral("Tarnwick") : displayTitle(note.title());
    const QString body = locked ? QStringLiteral("You have a reminder on a locked note.") : snippet(note.body());
    const QString noteIDString = idString(noteID);
    m_center.show(title, body, [this, guard = QPointer<ReminderScheduler>(this), noteIDString](const auto& shown) {
        if (!guard) return;
        if (shown)
            remember(*shown, noteIDString);
        else
            qCWarning(Log::reminders, "Failed to show reminder: %s", qUtf8Printable(shown.error()));
    });
}

void ReminderScheduler::retryWaiting()
{
    m_retry = TimerHandle();  // this try has fired; a still missing service schedules the next
    const QSet<QUuid> waiting = std::exchange(m_waiting, {});
    for (const QUuid& id : waiting) {
        // Read as it is now: binned or deleted meanwhile, it reminds of nothing.
        const Note* note = m_store.note(id);
        if (note && !note->isTrashed()) show(*note);
    }
}

QString ReminderScheduler::displayTitle(const QString& title)
{
    const QString trimmed = title.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("Tarnwick note") : trimmed;
}

QString ReminderScheduler::snippet(const QString& body)
{
    constexpr int kMaxCharacters = 120;
    // A picture's place holder in the plain body reads as a gap, as in search snippets.
    QString text = body;
    text.replace(NoteBlock::imagePlaceholder, QStringLiteral(" "));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return QStringLiteral("Your note reminder");
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, trimmed);
    int count = 0;
    while (graphemes.toNextBoundary() != -1) {
        if (++count == kMaxCharacters) return trimmed.left(graphemes.position());
    }
    return trimmed;
}
