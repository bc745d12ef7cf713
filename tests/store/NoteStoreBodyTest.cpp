#include "model/support/KeyedArchiveWriter.h"
#include "support/NoteStoreFixture.h"

namespace {

using NoteStoreBodyTest = tarnwick::test::NoteStoreTestBase;
const QChar pic(0xFFFC);
constexpr qint64 grace = 172800;

// A legacy rich body: `text`, with the n-th U+FFFC carrying the n-th picture.
QByteArray legacyArchive(const QString& text, const QList<QByteArray>& pictures)
{
    KeyedArchiveWriter w;
    const auto plain = w.dictionary({});
    std::vector<std::pair<qsizetype, KeyedArchiveWriter::Uid>> runs;
    qsizetype next = 0;
    for (QChar c : text) {
        if (c == pic)
            runs.emplace_back(1, w.dictionary({{"NSAttachment", w.attachment(pictures.at(next++))}}));
        else if (!runs.empty() && runs.back().second.value == plain.value)
            ++runs.back().first;
        else
            runs.emplace_back(1, plain);
    }
    return w.finish(w.attributedString(text, runs));
}

TEST_F(NoteStoreBodyTest, PicturesAreStoredOncePerContentWithinANote)
{
    Note* note = addNote("a");
    const QUuid other = addNote("b")->uuid();
    QHash<QString, NoteImage*> reuse = store->rowsByHash(note->uuid());
    NoteImage* red = store->insertImageRow(png(Qt::red), note->uuid(), reuse);
    ASSERT_TRUE(red);
    EXPECT_EQ(red->contentHash(), NoteImage::hash(*red->data()));
    EXPECT_EQ(red->createdAt(), now());
    EXPECT_EQ(store->insertImageRow(png(Qt::red), note->uuid(), reuse), red);
    EXPECT_NE(store->insertImageRow(png(Qt::blue), note->uuid(), reuse), red);
    EXPECT_EQ(store->insertImageRow(QByteArray("not a picture"), note->uuid(), reuse), nullptr);
    EXPECT_EQ(store->images(note->uuid()).size(), 2);

    QHash<QString, NoteImage*> again = store->rowsByHash(note->uuid());
    EXPECT_EQ(store->insertImageRow(png(Qt::red), note->uuid(), again), red);
    QHash<QString, NoteImage*> theirs = store->rowsByHash(other);
    NoteImage* otherRed = store->insertImageRow(png(Qt::red), other, theirs);
    EXPECT_NE(otherRed, red) << "never shared between notes";

    // A row that lost its bytes does not stand in for the picture added again.
    red->setData(std::nullopt);
    QHash<QString, NoteImage*> withoutBytes = store->rowsByHash(note->uuid());
    EXPECT_NE(store->insertImageRow(png(Qt::red), note->uuid(), withoutBytes), red);
    EXPECT_EQ(store->revision(), 0) << "storing pictures saves nothing";
}

TEST_F(NoteStoreBodyTest, LegacyBodiesBecomeBlocksWithOneRowPerPicture)
{
    const QString body = QStringLiteral("Before\n%1\n%1\nAfter").arg(pic);
    const QByteArray archive = legacyArchive(body, {png(Qt::red), png(Qt::red)});
    Note* legacy = addNote("legacy", body);
    legacy->setBodyRichData(archive);
    EXPECT_TRUE(store->ensureMigrated(*legacy));
    EXPECT_EQ(shape(legacy->blocks()), (QStringList{"T:Before", "I", "I", "T:After"}));
    const QList<NoteImage*> pictures = store->images(legacy->uuid());
    ASSERT_EQ(pictures.size(), 1) << "identical pictures share one row";
    EXPECT_EQ(legacy->blocks()[1].imagePlacement()->imageID, pictures[0]->uuid());
    EXPECT_EQ(legacy->blocks()[2].imagePlacement()->imageID, pictures[0]->uuid());
    EXPECT_EQ(legacy->bodyRichData(), archive) << "kept for later healing";
    EXPECT_EQ(store->revision(), 0) << "the callers save";

    legacy->setBodyBlocksData(QByteArray("{broken"));
    EXPECT_FALSE(store->ensureMigrated(*legacy)) << "converted once, even when the envelope broke since";

    // A body whose second picture will not store stays legacy, and keeps the row of the first.
    const QString two = QStringLiteral("%1\n%1").arg(pic);
    Note* stuck = addNote("stuck", two);
    stuck->setBodyRichData(legacyArchive(two, {png(Qt::green), QByteArray("not a picture")}));
    EXPECT_FALSE(store->ensureMigrated(*stuck));
    EXPECT_FALSE(stuck->bodyBlocksData());
    EXPECT_TRUE(log.contains("blocks: a body was left as it was — one of its pictures would not store"));
    store->sweepOrphanImages(now());
    EXPECT_EQ(store->images(stuck->uuid()).size(), 1);

    // At start-up: every unconverted unlocked note, one log line, one save.
    addNote("plain", "plain text");
    addNote("locked", "in the clear")->setIsLocked(true);
    store->migrateLegacyBodies();
    EXPECT_TRUE(log.contains("blocks: migrated 1 note body/bodies"));
    const qint64 revision = store->revision();
    store->migrateLegacyBodies();
    EXPECT_EQ(store->revision(), revision);
    EXPECT_EQ(sql("SELECT title FROM Note WHERE bodyBlocksData IS NULL ORDER BY title"), "locked");
}

// A sealed note has no body in the clear: an envelope or a plain picture written into it would be
// sealed over the real content at the next seal.
TEST_F(NoteStoreBodyTest, NothingIsWrittenIntoSealedContent)
{
    Note* note = addNote("private", "secret");
    addImage(note->uuid());
    seal(*note);
    store->saveNow();
    EXPECT_FALSE(store->ensureMigrated(*note));
    store->migrateLegacyBodies();
    store->reconcileForSync();
    QHash<QString, NoteImage*> reuse = store->rowsByHash(note->uuid());
    EXPECT_EQ(store->insertImageRow(png(Qt::blue), note->uuid(), reuse), nullptr);
    EXPECT_FALSE(note->bodyBlocksData());
    EXPECT_EQ(store->images(note->uuid()).size(), 1);
    EXPECT_EQ(store->revision(), 1);
}

TEST_F(NoteStoreBodyTest, HealingRepairsBodiesAndMarksNewerOnesReadOnly)
{
    const QByteArray newer(R"({"version":2,"blocks":[{"future":true}]})");
    Note* future = addNote("future", "from a newer build");
    future->setBodyBlocksData(newer);
    // The envelope lost a line the plain body still has; its picture placement is salvaged.
    Note* drifted = addNote("drifted");
    NoteImage* picture = addImage(drifted->uuid());
    QVector<NoteBlock> stored = blocks({"T:first", "I:0"}, {picture});
    stored[1].imagePlacement()->sizing = ImageSizing::makeFraction(0.5);
    drifted->setBlocks(stored);
    drifted->setBody(QStringLiteral("first\nsecond\n%1").arg(pic));
    addNote("fine")->setBlocks(blocks({"T:fine"}));
    // The same text in another normal form is no drift: its bold run stays.
    Note* accented = addNote("accented");
    accented->setBlocks({NoteBlock::text(TextRuns{"e\u0301", {{.len = 2, .b = true}}})});
    accented->setBody("\u00e9");
    const QUuid futureID = future->uuid(), driftedID = drifted->uuid(), pictureID = picture->uuid();
    const QUuid accentedID = accented->uuid();
    open();

    store->reconcileForSync();
    EXPECT_EQ(store->readOnlyNoteIDs(), QSet<QUuid>{futureID});
    EXPECT_EQ(log.count("note body is envelope v2; read-only on this build"), 1);
    EXPECT_EQ(store->note(futureID)->bodyBlocksData(), newer);
    const QVector<NoteBlock> healed = store->note(driftedID)->blocks();
    EXPECT_EQ(shape(healed), (QStringList{"T:first\nsecond", "I"}));
    EXPECT_EQ(healed[1].imagePlacement()->imageID, pictureID);
    EXPECT_EQ(healed[1].imagePlacement()->sizing, ImageSizing::makeFraction(0.5));
    EXPECT_EQ(store->note(accentedID)->blocks().first().textRuns()->runs.size(), 1);
    EXPECT_EQ(store->revision(), 1);
    store->reconcileForSync();
    EXPECT_EQ(store->revision(), 1) << "nothing left to repair: nothing saved";
}

// Rebuilt from the plain body alone, a note with a corrupt envelope would lose its pictures to the
// orphan sweep: its own rows go back to its U+FFFC lines.
TEST_F(NoteStoreBodyTest, HealingACorruptEnvelopeKeepsThePictures)
{
    const QString body = QStringLiteral("Trip\n%1\nand\n%1").arg(pic);
    Note* note = addNote("album", body);
    const QUuid first = addImage(note->uuid(), Qt::red)->uuid();
    clock.advance(1000);
    const QUuid second = addImage(note->uuid(), Qt::blue)->uuid();
    note->setBodyBlocksData(QByteArray(R"({"version":1,"blocks":[{"type":"mystery"}]})"));
    Note* plain = addNote("plain", "just text");
    plain->setBodyBlocksData(QByteArray("{broken"));

    store->reconcileForSync();
    store->sweepOrphanImages(now());
    const QVector<NoteBlock> healed = note->blocks();
    ASSERT_EQ(shape(healed), (QStringList{"T:Trip", "I", "T:and", "I"}));
    EXPECT_EQ(healed[1].imagePlacement()->imageID, first);
    EXPECT_EQ(healed[3].imagePlacement()->imageID, second);
    EXPECT_EQ(imageIDs(), (QSet<QUuid>{first, second}));
    EXPECT_EQ(note->body(), body);
    EXPECT_EQ(shape(plain->blocks()), QStringList{"T:just text"});
}

TEST_F(NoteStoreBodyTest, OrphanSweepGivesOwnerlessPicturesFortyEightHours)
{
    const QString key = "images.orphanFirstSeen";
    NoteImage* ownerless = addImage(QUuid::createUuid(), Qt::red);
    Note* owner = addNote("owner");
    NoteImage* named = addImage(owner->uuid(), Qt::red);
    NoteImage* dropped = addImage(owner->uuid(), Qt::blue);
    owner->setBlocks(blocks({"I:0"}, {named}));
    Note* locked = addNote("locked");
    NoteImage* sealedRow = addImage(locked->uuid(), Qt::red);
    seal(*locked);
    Note* unreadable = addNote("unreadable");
    NoteImage* kept = addImage(unreadable->uuid(), Qt::red);
    unreadable->setBodyBlocksData(QByteArray("{broken"));
    const QSet<QUuid> survivors{named->uuid(), sealedRow->uuid(), kept->uuid()};
    const QString ownerlessKey = ownerless->uuid().toString(QUuid::WithoutBraces).toUpper();

    store->sweepOrphanImages(now());
    EXPECT_TRUE(dropped->isDeleted()) << "a row its unlocked owner no longer names goes at once";
    EXPECT_EQ(imageIDs(), survivors + QSet<QUuid>{ownerless->uuid()});
    EXPECT_TRUE(log.contains("blocks: collected 1 orphaned image row(s)"));
    const QVariantMap firstSeen = settings.value(key).toMap();
    EXPECT_EQ(firstSeen, (QVariantMap{{ownerlessKey, double(now().toSecsSinceEpoch())}}));

    clock.advance((grace - 1) * 1000);
    store->sweepOrphanImages(now());
    EXPECT_FALSE(ownerless->isDeleted());
    EXPECT_EQ(settings.value(key).toMap(), firstSeen);
    clock.advance(1000);
    store->sweepOrphanImages(now());
    EXPECT_EQ(imageIDs(), survivors) << "exactly 48 hours is enough";
    EXPECT_FALSE(settings.contains(key));

    // A row that finds its owner again leaves the map.
    NoteImage* stray = addImage(QUuid::createUuid(), Qt::green);
    store->sweepOrphanImages(now());
    stray->setNoteUUID(unreadable->uuid());
    store->sweepOrphanImages(now());
    EXPECT_FALSE(settings.contains(key));
    EXPECT_FALSE(stray->isDeleted());

    // No picture rows at all: a stale map is removed.
    settings.setValue(key, QVariantMap{{"X", 1.0}});
    for (NoteImage* row : rows<NoteImage>()) context().remove(row);
    store->sweepOrphanImages(now());
    EXPECT_FALSE(settings.contains(key));
}

// A failed fetch of the notes says nothing about which pictures have owners.
TEST_F(NoteStoreBodyTest, OrphanSweepStopsWhenTheNotesCannotBeRead)
{
    Note* note = addNote("owner");
    NoteImage* picture = addImage(note->uuid());
    note->setBlocks(blocks({"I:0"}, {picture}));
    const QUuid pictureID = picture->uuid();
    open();
    const QVariantMap firstSeen{{"SOMETHING", 1.0}};
    settings.setValue("images.orphanFirstSeen", firstSeen);
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "ALTER TABLE Note RENAME TO Hidden"));

    store->sweepOrphanImages(now().addSecs(10 * grace));
    EXPECT_EQ(imageIDs(), QSet<QUuid>{pictureID});
    EXPECT_EQ(settings.value("images.orphanFirstSeen").toMap(), firstSeen);
}

TEST_F(NoteStoreBodyTest, ClosingANoteCollectsThePicturesItNoLongerNames)
{
    Note* note = addNote("open");
    NoteImage* keep = addImage(note->uuid(), Qt::red);
    NoteImage* drop = addImage(note->uuid(), Qt::blue);
    note->setBlocks(blocks({"I:0"}, {keep}));
    Note* locked = addNote("locked");
    NoteImage* lockedRow = addImage(locked->uuid(), Qt::blue);
    locked->setBlocks(blocks({"T:nothing named"}));
    locked->setIsLocked(true);

    store->collectOrphanImages(locked->uuid());
    EXPECT_FALSE(lockedRow->isDeleted());
    store->collectOrphanImages(note->uuid());
    EXPECT_TRUE(drop->isDeleted());
    EXPECT_FALSE(keep->isDeleted());
    EXPECT_EQ(store->revision(), 1);
    EXPECT_TRUE(log.contains("blocks: closing a note collected 1 picture(s) it no longer names"));
}

}  // namespace
