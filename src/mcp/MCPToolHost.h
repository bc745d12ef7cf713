#pragma once

#include "platform/Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

// What the tools see of one note.
struct MCPNoteRecord {
    QString id;            // the note's UUID, upper case with hyphens
    QString title;         // the stored title (may be empty)
    QString displayTitle;  // the title as lists show it
    QString body;          // plain body: text blocks joined with "\n", one U+FFFC per picture
    QStringList tags;
    bool isLocked = false;
    bool isTrashed = false;
    QDateTime createdAt;
    QDateTime updatedAt;
};

// The notes behind the endpoint's tools: implemented over the note store and the search engine.
// Everything is called on the main thread. Which notes may leave the application (locked and binned
// ones may not) is decided by the caller, so these answer with everything they are asked for. The
// lists stop once they hold `limit` records of notes that are neither locked nor binned (no limit when
// negative): a caller that shows a page of notes does not pay for the whole store.
class MCPToolHost {
public:
    virtual ~MCPToolHost() = default;

    // The search engine's matches for the query: notes not in the bin, best first, locked ones
    // included; an empty query gives every such note, most recently updated first.
    virtual QList<MCPNoteRecord> search(const QString& query, int limit) = 0;
    // Notes not in the bin, most recently updated first, locked ones included.
    virtual QList<MCPNoteRecord> allActive(int limit) = 0;
    // Pinned notes not in the bin, most recently updated first, locked ones included.
    virtual QList<MCPNoteRecord> pinned(int limit) = 0;
    // The note with that id, in the bin or not; none when there is no such note.
    virtual std::optional<MCPNoteRecord> note(const QUuid& id) = 0;
    // Makes a note with this title and body (tint blue, solid opacity, no source; the default theme
    // when one is set, with its tint when the theme id names a tint), inserts it, saves, and makes it
    // the active note without opening a window. Returns its id (upper case with hyphens), or, when
    // the note could not be put on disk, why not: the note is then not made at all, so a client that
    // tries again makes one note, not two.
    struct WriteFailure {
        QString reason;
    };
    virtual Result<QString, WriteFailure> create(const QString& title, const QString& body) = 0;
};
