#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QUuid>
#include <memory>

#include "mcp/HTTPRequest.h"
#include "mcp/MCPApprover.h"
#include "mcp/MCPService.h"
#include "mcp/MCPTokenStore.h"
#include "mcp/MCPToolHost.h"
#include "platform/Settings.h"

// Notes in a list; search matches titles and bodies, case-insensitively, like the real engine's filter.
class FakeToolHost : public MCPToolHost {
public:
    QList<MCPNoteRecord> notes;  // most recently updated first
    QList<std::pair<QString, QString>> created;

    MCPNoteRecord& add(const QString& title, const QString& body = {})
    {
        MCPNoteRecord n;
        n.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        n.title = title;
        n.displayTitle = title.isEmpty() ? QStringLiteral("Untitled") : title;
        n.body = body;
        n.createdAt = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        n.updatedAt = QDateTime::fromSecsSinceEpoch(1700000500, Qt::UTC);
        notes.append(n);
        return notes.last();
    }

    QList<MCPNoteRecord> search(const QString& query) override
    {
        QList<MCPNoteRecord> out;
        const QString q = query.trimmed().toLower();
        for (const auto& n : notes)
            if (!n.isTrashed && (q.isEmpty() || n.title.toLower().contains(q) || n.body.toLower().contains(q)))
                out << n;
        return out;
    }
    QList<MCPNoteRecord> allActive() override
    {
        QList<MCPNoteRecord> out;
        for (const auto& n : notes)
            if (!n.isTrashed) out << n;
        return out;
    }
    QList<MCPNoteRecord> pinned() override
    {
        QList<MCPNoteRecord> out;
        for (const auto& n : notes)
            if (!n.isTrashed && pinnedIDs.contains(n.id)) out << n;
        return out;
    }
    std::optional<MCPNoteRecord> note(const QUuid& id) override
    {
        const QString key = id.toString(QUuid::WithoutBraces).toUpper();
        for (const auto& n : notes)
            if (n.id == key) return n;
        return std::nullopt;
    }
    QString create(const QString& title, const QString& body) override
    {
        created.append({title, body});
        return add(title, body).id;
    }

    QStringList pinnedIDs;
};

// Answers as told; either at once or when answer() is called.
class FakeApprover : public MCPApprover {
public:
    enum class Mode { Allow, Deny, Hold } mode = Mode::Allow;
    QStringList askedNames;
    QStringList askedScopes;
    std::function<void(bool)> held;

    void request(const QString& clientName, const QString& scope, std::function<void(bool)> done) override
    {
        askedNames << clientName;
        askedScopes << scope;
        if (mode == Mode::Hold)
            held = std::move(done);
        else
            done(mode == Mode::Allow);
    }
    void answer(bool allow)
    {
        auto done = std::move(held);
        held = nullptr;
        if (done) done(allow);
    }
};

class FakeTokenStore : public MCPTokenStore {
public:
    std::optional<QByteArray> stored;
    bool failWrites = false;
    int writes = 0;

    std::optional<QByteArray> read() override { return stored; }
    Status<QString> write(const QByteArray& token) override
    {
        ++writes;
        if (failWrites) return QStringLiteral("The keyring is locked.");
        stored = token;
        return {};
    }
};

// A service over fakes with an in-memory settings store.
struct ServiceFixture {
    FakeToolHost tools;
    FakeApprover approver;
    FakeTokenStore tokens;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    std::unique_ptr<MCPService> service;

    ServiceFixture() { make(); }
    void make(MCPService::Options options = {})
    {
        service = std::make_unique<MCPService>(tools, approver, tokens, settings, options);
    }

    HTTPRequest post(const QByteArray& body, const QString& target = {}) const
    {
        HTTPRequest r;
        r.method = QStringLiteral("POST");
        r.target = target.isEmpty() ? QStringLiteral("/mcp/") + service->token() : target;
        r.headers.insert(QStringLiteral("host"), QStringLiteral("127.0.0.1:48219"));
        r.body = body;
        return r;
    }

    // The response bytes, which this service always gives synchronously unless the approver holds.
    QByteArray respond(const HTTPRequest& request)
    {
        QByteArray out;
        bool answered = false;
        service->respond(request, [&](const QByteArray& bytes) {
            out = bytes;
            answered = true;
        });
        EXPECT_TRUE(answered);
        return out;
    }
    QByteArray call(const QByteArray& json) { return respond(post(json)); }

    // A JSON-RPC call of a method; answers the envelope's object.
    QJsonObject rpc(const QString& method, const QJsonObject& params = {}, const QJsonValue& id = 1)
    {
        QJsonObject m{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                      {QStringLiteral("method"), method},
                      {QStringLiteral("params"), params},
                      {QStringLiteral("id"), id}};
        return bodyOf(call(QJsonDocument(m).toJson()));
    }
    QJsonObject tool(const QString& name, const QJsonObject& arguments = {})
    {
        return rpc(QStringLiteral("tools/call"),
                   {{QStringLiteral("name"), name}, {QStringLiteral("arguments"), arguments}});
    }

    static QJsonObject bodyOf(const QByteArray& response)
    {
        const qsizetype at = response.indexOf("\r\n\r\n");
        return QJsonDocument::fromJson(response.mid(at + 4)).object();
    }
    static int statusOf(const QByteArray& response) { return response.mid(9, 3).toInt(); }
};

#include <QTcpServer>

// The first port of a run of `count` ports on 127.0.0.1 that are free right now.
inline quint16 freePortRun(int count, quint16 from = 41000)
{
    for (quint32 start = from; start + count < 60000; start += count) {
        bool allFree = true;
        for (int i = 0; i < count && allFree; ++i) {
            QTcpServer probe;
            allFree = probe.listen(QHostAddress::LocalHost, quint16(start + i));
        }
        if (allFree) return quint16(start);
    }
    return 0;
}
