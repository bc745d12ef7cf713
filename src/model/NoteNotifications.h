#pragma once

#include <QString>

// The in-process notifications between the note view, the note windows and the shell. The object of
// each is the UUID of the note concerned (upper case) unless noted; user-info keys are listed beside
// the ones that carry any. `tarnwickThemeChanged` belongs to the store (store/NoteThemes.h).

// A new note exists (the duplicate command); the shell opens its window.
inline const QString tarnwickDidCreateNote = QStringLiteral("tarnwickDidCreateNote");
// Close the note's window; the note stays stored.
inline const QString tarnwickDismissNote = QStringLiteral("tarnwickDismissNote");
// Flash the note's outline. Nothing posts it yet; the note view observes it.
inline const QString tarnwickFlashNote = QStringLiteral("tarnwickFlashNote");
// Flash a text range: "location", "length" (UTF-16 units from the body start), optional "block".
inline const QString tarnwickFlashRange = QStringLiteral("tarnwickFlashRange");
// Apply a format command: "command", a FormatCommand raw value or "focusBody".
inline const QString tarnwickFormatCommand = QStringLiteral("tarnwickFormatCommand");
// The formats in effect at the caret changed: "active", a list of FormatCommand raw values.
inline const QString tarnwickFormatStateChanged = QStringLiteral("tarnwickFormatStateChanged");
// Expand the note's window to its largest size or restore it.
inline const QString tarnwickToggleZoom = QStringLiteral("tarnwickToggleZoom");
// Move the window: "dx", "dy" (the whole translation since the drag began), "ended".
inline const QString tarnwickDragNote = QStringLiteral("tarnwickDragNote");
// Resize the window: "dx", "dy" (the change since the previous event), "ended".
inline const QString tarnwickResizeDrag = QStringLiteral("tarnwickResizeDrag");
// Roll the window up to its title strip, or unroll it.
inline const QString tarnwickToggleRollUp = QStringLiteral("tarnwickToggleRollUp");
// The note window's opacity: "value".
inline const QString tarnwickOpacityChanged = QStringLiteral("tarnwickOpacityChanged");
// A note command from the editor: "action", one of "colour", "remind", "lock".
inline const QString tarnwickNoteAction = QStringLiteral("tarnwickNoteAction");
// Open or close the shelf. No object.
inline const QString tarnwickToggleSearchPalette = QStringLiteral("tarnwickToggleSearchPalette");
// Show the first-run tour again. No object.
inline const QString tarnwickShowWelcome = QStringLiteral("tarnwickShowWelcome");
// A global hot key acted; the object is the action's name: "newNote", "hideAll", "shelf", "capture".
inline const QString tarnwickHotkeyFired = QStringLiteral("tarnwickHotkeyFired");
// The note went to the bin; the shell lets its window go.
inline const QString tarnwickDidDeleteNote = QStringLiteral("tarnwickDidDeleteNote");
