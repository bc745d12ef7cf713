#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSignalSpy>

#include "MCPFakes.h"
#include "support/TestEnvironment.h"

namespace {

using tarnwick::test::LogCapture;

const QRegularExpression kTokenShape(QStringLiteral("^[A-Za-z0-9]{24}$"));

TEST(MCPService, TokenIsMadeOnceAndKeptInTheTokenStore)
{
    ServiceFixture f;
    const QString token = f.service->token();
    EXPECT_TRUE(kTokenShape.match(token).hasMatch()) << qPrintable(token);
    EXPECT_EQ(f.tokens.stored, token.toUtf8());
    f.make();
    EXPECT_EQ(f.service->token(), token);
    EXPECT_EQ(f.tokens.writes, 1);
    EXPECT_EQ(f.service->endpointURL(), QStringLiteral("http://127.0.0.1:48219/mcp/") + token);

    // An unreadable item (empty or not UTF-8) is replaced by a fresh token.
    for (const QByteArray& bad : {QByteArray(), QByteArray("\xff\xfe")}) {
        f.tokens.stored = bad;
        f.make();
        EXPECT_TRUE(kTokenShape.match(f.service->token()).hasMatch());
        EXPECT_NE(f.service->token(), token);
    }
}

TEST(MCPService, LegacyTokenMovesOutOfSettingsUnchanged)
{
    ServiceFixture f;
    f.tokens.stored.reset();
    f.settings.setValue("mcp.token", QStringLiteral("short-legacy"));
    LogCapture log;
    f.make();
    EXPECT_EQ(f.service->token(), "short-legacy");
    EXPECT_EQ(f.tokens.stored, "short-legacy");
    EXPECT_FALSE(f.settings.contains("mcp.token"));
    EXPECT_TRUE(log.lines("app").contains("Moved the MCP token out of UserDefaults into the Keychain."));

    f.tokens.stored.reset();
    f.settings.setValue("mcp.token", QString());
    f.make();
    EXPECT_TRUE(kTokenShape.match(f.service->token()).hasMatch());
}

TEST(MCPService, TokenStoreFailureIsLoggedAndTheTokenStillWorks)
{
    ServiceFixture f;
    f.tokens.stored.reset();
    f.tokens.failWrites = true;
    LogCapture log;
    f.make();
    EXPECT_TRUE(log.lines("app").contains("Could not store the MCP token in the Keychain: The keyring is locked."));
    EXPECT_EQ(ServiceFixture::statusOf(f.call(R"({"jsonrpc":"2.0","method":"ping","id":1})")), 200);
}

TEST(MCPService, RegeneratedTokenReplacesTheOldOneAtOnce)
{
    ServiceFixture f;
    const QString old = f.service->token();
    QSignalSpy urlChanged(f.service.get(), &MCPService::endpointURLChanged);
    f.service->regenerateToken();
    const QString fresh = f.service->token();
    EXPECT_NE(fresh, old);
    EXPECT_EQ(f.tokens.stored, fresh.toUtf8());
    EXPECT_EQ(urlChanged.count(), 1);
    EXPECT_TRUE(f.service->endpointURL().endsWith(fresh));
    EXPECT_EQ(ServiceFixture::statusOf(f.respond(f.post("{}", QStringLiteral("/mcp/") + old))), 401);
}

TEST(MCPService, RevokeRefusesTheClientWithoutAskingUntilRelaunch)
{
    ServiceFixture f;
    f.settings.setValue("mcp.approvedClients", QStringList{"A", "B", "A"});
    f.service->revoke("A");
    f.service->revoke("Never approved");
    EXPECT_EQ(f.settings.stringListValue("mcp.approvedClients"), QStringList{"B"});
    for (const char* name : {"A", "Never approved"})
        EXPECT_EQ(f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", name}}}})
                      .value("error")
                      .toObject()
                      .value("code")
                      .toInt(),
                  -32001);
    EXPECT_TRUE(f.approver.askedNames.isEmpty());
    EXPECT_TRUE(f.rpc("initialize", {{"clientInfo", QJsonObject{{"name", "B"}}}}).contains("result"));
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
    EXPECT_EQ(enabledChanged.count(), 0);
    ASSERT_TRUE(running.wait(5000));
    EXPECT_TRUE(f.service->isRunning());
    EXPECT_EQ(f.service->port(), base);
    // A second start bound nothing more: the next port is still free.
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, base + 1));
    probe.close();

    f.service->setEnabled(false);
    EXPECT_FALSE(f.service->isRunning());
    EXPECT_FALSE(f.settings.boolValue("mcp.enabled"));
    EXPECT_EQ(f.service->port(), base);
    EXPECT_EQ(enabledChanged.count(), 1);
    f.settings.remove("mcp.enabled");
    f.service->setEnabled(false);
    EXPECT_TRUE(f.settings.contains("mcp.enabled"));
    EXPECT_FALSE(running.wait(300));  // the cancelled listener reports nothing
    EXPECT_EQ(running.count(), 2);
}

}  // namespace
