#pragma once

#include <QRect>
#include <QString>
#include <memory>
#include <optional>

#include "platform/Result.h"

// The window that has the focus on the desktop, as the window manager announces it.
struct ActiveWindow {
    std::optional<qint64> pid;      // _NET_WM_PID, when the client sets it
    QString instanceName;           // WM_CLASS, first part
    QString className;              // WM_CLASS, second part
    QString title;                  // _NET_WM_NAME, else WM_NAME
    std::optional<QRect> geometry;  // the client window's place on the screen, borders of the manager left out
};

// Reads the text another application has selected, and the window in front. Behind an interface so
// the capture service can be driven by a fake; the real one speaks X11.
class SelectionReader {
public:
    enum class Failure {
        unavailable,   // no X display (a pure Wayland session): selection capture cannot work here
        noOwner,       // nothing owns the PRIMARY selection
        refused,       // the owner answered without text, or with text we cannot decode
        tooLarge,      // the owner offered more text than a capture takes
        timedOut,      // the owner did not answer in time
        ownSelection,  // this application owns it: we cannot answer ourselves while we wait
    };

    virtual ~SelectionReader() = default;
    // False where the desktop gives no access to other applications' windows (no X display).
    virtual bool isAvailable() const = 0;
    // None when there is no display or no active window.
    virtual std::optional<ActiveWindow> activeWindow() = 0;
    virtual Result<QString, Failure> selectedText() = 0;
    // Whether activeWindow() and selectedText() may be called from a thread of their own (a transfer of
    // megabytes then never holds the main thread), one call at a time; activeWindow() may also be called
    // on the main thread meanwhile.
    virtual bool readsInBackground() const { return false; }

    // The X11 reader over its own connection to $DISPLAY; when there is none, a reader that reports
    // every read as unavailable.
    static std::unique_ptr<SelectionReader> createDefault();
};
