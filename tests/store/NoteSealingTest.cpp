#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/MemoryKeychainBackend.h"
#include "privacy/CryptoBox.h"
#include "privacy/KeychainStore.h"
#include "store/LockedPayload.h"
#include "store/NoteSealing.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;

namespace {

// A keychain whose local lock keys cannot be read: every seal and open fails.
class LockedKeychain : public MemoryKeychainBackend {
public:
    Result<QStringList, Failure> accounts(const QString&, bool) override
    {
        return Failure{KeychainBackend::statusInteractionNotAllowed, QStringLiteral("the keyring is locked")};
    }
};

class NoteSealingTest : public ::testing::Test {
protected:
    void SetUp() override { KeychainStore::useBackend(keychain); }
    void TearDown() override { KeychainStore::useBackend(nullptr); }

    // A note with a text block, a picture block for each given picture, and a title.
    std::unique_ptr<Note> noteWith(const QString& text, const QList<NoteImage*>& pictures)
    {
        auto note = std::make_unique<Note>();
        note->setTitle(QStringLiteral("Pay day"));
        QVector<NoteBlock> blocks{NoteBlock::text(TextRuns{text, {}})};
        for (NoteImage* p : pictures) blocks.append(NoteBlock::image(ImagePlacement{p->uuid(), ImageSizing()}));
        EXPECT_TRUE(note->setBlocks(blocks));
        for (NoteImage* p : pictures) p->setNoteUUID(note->uuid());
        return note;
    }
    NoteImage* picture(const QByteArray& bytes)
    {
        auto image = std::make_unique<NoteImage>();
        image->setData(bytes);
        images.push_back(std::move(image));
        return images.back().get();
    }

    std::shared_ptr<MemoryKeychainBackend> keychain = std::make_shared<MemoryKeychainBackend>();
    std::vector<std::unique_ptr<NoteImage>> images;
};

QJsonObject openedPayload(const Note& note)
{
    auto opened = CryptoBox::open(note.lockedCipher().value_or(QByteArray()));
    EXPECT_TRUE(opened.ok());
    return opened ? QJsonDocument::fromJson(*opened).object() : QJsonObject();
}

}  // namespace

TEST_F(NoteSealingTest, SealedPayloadHoldsVersionEmptyTitlePlainBodyAndBase64Blocks)
{
    auto note = noteWith(QStringLiteral("salary 4200 / month"), {});
    const QByteArray envelope = *note->bodyBlocksData();
    const QString plain = note->body();

    ASSERT_TRUE(NoteSealing::seal(*note, {}).ok());

    const QJsonObject payload = openedPayload(*note);
    EXPECT_EQ(payload.keys(), (QStringList{"blocks", "body", "title", "version"}));
    EXPECT_TRUE(payload.value("version").isDouble());
    EXPECT_EQ(payload.value("version").toInt(), 2);
    EXPECT_EQ(payload.value("title"), QJsonValue(QString("")));
    EXPECT_EQ(payload.value("body").toString(), plain);
    EXPECT_EQ(payload.value("blocks").toString(), QString::fromLatin1(envelope.toBase64()));

    EXPECT_EQ(note->title(), "Pay day");
    EXPECT_EQ(note->body(), "");
    EXPECT_FALSE(note->bodyBlocksData());
    EXPECT_FALSE(note->bodyRichData());
}

TEST(LockedPayloadTest, ReadsOlderPayloadsAndRefusesDamagedOnes)
{
    // An older release: no version, a title, rich data; unknown members and nulls are ignored.
    auto old = LockedPayload::decoded(R"({"title":"Old","body":"b","bodyRichData":"AAEC","blocks":null,"x":1})");
    ASSERT_TRUE(old);
    EXPECT_FALSE(old->version);
    EXPECT_EQ(old->title, "Old");
    EXPECT_EQ(old->bodyRichData, QByteArray("\x00\x01\x02", 3));
    EXPECT_FALSE(old->blocks);

    LockedPayload written{2, {}, QStringLiteral("b\u00e9"), std::nullopt, QByteArray("\xff\xfe", 2)};
    EXPECT_EQ(LockedPayload::decoded(written.encoded()), written);

    for (const char* damaged :
         {R"({"body":"b"})", R"({"title":"t"})", R"({"title":"t","body":3})",
          R"({"title":"t","body":"b","blocks":"@@@"})", R"({"title":"t","body":"b","version":"2"})",
          R"({"title":"t","body":"b","version":2.5})", "[]", "not json"})
        EXPECT_FALSE(LockedPayload::decoded(damaged)) << damaged;
}

TEST_F(NoteSealingTest, PicturesSealedOnceAndEverythingComesBack)
{
    NoteImage* sealedBefore = picture("old picture bytes");
    NoteImage* addedLater = picture("new picture bytes");
    auto note = noteWith(QStringLiteral("with pictures"), {sealedBefore, addedLater});
    // Sealed in an earlier lock and revealed since: its cipher is reused, not made again.
    const QByteArray earlierCipher = *CryptoBox::seal("old picture bytes");
    sealedBefore->setLockedCipher(earlierCipher);
    const QByteArray envelope = *note->bodyBlocksData();
    const QString plain = note->body();

    ASSERT_TRUE(NoteSealing::hasPlaintextBody(*note, {sealedBefore, addedLater}));
    ASSERT_TRUE(NoteSealing::seal(*note, {sealedBefore, addedLater}).ok());
    EXPECT_FALSE(NoteSealing::hasPlaintextBody(*note, {sealedBefore, addedLater}));
    EXPECT_EQ(sealedBefore->lockedCipher(), earlierCipher);
    ASSERT_TRUE(addedLater->lockedCipher());
    EXPECT_EQ(CryptoBox::open(*addedLater->lockedCipher()).value(), "new picture bytes");
    EXPECT_FALSE(sealedBefore->data());
    EXPECT_FALSE(addedLater->data());

    auto revealed = NoteSealing::reveal(*note, {sealedBefore, addedLater});
    ASSERT_TRUE(revealed.ok());
    EXPECT_TRUE(revealed->changed);
    EXPECT_FALSE(revealed->fromOlderRelease);
    EXPECT_EQ(note->body(), plain);
    EXPECT_EQ(note->bodyBlocksData(), envelope);
    EXPECT_EQ(sealedBefore->data(), "old picture bytes");
    EXPECT_EQ(addedLater->data(), "new picture bytes");
    EXPECT_TRUE(note->lockedCipher());
    EXPECT_TRUE(addedLater->lockedCipher());
}

TEST_F(NoteSealingTest, LegacyRichBodyThatWasNotConvertedTravelsThroughTheSeal)
{
    Note note;
    note.setBody(QStringLiteral("legacy"));
    note.setBodyRichData(QByteArray("rich archive bytes"));
    ASSERT_TRUE(NoteSealing::seal(note, {}).ok());
    EXPECT_EQ(openedPayload(note).value("bodyRichData").toString(),
              QString::fromLatin1(QByteArray("rich archive bytes").toBase64()));
    EXPECT_FALSE(openedPayload(note).contains("blocks"));
    ASSERT_TRUE(NoteSealing::reveal(note, {}).ok());
    EXPECT_EQ(note.bodyRichData(), "rich archive bytes");
    EXPECT_EQ(note.body(), "legacy");
    EXPECT_FALSE(note.bodyBlocksData());
}

TEST_F(NoteSealingTest, RevealIsAllOrNothing)
{
    NoteImage* good = picture("good");
    NoteImage* damaged = picture("damaged");
    auto note = noteWith(QStringLiteral("secret"), {good, damaged});
    note->setTitle(QString());
    ASSERT_TRUE(NoteSealing::seal(*note, {good, damaged}).ok());
    QByteArray cipher = *damaged->lockedCipher();
    cipher[20] = char(cipher[20] ^ 0x01);
    damaged->setLockedCipher(cipher);

    LogCapture log;
    auto revealed = NoteSealing::reveal(*note, {good, damaged});
    ASSERT_FALSE(revealed.ok());
    ASSERT_TRUE(revealed.error().crypto);
    EXPECT_EQ(revealed.error().crypto->kind, CryptoBox::CryptoError::Kind::noKeyOpensThis);
    EXPECT_EQ(note->body(), "");
    EXPECT_EQ(note->title(), "");
    EXPECT_FALSE(note->bodyBlocksData());
    EXPECT_FALSE(good->data());
    EXPECT_FALSE(damaged->data());
    EXPECT_EQ(log.count("Unlock decrypt failed: none of the 1 key(s) on this Mac opens this note"), 1);
}

TEST_F(NoteSealingTest, FailedSealKeepsEverythingInTheClear)
{
    NoteImage* image = picture("bytes");
    auto note = noteWith(QStringLiteral("keep me"), {image});
    const QByteArray envelope = *note->bodyBlocksData();
    KeychainStore::useBackend(std::make_shared<LockedKeychain>());

    LogCapture log;
    auto sealed = NoteSealing::seal(*note, {image});
    ASSERT_FALSE(sealed.ok());
    EXPECT_EQ(sealed.error().crypto->kind, CryptoBox::CryptoError::Kind::keyUnreadable);
    EXPECT_EQ(note->bodyBlocksData(), envelope);
    EXPECT_FALSE(note->lockedCipher());
    EXPECT_EQ(image->data(), "bytes");
    EXPECT_FALSE(image->lockedCipher());
    EXPECT_EQ(log.count("Lock seal failed, keeping plaintext: lock key could not be read"), 1);
}

TEST_F(NoteSealingTest, RevealLeavesContentInTheClearAloneAndTakesTitlesOfOlderPayloads)
{
    // Revealed before and edited since: a second reveal must not bring the payload back over it.
    auto note = noteWith(QStringLiteral("first"), {});
    ASSERT_TRUE(NoteSealing::seal(*note, {}).ok());
    ASSERT_TRUE(NoteSealing::reveal(*note, {}).ok());
    ASSERT_TRUE(note->setBlocks({NoteBlock::text(TextRuns{QStringLiteral("edited"), {}})}));
    auto again = NoteSealing::reveal(*note, {});
    ASSERT_TRUE(again.ok());
    EXPECT_FALSE(again->changed);
    EXPECT_EQ(note->body(), "edited");

    // An older release sealed the title and wrote no version.
    LockedPayload older{std::nullopt, QStringLiteral("Bank"), QStringLiteral("pin"), std::nullopt, std::nullopt};
    Note untitled;
    untitled.setLockedCipher(*CryptoBox::seal(older.encoded()));
    EXPECT_EQ(NoteSealing::sealedTitle(untitled), "Bank");
    auto revealed = NoteSealing::reveal(untitled, {});
    ASSERT_TRUE(revealed.ok());
    EXPECT_TRUE(revealed->fromOlderRelease);
    EXPECT_EQ(untitled.title(), "Bank");
    Note titled;
    titled.setTitle(QStringLiteral("Mine"));
    titled.setLockedCipher(*CryptoBox::seal(older.encoded()));
    ASSERT_TRUE(NoteSealing::reveal(titled, {}).ok());
    EXPECT_EQ(titled.title(), "Mine");
    EXPECT_EQ(titled.body(), "pin");
}
