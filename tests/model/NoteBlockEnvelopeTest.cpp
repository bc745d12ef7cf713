#include <gtest/gtest.h>

#include <QJsonDocument>
#include <limits>

#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"

namespace {

using Error = NoteBlockEnvelope::Error;

const QUuid kBlock = QUuid::fromString("0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");
const QUuid kImage = QUuid::fromString("11111111-2222-4333-8444-555555555555");

std::optional<Error> errorOf(const char* json)
{
    const auto r = NoteBlockEnvelope::decode(QByteArray(json));
    if (r) return std::nullopt;
    return r.error();
}

QVector<NoteBlock> blocksOf(const char* json)
{
    const auto r = NoteBlockEnvelope::decode(QByteArray(json));
    EXPECT_TRUE(r.ok()) << json;
    return r ? *r : QVector<NoteBlock>{};
}

QString textBlock(const char* extra = "")
{
    return QStringLiteral(R"({"id":"0a1b2c3d-4e5f-4061-8273-94a5b6c7d8e9","type":"text","text":"hi"%1})")
        .arg(QLatin1String(extra));
}

std::optional<Error> errorOfBody(const QString& block)
{
    return errorOf(QStringLiteral(R"({"version":1,"blocks":[%1]})").arg(block).toUtf8().constData());
}

TEST(NoteBlockEnvelopeTest, WritesCompactSortedBytes)
{
    const TextRuns text{"ab",
                        {{.loc = 0,
                          .len = 2,
                          .b = true,
                          .i = true,
                          .u = true,
                          .s = true,
                          .size = 18,
                          .family = "Serif",
                          .fg = "FF0000",
                          .bg = "00FF00",
                          .link = "https://example.org"}}};
    const auto bytes = NoteBlockEnvelope::encode({NoteBlock::text(text, kBlock)});
    ASSERT_TRUE(bytes);
    EXPECT_EQ(
        QString::fromUtf8(*bytes),
        QStringLiteral(R"({"blocks":[{"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","runs":[{"b":true,"bg":"00FF00",)"
                       R"("family":"Serif","fg":"FF0000","i":true,"len":2,"link":"https://example.org","loc":0,)"
                       R"("s":true,"size":18,"u":true}],"text":"ab","type":"text"}],"version":1})"));

    const auto image = NoteBlockEnvelope::encode(
        {NoteBlock::image({kImage, ImageSizing::makePreset(ImageSizing::Preset::small)}, kBlock),
         NoteBlock::image({kImage, ImageSizing::makeFit()}, kBlock),
         NoteBlock::image({kImage, ImageSizing::makeFraction(0.5)}, kBlock)});
    ASSERT_TRUE(image);
    const QString img = QStringLiteral(R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9",)"
                                       R"("image":"11111111-2222-4333-8444-555555555555","sizing":%1,"type":"image"})");
    EXPECT_EQ(QString::fromUtf8(*image),
              QStringLiteral(R"({"blocks":[%1,%2,%3],"version":1})")
                  .arg(img.arg(QStringLiteral(R"({"preset":"small"})")), img.arg(QStringLiteral(R"({"fit":{}})")),
                       img.arg(QStringLiteral(R"({"fraction":0.5})"))));

    EXPECT_EQ(*NoteBlockEnvelope::encode(QVector<NoteBlock>{}), QByteArray(R"({"blocks":[],"version":1})"));
}

TEST(NoteBlockEnvelopeTest, RoundTripsEveryKindOfBlock)
{
    const TextRuns::Run plainFalse{.loc = -3, .len = 99, .b = false};
    const TextRuns::Run sized{.loc = 1, .len = 2, .size = 13.37, .link = "x y \"quoted\" \\ \n"};
    const QVector<NoteBlock> blocks = {
        NoteBlock::text({"line one\nline two \U0001F600 é", {plainFalse, sized}}),
        NoteBlock::image({QUuid::createUuid(), ImageSizing::makeFraction(0.1 + 0.2)}),
        NoteBlock::image({QUuid::createUuid(), ImageSizing::makePreset(ImageSizing::Preset::large)}),
        NoteBlock::image({QUuid::createUuid(), ImageSizing::makeFit()}),
        NoteBlock::text({QString(), {}}),
    };
    const auto bytes = NoteBlockEnvelope::encode(blocks);
    ASSERT_TRUE(bytes);
    EXPECT_FALSE(bytes->contains('\n')) << "compact output";
    const auto back = NoteBlockEnvelope::decode(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, blocks);
    EXPECT_EQ(*NoteBlockEnvelope::encode(*back), *bytes) << "deterministic";
}

// Long texts are escaped by our own writer: the bytes must be those the JSON writer itself gives for
// the same document, for every kind of character, and must read back whole.
TEST(NoteBlockEnvelopeTest, LongTextsAreWrittenAsTheJsonWriterWritesThem)
{
    QString tricky;
    for (char16_t c = 0; c < 0x20; ++c) tricky += QChar(c);
    tricky += QStringLiteral("\"\\/\x7f é € \u2028 \uFFFF \U0001F600 end");
    QString lone = tricky;
    lone += QChar(0xD800);  // a lone surrogate
    lone += u'x';
    const auto filled = [](const QString& part) {
        QString text;
        while (text.size() < 20'000) text += part;
        return text;
    };
    // A run whose strings mimic the stand-in of a long text must not be taken for one.
    const TextRuns::Run decoy{.loc = 0, .len = 1, .family = "\"text\":\"\u00011\"", .link = "\u00010"};
    const QVector<NoteBlock> blocks = {
        NoteBlock::text({filled(tricky), {decoy}}),
        NoteBlock::image({kImage, ImageSizing::makeFit()}),
        NoteBlock::text({QStringLiteral("short \"one\"\n"), {}}),
        NoteBlock::text({filled(lone), {}}),
        NoteBlock::text({filled(QStringLiteral("plain words ")), {decoy}}),
    };
    const auto bytes = NoteBlockEnvelope::encode(blocks);
    ASSERT_TRUE(bytes);
    const QJsonDocument parsed = QJsonDocument::fromJson(*bytes);
    ASSERT_TRUE(parsed.isObject());
    EXPECT_TRUE(*bytes == parsed.toJson(QJsonDocument::Compact)) << "the JSON writer's own bytes";
    const auto back = NoteBlockEnvelope::decode(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->at(0), blocks.at(0));
    EXPECT_EQ(back->at(2), blocks.at(2));
    EXPECT_EQ(back->at(4), blocks.at(4));
}

TEST(NoteBlockEnvelopeTest, RefusesToWriteNonFiniteNumbers)
{
    const TextRuns::Run run{.size = std::numeric_limits<double>::infinity()};
    EXPECT_FALSE(NoteBlockEnvelope::encode({NoteBlock::text({"a", {run}})}));
    EXPECT_FALSE(NoteBlockEnvelope::encode(
        {NoteBlock::image({kImage, ImageSizing::makeFraction(std::numeric_limits<double>::quiet_NaN())})}));
}

TEST(NoteBlockEnvelopeTest, OtherVersionsAreNewerWithoutReadingBlocks)
{
    for (auto [json, version] : {std::pair{R"({"version":2})", 2},
                                 {R"({"version":2,"blocks":"garbage"})", 2},
                                 {R"({"version":0,"blocks":[]})", 0},
                                 {R"({"version":-4})", -4}})
        EXPECT_EQ(errorOf(json), Error::newerVersion(version)) << json;
    EXPECT_NE(Error::newerVersion(2), Error::newerVersion(3));
    EXPECT_NE(Error::newerVersion(2), Error::corrupt());
    EXPECT_TRUE(blocksOf(R"({"version":1.0,"blocks":[]})").isEmpty()) << "an integer written as 1.0";
}

TEST(NoteBlockEnvelopeTest, UnreadableEnvelopesAreCorrupt)
{
    for (const char* json :
         {"", "not json", "[1,2]", "\"x\"", "{}", R"({"version":"1","blocks":[]})", R"({"version":1.5,"blocks":[]})",
          R"({"version":null,"blocks":[]})", R"({"version":1})", R"({"version":1,"blocks":null})",
          R"({"version":1,"blocks":{}})", R"({"version":1,"blocks":[]} trailing)"}) {
        EXPECT_EQ(errorOf(json), Error::corrupt()) << json;
    }
    EXPECT_TRUE(blocksOf(R"({"version":1,"blocks":[]})").isEmpty());
}

TEST(NoteBlockEnvelopeTest, OneBadBlockSpoilsTheWholeBody)
{
    const QString good = textBlock();
    EXPECT_TRUE(!errorOfBody(good));
    const QString image =
        QStringLiteral(R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","type":"image","image":"%1","sizing":%2})");
    const QString goodId = "11111111-2222-4333-8444-555555555555";
    const QStringList bad = {
        QStringLiteral(R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","type":"video","text":"x"})"),
        QStringLiteral(R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","type":"text"})"),
        QStringLiteral(R"({"id":"not-a-uuid","type":"text","text":"x"})"),
        QStringLiteral(R"({"id":"{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}","type":"text","text":"x"})"),
        QStringLiteral(R"({"type":"text","text":"x"})"),
        textBlock(R"(,"runs":{})"),
        textBlock(R"(,"runs":[{"loc":0}])"),
        textBlock(R"(,"runs":[{"loc":0.5,"len":1}])"),
        textBlock(R"(,"runs":[{"loc":0,"len":1,"b":"yes"}])"),
        textBlock(R"(,"runs":[{"loc":0,"len":1,"size":"12"}])"),
        textBlock(R"(,"runs":[{"loc":0,"len":1,"fg":255}])"),
        image.arg(goodId, "{}"),
        image.arg(goodId, QStringLiteral(R"({"preset":"huge"})")),
        image.arg(goodId, QStringLiteral(R"({"preset":null})")),
        image.arg(goodId, QStringLiteral(R"({"fraction":"half"})")),
        image.arg(goodId, QStringLiteral(R"("fit")")),
        image.arg("nope", QStringLiteral(R"({"fit":{}})")),
    };
    for (const QString& b : bad) {
        EXPECT_EQ(errorOfBody(QStringList{good, b, good}.join(u',')), Error::corrupt()) << qPrintable(b);
    }
}

TEST(NoteBlockEnvelopeTest, LenientWhereTheFormatIsLenient)
{
    // Absent or null runs, nulls for marks, unknown keys and keys of the other kind are all fine.
    auto blocks =
        blocksOf(R"({"version":1,"extra":true,"blocks":[)"
                 R"({"id":"0a1b2c3d-4e5f-4061-8273-94a5b6c7d8e9","type":"text","text":"a","runs":null,)"
                 R"("image":"junk","sizing":5},)"
                 R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","type":"text","text":"b",)"
                 R"("runs":[{"loc":5,"len":-2,"b":null,"fg":null},{"loc":0,"len":1e2}]},)"
                 R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","type":"image","text":7,)"
                 R"("image":"11111111-2222-4333-8444-555555555555","sizing":{"fit":null}},)"
                 R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","type":"image",)"
                 R"("image":"11111111-2222-4333-8444-555555555555","sizing":{"fraction":3,"preset":"small"}},)"
                 R"({"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","type":"image",)"
                 R"("image":"11111111-2222-4333-8444-555555555555","sizing":{"fraction":3,"fit":{}}}]})");
    ASSERT_EQ(blocks.size(), 5);
    EXPECT_EQ(blocks[0].id, kBlock) << "lower-case ids are accepted";
    EXPECT_EQ(blocks[1].id, blocks[0].id) << "duplicate ids are not checked";
    EXPECT_TRUE(blocks[0].textRuns()->runs.isEmpty());
    ASSERT_EQ(blocks[1].textRuns()->runs.size(), 2);
    EXPECT_EQ(blocks[1].textRuns()->runs[0].len, -2);
    EXPECT_FALSE(blocks[1].textRuns()->runs[0].b.has_value());
    EXPECT_EQ(blocks[1].textRuns()->runs[1].len, 100);
    EXPECT_EQ(blocks[2].imagePlacement()->sizing, ImageSizing::makeFit());
    EXPECT_EQ(blocks[3].imagePlacement()->sizing, ImageSizing::makePreset(ImageSizing::Preset::small));
    EXPECT_EQ(blocks[4].imagePlacement()->sizing, ImageSizing::makeFraction(3));
}

TEST(NoteBlockEnvelopeTest, EqualityRules)
{
    const TextRuns::Run bold{.b = true}, moved{.loc = 7, .b = true};
    EXPECT_FALSE(TextRuns::Run{.b = false}.marksEqual({})) << "a stored false differs from an absent mark";
    EXPECT_TRUE(moved.marksEqual(bold));
    EXPECT_FALSE(moved == bold);

    // Canonically equivalent texts are equal: precomposed é against e + combining acute.
    const TextRuns a{"caf\u00E9", {}};
    const TextRuns b{"cafe\u0301", {}};
    EXPECT_EQ(a, b);
    EXPECT_NE(a, (TextRuns{"cafe", {}}));

    EXPECT_NE(ImageSizing::makeFit(), ImageSizing::makeFraction(0));
    EXPECT_NE(ImageSizing::makeFraction(0.5), ImageSizing::makeFraction(0.5000001));
    EXPECT_NE(NoteBlock::text(a, kBlock), NoteBlock::image({kImage, ImageSizing::makeFit()}, kBlock));
}

// The quick check vouches for what this build writes over its own projection, and for nothing else.
TEST(NoteBlockEnvelopeTest, QuickCheckVouchesForWrittenEnvelopesOverTheirOwnBody)
{
    const TextRuns::Run every{.loc = 0,
                              .len = 2,
                              .b = true,
                              .i = false,
                              .u = true,
                              .s = false,
                              .size = 13.37,
                              .family = "Serif \"Pro\"",
                              .fg = "FF0000",
                              .bg = "00FF00",
                              .link = "https://example.org/\u00E9"};
    const QVector<QVector<NoteBlock>> bodies = {
        {},
        {NoteBlock::text({QString(), {}})},
        {NoteBlock::text(
            {"Gr\u00FC\u00DFe \"quoted\" back\\slash / tab\t cr\r ctrl\u0001 \U0001F600 \u4E2D", {every}})},
        {NoteBlock::text({"first", {}}), NoteBlock::image({kImage, ImageSizing::makeFraction(0.1 + 0.2)}),
         NoteBlock::image({kImage, ImageSizing::makeFraction(1e-7)}),
         NoteBlock::image({kImage, ImageSizing::makePreset(ImageSizing::Preset::large)}),
         NoteBlock::image({kImage, ImageSizing::makeFit()}), NoteBlock::text({"last\nline", {}})},
    };
    for (const QVector<NoteBlock>& blocks : bodies) {
        const QByteArray envelope = *NoteBlockEnvelope::encode(blocks);
        const QByteArray body = Note::projectedBody(blocks).toUtf8();
        EXPECT_TRUE(NoteBlockEnvelope::projectsExactly(envelope, body)) << envelope.constData();
        EXPECT_FALSE(NoteBlockEnvelope::projectsExactly(envelope, body + "x"));
        EXPECT_FALSE(NoteBlockEnvelope::projectsExactly(envelope, body + "\n"));
        if (!body.isEmpty()) {
            EXPECT_FALSE(NoteBlockEnvelope::projectsExactly(envelope, body.chopped(1)));
            QByteArray changed = body;
            changed[0] = changed[0] == 'a' ? 'b' : 'a';
            EXPECT_FALSE(NoteBlockEnvelope::projectsExactly(envelope, changed));
        }
    }
    // Canonically equal but not the same bytes: left to the full check, which finds it sound.
    EXPECT_FALSE(NoteBlockEnvelope::projectsExactly(*NoteBlockEnvelope::encode({NoteBlock::text({"caf\u00E9", {}})}),
                                                    QString("cafe\u0301").toUtf8()));
}

TEST(NoteBlockEnvelopeTest, QuickCheckNeverVouchesWhereTheFullReaderWouldNot)
{
    auto pictures = [](const QVector<NoteBlock>& blocks) {
        QVector<QUuid> ids;
        for (const NoteBlock& b : blocks)
            if (const ImagePlacement* p = b.imagePlacement()) ids << p->imageID;
        return ids;
    };
    auto vouchedWrongly = [&](const QByteArray& envelope, const QByteArray& body) {
        const auto decoded = NoteBlockEnvelope::decode(envelope);
        if (const auto ids = NoteBlockEnvelope::pictureIDs(envelope); ids && (!decoded || *ids != pictures(*decoded)))
            return true;
        if (!NoteBlockEnvelope::projectsExactly(envelope, body)) return false;
        return !decoded || Note::projectedBody(*decoded).toUtf8() != body;
    };
    const QVector<NoteBlock> blocks = {
        NoteBlock::text({"a long enough line \u00E9 for whole stretches \"\\z",
                         {TextRuns::Run{.loc = 1, .len = 12, .b = true, .size = 1.5, .fg = "0A0B0C"}}},
                        kBlock),
        NoteBlock::image({kImage, ImageSizing::makeFraction(0.25)}, kBlock), NoteBlock::text({"b", {}}, kBlock)};
    const QByteArray envelope = *NoteBlockEnvelope::encode(blocks);
    const QByteArray body = Note::projectedBody(blocks).toUtf8();
    ASSERT_TRUE(NoteBlockEnvelope::projectsExactly(envelope, body));
    EXPECT_EQ(NoteBlockEnvelope::pictureIDs(envelope), QVector<QUuid>{kImage});
    // Every byte replaced, dropped or doubled, against the original body.
    static constexpr char kReplacements[] = "\"\\{}[],:0123-.eE+ xnul\x01\x7f\xc3\xa9\xed\xbf";
    const QByteArray replacements(kReplacements, sizeof kReplacements - 1);
    for (qsizetype i = 0; i < envelope.size(); ++i) {
        for (char r : replacements) {
            QByteArray mutated = envelope;
            mutated[i] = r;
            EXPECT_FALSE(vouchedWrongly(mutated, body)) << mutated.constData();
        }
        EXPECT_FALSE(vouchedWrongly(QByteArray(envelope).remove(i, 1), body)) << i;
        EXPECT_FALSE(vouchedWrongly(QByteArray(envelope).insert(i, envelope[i]), body)) << i;
    }
    // Texts the full reader refuses or reads otherwise, with the bytes they would seem to spell.
    const QByteArray text =
        R"({"blocks":[{"id":"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9","runs":[],"text":"%1","type":"text"}],"version":1})";
    for (const auto& [inside, spelled] :
         std::initializer_list<std::pair<QByteArray, QByteArray>>{{"\\ud83d", "\xed\xa0\xbd"},
                                                                  {"\\ude00\\ud83d", "\xed\xb8\x80\xed\xa0\xbd"},
                                                                  {"\xed\xa0\xbd", "\xed\xa0\xbd"},
                                                                  {"\xc0\xaf", "\xc0\xaf"},
                                                                  {"\xe0\x80\xaf", "\xe0\x80\xaf"},
                                                                  {"\xf4\x90\x80\x80", "\xf4\x90\x80\x80"},
                                                                  {"\xc3", "\xc3"},
                                                                  {"a\nb", "a\nb"},
                                                                  {"\\x41", "A"}}) {
        const QByteArray env = QByteArray(text).replace("%1", inside);
        EXPECT_FALSE(NoteBlockEnvelope::projectsExactly(env, spelled)) << env.constData();
    }
    // A newer version and runs the full reader refuses.
    EXPECT_FALSE(
        NoteBlockEnvelope::projectsExactly(QByteArray(envelope).replace("\"version\":1", "\"version\":2"), body));
    for (const char* run : {R"({"len":1})", R"({"len":1,"loc":0.5})", R"({"b":"yes","len":1,"loc":0})",
                            R"({"len":1,"loc":0,"loc":0})", R"({"len":1,"loc":0,"size":"12"})"}) {
        const QByteArray env =
            QByteArray(text).replace("%1", "x").replace("\"runs\":[]", QByteArray("\"runs\":[") + run + "]");
        EXPECT_FALSE(NoteBlockEnvelope::projectsExactly(env, "x")) << env.constData();
    }
}

}  // namespace
