#pragma once

#include <QString>
#include <QUuid>
#include <optional>

// The X selections this process offers. Whatever an X client asks for, PRIMARY hands over the text
// last selected here and CLIPBOARD the text last copied; a note that is locked must stop offering its
// words that way.
namespace OwnedSelections {
// The dynamic property, on a widget or one of its parents, that names the note it shows (a QUuid).
inline constexpr const char* noteProperty = "tarnwickNoteID";

// From now on remembers, for each selection this process comes to own, which note it came from: the
// note named by noteProperty on the focused object or the nearest parent that has it. Idempotent.
void track();
// The note the last selection set in this mode (QClipboard::Mode) came from; none when it came from
// elsewhere. Whether this process still holds it is the clipboard's to say.
std::optional<QUuid> sourceOf(int mode);
// Gives up PRIMARY and CLIPBOARD where this process holds them from the note `noteID`, whatever
// text they hold now. Returns how many it gave up.
int releaseFromNote(const QUuid& noteID);

// Gives up PRIMARY and CLIPBOARD where this process holds them with text that is part of `text`
// (line breaks and spaces compared as the editor exports them). Returns how many it gave up.
int releaseTextFrom(const QString& text);
// Whether `held` (what a selection offers) is a piece of `text`.
bool isPartOf(const QString& held, const QString& text);
}  // namespace OwnedSelections
