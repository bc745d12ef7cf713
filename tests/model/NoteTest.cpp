#include <gtest/gtest.h>

#include <QLocale>
#include <memory>

#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"

namespace {

std::unique_ptr<Note> makeNote(const QString& title = QString(), const QString& body = QString())
{
    return std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                  QDateTime::currentDateTimeUtc());
}

QUuid someImage()
{
    return QUuid::createUuid();
}

// Stored rows rely on these: a fresh identity per note, and the schema defaults of a row made for loading.
TEST(NoteTest, NewNotesAndLoadedRowsStartFromTheirDefaults)
{
    EXPECT_NE(makeNote()->uuid(), makeNote()->uuid());
    const auto fresh = makeNote();
    EXPECT_EQ(fresh->createdAt(), fresh->updatedAt());

    std::unique_ptr<ManagedObject> loaded(Note::entityDescription().make());
    auto* row = qobject_cast<Note*>(loaded.get());
    ASSERT_TRUE(row);
    EXPECT_EQ(row->tintRaw(), "blue");
    EXPECT_EQ(row->opacityRaw(), "solid");
    EXPECT_FALSE(row->isTrashed());
    EXPECT_FALSE(row->dayKey());
}

TEST(NoteTest, TintReadsUnknownTextAsBlue)
{
    auto note = makeNote();
    for (const char* raw : {"", "red", "Rose", "rose "}) {
        note->setTintRaw(QString::fromLatin1(raw));
        EXPECT_EQ(note->tint(), Tint::blue) << raw;
    }
}

TEST(NoteTest, DisplayTitleFallsThroughTitleDayBodyAndDefault)
{
    auto note = makeNote("  Groceries \n", "milk");
    EXPECT_EQ(note->displayTitle(), "Groceries");

    note->setTitle(" \n ");
    note->setDayKey("2024-03-05");
    EXPECT_EQ(note->displayTitle(), *Note::formattedDay("2024-03-05"));
    EXPECT_FALSE(note->displayTitle().isEmpty());

    note->setDayKey("March 5th");
    EXPECT_EQ(note->displayTitle(), "milk");

    note->setBody("\n\n  first line \nsecond");
    EXPECT_EQ(note->displayTitle(), "first line");
    note->setBody("\n   \nsecond");
    EXPECT_EQ(note->displayTitle(), "New Note");
    note->setBody(QString());
    EXPECT_EQ(note->displayTitle(), "New Note");

    EXPECT_EQ(makeNote(" \t")->lockedTitle(), "Private note");
    EXPECT_EQ(makeNote("  word  ")->lockedTitle(), "word");
}

TEST(NoteTest, DayKeysIgnoreTheUserLocaleAndCalendar)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(Note::dateFromDayKey("2024-02-29"), QDate(2024, 2, 29));
    QLocale::setDefault(saved);

    EXPECT_FALSE(Note::dateFromDayKey("2023-02-29"));
    EXPECT_FALSE(Note::dateFromDayKey(""));
    EXPECT_FALSE(Note::formattedDay("05/03/2024"));
}

TEST(NoteTest, ContentEmptiness)
{
    auto note = makeNote(" ", " \n\t");
    EXPECT_TRUE(note->isContentEmpty());
    note->setIsLocked(true);
    EXPECT_TRUE(note->isContentEmpty()) << "locked without a sealed payload is judged by its text";
    note->setLockedCipher(QByteArray("sealed"));
    EXPECT_FALSE(note->isContentEmpty());
    note->setIsLocked(false);
    EXPECT_TRUE(note->isContentEmpty()) << "a payload alone does not count when the note is not locked";

    EXPECT_FALSE(makeNote("x")->isContentEmpty());
    auto picture = makeNote();
    picture->setBlocks({NoteBlock::image({someImage(), ImageSizing::makeFit()})});
    EXPECT_FALSE(picture->isContentEmpty()) << "a picture is content";
}

TEST(NoteTest, FrameCountsOnlyWhenComplete)
{
    auto note = makeNote();
    EXPECT_FALSE(note->frameOnDesktop());
    note->setFrameOnDesktop(QRectF(10, 20, 300, 400));
    EXPECT_EQ(note->frameOnDesktop(), QRectF(10, 20, 300, 400));
    note->setFrameH(std::nullopt);
    EXPECT_FALSE(note->frameOnDesktop());
    EXPECT_EQ(note->frameX(), 10.0);
    note->setFrameOnDesktop(std::nullopt);
    EXPECT_FALSE(note->frameX() || note->frameY() || note->frameW() || note->frameH());
}

TEST(NoteTest, BlocksFallBackToThePlainBody)
{
    auto note = makeNote(QString(), "one\ntwo");
    const auto first = note->blocks();
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first[0].textRuns()->text, "one\ntwo");
    EXPECT_TRUE(first[0].textRuns()->runs.isEmpty());
    EXPECT_NE(note->blocks()[0].id, first[0].id) << "the fall-back id is not stored";

    note->setBodyBlocksData(QByteArray(R"({"version":2,"blocks":[]})"));
    EXPECT_EQ(note->blocks()[0].textRuns()->text, "one\ntwo");
    note->setBodyBlocksData(QByteArray("{broken"));
    EXPECT_EQ(note->blocks()[0].textRuns()->text, "one\ntwo");
    note->setBodyBlocksData(QByteArray(R"({"version":1,"blocks":[]})"));
    EXPECT_TRUE(note->blocks().isEmpty());
}

TEST(NoteTest, SetBlocksWritesEnvelopeProjectionAndDropsLegacyBody)
{
    auto note = makeNote();
    note->setBodyRichData(QByteArray("legacy"));
    const QVector<NoteBlock> blocks = {NoteBlock::text({"ab", {}}),
                                       NoteBlock::image({someImage(), ImageSizing::makeFit()}),
                                       NoteBlock::text({QString(), {}})};
    ASSERT_TRUE(note->setBlocks(blocks));
    EXPECT_EQ(note->body(), "ab\n\uFFFC\n");
    EXPECT_FALSE(note->bodyRichData());
    EXPECT_EQ(note->blocks(), blocks);

    ASSERT_TRUE(note->setBlocks({}));
    EXPECT_EQ(note->body(), QString());
    EXPECT_EQ(*note->bodyBlocksData(), QByteArray(R"({"blocks":[],"version":1})"));

    // An unencodable list leaves everything as it was.
    note->setBodyRichData(QByteArray("legacy"));
    const auto before = note->bodyBlocksData();
    EXPECT_FALSE(note->setBlocks({NoteBlock::image({someImage(), ImageSizing::makeFraction(qInf())})}));
    EXPECT_EQ(note->bodyBlocksData(), before);
    EXPECT_TRUE(note->bodyRichData());
}

TEST(NoteTest, AppendPlainReportsRangesInUtf16Units)
{
    auto note = makeNote();
    const TextRuns::Run bold{.len = 3, .b = true};
    const NoteBlock abc = NoteBlock::text({"abc", {bold}});
    ASSERT_TRUE(note->setBlocks({abc}));
    auto r = note->appendPlain("de");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->blockID, abc.id);
    EXPECT_EQ(r->range, (Note::TextRange{4, 2}));
    EXPECT_EQ(note->blocks()[0].textRuns()->text, "abc\nde");
    EXPECT_EQ(note->blocks()[0].textRuns()->runs, QVector<TextRuns::Run>{bold}) << "appended text carries no marks";
    EXPECT_EQ(note->body(), "abc\nde");

    // An envelope written by someone else (a restore, a reveal) is what the next append reads.
    note->setBodyBlocksData(*NoteBlockEnvelope::encode({NoteBlock::text({"other", {}})}));
    ASSERT_TRUE(note->appendPlain("z"));
    EXPECT_EQ(note->body(), "other\nz");

    // An emoji is two UTF-16 units, and so is appended text outside the basic plane.
    ASSERT_TRUE(note->setBlocks({NoteBlock::text({"\U0001F600", {}})}));
    r = note->appendPlain("\U0001F44Dx");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->range, (Note::TextRange{3, 3}));

    // Empty last text block: replaced, keeping its id.
    const NoteBlock empty = NoteBlock::text({});
    ASSERT_TRUE(note->setBlocks({NoteBlock::image({someImage(), ImageSizing::makeFit()}), empty}));
    r = note->appendPlain("xy");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->blockID, empty.id);
    EXPECT_EQ(r->range, (Note::TextRange{0, 2}));

    // A picture last: a new text block after it.
    ASSERT_TRUE(note->setBlocks({NoteBlock::image({someImage(), ImageSizing::makeFit()})}));
    r = note->appendPlain("xy");
    ASSERT_TRUE(r);
    const auto after = note->blocks();
    ASSERT_EQ(after.size(), 2);
    EXPECT_EQ(after[1].id, r->blockID);
    EXPECT_EQ(note->body(), "\uFFFC\nxy");

    // No blocks at all: one new text block.
    ASSERT_TRUE(note->setBlocks({}));
    r = note->appendPlain("hello");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->range, (Note::TextRange{0, 5}));
    EXPECT_EQ(note->blocks().size(), 1);

    // A plain note without an envelope appends to its body.
    auto plain = makeNote(QString(), "old");
    r = plain->appendPlain("new");
    ASSERT_TRUE(r);
    EXPECT_EQ(plain->body(), "old\nnew");
    EXPECT_TRUE(plain->bodyBlocksData());
}

TEST(NoteTest, AppendPlainRefusesBodiesItWouldDestroy)
{
    const QByteArray newer(R"({"version":7,"blocks":[{"future":true}]})");
    const QByteArray corrupt(R"({"version":1,"blocks":[{"type":"mystery"}]})");
    struct Case {
        std::optional<QByteArray> blocks;
        std::optional<QByteArray> legacy;
        Note::AppendError expected;
    };
    for (const Case& c : {Case{newer, std::nullopt, Note::AppendError::newerVersion},
                          Case{corrupt, std::nullopt, Note::AppendError::corrupt},
                          Case{std::nullopt, QByteArray("archived rich text"), Note::AppendError::legacyBody}}) {
        auto note = makeNote(QString(), "kept");
        note->setBodyBlocksData(c.blocks);
        note->setBodyRichData(c.legacy);
        const auto r = note->appendPlain("captured");
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error(), c.expected);
        EXPECT_EQ(note->bodyBlocksData(), c.blocks);
        EXPECT_EQ(note->bodyRichData(), c.legacy);
        EXPECT_EQ(note->body(), "kept");
    }

    // Sealed content has no body in the clear; an append would become the note's whole body.
    auto sealed = makeNote("Private", QString());
    sealed->setIsLocked(true);
    sealed->setLockedCipher(QByteArray("sealed payload"));
    const auto r = sealed->appendPlain("captured");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), Note::AppendError::sealed);
    EXPECT_FALSE(sealed->bodyBlocksData());
    EXPECT_TRUE(sealed->body().isEmpty());
}

}  // namespace
