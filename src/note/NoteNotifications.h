#pragma once

#include <QString>

// Posted with a note's UUID as object once the note went to the bin; the shell closes its window.
inline const QString tarnwickDidDeleteNote = QStringLiteral("tarnwickDidDeleteNote");
