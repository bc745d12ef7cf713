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

TEST(MCPTools, CreateIsOfferedAndAllowedOnlyWithWriteAccess)
{
    ServiceFixture f;
    auto toolNames = [&] {
        QStringList names;
        for (const QJsonValue& t : f.rpc("tools/list").value("result").toObject().value("tools").toArray())
            names << t.toObject().value("name").toString();
        return names;
    };
    EXPECT_EQ(toolNames(), (QStringList{"search_notes", "list_notes", "read_note"}));
    EXPECT_EQ(errorOf(f.tool("create_note", {{"body", "b"}})),
              (QJsonObject{{"code", -32601},
                           {"message", QStringLiteral("Write access is disabled (Read-only). Enable Read & write in "
                                                      "Tarnwick → Settings → Connections.")}}));
    f.settings.setValue("mcp.readOnly", "false");  // not a Boolean: still read-only
    EXPECT_EQ(toolNames().size(), 3);
    EXPECT_TRUE(f.tools.created.isEmpty());

    f.settings.setValue("mcp.readOnly", false);
    EXPECT_EQ(toolNames().last(), "create_note");
    const QString id = payload(f.tool("create_note", {{"title", "T"}, {"body", "B"}})).value("id").toString();
    EXPECT_EQ(id, f.tools.notes.last().id);
    f.tool("create_note", {{"title", 5}});
    EXPECT_EQ(f.tools.created, (QList<QStringList>{{"T", "B"}, {"", ""}}));
}

TEST(MCPTools, CallErrors)
{
    ServiceFixture f;
    EXPECT_EQ(errorOf(f.rpc("tools/call", {{"name", 3}})),
              (QJsonObject{{"code", -32602}, {"message", "Missing tool name"}}));
    EXPECT_EQ(errorOf(f.tool("Search_Notes")),
              (QJsonObject{{"code", -32602}, {"message", "Unknown tool: Search_Notes"}}));
    const QString id = f.tools.add("a").id;
    for (const QJsonValue& bad : {QJsonValue(), QJsonValue(5), QJsonValue("{" + id + "}"),
                                  QJsonValue(QUuid::createUuid().toString(QUuid::WithoutBraces))})
        EXPECT_EQ(errorOf(f.tool("read_note", {{"id", bad}})),
                  (QJsonObject{{"code", -32602}, {"message", "note not found"}}));
    EXPECT_EQ(payload(f.tool("read_note", {{"id", id.toLower()}})).value("id"), id);
    EXPECT_EQ(notesOf(f.rpc("tools/call", {{"name", "list_notes"}, {"arguments", "x"}})).size(), 1);
}

TEST(MCPTools, LockedAndBinnedNotesNeverLeave)
{
    ServiceFixture f;
    f.tools.add("plan secret").isLocked = true;
    f.tools.add("plan binned").isTrashed = true;
    const QString open = f.tools.add("plan open").id;
    for (const auto& n : f.tools.notes) f.tools.pinnedIDs << n.id;
    for (const auto& n : f.tools.notes)
        if (n.id != open) {
            EXPECT_EQ(errorOf(f.tool("read_note", {{"id", n.id}})).value("message"), "note not found");
        }
    EXPECT_EQ(notesOf(f.tool("search_notes", {{"query", "plan"}})).first().toObject().value("id"), open);
    EXPECT_EQ(notesOf(f.tool("search_notes", {{"query", "plan"}})).size(), 1);
    for (const char* section : {"all", "recent", "pinned", "other"})
        EXPECT_EQ(notesOf(f.tool("list_notes", {{"section", section}})).size(), 1) << section;
}

TEST(MCPTools, LimitsTakeOnlyWholeNumbersAndAreClamped)
{
    ServiceFixture f;
    for (int i = 0; i < 250; ++i) f.tools.add(QStringLiteral("note %1").arg(i));
    auto count = [&](const char* tool, const QJsonValue& limit) {
        return notesOf(f.tool(tool, {{"limit", limit}})).size();
    };
    const QList<std::tuple<QJsonValue, int, int>> cases{{QJsonValue(), 20, 50}, {0, 1, 1},         {-3, 1, 1},
                                                        {500, 100, 200},        {1e300, 100, 200}, {7.0, 7, 7},
                                                        {7.5, 20, 50},          {"7", 20, 50}};
    for (const auto& [limit, search, list] : cases) {
        EXPECT_EQ(count("search_notes", limit), search) << limit.toVariant().toString().toStdString();
        EXPECT_EQ(count("list_notes", limit), list) << limit.toVariant().toString().toStdString();
    }
}

TEST(MCPTools, ResultShapesAndSnippets)
{
    ServiceFixture f;
    const QString body = "\t line one\nline two  " + QString(300, 'x');
    MCPNoteRecord& n = f.tools.add(QString(), body);
    n.tags = QStringList{"work", "todo"};
    const QString id = n.id;
    f.tools.add("exact", QString(200, 'y'));
    const QString accented = QString(201, 'e').replace("e", "e\u0301");  // 201 clusters of two code units
    f.tools.add("accents", accented);

    const QJsonObject envelope = f.tool("search_notes");
    const QJsonArray hits = notesOf(envelope);
    EXPECT_EQ(hits[0].toObject(), (QJsonObject{{"id", id},
                                               {"title", "Untitled"},
                                               {"snippet", "line one line two  " + QString(181, 'x') + QChar(0x2026)},
                                               {"updatedAt", "2023-11-14T22:21:40Z"}}));
    EXPECT_EQ(hits[1].toObject().value("snippet").toString(), QString(200, 'y'));
    EXPECT_EQ(hits[2].toObject().value("snippet").toString(), accented.left(400) + QChar(0x2026));
    const QJsonArray content = envelope.value("result").toObject().value("content").toArray();
    ASSERT_EQ(content.size(), 1);
    EXPECT_EQ(content[0].toObject().value("type"), "text");
    EXPECT_EQ(QJsonDocument::fromJson(content[0].toObject().value("text").toString().toUtf8()).object(),
              payload(envelope));

    EXPECT_EQ(notesOf(f.tool("list_notes")).first().toObject(), (QJsonObject{{"id", id},
                                                                             {"title", "Untitled"},
                                                                             {"updatedAt", "2023-11-14T22:21:40Z"},
                                                                             {"tags", QJsonArray{"work", "todo"}}}));
    EXPECT_EQ(payload(f.tool("read_note", {{"id", id}})), (QJsonObject{{"id", id},
                                                                       {"title", ""},
                                                                       {"body", body},
                                                                       {"tags", QJsonArray{"work", "todo"}},
                                                                       {"createdAt", "2023-11-14T22:13:20Z"},
                                                                       {"updatedAt", "2023-11-14T22:21:40Z"}}));
}

}  // namespace
