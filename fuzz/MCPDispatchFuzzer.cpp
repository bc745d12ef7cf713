// Sends arbitrary JSON-RPC bodies (and a few header variations) through the endpoint's request
// handling over an in-memory note host, checking that every request gets exactly one HTTP answer.
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mcp/MCPApprover.h"
#include "mcp/MCPService.h"
#include "mcp/MCPTokenStore.h"
#include "mcp/MCPToolHost.h"
#include "platform/Settings.h"

namespace {

// The token lives in memory here: the fuzzer exercises the request path, not the keychain.
class FuzzTokenStore : public MCPTokenStore {
public:
    ReadResult read() override { return m_token; }
    Status<QString> write(const QByteArray& token) override
    {
        m_token = token;
        return {};
    }

private:
    std::optional<QByteArray> m_token;
};

class Notes : public MCPToolHost {
public:
    Notes()
    {
        for (int i = 0; i < 3; ++i) {
            MCPNoteRecord n;
            n.id = QStringLiteral("6F1C2D3E-4A5B-4C6D-8E9F-00000000000%1").arg(i);
            n.title = QStringLiteral("note %1").arg(i);
            n.displayTitle = n.title;
            n.body = QStringLiteral("line\nline \U0001F600 ") + QString(250, QLatin1Char('x'));
            n.isLocked = i == 1;
            n.updatedAt = QDateTime::fromSecsSinceEpoch(1700000000 + i, Qt::UTC);
            n.createdAt = n.updatedAt;
            m_notes << n;
        }
    }
    QList<MCPNoteRecord> search(const QString&, int) override { return m_notes; }
    QList<MCPNoteRecord> allActive(int) override { return m_notes; }
    QList<MCPNoteRecord> pinned(int) override { return m_notes.mid(1); }
    std::optional<MCPNoteRecord> note(const QUuid& id) override
    {
        for (const auto& n : m_notes)
            if (QUuid::fromString(n.id) == id) return n;
        return std::nullopt;
    }
    Result<QString, WriteFailure> create(const QString&, const QString&) override { return m_notes.first().id; }

private:
    QList<MCPNoteRecord> m_notes;
};

class Approver : public MCPApprover {
public:
    bool allow = false;
    void request(const QString&, const QString&, std::function<void(Answer)> done) override
    {
        allow = !allow;
        done(allow ? Answer::allowed : Answer::denied);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Notes notes;
    static Approver approver;
    static FuzzTokenStore tokens;
    static Settings settings(std::make_unique<MemorySettingsBackend>());
    static MCPService service(notes, approver, tokens, settings);
    static const bool tokenLoaded = (service.loadToken(), true);  // this store answers at once
    Q_UNUSED(tokenLoaded);
    if (size < 1) return 0;

    const uint8_t flags = data[0];
    settings.setValue(QStringLiteral("mcp.readOnly"), bool(flags & 1));
    HTTPRequest request;
    request.method = flags & 2 ? QStringLiteral("OPTIONS") : QStringLiteral("POST");
    request.target = flags & 4 ? QStringLiteral("/mcp") : QStringLiteral("/mcp/") + service.token();
    if (flags & 4) request.headers.insert(QStringLiteral("authorization"), QStringLiteral("Bearer ") + service.token());
    if (flags & 8) request.headers.insert(QStringLiteral("origin"), QStringLiteral("http://localhost:3000"));
    if (flags & 16) request.headers.insert(QStringLiteral("host"), QStringLiteral("[::1]"));
    if (!(flags & 32)) request.headers.insert(QStringLiteral("content-type"), QStringLiteral("application/json"));
    static const QString session = service.openSession(QStringLiteral("Fuzz client"));
    if (flags & 64) request.headers.insert(QStringLiteral("mcp-session-id"), session);
    request.body = QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    int answers = 0;
    QByteArray response;
    service.respond(request, [&](const QByteArray& bytes) {
        ++answers;
        response = bytes;
    });
    if (answers != 1 || !response.startsWith("HTTP/1.1 ")) std::abort();
    const qsizetype headEnd = response.indexOf("\r\n\r\n");
    if (headEnd < 0 || !response.left(headEnd + 2).endsWith("Connection: close\r\n")) std::abort();
    return 0;
}
