#pragma once

#include <QList>

#include "platform/KeychainBackend.h"

// Items kept in memory for the life of the object: the keychain of unit tests.
class MemoryKeychainBackend : public KeychainBackend {
public:
    Kind kind() const override { return Kind::memory; }
    Result<QStringList, Failure> accounts(const QString& service, bool synchronizable) override;
    Result<QByteArray, Failure> read(const QString& service, const QString& account, bool synchronizable) override;
    Status<Failure> add(const QString& service, const QString& account, const QByteArray& data) override;
    Status<Failure> replace(const QString& service, const QString& account, const QByteArray& data) override;

    // Places or replaces an item as another writer would, synchronizable ones included (those arrive
    // from the user's other machines).
    void put(const QString& service, const QString& account, bool synchronizable, const QByteArray& data);
    // Removes an item as another writer would; false when there was none.
    bool remove(const QString& service, const QString& account, bool synchronizable);
    int count() const { return int(m_items.size()); }

private:
    struct Item {
        QString service;
        QString account;
        bool synchronizable = false;
        QByteArray data;
    };
    Item* find(const QString& service, const QString& account, bool synchronizable);
    QList<Item> m_items;
};
