#pragma once

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QTimer>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/NotificationCenter.h"
#include "windows/DeckModel.h"
#include "windows/DeckRootView.h"
#include "windows/NoteWindow.h"
#include "windows/SwipeTracker.h"

class Clock;
class FloatingNotePanel;
class FloatingNotesManager;
class Note;
class NoteStore;
class QVariantAnimation;
class Settings;

// One note window: its panel, what the panel shows (through the deck model), the size rules shared by
// every note window, and the window commands: zoom, roll-up, the strip drag, the grip resize, the
// window keys and the swipe between notes. The manager owns it; it keeps the note's stored frame and
// the shared window size up to date, saving once at the end of each drag, resize or animation.
class FloatingNoteWindowController : public QObject, public NoteWindow, public SwipeHost {
    Q_OBJECT
public:
    FloatingNoteWindowController(Note& note, NoteStore& store, Settings& settings, Clock& clock,
                                 DeckRootView::CardFactory makeCard = {});
    ~FloatingNoteWindowController() override;

    // The size every note window opens with, against the preferred screen.
    static QSizeF globalNoteSize(const Settings& settings);
    // Where a note that has no saved frame opens now.
    static QRectF newNoteFrame(const Settings& settings);
    // "general.defaultOpacityValue" when it is a number, else 1; within 0...1.
    static double defaultOpacity(const Settings& settings);
    // The window title: the locked title for a locked note, else the display title.
    static QString titleFor(const Note& note);

    // NoteWindow
    QUuid noteID() const override { return m_noteID; }
    void setManager(FloatingNotesManager* manager) override;
    void show() override;
    void present(const QUuid& noteID, int direction, bool interactive) override;
    void unroll() override;
    void orderOut() override;
    void applyOpacity(double value) override;
    void applyFloatOnTop(bool floating) override;
    QRectF frame() const override;
    QRectF restingFrame() const override;
    bool fitToScreen() override;
    void moveForRescue(const QRectF& frame, std::function<void()> landed) override;
    bool takeMoveDuringRescue() override { return std::exchange(m_movedDuringRescue, false); }
    void retire() override;

    FloatingNotePanel* panel() const { return m_panel.get(); }
    DeckModel& deckModel() { return m_model; }
    DeckRootView* deckView() const { return m_view; }
    bool isRolled() const { return m_isRolled; }

    void toggleZoom();
    void toggleRollUp();
    void handleResizeDrag(double dx, double dy, bool ended);
    void dragStep(double dx, double dy, bool ended);
    // Re-applies the size limits of the panel's screen, keeping the top-left corner (and a rolled
    // window's height).
    void applySizeBounds();
    QSizeF clampedMaxSize() const;

    // Frame changes land at once instead of animating (tests).
    void setAnimationsEnabled(bool enabled) { m_animate = enabled; }
    // Where the pointer is, in global coordinates (tests replace it).
    void setCursorSource(std::function<QPointF()> source) { m_cursor = std::move(source); }

    // SwipeHost
    bool swipesEnabled() const override;
    QUuid currentNoteID() const override { return m_noteID; }
    double windowWidth() const override;
    QList<QUuid> deck() override;
    Note* note(const QUuid& id) override;
    qint64 storeRevision() const override;
    QColor newNotePaper() override;
    void animateDragOffset(double to, double seconds, std::function<void()> done) override;
    void moveToNote(const QUuid& id, int direction) override;
    void commitNewNote() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installObservers();
    // The object of a note notification names the note shown now.
    bool concernsMe(const Notification& notification) const;
    void setFrame(const QRectF& frame, bool animate, std::function<void()> done = {});
    void applySizeLimits();
    // applySizeBounds() without the save; whether the frame changed.
    bool fitSize();
    void saveFrame();
    void writeSharedSize();
    void clearDragState();
    void unrollNow();
    void updateTitle();
    void watchNote(Note* note);
    void onMoved();
    void onResized();
    void onActivationChanged(bool active);
    void endLiveResize();
    bool handleKey(QKeyEvent* event);
    bool handleWheel(QWheelEvent* event);

    QUuid m_noteID;
    NoteStore& m_store;
    Settings& m_settings;
    QPointer<FloatingNotesManager> m_manager;
    DeckModel m_model;
    std::unique_ptr<FloatingNotePanel> m_panel;
    DeckRootView* m_view = nullptr;
    SwipeTracker m_swipe;

    std::optional<QRectF> m_lastUserFrame;
    std::optional<QRectF> m_expandedFrame;
    bool m_isRolled = false;
    std::optional<QPointF> m_dragOrigin;
    std::optional<QPointF> m_dragMouseStart;
    bool m_isGripResizing = false;
    bool m_movedDuringRescue = false;
    bool m_liveResize = false;
    QTimer m_liveResizeEnd;
    // Set while the controller moves the panel itself, so its own moves are not saved step by step.
    int m_settingFrame = 0;
    bool m_animate = true;
    std::function<QPointF()> m_cursor;
    QVariantAnimation* m_frameAnimation = nullptr;
    QVariantAnimation* m_offsetAnimation = nullptr;
    QMetaObject::Connection m_noteWatch;
    ObserverToken m_zoomObserver, m_dragObserver, m_rollObserver, m_resizeObserver;
    // The last wheel event seen: Qt hands a wheel event that is passed on to each parent in turn.
    struct WheelSeen {
        quint64 timestamp = 0;
        QPointF position;
        QPoint angleDelta;
        QPoint pixelDelta;
    } m_lastWheel;
};
