#include "platform/Cipher.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

namespace {

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

Cipher::Error failure(Cipher::Error::Code code, QString detail)
{
    return Cipher::Error{code, std::move(detail)};
}

// The library's own explanation of its latest error, for the log.
QString lastLibraryError(const char* step)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    QString text = QString::fromLatin1(step);
    if (code != 0) {
        char buffer[256] = {};
        ERR_error_string_n(code, buffer, sizeof buffer);
        text += QStringLiteral(": ") + QString::fromLatin1(buffer);
    }
    return text;
}

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}
unsigned char* bytes(QByteArray& data)
{
    return reinterpret_cast<unsigned char*>(data.data());
}

Result<QByteArray, Cipher::Error> checkKey(const QByteArray& key)
{
    if (key.size() != Cipher::keySize)
        return failure(Cipher::Error::Code::invalidParameterSize,
                       QStringLiteral("an AES-256 key has 32 bytes, not %1").arg(key.size()));
    return key;
}

}  // namespace

QString Cipher::Error::description() const
{
    switch (code) {
        case Code::invalidParameterSize:
            return QStringLiteral("AES-GCM parameter of the wrong size (%1)").arg(detail);
        case Code::authenticationFailure:
            return QStringLiteral("AES-GCM authentication failed");
        case Code::internalFailure:
            return QStringLiteral("AES-GCM failed (%1)").arg(detail);
    }
    return detail;
}

Result<QByteArray, Cipher::Error> Cipher::sealAesGcm(const QByteArray& key, const QByteArray& plaintext)
{
    const QByteArray nonce = randomBytes(nonceSize);
    if (nonce.size() != nonceSize) return failure(Error::Code::internalFailure, QStringLiteral("no random nonce"));
    return sealAesGcm(key, nonce, plaintext);
}

Result<QByteArray, Cipher::Error> Cipher::sealAesGcm(const QByteArray& key, const QByteArray& nonce,
                                                     const QByteArray& plaintext)
{
    if (auto checked = checkKey(key); !checked) return checked.error();
    if (nonce.size() != nonceSize)
        return failure(Error::Code::invalidParameterSize,
                       QStringLiteral("a nonce has 12 bytes, not %1").arg(nonce.size()));

    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context) return failure(Error::Code::internalFailure, lastLibraryError("EVP_CIPHER_CTX_new"));
    // 12 bytes is GCM's default IV length, so no length control is needed.
    if (EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, bytes(key), bytes(nonce)) != 1)
        return failure(Error::Code::internalFailure, lastLibraryError("EVP_EncryptInit_ex"));

    QByteArray combined(overhead + plaintext.size(), Qt::Uninitialized);
    std::copy(nonce.begin(), nonce.end(), combined.begin());
    unsigned char* out = bytes(combined) + nonceSize;
    int written = 0;
    if (!plaintext.isEmpty() &&
        EVP_EncryptUpdate(context.get(), out, &written, bytes(plaintext), int(plaintext.size())) != 1)
        return failure(Error::Code::internalFailure, lastLibraryError("EVP_EncryptUpdate"));
    int finalWritten = 0;
    if (EVP_EncryptFinal_ex(context.get(), out + written, &finalWritten) != 1)
        return failure(Error::Code::internalFailure, lastLibraryError("EVP_EncryptFinal_ex"));
    if (written + finalWritten != plaintext.size())
        return failure(Error::Code::internalFailure, QStringLiteral("ciphertext of unexpected length"));
    if (EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, tagSize, out + plaintext.size()) != 1)
        return failure(Error::Code::internalFailure, lastLibraryError("EVP_CTRL_GCM_GET_TAG"));
    return combined;
}

Result<QByteArray, Cipher::Error> Cipher::openAesGcm(const QByteArray& key, const QByteArray& combined)
{
    if (combined.size() < overhead)
        return failure(Error::Code::invalidParameterSize,
                       QStringLiteral("a sealed box has at least 28 bytes, not %1").arg(combined.size()));
    if (auto checked = checkKey(key); !checked) return checked.error();

    const qsizetype length = combined.size() - overhead;
    const unsigned char* nonce = bytes(combined);
    const unsigned char* ciphertext = nonce + nonceSize;
    QByteArray tag = combined.right(tagSize);

    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context) return failure(Error::Code::internalFailure, lastLibraryError("EVP_CIPHER_CTX_new"));
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, bytes(key), nonce) != 1)
        return failure(Error::Code::internalFailure, lastLibraryError("EVP_DecryptInit_ex"));

    QByteArray plaintext(length, Qt::Uninitialized);
    int written = 0;
    if (length > 0 && EVP_DecryptUpdate(context.get(), bytes(plaintext), &written, ciphertext, int(length)) != 1)
        return failure(Error::Code::internalFailure, lastLibraryError("EVP_DecryptUpdate"));
    if (EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, tagSize, bytes(tag)) != 1)
        return failure(Error::Code::internalFailure, lastLibraryError("EVP_CTRL_GCM_SET_TAG"));
    int finalWritten = 0;
    // The tag check happens here; a mismatch is the one expected failure (wrong key, altered bytes).
    if (EVP_DecryptFinal_ex(context.get(), bytes(plaintext) + written, &finalWritten) != 1) {
        ERR_clear_error();
        plaintext.fill('\0');
        return failure(Error::Code::authenticationFailure, {});
    }
    return plaintext;
}

QByteArray Cipher::sha256(const QByteArray& data)
{
    QByteArray digest(32, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_Digest(data.constData(), size_t(data.size()), bytes(digest), &length, EVP_sha256(), nullptr) != 1 ||
        length != 32) {
        ERR_clear_error();
        return {};
    }
    return digest;
}

QByteArray Cipher::randomBytes(int count)
{
    QByteArray out(count, Qt::Uninitialized);
    if (count > 0 && RAND_bytes(bytes(out), count) != 1) {
        ERR_clear_error();
        return {};
    }
    return out;
}
