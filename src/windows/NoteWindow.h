#pragma once

#include <QRectF>
#include <QUuid>
#include <functional>

class FloatingNotesManager;

// What the floating-notes manager needs of one note window. The real one is
// FloatingNoteWindowController; tests use fakes.
class NoteWindow {
public:
    virtual ~NoteWindow() = default;

    // The note shown now; changes when present() swaps the note.
    virtual QUuid noteID() const = 0;
    // Set by the manager right after creation.
    virtual void setManager(FloatingNotesManager* manager) = 0;
    // Front, active, keyboard on the window itself.
    virtual void show() = 0;
    // Swaps the shown note in place; nothing for the current note or a missing one. Not interactive:
    // the new note slides in from the side of `direction` (+1 right, otherwise left).
    virtual void present(const QUuid& noteID, int direction, bool interactive) = 0;
    // Opens a window rolled up to its title strip back out to the frame it had before.
    virtual void unroll() {}
    // Takes the window off screen without ending it.
    virtual void orderOut() = 0;
    // Floats above other windows on every desktop, or sits among them like any window; a window kept
    // off screen takes the state when it is shown again.
    virtual void applyFloatOnTop(bool floating) { (void)floating; }
    // Sets the opacity of this window's backdrop (clamped to 0...1; non-finite values ignored).
    virtual void applyOpacity(double value) = 0;

    virtual QRectF frame() const = 0;
    // The frame to keep on the note: the unrolled frame while rolled up.
    virtual QRectF restingFrame() const = 0;
    // Brings the window within the size limits of the screen it is on now (after that screen shrank),
    // keeping its top-left corner where the screen allows; saves nothing. Whether the frame changed.
    virtual bool fitToScreen() { return false; }
    // Moves the window (animated) to a frame chosen by the screen rescue; a rolled window moves its
    // unrolled frame along, so unrolling lands on a screen too. `landed` runs once the window stands at
    // its new frame (at once when nothing animates); not at all when another move replaced this one.
    virtual void moveForRescue(const QRectF& frame, std::function<void()> landed) = 0;
    // Whether the window manager moved the window while a rescue was pending (a move left for the
    // rescue to save); asking clears it.
    virtual bool takeMoveDuringRescue() { return false; }

    // The manager is done with the window: it should go away once control has returned to the event
    // loop (a window may be closed from inside its own key handler).
    virtual void retire() = 0;
};
