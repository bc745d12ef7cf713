#pragma once

#include <QColor>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>
#include <functional>

#include "platform/Clock.h"

class DeckModel;
class Note;

// What a swipe needs of the window it runs in. Animations are asked for here and run by the window;
// the tracker never drives time itself.
class SwipeHost {
public:
    virtual ~SwipeHost() = default;
    // Swipes are off while the window is rolled up or outside the one-note-at-a-time mode.
    virtual bool swipesEnabled() const = 0;
    virtual QUuid currentNoteID() const = 0;
    virtual double windowWidth() const = 0;
    // The deck in order; empty without a manager.
    virtual QList<QUuid> deck() = 0;
    virtual Note* note(const QUuid& id) = 0;
    // Bumped by every save; a cached peek note is looked up again when it moves.
    virtual qint64 storeRevision() const = 0;
    virtual QColor newNotePaper() = 0;
    // Eases the current card's offset to `to` over `seconds`, then calls `done` (also when the window
    // goes away first it need not call it).
    virtual void animateDragOffset(double to, double seconds, std::function<void()> done) = 0;
    virtual void moveToNote(const QUuid& id, int direction) = 0;
    virtual void commitNewNote() = 0;
};

// A horizontal two-finger or wheel scroll over a note window drags the note sideways while its
// neighbour follows; on release the window commits to the neighbour or springs back. Past the last note
// a "New note" sheet is pulled in with a rubber band and committing it makes a new note.
//
// Wheels and most X11 devices report no gesture phases: 200 ms without an event then ends the gesture.
class SwipeTracker : public QObject {
    Q_OBJECT
public:
    enum class Axis { undecided, horizontal, vertical };
    enum class Phase { idle, tracking, committed };
    // The gesture phase an event reports, as far as the device tells.
    enum class EventPhase { none, began, changed, ended, cancelled };

    // Seconds of quiet after which the next event starts a new gesture.
    static constexpr double gestureGap = 0.35;
    // Without phases, this much quiet ends the gesture.
    static constexpr qint64 silenceEndsGestureMs = 200;
    // Scroll events are swallowed for at most this long after a commit began.
    static constexpr double commitSwallow = 2.0;
    static constexpr double axisDecisionPoints = 6;
    static constexpr double lineStepPoints = 10;

    SwipeTracker(SwipeHost& host, DeckModel& model, Clock& clock, QObject* parent = nullptr);

    // True when the event is consumed. `dx`, `dy` are in points for precise deltas, else in lines.
    bool handleScroll(bool isMine, double dx, double dy, EventPhase phase, EventPhase momentum, bool precise);

    Phase phase() const { return m_phase; }
    Axis axis() const { return m_axis; }
    double swipeAmount() const { return m_swipeAmount; }
    double velocity() const { return m_velocity; }
    bool isCommitting() const { return m_isCommitting; }

private:
    double secondsNow() const;
    void beginSwipe();
    void updateVisuals();
    void release();
    void snapBack();
    void finish(double width, int direction, std::function<void()> swap);
    void armSilenceTimer(bool phased);
    // Lookups cached until the store saves again: a scroll event costs no scan of the notes.
    Note* cachedNote(const QUuid& id);

    SwipeHost& m_host;
    DeckModel& m_model;
    Clock& m_clock;
    Phase m_phase = Phase::idle;
    Axis m_axis = Axis::undecided;
    double m_swipeAmount = 0;
    double m_lastScrollAt = -1e9;
    bool m_gestureEnded = false;
    QList<QUuid> m_deck;
    qsizetype m_index = 0;
    double m_pendingDX = 0;
    double m_pendingDY = 0;
    double m_velocity = 0;
    bool m_isCommitting = false;
    double m_commitStartedAt = -1e9;
    TimerHandle m_silence;
    QHash<QUuid, QPointer<Note>> m_noteCache;
    qint64 m_cacheRevision = -1;
};
