#pragma once

#include <QString>

#include "model/text/AttributedText.h"

// Pasted HTML as text runs, read in a document that loads nothing (no file, no network): pictures and
// table frames are dropped, list items keep their markers as the editor writes lists, and what a stored
// run can hold (weight, slant, size, family, lines, colours, links) is kept over the typing attributes.
class PastedHtml {
public:
    // Pasted inside a line (not at its start), the first list item joins that line without a marker.
    static AttributedText text(const QString& html, const TextAttributes& typing, bool atLineStart = true);
};
