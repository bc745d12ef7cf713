#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

#include "keys/CryptoBox.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "store/LockedPayload.h"
#include "store/NoteSealing.h"
#include "support/TestEnvironment.h"
#include "support/TestKeychains.h"

using tarnwick::test::LogCapture;

namespace {

class NoteSealingTest : public tarnwick::test::MemoryKeychainTest {
protected:
    // A note with a text block, a picture block for each given picture, and a title.
    std::unique_ptr<Note> noteWith(const QString& text, const QList<NoteImage*>& pictures)
    {
        auto note = std::make_unique<Note>();
        note->setTitle("Pay day");
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
    auto note = noteWith("salary 4200 / month", {});
    const QByteArray envelope = *note->bodyBlocksData();
    const QString plain = note->body();

    ASSERT_TRUE(NoteSealing::seal(*note, {}).ok());

    EXPECT_EQ(openedPayload(*note), (QJsonObject{{"version", 2},
                                                 {"title", QString("")},
                                                 {"body", plain},
                                                 {"blocks", QString::fromLatin1(envelope.toBase64())}}));

    EXPECT_EQ(note->title(), "Pay day");
    EXPECT_EQ(note->body(), "");
    EXPECT_FALSE(note->bodyBlocksData());
    EXPECT_FALSE(note->bodyRichData());

    // A legacy body that would not convert travels as it is, and comes back.
    Note legacy;
    legacy.setBody("legacy");
    legacy.setBodyRichData(QByteArray("rich archive bytes"));
    ASSERT_TRUE(NoteSealing::seal(legacy, {}).ok());
    EXPECT_EQ(openedPayload(legacy).value("bodyRichData").toString(),
              QString::fromLatin1(QByteArray("rich archive bytes").toBase64()));
    ASSERT_TRUE(NoteSealing::reveal(legacy, {}).ok());
    EXPECT_EQ(legacy.bodyRichData(), "rich archive bytes");
    EXPECT_EQ(legacy.body(), "legacy");
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

    LockedPayload written{2, {}, "b\u00e9", std::nullopt, QByteArray("\xff\xfe", 2)};
    EXPECT_EQ(LockedPayload::decoded(written.encoded()), written);

    for (const char* damaged :
         {R"({"body":"b"})", R"({"title":"t"})", R"({"title":"t","body":3})",
          R"({"title":"t","body":"b","blocks":"@@@"})", R"({"title":"t","body":"b","version":"2"})",
          R"({"title":"t","body":"b","version":2.5})", "[]", "not json"})
        EXPECT_FALSE(LockedPayload::decoded(damaged)) << damaged;
}

TEST_F(NoteSealingTest, RevealIsAllOrNothing)
{
    NoteImage* good = picture("good");
    NoteImage* damaged = picture("damaged");
    auto note = noteWith("secret", {good, damaged});
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
    EXPECT_EQ(log.count("Unlock decrypt failed: none of the 1 key(s) on this computer opens this note"), 1);
}
