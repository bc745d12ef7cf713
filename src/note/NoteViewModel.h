#pragma once

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <optional>

#include "store/ResolvedNoteLook.h"

#include "editor/text/FormatCommand.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"

class Clock;
class Note;
class NoteStore;
class UnlockSession;

// What the view of one note shows and decides, without widgets: which pieces are there for the window's
// state (active, rolled) and the note's (redacted, body), every label, help text and accessible value,
// the lock tables, the note's menu, the character count, the popover flags, and the commands. The
// commands never touch the window: they post the note notifications with the note's UUID, and the
// window, editor or shell concerned acts. Main thread only.
class NoteViewModel : public QObject {
    Q_OBJECT
public:
    // What the reminder commands need of the reminder scheduler.
    struct Reminders {
        // Whether a reminder can appear at all on this desktop (a notification service). Never prompts.
        std::function<bool()> requestAuthorizationIfNeeded;
        std::function<void(const Note&)> performSchedule;
        std::function<void(const Note&)> cancel;
        // A reminder was set where none can appear: explain why (the shell decides how often).
        std::function<void()> explainUnavailable;
    };
    // Whether the owner can be asked to authenticate now. Asking may start an authentication
    // transaction, so it is asked when a menu is built, the window turns active or the lock panel
    // appears, never while painting.
    using CanAuthenticate = std::function<bool()>;

    enum class LockState { notLocked, redacted, unlocked };
    enum class Dot { close, rollUp, zoom };

    struct MenuItem {
        enum class Command { lock, remind, shortcuts, duplicate, remove } command;
        QString label;
        bool enabled = true;
        QString toolTip;  // why an item is disabled
        bool destructive = false;
        bool separatorBefore = false;
    };

    struct FormatButton {
        FormatCommand command;
        QString symbol;
        QString label;
    };
    // The format row from the left; a divider stands between the fourth and the fifth.
    static const QList<FormatButton>& formatButtons();

    NoteViewModel(NoteStore& store, UnlockSession& unlock, Reminders reminders, CanAuthenticate canAuthenticate,
                  Clock& clock, QObject* parent = nullptr);
    ~NoteViewModel() override;

    // The note shown. Another note starts the view afresh: popovers closed, reminder draft, lit formats,
    // flash, grip drag, notice; the observers follow the new note.
    Note* note() const { return m_note; }
    void setNote(Note* note);
    QString noteObject() const;

    bool isActive() const { return m_active; }
    // `pointer`: where the pointer is as the window turns key (global coordinates).
    void setActive(bool active, const QPointF& pointer = QPointF());
    bool isRolled() const { return m_rolled; }
    void setRolled(bool rolled);
    double windowOpacity() const { return m_windowOpacity; }
    void setWindowOpacity(double opacity);

    // ---- What is shown ----
    bool isRedacted() const;
    LockState lockState() const;
    bool formatRowShown() const;
    bool countShown() const;
    bool gripPresent() const;
    double gripOpacity() const { return m_active ? 1.0 : 0.0; }
    bool bottomEdgePresent() const { return !m_rolled; }
    bool opacityButtonPresent() const;
    // The note's design palette is offered whenever its content can be seen.
    bool designButtonPresent() const { return m_note && !isRedacted(); }
    bool buttonsTakeClicks() const { return m_active; }
    // Whether a press at `pointer` (global) on the opacity, lock or design button is theirs. The window
    // manager gives a note window the focus before it hands over the click that asked for it: that
    // click, aimed at a window whose buttons were hidden, comes at once and where the pointer was as
    // the window turned key, and it only made the window key.
    static constexpr qint64 kKeyClickMs = 300;
    static constexpr qreal kKeyClickSlop = 8;
    bool buttonsTakePress(const QPointF& pointer) const;
    // The title row holds only the locked title field, for a redacted note.
    bool titleRowShown() const { return isRedacted(); }
    // Rolled up, the body (whose first line is the title) is gone: the title row shows the title, or
    // a daily note's day when it has none.
    bool rolledTitleShown() const { return m_rolled && m_note && !isRedacted(); }
    QString rolledTitle() const;
    bool contentShown() const { return !m_rolled; }
    double columnOpacity() const { return m_active ? 1.0 : 0.85; }
    bool lockPanelShown() const { return isRedacted(); }

    // ---- Labels ----
    static QString dotLabel(Dot dot, bool rolled);
    QString dotLabel(Dot dot) const { return dotLabel(dot, m_rolled); }
    static QColor dotColour(Dot dot);
    // 0.455 -> 46, halves away from zero.
    static int percent(double value);
    QString opacityAccessibleValue() const;
    QString lockButtonSymbol() const;
    QColor lockButtonColour() const;
    QString lockButtonLabel() const;
    // The lock button is refused on a note that is not locked while nobody can be authenticated: a
    // note locked then could never be read again.
    bool lockButtonEnabled() const;
    QString lockActionLabel() const;
    QList<MenuItem> menuItems();
    bool isLit(FormatCommand command) const;
    const QSet<QString>& activeFormats() const { return m_activeFormats; }
    QString countText() const;
    // User-perceived characters; each picture's U+FFFC counts as one.
    static qsizetype graphemeCount(QStringView text);
    // The count of `after`, knowing that `before` counted `countBefore`: only the stretch that differs is
    // counted again, so a keystroke in a body of megabytes costs little more than comparing the two.
    static qsizetype graphemeCountAfterChange(const QString& before, qsizetype countBefore, const QString& after);

    // Lock panel rows.
    QString lockPanelAuthLine() const;
    std::optional<QString> lockPanelFailure() const;
    bool unlockButtonEnabled() const { return m_canAuthenticate; }
    QString unlockSymbol() const;

    // The colour of the bottom band and its alpha.
    QColor bottomEdgeColour() const;
    double bottomEdgeAlpha() const;

    // A refusal or failure to show to the owner (empty when none), for a few seconds from the latest;
    // else, while saves fail, the lasting word that notes are not being saved.
    QString notice() const;
    void showNotice(const QString& notice) { setNotice(notice); }
    bool isFlashing() const { return m_flashing; }
    quint32 themeRevision() const { return m_themeRevision; }

    // Asks again whether anyone can authenticate (see CanAuthenticate).
    void refreshAuthentication();
    bool canAuthenticate() const { return m_canAuthenticate; }

    // ---- Commands ----
    void clickDot(Dot dot);
    void toggleZoomFromStrip();
    // The strip's drag: the whole translation since the press.
    void stripDrag(const QPointF& translation, bool ended);
    // The grip's drag: the whole translation since the press; posts the change since the last event.
    void gripDrag(const QPointF& translation);
    void gripDragEnded();
    void formatClicked(FormatCommand command);
    void lockButtonClicked();
    // The menu's lock item and the "lock" note action.
    void toggleLock();
    // The lock panel's Unlock; at most one prompt per note: while one is open this brings it forward.
    void unlock();
    bool unlockPending() const;
    void performMenu(MenuItem::Command command);
    void duplicate();
    void deleteNote();

    // Popovers.
    bool showingOpacity() const { return m_showingOpacity; }
    void setShowingOpacity(bool showing);
    bool showingPalette() const { return m_showingPalette; }
    // Refused while the note is redacted: its look is not for show then either.
    void setShowingPalette(bool showing);
    bool showingReminder() const { return m_showingReminder; }
    void openReminder();
    void setShowingReminder(bool showing);
    QDateTime reminderDraft() const { return m_reminderDraft; }
    void setReminderDraft(const QDateTime& draft) { m_reminderDraft = draft; }
    // No notification service: the popover says that reminders cannot appear (the date is kept).
    bool remindersUnavailable() const { return m_remindersUnavailable; }
    bool clearOffered() const;
    void setReminder();
    void clearReminder();

    // Raises the open password prompt (set by the view).
    std::function<void()> bringPromptForward;
    // Called just before a password prompt is asked for, so the view can name the window it belongs to.
    std::function<void()> aboutToPrompt;

    // ---- Named accessibility actions ----
    // The actions a screen reader offers for the current state, in order. Each does no more than its
    // button could: none without a note; on a redacted note only the title and closing.
    QStringList accessibilityActions() const;
    // Performs one of accessibilityActions(); false (and nothing done) for any other name.
    bool performAccessibilityAction(const QString& name);
    // Whether the note's design palette exists here at all (the view has one).
    void setDesignActionAvailable(bool available) { m_designActionAvailable = available; }

Q_SIGNALS:
    // Anything shown changed; the view reads again.
    void changed();
    void noteChanged();
    // The view should put the keyboard into the body.
    void focusBodyRequested();
    // The note shown was unlocked here: its text is revealed, and the view gives it the keyboard now,
    // before keys already typed are handled.
    void unlocked();
    // The view should put the keyboard into the title (the locked title of a redacted note).
    void focusTitleRequested();
    // The view should show the formatting shortcuts sheet under the menu's anchor.
    void shortcutsRequested();
    void showingOpacityChanged();
    void showingReminderChanged();
    void showingPaletteChanged();

private:
    void installObservers();
    bool concernsNote(const Notification& notification) const;
    void post(const QString& name, const QVariantMap& info = {}) const;
    void handleNoteAction(const QVariantMap& info);
    // Locks the note shown; a failed seal is also said by a notice when `noticeFailure`.
    void lockNow(bool noticeFailure);
    void setNotice(const QString& notice);
    void updateCount();

    NoteStore& m_store;
    UnlockSession& m_unlock;
    Reminders m_reminders;
    CanAuthenticate m_canAuthenticateFn;
    Clock& m_clock;
    QPointer<Note> m_note;
    QMetaObject::Connection m_noteWatch;
    bool m_active = false;
    qint64 m_activeSince = 0;  // when the window last became key, on the clock, and where the pointer was
    QPointF m_activePointer;
    bool m_rolled = false;
    double m_windowOpacity = 1.0;
    bool m_canAuthenticate = true;
    QSet<QString> m_activeFormats;
    bool m_flashing = false;
    quint32 m_themeRevision = 0;
    // The look last shown, so that a theme change that leaves this note's look alone does nothing.
    std::optional<ResolvedNoteLook> m_shownLook;
    bool m_designActionAvailable = true;
    bool m_showingOpacity = false;
    bool m_showingPalette = false;
    bool m_showingReminder = false;
    bool m_remindersUnavailable = false;
    QDateTime m_reminderDraft;
    QPointF m_gripLast;
    QString m_notice;
    qsizetype m_count = 0;
    QString m_countedBody;  // the body m_count counts
    // Notes whose password prompt is open (kept across note changes: the prompt outlives them).
    QSet<QUuid> m_unlocking;
    ObserverToken m_flashObserver, m_formatObserver, m_themeObserver, m_actionObserver;
    TimerHandle m_flashTimer;
    TimerHandle m_noticeTimer;
};
