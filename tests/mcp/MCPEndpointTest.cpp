#include <gtest/gtest.h>

#include <QJsonArray>

#include "MCPFakes.h"

namespace {

QByteArray headerBlock(const QByteArray& response)
{
    return response.left(response.indexOf("\r\n\r\n") + 2);
}

TEST(MCPEndpoint, ForeignOriginsAndHostsAreRefusedBeforeAnythingElse)
{
    ServiceFixture f;
    HTTPRequest r = f.post("{}");
    r.method = QStringLiteral("OPTIONS");
    r.headers.insert(QStringLiteral("origin"), QStringLiteral("https://evil.example"));
    EXPECT_EQ(f.respond(r), "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");

    r = f.post("{}");
    r.headers.insert(QStringLiteral("host"), QStringLiteral("attacker.example:48219"));  // DNS rebinding
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(r)), 403);

    for (const char* host : {"127.0.0.1:48219", "LOCALHOST", "[::1]", "localhost:1", "  "})
        EXPECT_EQ(MCPService::isLocalHost(QString::fromLatin1(host)), QByteArray(host) != "  ") << host;
    for (const char* host : {"[::1]:48219", "::1", "127.0.0.2", "localhost.evil.example", ""})
        EXPECT_FALSE(MCPService::isLocalHost(QString::fromLatin1(host))) << host;
    for (const char* origin : {"null", "http://localhost:3000", "https://127.0.0.1", "http://[::1]:8080"})
        EXPECT_TRUE(MCPService::isLocalOrigin(QString::fromLatin1(origin))) << origin;
    for (const char* origin : {"http://localhost.evil.example", "file:///tmp/x.html", "localhost", "",
                               "http://localhost\nX: y", "http://127.0.0.1@evil.example"})
        EXPECT_FALSE(MCPService::isLocalOrigin(QString::fromLatin1(origin))) << origin;
}

TEST(MCPEndpoint, PreflightMethodAndPathChecks)
{
    ServiceFixture f;
    HTTPRequest r = f.post({}, QStringLiteral("/anything"));
    r.method = QStringLiteral("OPTIONS");
    r.headers.insert(QStringLiteral("origin"), QStringLiteral("http://localhost:5173"));
    const QByteArray preflight = f.respond(r);
    EXPECT_EQ(ServiceFixture::statusOf(preflight), 204);
    EXPECT_TRUE(preflight.contains("Access-Control-Allow-Origin: http://localhost:5173\r\n"));
    EXPECT_TRUE(preflight.contains("Access-Control-Allow-Methods: POST, OPTIONS\r\n"));
    EXPECT_TRUE(preflight.contains(
        "Access-Control-Allow-Headers: Content-Type, Authorization, Mcp-Session-Id, MCP-Protocol-Version\r\n"));

    r.headers.remove(QStringLiteral("origin"));
    EXPECT_EQ(f.respond(r), "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");

    r = f.post({});
    r.method = QStringLiteral("GET");
    EXPECT_EQ(
        f.respond(r),
        "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nAllow: POST, OPTIONS\r\nConnection: close\r\n\r\n");
    r.method = QStringLiteral("post");  // methods are case-sensitive
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(r)), 405);

    EXPECT_EQ(ServiceFixture::statusOf(f.respond(f.post("{}", QStringLiteral("/api/") + f.service->token()))), 404);
}

TEST(MCPEndpoint, TokenInPathOrBearerHeader)
{
    ServiceFixture f;
    const QString token = f.service->token();
    const QByteArray ping = R"({"jsonrpc":"2.0","method":"ping","id":1})";
    auto status = [&](const QString& target, const std::optional<QString>& authorization = std::nullopt) {
        HTTPRequest r = f.post(ping, target);
        if (authorization) r.headers.insert(QStringLiteral("authorization"), *authorization);
        return ServiceFixture::statusOf(f.respond(r));
    };
    EXPECT_EQ(status(QStringLiteral("/mcp/") + token), 200);
    EXPECT_EQ(status(QStringLiteral("/mcp/") + token + QStringLiteral("/extra?q=1")), 200);
    EXPECT_EQ(status(QStringLiteral("/mcp?session=1"), QStringLiteral("Bearer ") + token), 200);
    EXPECT_EQ(status(QStringLiteral("/mcp"), token), 200);
    EXPECT_EQ(status(QStringLiteral("/mcp/wrong")), 401);
    EXPECT_EQ(status(QStringLiteral("/mcp")), 401);
    EXPECT_EQ(status(QStringLiteral("/mcpx/") + token), 401);
    EXPECT_EQ(status(QStringLiteral("/mcp/") + token.left(23)), 401);
    EXPECT_EQ(status(QStringLiteral("/mcp/") + token + QLatin1Char('x')), 401);
    EXPECT_EQ(status(QStringLiteral("/mcp/") + token.toLower()), 401);
    EXPECT_EQ(status(QStringLiteral("/mcp"), QStringLiteral("bearer ") + token), 401);
    EXPECT_EQ(status(QStringLiteral("/mcp"), QStringLiteral("Bearer ")), 401);
    EXPECT_EQ(status(QStringLiteral("/mcp"), QString()), 401);
}

TEST(MCPEndpoint, JsonRpcFramingErrors)
{
    ServiceFixture f;
    auto expectBadRequest = [&](const QByteArray& body, int code, const char* message) {
        const QByteArray response = f.call(body);
        EXPECT_EQ(ServiceFixture::statusOf(response), 400) << body.constData();
        EXPECT_FALSE(response.contains("Access-Control")) << body.constData();
        const QJsonObject envelope = ServiceFixture::bodyOf(response);
        EXPECT_EQ(envelope.value("jsonrpc"), "2.0");
        EXPECT_TRUE(envelope.value("id").isNull());
        EXPECT_EQ(envelope.value("error").toObject().value("code").toInt(), code) << body.constData();
        EXPECT_EQ(envelope.value("error").toObject().value("message").toString(), message);
    };
    expectBadRequest("[]", -32600, "Batch requests are not supported");
    expectBadRequest(R"([{"jsonrpc":"2.0","method":"ping","id":1}])", -32600, "Batch requests are not supported");
    expectBadRequest("{}", -32700, "Parse error");
    expectBadRequest("", -32700, "Parse error");
    expectBadRequest("{\"jsonrpc\":", -32700, "Parse error");
    expectBadRequest("\"ping\"", -32700, "Parse error");
    expectBadRequest(R"({"jsonrpc":2.0,"method":"ping","id":1})", -32700, "Parse error");
    expectBadRequest(R"({"jsonrpc":"2.0 ","method":"ping","id":1})", -32700, "Parse error");
}

TEST(MCPEndpoint, NotificationsAreAcceptedButNotRun)
{
    ServiceFixture f;
    f.approver.mode = FakeApprover::Mode::Deny;
    for (const char* body : {R"({"jsonrpc":"2.0","method":"ping"})", R"({"jsonrpc":"2.0","method":"ping","id":null})",
                             R"({"jsonrpc":"2.0","method":"initialize","params":{"clientInfo":{"name":"X"}}})"}) {
        EXPECT_EQ(f.call(body), "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n") << body;
    }
    EXPECT_TRUE(f.approver.askedNames.isEmpty());
}

TEST(MCPEndpoint, IdsComeBackWithTheirJsonType)
{
    ServiceFixture f;
    const QByteArray response = f.call(R"({"jsonrpc":"2.0","method":"ping","id":7})");
    EXPECT_EQ(ServiceFixture::statusOf(response), 200);
    EXPECT_TRUE(response.contains("Content-Type: application/json\r\n"));
    EXPECT_TRUE(response.endsWith(R"({"id":7,"jsonrpc":"2.0","result":{}})")) << response.constData();
    EXPECT_TRUE(
        f.call(R"({"jsonrpc":"2.0","method":"ping","id":"7"})").endsWith(R"({"id":"7","jsonrpc":"2.0","result":{}})"));
    EXPECT_TRUE(f.call(R"({"jsonrpc":"2.0","method":"ping","id":2.5})").contains(R"("id":2.5)"));
    EXPECT_TRUE(f.call(R"({"jsonrpc":"2.0","method":"ping","id":{"a":[1]}})").contains(R"("id":{"a":[1]})"));

    const QJsonObject unknown =
        ServiceFixture::bodyOf(f.call(R"({"jsonrpc":"2.0","method":"resources/list","id":"x"})"));
    EXPECT_EQ(unknown.value("id"), "x");
    EXPECT_EQ(unknown.value("error").toObject().value("code").toInt(), -32601);
    EXPECT_EQ(unknown.value("error").toObject().value("message"), "Method not found");

    // A non-string method is the empty method; non-object params count as none.
    EXPECT_EQ(ServiceFixture::bodyOf(f.call(R"({"jsonrpc":"2.0","method":5,"params":[1],"id":1})"))
                  .value("error")
                  .toObject()
                  .value("code")
                  .toInt(),
              -32601);

    // JSON-RPC answers to a local page carry its CORS headers.
    HTTPRequest r = f.post(R"({"jsonrpc":"2.0","method":"ping","id":1})");
    r.headers.insert(QStringLiteral("origin"), QStringLiteral("http://127.0.0.1:3000"));
    EXPECT_TRUE(headerBlock(f.respond(r)).contains("Access-Control-Allow-Origin: http://127.0.0.1:3000\r\n"));
}

TEST(MCPEndpoint, InitializeAsksNewClientsOnceAndRemembersTheAnswer)
{
    ServiceFixture f;
    const QJsonObject params{{"clientInfo", QJsonObject{{"name", "  Claude  "}}}, {"protocolVersion", "2024-11-05"}};
    QJsonObject result = f.rpc("initialize", params).value("result").toObject();
    EXPECT_EQ(f.approver.askedNames, QStringList{"Claude"});
    EXPECT_EQ(f.approver.askedScopes, QStringList{"Read only"});
    EXPECT_EQ(result.value("protocolVersion"), "2024-11-05");
    EXPECT_EQ(result.value("capabilities").toObject(), (QJsonObject{{"tools", QJsonObject{}}}));
    EXPECT_EQ(result.value("serverInfo").toObject().value("name"), "Tarnwick");
    EXPECT_FALSE(result.value("serverInfo").toObject().value("version").toString().isEmpty());
    EXPECT_EQ(f.settings.stringListValue("mcp.approvedClients"), QStringList{"Claude"});

    // Approved: not asked again, also by a new service (a relaunch); unknown versions get ours.
    f.make();
    result = f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", "Claude"}}}, {"protocolVersion", "1999-01-01"}})
                 .value("result")
                 .toObject();
    EXPECT_EQ(f.approver.askedNames.size(), 1);
    EXPECT_EQ(result.value("protocolVersion"), "2025-11-25");

    // Denied: refused, and refused without asking until relaunch.
    f.approver.mode = FakeApprover::Mode::Deny;
    f.settings.setValue("mcp.readOnly", false);
    const QJsonObject denied = f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", "Cursor"}}}});
    EXPECT_EQ(f.approver.askedScopes.last(), "Read & write");
    EXPECT_EQ(denied.value("error").toObject().value("code").toInt(), -32001);
    EXPECT_EQ(denied.value("error").toObject().value("message"), "Access denied by the user");
    f.approver.mode = FakeApprover::Mode::Allow;
    EXPECT_TRUE(f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", "Cursor"}}}}).contains("error"));
    EXPECT_EQ(f.approver.askedNames.size(), 2);
    f.make();
    EXPECT_TRUE(f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", "Cursor"}}}}).contains("result"));

    // No usable name: the card names "An external tool".
    f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", " \n "}}}});
    f.rpc("initialize", {{"clientInfo", "text"}});
    EXPECT_EQ(f.approver.askedNames.size(), 4);
    EXPECT_EQ(f.approver.askedNames[3], "An external tool");
    EXPECT_EQ(f.settings.stringListValue("mcp.approvedClients"), (QStringList{"Claude", "Cursor", "An external tool"}));
}

TEST(MCPEndpoint, OtherRequestsAreAnsweredWhileTheCardWaits)
{
    ServiceFixture f;
    f.approver.mode = FakeApprover::Mode::Hold;
    QByteArray initAnswer;
    f.service->respond(
        f.post(R"({"jsonrpc":"2.0","method":"initialize","id":"i","params":{"clientInfo":{"name":"Z"}}})"),
        [&](const QByteArray& bytes) { initAnswer = bytes; });
    EXPECT_TRUE(initAnswer.isEmpty());
    EXPECT_EQ(ServiceFixture::statusOf(f.call(R"({"jsonrpc":"2.0","method":"ping","id":1})")), 200);
    f.approver.answer(true);
    EXPECT_EQ(ServiceFixture::bodyOf(initAnswer).value("id"), "i");
    EXPECT_TRUE(ServiceFixture::bodyOf(initAnswer).contains("result"));

    // The service gone while the card waits: the request is still answered, as a refusal.
    f.service->respond(f.post(R"({"jsonrpc":"2.0","method":"initialize","id":2,"params":{"clientInfo":{"name":"Y"}}})"),
                       [&](const QByteArray& bytes) { initAnswer = bytes; });
    f.service.reset();
    f.approver.answer(true);
    EXPECT_EQ(ServiceFixture::bodyOf(initAnswer).value("error").toObject().value("code").toInt(), -32001);
}

}  // namespace
