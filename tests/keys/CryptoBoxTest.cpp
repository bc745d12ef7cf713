#include <gtest/gtest.h>

#include <QTest>

#include "keys/CryptoBox.h"
#include "keys/KeychainStore.h"
#include "platform/Cipher.h"
#include "support/TestEnvironment.h"
#include "support/TestKeychains.h"

using tarnwick::test::LogCapture;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}
QByteArray key(char fill)
{
    return QByteArray(32, fill);
}

const QString service = KeychainStore::lockKeyService;

CryptoBox::CryptoError cryptoError(const CryptoBox::Error& error)
{
    EXPECT_TRUE(std::holds_alternative<CryptoBox::CryptoError>(error)) << qPrintable(CryptoBox::describe(error));
    return std::holds_alternative<CryptoBox::CryptoError>(error) ? std::get<CryptoBox::CryptoError>(error)
                                                                 : CryptoBox::CryptoError{};
}

// The code of a failed cipher call; none when it succeeded.
template <typename R>
std::optional<Cipher::Error::Code> failureCode(const R& r)
{
    return r.ok() ? std::nullopt : std::optional(r.error().code);
}
template <typename R>
QByteArray bytesOf(const R& r)
{
    return r.ok() ? *r : QByteArray("failed");
}
// What a failed CryptoBox call says; "ok" when it succeeded.
template <typename R>
QString failure(const R& r)
{
    return r.ok() ? "ok" : CryptoBox::describe(r.error());
}
using Code = Cipher::Error::Code;

using CryptoBoxTest = tarnwick::test::MemoryKeychainTest;
using tarnwick::test::RefusingKeychain;

}  // namespace

// McGrew and Viega's GCM test cases 13, 14 and 15 (AES-256, 96-bit IV, no additional data), in the
// combined form nonce || ciphertext || tag.
TEST(Cipher, MatchesTheAesGcmKnownAnswers)
{
    struct Case {
        const char *key, *nonce, *plaintext, *ciphertext, *tag;
    } cases[] = {
        {"0000000000000000000000000000000000000000000000000000000000000000", "000000000000000000000000", "", "",
         "530f8afbc74536b9a963b4f1c4cb738b"},
        {"0000000000000000000000000000000000000000000000000000000000000000", "000000000000000000000000",
         "00000000000000000000000000000000", "cea7403d4d606b6e074ec5d3baf39d18", "d0d1c8a799996bf0265b98b5d48ab919"},
        {"feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888",
         "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de"
         "6"
         "57ba637b391aafd255",
         "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7"
         "a"
         "0abcc9f662898015ad",
         "b094dac5d93471bdec1a502270e3cc6c"},
    };
    for (const Case& c : cases) {
        const QByteArray combined = hex(c.nonce) + hex(c.ciphertext) + hex(c.tag);
        EXPECT_EQ(bytesOf(Cipher::sealAesGcm(hex(c.key), hex(c.nonce), hex(c.plaintext))).toHex(), combined.toHex());
        EXPECT_EQ(bytesOf(Cipher::openAesGcm(hex(c.key), combined)), hex(c.plaintext));
    }
}

TEST(Cipher, RefusesAlteredBytesWrongKeysAndShortValues)
{
    const QByteArray plaintext("private words");
    auto sealed = Cipher::sealAesGcm(key('k'), plaintext);
    ASSERT_TRUE(sealed.ok());
    ASSERT_EQ(sealed->size(), plaintext.size() + 28);

    // One flipped bit in the nonce, the ciphertext or the tag.
    for (qsizetype at : {qsizetype(0), qsizetype(12), sealed->size() - 1}) {
        QByteArray altered = *sealed;
        altered[at] = char(altered[at] ^ 0x01);
        EXPECT_EQ(failureCode(Cipher::openAesGcm(key('k'), altered)), Code::authenticationFailure) << at;
    }
    EXPECT_EQ(failureCode(Cipher::openAesGcm(key('x'), *sealed)), Code::authenticationFailure);
    EXPECT_EQ(failureCode(Cipher::openAesGcm(key('k'), sealed->left(27))), Code::invalidParameterSize);
    EXPECT_EQ(failureCode(Cipher::sealAesGcm(QByteArray(16, 'k'), plaintext)), Code::invalidParameterSize);
}

TEST(CryptoBox, KeyIdIsTheStartOfTheKeysSha256)
{
    EXPECT_EQ(CryptoBox::keyID(QByteArray(32, '\0')), "66687aadf862bd77");
}

TEST_F(CryptoBoxTest, FirstSealMintsThePrimaryKeyOnceAndOpensAgain)
{
    LogCapture log;
    const QByteArray plaintext("a private note");
    auto first = CryptoBox::seal(plaintext);
    auto second = CryptoBox::seal(plaintext);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());

    EXPECT_EQ(log.lines("privacy"), QStringList{"Minted a new locked-note key (the keyring was empty)."});
    auto stored = KeychainStore::readAll(service, false);
    ASSERT_TRUE(stored.ok());
    ASSERT_EQ(stored->size(), 1);
    EXPECT_EQ(stored->first().account, "primary");
    EXPECT_EQ(stored->first().data.size(), 32);

    // A fresh nonce each time; both open to the same plaintext.
    EXPECT_NE(*first, *second);
    for (const QByteArray& sealed : {*first, *second}) {
        EXPECT_EQ(sealed.size(), plaintext.size() + 28);
        EXPECT_EQ(bytesOf(CryptoBox::open(sealed)), plaintext);
    }
    // An empty plaintext seals to the bare 28 bytes.
    EXPECT_EQ(bytesOf(CryptoBox::seal(QByteArray())).size(), 28);
}

TEST_F(CryptoBoxTest, OpenNeverMintsAndNamesWhatFailed)
{
    auto sealedElsewhere = Cipher::sealAesGcm(key('o'), QByteArray("from another ring"));
    ASSERT_TRUE(sealedElsewhere.ok());

    auto withoutKeys = CryptoBox::open(*sealedElsewhere);
    ASSERT_FALSE(withoutKeys.ok());
    EXPECT_EQ(cryptoError(withoutKeys.error()).kind, CryptoBox::CryptoError::Kind::keyMissing);
    EXPECT_EQ(keychain->count(), 0);

    keychain->put(service, "primary", false, key('p'));
    EXPECT_EQ(failure(CryptoBox::open(*sealedElsewhere)), "none of the 1 key(s) on this computer opens this note");

    // A flipped bit fails under every key of the ring, and the same key standing both as a local and
    // as a synchronizable item is tried once.
    keychain->put(service, "other-mac", true, key('o'));
    keychain->put(service, "copy", true, key('p'));
    QByteArray altered = *sealedElsewhere;
    altered[14] = char(altered[14] ^ 0x80);
    auto tampered = CryptoBox::open(altered);
    ASSERT_FALSE(tampered.ok());
    EXPECT_EQ(cryptoError(tampered.error()), CryptoBox::CryptoError::noKeyOpensThis(2));
    // The synchronizable key opens what the local one cannot.
    EXPECT_EQ(bytesOf(CryptoBox::open(*sealedElsewhere)), QByteArray("from another ring"));
}

// A synchronizable item is nothing this system makes: whoever planted one knows its key. It may open
// what it sealed, but nothing is ever sealed under it.
TEST_F(CryptoBoxTest, NeverSealsUnderASynchronizableKey)
{
    const QList<QByteArray> planted{key('a'), key('b'), key('c')};
    for (int i = 0; i < planted.size(); ++i)
        keychain->put(service, QStringLiteral("planted-%1").arg(i), true, planted[i]);
    auto minted = CryptoBox::seal(QByteArray("first"));
    ASSERT_TRUE(minted.ok());
    const QByteArray local = keychain->read(service, "primary", false).value();
    EXPECT_TRUE(Cipher::openAesGcm(local, *minted).ok());

    auto sealed = CryptoBox::seal(QByteArray("second"));
    ASSERT_TRUE(sealed.ok());
    EXPECT_TRUE(Cipher::openAesGcm(local, *sealed).ok());
    for (const QByteArray& k : planted) {
        EXPECT_FALSE(Cipher::openAesGcm(k, *minted).ok());
        EXPECT_FALSE(Cipher::openAesGcm(k, *sealed).ok());
    }
    EXPECT_EQ(bytesOf(CryptoBox::open(*Cipher::sealAesGcm(planted[1], QByteArray("old")))), QByteArray("old"));
}

// Items that are not 32-byte keys are left out of the ring (and logged once), so a damaged or foreign
// item can neither become the sealing key nor stop opening.
TEST_F(CryptoBoxTest, OnlyThirtyTwoByteItemsAreKeys)
{
    keychain->put(service, "primary", false, key('p'));
    keychain->put(service, "stale", false, QByteArray("short"));
    // The damaged item would have the smallest id of the synchronizable list.
    QByteArray damaged(16, '\0');
    for (int i = 0; CryptoBox::keyID(damaged) >= CryptoBox::keyID(key('s')); ++i) damaged[0] = char(i);
    keychain->put(service, "damaged", true, damaged);
    keychain->put(service, "good", true, key('s'));

    LogCapture log;
    for (int round = 0; round < 2; ++round) {
        auto sealed = CryptoBox::seal(QByteArray("kept safe"));
        ASSERT_TRUE(sealed.ok()) << qPrintable(CryptoBox::describe(sealed.error()));
        EXPECT_TRUE(Cipher::openAesGcm(key('p'), *sealed).ok());
        EXPECT_TRUE(CryptoBox::open(*sealed).ok());
    }
    EXPECT_EQ(log.count("\"damaged\": it holds 16 bytes, not 32"), 1);
    EXPECT_EQ(log.count("\"stale\": it holds 5 bytes, not 32"), 1);

    auto foreign = CryptoBox::open(*Cipher::sealAesGcm(key('z'), QByteArray("x")));
    ASSERT_FALSE(foreign.ok());
    EXPECT_EQ(cryptoError(foreign.error()), CryptoBox::CryptoError::noKeyOpensThis(2));
}

TEST_F(CryptoBoxTest, DamagedPrimaryKeyIsReportedNotUsedNorReplaced)
{
    keychain->put(service, "primary", false, QByteArray(16, 'p'));
    auto sealed = CryptoBox::seal(QByteArray("note"));
    ASSERT_FALSE(sealed.ok());
    EXPECT_EQ(cryptoError(sealed.error()).kind, CryptoBox::CryptoError::Kind::keyUnreadable);
    EXPECT_EQ(*KeychainStore::read(service, "primary", false), QByteArray(16, 'p'));
}

TEST_F(CryptoBoxTest, KeyStoredByAnotherWriterDuringMintingIsUsed)
{
    // Another process stores "primary" just after this one found the ring empty.
    class RacingKeychain : public MemoryKeychainBackend {
    public:
        Result<QStringList, Failure> accounts(const QString& s, bool synchronizable) override
        {
            auto listed = MemoryKeychainBackend::accounts(s, synchronizable);
            if (!synchronizable && !m_raced) {
                m_raced = true;
                put(s, "primary", false, QByteArray(32, 'w'));
            }
            return listed;
        }

    private:
        bool m_raced = false;
    };
    KeychainStore::useBackend(std::make_shared<RacingKeychain>());

    LogCapture log;
    auto sealed = CryptoBox::seal(QByteArray("note"));
    ASSERT_TRUE(sealed.ok());
    EXPECT_TRUE(Cipher::openAesGcm(QByteArray(32, 'w'), *sealed).ok());
    EXPECT_TRUE(log.lines("privacy").isEmpty());
}

TEST_F(CryptoBoxTest, LocalKeychainTroubleStopsBothWaysWhileCloudTroubleIsOnlyLogged)
{
    auto localDown = std::make_shared<RefusingKeychain>();
    localDown->refuseLocal = true;
    KeychainStore::useBackend(localDown);
    const QString expected = "lock key could not be read: Keyring error -25308 (the keyring is locked)";
    EXPECT_EQ(failure(CryptoBox::seal(QByteArray("note"))), expected);
    EXPECT_EQ(failure(CryptoBox::open(QByteArray(40, 'x'))), expected);
    // A value too short to be a sealed box is refused by the cipher before the keychain is asked.
    auto tooShort = CryptoBox::open(QByteArray(27, 'x'));
    ASSERT_FALSE(tooShort.ok());
    ASSERT_TRUE(std::holds_alternative<Cipher::Error>(tooShort.error()));
    EXPECT_EQ(std::get<Cipher::Error>(tooShort.error()).code, Cipher::Error::Code::invalidParameterSize);

    auto cloudDown = std::make_shared<RefusingKeychain>();
    cloudDown->refuseSynchronizable = true;
    cloudDown->put(service, "primary", false, key('p'));
    KeychainStore::useBackend(cloudDown);
    LogCapture log;
    auto resealed = CryptoBox::seal(QByteArray("note"));
    ASSERT_TRUE(resealed.ok());
    EXPECT_TRUE(CryptoBox::open(*resealed).ok());
    EXPECT_TRUE(log.contains(
        QStringLiteral("privacy: Synchronizable lock keys unavailable: Keyring error -25308 (the keyring is locked)")));
}

// Keys read ahead (off the main thread, at launch) open notes while the keyring cannot be asked; they
// are never taken for another keychain's.
TEST_F(CryptoBoxTest, KeysReadAheadOpenWhileTheKeyringIsLockedAndOnlyForTheirKeychain)
{
    auto keyring = std::make_shared<RefusingKeychain>();
    keyring->put(service, "primary", false, key('p'));
    KeychainStore::useBackend(keyring);
    const auto sealed = CryptoBox::seal(QByteArray("note"));
    ASSERT_TRUE(sealed.ok());

    QObject context;
    std::optional<QString> problem;
    CryptoBox::readRingLater(&context, [&](const QString& p) { problem = p; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return problem.has_value(); }));
    EXPECT_EQ(*problem, "");
    keyring->refuseLocal = true;
    EXPECT_EQ(failure(CryptoBox::open(*sealed)), "ok");

    KeychainStore::useBackend(std::make_shared<RefusingKeychain>());
    EXPECT_EQ(failure(CryptoBox::open(*sealed)), "no lock key in the keyring");
}
