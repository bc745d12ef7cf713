#pragma once

// Keychains for tests: a fresh one in memory for each test, and one that refuses to list its items.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <memory>

#include "keys/KeychainStore.h"
#include "platform/BackgroundCall.h"
#include "platform/MemoryKeychainBackend.h"

namespace tarnwick::test {

// A test whose KeychainStore is a fresh keychain in memory.
class MemoryKeychainTest : public ::testing::Test {
protected:
    void SetUp() override { KeychainStore::useBackend(keychain); }
    void TearDown() override { KeychainStore::useBackend(nullptr); }

    std::shared_ptr<MemoryKeychainBackend> keychain = std::make_shared<MemoryKeychainBackend>();
};

// A keychain whose local or synchronizable list cannot be read while refused, as a locked keyring answers.
class RefusingKeychain : public MemoryKeychainBackend {
public:
    bool refuseLocal = false;
    bool refuseSynchronizable = false;

    Result<QStringList, Failure> accounts(const QString& service, bool synchronizable) override
    {
        if (synchronizable ? refuseSynchronizable : refuseLocal)
            return Failure{KeychainBackend::statusInteractionNotAllowed, QStringLiteral("the keyring is locked")};
        return MemoryKeychainBackend::accounts(service, synchronizable);
    }
};

// Lets the keyring calls made on threads of their own end and report back; true when none is left.
inline bool finishBackgroundCalls()
{
    for (int turn = 0; turn < 2000 && BackgroundCall::pending() > 0; ++turn) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return BackgroundCall::pending() == 0;
}

}  // namespace tarnwick::test
