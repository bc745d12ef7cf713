#include <gtest/gtest.h>

#include <QFile>

#include "model/LegacyArchiveReader.h"
#include "platform/BinaryPropertyList.h"
#include "support/KeyedArchiveWriter.h"

using Kind = LegacyArchiveError::Kind;

namespace {

Kind errorOf(const QByteArray& bytes, const LegacyArchiveReader::Limits& limits = {})
{
    auto result = LegacyArchiveReader::read(bytes, limits);
    EXPECT_FALSE(result.ok());
    return result.ok() ? Kind::Malformed : result.error().kind;
}

}  // namespace

TEST(LegacyArchiveTest, ReadsTextWithFontsColoursLinksAndLines)
{
    KeyedArchiveWriter w;
    const auto plain = w.dictionary({{"NSFont", w.font("Helvetica", 12)}});
    const auto bold = w.dictionary({{"NSFont", w.font("Helvetica-BoldOblique", 12)},
                                    {"NSColor", w.rgbColor(1, 0, 0)},
                                    {"NSUnderline", w.number(2)}});
    const auto link = w.dictionary({{"NSLink", w.url("https://example.com/a")},
                                    {"NSStrikethrough", w.number(1)},
                                    {"NSBackgroundColor", w.rgbColor(0, 0, 1)}});
    // "é" as two units and an emoji as a surrogate pair: run lengths count UTF-16 units.
    const QString text = "Hi \U0001F600 bold e\u0301 link";
    const auto root = w.attributedString(text, {{6, plain}, {8, bold}, {4, link}});
    auto read = LegacyArchiveReader::read(w.finish(root));
    ASSERT_TRUE(read.ok()) << qPrintable(read.error().detail);
    EXPECT_EQ(read->text(), text);
    ASSERT_EQ(read->runs().size(), 3u);

    const TextAttributes first = read->attributesAt(0);
    ASSERT_TRUE(first.font);
    EXPECT_EQ(first.font->family, "Helvetica");
    EXPECT_FALSE(first.font->isBold());
    EXPECT_EQ(first.font->pointSize, 12);

    const TextAttributes second = read->attributesAt(6);
    EXPECT_TRUE(second.font->isBold());
    EXPECT_TRUE(second.font->italic);
    EXPECT_EQ(second.foreground, QColor::fromRgbF(1, 0, 0));
    EXPECT_EQ(second.underline, 2);

    const TextAttributes third = read->attributesAt(15);
    ASSERT_TRUE(third.link);
    EXPECT_EQ(std::get<QUrl>(*third.link), QUrl("https://example.com/a"));
    EXPECT_EQ(third.strikethrough, 1);
    EXPECT_EQ(third.background, QColor::fromRgbF(0, 0, 1));
}

TEST(LegacyArchiveTest, ReadsAttachmentsWithWidthsAndSharedObjects)
{
    KeyedArchiveWriter w;
    const auto picture = w.dictionary({{"NSAttachment", w.attachment("PNGBYTES")}, {"tarnImageWidth", w.number(172)}});
    const auto root = w.attributedString("A\uFFFC\uFFFC", {{1, w.dictionary({})}, {2, picture}});
    auto read = LegacyArchiveReader::read(w.finish(root));
    ASSERT_TRUE(read.ok()) << qPrintable(read.error().detail);
    const TextAttributes a = read->attributesAt(1);
    ASSERT_TRUE(a.attachment);
    EXPECT_EQ(a.attachment->fileContents, "PNGBYTES");
    EXPECT_EQ(a.imageWidth, 172.0);
    EXPECT_EQ(read->attributesAt(2).attachment, a.attachment);
}

TEST(LegacyArchiveTest, RejectsWhatIsNotAnAttributedStringArchive)
{
    EXPECT_EQ(errorOf("{\"text\":\"hello\"}"), Kind::NotAnArchive);
    EXPECT_EQ(errorOf(QByteArray("bplist00") + QByteArray(40, '\0')), Kind::NotAnArchive);

    KeyedArchiveWriter other;
    EXPECT_EQ(errorOf(other.finish(other.string("x"), "NSArchiver")), Kind::NotAnArchive);
    KeyedArchiveWriter notText;
    EXPECT_EQ(errorOf(notText.finish(notText.string("just a string"))), Kind::NotAttributedText);
}

TEST(LegacyArchiveTest, RefusesClassesABodyNeverHoldsButSkipsUnusedAttributes)
{
    KeyedArchiveWriter w;
    const auto evil = w.instance("NSAppleScript", {{"NSSource", QString("do shell script")}});
    EXPECT_EQ(errorOf(w.finish(w.attributedString("x", {{1, w.dictionary({{"NSAttachment", evil}})}}))),
              Kind::ClassNotAllowed);
    KeyedArchiveWriter v;
    const auto shadow = v.instance("NSShadow", {});
    EXPECT_TRUE(
        LegacyArchiveReader::read(v.finish(v.attributedString("x", {{1, v.dictionary({{"NSShadow", shadow}})}}))).ok());
}

TEST(LegacyArchiveTest, RejectsCyclesAndDeepNesting)
{
    KeyedArchiveWriter cyclic;
    const auto slot = cyclic.reserve();
    cyclic.fill(slot, "NSColor", {{"NSColorSpace", qint64(6)}, {"NSColor", slot}});
    const auto root = cyclic.attributedString("x", {{1, cyclic.dictionary({{"NSColor", slot}})}});
    EXPECT_EQ(errorOf(cyclic.finish(root)), Kind::Cycle);

    // Named colours fall back on a nested colour; a long chain of them must stop at the depth bound.
    KeyedArchiveWriter deep;
    auto colour = deep.rgbColor(0, 0, 0);
    for (int i = 0; i < 100; ++i) colour = deep.instance("NSColor", {{"NSColorSpace", qint64(6)}, {"NSColor", colour}});
    const auto deepRoot = deep.attributedString("x", {{1, deep.dictionary({{"NSColor", colour}})}});
    EXPECT_EQ(errorOf(deep.finish(deepRoot)), Kind::LimitExceeded);
}

TEST(LegacyArchiveTest, SharedReferencesAreDecodedOnce)
{
    // Every run points at every earlier table entry's colour: decoding each object once keeps this
    // linear instead of exponential.
    KeyedArchiveWriter w;
    std::vector<std::pair<qsizetype, KeyedArchiveWriter::Uid>> runs;
    const auto colour = w.rgbColor(0.5, 0.5, 0.5);
    const auto attrs = w.dictionary({{"NSColor", colour}});
    for (int i = 0; i < 5000; ++i) runs.emplace_back(1, attrs);
    auto read = LegacyArchiveReader::read(w.finish(w.attributedString(QString(5000, 'a'), runs)));
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read->runs().size(), 1u);
}

TEST(LegacyArchiveTest, RejectsRunTablesThatDoNotFitTheText)
{
    // Runs that stop short of the text, and runs that go past it.
    for (auto [text, last] : {std::pair{"abcdef", 2}, {"abc", 5}}) {
        KeyedArchiveWriter w;
        const auto plain = w.dictionary({});
        const auto under = w.dictionary({{"NSUnderline", w.number(1)}});
        EXPECT_EQ(errorOf(w.finish(w.attributedString(text, {{2, plain}, {last, under}}))), Kind::Malformed) << text;
    }
}

TEST(LegacyArchiveTest, EnforcesSizeAndObjectLimits)
{
    KeyedArchiveWriter w;
    const auto root =
        w.attributedString("hello", {{5, w.dictionary({{"NSAttachment", w.attachment(QByteArray(4096, 'x'))}})}});
    const QByteArray bytes = w.finish(root);
    EXPECT_EQ(errorOf(bytes, {1024, 100000, 32}), Kind::LimitExceeded);
    EXPECT_EQ(errorOf(bytes, {1 << 20, 10, 32}), Kind::LimitExceeded);
    EXPECT_TRUE(LegacyArchiveReader::read(bytes).ok());
}

TEST(LegacyArchiveTest, SurvivesDamagedContainers)
{
    KeyedArchiveWriter w;
    const auto root = w.attributedString("hello world", {{5, w.dictionary({{"NSFont", w.font("Helvetica", 12)}})},
                                                         {6, w.dictionary({{"NSColor", w.rgbColor(1, 0, 0)}})}});
    const QByteArray good = w.finish(root);
    ASSERT_TRUE(LegacyArchiveReader::read(good).ok());
    // Every truncation and every single-byte change must end in a result, never a crash or hang.
    for (qsizetype n = 0; n < good.size(); ++n) (void)LegacyArchiveReader::read(good.left(n));
    for (qsizetype i = 0; i < good.size(); ++i) {
        for (char value : {char(0x00), char(0xFF), char(0x0F), char(0x7F)}) {
            QByteArray bad = good;
            bad[i] = value;
            (void)LegacyArchiveReader::read(bad);
        }
    }
}

TEST(LegacyArchiveTest, PropertyListRejectsReferencesOutsideTheTable)
{
    PlistWriter p;
    auto array = p.array({});
    p.object(array).refs.push_back(7);  // there is no object 7
    EXPECT_FALSE(BinaryPropertyList::parse(p.write(array)).ok());

    PlistWriter q;
    const QByteArray bytes = q.write(q.string("fine"));
    ASSERT_TRUE(BinaryPropertyList::parse(bytes).ok());
    QByteArray badTop = bytes;
    badTop[badTop.size() - 9] = 5;  // top object index past the table
    EXPECT_FALSE(BinaryPropertyList::parse(badTop).ok());
}

TEST(LegacyArchiveTest, ReadsArchivesFromAnIndependentWriter)
{
    // The fuzzing seeds are written by Python's plistlib, which packs integers, offsets and strings in
    // its own way: a check of the container reader against a writer other than our own.
    const QString dir = qEnvironmentVariable("TARNWICK_SOURCE_DIR") + "/fuzz/corpus/LegacyArchiveFuzzer/";
    auto load = [&](const char* name) {
        QFile file(dir + name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        return file.readAll();
    };
    auto styled = LegacyArchiveReader::read(load("styled.bplist"));
    ASSERT_TRUE(styled.ok()) << qPrintable(styled.error().detail);
    EXPECT_EQ(styled->text(), "Bold text and a link");
    EXPECT_TRUE(styled->attributesAt(0).font->isBold());
    EXPECT_EQ(styled->attributesAt(0).foreground, QColor::fromRgbF(1, 0, 0));
    EXPECT_TRUE(styled->attributesAt(12).link);

    auto picture = LegacyArchiveReader::read(load("picture.bplist"));
    ASSERT_TRUE(picture.ok()) << qPrintable(picture.error().detail);
    ASSERT_TRUE(picture->attributesAt(6).attachment);
    EXPECT_TRUE(picture->attributesAt(6).attachment->fileContents.startsWith("\x89PNG"));
    EXPECT_EQ(picture->attributesAt(6).imageWidth, 172.0);

    EXPECT_EQ(errorOf(load("cycle.bplist")), Kind::Cycle);
}
