#include <gtest/gtest.h>

#include <QJsonArray>

#include "MCPFakes.h"

namespace {

QJsonObject payload(const QJsonObject& envelope)
{
    return envelope.value("result").toObject().value("structuredContent").toObject();
}
QJsonArray notesOf(const QJsonObject& envelope)
{
    return payload(envelope).value("notes").toArray();
}
QJsonObject errorOf(const QJsonObject& envelope)
{
    return envelope.value("error").toObject();
}

QStringList toolNames(const QJsonObject& envelope)
{
    QStringList names;
    for (const QJsonValue& t : envelope.value("result").toObject().value("tools").toArray())
        names << t.toObject().value("name").toString();
    return names;
}

TEST(MCPTools, ListOffersCreateOnlyWhenWritingIsAllowed)
{
    ServiceFixture f;
    EXPECT_EQ(toolNames(f.rpc("tools/list")), (QStringList{"search_notes", "list_notes", "read_note"}));
    f.settings.setValue("mcp.readOnly", QStringLiteral("false"));  // not a Boolean: stays read-only
    EXPECT_EQ(toolNames(f.rpc("tools/list")).size(), 3);
    f.settings.setValue("mcp.readOnly", false);
    const QJsonArray tools = f.rpc("tools/list").value("result").toObject().value("tools").toArray();
    ASSERT_EQ(tools.size(), 4);
    const QJsonObject create = tools[3].toObject();
    EXPECT_EQ(create.value("name"), "create_note");
    EXPECT_EQ(create.value("inputSchema").toObject().value("required").toArray(), QJsonArray{"body"});
    const QJsonObject list = tools[1].toObject().value("inputSchema").toObject();
    EXPECT_FALSE(list.contains("required"));
    EXPECT_EQ(list.value("properties").toObject().value("section").toObject().value("enum").toArray(),
              (QJsonArray{"all", "pinned", "recent"}));
    EXPECT_EQ(
        tools[2].toObject().value("description"),
        "Read one note's full title, body, tags, and dates by id. Locked or deleted ids return \"note not found\".");
}

TEST(MCPTools, CallArgumentErrors)
{
    ServiceFixture f;
    EXPECT_EQ(errorOf(f.rpc("tools/call", {{"arguments", QJsonObject{}}})).value("message"), "Missing tool name");
    EXPECT_EQ(errorOf(f.rpc("tools/call", {{"name", 3}})).value("code").toInt(), -32602);
    const QJsonObject unknown = errorOf(f.tool("delete_note"));
    EXPECT_EQ(unknown.value("code").toInt(), -32602);
    EXPECT_EQ(unknown.value("message"), "Unknown tool: delete_note");
    EXPECT_EQ(errorOf(f.tool("Search_Notes")).value("message"), "Unknown tool: Search_Notes");

    const QString id = f.tools.add("a").id;
    for (const QJsonValue& bad : {QJsonValue(), QJsonValue(5), QJsonValue("nope"), QJsonValue("{" + id + "}"),
                                  QJsonValue(QUuid::createUuid().toString(QUuid::WithoutBraces))}) {
        const QJsonObject error = errorOf(f.tool("read_note", {{"id", bad}}));
        EXPECT_EQ(error.value("code").toInt(), -32602);
        EXPECT_EQ(error.value("message"), "note not found");
    }
    // Arguments that are not an object count as none.
    EXPECT_EQ(notesOf(f.rpc("tools/call", {{"name", "list_notes"}, {"arguments", "x"}})).size(), 1);
}

TEST(MCPTools, LockedAndBinnedNotesNeverLeave)
{
    ServiceFixture f;
    MCPNoteRecord& locked = f.tools.add("plan secret");
    locked.isLocked = true;
    const QString lockedID = locked.id;
    MCPNoteRecord& binned = f.tools.add("plan binned");
    binned.isTrashed = true;
    const QString binnedID = binned.id;
    const QString openID = f.tools.add("plan open", "body").id;
    f.tools.pinnedIDs = {lockedID, openID, binnedID};

    const QJsonArray hits = notesOf(f.tool("search_notes", {{"query", "plan"}}));
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0].toObject().value("id"), openID);
    for (const char* section : {"all", "recent", "pinned", "other"})
        EXPECT_EQ(notesOf(f.tool("list_notes", {{"section", section}})).size(), 1) << section;
    EXPECT_EQ(errorOf(f.tool("read_note", {{"id", lockedID}})).value("message"), "note not found");
    EXPECT_EQ(errorOf(f.tool("read_note", {{"id", binnedID}})).value("message"), "note not found");
    EXPECT_EQ(payload(f.tool("read_note", {{"id", openID.toLower()}})).value("id"), openID);
}

TEST(MCPTools, LimitsTakeOnlyWholeNumbersAndAreClamped)
{
    ServiceFixture f;
    for (int i = 0; i < 250; ++i) f.tools.add(QStringLiteral("note %1").arg(i));
    auto searchCount = [&](const QJsonValue& limit) {
        return notesOf(f.tool("search_notes", {{"query", "note"}, {"limit", limit}})).size();
    };
    EXPECT_EQ(searchCount(QJsonValue()), 20);
    EXPECT_EQ(searchCount(0), 1);
    EXPECT_EQ(searchCount(-3), 1);
    EXPECT_EQ(searchCount(500), 100);
    EXPECT_EQ(searchCount(1e300), 100);
    EXPECT_EQ(searchCount(7), 7);
    EXPECT_EQ(searchCount(7.0), 7);
    EXPECT_EQ(searchCount(7.5), 20);
    EXPECT_EQ(searchCount("7"), 20);
    auto listCount = [&](const QJsonValue& limit) { return notesOf(f.tool("list_notes", {{"limit", limit}})).size(); };
    EXPECT_EQ(listCount(QJsonValue()), 50);
    EXPECT_EQ(listCount(1000), 200);
    EXPECT_EQ(listCount(0), 1);
    // No query: every note, in the host's order.
    EXPECT_EQ(notesOf(f.tool("search_notes")).first().toObject().value("title"), "note 0");
}

TEST(MCPTools, ResultShapesAndSnippets)
{
    ServiceFixture f;
    MCPNoteRecord& n = f.tools.add(QString(), QStringLiteral("\t line one\nline two  ") + QString(300, 'x'));
    n.tags = QStringList{"work", "todo"};
    const QString id = n.id;
    f.tools.add("exact", QString(200, 'y'));
    // 201 clusters, each a letter and a combining accent: cut after 200, never inside one.
    f.tools.add("accents", QString(201, 'e').replace("e", QStringLiteral("e\u0301")));

    const QJsonObject envelope = f.tool("search_notes");
    const QJsonArray hits = notesOf(envelope);
    ASSERT_EQ(hits.size(), 3);
    const QJsonObject first = hits[0].toObject();
    EXPECT_EQ(first.keys(), (QStringList{"id", "snippet", "title", "updatedAt"}));
    EXPECT_EQ(first.value("title"), "Untitled");
    EXPECT_EQ(first.value("updatedAt"), "2023-11-14T22:21:40Z");
    const QString snippet = first.value("snippet").toString();
    EXPECT_EQ(snippet.size(), 201);
    EXPECT_TRUE(snippet.startsWith("line one line two  xx"));
    EXPECT_TRUE(snippet.endsWith(QChar(0x2026)));
    EXPECT_EQ(hits[1].toObject().value("snippet").toString(), QString(200, 'y'));
    EXPECT_EQ(hits[2].toObject().value("snippet").toString(),
              QString(200, 'e').replace("e", QStringLiteral("e\u0301")) + QChar(0x2026));

    // Every result carries the payload twice: as sorted, pretty JSON text and as structured content.
    const QJsonArray content = envelope.value("result").toObject().value("content").toArray();
    ASSERT_EQ(content.size(), 1);
    EXPECT_EQ(content[0].toObject().value("type"), "text");
    EXPECT_EQ(QJsonDocument::fromJson(content[0].toObject().value("text").toString().toUtf8()).object(),
              payload(envelope));

    const QJsonObject listed = notesOf(f.tool("list_notes")).first().toObject();
    EXPECT_EQ(listed.keys(), (QStringList{"id", "tags", "title", "updatedAt"}));
    EXPECT_EQ(listed.value("tags").toArray(), (QJsonArray{"work", "todo"}));

    const QJsonObject read = payload(f.tool("read_note", {{"id", id}}));
    EXPECT_EQ(read.keys(), (QStringList{"body", "createdAt", "id", "tags", "title", "updatedAt"}));
    EXPECT_EQ(read.value("title"), "");  // the stored title, not the display title
    EXPECT_EQ(read.value("createdAt"), "2023-11-14T22:13:20Z");
    EXPECT_TRUE(read.value("body").toString().startsWith("\t line one\n"));
}

TEST(MCPTools, CreateNeedsWriteAccess)
{
    ServiceFixture f;
    const QJsonObject refused = errorOf(f.tool("create_note", {{"body", "b"}}));
    EXPECT_EQ(refused.value("code").toInt(), -32601);
    EXPECT_EQ(refused.value("message"),
              QStringLiteral(
                  "Write access is disabled (Read-only). Enable Read & write in Tarnwick → Settings → Connections."));
    EXPECT_TRUE(f.tools.created.isEmpty());

    f.settings.setValue("mcp.readOnly", false);
    const QString id = payload(f.tool("create_note", {{"title", "T"}, {"body", "B"}})).value("id").toString();
    ASSERT_EQ(f.tools.created.size(), 1);
    EXPECT_EQ(f.tools.created[0], std::make_pair(QString("T"), QString("B")));
    EXPECT_EQ(id, f.tools.notes.last().id);
    f.tool("create_note", {{"title", 5}});
    EXPECT_EQ(f.tools.created[1], std::make_pair(QString(), QString()));
}

}  // namespace
