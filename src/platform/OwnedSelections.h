#pragma once

#include <QString>

// The X selections this process offers. Whatever an X client asks for, PRIMARY hands over the text
// last selected here and CLIPBOARD the text last copied; a note that is locked must stop offering its
// words that way.
namespace OwnedSelections {
// Gives up PRIMARY and CLIPBOARD where this process holds them with text that is part of `text`
// (line breaks and spaces compared as the editor exports them). Returns how many it gave up.
int releaseTextFrom(const QString& text);
// Whether `held` (what a selection offers) is a piece of `text`.
bool isPartOf(const QString& held, const QString& text);
}  // namespace OwnedSelections
