#pragma once

#include <QString>

#include "model/text/AttributedText.h"

// The editor shows a note's title as the first line of the first text block: the title, one "\n",
// then the block's text. These split that text again and keep the caret out of the title line.
class NoteDocument {
public:
    struct Parts {
        QString title;
        AttributedText body;
    };

    // The title is the text before the first "\n"; the body is everything after it, with its
    // attributes. Without a "\n" the whole text is the title.
    static Parts split(const AttributedText& text);
    // The title alone, without copying the body.
    static QString title(const AttributedText& text);
    // The title flattened to one line (every line break becomes a space), then "\n" in the body's
    // style, then the body as it is.
    static AttributedText compose(const QString& title, const AttributedText& body,
                                  const TextAttributes& titleAttributes, const TextAttributes& bodyAttributes);
    // The UTF-16 offset just after the first "\n", or the length when there is none.
    static qsizetype bodyStart(const AttributedText& text);
};
