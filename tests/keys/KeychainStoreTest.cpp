#include <gtest/gtest.h>

#include "support/TestKeychains.h"

namespace {

const QString service = "test.service";
using Error = KeychainStore::KeychainError;

using KeychainStoreTest = tarnwick::test::MemoryKeychainTest;

}  // namespace

TEST_F(KeychainStoreTest, MissingItemsAreNotFoundAndEmptyLists)
{
    auto read = KeychainStore::read(service, "primary", false);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error(), Error::itemNotFound());
    auto all = KeychainStore::readAll(service, false);
    ASSERT_TRUE(all.ok());
    EXPECT_TRUE(all->isEmpty());
}

TEST_F(KeychainStoreTest, SynchronizableAndLocalItemsAreKeptApart)
{
    keychain->put(service, "primary", false, "local");
    keychain->put(service, "primary", true, "cloud");
    keychain->put(service, "other-mac", true, "cloud2");
    keychain->put("another.service", "x", false, "elsewhere");

    EXPECT_EQ(*KeychainStore::readAll(service, false), (QList<KeychainStore::Item>{{"primary", "local"}}));
    EXPECT_EQ(*KeychainStore::readAll(service, true),
              (QList<KeychainStore::Item>{{"primary", "cloud"}, {"other-mac", "cloud2"}}));
    EXPECT_EQ(*KeychainStore::read(service, "primary", true), QByteArray("cloud"));
    EXPECT_FALSE(KeychainStore::read(service, "other-mac", false).ok());
}

TEST_F(KeychainStoreTest, AddReportsAnExistingItemAndWriteReplacesIt)
{
    ASSERT_TRUE(KeychainStore::add("first", service, "a").ok());
    auto again = KeychainStore::add("second", service, "a");
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error(), Error::itemAlreadyExists());
    EXPECT_EQ(*KeychainStore::read(service, "a", false), QByteArray("first"));

    ASSERT_TRUE(KeychainStore::write("third", service, "a").ok());
    ASSERT_TRUE(KeychainStore::write("new", service, "b").ok());
    EXPECT_EQ(*KeychainStore::readAll(service, false), (QList<KeychainStore::Item>{{"a", "third"}, {"b", "new"}}));
    // Our own writes are never synchronizable.
    EXPECT_TRUE(KeychainStore::readAll(service, true)->isEmpty());
}

TEST_F(KeychainStoreTest, ReadAllSkipsItemsThatGoAwayAndStopsAtOtherFailures)
{
    // The first pass lists an item that is gone (or unreadable) by the time its secret is read.
    class ShiftingKeychain : public MemoryKeychainBackend {
    public:
        qint32 ghostStatus = statusItemNotFound;
        Result<QStringList, Failure> accounts(const QString& s, bool synchronizable) override
        {
            auto listed = MemoryKeychainBackend::accounts(s, synchronizable);
            listed->insert(1, "ghost");
            return listed;
        }
        Result<QByteArray, Failure> read(const QString& s, const QString& account, bool synchronizable) override
        {
            if (account == "ghost") return Failure{ghostStatus, "gone"};
            return MemoryKeychainBackend::read(s, account, synchronizable);
        }
    };
    auto shifting = std::make_shared<ShiftingKeychain>();
    shifting->put(service, "a", false, "1");
    shifting->put(service, "b", false, "2");
    KeychainStore::useBackend(shifting);

    EXPECT_EQ(*KeychainStore::readAll(service, false), (QList<KeychainStore::Item>{{"a", "1"}, {"b", "2"}}));

    shifting->ghostStatus = KeychainBackend::statusInteractionNotAllowed;
    auto failed = KeychainStore::readAll(service, false);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), Error::unexpectedStatus(KeychainBackend::statusInteractionNotAllowed, "gone"));
}
