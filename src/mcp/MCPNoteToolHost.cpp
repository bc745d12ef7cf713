#include "mcp/MCPNoteToolHost.h"

#include "model/Note.h"
#include "platform/FetchDescriptor.h"
#include "platform/Log.h"
#include "platform/ModelContext.h"
#include "platform/Settings.h"
#include "shelf/SearchEngine.h"

namespace {

QList<Note*> fetchNotes(ModelContext& context, std::function<bool(const Note&)> predicate)
{
    FetchDescriptor<Note> descriptor;
    descriptor.predicate = std::move(predicate);
    descriptor.sort = {{Note::UpdatedAt, false}};
    auto notes = context.fetch(descriptor);
    if (!notes) {
        qCWarning(Log::store, "Fetch failed: %s", qUtf8Printable(notes.error().description()));
        return {};
    }
    return *notes;
}

QList<MCPNoteRecord> records(const QList<Note*>& notes)
{
    QList<MCPNoteRecord> out;
    out.reserve(notes.size());
    for (const Note* note : notes) out.append(MCPNoteToolHost::record(*note));
    return out;
}

}  // namespace

MCPNoteToolHost::MCPNoteToolHost(ModelContext& context, SearchEngine& search, Settings& settings)
    : m_context(context), m_search(search), m_settings(settings)
{
}

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

QList<Note*> MCPNoteToolHost::activeNotes(ModelContext& context)
{
    return fetchNotes(context, [](const Note& n) { return !n.isTrashed(); });
}

QList<MCPNoteRecord> MCPNoteToolHost::search(const QString& query)
{
    return records(m_search.search(query));
}

QList<MCPNoteRecord> MCPNoteToolHost::allActive()
{
    return records(activeNotes(m_context));
}

QList<MCPNoteRecord> MCPNoteToolHost::pinned()
{
    return records(fetchNotes(m_context, [](const Note& n) { return n.isPinned() && !n.isTrashed(); }));
}

std::optional<MCPNoteRecord> MCPNoteToolHost::note(const QUuid& id)
{
    const QList<Note*> found = fetchNotes(m_context, [&id](const Note& n) { return n.uuid() == id; });
    if (found.isEmpty()) return std::nullopt;
    return record(*found.first());
}

QString MCPNoteToolHost::defaultThemeID() const
{
    for (const char* key : {"notes.defaultThemeID", "general.defaultTint"}) {
        const QString id = m_settings.stringValue(QString::fromLatin1(key));
        if (!id.isEmpty()) return id;
    }
    return QStringLiteral("blue");
}

QString MCPNoteToolHost::create(const QString& title, const QString& body)
{
    auto made = std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt);
    const QString theme = defaultThemeID();
    made->setThemeID(theme);
    if (const auto tint = Tint::fromRawValue(theme)) made->setTint(*tint);
    Note* note = m_context.insert(std::move(made));
    if (m_context.hasChanges()) {
        // A failed save keeps the note in memory; autosave tries again with the next change.
        if (const auto saved = m_context.save(); !saved)
            qCWarning(Log::store, "Local save failed: %s. Change is still held in memory.",
                      qUtf8Printable(saved.error().description()));
    }
    return note->uuid().toString(QUuid::WithoutBraces).toUpper();
}
