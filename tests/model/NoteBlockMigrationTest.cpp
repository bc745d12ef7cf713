#include <gtest/gtest.h>

#include "model/NoteBlockMigration.h"
#include "support/KeyedArchiveWriter.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;

namespace {

const QChar pic(0xFFFC);

BaseStyle base()
{
    return BaseStyle{TextFont{QString(), 14.5, 400, false}, QColor::fromRgb(0x26, 0x24, 0x1F), {}};
}

// A body written as an archive: text, with every U+FFFC carrying a picture and optionally a width.
QByteArray archiveWithPictures(const QString& text, std::optional<double> width = std::nullopt,
                               const QByteArray& bytes = "PICTURE")
{
    KeyedArchiveWriter w;
    const auto plain = w.dictionary({});
    std::vector<std::pair<QString, KeyedArchiveWriter::Uid>> entries{{"NSAttachment", w.attachment(bytes)}};
    if (width) entries.emplace_back("tarnImageWidth", w.number(*width));
    const auto picture = w.dictionary(entries);
    std::vector<std::pair<qsizetype, KeyedArchiveWriter::Uid>> runs;
    for (QChar c : text) {
        const auto attrs = c == pic ? picture : plain;
        if (!runs.empty() && runs.back().second.value == attrs.value)
            ++runs.back().first;
        else
            runs.emplace_back(1, attrs);
    }
    return w.finish(w.attributedString(text, runs));
}

// "T:<text>" for a text block, "I" for an image block.
QStringList shape(const QVector<NoteBlock>& blocks)
{
    QStringList out;
    for (const NoteBlock& b : blocks) out << (b.textRuns() ? "T:" + b.textRuns()->text : "I");
    return out;
}

NoteBlockMigration::Migrated migrated(const QString& body, double paperWidth = 344)
{
    auto result = NoteBlockMigration::migrate(body, archiveWithPictures(body), paperWidth, base());
    EXPECT_TRUE(result.has_value());
    return result.value_or(NoteBlockMigration::Migrated{});
}

}  // namespace

TEST(NoteBlockMigrationTest, SplitsAtPicturesAndTrimsTheirNewlines)
{
    auto bare = NoteBlockMigration::migrate(QString(), std::nullopt, 344, base());
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->blocks, QVector<NoteBlock>{NoteBlock::text({}, bare->blocks.value(0).id)});

    const auto hello = migrated(QString("Hello\n%1\nWorld").arg(pic));
    EXPECT_EQ(shape(hello.blocks), (QStringList{"T:Hello", "I", "T:World"}));
    ASSERT_EQ(hello.images.size(), 1);
    EXPECT_EQ(hello.images[0].bytes, "PICTURE");
    EXPECT_EQ(hello.blocks[1].imagePlacement()->imageID, hello.images[0].placeholder);

    EXPECT_EQ(shape(migrated(QString("%1\n%1").arg(pic)).blocks), (QStringList{"I", "I"}));
    EXPECT_EQ(shape(migrated(QString("%1\n\n%1").arg(pic)).blocks), (QStringList{"I", "T:", "I"}));
    EXPECT_EQ(shape(migrated(QString(pic)).blocks), QStringList{"I"});
    EXPECT_EQ(shape(migrated(QString("A%1B").arg(pic)).blocks), (QStringList{"T:A", "I", "T:B"}));
    EXPECT_EQ(shape(migrated(QString("A\n%1\n").arg(pic)).blocks), (QStringList{"T:A", "I", "T:"}));

    // Two characters sharing one attachment object give two pictures.
    const auto twice = migrated(QString("%1%1").arg(pic));
    EXPECT_EQ(shape(twice.blocks), (QStringList{"I", "I"}));
    ASSERT_EQ(twice.images.size(), 2);
    EXPECT_EQ(twice.images[0].bytes, twice.images[1].bytes);
    EXPECT_NE(twice.images[0].placeholder, twice.images[1].placeholder);
}

TEST(NoteBlockMigrationTest, SizesPicturesFromTheirDrawnWidth)
{
    auto sizing = [](std::optional<double> width, double paper) {
        const QString body(pic);
        auto r = NoteBlockMigration::migrate(body, archiveWithPictures(body, width), paper, base());
        EXPECT_TRUE(r);
        return r ? r->blocks[0].imagePlacement()->sizing : ImageSizing();
    };
    EXPECT_EQ(sizing(172, 344), ImageSizing::makeFraction(0.5));
    EXPECT_EQ(sizing(500, 344), ImageSizing::makeFraction(1.0));
    EXPECT_EQ(sizing(std::nullopt, 344), ImageSizing::makeFit());
    EXPECT_EQ(sizing(0, 344), ImageSizing::makeFit());
    EXPECT_EQ(sizing(172, 0), ImageSizing::makeFit());
}

TEST(NoteBlockMigrationTest, CarriesStylesIntoRuns)
{
    KeyedArchiveWriter w;
    const auto plain = w.dictionary({{"NSFont", w.font(".AppleSystemUIFont", 14.5)}});
    const auto boldRed = w.dictionary({{"NSFont", w.font(".SFNS-Bold", 14.5)}, {"NSColor", w.rgbColor(1, 0, 0)}});
    const auto italicLink =
        w.dictionary({{"NSFont", w.font("Georgia-Italic", 14.5)}, {"NSLink", w.url("https://example.com")}});
    const QString body = "Bold, then a link";
    const QByteArray data = w.finish(w.attributedString(body, {{4, boldRed}, {7, plain}, {6, italicLink}}));
    auto result = NoteBlockMigration::migrate(body, data, 344, base());
    ASSERT_TRUE(result);
    ASSERT_EQ(result->blocks.size(), 1);
    const TextRuns& runs = *result->blocks[0].textRuns();
    EXPECT_EQ(runs.text, body);
    ASSERT_EQ(runs.runs.size(), 2);
    EXPECT_EQ(runs.runs[0].b, true);
    EXPECT_EQ(runs.runs[0].fg, "FF0000");
    EXPECT_EQ(std::pair(runs.runs[1].loc, runs.runs[1].len), std::pair(qint64(11), qint64(6)));
    EXPECT_EQ(runs.runs[1].i, true);
    EXPECT_EQ(runs.runs[1].family, "Georgia");
    EXPECT_EQ(runs.runs[1].link, "https://example.com");
}

TEST(NoteBlockMigrationTest, UnusableRichDataFallsBackToThePlainBody)
{
    const QString body = "the plain body";
    auto plainOnly = [&](const QByteArray& data) {
        auto r = NoteBlockMigration::migrate(body, data, 344, base());
        return r && shape(r->blocks) == QStringList{"T:" + body} && r->blocks[0].textRuns()->runs.isEmpty();
    };
    EXPECT_TRUE(plainOnly(archiveWithPictures(QString("other text %1").arg(pic))));  // text differs from the body
    EXPECT_TRUE(plainOnly("not json, not an archive"));
    EXPECT_TRUE(plainOnly(R"({"text": "different characters"})"));

    KeyedArchiveWriter cyclic;
    const auto slot = cyclic.reserve();
    cyclic.fill(slot, "NSColor", {{"NSColorSpace", qint64(6)}, {"NSColor", slot}});
    EXPECT_TRUE(plainOnly(
        cyclic.finish(cyclic.attributedString(body, {{body.size(), cyclic.dictionary({{"NSColor", slot}})}}))));
}

TEST(NoteBlockMigrationTest, JsonBodiesKeepTheirCharacters)
{
    const QString body = "first\nsecond";
    for (const QByteArray& json :
         {QByteArray(R"({"text": "first\nsecond"})"), QByteArray(R"({"text": ["first\n", {}, "second", {"x": 1}]})"),
          QByteArray(R"({"text": {"runs": ["first\n", 0, "second", 1], "attributeTable": [{}, {}]}})")}) {
        auto r = NoteBlockMigration::migrate(body, json, 344, base());
        ASSERT_TRUE(r) << json.constData();
        EXPECT_EQ(shape(r->blocks), QStringList{"T:" + body});
        EXPECT_TRUE(r->images.isEmpty());
    }
    // A run pointing past the attribute table is not a body.
    auto broken =
        NoteBlockMigration::migrate(body, R"({"text": {"runs": ["x", 3], "attributeTable": []}})", 344, base());
    ASSERT_TRUE(broken);
    EXPECT_TRUE(broken->blocks[0].textRuns()->runs.isEmpty());
}

// Turning these into plain blocks would hide their pictures for good.
TEST(NoteBlockMigrationTest, PicturesWithoutBytesOrBeyondTheReaderLimitsLeaveTheBodyForLater)
{
    LogCapture log;
    const QString body = QString("A%1").arg(pic);
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(NoteBlockMigration::migrate(body, archiveWithPictures(body, 10, QByteArray()), 344, base()));
    EXPECT_EQ(log.count("an attachment in it yielded no bytes"), 1);
    const QByteArray huge = archiveWithPictures(body, std::nullopt, QByteArray(33 * 1024 * 1024, 'x'));
    EXPECT_FALSE(NoteBlockMigration::migrate(body, huge, 344, base()));
}

TEST(NoteBlockMigrationTest, MergingAndRebuildingBlockLists)
{
    const NoteBlock first = NoteBlock::text({"ab", {{.loc = 0, .len = 2, .b = true}}});
    const auto merged =
        NoteBlockMigration::mergingAdjacentText({first, NoteBlock::text({"c", {{.loc = 0, .len = 1, .b = true}}})});
    ASSERT_EQ(merged.size(), 1);
    EXPECT_EQ(merged[0].id, first.id);
    EXPECT_EQ(merged[0].textRuns()->text, "ab\nc");
    ASSERT_EQ(merged[0].textRuns()->runs.size(), 2);
    EXPECT_EQ(merged[0].textRuns()->runs[1].loc, 3);

    const ImagePlacement placement{QUuid::createUuid(), ImageSizing::makeFraction(0.5)};
    const NoteBlock oldImage = NoteBlock::image(placement);
    const auto rebuilt = NoteBlockMigration::rebuild(QString("A\n%1\nB").arg(pic), {oldImage});
    EXPECT_EQ(shape(rebuilt), (QStringList{"T:A", "I", "T:B"}));
    EXPECT_EQ(*rebuilt[1].imagePlacement(), placement);
    EXPECT_NE(rebuilt[1].id, oldImage.id);

    EXPECT_EQ(shape(NoteBlockMigration::rebuild(QString(pic), {})), QStringList{"T:"});
    EXPECT_EQ(shape(NoteBlockMigration::rebuild("A", {oldImage})), (QStringList{"T:A", "I"}));
    EXPECT_EQ(shape(NoteBlockMigration::rebuild(QString("x\ny%1").arg(pic), {})), QStringList{"T:x\ny"});
}
