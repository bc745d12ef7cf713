#pragma once

#include <QList>

#include "platform/KeychainBackend.h"

// Keychain items in one JSON file that only the owner can read or write, for sessions without a
// Secret Service. Every change rewrites the file atomically under a lock shared with other processes,
// so a failed write leaves the previous file whole. A file that cannot be understood is never
// overwritten: reads and writes fail until someone looks at it.
class FileKeychainBackend : public KeychainBackend {
public:
    explicit FileKeychainBackend(QString path);
    Kind kind() const override { return Kind::file; }
    Result<QStringList, Failure> accounts(const QString& service, bool synchronizable) override;
    Result<QByteArray, Failure> read(const QString& service, const QString& account, bool synchronizable) override;
    Status<Failure> add(const QString& service, const QString& account, const QByteArray& data) override;
    Status<Failure> replace(const QString& service, const QString& account, const QByteArray& data) override;

    QString path() const { return m_path; }
    // $XDG_DATA_HOME/tarnwick/keychain.json
    static QString defaultPath();

private:
    struct Item {
        QString service;
        QString account;
        bool synchronizable = false;
        QByteArray data;
    };
    Result<QList<Item>, Failure> load() const;
    Status<Failure> save(const QList<Item>& items) const;
    // Runs a read-modify-write of the file while holding the cross-process lock.
    template <typename Change>
    Status<Failure> modify(Change change);

    QString m_path;
};
