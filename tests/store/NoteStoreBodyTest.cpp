#include "NoteStoreFixture.h"
#include "model/support/KeyedArchiveWriter.h"
#include "platform/StoreTestSupport.h"

namespace {

using NoteStoreBodyTest = NoteStoreFixture;
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
        if (c == pic) {
            runs.emplace_back(1, w.dictionary({{"NSAttachment", w.attachment(pictures.at(next++))}}));
        } else if (!runs.empty() && runs.back().second.value == plain.value) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, plain);
        }
    }
    return w.finish(w.attributedString(text, runs));
}

TEST_F(NoteStoreBodyTest, PicturesAreStoredOncePerContentWithinANote)
{
    Note* note = addNote(QStringLiteral("a"));
    Note* other = addNote(QStringLiteral("b"));
    clock.advance(1000);
    QHash<QString, NoteImage*> reuse = store->rowsByHash(note->uuid());
    NoteImage* red = store->insertImageRow(png(Qt::red), note->uuid(), reuse);
    ASSERT_TRUE(red);
    EXPECT_EQ(red->noteUUID(), note->uuid());
    EXPECT_EQ(red->contentHash(), NoteImage::hash(*red->data()));
    EXPECT_EQ(red->byteCount(), red->data()->size());
    EXPECT_EQ(red->pixelWidth(), 4);
    EXPECT_EQ(red->utType(), QStringLiteral("public.png"));
    EXPECT_EQ(red->createdAt(), now());
    EXPECT_EQ(store->insertImageRow(png(Qt::red), note->uuid(), reuse), red);
    EXPECT_NE(store->insertImageRow(png(Qt::blue), note->uuid(), reuse), red);
    EXPECT_EQ(store->insertImageRow(QByteArray("not a picture"), note->uuid(), reuse), nullptr);
    EXPECT_EQ(store->images(note->uuid()).size(), 2);

    // A fresh table over the stored rows finds the same row; another note gets a row of its own.
    QHash<QString, NoteImage*> again = store->rowsByHash(note->uuid());
    EXPECT_EQ(store->insertImageRow(png(Qt::red), note->uuid(), again), red);
    QHash<QString, NoteImage*> theirs = store->rowsByHash(other->uuid());
    NoteImage* otherRed = store->insertImageRow(png(Qt::red), other->uuid(), theirs);
    ASSERT_TRUE(otherRed);
    EXPECT_NE(otherRed, red);
    EXPECT_EQ(otherRed->contentHash(), red->contentHash());

    // A row that lost its bytes does not stand in for the picture added again.
    red->setData(std::nullopt);
    QHash<QString, NoteImage*> withoutBytes = store->rowsByHash(note->uuid());
    NoteImage* fresh = store->insertImageRow(png(Qt::red), note->uuid(), withoutBytes);
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh, red);
    EXPECT_TRUE(fresh->data());
    EXPECT_EQ(store->revision(), 0) << "storing pictures saves nothing";
}

TEST_F(NoteStoreBodyTest, PaperWidthForMigratedPictures)
{
    Note note;
    struct Case {
        std::optional<double> frameW;
        std::optional<double> windowWidth;
        double expected;
    };
    for (const Case& c :
         {Case{400, std::nullopt, 384}, Case{100, 500, 120}, Case{std::nullopt, 500, 484}, Case{std::nullopt, 50, 120},
          Case{std::nullopt, std::nullopt, 344}, Case{std::nullopt, 0, 344}, Case{std::nullopt, -10, 344}}) {
        note.setFrameW(c.frameW);
        if (c.windowWidth)
            settings.setValue(QStringLiteral("notes.windowWidth"), *c.windowWidth);
        else
            settings.remove(QStringLiteral("notes.windowWidth"));
        EXPECT_EQ(NoteStore::paperWidth(note, settings), c.expected)
            << c.frameW.value_or(-1) << " " << c.windowWidth.value_or(-1);
    }
}

TEST_F(NoteStoreBodyTest, LegacyBodiesBecomeBlocksWithOneRowPerPicture)
{
    const QString body = QStringLiteral("Before\n%1\n%1\nAfter").arg(pic);
    const QByteArray archive = legacyArchive(body, {png(Qt::red), png(Qt::red)});
    Note* legacy = addNote(QStringLiteral("legacy"), body);
    legacy->setBodyRichData(archive);
    store->saveNow();
    const qint64 revision = store->revision();

    EXPECT_TRUE(store->ensureMigrated(*legacy));
    EXPECT_EQ(shape(legacy->blocks()), (QStringList{"T:Before", "I", "I", "T:After"}));
    const QList<NoteImage*> rows = store->images(legacy->uuid());
    ASSERT_EQ(rows.size(), 1) << "identical pictures share one row";
    EXPECT_EQ(legacy->blocks()[1].imagePlacement()->imageID, rows[0]->uuid());
    EXPECT_EQ(legacy->blocks()[2].imagePlacement()->imageID, rows[0]->uuid());
    EXPECT_EQ(legacy->body(), body);
    EXPECT_EQ(legacy->bodyRichData(), archive) << "kept for later healing";
    EXPECT_EQ(store->revision(), revision) << "the callers save";

    // Converted once: a later call leaves the note alone, even when its envelope is unreadable.
    legacy->setBodyBlocksData(QByteArray("{broken"));
    EXPECT_FALSE(store->ensureMigrated(*legacy));
    EXPECT_EQ(legacy->bodyBlocksData(), QByteArray("{broken"));

    // A body whose second picture will not store stays legacy; the row of the first stays.
    const QString two = QStringLiteral("%1\n%1").arg(pic);
    Note* stuck = addNote(QStringLiteral("stuck"), two);
    stuck->setBodyRichData(legacyArchive(two, {png(Qt::green), QByteArray("not a picture")}));
    EXPECT_FALSE(store->ensureMigrated(*stuck));
    EXPECT_FALSE(stuck->bodyBlocksData());
    EXPECT_EQ(stuck->body(), two);
    EXPECT_EQ(store->images(stuck->uuid()).size(), 1);
    EXPECT_TRUE(
        log.contains(QStringLiteral("blocks: a body was left as it was — one of its pictures would not store")));
    store->sweepOrphanImages(now());
    EXPECT_EQ(store->images(stuck->uuid()).size(), 1) << "a body without an envelope keeps its pictures";
}

TEST_F(NoteStoreBodyTest, MigrateLegacyBodiesConvertsUnlockedNotesAndSavesOnce)
{
    addNote(QStringLiteral("one"), QStringLiteral("plain one"));
    addNote(QStringLiteral("two"), QStringLiteral("plain two"));
    Note* locked = addNote(QStringLiteral("locked"), QStringLiteral("in the clear"));
    locked->setIsLocked(true);
    Note* done = addNote(QStringLiteral("done"));
    done->setBlocks(blocks({"T:done"}));
    reopen();

    store->migrateLegacyBodies();
    EXPECT_EQ(store->revision(), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("blocks: migrated 2 note body/bodies")));
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT count(*) FROM Note WHERE bodyBlocksData IS NULL")),
              QStringLiteral("1"));

    log.clear();
    store->migrateLegacyBodies();
    EXPECT_EQ(store->revision(), 1);
    EXPECT_FALSE(log.contains(QStringLiteral("blocks: migrated")));
}

// A sealed note has no body in the clear; converting it would write an empty body that the next seal
// would put over the sealed one.
TEST_F(NoteStoreBodyTest, NothingIsWrittenIntoSealedContent)
{
    Note* note = addNote(QStringLiteral("private"), QStringLiteral("secret"));
    addImage(note->uuid());
    seal(*note);
    store->saveNow();
    const qint64 revision = store->revision();

    EXPECT_FALSE(store->ensureMigrated(*note));
    store->migrateLegacyBodies();
    store->reconcileForSync();
    QHash<QString, NoteImage*> reuse = store->rowsByHash(note->uuid());
    EXPECT_EQ(store->insertImageRow(png(Qt::blue), note->uuid(), reuse), nullptr);
    EXPECT_FALSE(note->bodyBlocksData());
    EXPECT_TRUE(note->body().isEmpty());
    EXPECT_EQ(store->images(note->uuid()).size(), 1);
    EXPECT_EQ(store->revision(), revision);
}

TEST_F(NoteStoreBodyTest, HealingRepairsBodiesAndMarksNewerOnesReadOnly)
{
    const QByteArray newer(R"({"version":2,"blocks":[{"future":true}]})");
    Note* future = addNote(QStringLiteral("future"), QStringLiteral("from a newer build"));
    future->setBodyBlocksData(newer);

    // The envelope lost a line the plain body still has; its picture placement is salvaged.
    Note* drifted = addNote(QStringLiteral("drifted"));
    NoteImage* picture = addImage(drifted->uuid());
    QVector<NoteBlock> stored = blocks({"T:first", "I:0"}, {picture});
    stored[1].imagePlacement()->sizing = ImageSizing::makeFraction(0.5);
    drifted->setBlocks(stored);
    drifted->setBody(QStringLiteral("first\nsecond\n%1").arg(pic));

    Note* fine = addNote(QStringLiteral("fine"));
    fine->setBlocks(blocks({"T:fine"}));
    const QByteArray fineBytes = *fine->bodyBlocksData();
    const QUuid futureID = future->uuid(), driftedID = drifted->uuid(), pictureID = picture->uuid();
    reopen();

    QSignalSpy readOnly(store.get(), &NoteStore::readOnlyNoteIDsChanged);
    store->reconcileForSync();
    EXPECT_EQ(store->readOnlyNoteIDs(), QSet<QUuid>{futureID});
    EXPECT_EQ(readOnly.count(), 1);
    EXPECT_EQ(log.count(QStringLiteral("note body is envelope v2; read-only on this build")), 1);
    EXPECT_EQ(store->note(futureID)->bodyBlocksData(), newer);
    EXPECT_EQ(store->note(futureID)->body(), QStringLiteral("from a newer build"));

    const QVector<NoteBlock> healed = store->note(driftedID)->blocks();
    EXPECT_EQ(shape(healed), (QStringList{"T:first\nsecond", "I"}));
    EXPECT_EQ(healed[1].imagePlacement()->imageID, pictureID);
    EXPECT_EQ(healed[1].imagePlacement()->sizing, ImageSizing::makeFraction(0.5));
    EXPECT_EQ(store->revision(), 1) << "the repair is saved";
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT count(*) FROM Note WHERE title = 'fine' AND "
                                                       "bodyBlocksData = x'%1'")
                                            .arg(QString::fromLatin1(fineBytes.toHex()))),
              QStringLiteral("1"));

    // Nothing left to repair: the next pass saves nothing.
    store->reconcileForSync();
    EXPECT_EQ(store->revision(), 1);
}

// A corrupt envelope can no longer name the note's pictures; rebuilt from the plain body alone, the
// note would lose them to the orphan sweep.
TEST_F(NoteStoreBodyTest, HealingACorruptEnvelopeKeepsThePictures)
{
    Note* note = addNote(QStringLiteral("album"), QStringLiteral("Trip\n%1\nand\n%1").arg(pic));
    clock.advance(1000);
    NoteImage* first = addImage(note->uuid(), Qt::red);
    clock.advance(1000);
    NoteImage* second = addImage(note->uuid(), Qt::blue);
    note->setBodyBlocksData(QByteArray(R"({"version":1,"blocks":[{"type":"mystery"}]})"));
    const QUuid firstID = first->uuid(), secondID = second->uuid(), noteID = note->uuid();
    reopen();

    store->reconcileForSync();
    store->sweepOrphanImages(now());
    const QVector<NoteBlock> healed = store->note(noteID)->blocks();
    ASSERT_EQ(shape(healed), (QStringList{"T:Trip", "I", "T:and", "I"}));
    EXPECT_EQ(healed[1].imagePlacement()->imageID, firstID);
    EXPECT_EQ(healed[3].imagePlacement()->imageID, secondID);
    EXPECT_EQ(imageIDs(), (QSet<QUuid>{firstID, secondID}));
    EXPECT_EQ(store->note(noteID)->body(), QStringLiteral("Trip\n%1\nand\n%1").arg(pic));

    // Without pictures the body is simply rebuilt from the plain text.
    Note* plain = addNote(QStringLiteral("plain"), QStringLiteral("just text"));
    plain->setBodyBlocksData(QByteArray("{broken"));
    store->reconcileForSync();
    EXPECT_EQ(shape(plain->blocks()), QStringList{"T:just text"});
}

TEST_F(NoteStoreBodyTest, OrphanSweepGivesOwnerlessPicturesFortyEightHours)
{
    const QString key = QStringLiteral("images.orphanFirstSeen");
    Note* gone = addNote(QStringLiteral("gone"));
    NoteImage* ownerless = addImage(gone->uuid(), Qt::red);
    Note* open = addNote(QStringLiteral("open"));
    NoteImage* named = addImage(open->uuid(), Qt::red);
    NoteImage* dropped = addImage(open->uuid(), Qt::blue);
    open->setBlocks(blocks({"I:0"}, {named}));
    Note* locked = addNote(QStringLiteral("locked"));
    NoteImage* sealedRow = addImage(locked->uuid(), Qt::red);
    seal(*locked);
    Note* unreadable = addNote(QStringLiteral("unreadable"));
    NoteImage* kept = addImage(unreadable->uuid(), Qt::red);
    unreadable->setBodyBlocksData(QByteArray("{broken"));
    context().remove(gone);
    store->saveNow();
    const QString ownerlessKey = ownerless->uuid().toString(QUuid::WithoutBraces).toUpper();
    const QSet<QUuid> survivors{named->uuid(), sealedRow->uuid(), kept->uuid()};

    // First sweep: the row a body stopped naming goes at once; the ownerless row is noted.
    store->sweepOrphanImages(now());
    EXPECT_EQ(imageIDs(), survivors + QSet<QUuid>{ownerless->uuid()});
    EXPECT_TRUE(dropped->isDeleted());
    EXPECT_TRUE(log.contains(QStringLiteral("blocks: collected 1 orphaned image row(s)")));
    const QVariantMap firstSeen = settings.value(key).toMap();
    ASSERT_EQ(firstSeen.keys(), QStringList{ownerlessKey});
    EXPECT_EQ(firstSeen.value(ownerlessKey).toDouble(), double(now().toSecsSinceEpoch()));

    clock.advance((grace - 1) * 1000);
    store->sweepOrphanImages(now());
    EXPECT_TRUE(imageIDs().contains(ownerless->uuid()));
    EXPECT_EQ(settings.value(key).toMap(), firstSeen) << "unchanged";

    clock.advance(1000);
    store->sweepOrphanImages(now());
    EXPECT_EQ(imageIDs(), survivors) << "exactly 48 hours is enough";
    EXPECT_FALSE(settings.contains(key));

    // A row that finds its owner again leaves the map; losing it again starts a new 48 hours.
    NoteImage* stray = addImage(QUuid::createUuid(), Qt::green);
    store->sweepOrphanImages(now());
    ASSERT_TRUE(settings.contains(key));
    stray->setNoteUUID(unreadable->uuid());
    store->sweepOrphanImages(now());
    EXPECT_FALSE(settings.contains(key));
    EXPECT_FALSE(stray->isDeleted());

    // No picture rows at all: a stale map is removed, nothing logged.
    settings.setValue(key, QVariantMap{{QStringLiteral("X"), 1.0}});
    for (NoteImage* row : rows<NoteImage>()) context().remove(row);
    store->saveNow();
    log.clear();
    store->sweepOrphanImages(now());
    EXPECT_FALSE(settings.contains(key));
    EXPECT_FALSE(log.contains(QStringLiteral("collected")));
}

// Nothing can be concluded about owners from a fetch of the notes that failed.
TEST_F(NoteStoreBodyTest, OrphanSweepStopsWhenTheNotesCannotBeRead)
{
    Note* note = addNote(QStringLiteral("owner"));
    NoteImage* picture = addImage(note->uuid());
    note->setBlocks(blocks({"I:0"}, {picture}));
    const QUuid pictureID = picture->uuid();
    reopen();
    const QVariantMap firstSeen{{QStringLiteral("SOMETHING"), 1.0}};
    settings.setValue(QStringLiteral("images.orphanFirstSeen"), firstSeen);

    ASSERT_TRUE(ModelContainerTesting::exec(*container, QStringLiteral("ALTER TABLE Note RENAME TO Hidden")));
    store->sweepOrphanImages(now().addSecs(10 * grace));
    EXPECT_EQ(imageIDs(), QSet<QUuid>{pictureID});
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(settings.value(QStringLiteral("images.orphanFirstSeen")).toMap(), firstSeen);
}

TEST_F(NoteStoreBodyTest, ClosingANoteCollectsThePicturesItNoLongerNames)
{
    Note* note = addNote(QStringLiteral("open"));
    NoteImage* keep = addImage(note->uuid(), Qt::red);
    NoteImage* drop = addImage(note->uuid(), Qt::blue);
    note->setBlocks(blocks({"I:0"}, {keep}));
    Note* locked = addNote(QStringLiteral("locked"));
    NoteImage* lockedRow = addImage(locked->uuid(), Qt::blue);
    locked->setBlocks(blocks({"T:nothing named"}));
    locked->setIsLocked(true);
    store->saveNow();
    const qint64 revision = store->revision();

    store->collectOrphanImages(locked->uuid());
    store->collectOrphanImages(QUuid::createUuid());
    EXPECT_FALSE(lockedRow->isDeleted());
    EXPECT_EQ(store->revision(), revision);

    store->collectOrphanImages(note->uuid());
    EXPECT_TRUE(drop->isDeleted());
    EXPECT_FALSE(keep->isDeleted());
    EXPECT_EQ(store->revision(), revision + 1);
    EXPECT_TRUE(log.contains(QStringLiteral("blocks: closing a note collected 1 picture(s) it no longer names")));
}

}  // namespace
