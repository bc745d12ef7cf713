#include "mcp/MCPNoteToolHost.h"

#include "model/Note.h"
#include "platform/ModelContext.h"
#include "shelf/SearchEngine.h"
#include "store/NoteStore.h"

namespace {

QList<MCPNoteRecord> records(const QList<Note*>& notes, int limit)
{
    QList<MCPNoteRecord> out;
    int open = 0;
    for (const Note* note : notes) {
        if (limit >= 0 && open >= limit) break;
        out.append(MCPNoteToolHost::record(*note));
        open += !note->isLocked() && !note->isTrashed();
    }
    return out;
}

}  // namespace

MCPNoteToolHost::MCPNoteToolHost(NoteStore& store, SearchEngine& search) : m_store(store), m_search(search) {}

MCPNoteRecord MCPNoteToolHost::record(const Note& note)
{
    MCPNoteRecord r;
    r.id = note.uuid().toString(QUuid::WithoutBraces).toUpper();
    r.isLocked = note.isLocked();
    r.isTrashed = note.isTrashed();
    if (r.isLocked) return r;
    r.title = note.title();
    r.displayTitle = note.displayTitle();
    r.body = note.body();
    r.tags = note.tags();
    r.createdAt = note.createdAt();
    r.updatedAt = note.updatedAt();
    return r;
}

QList<MCPNoteRecord> MCPNoteToolHost::search(const QString& query, int limit)
{
    return records(m_search.search(query), limit);
}

QList<MCPNoteRecord> MCPNoteToolHost::allActive(int limit)
{
    return records(m_store.allActive(), limit);
}

QList<MCPNoteRecord> MCPNoteToolHost::pinned(int limit)
{
    return records(m_store.pinned(), limit);
}

std::optional<MCPNoteRecord> MCPNoteToolHost::note(const QUuid& id)
{
    const Note* found = m_store.note(id);
    if (!found) return std::nullopt;
    return record(*found);
}

Result<QString, MCPToolHost::WriteFailure> MCPNoteToolHost::create(const QString& title, const QString& body)
{
    if (m_volatileReason) return WriteFailure{*m_volatileReason};
    const NoteStore::CreatedNote made = m_store.createNote({title, body, std::nullopt, std::nullopt});
    if (!made.saved) {
        // Answered as a failure, so it must not appear later when a retry gets through.
        const QString why = m_store.saveFailure().value_or(QStringLiteral("the store refused the change"));
        m_store.discardUnsaved(*made.note);
        return WriteFailure{why};
    }
    return made.note->uuid().toString(QUuid::WithoutBraces).toUpper();
}
