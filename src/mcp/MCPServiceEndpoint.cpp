// Answering one request of the local endpoint: request checks, JSON-RPC framing and `initialize`.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>
#include <QUrl>

#include "mcp/HTTPResponse.h"
#include "mcp/MCPApprover.h"
#include "mcp/MCPService.h"
#include "platform/Settings.h"

namespace {

const QString kApprovedKey = QStringLiteral("mcp.approvedClients");
const QString kUnnamedClient = QStringLiteral("An external tool");
const QString kDeniedMessage = QStringLiteral("Access denied by the user");

// Equality whose time depends only on the presented text's length, not on how much of it is right,
// so the token cannot be guessed a character at a time by timing answers.
bool matchesSecret(const QString& presented, const QString& secret)
{
    if (secret.isEmpty()) return false;
    const QByteArray a = presented.toUtf8();
    const QByteArray b = secret.toUtf8();
    unsigned diff = a.size() != b.size() ? 1u : 0u;
    for (qsizetype i = 0; i < a.size(); ++i) diff |= quint8(a[i]) ^ quint8(b[i % b.size()]);
    return diff == 0;
}

QByteArray serialise(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray emptyAnswer(int status, const QString& reason, const MCPService::HeaderList& extra = {})
{
    return rawResponse(status, reason, std::nullopt, std::nullopt, extra);
}

// Every message but the `initialize` request belongs to a live session: the approval given at
// `initialize` is what lets a client in, so nothing may skip it.
std::optional<QByteArray> sessionRefusal(MCPSessions& sessions, const HTTPRequest& request, const QJsonValue& id)
{
    const std::optional<QString> session = request.header(QStringLiteral("mcp-session-id"));
    if (!session || session->isEmpty())
        return rawResponse(400, QStringLiteral("Bad Request"),
                           serialise(MCPService::errorEnvelope(
                               id, -32600, QStringLiteral("Missing Mcp-Session-Id: send initialize first"))),
                           QStringLiteral("application/json"), MCPService::corsHeaders(request));
    if (!sessions.use(*session))
        return rawResponse(404, QStringLiteral("Not Found"),
                           serialise(MCPService::errorEnvelope(id, -32001, QStringLiteral("Session not found"))),
                           QStringLiteral("application/json"), MCPService::corsHeaders(request));
    return std::nullopt;
}

}  // namespace

bool MCPService::isLocalHost(const QString& value)
{
    QString host = value;
    if (!host.startsWith(QLatin1Char('[')) && host.contains(QLatin1Char(':')))
        host.truncate(host.lastIndexOf(QLatin1Char(':')));
    auto isBracket = [](QChar c) { return c == QLatin1Char('[') || c == QLatin1Char(']'); };
    while (!host.isEmpty() && isBracket(host.front())) host.remove(0, 1);
    while (!host.isEmpty() && isBracket(host.back())) host.chop(1);
    host = host.toLower();
    return host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1") || host == QLatin1String("::1");
}

bool MCPService::isLocalOrigin(const QString& origin)
{
    // "null" is what sandboxed frames and data: pages send: it names no page we could trust.
    if (origin == QLatin1String("null")) return false;
    const QUrl url(origin, QUrl::StrictMode);
    if (!url.isValid()) return false;
    const QString host = url.host();
    if (host.isEmpty()) return false;
    // QUrl gives an IPv6 host without its brackets; put them back so that [::1] counts as local.
    return isLocalHost(host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host);
}

MCPService::HeaderList MCPService::corsHeaders(const HTTPRequest& request)
{
    const std::optional<QString> origin = request.header(QStringLiteral("origin"));
    if (!origin || !isLocalOrigin(*origin)) return {};
    return {{QStringLiteral("Access-Control-Allow-Origin"), *origin},
            {QStringLiteral("Access-Control-Allow-Methods"), QStringLiteral("POST, DELETE, OPTIONS")},
            {QStringLiteral("Access-Control-Allow-Headers"),
             QStringLiteral("Content-Type, Authorization, Mcp-Session-Id, MCP-Protocol-Version")},
            // A page on this machine must be able to read the session id it has to send back.
            {QStringLiteral("Access-Control-Expose-Headers"), QStringLiteral("Mcp-Session-Id")}};
}

bool MCPService::authTokenValid(const HTTPRequest& request) const
{
    return tokenValid(request, m_token);
}

bool MCPService::tokenValid(const HTTPRequest& request, const QString& token)
{
    const QStringList pieces = request.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.size() >= 2 && pieces[0] == QLatin1String("mcp") && matchesSecret(pieces[1], token)) return true;
    std::optional<QString> authorization = request.header(QStringLiteral("authorization"));
    if (!authorization) return false;
    if (authorization->startsWith(QLatin1String("Bearer "))) authorization->remove(0, 7);
    return matchesSecret(*authorization, token);
}

QJsonObject MCPService::errorEnvelope(const QJsonValue& id, int code, const QString& message)
{
    return {
        {QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
        {QStringLiteral("id"), id},
        {QStringLiteral("error"), QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}}}};
}

void MCPService::respond(const HTTPRequest& request, std::function<void(const QByteArray&)> done)
{
    std::variant<QByteArray, Call> screened = screen(*m_gate, request);
    if (const auto* bytes = std::get_if<QByteArray>(&screened)) return done(*bytes);
    answer(std::get<Call>(screened), done);
}

std::variant<QByteArray, MCPService::Call> MCPService::screen(Gate& gate, const HTTPRequest& request)
{
    // A header the checks below rely on must say one thing: with two, another reader could take the
    // one these checks did not look at. A request without Host names no server at all.
    for (const char* name : {"host", "origin", "content-type", "mcp-session-id"})
        if (request.repeated.contains(QLatin1String(name))) return emptyAnswer(400, QStringLiteral("Bad Request"));
    if (!request.header(QStringLiteral("host"))) return emptyAnswer(400, QStringLiteral("Bad Request"));
    if (const auto origin = request.header(QStringLiteral("origin")); origin && !isLocalOrigin(*origin))
        return emptyAnswer(403, QStringLiteral("Forbidden"));
    if (const auto host = request.header(QStringLiteral("host")); !isLocalHost(*host))
        return emptyAnswer(403, QStringLiteral("Forbidden"));
    if (request.method == QLatin1String("OPTIONS"))
        return emptyAnswer(204, QStringLiteral("No Content"), corsHeaders(request));
    const bool isDelete = request.method == QLatin1String("DELETE");
    if (request.method != QLatin1String("POST") && !isDelete)
        return emptyAnswer(405, QStringLiteral("Method Not Allowed"),
                           {{QStringLiteral("Allow"), QStringLiteral("POST, DELETE, OPTIONS")}});
    if (!request.path().startsWith(QLatin1String("/mcp"))) return emptyAnswer(404, QStringLiteral("Not Found"));
    if (!tokenValid(request, gate.token())) return emptyAnswer(401, QStringLiteral("Unauthorized"));

    if (isDelete) {
        if (auto refusal = sessionRefusal(gate.sessions, request, QJsonValue::Null)) return *refusal;
        gate.sessions.end(*request.header(QStringLiteral("mcp-session-id")));
        return emptyAnswer(204, QStringLiteral("No Content"), corsHeaders(request));
    }

    // A page may send a "simple" request (text/plain, form data) without asking first; only JSON is
    // read, so such a request can never reach the notes without the browser's pre-flight.
    const QString contentType =
        request.header(QStringLiteral("content-type")).value_or(QString()).section(QLatin1Char(';'), 0, 0).trimmed();
    if (contentType.compare(QLatin1String("application/json"), Qt::CaseInsensitive) != 0)
        return emptyAnswer(415, QStringLiteral("Unsupported Media Type"));

    auto badRequest = [](int code, const QString& message) {
        return rawResponse(400, QStringLiteral("Bad Request"),
                           serialise(errorEnvelope(QJsonValue::Null, code, message)),
                           QStringLiteral("application/json"), {});
    };
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &parseError);
    if (parseError.error != QJsonParseError::NoError) return badRequest(-32700, QStringLiteral("Parse error"));
    if (document.isArray()) return badRequest(-32600, QStringLiteral("Batch requests are not supported"));
    const QJsonObject message = document.object();
    const QJsonValue version = message.value(QStringLiteral("jsonrpc"));
    if (!document.isObject() || !version.isString() || version.toString() != QLatin1String("2.0"))
        return badRequest(-32700, QStringLiteral("Parse error"));

    Call call{request, message.value(QStringLiteral("id")), message.value(QStringLiteral("method")).toString(),
              message.value(QStringLiteral("params")).toObject()};
    if (call.id.isUndefined()) call.id = QJsonValue::Null;
    const bool isNotification = call.id.isNull();
    if (isNotification || call.method != QLatin1String("initialize")) {
        if (auto refusal = sessionRefusal(gate.sessions, request, call.id)) return *refusal;
    }
    if (isNotification) return emptyAnswer(202, QStringLiteral("Accepted"), corsHeaders(request));

    if (call.method == QLatin1String("initialize") || call.method == QLatin1String("tools/list") ||
        call.method == QLatin1String("tools/call"))
        return call;
    const RPCOutcome outcome = call.method == QLatin1String("ping")
                                   ? RPCOutcome::result({})
                                   : RPCOutcome::error(-32601, QStringLiteral("Method not found"));
    QByteArray bytes;
    finishRequest(request, call.id, outcome, [&bytes](const QByteArray& b) { bytes = b; });
    return bytes;
}

void MCPService::answer(const Call& call, const std::function<void(const QByteArray&)>& done)
{
    // The token and the session were good when the request came in; either may have changed (a new
    // token, a session revoked) while the request waited for this thread, and only what holds now counts.
    if (!authTokenValid(call.request)) return done(emptyAnswer(401, QStringLiteral("Unauthorized")));
    if (call.method != QLatin1String("initialize")) {
        if (auto refusal = sessionRefusal(m_gate->sessions, call.request, call.id)) return done(*refusal);
    }
    if (call.method == QLatin1String("initialize")) {
        handleInitialize(call.params,
                         [request = call.request, id = call.id, done](RPCOutcome outcome, QString session) {
                             HeaderList extra;
                             if (!session.isEmpty()) extra.append({QStringLiteral("Mcp-Session-Id"), session});
                             finishRequest(request, id, outcome, done, extra);
                         });
        return;
    }
    const RPCOutcome outcome = call.method == QLatin1String("tools/list") ? RPCOutcome::result(handleToolsList())
                                                                          : handleToolsCall(call.params);
    finishRequest(call.request, call.id, outcome, done);
}

void MCPService::finishRequest(const HTTPRequest& request, const QJsonValue& id, const RPCOutcome& outcome,
                               const std::function<void(const QByteArray&)>& done, const HeaderList& extra)
{
    QJsonObject envelope;
    if (outcome.isError()) {
        envelope = errorEnvelope(id, outcome.errorValue().code, outcome.errorValue().message);
    } else {
        envelope = {{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                    {QStringLiteral("id"), id},
                    {QStringLiteral("result"), outcome.resultObject()}};
    }
    done(rawResponse(200, QStringLiteral("OK"), serialise(envelope), QStringLiteral("application/json"),
                     corsHeaders(request) + extra));
}

bool MCPService::isAcceptableClientName(const QString& name)
{
    if (name.size() > kMaxClientNameLength) return false;
    for (const QChar c : name) {
        switch (c.category()) {
            case QChar::Other_Control:
            case QChar::Separator_Line:
            case QChar::Separator_Paragraph:
                return false;
            default:
                break;
        }
        // Direction overrides and isolates would let a name reorder the text drawn after it.
        const char16_t u = c.unicode();
        if (u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            return false;
    }
    return true;
}

void MCPService::handleInitialize(const QJsonObject& params, std::function<void(RPCOutcome, QString)> done)
{
    QString name = params.value(QStringLiteral("clientInfo")).toObject().value(QStringLiteral("name")).toString();
    name = name.trimmed();
    if (name.isEmpty()) name = kUnnamedClient;
    // The name is shown to the user and remembered: one that could forge lines on the card, or that
    // is too long to show or keep, is refused before anything else.
    if (!isAcceptableClientName(name))
        return done(RPCOutcome::error(-32602, QStringLiteral("Invalid client name")), {});

    QString version = params.value(QStringLiteral("protocolVersion")).toString();
    if (!supportedProtocols().contains(version)) version = supportedProtocols().first();
    const RPCOutcome welcome = RPCOutcome::result(
        {{QStringLiteral("protocolVersion"), version},
         {QStringLiteral("capabilities"), QJsonObject{{QStringLiteral("tools"), QJsonObject{}}}},
         {QStringLiteral("serverInfo"), QJsonObject{{QStringLiteral("name"), QStringLiteral("Tarnwick")},
                                                    {QStringLiteral("version"), appVersion()}}}});

    if (approvedClients().contains(name)) return done(welcome, m_gate->sessions.open(name));
    if (m_sessionDenied.contains(name)) return done(RPCOutcome::error(-32001, kDeniedMessage), {});

    const QString scope = readOnly() ? QStringLiteral("Read only") : QStringLiteral("Read & write");
    QPointer<MCPService> self(this);
    // The whole name: the card cuts it once, to what its line holds.
    m_approval.request(name, scope, [self, name, welcome, done](MCPApprover::Answer answer) {
        if (!self) return done(RPCOutcome::error(-32001, kDeniedMessage), {});
        if (answer != MCPApprover::Answer::allowed) {
            // Only the user's own Deny is remembered: a card that timed out, or one nobody could see,
            // must not let another client (or this one, twice at once) deny a real one in advance.
            if (answer == MCPApprover::Answer::denied) self->deny(name);
            return done(RPCOutcome::error(-32001, kDeniedMessage), {});
        }
        QStringList approved = self->approvedClients();
        if (!approved.contains(name)) {
            approved.append(name);
            self->m_settings.setValue(kApprovedKey, approved);
        }
        done(welcome, self->m_gate->sessions.open(name));
    });
}
