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
    r = f.post(R"({"jsonrpc":"2.0","method":"ping","id":1})");
    r.headers.insert("origin", "null");
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(r)), 403);
    r = f.post("{}");
    r.headers.insert("host", "attacker.example:48219");  // a rebound DNS name
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(r)), 403);

    for (const char* host : {"127.0.0.1:48219", "LOCALHOST", "[::1]", "localhost:1"})
        EXPECT_TRUE(MCPService::isLocalHost(host)) << host;
    for (const char* host : {"[::1]:48219", "::1", "127.0.0.2", "localhost.evil.example", ""})
        EXPECT_FALSE(MCPService::isLocalHost(host)) << host;
    for (const char* origin : {"http://localhost:3000", "https://127.0.0.1", "http://[::1]:8080"})
        EXPECT_TRUE(MCPService::isLocalOrigin(origin)) << origin;
    // "null" is a sandboxed frame or a data: page: no origin that could be trusted.
    for (const char* origin : {"null", "http://localhost.evil.example", "file:///x.html", "localhost",
                               "http://localhost\nX: y", "http://127.0.0.1@evil.example"})
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
              "Access-Control-Allow-Methods: POST, DELETE, OPTIONS\r\n"
              "Access-Control-Allow-Headers: Content-Type, Authorization, Mcp-Session-Id, "
              "MCP-Protocol-Version\r\nAccess-Control-Expose-Headers: Mcp-Session-Id\r\nConnection: close\r\n\r\n");
    r = f.post({});
    r.method = "post";  // methods are case-sensitive
    EXPECT_EQ(f.respond(r),
              "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nAllow: POST, DELETE, OPTIONS\r\n"
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

// Only the user's Deny is remembered: a card that timed out, or a queue too long to wait in, refuses
// this request but lets the client ask again (another client cannot deny it in advance).
TEST(MCPEndpoint, OnlyTheUsersDenyIsRemembered)
{
    ServiceFixture f;
    auto initialize = [&](const QString& name) {
        return f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", name}}}});
    };
    f.approver.mode = FakeApprover::Mode::TimeOut;
    EXPECT_EQ(initialize("Claude").value("error").toObject().value("code").toInt(), -32001);
    f.approver.mode = FakeApprover::Mode::Allow;
    EXPECT_TRUE(initialize("Claude").contains("result"));
    EXPECT_EQ(f.approver.names, (QStringList{"Claude", "Claude"}));
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

// Only JSON is read: a page's "simple" request (no pre-flight) can never be one.
TEST(MCPEndpoint, OnlyJsonBodiesAreRead)
{
    ServiceFixture f;
    const QList<std::pair<QString, int>> cases{{"", 415},
                                               {"text/plain", 415},
                                               {"application/x-www-form-urlencoded", 415},
                                               {"application/jsonx", 415},
                                               {"application/json; charset=utf-8", 200},
                                               {"Application/JSON", 200}};
    for (const auto& [type, status] : cases) {
        HTTPRequest r = f.post(R"({"jsonrpc":"2.0","method":"ping","id":1})");
        r.headers.remove("content-type");
        if (!type.isEmpty()) r.headers.insert("content-type", type);
        EXPECT_EQ(ServiceFixture::statusOf(f.respond(r)), status) << qPrintable(type);
    }
    HTTPRequest r = f.post("{}", "/mcp/wrong");
    r.headers.insert("content-type", "text/plain");
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(r)), 401);  // the transport checks come first
}

// The approval given at initialize is what lets a client in: every other message needs the session
// that initialize opened, and a session that ended, or was never opened, lets nothing through.
TEST(MCPEndpoint, SessionsGuardEveryMessageButInitialize)
{
    ServiceFixture f;
    const QString noteID = f.tools.add("Secret", "the body").id;
    const QString readNote =
        QString(
            R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"read_note","arguments":{"id":"%1"}}})")
            .arg(noteID);
    auto send = [&](const QByteArray& body, const std::optional<QString>& session) {
        HTTPRequest r = f.post(body);
        r.headers.remove("mcp-session-id");
        if (session) r.headers.insert("mcp-session-id", *session);
        return f.respond(r);
    };
    const QByteArray ping = R"({"jsonrpc":"2.0","method":"ping","id":1})";
    const QByteArray notification = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
    for (const QByteArray& body : {readNote.toUtf8(), ping, notification}) {
        const QByteArray missing = send(body, std::nullopt);
        EXPECT_EQ(ServiceFixture::statusOf(missing), 400) << body.constData();
        EXPECT_FALSE(missing.contains("the body"));
        EXPECT_EQ(ServiceFixture::statusOf(send(body, QString())), 400);
        EXPECT_EQ(ServiceFixture::statusOf(send(body, QString("not-a-session"))), 404);
    }

    auto initialize = [&](const QString& name) {
        return send(QJsonDocument(QJsonObject{{"jsonrpc", "2.0"},
                                              {"id", 1},
                                              {"method", "initialize"},
                                              {"params", QJsonObject{{"clientInfo", QJsonObject{{"name", name}}}}}})
                        .toJson(),
                    std::nullopt);
    };
    const QByteArray welcome = initialize("Claude");
    const QString session = ServiceFixture::headerOf(welcome, "Mcp-Session-Id");
    EXPECT_EQ(session.size(), 43);
    EXPECT_NE(session, f.session);
    EXPECT_TRUE(send(readNote.toUtf8(), session).contains("the body"));
    EXPECT_EQ(ServiceFixture::statusOf(send(notification, session)), 202);

    // Ended by the client: refused from then on, as an unknown one.
    HTTPRequest end = f.post({});
    end.method = "DELETE";
    end.headers.insert("mcp-session-id", session);
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(end)), 204);
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(end)), 404);
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, session)), 404);
    end.headers.remove("mcp-session-id");
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(end)), 400);

    // A refused client gets no session; a revoked one loses the ones it has.
    f.approver.mode = FakeApprover::Mode::Deny;
    EXPECT_TRUE(ServiceFixture::headerOf(initialize("Cursor"), "Mcp-Session-Id").isEmpty());
    const QString held = ServiceFixture::headerOf(initialize("Claude"), "Mcp-Session-Id");
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, held)), 200);
    f.service->revoke("Claude");
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, held)), 404);

    // A relaunch ends every session; a remembered client starts a new one without a card.
    f.approver.mode = FakeApprover::Mode::Allow;
    const QString beforeRelaunch = ServiceFixture::headerOf(initialize("Zed"), "Mcp-Session-Id");
    const qsizetype asked = f.approver.names.size();
    f.make();
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, beforeRelaunch)), 404);
    const QString again = ServiceFixture::headerOf(initialize("Zed"), "Mcp-Session-Id");
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, again)), 200);
    EXPECT_EQ(f.approver.names.size(), asked);

    // Bounded: the session used least recently makes room for a new one, and a client opening sessions
    // in a loop ends only its own.
    const QString other = ServiceFixture::headerOf(initialize("Other"), "Mcp-Session-Id");
    QStringList opened;
    for (int i = 0; i < MCPSessions::kMaxSessions + 1; ++i)
        opened << ServiceFixture::headerOf(initialize("Zed"), "Mcp-Session-Id");
    EXPECT_EQ(f.service->sessionCount(), MCPSessions::kMaxSessionsPerClient + 1);
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, again)), 404);
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, opened.first())), 404);
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, opened.last())), 200);
    EXPECT_EQ(ServiceFixture::statusOf(send(ping, other)), 200);
}

// When every session is taken, the client holding the most gives up its least recently used one.
TEST(MCPSessionsTest, EachClientIsCappedAndAFullTableTakesFromTheLargestHolder)
{
    MCPSessions sessions(4, 2);
    const QString a = sessions.open("A");
    const QString b1 = sessions.open("B"), b2 = sessions.open("B");
    sessions.use(b1);
    const QString b3 = sessions.open("B");  // B's least recently used (b2) ends, not A's
    EXPECT_FALSE(sessions.use(b2));
    const QString c = sessions.open("C");
    const QString d = sessions.open("D");  // full: B holds the most
    EXPECT_EQ(sessions.count(), 4);
    EXPECT_FALSE(sessions.use(b1));
    for (const QString& live : {a, b3, c, d}) EXPECT_TRUE(sessions.use(live));
}

// The checks rely on one Host, Origin, Content-Type and session id each; with two, another reader
// could take the one not checked. A request naming no host is refused as well.
TEST(MCPEndpoint, RepeatedCheckedHeadersAndAMissingHostAreRefused)
{
    ServiceFixture f;
    const QByteArray body = R"({"jsonrpc":"2.0","method":"ping","id":1})";
    auto send = [&](const QByteArray& headers) {
        const QByteArray raw = "POST /mcp/" + f.service->token().toLatin1() + " HTTP/1.1\r\n" + headers +
                               "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        const std::optional<HTTPRequest> request = HTTPRequest::parse(raw);
        return request ? ServiceFixture::statusOf(f.respond(*request)) : -1;
    };
    const QByteArray host = "Host: 127.0.0.1\r\n", json = "Content-Type: application/json\r\n";
    const QByteArray session = "Mcp-Session-Id: " + f.session.toLatin1() + "\r\n";
    EXPECT_EQ(send(host + json + session), 200);
    EXPECT_EQ(send(json + session), 400);
    EXPECT_EQ(send(host + "host: evil.example\r\n" + json + session), 400);
    EXPECT_EQ(send(host + "Origin: http://localhost\r\nOrigin: http://evil.example\r\n" + json + session), 400);
    EXPECT_EQ(send(host + json + "content-type: text/plain\r\n" + session), 400);
    EXPECT_EQ(send(host + json + session + "MCP-SESSION-ID: other\r\n"), 400);
    EXPECT_EQ(send(host + json + session + "X-Other: 1\r\nX-Other: 2\r\n"), 200);  // not one the checks read
}

// The client's name is the client's word: it reaches the card only when it cannot pose as the card's
// own text, and only so long; then whole.
TEST(MCPEndpoint, ClientNamesAreCheckedBeforeTheCard)
{
    ServiceFixture f;
    auto initialize = [&](const QString& name) {
        return f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", name}}}});
    };
    const QJsonObject invalid{{"code", -32602}, {"message", "Invalid client name"}};
    for (const QString& name : {QString("Helper\nVerified by Tarnwick"), QString("Tab\there"), QString("A\u2028B"),
                                QString("evil\u202Eexe"), QString(257, 'x')})
        EXPECT_EQ(initialize(name).value("error").toObject(), invalid) << qPrintable(name.left(20));
    EXPECT_TRUE(f.approver.names.isEmpty());

    // The card gets the whole name and cuts it once, to its line: cut here as well, it lost its end.
    QString accented;
    for (int i = 0; i < 100; ++i) accented += QStringLiteral("e\u0301");
    EXPECT_TRUE(initialize(accented).contains("result"));
    EXPECT_EQ(f.approver.names.last(), accented);
    EXPECT_TRUE(initialize(QString(256, 'y')).contains("result"));
    EXPECT_EQ(f.approver.names.last(), QString(256, 'y'));
    EXPECT_TRUE(initialize("Short name").contains("result"));
    EXPECT_EQ(f.approver.names.last(), "Short name");
    // Remembered whole, so the same client is known again.
    EXPECT_TRUE(f.settings.stringListValue("mcp.approvedClients").contains(accented));

    // Refused names are remembered until quit, but not without bound: the oldest are forgotten.
    f.approver.mode = FakeApprover::Mode::Deny;
    for (int i = 0; i <= MCPService::kMaxDeniedNames; ++i) initialize(QStringLiteral("refused %1").arg(i));
    const qsizetype asked = f.approver.names.size();
    initialize(QStringLiteral("refused %1").arg(MCPService::kMaxDeniedNames));
    EXPECT_EQ(f.approver.names.size(), asked);
    initialize("refused 0");
    EXPECT_EQ(f.approver.names.size(), asked + 1);
}

}  // namespace
