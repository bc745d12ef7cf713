#include <gtest/gtest.h>

#include <QFontDatabase>

#include "model/TextRunsCodec.h"

namespace {

const QColor ink = QColor::fromRgb(0x26, 0x24, 0x1F);

BaseStyle base()
{
    return BaseStyle{TextFont{"BaseFace", 14.5, 400, false}, ink, ParagraphStyle{4, 0, 0}};
}

TextAttributes font(TextFont f)
{
    TextAttributes a;
    a.font = f;
    return a;
}

TextFont bold()
{
    TextFont f = base().font;
    f.weight = 700;
    return f;
}

}  // namespace

TEST(TextRunsCodecTest, StoresOnlyWhatDiffersFromTheBase)
{
    EXPECT_TRUE(TextRunsCodec::encode(AttributedText(), base()).runs.isEmpty());

    TextAttributes explicitBase = font(base().font);
    explicitBase.foreground = ink;
    EXPECT_TRUE(TextRunsCodec::encode(AttributedText("plain text", explicitBase), base()).runs.isEmpty());

    AttributedText text("Hello world");
    text.setAttributes(6, 5, font(bold()));
    const TextRuns runs = TextRunsCodec::encode(text, base());
    EXPECT_EQ(runs.text, "Hello world");
    // A missing trait is absent, never false.
    EXPECT_EQ(runs.runs, QVector<TextRuns::Run>{(TextRuns::Run{.loc = 6, .len = 5, .b = true})});
}

TEST(TextRunsCodecTest, MergesTouchingRunsWithEqualMarksOnly)
{
    TextFont italic = base().font;
    italic.italic = true;
    AttributedText text("abcdef");
    TextAttributes first = font(italic);
    first.paragraphStyle = ParagraphStyle{1, 0, 0};
    TextAttributes second = font(italic);
    second.paragraphStyle = ParagraphStyle{2, 0, 0};
    text.setAttributes(0, 3, first);
    text.setAttributes(3, 3, second);
    auto runs = TextRunsCodec::encode(text, base()).runs;
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].len, 6);

    AttributedText broken("bbpb");
    broken.setAttributes(0, 2, font(bold()));
    broken.setAttributes(3, 1, font(bold()));
    runs = TextRunsCodec::encode(broken, base()).runs;
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(runs[0], (TextRuns::Run{.loc = 0, .len = 2, .b = true}));
    EXPECT_EQ(runs[1], (TextRuns::Run{.loc = 3, .len = 1, .b = true}));
}

TEST(TextRunsCodecTest, SizesAndColoursWithinToleranceAreNotStored)
{
    auto encodeOne = [](const TextAttributes& a) { return TextRunsCodec::encode(AttributedText("x", a), base()).runs; };
    TextFont f = base().font;
    f.pointSize += 0.005;
    EXPECT_TRUE(encodeOne(font(f)).isEmpty());
    f.pointSize = base().font.pointSize + 0.02;
    ASSERT_EQ(encodeOne(font(f)).size(), 1);
    EXPECT_DOUBLE_EQ(*encodeOne(font(f))[0].size, 14.52);

    TextAttributes near;
    near.foreground = QColor::fromRgbF(ink.redF() + 0.019f, ink.greenF() - 0.019f, ink.blueF() + 0.019f);
    EXPECT_TRUE(encodeOne(near).isEmpty());

    TextAttributes red;
    red.foreground = QColor::fromRgb(0xC8, 0x0A, 0xff);
    ASSERT_EQ(encodeOne(red).size(), 1);
    EXPECT_EQ(encodeOne(red)[0].fg, "C80AFF");

    TextAttributes highlight;
    highlight.background = ink;  // a highlight is stored even in the ink colour
    EXPECT_EQ(encodeOne(highlight)[0].bg, "26241F");
}

TEST(TextRunsCodecTest, LineStylesAndLinks)
{
    TextAttributes doubleLine;
    doubleLine.underline = 9;
    const TextRuns runs = TextRunsCodec::encode(AttributedText("ab", doubleLine), base());
    ASSERT_EQ(runs.runs.size(), 1);
    EXPECT_EQ(runs.runs[0].u, true);
    EXPECT_EQ(TextRunsCodec::decode(runs, base()).attributesAt(0).underline, 1);

    TextAttributes url;
    url.link = QUrl("https://example.com/a?b=c");
    EXPECT_EQ(TextRunsCodec::encode(AttributedText("ab", url), base()).runs.value(0).link, "https://example.com/a?b=c");

    TextAttributes empty;
    empty.link = QString();
    EXPECT_TRUE(TextRunsCodec::encode(AttributedText("ab", empty), base()).runs.isEmpty());

    const TextRuns stored{
        "ab cd",
        {{.loc = 0, .len = 2, .link = "https://example.com"}, {.loc = 3, .len = 2, .link = "not a url with spaces"}}};
    const AttributedText decoded = TextRunsCodec::decode(stored, base());
    EXPECT_EQ(std::get<QUrl>(*decoded.attributesAt(0).link), QUrl("https://example.com"));
    EXPECT_EQ(std::get<QString>(*decoded.attributesAt(3).link), "not a url with spaces");
}

TEST(TextRunsCodecTest, DecodesOnlyWellFormedHexColours)
{
    TextRuns stored{"abcdefgh", {}};
    const char* values[] = {"ff8000", "#FF8000", "FF800", "FF80000", " FF8000", "F80", "GG8000", "#ff8000"};
    for (int i = 0; i < 8; ++i) stored.runs.append({.loc = i, .len = 1, .fg = values[i]});
    const AttributedText decoded = TextRunsCodec::decode(stored, base());
    const QColor orange = QColor::fromRgb(255, 128, 0);
    const QColor expected[] = {orange, orange, ink, ink, ink, ink, ink, orange};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(decoded.attributesAt(i).foreground, expected[i]) << values[i];
}

TEST(TextRunsCodecTest, DecodeSkipsUnusableRunsAndLayersOverlaps)
{
    // Beyond the text, negative, empty; then an overlap that adds strikethrough and keeps the earlier
    // underline and colour.
    const TextRuns stored{"abcdef",
                          {{.loc = 4, .len = 5, .u = true},
                           {.loc = -1, .len = 2, .u = true},
                           {.loc = 2, .len = 0, .u = true},
                           {.loc = 0, .len = 3, .u = true, .fg = "FF0000"},
                           {.loc = 1, .len = 3, .u = false, .s = true}}};
    const AttributedText decoded = TextRunsCodec::decode(stored, base());
    EXPECT_EQ(decoded.attributesAt(5).underline, 0);
    EXPECT_EQ(decoded.attributesAt(2).underline, 1);
    EXPECT_EQ(decoded.attributesAt(2).strikethrough, 1);
    EXPECT_EQ(decoded.attributesAt(2).foreground, QColor::fromRgb(255, 0, 0));
    EXPECT_EQ(decoded.attributesAt(3).foreground, ink);
    EXPECT_EQ(decoded.attributesAt(5).paragraphStyle, base().paragraphStyle);
}

TEST(TextRunsCodecTest, DecodeBuildsFontsFromTheBase)
{
    const TextRuns stored{"abc",
                          {{.loc = 0, .len = 1, .size = 18},
                           {.loc = 1, .len = 1, .size = 30, .family = "No Such Family 4711"},
                           {.loc = 2, .len = 1, .i = true, .family = "No Such Family 4711"}}};
    const AttributedText decoded = TextRunsCodec::decode(stored, base());
    TextFont at18 = base().font;
    at18.pointSize = 18;
    EXPECT_EQ(decoded.attributesAt(0).font, at18);
    EXPECT_EQ(decoded.attributesAt(1).font, base().font);  // unknown family without traits: the base font
    EXPECT_TRUE(decoded.attributesAt(2).font->italic);
    EXPECT_EQ(decoded.attributesAt(2).font->family, "BaseFace");
}

TEST(TextRunsCodecTest, RoundTripsOverSurrogatePairs)
{
    const QStringList families = QFontDatabase::families();
    if (families.isEmpty()) GTEST_SKIP() << "no fonts installed";
    // Positions count UTF-16 units: the emoji takes two.
    AttributedText text("a\U0001F600b\U0001F680c");
    TextAttributes marked = font(TextFont{families.first(), 20, 700, true});
    marked.foreground = QColor::fromRgb(0x12, 0x34, 0x56);
    marked.background = QColor::fromRgb(0xAB, 0xCD, 0xEF);
    marked.underline = 1;
    marked.strikethrough = 1;
    marked.link = QUrl("https://example.com/x");
    text.setAttributes(1, 2, marked);
    TextAttributes underlined;
    underlined.underline = 1;
    text.setAttributes(4, 2, underlined);

    const TextRuns first = TextRunsCodec::encode(text, base());
    ASSERT_EQ(first.runs.size(), 2);
    EXPECT_EQ(std::pair(first.runs[0].loc, first.runs[0].len), std::pair(qint64(1), qint64(2)));
    EXPECT_EQ(first.runs[0].family, families.first());
    EXPECT_EQ(std::pair(first.runs[1].loc, first.runs[1].len), std::pair(qint64(4), qint64(2)));
    EXPECT_EQ(TextRunsCodec::encode(TextRunsCodec::decode(first, base()), base()), first);
}

TEST(TextRunsCodecTest, RunsInTextOrderDecodeAsIfLayeredOneByOne)
{
    // Bodies of many marks take the one-pass road; gaps, touching runs, links, colours and unusable
    // runs between them must come out as when each run is laid over the base in turn.
    std::srand(3);
    QString text;
    for (int i = 0; i < 300; ++i) text += QChar(u'a' + i % 26);
    for (int round = 0; round < 50; ++round) {
        TextRuns stored{text, {}};
        for (qint64 at = std::rand() % 5; at < text.size() + 3; at += std::rand() % 6) {
            TextRuns::Run run{.loc = at, .len = std::rand() % 7 - 1};
            switch (std::rand() % 5) {
                case 0:
                    run.b = true;
                    break;
                case 1:
                    run.u = true;
                    run.fg = "3366CC";
                    break;
                case 2:
                    run.link = "https://example.com/" + QString::number(at);
                    break;
                case 3:
                    run.size = 20;
                    run.i = true;
                    break;
                default:
                    run.bg = "zz";
                    run.s = true;
            }
            stored.runs.append(run);
            at += std::max<qint64>(run.len, 0);
        }
        AttributedText layered(text, TextRunsCodec::decode(TextRuns{text, {}}, base()).attributesAt(0));
        for (const TextRuns::Run& run : stored.runs) {
            if (run.len <= 0 || run.loc < 0 || run.loc > text.size() - run.len) continue;
            const AttributedText one = TextRunsCodec::decode(TextRuns{text, {run}}, base());
            layered.setAttributes(run.loc, run.len, one.attributesAt(run.loc));
        }
        ASSERT_EQ(TextRunsCodec::decode(stored, base()), layered) << round;
    }
}
