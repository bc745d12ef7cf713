#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
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

    // Reads the ring in line with every other keyring call of the application (one attempt at a time,
    // never on the main thread) and tells `context` on the main thread: empty when it could be read,
    // else why not (for a keychain failure, the keychain's description). A request made while an attempt runs shares
    // its outcome, so a locked keyring asks once however many notes wait on it, and a cancelled prompt is not asked
    // again by them. With `forSealing`, an empty local ring gets its first key. The ring read is kept for seals and
    // opens on the main thread, which never ask the keyring themselves when it may prompt.
    static void readRingLater(QObject* context, std::function<void(QString)> done, bool forSealing = false);

    // Makes sure, in line and without bringing up a prompt, that the local ring still holds `key` (one
    // that sealed a note without asking the keyring), and stores it again if its item was deleted
    // meanwhile: a note sealed under a key the ring no longer has could never be opened. A keyring that
    // is locked is left as it is (the key was there when it was read). When the key is missing and
    // cannot be stored again, `lost` is told why on the main thread; the key is then no longer used
    // to seal, only to open what it sealed.
    static void keepInRingLater(QObject* context, const QByteArray& key, std::function<void(QString)> lost = {});

    // True on the main thread when the keyring may wait on the user: seal, sealingKey and open then use
    // only the ring that readRingLater() read, and report a ring not read yet as unreadable.
    static bool answersFromHeldRing();
    // Whether a seal on the main thread can go ahead now: the keyring may be asked here, or the ring read
    // ahead holds a key to seal with. Otherwise the key is read with readRingLater(..., true) first.
    static bool sealsWithoutAsking();
    // The key to seal with from the ring readRingLater() read last; none when it was not read (or held
    // no local key). The keychain is not asked.
    static std::optional<QByteArray> heldSealingKey();
    // Whether `key` opens `sealed` (no keychain involved).
    static bool opensWith(const QByteArray& key, const QByteArray& sealed);

    // Lets the main thread ask the keyring itself while it lives (at launch, before any window is up).
    class AskHere {
    public:
        AskHere();
        ~AskHere();
        AskHere(const AskHere&) = delete;
        AskHere& operator=(const AskHere&) = delete;

    private:
        bool m_before;
    };

    // The first 16 lower-case hexadecimal digits of the SHA-256 digest of the raw key bytes.
    static QString keyID(const QByteArray& keyBytes);

private:
    static Result<QList<StoredKey>, Error> localKeys();
    static QList<StoredKey> syncKeys();
    static Result<QList<StoredKey>, Error> allKeys();
    static Result<QByteArray, Error> mintDeviceKey();
    // One attempt: the local ring (its error ends it), the synchronizable one, the first key when asked
    // for and none is there; kept for the main thread.
    static Result<QList<StoredKey>, Error> readRing(bool forSealing);
};
