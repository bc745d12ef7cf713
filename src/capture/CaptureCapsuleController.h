#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "capture/CaptureCapsuleModel.h"
#include "platform/Clock.h"

// The one confirmation capsule: a pill near the bottom of the screen that confirms a capture (or a
// removal) with Undo, counts down and fades away, pauses while the pointer is on it, and opens what
// was captured on a click. It never takes the keyboard focus; while it is up, Ctrl+Z undoes and
// Escape dismisses whatever window of ours has the keys. The panel is made on first show and reused.
class CaptureCapsuleController : public QObject {
    Q_OBJECT
public:
    struct Kind {
        enum Type { deleted, warning, captured };
        Type type = captured;
        QString message;  // the removed thing's name for `deleted`
        QString detail;
        static Kind deletedItem(const QString& name) { return {deleted, name, {}}; }
        static Kind warningOf(const QString& message, const QString& detail) { return {warning, message, detail}; }
        static Kind capturedText() { return {captured, {}, {}}; }
    };

    // The window that shows the model. Kept by the controller once made.
    class Surface {
    public:
        virtual ~Surface() = default;
        // Builds the content for the model, sizes and places the panel, and fades it in.
        virtual void present(bool reduceMotion) = 0;
        // Fades out, then calls `done` (unless the surface went first).
        virtual void fadeOut(bool reduceMotion, std::function<void()> done) = 0;
        virtual void orderOut() = 0;
        // The application-wide key monitor (it must see keys before a note editor does).
        virtual void setKeyMonitor(bool installed) = 0;
    };
    using SurfaceFactory = std::function<std::unique_ptr<Surface>(CaptureCapsuleController&)>;

    CaptureCapsuleController(Clock& clock, SurfaceFactory makeSurface, std::function<bool()> reduceMotion,
                             QObject* parent = nullptr);
    ~CaptureCapsuleController() override;

    // Replaces whatever capsule is up.
    void show(const Kind& kind, std::function<void()> onUndo, std::function<void()> onOpen = {});

    CaptureCapsuleModel& model() { return m_model; }
    const Clock& clock() const { return m_clock; }
    bool isShowing() const { return m_showing; }

    // The view's actions. An undo action may show a capsule of its own (to say the undo failed):
    // that one stays up; otherwise the capsule goes.
    void undoAction();
    void openAction();
    void hoverChanged(bool inside);
    // The key monitor: true when the key was used (it goes no further).
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);

    void dismiss();

private:
    void scheduleDismiss(double seconds);

    Clock& m_clock;
    SurfaceFactory m_makeSurface;
    std::function<bool()> m_reduceMotion;
    CaptureCapsuleModel m_model;
    std::unique_ptr<Surface> m_surface;
    TimerHandle m_dismissTimer;
    std::function<void()> m_onUndo;
    std::function<void()> m_onOpen;
    bool m_showing = false;
    // A fade that ends after a newer show must leave that capsule up.
    quint64 m_generation = 0;
};
