#pragma once

#include "mcp/MCPToolHost.h"

class ModelContext;
class Note;
class SearchEngine;
class Settings;

// The endpoint's tools over the stored notes and the search engine.
//
// PLACEHOLDER wiring until the note store lands: the notes are read and written through the store's
// main context directly (the same fetches, sort and save the note store makes), the default theme is
// worked out here, and there is no active note to set yet. Replace the context with NoteStore
// (allActive, pinned, note(with:), saveNow, activeNoteID) and NoteThemes::defaultThemeID when they exist.
class MCPNoteToolHost : public MCPToolHost {
public:
    MCPNoteToolHost(ModelContext& context, SearchEngine& search, Settings& settings);

    QList<MCPNoteRecord> search(const QString& query) override;
    QList<MCPNoteRecord> allActive() override;
    QList<MCPNoteRecord> pinned() override;
    std::optional<MCPNoteRecord> note(const QUuid& id) override;
    QString create(const QString& title, const QString& body) override;

    // What the tools may see of a note. A locked note's record carries its id and flags only: its
    // title and body stay behind even if a caller forgot to drop it.
    static MCPNoteRecord record(const Note& note);

    // Every note not in the bin, most recently updated first (the search engine's source too).
    static QList<Note*> activeNotes(ModelContext& context);

private:
    QString defaultThemeID() const;

    ModelContext& m_context;
    SearchEngine& m_search;
    Settings& m_settings;
};
