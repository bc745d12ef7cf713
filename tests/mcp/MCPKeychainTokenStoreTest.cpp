#include <gtest/gtest.h>

#include <QTest>
#include <atomic>

#include "MCPFakes.h"
#include "keys/KeychainStore.h"
#include "mcp/MCPKeychainTokenStore.h"
#include "platform/MemoryKeychainBackend.h"
#include "support/TestEnvironment.h"

namespace {

const QString kService = "com.fennmoor.tarnwick.mcp";
const QString kAccount = "endpoint-token";

// A keychain whose writes can be made to fail, as a locked keyring does.
class LockableKeychain : public MemoryKeychainBackend {
public:
    bool locked = false;
    std::atomic<bool> readsCancelled{false};  // a locked keyring whose unlock prompt is dismissed
    Result<QByteArray, Failure> read(const QString& service, const QString& account, bool synchronizable) override
    {
        if (readsCancelled) return Failure{statusUserCanceled, "the keyring's unlock prompt was cancelled"};
        return MemoryKeychainBackend::read(service, account, synchronizable);
    }
    Status<Failure> replace(const QString& service, const QString& account, const QByteArray& data) override
    {
        if (locked) return Failure{statusInteractionNotAllowed, "Collection is locked"};
        return MemoryKeychainBackend::replace(service, account, data);
    }
};

class MCPKeychainTokenStoreTest : public ::testing::Test {
protected:
    void SetUp() override { KeychainStore::useBackend(keychain); }
    void TearDown() override { KeychainStore::useBackend(nullptr); }

    // A service as the application makes it, over the keychain; calling it again stands for a relaunch.
    MCPService& launch()
    {
        service.reset();
        service = std::make_unique<MCPService>(tools, approver, tokens, settings);
        // The keyring is read off the main thread; the answer arrives through the event loop.
        service->loadToken();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !service->token().isEmpty(); }));
        return *service;
    }
    QByteArray stored(bool synchronizable = false) const
    {
        auto data = KeychainStore::read(kService, kAccount, synchronizable);
        return data ? *data : QByteArray();
    }

    std::shared_ptr<LockableKeychain> keychain = std::make_shared<LockableKeychain>();
    FakeToolHost tools;
    FakeApprover approver;
    MCPKeychainTokenStore tokens;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    std::unique_ptr<MCPService> service;
};

}  // namespace

TEST_F(MCPKeychainTokenStoreTest, TokenLivesInOneLocalItemAcrossLaunchesAndRegeneration)
{
    const QString first = launch().token();
    EXPECT_EQ(stored(), first.toUtf8());
    EXPECT_EQ(launch().token(), first);

    service->regenerateToken();
    // Published once stored, so the address shown is always the one the next launch will have.
    EXPECT_TRUE(QTest::qWaitFor([&] { return service->token() != first; }));
    EXPECT_EQ(stored(), service->token().toUtf8());
    EXPECT_EQ(keychain->count(), 1);
    EXPECT_EQ(launch().token().toUtf8(), stored());
}

TEST_F(MCPKeychainTokenStoreTest, SynchronizableItemIsNeitherTrustedNorTouched)
{
    // An item that arrived from another machine must not become this endpoint's token.
    keychain->put(kService, kAccount, true, "FromAnotherMachine000000");
    const QString token = launch().token();
    EXPECT_NE(token, "FromAnotherMachine000000");
    EXPECT_EQ(stored(), token.toUtf8());
    EXPECT_EQ(stored(true), QByteArray("FromAnotherMachine000000"));
}

TEST_F(MCPKeychainTokenStoreTest, LockedKeychainKeepsTheOldItemAndLogsTheFailure)
{
    const QString first = launch().token();
    keychain->locked = true;
    tarnwick::test::LogCapture log;
    service->regenerateToken();
    // A token the keyring refused would be gone at the next launch: the old one stays in force and
    // in the keyring, whole, and the service says why.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return log.lines("app").contains(
            "Could not store the new MCP token in the keyring: Keyring error -25308 (Collection is locked)");
    }));
    EXPECT_EQ(service->token(), first);
    EXPECT_FALSE(service->tokenError().isEmpty());
    EXPECT_EQ(stored(), first.toUtf8());
}

TEST_F(MCPKeychainTokenStoreTest, AKeyringThatCannotBeReadKeepsItsTokenForTheNextLaunch)
{
    const QString first = launch().token();
    // Its prompt cancelled, the keyring may still hold the token: the endpoint comes up with a token of
    // this run alone, says so, and writes nothing over the stored one.
    keychain->readsCancelled = true;
    tarnwick::test::LogCapture log;
    const QString during = launch().token();
    EXPECT_NE(during, first);
    EXPECT_FALSE(service->tokenError().isEmpty());
    EXPECT_EQ(log.count("Could not read the MCP token from the keyring: Keyring error -128 (the keyring's unlock "
                        "prompt was cancelled); a token for this run only is used."),
              1);
    keychain->readsCancelled = false;
    EXPECT_EQ(stored(), first.toUtf8());
    EXPECT_EQ(keychain->count(), 1);
    EXPECT_EQ(launch().token(), first);
}
