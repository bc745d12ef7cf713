#pragma once

// Keychains for tests: a fresh one in memory for each test, and one that refuses to list its items.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <memory>
#include <optional>

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

// A desktop keyring as the application meets it: it may prompt, so it is asked only off the main
// thread. While `locked`, every read asks to be unlocked and the prompt is cancelled (or, on a thread
// that must not prompt, the read is refused at once); an add finds a locked item all the same and
// reports it. Counts what it is asked and where.
class PromptingKeychain : public MemoryKeychainBackend {
public:
    std::atomic<bool> locked{false};
    std::atomic<bool> refuseAdds{false};
    std::atomic<int> prompts{0};       // unlock prompts brought up (each one cancelled)
    std::atomic<int> localLists{0};    // lists of the local lock keys, from any thread
    std::atomic<int> onMainThread{0};  // calls made on the main thread: none may be
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
    std::atomic<int> adds{0};

    bool mayAskUser() const override { return true; }

    Result<QStringList, Failure> accounts(const QString& service, bool synchronizable) override
    {
        Call call(*this);
        if (!synchronizable) ++localLists;
        if (auto refused = whileLocked()) return *refused;
        return MemoryKeychainBackend::accounts(service, synchronizable);
    }
    Result<QByteArray, Failure> read(const QString& service, const QString& account, bool synchronizable) override
    {
        Call call(*this);
        if (auto refused = whileLocked()) return *refused;
        return MemoryKeychainBackend::read(service, account, synchronizable);
    }
    Status<Failure> add(const QString& service, const QString& account, const QByteArray& data) override
    {
        Call call(*this);
        ++adds;
        if (refuseAdds) return Failure{statusInternalComponent, QStringLiteral("the keyring refused the item")};
        if (MemoryKeychainBackend::read(service, account, false)) return Failure{statusDuplicateItem, {}};
        if (auto refused = whileLocked()) return *refused;
        return MemoryKeychainBackend::add(service, account, data);
    }

private:
    struct Call {
        explicit Call(PromptingKeychain& k) : keychain(k)
        {
            if (QThread::currentThread() == QCoreApplication::instance()->thread()) ++keychain.onMainThread;
            const int now = ++keychain.inFlight;
            int most = keychain.mostInFlight;
            while (now > most && !keychain.mostInFlight.compare_exchange_weak(most, now)) {
            }
            // Long enough for a second caller to overlap, were calls not made one at a time.
            QThread::msleep(2);
        }
        ~Call() { --keychain.inFlight; }
        PromptingKeychain& keychain;
    };
    std::optional<Failure> whileLocked()
    {
        if (!locked) return std::nullopt;
        if (!KeychainBackend::mayAskUserOnThisThread())
            return Failure{statusInteractionNotAllowed, QStringLiteral("the keyring is locked")};
        ++prompts;
        return Failure{statusUserCanceled, QStringLiteral("the keyring's unlock prompt was cancelled")};
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
