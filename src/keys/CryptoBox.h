#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <variant>

#include "platform/Cipher.h"
#include "platform/Result.h"

// Seals and opens the content of private notes with AES-256-GCM under the lock keys in the keychain.
// The keys form a ring: this machine's key (account "primary") plus any synchronizable lock keys that
// arrive from the user's other machines. Nothing is cached: every seal and every open reads the ring
// afresh, so a key that arrives later is used at once.
//
// Sealed form: nonce (12 bytes) || ciphertext (as long as the plaintext) || tag (16), no additional data.
class CryptoBox {
public:
    struct CryptoError {
        enum class Kind { keyUnreadable, noKeyOpensThis, sealProducedNoData, keyMissing };
        Kind kind = Kind::keyMissing;
        QString detail;  // keyUnreadable: the keychain error's description
        int tried = 0;   // noKeyOpensThis: how many keys were tried

        static CryptoError keyUnreadable(QString detail) { return {Kind::keyUnreadable, std::move(detail), 0}; }
        static CryptoError noKeyOpensThis(int tried) { return {Kind::noKeyOpensThis, {}, tried}; }
        static CryptoError sealProducedNoData() { return {Kind::sealProducedNoData, {}, 0}; }
        static CryptoError keyMissing() { return {Kind::keyMissing, {}, 0}; }
        QString description() const;
        bool operator==(const CryptoError&) const = default;
    };

    // What seal and open report: a problem with the ring, or the cipher's own error (a value too
    // short to be a sealed box, a failure inside the library), passed on as it is.
    using Error = std::variant<CryptoError, Cipher::Error>;
    static QString describe(const Error& error);

    // One key of the ring.
    struct StoredKey {
        QString id;  // keyID() of the bytes
        QByteArray key;
    };

    // The sealed form of the plaintext under this machine's own key; synchronizable keys are only
    // ever used to open. Without a local key, the first one is made and stored ("primary") first.
    static Result<QByteArray, Error> seal(const QByteArray& plaintext);
    // This machine's own key, read from the keychain once (and made first when there is none), for a
    // run of seals that should ask the keyring once: a note and its pictures, or a note kept sealed in
    // the store while it is unlocked.
    static Result<QByteArray, Error> sealingKey();
    // The sealed form of the plaintext under that key; the keychain is not asked.
    static Result<QByteArray, Error> sealWith(const QByteArray& key, const QByteArray& plaintext);
    // The plaintext, opened by whichever key of the ring fits (local keys first). Never makes a key.
    static Result<QByteArray, Error> open(const QByteArray& sealed);

    // Reads the ring on a thread of its own and tells `context` on the main thread: empty when it
    // could be read, else why not. A keyring that is locked asks the user to unlock it here, before a
    // seal or an open needs the keys, and not while the main thread waits. The keys read are kept for
    // open(), which tries them before it asks the keyring (and asks it when none of them fits).
    static void readRingLater(QObject* context, std::function<void(QString)> done);

    // Makes sure, on a thread of its own, that the local ring still holds `key` (one that sealed a note
    // without asking the keyring), and stores it again if its item was deleted meanwhile: a note sealed
    // under a key the ring no longer has could never be opened. A keyring that cannot be read is left
    // as it is.
    static void keepInRingLater(QObject* context, const QByteArray& key);

    // The first 16 lower-case hexadecimal digits of the SHA-256 digest of the raw key bytes.
    static QString keyID(const QByteArray& keyBytes);

private:
    static Result<QList<StoredKey>, Error> localKeys();
    static QList<StoredKey> syncKeys();
    static Result<QList<StoredKey>, Error> allKeys();
    static Result<QByteArray, Error> mintDeviceKey();
};
