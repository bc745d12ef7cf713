#pragma once

#include "mcp/MCPToolHost.h"

class Note;
class NoteStore;
class SearchEngine;

// The endpoint's tools over the note store and the search engine.
class MCPNoteToolHost : public MCPToolHost {
public:
    MCPNoteToolHost(NoteStore& store, SearchEngine& search);

    QList<MCPNoteRecord> search(const QString& query, int limit) override;
    QList<MCPNoteRecord> allActive(int limit) override;
    QList<MCPNoteRecord> pinned(int limit) override;
    std::optional<MCPNoteRecord> note(const QUuid& id) override;
    Result<QString, WriteFailure> create(const QString& title, const QString& body) override;
    // Set when the store lives in memory only (it could not be opened and the user went on without
    // it): nothing written through the endpoint would outlast the run, so writes are refused.
    void setVolatile(const QString& reason) { m_volatileReason = reason; }

    // What the tools may see of a note. A locked note's record carries its id and flags only: its
    // title and body stay behind even if a caller forgot to drop it.
    static MCPNoteRecord record(const Note& note);

private:
    NoteStore& m_store;
    SearchEngine& m_search;
    std::optional<QString> m_volatileReason;
};
