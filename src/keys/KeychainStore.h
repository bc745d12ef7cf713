#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

#include "platform/KeychainBackend.h"
#include "platform/Result.h"

// The one doorway to stored secrets: generic items addressed by service and account, each either
// local to this machine or synchronizable (read only: they come from the user's other machines).
// Static operations over the session's keychain backend; nothing is cached and nothing is logged here.
class KeychainStore {
public:
    // The items the application keeps.
    static inline const QString lockKeyService = QStringLiteral("com.fennmoor.tarnwick.lockkey");
    static inline const QString lockKeyAccount = QStringLiteral("primary");
    static inline const QString mcpService = QStringLiteral("com.fennmoor.tarnwick.mcp");
    static inline const QString mcpTokenAccount = QStringLiteral("endpoint-token");

    struct KeychainError {
        enum class Kind { unexpectedStatus, itemNotFound, itemAlreadyExists };
        Kind kind = Kind::unexpectedStatus;
        qint32 status = 0;        // unexpectedStatus only
        QString platformMessage;  // unexpectedStatus only: the keychain's explanation, may be empty

        static KeychainError unexpectedStatus(qint32 status, QString platformMessage = {});
        static KeychainError itemNotFound() { return {Kind::itemNotFound, 0, {}}; }
        static KeychainError itemAlreadyExists() { return {Kind::itemAlreadyExists, 0, {}}; }
        QString description() const;
        bool operator==(const KeychainError&) const = default;
    };

    struct Item {
        QString account;
        QByteArray data;
        bool operator==(const Item&) const = default;
    };

    static Result<QByteArray, KeychainError> read(const QString& service, const QString& account, bool synchronizable);
    // Every item of the service with that synchronizable flag, in the keychain's order. An item that
    // goes away while they are read is left out.
    static Result<QList<Item>, KeychainError> readAll(const QString& service, bool synchronizable);
    // Adds a local item; an item already under that service and account is reported, not replaced.
    static Status<KeychainError> add(const QByteArray& data, const QString& service, const QString& account);
    // Stores the bytes as the one local item under that service and account. The old item is replaced
    // in a single step: if the write fails, the old one is still there.
    static Status<KeychainError> write(const QByteArray& data, const QString& service, const QString& account);

    // Where items live in this session (the settings say so when it is the file).
    static KeychainBackend::Kind backendKind();
    // Whether a call may wait on the user (an unlock prompt): it is then never made on the main thread.
    static bool backendMayAskUser();
    // Tests and the application wiring choose the backend; null returns to the session's own.
    static void useBackend(std::shared_ptr<KeychainBackend> backend);
    // Changes whenever useBackend() does, so what was read from one backend is not taken for another's.
    static int backendGeneration();

private:
    static std::shared_ptr<KeychainBackend> backend();
};
