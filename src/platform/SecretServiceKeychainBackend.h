#pragma once

#include "platform/KeychainBackend.h"

// Items in the desktop keyring over the Secret Service API (libsecret). Each item carries the
// attributes "service", "account" and "synchronizable" ("true" or "false"); items written here are
// always "false". Lookups match on those attributes only, whichever program wrote the item. A locked
// item or collection is unlocked with one prompt; a prompt that is dismissed is a failure
// (statusUserCanceled), never an absent item, and an item is never replaced by add().
class SecretServiceKeychainBackend : public KeychainBackend {
public:
    Kind kind() const override { return Kind::secretService; }
    bool mayAskUser() const override { return true; }
    Result<QStringList, Failure> accounts(const QString& service, bool synchronizable) override;
    Result<QByteArray, Failure> read(const QString& service, const QString& account, bool synchronizable) override;
    Status<Failure> add(const QString& service, const QString& account, const QByteArray& data) override;
    Status<Failure> replace(const QString& service, const QString& account, const QByteArray& data) override;

    // The lock that serialises our own writers: in the session's runtime folder, or in our private
    // data folder when the session has none.
    static QString writerLockPath();
};
