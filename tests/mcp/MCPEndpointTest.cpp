#include <gtest/gtest.h>

#include "MCPFakes.h"

namespace {

const QByteArray kEmpty204 = "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

TEST(MCPEndpoint, OriginAndHostChecksComeFirst)
{
    ServiceFixture f;
    HTTPRequest r = f.post("{}");
    r.method = "OPTIONS";
    r.headers.insert("origin", "https://evil.example");
    EXPECT_EQ(f.respond(r), "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    r = f.post("{}");
    r.headers.insert("host", "attacker.example:48219");  // a rebound DNS name
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(r)), 403);

    for (const char* host : {"127.0.0.1:48219", "LOCALHOST", "[::1]", "localhost:1"})
        EXPECT_TRUE(MCPService::isLocalHost(host)) << host;
    for (const char* host : {"[::1]:48219", "::1", "127.0.0.2", "localhost.evil.example", ""})
        EXPECT_FALSE(MCPService::isLocalHost(host)) << host;
    for (const char* origin : {"null", "http://localhost:3000", "https://127.0.0.1", "http://[::1]:8080"})
        EXPECT_TRUE(MCPService::isLocalOrigin(origin)) << origin;
    for (const char* origin : {"http://localhost.evil.example", "file:///x.html", "localhost", "http://localhost\nX: y",
                               "http://127.0.0.1@evil.example"})
        EXPECT_FALSE(MCPService::isLocalOrigin(origin)) << origin;
}

TEST(MCPEndpoint, PreflightMethodPathAndToken)
{
    ServiceFixture f;
    HTTPRequest r = f.post({}, "/anything");
    r.method = "OPTIONS";
    EXPECT_EQ(f.respond(r), kEmpty204);
    r.headers.insert("origin", "http://localhost:5173");
    EXPECT_EQ(f.respond(r),
              "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n"
              "Access-Control-Allow-Origin: http://localhost:5173\r\n"
              "Access-Control-Allow-Methods: POST, OPTIONS\r\n"
              "Access-Control-Allow-Headers: Content-Type, Authorization, Mcp-Session-Id, "
              "MCP-Protocol-Version\r\nConnection: close\r\n\r\n");
    r = f.post({});
    r.method = "post";  // methods are case-sensitive
    EXPECT_EQ(f.respond(r),
              "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nAllow: POST, OPTIONS\r\n"
              "Connection: close\r\n\r\n");

    const QString token = f.service->token();
    auto status = [&](const QString& target, const std::optional<QString>& authorization = std::nullopt) {
        HTTPRequest q = f.post(R"({"jsonrpc":"2.0","method":"ping","id":1})", target);
        if (authorization) q.headers.insert("authorization", *authorization);
        return ServiceFixture::statusOf(f.respond(q));
    };
    EXPECT_EQ(status("/api/" + token), 404);
    EXPECT_EQ(status("/mcp/" + token + "/extra?q=1"), 200);
    EXPECT_EQ(status("/mcp?session=1", "Bearer " + token), 200);
    EXPECT_EQ(status("/mcp", token), 200);
    for (const QString& wrong : QStringList{"/mcp/wrong", "/mcp", "/mcpx/" + token, "/mcp/" + token.chopped(1),
                                            "/mcp/" + token + "x", "/mcp/" + token.toLower()})
        EXPECT_EQ(status(wrong), 401) << qPrintable(wrong);
    for (const QString& wrong : QStringList{"bearer " + token, "Bearer ", QString()})
        EXPECT_EQ(status("/mcp", wrong), 401) << qPrintable(wrong);
}

TEST(MCPEndpoint, FramingErrorsAndNotifications)
{
    ServiceFixture f;
    const QList<std::tuple<QByteArray, int, QString>> cases{
        {"[]", -32600, "Batch requests are not supported"},
        {"{}", -32700, "Parse error"},
        {"", -32700, "Parse error"},
        {"\"ping\"", -32700, "Parse error"},
        {R"({"jsonrpc":2.0,"method":"ping","id":1})", -32700, "Parse error"},
        {R"({"jsonrpc":"2.0 ","method":"ping","id":1})", -32700, "Parse error"},
    };
    for (const auto& [body, code, message] : cases) {
        const QByteArray response = f.call(body);
        EXPECT_EQ(ServiceFixture::statusOf(response), 400) << body.constData();
        EXPECT_EQ(ServiceFixture::bodyOf(response),
                  (QJsonObject{{"jsonrpc", "2.0"},
                               {"id", QJsonValue::Null},
                               {"error", QJsonObject{{"code", code}, {"message", message}}}}));
    }
    f.approver.mode = FakeApprover::Mode::Deny;
    for (const char* body : {R"({"jsonrpc":"2.0","method":"ping"})", R"({"jsonrpc":"2.0","method":"ping","id":null})",
                             R"({"jsonrpc":"2.0","method":"initialize","params":{"clientInfo":{"name":"X"}}})"})
        EXPECT_EQ(f.call(body), "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n") << body;
    EXPECT_TRUE(f.approver.names.isEmpty());  // notifications are not run
}

TEST(MCPEndpoint, IdsComeBackWithTheirJsonType)
{
    ServiceFixture f;
    const QByteArray response = f.call(R"({"jsonrpc":"2.0","method":"ping","id":7})");
    EXPECT_TRUE(response.startsWith("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"));
    EXPECT_TRUE(response.endsWith(R"({"id":7,"jsonrpc":"2.0","result":{}})")) << response.constData();
    EXPECT_TRUE(
        f.call(R"({"jsonrpc":"2.0","method":"ping","id":"7"})").endsWith(R"("id":"7","jsonrpc":"2.0","result":{}})"));
    EXPECT_TRUE(f.call(R"({"jsonrpc":"2.0","method":"ping","id":2.5})").contains(R"("id":2.5)"));
    const QJsonObject unknown = ServiceFixture::bodyOf(f.call(R"({"jsonrpc":"2.0","method":5,"params":[1],"id":"x"})"));
    EXPECT_EQ(unknown.value("id"), "x");
    EXPECT_EQ(unknown.value("error").toObject(), (QJsonObject{{"code", -32601}, {"message", "Method not found"}}));
}

TEST(MCPEndpoint, InitializeAsksNewClientsOnceAndRemembersTheAnswer)
{
    ServiceFixture f;
    auto initialize = [&](const QJsonValue& clientInfo, const QString& version = {}) {
        return f.rpc("initialize", {{"clientInfo", clientInfo}, {"protocolVersion", version}});
    };
    QJsonObject result = initialize(QJsonObject{{"name", "  Claude  "}}, "2024-11-05").value("result").toObject();
    EXPECT_EQ(f.approver.names, QStringList{"Claude"});
    EXPECT_EQ(f.approver.scopes, QStringList{"Read only"});
    EXPECT_EQ(result.value("protocolVersion"), "2024-11-05");
    EXPECT_EQ(result.value("capabilities").toObject(), (QJsonObject{{"tools", QJsonObject{}}}));
    EXPECT_EQ(result.value("serverInfo").toObject().value("name"), "Tarnwick");

    f.make();  // approved clients are not asked again after a relaunch
    result = initialize(QJsonObject{{"name", "Claude"}}, "1999-01-01").value("result").toObject();
    EXPECT_EQ(result.value("protocolVersion"), "2025-11-25");
    EXPECT_EQ(f.approver.names.size(), 1);

    f.approver.mode = FakeApprover::Mode::Deny;
    f.settings.setValue("mcp.readOnly", false);
    EXPECT_EQ(initialize(QJsonObject{{"name", "Cursor"}}).value("error").toObject(),
              (QJsonObject{{"code", -32001}, {"message", "Access denied by the user"}}));
    EXPECT_EQ(f.approver.scopes.last(), "Read & write");
    f.approver.mode = FakeApprover::Mode::Allow;
    EXPECT_TRUE(initialize(QJsonObject{{"name", "Cursor"}}).contains("error"));  // not asked again this run
    f.make();
    EXPECT_TRUE(initialize(QJsonObject{{"name", "Cursor"}}).contains("result"));
    initialize(QJsonObject{{"name", " \n "}});
    initialize("no object");
    EXPECT_EQ(f.approver.names, (QStringList{"Claude", "Cursor", "Cursor", "An external tool"}));
    EXPECT_EQ(f.settings.stringListValue("mcp.approvedClients"), (QStringList{"Claude", "Cursor", "An external tool"}));
}

TEST(MCPEndpoint, OtherRequestsAreAnsweredWhileTheCardWaits)
{
    ServiceFixture f;
    f.approver.mode = FakeApprover::Mode::Hold;
    QByteArray answer;
    const QByteArray init = R"({"jsonrpc":"2.0","method":"initialize","id":"i","params":{"clientInfo":{"name":"Z"}}})";
    f.service->respond(f.post(init), [&](const QByteArray& bytes) { answer = bytes; });
    EXPECT_EQ(ServiceFixture::statusOf(f.call(R"({"jsonrpc":"2.0","method":"ping","id":1})")), 200);
    EXPECT_TRUE(answer.isEmpty());
    f.approver.answer(true);
    EXPECT_TRUE(ServiceFixture::bodyOf(answer).contains("result"));

    // The service gone while the card waits: the request is still answered, as a refusal.
    f.settings.remove("mcp.approvedClients");
    f.service->respond(f.post(init), [&](const QByteArray& bytes) { answer = bytes; });
    f.service.reset();
    f.approver.answer(true);
    EXPECT_EQ(ServiceFixture::bodyOf(answer).value("error").toObject().value("code").toInt(), -32001);
}

}  // namespace
