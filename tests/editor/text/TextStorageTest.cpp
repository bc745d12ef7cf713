#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/text/TextStorage.h"
#include "editor/text/TextViewModel.h"

namespace {

std::vector<TextAttributes> styles()
{
    TextAttributes bold;
    bold.font = TextFont{QString(), 14.5, 700, false};
    TextAttributes rich;
    rich.font = TextFont{"DejaVu Serif", 17, 600, true};
    rich.foreground = QColor("#736B61");
    rich.background = QColor("#FFEE00");
    rich.underline = 2;
    rich.strikethrough = 1;
    rich.link = QUrl("https://example.com/a?b=c");
    rich.paragraphStyle = ParagraphStyle{6.5, 4, 19};
    TextAttributes textLink;
    textLink.link = QString("not a url");
    return {{}, bold, rich, textLink};
}

// Every paragraph of the document is laid out with the paragraph style of its first character (an empty
// last paragraph with that of the line break before it).
bool blockFormatsFollowTheText(const DocumentTextStorage& storage)
{
    for (QTextBlock block = storage.document()->begin(); block.isValid(); block = block.next()) {
        const qsizetype at = block.position() < storage.length() ? block.position() : block.position() - 1;
        // No style reads as the default one (all zero).
        const ParagraphStyle style =
            (at >= 0 ? storage.attributesAt(at).paragraphStyle : std::nullopt).value_or(ParagraphStyle{});
        const QTextBlockFormat f = block.blockFormat();
        if (f.lineHeight() != style.lineSpacing || f.leftMargin() != style.headIndent ||
            f.textIndent() != style.firstLineHeadIndent - style.headIndent)
            return false;
    }
    return true;
}

}  // namespace

TEST(TextStorageTest, DocumentHoldsWhatTheStorageHoldsThroughRandomEdits)
{
    const auto all = styles();
    for (const TextAttributes& a : all)
        EXPECT_EQ(DocumentTextStorage::attributes(DocumentTextStorage::charFormat(a)), a);

    DocumentTextStorage document;
    MemoryTextStorage memory;
    std::srand(11);
    const QString pieces[] = {"ab", "\n", "x\ny", "é", "\n\n", "word ", "\U0001F600", "\U0001F1EB\U0001F1F7\n"};
    for (int i = 0; i < 300; ++i) {
        const qsizetype start = std::rand() % (memory.length() + 1);
        if (std::rand() % 4 == 0) {
            // Paragraph styles of several ordered ranges as one change.
            std::vector<TextStorage::StyledRange> ranges;
            for (qsizetype at = start; at < memory.length(); at += std::rand() % 5 + 1) {
                const qsizetype length = std::rand() % 4;
                ranges.push_back({at, length, all[size_t(std::rand()) % all.size()].paragraphStyle});
                at += length;
            }
            document.setParagraphStyles(ranges);
            memory.setParagraphStyles(ranges);
        } else if (std::rand() % 3 == 0) {
            const auto& style = all[size_t(std::rand()) % all.size()];
            const auto change = [&](TextAttributes& a) { a = style; };
            const qsizetype length = std::rand() % 6;
            document.modify(start, length, change);
            memory.modify(start, length, change);
        } else {
            AttributedText with(pieces[size_t(std::rand()) % std::size(pieces)], all[size_t(std::rand()) % all.size()]);
            const qsizetype length = std::rand() % 4;
            document.replace(start, length, with);
            memory.replace(start, length, with);
        }
        ASSERT_EQ(document.attributedText(), memory.attributedText()) << i;
        ASSERT_EQ(document.readDocument(), document.attributedText()) << i;
        ASSERT_TRUE(blockFormatsFollowTheText(document)) << i;
    }
    EXPECT_EQ(document.document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'), document.text());
    EXPECT_EQ(document.foreignChanges(), 0);
    QTextCursor(document.document()).insertText("behind its back");
    EXPECT_EQ(document.foreignChanges(), 1);
}

TEST(TextStorageTest, LineBreaksAreNormalisedWithRunsKeptOnTheirCharacters)
{
    TextAttributes bold;
    bold.font = TextFont{QString(), 14.5, 700, false};
    AttributedText text("a\r\nb\rc");
    text.append(QString(QChar::ParagraphSeparator) + "d", {});
    text.append("bold", bold);
    const AttributedText result = TextStorage::normalizedLineBreaks(text);
    EXPECT_EQ(result.text(), "a\nb\nc\ndbold");
    EXPECT_EQ(result.attributesAt(7), bold);
    EXPECT_EQ(result.attributesAt(6), TextAttributes());
}

TEST(TextViewModelTest, DeletionsTakeWholeCharacters)
{
    MemoryTextStorage storage;
    TextViewModel view(storage);
    const QString flags = QString("\U0001F1EB\U0001F1F7").repeated(200);  // longer than the look-back window
    storage.setAttributedText(AttributedText("a\n" + flags + "e\u0301x"));
    view.setCaret(storage.length() - 1);
    ASSERT_TRUE(view.deleteBackward());  // "e" with its accent
    EXPECT_TRUE(storage.text().endsWith(flags + "x"));
    ASSERT_TRUE(view.deleteBackward());  // one flag: two regional indicators
    EXPECT_TRUE(storage.text().endsWith(QString("\U0001F1EB\U0001F1F7").repeated(199) + "x"));
    view.setCaret(2);
    ASSERT_TRUE(view.deleteForward());
    EXPECT_EQ(storage.text().mid(2, 4), QString("\U0001F1EB\U0001F1F7").repeated(1));
    view.setCaret(2);
    ASSERT_TRUE(view.deleteBackward());  // the line break alone
    EXPECT_TRUE(storage.text().startsWith("a\U0001F1EB"));
}

namespace {

// Paragraphs of 40 characters, every third a list-like line in its own paragraph style.
AttributedText longText(qsizetype atLeast, QChar fill)
{
    TextAttributes indented;
    indented.paragraphStyle = ParagraphStyle{3, 0, 18};
    AttributedText text;
    for (int i = 0; text.length() < atLeast; ++i)
        text.append(QString(39, fill) + u'\n', i % 3 == 0 ? indented : TextAttributes{});
    return text;
}

void fill(DocumentTextStorage& storage)
{
    for (int turns = 0; storage.isFilling() && turns < 1000; ++turns) QCoreApplication::processEvents();
}

}  // namespace

TEST(TextStorageTest, LongInsertionsEnterTheDocumentInSlicesAndEndAsTheText)
{
    // Into the middle of a text, as a paste: the storage holds it all at once, the document a slice per
    // turn; a change of paragraph styles across the filled and the waiting part, and one only in the
    // text after it, land where they belong.
    DocumentTextStorage storage;
    storage.replace(0, 0, AttributedText(QStringLiteral("head\ntail line")));
    const AttributedText big = longText(DocumentTextStorage::fillAtOnce + 3 * DocumentTextStorage::fillSlice, u'x');
    int grew = 0;
    int filled = 0;
    QObject::connect(&storage, &DocumentTextStorage::documentGrew, [&] { ++grew; });
    QObject::connect(&storage, &DocumentTextStorage::filled, [&] { ++filled; });
    storage.replace(5, 0, big);
    EXPECT_EQ(storage.length(), big.length() + 14);
    ASSERT_TRUE(storage.isFilling());
    EXPECT_LE(storage.document()->characterCount(), DocumentTextStorage::fillSlice + 200);
    EXPECT_TRUE(storage.document()->toPlainText().endsWith(QStringLiteral("tail line")));
    TextAttributes wide;
    wide.paragraphStyle = ParagraphStyle{1, 2, 30};
    storage.setParagraphStyles({{0, 50, wide.paragraphStyle}, {storage.pendingFrom() + 80, 40, wide.paragraphStyle}});
    storage.setParagraphStyles({{storage.length() - 4, 4, wide.paragraphStyle}});
    QCoreApplication::processEvents();
    EXPECT_GE(grew, 1);
    fill(storage);
    EXPECT_FALSE(storage.isFilling());
    EXPECT_EQ(filled, 1);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
    EXPECT_TRUE(blockFormatsFollowTheText(storage));
    EXPECT_EQ(storage.foreignChanges(), 0);
}

TEST(TextStorageTest, AnExtendedTextEntersAsItsNewEndAlone)
{
    // A text that begins with the whole of the one held (a note's body grown at its end): only the end
    // is an insertion, the document keeps what it shows and takes the end a slice per turn; a text
    // that only looks like that (other attributes before the end) changes nothing.
    DocumentTextStorage storage;
    const AttributedText head = longText(DocumentTextStorage::fillSlice, u'h');
    storage.setAttributedText(head);
    fill(storage);
    int removedFromDocument = 0;
    QObject::connect(storage.document(), &QTextDocument::contentsChange, [&](int, int removed, int added) {
        removedFromDocument += removed > added ? removed - added : 0;
    });
    AttributedText longer = head;
    longer.append(longText(2 * DocumentTextStorage::fillAtOnce, u'e'));
    std::vector<std::tuple<qsizetype, qsizetype, qsizetype>> changes;
    QObject::connect(&storage, &TextStorage::changed, [&](qsizetype start, qsizetype removed, qsizetype added) {
        changes.emplace_back(start, removed, added);
    });

    AttributedText other = longer;
    other.setAttributes(0, 1, styles()[1]);
    storage.extend(other);
    storage.extend(head);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(storage.attributedText(), head);

    storage.extend(longer);
    EXPECT_EQ(changes, (std::vector<std::tuple<qsizetype, qsizetype, qsizetype>>{
                           {head.length(), 0, longer.length() - head.length()}}));
    EXPECT_EQ(storage.attributedText(), longer);
    ASSERT_TRUE(storage.isFilling());
    EXPECT_LT(storage.document()->characterCount(), head.length() + 2 * DocumentTextStorage::fillSlice);
    EXPECT_EQ(removedFromDocument, 0) << "the text shown stays as it was laid out";
    fill(storage);
    EXPECT_EQ(storage.readDocument(), longer);
    EXPECT_TRUE(blockFormatsFollowTheText(storage));
    EXPECT_EQ(storage.foreignChanges(), 0);
}

TEST(TextStorageTest, AnEditWhileFillingNeverMixesPositions)
{
    // Typing, undo or a load while a long text is still entering: an edit inside the stretch still to
    // come joins it, and the document ends up holding exactly the text.
    DocumentTextStorage storage;
    const AttributedText big = longText(DocumentTextStorage::fillAtOnce * 2, u'y');
    storage.setAttributedText(big);
    ASSERT_TRUE(storage.isFilling());
    storage.replace(storage.length() - 1, 0, AttributedText(QStringLiteral("typed")));
    EXPECT_TRUE(storage.isFilling());
    fill(storage);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());

    storage.setAttributedText(longText(DocumentTextStorage::fillAtOnce + 10, u'z'));
    storage.setAttributedText(AttributedText(QStringLiteral("short again")));
    EXPECT_FALSE(storage.isFilling());
    EXPECT_EQ(storage.document()->toPlainText(), QStringLiteral("short again"));
    EXPECT_TRUE(blockFormatsFollowTheText(storage));

    // One line longer than a slice is cut between characters, never inside a surrogate pair.
    const QString emoji = QStringLiteral("\U0001F600");
    QString line;
    while (line.size() < DocumentTextStorage::fillAtOnce + DocumentTextStorage::fillSlice) line += u'a' + emoji;
    storage.setAttributedText(AttributedText(line));
    fill(storage);
    EXPECT_EQ(storage.document()->toPlainText(), line);
}

TEST(TextStorageTest, ATextTooTallToShowIsHeldBackAndKeptWholeThroughEdits)
{
    // Laid out at a width, a document stops growing at its tallest: the rest stays in the storage.
    // Edits of the shown text land in the document; one that reaches into the held-back text keeps its
    // result out of it; the document always shows the storage minus the held-back stretch.
    DocumentTextStorage storage;
    storage.document()->setTextWidth(300);
    storage.setMaxShownHeight(4000);
    auto shownIsTheTextAroundTheHeldBackPart = [&] {
        const QString& t = storage.text();
        const QString expected =
            t.left(storage.pendingFrom()) + t.mid(storage.pendingFrom() + storage.heldBackLength());
        return storage.document()->toPlainText() == expected;
    };
    storage.replace(0, 0, AttributedText(QStringLiteral("top\nbottom line")));
    const AttributedText big = longText(DocumentTextStorage::fillAtOnce + 2 * DocumentTextStorage::fillSlice, u'q');
    storage.replace(4, 0, big);
    fill(storage);
    ASSERT_TRUE(storage.isHeldBack());
    EXPECT_FALSE(storage.isFilling());
    EXPECT_EQ(storage.length(), big.length() + 15);
    EXPECT_GT(storage.heldBackLength(), 0);
    EXPECT_TRUE(shownIsTheTextAroundTheHeldBackPart());
    EXPECT_EQ(storage.toText(storage.toDocument(2)), 2);
    EXPECT_EQ(storage.toDocument(storage.length()), storage.document()->characterCount() - 1);

    storage.replace(1, 1, AttributedText(QStringLiteral("OO")));                      // shown, before
    storage.replace(storage.length() - 4, 4, AttributedText(QStringLiteral("END")));  // shown, after
    EXPECT_TRUE(shownIsTheTextAroundTheHeldBackPart());
    storage.replace(storage.pendingFrom() - 5, 10, AttributedText(QStringLiteral("across")));
    EXPECT_TRUE(shownIsTheTextAroundTheHeldBackPart());
    EXPECT_TRUE(storage.text().endsWith(QStringLiteral("bottom END")));
    EXPECT_EQ(storage.foreignChanges(), 0);

    storage.setAttributedText(AttributedText(QStringLiteral("short")));
    EXPECT_FALSE(storage.isHeldBack());
    EXPECT_EQ(storage.document()->toPlainText(), QStringLiteral("short"));
}

TEST(TextStorageTest, EditsWhileALongTextFillsLandAtOnceAndTheFillGoesOn)
{
    // Typing beside the stretch still to come lands in the document without forcing the rest in; a long
    // edit joins the stretch. The document is always the text minus the stretch, and whole at the end.
    DocumentTextStorage storage;
    auto shownIsTheTextAroundThePendingPart = [&] {
        const QString& t = storage.text();
        return storage.document()->toPlainText() ==
               t.left(storage.pendingFrom()) + t.mid(storage.pendingFrom() + storage.pendingLength());
    };
    storage.replace(0, 0, AttributedText(QStringLiteral("top\nbottom")));
    const AttributedText big = longText(DocumentTextStorage::fillAtOnce + 4 * DocumentTextStorage::fillSlice, u'f');
    storage.replace(4, 0, big);
    ASSERT_TRUE(storage.isFilling());
    const qsizetype pending = storage.pendingLength();

    storage.replace(1, 0, AttributedText(QStringLiteral("\U0001F600")));        // before the stretch
    storage.replace(storage.length(), 0, AttributedText(QStringLiteral("Z")));  // after it: the caret at the end
    EXPECT_TRUE(storage.isFilling());
    // Only the line break that starts the line typed in enters beside it.
    EXPECT_EQ(storage.pendingLength(), pending - 1);
    EXPECT_TRUE(shownIsTheTextAroundThePendingPart());
    // The shown end means the true end while filling, so the end key and typing there reach it.
    EXPECT_EQ(storage.toText(storage.document()->characterCount() - 1), storage.length());

    // A long paste after the stretch joins it, the shown text between included, and enters once.
    const AttributedText more = longText(2 * DocumentTextStorage::fillSlice, u'm');
    storage.replace(storage.length() - 3, 1, more);
    EXPECT_TRUE(shownIsTheTextAroundThePendingPart());
    fill(storage);
    EXPECT_FALSE(storage.isFilling());
    EXPECT_EQ(storage.document()->toPlainText(), storage.text());
    EXPECT_TRUE(storage.text().startsWith(QStringLiteral("t\U0001F600op\nfff")));
    EXPECT_TRUE(storage.text().endsWith(QStringLiteral("mmm\nmZ")));
    EXPECT_EQ(storage.foreignChanges(), 0);
}

TEST(TextStorageTest, TypingAtTheShownEndOfAHeldBackTextLandsWhereItShows)
{
    DocumentTextStorage storage;
    storage.document()->setTextWidth(300);
    storage.setMaxShownHeight(4000);
    storage.replace(0, 0, longText(DocumentTextStorage::fillAtOnce + 2 * DocumentTextStorage::fillSlice, u'h'));
    fill(storage);
    ASSERT_TRUE(storage.isHeldBack());
    const qsizetype shownEnd = storage.document()->characterCount() - 1;
    const qsizetype at = storage.toText(shownEnd);
    EXPECT_EQ(at, storage.pendingFrom());
    storage.replace(at, 0, AttributedText(QStringLiteral("WY")));
    EXPECT_TRUE(storage.document()->toPlainText().endsWith(QStringLiteral("WY")));
    EXPECT_EQ(storage.text().mid(at, 2), QStringLiteral("WY"));
    EXPECT_EQ(storage.text().mid(storage.pendingFrom() - 2, 2), QStringLiteral("WY"));
}
