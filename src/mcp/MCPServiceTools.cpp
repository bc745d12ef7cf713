// The note tools of the local endpoint: their descriptions, argument rules and result shapes.
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextBoundaryFinder>
#include <cmath>

#include "mcp/MCPService.h"
#include "mcp/MCPToolHost.h"

namespace {

const QString kSearchNotes = QStringLiteral("search_notes");
const QString kListNotes = QStringLiteral("list_notes");
const QString kReadNote = QStringLiteral("read_note");
const QString kCreateNote = QStringLiteral("create_note");
const QString kNotFound = QStringLiteral("note not found");

QJsonObject property(const QString& type, const QString& description)
{
    return {{QStringLiteral("type"), type}, {QStringLiteral("description"), description}};
}

QJsonObject tool(const QString& name, const QString& description, const QJsonObject& properties,
                 const QStringList& required)
{
    QJsonObject schema{{QStringLiteral("type"), QStringLiteral("object")}, {QStringLiteral("properties"), properties}};
    if (!required.isEmpty()) schema.insert(QStringLiteral("required"), QJsonArray::fromStringList(required));
    return {{QStringLiteral("name"), name},
            {QStringLiteral("description"), description},
            {QStringLiteral("inputSchema"), schema}};
}

QJsonObject searchNotesTool()
{
    return tool(
        kSearchNotes,
        QStringLiteral("Search the user's Tarnwick notes by keyword. Locked (private) notes never match. "
                       "Returns id, title, a snippet, and updatedAt."),
        {{QStringLiteral("query"), property(QStringLiteral("string"), QStringLiteral("Search text."))},
         {QStringLiteral("limit"), property(QStringLiteral("integer"), QStringLiteral("Max results (default 20)."))}},
        {QStringLiteral("query")});
}

QJsonObject listNotesTool()
{
    QJsonObject section = property(QStringLiteral("string"), QStringLiteral("Which notes to list (default all)."));
    section.insert(QStringLiteral("enum"),
                   QJsonArray{QStringLiteral("all"), QStringLiteral("pinned"), QStringLiteral("recent")});
    return tool(
        kListNotes,
        QStringLiteral("List the user's notes (id, title, updatedAt, tags). Locked and deleted notes are "
                       "excluded entirely."),
        {{QStringLiteral("section"), section},
         {QStringLiteral("limit"), property(QStringLiteral("integer"), QStringLiteral("Max results (default 50)."))}},
        {});
}

QJsonObject readNoteTool()
{
    return tool(kReadNote,
                QStringLiteral("Read one note's full title, body, tags, and dates by id. Locked or deleted ids "
                               "return \"note not found\"."),
                {{QStringLiteral("id"), property(QStringLiteral("string"), QStringLiteral("The note's id (UUID)."))}},
                {QStringLiteral("id")});
}

QJsonObject createNoteTool()
{
    return tool(kCreateNote,
                QStringLiteral("Create a new Tarnwick note and save it. Returns the new note's id. Does not open a "
                               "window or modify existing notes."),
                {{QStringLiteral("title"), property(QStringLiteral("string"), QStringLiteral("Optional title."))},
                 {QStringLiteral("body"), property(QStringLiteral("string"), QStringLiteral("Note body text."))}},
                {QStringLiteral("body")});
}

// An integer argument counts only when it is a number with no fraction; anything else takes the default.
int limitArgument(const QJsonObject& arguments, int fallback, int lowest, int highest)
{
    const QJsonValue value = arguments.value(QStringLiteral("limit"));
    if (!value.isDouble()) return fallback;
    const double n = value.toDouble();
    if (!std::isfinite(n) || std::trunc(n) != n) return fallback;
    return int(std::clamp(n, double(lowest), double(highest)));
}

// ISO 8601 in UTC with a "Z" and whole seconds.
QString isoDate(const QDateTime& date)
{
    if (!date.isValid()) return {};
    return QDateTime::fromSecsSinceEpoch(date.toSecsSinceEpoch(), Qt::UTC).toString(Qt::ISODate);
}

QString snippet(const QString& body)
{
    constexpr int kLength = 200;
    QString text = body;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    text = text.mid(begin, end - begin);
    if (text.size() <= kLength) return text;  // never more clusters than code units
    // Count user-perceived characters, so an emoji or an accented letter is never cut in half.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int clusters = 0;
    qsizetype cut = 0;
    while (clusters < kLength) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0) return text;
        cut = next;
        ++clusters;
    }
    if (cut >= text.size()) return text;
    return text.left(cut) + QChar(0x2026);
}

}  // namespace

QJsonObject MCPService::handleToolsList() const
{
    QJsonArray tools{searchNotesTool(), listNotesTool(), readNoteTool()};
    if (!readOnly()) tools.append(createNoteTool());
    return {{QStringLiteral("tools"), tools}};
}

MCPService::RPCOutcome MCPService::handleToolsCall(const QJsonObject& params)
{
    const QJsonValue nameValue = params.value(QStringLiteral("name"));
    if (!nameValue.isString()) return RPCOutcome::error(-32602, QStringLiteral("Missing tool name"));
    const QString name = nameValue.toString();
    const QJsonObject arguments = params.value(QStringLiteral("arguments")).toObject();
    if (name == kSearchNotes) return toolContent(searchNotes(arguments));
    if (name == kListNotes) return toolContent(listNotes(arguments));
    if (name == kReadNote) return readNote(arguments);
    if (name == kCreateNote) return createNote(arguments);
    return RPCOutcome::error(-32602, QStringLiteral("Unknown tool: ") + name);
}

MCPService::RPCOutcome MCPService::toolContent(const QJsonObject& payload)
{
    // QJsonObject keeps its keys sorted, so the text copy comes out with sorted keys.
    const QString text = QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Indented));
    return RPCOutcome::result(
        {{QStringLiteral("content"),
          QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), text}}}},
         {QStringLiteral("structuredContent"), payload}});
}

QJsonObject MCPService::searchNotes(const QJsonObject& arguments)
{
    const QString query = arguments.value(QStringLiteral("query")).toString();
    const int limit = limitArgument(arguments, 20, 1, 100);
    QJsonArray hits;
    for (const MCPNoteRecord& note : m_tools.search(query, limit)) {
        // Private notes never leave the application; the bin is checked again in case a source slips.
        if (note.isLocked || note.isTrashed) continue;
        hits.append(QJsonObject{{QStringLiteral("id"), note.id},
                                {QStringLiteral("title"), note.displayTitle},
                                {QStringLiteral("snippet"), snippet(note.body)},
                                {QStringLiteral("updatedAt"), isoDate(note.updatedAt)}});
        if (hits.size() >= limit) break;
    }
    return {{QStringLiteral("notes"), hits}};
}

QJsonObject MCPService::listNotes(const QJsonObject& arguments)
{
    const QString section = arguments.value(QStringLiteral("section")).toString(QStringLiteral("all"));
    const int limit = limitArgument(arguments, 50, 1, 200);
    const QList<MCPNoteRecord> notes =
        section == QLatin1String("pinned") ? m_tools.pinned(limit) : m_tools.allActive(limit);
    QJsonArray entries;
    for (const MCPNoteRecord& note : notes) {
        if (note.isLocked || note.isTrashed) continue;
        entries.append(QJsonObject{{QStringLiteral("id"), note.id},
                                   {QStringLiteral("title"), note.displayTitle},
                                   {QStringLiteral("updatedAt"), isoDate(note.updatedAt)},
                                   {QStringLiteral("tags"), QJsonArray::fromStringList(note.tags)}});
        if (entries.size() >= limit) break;
    }
    return {{QStringLiteral("notes"), entries}};
}

MCPService::RPCOutcome MCPService::readNote(const QJsonObject& arguments)
{
    const QString idText = arguments.value(QStringLiteral("id")).toString();
    // Only the plain 36-character form is an id; braces or other spellings are not.
    const QUuid id = idText.size() == 36 ? QUuid::fromString(idText) : QUuid();
    if (id.isNull()) return RPCOutcome::error(-32602, kNotFound);
    const std::optional<MCPNoteRecord> note = m_tools.note(id);
    if (!note || note->isTrashed || note->isLocked) return RPCOutcome::error(-32602, kNotFound);
    return toolContent({{QStringLiteral("id"), note->id},
                        {QStringLiteral("title"), note->title},
                        {QStringLiteral("body"), note->body},
                        {QStringLiteral("tags"), QJsonArray::fromStringList(note->tags)},
                        {QStringLiteral("createdAt"), isoDate(note->createdAt)},
                        {QStringLiteral("updatedAt"), isoDate(note->updatedAt)}});
}

MCPService::RPCOutcome MCPService::createNote(const QJsonObject& arguments)
{
    if (readOnly())
        return RPCOutcome::error(-32601, QStringLiteral("Write access is disabled (Read-only). Enable Read & write in "
                                                        "Tarnwick → Settings → Connections."));
    const QString body = arguments.value(QStringLiteral("body")).toString();
    const QString title = arguments.value(QStringLiteral("title")).toString();
    const auto created = m_tools.create(title, body);
    if (!created)
        return RPCOutcome::error(-32603, QStringLiteral("Tarnwick couldn't save the note: ") + created.error().reason);
    return toolContent({{QStringLiteral("id"), *created}});
}
