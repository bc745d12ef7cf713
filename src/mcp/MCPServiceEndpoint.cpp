// Answering one request of the local endpoint: request checks, JSON-RPC framing and `initialize`.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>
#include <QUrl>

#include "mcp/MCPApprover.h"
#include "mcp/MCPService.h"
#include "platform/Settings.h"

namespace {

const QString kApprovedKey = QStringLiteral("mcp.approvedClients");
const QString kUnnamedClient = QStringLiteral("An external tool");
const QString kDeniedMessage = QStringLiteral("Access denied by the user");

// Header text must never end a line of its own: a CR or LF smuggled into an echoed value would
// start a header (or a body) of the sender's choosing.
QByteArray headerText(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.removeIf([](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    return bytes;
}

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
    return MCPService::rawResponse(status, reason, std::nullopt, std::nullopt, extra);
}

}  // namespace

QByteArray MCPService::rawResponse(int status, const QString& reason, const std::optional<QByteArray>& body,
                                   const std::optional<QString>& contentType, const HeaderList& extraHeaders)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + headerText(reason) + "\r\n";
    if (!body) {
        out += "Content-Length: 0\r\n";
    } else {
        out += "Content-Type: " + headerText(contentType.value_or(QStringLiteral("application/json"))) + "\r\n";
        out += "Content-Length: " + QByteArray::number(body->size()) + "\r\n";
    }
    for (const auto& [name, value] : extraHeaders) out += headerText(name) + ": " + headerText(value) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (body) out += *body;
    return out;
}

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
    if (origin == QLatin1String("null")) return true;
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
            {QStringLiteral("Access-Control-Allow-Methods"), QStringLiteral("POST, OPTIONS")},
            {QStringLiteral("Access-Control-Allow-Headers"),
             QStringLiteral("Content-Type, Authorization, Mcp-Session-Id, MCP-Protocol-Version")}};
}

bool MCPService::authTokenValid(const HTTPRequest& request) const
{
    const QStringList pieces = request.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.size() >= 2 && pieces[0] == QLatin1String("mcp") && matchesSecret(pieces[1], m_token)) return true;
    std::optional<QString> authorization = request.header(QStringLiteral("authorization"));
    if (!authorization) return false;
    if (authorization->startsWith(QLatin1String("Bearer "))) authorization->remove(0, 7);
    return matchesSecret(*authorization, m_token);
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
    if (const auto origin = request.header(QStringLiteral("origin")); origin && !isLocalOrigin(*origin))
        return done(emptyAnswer(403, QStringLiteral("Forbidden")));
    if (const auto host = request.header(QStringLiteral("host")); host && !isLocalHost(*host))
        return done(emptyAnswer(403, QStringLiteral("Forbidden")));
    if (request.method == QLatin1String("OPTIONS"))
        return done(emptyAnswer(204, QStringLiteral("No Content"), corsHeaders(request)));
    if (request.method != QLatin1String("POST"))
        return done(emptyAnswer(405, QStringLiteral("Method Not Allowed"),
                                {{QStringLiteral("Allow"), QStringLiteral("POST, OPTIONS")}}));
    if (!request.path().startsWith(QLatin1String("/mcp"))) return done(emptyAnswer(404, QStringLiteral("Not Found")));
    if (!authTokenValid(request)) return done(emptyAnswer(401, QStringLiteral("Unauthorized")));

    auto badRequest = [&](int code, const QString& message) {
        done(rawResponse(400, QStringLiteral("Bad Request"), serialise(errorEnvelope(QJsonValue::Null, code, message)),
                         QStringLiteral("application/json"), {}));
    };
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &parseError);
    if (parseError.error != QJsonParseError::NoError) return badRequest(-32700, QStringLiteral("Parse error"));
    if (document.isArray()) return badRequest(-32600, QStringLiteral("Batch requests are not supported"));
    const QJsonObject message = document.object();
    const QJsonValue version = message.value(QStringLiteral("jsonrpc"));
    if (!document.isObject() || !version.isString() || version.toString() != QLatin1String("2.0"))
        return badRequest(-32700, QStringLiteral("Parse error"));

    const QString method = message.value(QStringLiteral("method")).toString();
    const QJsonObject params = message.value(QStringLiteral("params")).toObject();
    const QJsonValue id = message.value(QStringLiteral("id"));
    if (id.isUndefined() || id.isNull())
        return done(emptyAnswer(202, QStringLiteral("Accepted"), corsHeaders(request)));

    if (method == QLatin1String("initialize")) {
        handleInitialize(params,
                         [request, id, done](RPCOutcome outcome) { finishRequest(request, id, outcome, done); });
        return;
    }
    RPCOutcome outcome = RPCOutcome::error(-32601, QStringLiteral("Method not found"));
    if (method == QLatin1String("tools/list"))
        outcome = RPCOutcome::result(handleToolsList());
    else if (method == QLatin1String("tools/call"))
        outcome = handleToolsCall(params);
    else if (method == QLatin1String("ping"))
        outcome = RPCOutcome::result({});
    finishRequest(request, id, outcome, done);
}

void MCPService::finishRequest(const HTTPRequest& request, const QJsonValue& id, const RPCOutcome& outcome,
                               const std::function<void(const QByteArray&)>& done)
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
                     corsHeaders(request)));
}

void MCPService::handleInitialize(const QJsonObject& params, std::function<void(RPCOutcome)> done)
{
    QString name = params.value(QStringLiteral("clientInfo")).toObject().value(QStringLiteral("name")).toString();
    name = name.trimmed();
    if (name.isEmpty()) name = kUnnamedClient;

    QString version = params.value(QStringLiteral("protocolVersion")).toString();
    if (!supportedProtocols().contains(version)) version = supportedProtocols().first();
    const RPCOutcome welcome = RPCOutcome::result(
        {{QStringLiteral("protocolVersion"), version},
         {QStringLiteral("capabilities"), QJsonObject{{QStringLiteral("tools"), QJsonObject{}}}},
         {QStringLiteral("serverInfo"), QJsonObject{{QStringLiteral("name"), QStringLiteral("Tarnwick")},
                                                    {QStringLiteral("version"), appVersion()}}}});

    if (approvedClients().contains(name)) return done(welcome);
    if (m_sessionDenied.contains(name)) return done(RPCOutcome::error(-32001, kDeniedMessage));

    const QString scope = readOnly() ? QStringLiteral("Read only") : QStringLiteral("Read & write");
    QPointer<MCPService> self(this);
    m_approval.request(name, scope, [self, name, welcome, done](bool allowed) {
        if (!self) return done(RPCOutcome::error(-32001, kDeniedMessage));
        if (!allowed) {
            self->m_sessionDenied.insert(name);
            return done(RPCOutcome::error(-32001, kDeniedMessage));
        }
        QStringList approved = self->approvedClients();
        if (!approved.contains(name)) {
            approved.append(name);
            self->m_settings.setValue(kApprovedKey, approved);
        }
        done(welcome);
    });
}
