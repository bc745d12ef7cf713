#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QSet>
#include <QUuid>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "windows/NoteWindow.h"

class Note;
class NoteStore;
class Settings;

// Every open note window of the process, keyed by the UUID of the note each one shows now. Opens a
// note's window or brings it forward, keeps the open stack (the notes opened since launch, in the order
// first opened) and the deck derived from it for the one-note-at-a-time mode, hides and restores all
// windows, and brings stranded windows back onto a screen after a screen change. Main thread only.
class FloatingNotesManager : public QObject {
    Q_OBJECT
public:
    using WindowFactory = std::function<std::unique_ptr<NoteWindow>(Note& note)>;
    // Shown after an empty note was binned on the way out of it: the name ("Empty note") and an undo.
    using EmptyNoteToast = std::function<void(const QString& name, std::function<void()> undo)>;
    // The screens the rescue works with: their available areas and the preferred one's.
    struct ScreenSource {
        std::function<QList<QRectF>()> availableFrames;
        std::function<std::optional<QRectF>()> preferredAvailable;
    };

    FloatingNotesManager(NoteStore& store, Settings& settings, WindowFactory factory, QObject* parent = nullptr);
    ~FloatingNotesManager() override;

    static bool oneNoteAtATime(const Settings& settings);
    static bool globalFloatOnTop(const Settings& settings);

    NoteStore& store() const { return m_store; }
    // A blank note of the default theme, inserted and saved (the new-note key and the swipe past the
    // last note make one).
    void setEmptyNoteToast(EmptyNoteToast toast) { m_emptyNoteToast = std::move(toast); }
    void setScreenSource(ScreenSource source) { m_screens = std::move(source); }

    // Opens the note's window or brings it forward; none for a missing note or one in the bin.
    NoteWindow* show(const QUuid& noteID);
    // Ctrl+W: off the open stack; in deck mode the window moves to a neighbour, else it closes.
    void closeNote(const QUuid& noteID);
    // Closes one window; the note stays stored and on the open stack.
    void closePanel(const QUuid& noteID);
    // The note went to the bin: a deck window moves to a neighbour, otherwise the window closes.
    void noteWasDeleted(const QUuid& noteID);
    void hideAll();
    void restoreAll();

    bool isHidden() const { return m_isHidden; }
    const QSet<QUuid>& hiddenIDs() const { return m_hiddenIDs; }
    // Every open window by the note it shows now. Only the manager changes the set.
    QHash<QUuid, NoteWindow*> controllers() const;
    // The window of a note, or null.
    NoteWindow* controller(const QUuid& noteID) const;
    QList<QUuid> controllerIDs() const;
    // Windows open and not hidden.
    QList<QUuid> openNoteIDs() const;
    bool isNoteOpen(const QUuid& noteID) const;
    const QList<QUuid>& openStack() const { return m_openStack; }

    // The open stack without missing and binned notes, cached per store revision and open stack.
    QList<QUuid> deck();

    // The swipe committed to an existing note.
    void moveToNote(const QUuid& target, NoteWindow& window, int direction);
    // The swipe went past the last note: a new note in that window.
    void commitNewNote(NoteWindow& window);
    // One step back (-1) or forward (+1) through the deck; nothing past either end.
    void commitSwipe(NoteWindow& window, int direction, bool interactive);

    // Brings every window whose top strip is on no screen back onto the preferred screen.
    void rescueStrandedPanels();
    // Many screen changes in one event-loop turn fold into one rescue.
    void scheduleRescue();
    // The screens changed and the rescue has not run yet: a window the window manager moves meanwhile
    // is saved by the rescue, where it lands, not on its way there.
    bool rescuePending() const { return m_rescueScheduled; }

Q_SIGNALS:
    // The set of open or hidden windows changed.
    void windowsChanged();

private:
    using WindowPtr = std::unique_ptr<NoteWindow, void (*)(NoteWindow*)>;

    void watchScreens();
    // Moves the window's entry to another note, carrying whether it was put away by hideAll().
    void rekey(const QUuid& from, const QUuid& to);
    // Another window already shows `to`: that one comes forward and `from`'s window closes.
    bool bringForwardInstead(const QUuid& from, const QUuid& to);
    void movePanel(NoteWindow& window, const QUuid& from, const QUuid& to, int direction, bool interactive,
                   bool checkExisting);
    void applyEmptyNoteRule(const QUuid& from);
    void saveFrame(const QUuid& noteID, const QRectF& frame);

    NoteStore& m_store;
    Settings& m_settings;
    WindowFactory m_factory;
    EmptyNoteToast m_emptyNoteToast;
    ScreenSource m_screens;
    std::map<QUuid, WindowPtr> m_controllers;
    bool m_isHidden = false;
    QSet<QUuid> m_hiddenIDs;
    QList<QUuid> m_openStack;
    std::optional<std::pair<qint64, QList<QUuid>>> m_deckKey;
    QList<QUuid> m_deckValue;
    bool m_rescueScheduled = false;
};
