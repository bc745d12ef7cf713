#include <gtest/gtest.h>

#include "model/Note.h"
#include "shelf/SearchFolding.h"
#include "shelf/SearchSupport.h"

namespace {

using Span = SearchSupport::Highlighted::Span;

const QString kEllipsis(QChar(0x2026));

// A text of n distinct-looking letters with no spaces, so trimming never changes it.
QString letters(int n, char from = 'a')
{
    QString s;
    for (int i = 0; i < n; ++i) s += QChar(from + i % 26);
    return s;
}

TEST(SearchSupportTest, WithoutQueryOrOccurrenceGivesTheCleanedStartWithoutEllipsis)
{
    EXPECT_FALSE(SearchSupport::snippet("\uFFFC\n \n\uFFFC ", "x", 96));
    EXPECT_EQ(SearchSupport::snippet("\nfirst\n\nsecond\uFFFCthird\n", QString(), 96), "first  second third");

    const QString text = letters(1000, 'A');
    for (const QString& query : {QString(), QString(" \t "), QString("zzz")}) {
        EXPECT_EQ(SearchSupport::snippet(text, query, 96), text.left(96));
        EXPECT_EQ(SearchSupport::snippet("short", query, 96), "short");
    }
    EXPECT_FALSE(SearchSupport::highlight(text, "zzz").stronglyEmphasized);
}

TEST(SearchSupportTest, WindowAroundTheOccurrenceAtStartMiddleAndEnd)
{
    // Occurrence at character 200 of 1,000.
    const QString text = letters(200, 'a').toUpper() + "needle" + letters(794, 'a').toUpper();
    const QString middle = kEllipsis + text.mid(172, 28) + "needle" + text.mid(206, 68) + kEllipsis;
    EXPECT_EQ(SearchSupport::snippet(text, "  NEEDLE \n", 96), middle);

    const QString early = "0123456789needle" + letters(200);
    EXPECT_EQ(SearchSupport::snippet(early, "needle", 96), early.left(16 + 68) + kEllipsis);

    const QString late = letters(200) + "needlexyz";
    EXPECT_EQ(SearchSupport::snippet(late, "needle", 96), kEllipsis + late.mid(172));

    // Accents are significant: no occurrence, so the plain start.
    EXPECT_EQ(SearchSupport::snippet(letters(120) + "café", "cafe", 96), letters(96));
}

TEST(SearchSupportTest, LimitsBelowTheLeadNeverCutBackwards)
{
    const QString text = letters(200, 'A') + "needle" + letters(200, 'A');
    EXPECT_EQ(SearchSupport::snippet(text, "needle", 10), kEllipsis + text.mid(190, 10) + "needle" + kEllipsis);
    EXPECT_EQ(SearchSupport::snippet(text, "needle", 0), kEllipsis + "needle" + kEllipsis);
    EXPECT_EQ(SearchSupport::snippet(text, "needle", -40), kEllipsis + "needle" + kEllipsis);
    EXPECT_EQ(SearchSupport::snippet(text, QString(), -1), QString());
    EXPECT_EQ(SearchSupport::snippet("needle at the start", "needle", 3), "needle" + kEllipsis);
}

TEST(SearchSupportTest, CountsCharactersAsTheUserSeesThem)
{
    // Each toned thumb is one character of four UTF-16 units; each accented q is two units.
    const QString thumb = "\U0001F44D\U0001F3FD";
    const QString q = "q\u0301";
    const QString text = thumb.repeated(40) + "X" + q.repeated(100);
    EXPECT_EQ(SearchSupport::snippet(text, "x", 30), kEllipsis + thumb.repeated(28) + "X" + q.repeated(2) + kEllipsis);
    EXPECT_EQ(SearchSupport::snippet(text, QString(), 3), thumb.repeated(3));
}

// An occurrence anywhere in a long text is the one shown, found as the short text finds it: the same
// excerpt as the whole text searched at once in every script, with the characters of a long stretch
// without ASCII (and without any place to cut it) counted whole.
TEST(SearchSupportTest, AnOccurrenceDeepInALongTextIsShownAsNearTheStart)
{
    QString lorem;
    while (lorem.size() < 20'000) lorem += "lorem ipsum ";
    const QString text = lorem + " WORD20000 tail";
    const auto deep = SearchSupport::snippet(text, "word20000", 96);
    ASSERT_TRUE(deep);
    EXPECT_EQ(*deep, kEllipsis + text.mid(text.indexOf("WORD") - 28, 28) + "WORD20000 tail");
    EXPECT_EQ(SearchSupport::highlight(*deep, "word20000").stronglyEmphasized, (Span{29, 9}));

    // The first of two occurrences; a query that only a line feed or a picture in between lets match.
    const QString twice = lorem + "needle" + lorem + "NEEDLE";
    EXPECT_EQ(SearchSupport::snippet(twice, "needle", 96), kEllipsis + twice.mid(lorem.size() - 28, 102) + kEllipsis);
    const QString joined = lorem + "alpha\n\uFFFCbeta" + lorem;
    EXPECT_EQ(SearchSupport::snippet(joined, "ALPHA  beta", 40)->mid(29, 11), "alpha  beta");

    // In another script: within the first 16,384 units across full case folding (ß and SS) and
    // composition (e and a combining accent); past them, as simple case folding finds it.
    QString greek;
    while (greek.size() < 16'000) greek += "λόρεμ ιψουμ ";
    const QString farther = greek + greek + greek;
    for (const auto& [before, hidden, query] : {std::tuple{greek, QString("Straße"), QString("STRASSE")},
                                                {greek, QString("cafe\u0301 Ω"), QString("CAFÉ ω")},
                                                {farther, QString("ΩΜΈΓΑ"), QString("ωμέγα")}}) {
        const auto got = SearchSupport::snippet(before + hidden + " end", query, 96);
        ASSERT_TRUE(got) << qPrintable(query);
        EXPECT_EQ(*got, kEllipsis + before.right(28) + hidden + " end") << qPrintable(query);
        EXPECT_EQ(SearchSupport::highlight(*got, query).stronglyEmphasized, (Span{29, hidden.size()}));
    }
    // A character is never split, however long the stretch without a place to cut it.
    const QString thumbs = QString("\U0001F44D\U0001F3FD").repeated(6'000);
    EXPECT_EQ(SearchSupport::snippet(thumbs + "x" + thumbs, "X", 30),
              kEllipsis + QString("\U0001F44D\U0001F3FD").repeated(28) + "x" +
                  QString("\U0001F44D\U0001F3FD").repeated(2) + kEllipsis);
    EXPECT_FALSE(SearchSupport::snippet(greek + "cafe\u0301", "cafe", 96)->contains(kEllipsis));
}

TEST(SearchSupportTest, HighlightsTheFirstOccurrenceInUtf16Units)
{
    const auto marked = [](const QString& text, const QString& query) {
        return SearchSupport::highlight(text, query).stronglyEmphasized;
    };
    // Two surrogate pairs and a space come before the occurrence.
    const QString text = "\U0001F600\U0001F600 Hello and hello";
    const SearchSupport::Highlighted h = SearchSupport::highlight(text, " HELLO\t");
    EXPECT_EQ(h.text, text);
    EXPECT_EQ(h.stronglyEmphasized, (Span{5, 5}));

    EXPECT_EQ(marked("a \U0001F600 b", "\U0001F600"), (Span{2, 2}));
    EXPECT_EQ(marked("Die Straße", "STRASSE"), (Span{4, 6}));
    EXPECT_EQ(marked("cafe\u0301!", "CAFÉ"), (Span{0, 5}));
    // Either sigma finds the other, in capitals or not; the mark covers the letters as written.
    EXPECT_EQ(marked("ΟΔΟΣΤΡΩΜΑ", "ΟΔΟΣ"), (Span{0, 4}));
    EXPECT_EQ(marked("\U0001F600 ΟΔΟΣ road", "οδοσ"), (Span{3, 4}));
    EXPECT_EQ(marked("η οδοσ", "ΟΔΟΣ"), (Span{2, 4}));
    EXPECT_EQ(SearchSupport::snippet(letters(40) + "ΟΔΟΣΤΡΩΜΑ", "οδος", 30),
              kEllipsis + letters(40).mid(12) + "ΟΔΟΣΤΡ" + kEllipsis);
    // Half a character is never marked.
    EXPECT_FALSE(marked("ß", "s"));
    EXPECT_FALSE(marked("cafe\u0301", "cafe"));
    EXPECT_FALSE(marked("text", "   "));
}

TEST(SearchSupportTest, ALockedNoteNeverGivesASnippet)
{
    Note note("Plans", "the secret plan", Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
              QDateTime::currentDateTimeUtc());
    EXPECT_EQ(SearchSupport::noteSnippet(note, "secret", 96), "the secret plan");
    note.setIsLocked(true);
    EXPECT_FALSE(SearchSupport::noteSnippet(note, "secret", 96));
    EXPECT_FALSE(SearchSupport::noteSnippet(note, QString(), 96));
}

// Stored texts are lowered from their UTF-8 as their UTF-16 form would be, malformed bytes included.
TEST(SearchSupportTest, LoweringUtf8GivesWhatLoweringItsUtf16Gives)
{
    QList<QByteArray> texts = {
        "",
        "   ",
        "Plain ASCII Text With SOME Capitals, digits 0123 and punctuation!?",
        "Grüße aus KÖLN, café CRÈME à la FAÇADE\nNAÏVE Über alles",
        "Cafe\xcc\x81 ECOLE\xcc\x81",
        "\xce\x9f\xce\x94\xce\x9f\xce\xa3 \xce\x9f\xce\x94\xce\x9f\xce\xa3x",
        "\xc4\xb0STANBUL and \xf0\x9f\x98\x80 EMOJI \xe4\xb8\xad\xe6\x96\x87",
        "\xc3 x ab\xc3 \xe0\x80\xaf z \xff\xfe \xed\xa0\x80 END",
        "\xef\xbb\xbf"
        "BOM first, \xef\xbb\xbf"
        "BOM AFTER A SPACE",
        QByteArray("NUL\0INSIDE \xc3\x89", 13),
        // Latin-1 beside other letters in one word, cut short, or doubled; runs of ASCII longer than 16.
        "\xc3\x89"
        "COLE\xce\x9f\xce\xa3 \xc3\x80\xcc\x81 MA\xc3\x9f"
        "E \xc3\x97\xc3\x9e\xc3\xbf\xc2\xb5 \xc3\xc3\x89 END\xc3",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{ abcdefghijklmnopqrstuvwxyz \xc3\x89T\xc3\x89 ABCDEFGHIJKLMNOPQRSTU",
    };
    // Every Latin-1 character, alone and inside words.
    QByteArray latin1;
    for (char16_t u = 0x80; u <= 0xFF; ++u) {
        const QByteArray c = QString(QChar(u)).toUtf8();
        latin1 += c + " X" + c + "Y " + c + c + "\n";
    }
    texts.append(latin1);
    for (const QByteArray& text : texts) {
        std::string fromUtf16 = "kept ";
        SearchFolding::appendLowered(QString::fromUtf8(text), fromUtf16);
        std::string fromUtf8 = "kept ";
        SearchFolding::appendLoweredUtf8(std::string_view(text.constData(), size_t(text.size())), fromUtf8);
        EXPECT_EQ(fromUtf8, fromUtf16) << text.toHex().constData();
    }
}

}  // namespace
