#include "windows/SwipeTracker.h"

#include <algorithm>
#include <cmath>

#include "model/Note.h"
#include "windows/DeckModel.h"

namespace {

bool ends(SwipeTracker::EventPhase phase)
{
    return phase == SwipeTracker::EventPhase::ended || phase == SwipeTracker::EventPhase::cancelled;
}

}  // namespace

SwipeTracker::SwipeTracker(SwipeHost& host, DeckModel& model, Clock& clock, QObject* parent)
    : QObject(parent), m_host(host), m_model(model), m_clock(clock)
{
}

double SwipeTracker::secondsNow() const
{
    return double(m_clock.elapsedMs()) / 1000.0;
}

Note* SwipeTracker::cachedNote(const QUuid& id)
{
    const qint64 revision = m_host.storeRevision();
    if (revision != m_cacheRevision) {
        m_noteCache.clear();
        m_cacheRevision = revision;
    }
    auto it = m_noteCache.find(id);
    if (it == m_noteCache.end()) it = m_noteCache.insert(id, QPointer<Note>(m_host.note(id)));
    return it->data();
}

bool SwipeTracker::handleScroll(bool isMine, double dx, double dy, EventPhase phase, EventPhase momentum, bool precise)
{
    if (!isMine || !m_host.swipesEnabled()) return false;
    if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
    const double now = secondsNow();

    if (m_isCommitting) {
        m_lastScrollAt = now;
        if (now - m_commitStartedAt < commitSwallow) return true;
        m_isCommitting = false;
    }
    const double factor = precise ? 1.0 : lineStepPoints;

    if (ends(phase) || ends(momentum)) {
        m_silence.cancel();
        m_gestureEnded = true;
        switch (m_phase) {
            case Phase::idle:
                return false;
            case Phase::tracking:
                release();
                return true;
            case Phase::committed:
                if (ends(momentum)) m_phase = Phase::idle;
                return true;
        }
    }

    const double gap = now - m_lastScrollAt;
    if (gap > gestureGap || (m_gestureEnded && momentum == EventPhase::none)) beginSwipe();
    m_lastScrollAt = now;
    armSilenceTimer(phase != EventPhase::none || momentum != EventPhase::none);

    if (m_phase == Phase::committed) return true;

    const double dxs = dx * factor;
    if (m_axis == Axis::undecided) {
        m_pendingDX += dxs;
        m_pendingDY += dy * factor;
        if (std::max(std::abs(m_pendingDX), std::abs(m_pendingDY)) < axisDecisionPoints) return false;
        m_axis = std::abs(m_pendingDX) > 1.5 * std::abs(m_pendingDY) ? Axis::horizontal : Axis::vertical;
    }
    if (m_axis != Axis::horizontal) return false;

    m_phase = Phase::tracking;
    // On the event that decides the axis the pending sum already holds this delta, so it counts twice.
    m_swipeAmount += m_pendingDX + dxs;
    m_pendingDX = m_pendingDY = 0;
    if (gap >= 0.002 && gap < 0.1) m_velocity = std::clamp(0.7 * (dxs / gap) + 0.3 * m_velocity, -4000.0, 4000.0);
    updateVisuals();
    return true;
}

void SwipeTracker::armSilenceTimer(bool phased)
{
    m_silence.cancel();
    // Devices that report phases say when the gesture ends; the others go quiet.
    if (phased) return;
    m_silence = m_clock.after(silenceEndsGestureMs, this, [this] {
        m_gestureEnded = true;
        if (m_phase == Phase::tracking)
            release();
        else if (m_phase == Phase::committed && !m_isCommitting)
            m_phase = Phase::idle;
    });
}

void SwipeTracker::beginSwipe()
{
    m_phase = Phase::idle;
    m_swipeAmount = m_velocity = m_pendingDX = m_pendingDY = 0;
    m_axis = Axis::undecided;
    m_gestureEnded = false;
    m_deck = m_host.deck();
    m_index = std::max<qsizetype>(0, m_deck.indexOf(m_host.currentNoteID()));
    m_noteCache.clear();
}

void SwipeTracker::updateVisuals()
{
    const int step = m_swipeAmount < 0 ? 1 : -1;
    const qsizetype target = m_index + step;
    if (target >= 0 && target < m_deck.size()) {
        m_model.setPeekNote(cachedNote(m_deck.at(target)));
        m_model.setPeekIsNewNote(false);
        m_model.setPeekIsTrailing(m_swipeAmount < 0);
        m_model.setDragOffset(m_swipeAmount);
        return;
    }
    const Note* current = cachedNote(m_host.currentNoteID());
    if (target >= m_deck.size() && current && !current->isContentEmpty()) {
        m_model.setPeekNote(nullptr);
        if (!m_model.peekIsNewNote()) m_model.setNewNotePaper(m_host.newNotePaper());
        m_model.setPeekIsNewNote(true);
        m_model.setPeekIsTrailing(true);
        const double w = std::max(m_host.windowWidth(), 1.0);
        double m = std::abs(m_swipeAmount);
        const double free = 0.18 * w;
        if (m > free) {
            const double span = 0.42 * w - free;
            m = free + span * (1 - std::exp(-(m - free) / span));
        }
        m_model.setDragOffset(-m);
        return;
    }
    m_model.setPeekNote(nullptr);
    m_model.setPeekIsNewNote(false);
    m_model.setDragOffset(0);
}

void SwipeTracker::release()
{
    const double w = std::max(m_host.windowWidth(), 1.0);
    const int step = m_swipeAmount < 0 ? 1 : -1;
    const qsizetype target = m_index + step;
    const double projected = m_swipeAmount + 0.12 * m_velocity;
    // Only a projection on the side the note was dragged to commits: a fast flick back springs back.
    const bool farEnough = (m_swipeAmount < 0 ? -projected : projected) >= 0.3 * w;
    if (target >= 0 && target < m_deck.size() && farEnough) {
        const QUuid id = m_deck.at(target);
        finish(w, step, [this, id, step] { m_host.moveToNote(id, step); });
        return;
    }
    if (target >= m_deck.size() && m_model.peekIsNewNote() && farEnough) {
        finish(w, step, [this] { m_host.commitNewNote(); });
        return;
    }
    m_phase = Phase::idle;
    if (m_model.dragOffset() != 0 || m_model.peekIsNewNote() || m_model.peekNote()) snapBack();
}

void SwipeTracker::snapBack()
{
    QPointer<SwipeTracker> self(this);
    m_host.animateDragOffset(0, 0.18, [self] {
        if (!self) return;
        self->m_model.setPeekNote(nullptr);
        self->m_model.setPeekIsNewNote(false);
    });
}

void SwipeTracker::finish(double width, int direction, std::function<void()> swap)
{
    Q_UNUSED(direction);
    m_phase = Phase::committed;
    m_isCommitting = true;
    m_commitStartedAt = secondsNow();
    const double rest = m_swipeAmount < 0 ? -width : width;
    double duration = 0.26;
    if (std::abs(m_velocity) > 100)
        duration = std::clamp(std::abs((rest - m_model.dragOffset()) / m_velocity), 0.13, 0.26);
    QPointer<SwipeTracker> self(this);
    m_host.animateDragOffset(rest, duration, [self, swap = std::move(swap)] {
        if (!self) return;
        swap();
        self->m_model.setDragOffset(0);
        self->m_model.setPeekNote(nullptr);
        self->m_model.setPeekIsNewNote(false);
        self->m_isCommitting = false;
    });
}
