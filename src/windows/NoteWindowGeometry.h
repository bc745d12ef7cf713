#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>

class Settings;

// The size and frame rules of note windows, as pure functions. Frames are Qt global coordinates
// (top-left origin, y down). The rules were first stated bottom-up, so "keep the top-left corner" is
// written here as keeping (x, y); this is the only place that translation happens.
namespace NoteWindowGeometry {

constexpr QSizeF minimumSize{260, 180};
// The shared size before the user has chosen one.
constexpr QSizeF fallbackSize{360, 280};
// The largest window when no screen is known.
constexpr QSizeF noScreenMaximum{1288, 1012};
// Height of a window rolled up to its title strip.
constexpr double rolledHeight = 82;
// A window within this many points of its maximum in both axes counts as zoomed.
constexpr double zoomTolerance = 20;
// Where a new window opens, measured from the top-right corner of the preferred screen's work area.
constexpr double firstFrameRightInset = 60;
constexpr double firstFrameTopInset = 80;

bool isFinite(const QRectF& rect);

// The largest window on a screen whose available area is `available`.
QSizeF maximumSize(const std::optional<QRectF>& available);
// Per axis min(max(value, minimum), maximum): a maximum below the minimum wins.
QSizeF clampedSize(const QSizeF& size, const QSizeF& maximum);

// The size every window opens with: "notes.windowWidth" x "notes.windowHeight", or the fallback when
// either is below the minimum or not a finite number; clamped to `maximum`.
QSizeF globalNoteSize(const Settings& settings, const QSizeF& maximum);

// The frame of `size` with the top-left corner of `frame`.
QRectF keepingTopLeft(const QRectF& frame, const QSizeF& size);

struct FirstFrameInput {
    std::optional<QRectF> savedFrame;  // ignored unless finite with a positive size
    QSizeF sharedSize;                 // globalNoteSize against the preferred screen
    std::optional<QRectF> preferredAvailable;
    QList<QRectF> screenFrames;     // full frames, to find the screen of the saved corner
    QList<QRectF> screenAvailable;  // available areas, in the same order
};
// Where a window opens: the saved top-left corner (or the top-right of the preferred screen) with the
// shared size, clamped to the maximum of the screen under that corner, then rescued onto a screen.
QRectF firstFrame(const FirstFrameInput& input);

struct Zoom {
    QRectF target;
    std::optional<QRectF> lastUserFrame;
};
// Zoom to the maximum, remembering the frame; or, when already within the tolerance of it, back to
// the remembered frame (else the minimum size), all keeping the top-left corner.
Zoom toggleZoom(const QRectF& frame, const QSizeF& maximum, const std::optional<QRectF>& lastUserFrame);

QRectF rolledFrame(const QRectF& frame);

// One step of a resize-grip drag by (dx, dy), keeping the top-left corner; none when the size stays.
std::optional<QRectF> gripResized(const QRectF& frame, double dx, double dy, const QSizeF& maximum);

// The strip drag: on the first event, where the pointer was when the drag began (the translation dx, dy
// is the whole movement since then); then the window's origin for the pointer's position now.
QPointF dragMouseStart(const QPointF& mouse, double dx, double dy);
QPointF draggedOrigin(const QPointF& dragOrigin, const QPointF& mouseStart, const QPointF& mouse);

}  // namespace NoteWindowGeometry
