#pragma once

#include <QByteArray>
#include <QString>

#include "model/text/AttributedText.h"
#include "platform/Result.h"

struct LegacyArchiveError {
    enum class Kind {
        NotAnArchive,      // not a binary property list holding a keyed archive
        Malformed,         // the object graph breaks the layout of a keyed archive or of a class
        LimitExceeded,     // too large, too many objects, or nested too deep
        ClassNotAllowed,   // an object of a class that a rich body never holds
        Cycle,             // an object that contains itself
        NotAttributedText  // the root object is not an attributed string
    };
    Kind kind;
    QString detail;
};

// Reads the attributed strings that older versions kept as note bodies: keyed archives (binary property
// lists holding an object graph) whose root object is an attributed string with fonts, colours, line
// styles, links and picture attachments. The bytes come from the store, so nothing in them is trusted:
// only the classes such a body needs are decoded, the graph is bounded in size, object count and depth,
// cycles are refused, and every failure is an error, never a crash or a hang.
class LegacyArchiveReader {
public:
    struct Limits {
        qsizetype maxBytes = 32 * 1024 * 1024;
        qsizetype maxObjects = 100000;
        int maxDepth = 32;
    };

    static Result<AttributedText, LegacyArchiveError> read(const QByteArray& bytes, const Limits& limits);
    static Result<AttributedText, LegacyArchiveError> read(const QByteArray& bytes) { return read(bytes, Limits{}); }
};
