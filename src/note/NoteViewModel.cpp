#include "note/NoteViewModel.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>

#include "design/TarnwickTheme.h"
#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "note/NoteDeletion.h"
#include "platform/Log.h"
#include "privacy/UnlockSession.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"

namespace {

QString upperUuid(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

const QString kUnlockReason = QStringLiteral("Unlock this note");
constexpr qint64 kFlashMs = 900;
constexpr qint64 kNoticeMs = 3000;

QString cannotLockText()
{
    return NoteViewModel::tr(
        "A locked note opens only with your password, and no authentication is available on this computer, "
        "so this note can't be locked now.");
}

QString sealFailedText()
{
    return UnlockSession::sealFailureText();
}

}  // namespace

const QList<NoteViewModel::FormatButton>& NoteViewModel::formatButtons()
{
    static const QList<FormatButton> buttons{
        {FormatCommand::bold, QStringLiteral("bold"), tr("Bold")},
        {FormatCommand::italic, QStringLiteral("italic"), tr("Italic")},
        {FormatCommand::underline, QStringLiteral("underline"), tr("Underline")},
        {FormatCommand::strikethrough, QStringLiteral("strikethrough"), tr("Strikethrough")},
        {FormatCommand::toggleDone, QStringLiteral("checkmark.square"), tr("Toggle done")},
        {FormatCommand::toggleBullet, QStringLiteral("list.bullet"), tr("Bullet list")},
        {FormatCommand::toggleNumbered, QStringLiteral("list.number"), tr("Numbered list")},
    };
    return buttons;
}

NoteViewModel::NoteViewModel(NoteStore& store, UnlockSession& unlock, Reminders reminders,
                             CanAuthenticate canAuthenticate, Clock& clock, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_unlock(unlock),
      m_reminders(std::move(reminders)),
      m_canAuthenticateFn(std::move(canAuthenticate)),
      m_clock(clock)
{
    connect(&m_unlock, &UnlockSession::unlockedNoteIDsChanged, this, [this] {
        // The lock panel appears: whether its Unlock can work is asked now, not while painting.
        if (isRedacted()) refreshAuthentication();
        Q_EMIT changed();
    });
    connect(&m_unlock, &UnlockSession::unlockFailuresChanged, this, &NoteViewModel::changed);
    // While saves fail, every note window says so (the note's words are in memory only).
    connect(&m_store, &NoteStore::saveFailureChanged, this, &NoteViewModel::changed);
    // The theme observer is the same for every note.
    m_themeObserver = m_store.notifications().observe(
        tarnwickThemeChanged,
        [this](const Notification&) {
            if (m_note) {
                ResolvedNoteLook look = m_store.look(*m_note);
                if (m_shownLook && *m_shownLook == look) return;
                m_shownLook = std::move(look);
            }
            ++m_themeRevision;  // wraps
            Q_EMIT changed();
        },
        QString(), this);
}

NoteViewModel::~NoteViewModel()
{
    m_flashTimer.cancel();
}

QString NoteViewModel::noteObject() const
{
    return m_note ? upperUuid(m_note->uuid()) : QString();
}

void NoteViewModel::setNote(Note* note)
{
    if (m_note == note) return;
    m_note = note;
    disconnect(m_noteWatch);
    if (note)
        m_noteWatch = connect(note, &ManagedObject::attributeChanged, this, [this](int attribute) {
            if (attribute == Note::Body) updateCount();
            Q_EMIT changed();
        });
    // A fresh start for the new note.
    m_showingOpacity = false;
    m_showingPalette = false;
    m_shownLook = note ? std::optional<ResolvedNoteLook>(m_store.look(*note)) : std::nullopt;
    m_showingReminder = false;
    m_reminderDraft = QDateTime();
    m_activeFormats.clear();
    m_flashing = false;
    m_flashTimer.cancel();
    m_gripLast = QPointF();
    m_notice.clear();
    updateCount();
    installObservers();
    if (m_active || isRedacted()) refreshAuthentication();
    Q_EMIT showingOpacityChanged();
    Q_EMIT showingPaletteChanged();
    Q_EMIT showingReminderChanged();
    Q_EMIT noteChanged();
    Q_EMIT changed();
    if (note) Q_EMIT focusBodyRequested();
}

void NoteViewModel::setActive(bool active, const QPointF& pointer)
{
    if (m_active == active) return;
    m_active = active;
    if (active) {
        m_activeSince = m_clock.elapsedMs();
        m_activePointer = pointer;
        refreshAuthentication();
    }
    Q_EMIT changed();
}

bool NoteViewModel::buttonsTakePress(const QPointF& pointer) const
{
    if (!m_active) return false;
    const bool keyClick = m_clock.elapsedMs() - m_activeSince < kKeyClickMs &&
                          (pointer - m_activePointer).manhattanLength() <= kKeyClickSlop;
    return !keyClick;
}

void NoteViewModel::setRolled(bool rolled)
{
    if (m_rolled == rolled) return;
    m_rolled = rolled;
    Q_EMIT changed();
}

void NoteViewModel::setWindowOpacity(double opacity)
{
    if (!std::isfinite(opacity)) return;
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (m_windowOpacity == opacity) return;
    m_windowOpacity = opacity;
    Q_EMIT changed();
}

void NoteViewModel::refreshAuthentication()
{
    const bool can = m_canAuthenticateFn ? m_canAuthenticateFn() : false;
    if (can == m_canAuthenticate) return;
    m_canAuthenticate = can;
    Q_EMIT changed();
}

// ---- Observers ----

void NoteViewModel::installObservers()
{
    m_flashObserver.reset();
    m_formatObserver.reset();
    m_actionObserver.reset();
    if (!m_note) return;
    NotificationCenter& center = m_store.notifications();
    m_flashObserver = center.observe(
        tarnwickFlashNote,
        [this](const Notification& n) {
            if (!concernsNote(n)) return;
            m_flashing = true;
            Q_EMIT changed();
            m_flashTimer.cancel();
            m_flashTimer = m_clock.after(kFlashMs, this, [this] {
                m_flashing = false;
                Q_EMIT changed();
            });
        },
        QString(), this);
    m_formatObserver = center.observe(
        tarnwickFormatStateChanged,
        [this](const Notification& n) {
            if (!concernsNote(n)) return;
            const QVariant active = n.userInfo.value(QStringLiteral("active"));
            // A list of strings only; anything else leaves the lit buttons as they were.
            if (active.typeId() != QMetaType::QStringList) {
                if (active.typeId() != QMetaType::QVariantList) return;
                for (const QVariant& v : active.toList())
                    if (v.typeId() != QMetaType::QString) return;
            }
            const QStringList list = active.toStringList();
            QSet<QString> formats(list.begin(), list.end());
            if (formats == m_activeFormats) return;
            m_activeFormats = formats;
            Q_EMIT changed();
        },
        QString(), this);
    m_actionObserver = center.observe(
        tarnwickNoteAction,
        [this](const Notification& n) {
            if (concernsNote(n)) handleNoteAction(n.userInfo);
        },
        QString(), this);
}

bool NoteViewModel::concernsNote(const Notification& notification) const
{
    if (!m_note) return false;
    const QUuid id = QUuid::fromString(notification.object);
    return !id.isNull() && id == m_note->uuid();
}

void NoteViewModel::handleNoteAction(const QVariantMap& info)
{
    const QVariant action = info.value(QStringLiteral("action"));
    if (action.typeId() != QMetaType::QString) return;
    const QString name = action.toString();
    if (name == QLatin1String("remind")) {
        openReminder();
    } else if (name == QLatin1String("lock")) {
        toggleLock();
    } else if (name == QLatin1String("colour")) {
        // On the next turn, once the slash menu that asked for it has closed.
        QMetaObject::invokeMethod(
            this, [this] { setShowingPalette(true); }, Qt::QueuedConnection);
    }
}

void NoteViewModel::post(const QString& name, const QVariantMap& info) const
{
    if (!m_note) return;
    m_store.notifications().post(name, noteObject(), info);
}

// ---- What is shown ----

bool NoteViewModel::isRedacted() const
{
    return m_note && m_unlock.isRedacted(*m_note);
}

NoteViewModel::LockState NoteViewModel::lockState() const
{
    if (!m_note || !m_note->isLocked()) return LockState::notLocked;
    return isRedacted() ? LockState::redacted : LockState::unlocked;
}

bool NoteViewModel::formatRowShown() const
{
    return m_active && !isRedacted() && !m_rolled;
}

bool NoteViewModel::countShown() const
{
    return formatRowShown() && m_count > 0;
}

bool NoteViewModel::gripPresent() const
{
    return !m_rolled && !isRedacted();
}

bool NoteViewModel::opacityButtonPresent() const
{
    return !isRedacted();
}

QString NoteViewModel::dotLabel(Dot dot, bool rolled)
{
    switch (dot) {
        case Dot::close:
            return tr("Close note");
        case Dot::rollUp:
            return rolled ? tr("Unroll") : tr("Roll up to title");
        case Dot::zoom:
            return tr("Expand / restore");
    }
    return {};
}

QColor NoteViewModel::dotColour(Dot dot)
{
    switch (dot) {
        case Dot::close:
            return QColor::fromRgbF(0.925f, 0.416f, 0.369f);
        case Dot::rollUp:
            return QColor::fromRgbF(0.957f, 0.749f, 0.31f);
        case Dot::zoom:
            return QColor::fromRgbF(0.38f, 0.769f, 0.329f);
    }
    return {};
}

int NoteViewModel::percent(double value)
{
    if (!std::isfinite(value)) return 0;
    return int(std::round(value * 100.0));  // std::round rounds halves away from zero
}

QString NoteViewModel::opacityAccessibleValue() const
{
    return tr("%1 percent").arg(percent(m_windowOpacity));
}

QString NoteViewModel::lockButtonSymbol() const
{
    switch (lockState()) {
        case LockState::notLocked:
            return QStringLiteral("lock");
        case LockState::redacted:
            return QStringLiteral("lock.fill");
        case LockState::unlocked:
            return QStringLiteral("lock.open.fill");
    }
    return {};
}

QColor NoteViewModel::lockButtonColour() const
{
    return lockState() == LockState::redacted ? TarnwickTheme::accent() : TarnwickTheme::textSecondary();
}

QString NoteViewModel::lockButtonLabel() const
{
    switch (lockState()) {
        case LockState::notLocked:
            return lockButtonEnabled() ? tr("Lock this note") : cannotLockText();
        case LockState::redacted:
            return tr("Unlock this note");
        case LockState::unlocked:
            return tr("Lock again");
    }
    return {};
}

bool NoteViewModel::lockButtonEnabled() const
{
    return lockState() != LockState::notLocked || m_canAuthenticate;
}

QString NoteViewModel::lockActionLabel() const
{
    // No biometrics here: the labels take their password forms.
    switch (lockState()) {
        case LockState::redacted:
            return tr("Unlock (your password)");
        case LockState::unlocked:
            return tr("Lock again");
        case LockState::notLocked:
            return tr("Lock \u00B7 Password");
    }
    return {};
}

QList<NoteViewModel::MenuItem> NoteViewModel::menuItems()
{
    refreshAuthentication();
    using C = MenuItem::Command;
    QList<MenuItem> items;
    MenuItem lock{C::lock, lockActionLabel()};
    lock.enabled = lockButtonEnabled();
    if (!lock.enabled) lock.toolTip = cannotLockText();
    items << lock;
    const bool hasReminder = m_note && m_note->reminderDate().has_value();
    items << MenuItem{C::remind, hasReminder ? tr("Reminder\u2026") : tr("Remind me\u2026")};
    MenuItem duplicate{C::duplicate, tr("Duplicate")};
    duplicate.separatorBefore = true;
    // A copy of a locked note would either carry its text out in the clear or, sealed, hold nothing.
    duplicate.enabled = m_note && !m_note->isLocked();
    if (!duplicate.enabled) duplicate.toolTip = tr("A locked note can't be duplicated.");
    items << duplicate;
    items << MenuItem{C::shortcuts, tr("Formatting shortcuts")};
    MenuItem remove{C::remove, tr("Delete note")};
    remove.destructive = true;
    remove.separatorBefore = true;
    items << remove;
    return items;
}

bool NoteViewModel::isLit(FormatCommand command) const
{
    return m_activeFormats.contains(FormatCommands::rawValue(command));
}

namespace {

qsizetype clusters(const QChar* text, qsizetype length)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text, length);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

}  // namespace

qsizetype NoteViewModel::graphemeCount(QStringView text)
{
    // No cluster joins two ASCII characters but CR LF, and none reaches across such a pair: ASCII is
    // counted as it stands (megabytes of it would keep the finder busy for a good part of a second), and
    // the finder gets each stretch holding anything else, from such a pair before it to one after it.
    constexpr qsizetype asciiAround = 16;
    const auto ascii = [&](qsizetype i) { return text[i].unicode() < 0x80; };
    const auto crlf = [&](qsizetype i) { return text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n'; };
    const qsizetype n = text.size();
    qsizetype count = 0;
    for (qsizetype i = 0; i < n;) {
        // An ASCII character before anything else may start a cluster with it (a letter and its accent).
        if (ascii(i) && (i + 1 == n || ascii(i + 1))) {
            i += crlf(i) ? 2 : 1;
            ++count;
            continue;
        }
        qsizetype end = i + 1;
        for (qsizetype run = 0; end < n; ++end) {
            run = ascii(end - 1) ? run + 1 : 0;
            if (run >= asciiAround && ascii(end) && !crlf(end - 1)) break;
        }
        count += clusters(text.constData() + i, end - i);
        i = end;
    }
    return count;
}

namespace {

// No cluster joins two printable ASCII characters, so a boundary between them is certain whatever
// stands around.
bool certainBoundary(const QString& text, qsizetype at)
{
    if (at <= 0 || at >= text.size()) return true;
    const auto printable = [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; };
    return printable(text[at - 1]) && printable(text[at]);
}

}  // namespace

qsizetype NoteViewModel::graphemeCountAfterChange(const QString& before, qsizetype countBefore, const QString& after)
{
    constexpr qsizetype search = 512;
    if (before.size() < 4 * search || after.size() < 4 * search) return graphemeCount(after);
    const qsizetype shorter = std::min(before.size(), after.size());
    const QChar* b = before.constData();
    const QChar* a = after.constData();
    const qsizetype prefix = std::mismatch(b, b + shorter, a).first - b;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && b[before.size() - 1 - suffix] == a[after.size() - 1 - suffix]) ++suffix;
    // The counted stretch starts and ends where both texts hold the same two printable characters.
    qsizetype start = prefix == shorter && before.size() == after.size() ? prefix : std::max<qsizetype>(0, prefix - 1);
    const qsizetype lowest = std::max<qsizetype>(0, start - search);
    while (start > lowest && !certainBoundary(after, start)) --start;
    if (!certainBoundary(after, start)) return graphemeCount(after);
    qsizetype tail = std::max<qsizetype>(0, suffix - 1);  // characters after the stretch, in both
    const qsizetype least = std::max<qsizetype>(0, tail - search);
    while (tail > least && !certainBoundary(after, after.size() - tail)) --tail;
    if (!certainBoundary(after, after.size() - tail)) return graphemeCount(after);
    tail = std::min({tail, before.size() - start, after.size() - start});
    return countBefore - graphemeCount(QStringView(before).mid(start, before.size() - tail - start)) +
           graphemeCount(QStringView(after).mid(start, after.size() - tail - start));
}

void NoteViewModel::updateCount()
{
    const QString body = m_note ? m_note->body() : QString();
    m_count = m_countedBody.isEmpty() ? graphemeCount(body) : graphemeCountAfterChange(m_countedBody, m_count, body);
    m_countedBody = body;
}

QString NoteViewModel::rolledTitle() const
{
    if (!m_note) return {};
    if (m_note->title().trimmed().isEmpty())
        if (const auto key = m_note->dayKey())
            if (const auto day = Note::formattedDay(*key)) return *day;
    return m_note->title();
}

QString NoteViewModel::countText() const
{
    return QString::number(m_count);
}

QString NoteViewModel::lockPanelAuthLine() const
{
    if (m_canAuthenticate) return tr("Available (password)");
    // The system's reason, when it gave one: what to fix.
    const QString reason = m_unlock.unavailableReason();
    return reason.isEmpty() ? tr("Not available on this computer") : tr("Not available on this computer: ") + reason;
}

std::optional<QString> NoteViewModel::lockPanelFailure() const
{
    if (!m_note) return std::nullopt;
    return m_unlock.unlockFailure(m_note->uuid());
}

QString NoteViewModel::unlockSymbol() const
{
    return m_unlock.authSymbol();
}

QColor NoteViewModel::bottomEdgeColour() const
{
    if (!m_note) return TarnwickTheme::hairline();
    return m_store.look(*m_note).theme.badge();
}

double NoteViewModel::bottomEdgeAlpha() const
{
    return m_note && m_store.look(*m_note).wallpaper ? 0.22 : 0.08;
}

QString NoteViewModel::notice() const
{
    if (!m_notice.isEmpty()) return m_notice;
    if (const auto failure = m_store.saveFailure()) return NoteStore::saveFailureText(*failure);
    return {};
}

void NoteViewModel::setNotice(const QString& notice)
{
    m_notice = notice;
    // Each notice gets its full time: the same text shown again is not cut short by the first timer.
    m_noticeTimer.cancel();
    Q_EMIT changed();
    if (notice.isEmpty()) return;
    QPointer<Note> shownWith = m_note;
    m_noticeTimer = m_clock.after(kNoticeMs, this, [this, shownWith] {
        if (m_note == shownWith) setNotice(QString());
    });
}

// ---- Commands ----

void NoteViewModel::clickDot(Dot dot)
{
    switch (dot) {
        case Dot::close:
            post(tarnwickDismissNote);
            break;
        case Dot::rollUp:
            post(tarnwickToggleRollUp);
            break;
        case Dot::zoom:
            post(tarnwickToggleZoom);
            break;
    }
}

void NoteViewModel::toggleZoomFromStrip()
{
    post(tarnwickToggleZoom);
}

void NoteViewModel::stripDrag(const QPointF& translation, bool ended)
{
    post(tarnwickDragNote, {{QStringLiteral("dx"), translation.x()},
                            {QStringLiteral("dy"), translation.y()},
                            {QStringLiteral("ended"), ended}});
}

void NoteViewModel::gripDrag(const QPointF& translation)
{
    const QPointF delta = translation - m_gripLast;
    m_gripLast = translation;
    post(tarnwickResizeDrag,
         {{QStringLiteral("dx"), delta.x()}, {QStringLiteral("dy"), delta.y()}, {QStringLiteral("ended"), false}});
}

void NoteViewModel::gripDragEnded()
{
    m_gripLast = QPointF();
    post(tarnwickResizeDrag,
         {{QStringLiteral("dx"), 0.0}, {QStringLiteral("dy"), 0.0}, {QStringLiteral("ended"), true}});
}

void NoteViewModel::formatClicked(FormatCommand command)
{
    post(tarnwickFormatCommand, {{QStringLiteral("command"), FormatCommands::rawValue(command)}});
}

void NoteViewModel::lockButtonClicked()
{
    if (!m_note) return;
    switch (lockState()) {
        case LockState::notLocked:
            // The head row's button locks without relocking: the freshly locked note shows redacted
            // because it is not among the notes unlocked in this run.
            lockNow(false);
            break;
        case LockState::redacted:
            unlock();
            break;
        case LockState::unlocked:
            if (!m_unlock.relock(m_note->uuid())) setNotice(sealFailedText());
            break;
    }
}

void NoteViewModel::lockNow(bool noticeFailure)
{
    refreshAuthentication();
    if (!m_canAuthenticate) {
        qCWarning(Log::privacy, "Refused to lock a note: no authentication is available to unlock it");
        setNotice(cannotLockText());
        return;
    }
    // The first lock of a run may wait for the keyring's answer: the session locks the note then, also
    // when this view has moved on to another note or closed.
    QPointer<NoteViewModel> self(this);
    const QUuid id = m_note->uuid();
    m_unlock.lock(id, [self, id, noticeFailure](bool sealed) {
        if (!self || !self->m_note || self->m_note->uuid() != id) return;
        if (!sealed && noticeFailure) self->setNotice(sealFailedText());
        Q_EMIT self->changed();
    });
}

void NoteViewModel::toggleLock()
{
    if (!m_note) return;
    if (isRedacted()) {
        unlock();
        return;
    }
    if (!m_note->isLocked()) return lockNow(true);
    if (!m_unlock.relock(m_note->uuid())) setNotice(sealFailedText());
}

bool NoteViewModel::unlockPending() const
{
    return m_note && m_unlocking.contains(m_note->uuid());
}

void NoteViewModel::unlock()
{
    if (!m_note) return;
    const QUuid id = m_note->uuid();
    if (m_unlocking.contains(id)) {
        // The session would reveal a second time over what was typed since the first: bring the open
        // prompt forward instead.
        if (bringPromptForward) bringPromptForward();
        return;
    }
    m_unlocking.insert(id);
    Q_EMIT changed();
    if (aboutToPrompt) aboutToPrompt();
    QPointer<NoteViewModel> self(this);
    m_unlock.unlock(id, [self, id](bool admitted) {
        if (!self) return;
        self->m_unlocking.remove(id);
        Q_EMIT self->changed();
        if (admitted && self->m_note && self->m_note->uuid() == id) Q_EMIT self->unlocked();
    });
}

void NoteViewModel::performMenu(MenuItem::Command command)
{
    using C = MenuItem::Command;
    switch (command) {
        case C::lock:
            toggleLock();
            break;
        case C::remind:
            openReminder();
            break;
        case C::shortcuts:
            Q_EMIT shortcutsRequested();
            break;
        case C::duplicate:
            duplicate();
            break;
        case C::remove:
            deleteNote();
            break;
    }
}

void NoteViewModel::duplicate()
{
    if (!m_note || m_note->isLocked()) return;
    Note* copy = m_store.duplicate(*m_note);
    if (!copy) return;
    m_store.notifications().post(tarnwickDidCreateNote, upperUuid(copy->uuid()));
}

void NoteViewModel::deleteNote()
{
    if (!m_note) return;
    NoteDeletion::perform(*m_note, m_store);
}

// ---- Popovers ----

void NoteViewModel::setShowingOpacity(bool showing)
{
    if (showing && !opacityButtonPresent()) return;
    if (m_showingOpacity == showing) return;
    m_showingOpacity = showing;
    Q_EMIT showingOpacityChanged();
}

void NoteViewModel::openReminder()
{
    if (!m_note) return;
    m_reminderDraft = m_note->reminderDate().value_or(m_clock.now().addSecs(3600));
    m_remindersUnavailable =
        m_reminders.requestAuthorizationIfNeeded ? !m_reminders.requestAuthorizationIfNeeded() : true;
    setShowingReminder(true);
}

void NoteViewModel::setShowingPalette(bool showing)
{
    if (showing && !designButtonPresent()) return;
    if (m_showingPalette == showing) return;
    m_showingPalette = showing;
    Q_EMIT showingPaletteChanged();
}

void NoteViewModel::setShowingReminder(bool showing)
{
    if (m_showingReminder == showing) return;
    m_showingReminder = showing;
    Q_EMIT showingReminderChanged();
}

bool NoteViewModel::clearOffered() const
{
    return m_note && m_note->reminderDate().has_value();
}

void NoteViewModel::setReminder()
{
    if (!m_note || !m_reminderDraft.isValid()) return;
    m_note->setReminderDate(m_reminderDraft);
    m_note->setUpdatedAt(m_clock.now());
    m_store.saveNow();
    const bool canAppear = m_reminders.requestAuthorizationIfNeeded && m_reminders.requestAuthorizationIfNeeded();
    // The date stays saved either way; without a notification service nothing can appear, and the
    // popover said so.
    if (canAppear && m_reminders.performSchedule) m_reminders.performSchedule(*m_note);
    m_remindersUnavailable = !canAppear;
    setShowingReminder(false);
    Q_EMIT changed();
    if (!canAppear && m_reminders.explainUnavailable) m_reminders.explainUnavailable();
}

void NoteViewModel::clearReminder()
{
    if (!m_note || !m_note->reminderDate()) return;
    m_note->setReminderDate(std::nullopt);
    m_note->setUpdatedAt(m_clock.now());
    m_store.saveNow();
    if (m_reminders.cancel) m_reminders.cancel(*m_note);
    setShowingReminder(false);
    Q_EMIT changed();
}

namespace {
const QString kEditTitle = QStringLiteral("Edit title");
const QString kNoteDesign = QStringLiteral("Note design");
const QString kWindowOpacity = QStringLiteral("Window opacity");
const QString kCloseNote = QStringLiteral("Close note");
}  // namespace

QStringList NoteViewModel::accessibilityActions() const
{
    if (!m_note) return {};
    QStringList actions{kEditTitle};
    if (m_designActionAvailable && designButtonPresent()) actions << kNoteDesign;
    if (!isRedacted()) actions << kWindowOpacity;
    actions << kCloseNote;
    return actions;
}

bool NoteViewModel::performAccessibilityAction(const QString& name)
{
    if (!accessibilityActions().contains(name)) return false;
    if (name == kEditTitle)
        Q_EMIT focusTitleRequested();
    else if (name == kNoteDesign)
        setShowingPalette(true);
    else if (name == kWindowOpacity)
        setShowingOpacity(true);
    else if (name == kCloseNote)
        post(tarnwickDismissNote);
    return true;
}
