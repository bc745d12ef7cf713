#pragma once

#include <QByteArray>
#include <QString>

#include "platform/Result.h"

// The few primitives private notes need, over OpenSSL's libcrypto: AES-256-GCM in the combined form
// nonce (12) || ciphertext (n) || tag (16) without additional data, SHA-256 and random bytes.
class Cipher {
public:
    static constexpr int keySize = 32;
    static constexpr int nonceSize = 12;
    static constexpr int tagSize = 16;
    // The smallest combined box: an empty plaintext.
    static constexpr int overhead = nonceSize + tagSize;

    struct Error {
        enum class Code {
            invalidParameterSize,   // a key that is not 32 bytes, a box shorter than nonce and tag
            authenticationFailure,  // wrong key or altered bytes
            internalFailure,        // the library itself failed
        };
        Code code = Code::internalFailure;
        QString detail;
        QString description() const;
        bool operator==(const Error&) const = default;
    };

    // Seals under a 32-byte key with a fresh random nonce.
    static Result<QByteArray, Error> sealAesGcm(const QByteArray& key, const QByteArray& plaintext);
    // The same with a nonce of the caller's choosing: known-answer tests only.
    static Result<QByteArray, Error> sealAesGcm(const QByteArray& key, const QByteArray& nonce,
                                                const QByteArray& plaintext);
    static Result<QByteArray, Error> openAesGcm(const QByteArray& key, const QByteArray& combined);

    static QByteArray sha256(const QByteArray& data);
    // Bytes from the system's cryptographic generator; empty when it fails.
    static QByteArray randomBytes(int count);
};
