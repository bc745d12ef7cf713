#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "MCPFakes.h"
#include "support/TestEnvironment.h"

namespace {

using tarnwick::test::LogCapture;

bool wellFormed(const QString& token)
{
    return QRegularExpression("^[A-Za-z0-9]{24}$").match(token).hasMatch();
}

TEST(MCPService, TokenIsKeptAcrossLaunchesAndReplacedWhenUnreadable)
{
    ServiceFixture f;
    const QString token = f.service->token();
    EXPECT_TRUE(wellFormed(token)) << qPrintable(token);
    EXPECT_EQ(f.tokens.stored, token.toUtf8());
    f.make();
    EXPECT_EQ(f.service->token(), token);
    EXPECT_EQ(f.service->endpointURL(), "http://127.0.0.1:48219/mcp/" + token);
    for (const QByteArray& bad : {QByteArray(), QByteArray("\xff\xfe")}) {
        f.tokens.stored = bad;
        f.make();
        EXPECT_TRUE(wellFormed(f.service->token()));
        EXPECT_NE(f.service->token(), token);
    }
}

TEST(MCPService, LegacyTokenMovesOutOfSettingsAndStoreFailuresAreLogged)
{
    ServiceFixture f;
    LogCapture log;
    f.tokens.stored.reset();
    f.settings.setValue("mcp.token", "short-legacy");
    f.make();
    EXPECT_EQ(f.service->token(), "short-legacy");
    EXPECT_EQ(f.tokens.stored, "short-legacy");
    EXPECT_FALSE(f.settings.contains("mcp.token"));
    EXPECT_TRUE(log.lines("app").contains("Moved the MCP token out of the settings file into the keyring."));

    f.tokens.stored.reset();
    f.tokens.failWrites = true;
    f.settings.setValue("mcp.token", QString());
    f.make();
    EXPECT_TRUE(wellFormed(f.service->token()));
    EXPECT_TRUE(log.lines("app").contains("Could not store the MCP token in the keyring: The keyring is locked."));
    EXPECT_EQ(ServiceFixture::statusOf(f.call(R"({"jsonrpc":"2.0","method":"ping","id":1})")), 200);
    // That token is gone at the next launch, and the address says so.
    EXPECT_TRUE(f.service->tokenError().contains("until Tarnwick quits"));
}

TEST(MCPService, ALegacyTokenStaysInSettingsUntilTheKeyringHoldsIt)
{
    ServiceFixture f;
    LogCapture log;
    f.tokens.stored.reset();
    f.tokens.failWrites = true;
    f.settings.setValue("mcp.token", "legacy-token");
    // Refused twice, unreadable once: every launch answers to the same token, which stays where it was.
    for (int launch = 0; launch < 3; ++launch) {
        if (launch == 2) f.tokens.readError = QString("The keyring is locked.");
        const int writes = f.tokens.writes;
        f.make();
        EXPECT_EQ(f.service->token(), "legacy-token") << launch;
        EXPECT_EQ(f.settings.stringValue("mcp.token"), "legacy-token") << launch;
        EXPECT_TRUE(f.service->tokenError().isEmpty()) << launch;
        // Nothing is written over a keyring that could not be read.
        EXPECT_EQ(f.tokens.writes, writes + (launch == 2 ? 0 : 1)) << launch;
    }
    EXPECT_FALSE(f.tokens.stored);
    EXPECT_FALSE(log.lines("app").contains("Moved the MCP token out of the settings file into the keyring."));

    f.tokens.readError.reset();
    f.tokens.failWrites = false;
    f.make();
    EXPECT_EQ(f.service->token(), "legacy-token");
    EXPECT_EQ(f.tokens.stored, "legacy-token");
    EXPECT_FALSE(f.settings.contains("mcp.token"));
    EXPECT_EQ(log.count("Moved the MCP token out of the settings file into the keyring."), 1);

    // A new token, once the keyring holds it, leaves no older one behind in the settings file.
    f.settings.setValue("mcp.token", "legacy-token");
    f.service->regenerateToken();
    EXPECT_NE(f.service->token(), "legacy-token");
    EXPECT_FALSE(f.settings.contains("mcp.token"));
}

TEST(MCPService, RegenerateAndRevoke)
{
    ServiceFixture f;
    const QString old = f.service->token();
    QSignalSpy urlChanged(f.service.get(), &MCPService::endpointURLChanged);
    f.service->regenerateToken();
    EXPECT_NE(f.service->token(), old);
    EXPECT_EQ(f.tokens.stored, f.service->token().toUtf8());
    EXPECT_EQ(urlChanged.count(), 1);
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(f.post("{}", "/mcp/" + old))), 401);

    f.settings.setValue("mcp.approvedClients", QStringList{"A", "B", "A"});
    f.service->revoke("A");
    f.service->revoke("Never approved");
    EXPECT_EQ(f.settings.stringListValue("mcp.approvedClients"), QStringList{"B"});
    for (const char* name : {"A", "Never approved"})
        EXPECT_TRUE(f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", name}}}}).contains("error"));
    EXPECT_TRUE(f.approver.names.isEmpty());
}

TEST(MCPService, EnabledSwitchStartsAndStopsTheListener)
{
    ServiceFixture f;
    f.settings.setValue("mcp.enabled", true);
    const quint16 base = freePortRun(2);
    ASSERT_NE(base, 0);
    f.make({base, {}});
    EXPECT_TRUE(f.service->enabled());
    EXPECT_FALSE(f.service->isRunning());  // the shell starts it after launch, not the constructor

    QSignalSpy running(f.service.get(), &MCPService::isRunningChanged);
    QSignalSpy enabledChanged(f.service.get(), &MCPService::enabledChanged);
    f.service->setEnabled(true);
    f.service->setEnabled(true);
    ASSERT_TRUE(running.wait(5000));
    EXPECT_EQ(f.service->port(), base);
    EXPECT_TRUE(QTcpServer().listen(QHostAddress::LocalHost, base + 1));  // only one listener was bound

    f.service->setEnabled(false);
    EXPECT_FALSE(f.service->isRunning());
    EXPECT_FALSE(f.settings.boolValue("mcp.enabled"));
    EXPECT_EQ(f.service->port(), base);
    f.settings.remove("mcp.enabled");
    f.service->setEnabled(false);
    EXPECT_TRUE(f.settings.contains("mcp.enabled"));
    EXPECT_EQ(enabledChanged.count(), 1);
    EXPECT_EQ(running.count(), 2);
}

// A keyring that answers only when told (a prompt, a locked keyring, no default collection yet).
struct SlowTokenStore : FakeTokenStore {
    std::function<void()> pendingRead, pendingWrite;
    void readLater(QObject*, std::function<void(ReadResult)> done) override
    {
        pendingRead = [this, done] { done(read()); };
    }
    void writeLater(const QByteArray& token, QObject*, std::function<void(Status<QString>)> done) override
    {
        pendingWrite = [this, token, done] { done(write(token)); };
    }
};

TEST(MCPService, TokenIsReadWhenTheEndpointStartsAndASlowKeyringDelaysOnlyTheEndpoint)
{
    SlowTokenStore tokens;
    FakeToolHost tools;
    FakeApprover approver;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    settings.setValue("mcp.enabled", true);
    const quint16 base = freePortRun(1);
    ASSERT_NE(base, 0);
    MCPService service(tools, approver, tokens, settings, {base, {}});
    EXPECT_FALSE(tokens.pendingRead);  // making the service asks nothing of the keyring

    // Switched off before the keyring answers: nothing starts when it does.
    service.start();
    ASSERT_TRUE(tokens.pendingRead);
    service.setEnabled(false);
    std::exchange(tokens.pendingRead, nullptr)();
    std::exchange(tokens.pendingWrite, nullptr)();
    EXPECT_FALSE(service.isRunning());
    EXPECT_EQ(tokens.stored, service.token().toUtf8());

    // Turned on in the settings file: the token is there, so the endpoint starts at once.
    QSignalSpy running(&service, &MCPService::isRunningChanged);
    settings.setValue("mcp.enabled", true);
    ASSERT_TRUE(running.wait(5000));
    EXPECT_TRUE(service.isRunning());
    EXPECT_FALSE(tokens.pendingRead);
}

}  // namespace

namespace {

// Approval taken back by another writer of the settings file (a hand edit, another process) or by
// switching the endpoint off ends the sessions it let in; approved clients keep theirs.
TEST(MCPService, SessionsEndWhenApprovalIsTakenBackAnywhereOrTheEndpointGoesOff)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    Settings ours(std::make_unique<FileSettingsBackend>(path));
    ServiceFixture f;
    MCPService service(f.tools, f.approver, f.tokens, ours);
    service.loadToken();
    ours.setValue("mcp.approvedClients", QStringList{"A", "B"});
    service.openSession("A");
    service.openSession("A");
    service.openSession("B");
    ASSERT_EQ(service.sessionCount(), 3);

    {
        Settings outside(std::make_unique<FileSettingsBackend>(path));
        outside.setValue("mcp.approvedClients", QStringList{"B"});
    }
    ours.mergeOutsideChanges();
    EXPECT_EQ(service.sessionCount(), 1) << "only B's session is left";

    ours.setValue("mcp.readOnly", false);  // another key changing ends nothing
    EXPECT_EQ(service.sessionCount(), 1);

    service.setEnabled(false);
    EXPECT_EQ(service.sessionCount(), 0) << "a client let in before the switch went off asks again";
}

}  // namespace
