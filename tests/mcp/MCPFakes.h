#pragma once

#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QUuid>
#include <memory>

#include "mcp/MCPApprover.h"
#include "mcp/MCPService.h"
#include "mcp/MCPTokenStore.h"
#include "mcp/MCPToolHost.h"
#include "platform/Settings.h"

// Notes in a list, most recently updated first; search keeps titles containing the query.
struct FakeToolHost : MCPToolHost {
    QList<MCPNoteRecord> notes;
    QStringList pinnedIDs;
    QList<QStringList> created;

    MCPNoteRecord& add(const QString& title, const QString& body = {})
    {
        MCPNoteRecord n{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), title,
                        title.isEmpty() ? "Untitled" : title, body};
        n.createdAt = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        n.updatedAt = n.createdAt.addSecs(500);
        notes.append(n);
        return notes.last();
    }
    QList<MCPNoteRecord> where(const std::function<bool(const MCPNoteRecord&)>& keep) const
    {
        QList<MCPNoteRecord> out;
        for (const auto& n : notes)
            if (!n.isTrashed && keep(n)) out << n;
        return out;
    }
    QList<MCPNoteRecord> search(const QString& q, int) override
    {
        return where([&](const auto& n) { return n.title.contains(q); });
    }
    QList<MCPNoteRecord> allActive(int) override
    {
        return where([](const auto&) { return true; });
    }
    QList<MCPNoteRecord> pinned(int) override
    {
        return where([&](const auto& n) { return pinnedIDs.contains(n.id); });
    }
    std::optional<MCPNoteRecord> note(const QUuid& id) override
    {
        for (const auto& n : notes)
            if (QUuid::fromString(n.id) == id) return n;
        return std::nullopt;
    }
    std::optional<QString> failCreates;  // why a create fails, when it should
    Result<QString, WriteFailure> create(const QString& title, const QString& body) override
    {
        if (failCreates) return WriteFailure{*failCreates};
        created.append({title, body});
        return add(title, body).id;
    }
};

// Allows or denies at once, or holds the answer until answer() is called.
struct FakeApprover : MCPApprover {
    enum class Mode { Allow, Deny, Hold, TimeOut } mode = Mode::Allow;
    QStringList names, scopes;
    std::function<void(Answer)> held;

    void request(const QString& name, const QString& scope, std::function<void(Answer)> done) override
    {
        names << name;
        scopes << scope;
        if (mode == Mode::Hold)
            held = std::move(done);
        else
            done(mode == Mode::Allow ? Answer::allowed : mode == Mode::Deny ? Answer::denied : Answer::unanswered);
    }
    void answer(bool allow) { std::exchange(held, nullptr)(allow ? Answer::allowed : Answer::denied); }
};

struct FakeTokenStore : MCPTokenStore {
    std::optional<QByteArray> stored;
    bool failWrites = false;
    int writes = 0;
    std::optional<QString> readError;  // set: the keyring cannot be read
    ReadResult read() override
    {
        if (readError) return *readError;
        return stored;
    }
    Status<QString> write(const QByteArray& token) override
    {
        ++writes;
        if (failWrites) return QString("The keyring is locked.");
        stored = token;
        return {};
    }
};

// A service over fakes and in-memory settings; make() again stands for a relaunch.
struct ServiceFixture {
    FakeToolHost tools;
    FakeApprover approver;
    FakeTokenStore tokens;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    std::unique_ptr<MCPService> service;
    // A live session of an approved client, sent with every request that post() makes.
    QString session;

    ServiceFixture() { make(); }
    void make(MCPService::Options options = {})
    {
        service = std::make_unique<MCPService>(tools, approver, tokens, settings, options);
        service->loadToken();  // the fake store answers at once
        session = service->openSession("Fixture client");
    }
    HTTPRequest post(const QByteArray& body, const QString& target = {}) const
    {
        HTTPRequest r{"POST", target.isEmpty() ? "/mcp/" + service->token() : target};
        r.headers.insert("host", "127.0.0.1:48219");
        r.headers.insert("content-type", "application/json");
        if (!session.isEmpty()) r.headers.insert("mcp-session-id", session);
        r.body = body;
        return r;
    }
    QByteArray respond(const HTTPRequest& request)
    {
        std::optional<QByteArray> out;
        service->respond(request, [&](const QByteArray& bytes) { out = bytes; });
        EXPECT_TRUE(out);
        return out.value_or(QByteArray());
    }
    QByteArray call(const QByteArray& json) { return respond(post(json)); }
    QJsonObject rpc(const QString& method, const QJsonObject& params = {}, const QJsonValue& id = 1)
    {
        const QJsonObject m{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}, {"id", id}};
        return bodyOf(call(QJsonDocument(m).toJson()));
    }
    QJsonObject tool(const QString& name, const QJsonObject& arguments = {})
    {
        return rpc("tools/call", {{"name", name}, {"arguments", arguments}});
    }

    static QJsonObject bodyOf(const QByteArray& response)
    {
        return QJsonDocument::fromJson(response.mid(response.indexOf("\r\n\r\n") + 4)).object();
    }
    static int statusOf(const QByteArray& response) { return response.mid(9, 3).toInt(); }
    static QString headerOf(const QByteArray& response, const QByteArray& name)
    {
        for (const QByteArray& line : response.left(response.indexOf("\r\n\r\n")).split('\n'))
            if (line.toLower().startsWith(name.toLower() + ": "))
                return QString::fromUtf8(line.mid(name.size() + 2).trimmed());
        return {};
    }
};

// The first port of a run of `count` ports on 127.0.0.1 that are free right now.
inline quint16 freePortRun(int count)
{
    for (quint32 start = 41000; start + count < 60000; start += count) {
        bool free = true;
        for (int i = 0; i < count && free; ++i) free = QTcpServer().listen(QHostAddress::LocalHost, quint16(start + i));
        if (free) return quint16(start);
    }
    return 0;
}
