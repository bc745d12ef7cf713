#include "NoteStoreFixture.h"
#include "model/support/KeyedArchiveWriter.h"

namespace {

using NoteStoreReconcileTest = NoteStoreFixture;
using NoteStoreDuplicateTest = NoteStoreFixture;

TEST_F(NoteStoreReconcileTest, OneRowPerIdentityStaysAndTheBestRowWins)
{
    // Notes: updated 5, 7 and 6 seconds past a moment, in fetch order: the second wins.
    const QDateTime moment = now().addSecs(-100);
    Note* a5 = addNote(QStringLiteral("five"));
    a5->setUpdatedAt(moment.addSecs(5));
    for (int s : {7, 6}) {
        Note* n = addDuplicate(*a5, 0);
        n->setTitle(QString::number(s));
        n->setUpdatedAt(moment.addSecs(s));
    }
    // A tie: the row fetched first stays.
    Note* tie = addNote(QStringLiteral("tie first"));
    addDuplicate(*tie, 0)->setTitle(QStringLiteral("tie second"));
    tie->setUpdatedAt(moment);
    for (Note* n : rows<Note>())
        if (n->title() == QLatin1String("tie second")) n->setUpdatedAt(moment);

    auto* capture = context().insert(std::make_unique<Capture>(QStringLiteral("old"), std::nullopt, std::nullopt,
                                                               std::nullopt, std::nullopt, std::nullopt));
    capture->setCreatedAt(moment);
    auto* newerCapture = context().insert(std::make_unique<Capture>(QStringLiteral("new"), std::nullopt, std::nullopt,
                                                                    std::nullopt, std::nullopt, std::nullopt));
    newerCapture->setUuid(capture->uuid());
    newerCapture->setCreatedAt(moment.addSecs(1));

    for (const char* name : {"first", "second"}) {
        auto theme = std::make_unique<NoteTheme>();
        theme->setId(QStringLiteral("mine"));
        theme->setName(QString::fromLatin1(name));
        context().insert(std::move(theme));
    }
    auto raised = std::make_unique<NoteTheme>();
    raised->setId(QStringLiteral("blue"));
    raised->setName(QStringLiteral("raised"));
    raised->setRevision(3);
    auto plain = std::make_unique<NoteTheme>();
    plain->setId(QStringLiteral("blue"));
    plain->setName(QStringLiteral("plain"));
    context().insert(std::move(plain));
    context().insert(std::move(raised));

    // Pictures: a row without bytes loses to one holding only its sealed form.
    auto empty = std::make_unique<NoteImage>();
    const QUuid pictureID = empty->uuid();
    context().insert(std::move(empty));
    auto sealedOnly = std::make_unique<NoteImage>();
    sealedOnly->setUuid(pictureID);
    sealedOnly->setLockedCipher(QByteArray("cipher"));
    context().insert(std::move(sealedOnly));
    store->saveNow();
    const qint64 revision = store->revision();

    store->reconcileForSync();
    EXPECT_EQ(store->revision(), revision + 1);
    QStringList titles;
    for (const Note* n : rows<Note>()) titles << n->title();
    titles.sort();
    EXPECT_EQ(titles, (QStringList{"7", "tie first"}));
    ASSERT_EQ(rows<Capture>().size(), 1);
    EXPECT_EQ(rows<Capture>().first()->text(), QStringLiteral("new"));
    QStringList themes;
    for (const NoteTheme* t : rows<NoteTheme>()) themes << t->name();
    themes.sort();
    EXPECT_EQ(themes, (QStringList{"first", "raised"}));
    ASSERT_EQ(rows<NoteImage>().size(), 1);
    EXPECT_TRUE(rows<NoteImage>().first()->lockedCipher());

    // Nothing left to collapse or repair: nothing is saved.
    store->reconcileForSync();
    EXPECT_EQ(store->revision(), revision + 1);
}

TEST_F(NoteStoreReconcileTest, PicturesOfALosingRowGoOnlyWhenTheKeptNoteDoesNotNameThem)
{
    Note* kept = addNote(QStringLiteral("kept"), {}, 10);
    NoteImage* a = addImage(kept->uuid(), Qt::red);
    NoteImage* b = addImage(kept->uuid(), Qt::green);
    NoteImage* c = addImage(kept->uuid(), Qt::blue);
    kept->setBlocks(blocks({"I:0", "T:and", "I:1"}, {a, b}));
    Note* loser = addDuplicate(*kept, 100);
    loser->setBlocks(blocks({"I:0"}, {c}));

    Note* sealedKept = addNote(QStringLiteral("sealed"), {}, 10);
    NoteImage* s = addImage(sealedKept->uuid(), Qt::red);
    addDuplicate(*sealedKept, 100)->setBlocks(blocks({"I:0"}, {s}));
    seal(*sealedKept);
    store->saveNow();

    store->reconcileForSync();
    EXPECT_EQ(imageIDs(), (QSet<QUuid>{a->uuid(), b->uuid(), s->uuid()}));
    EXPECT_TRUE(loser->isDeleted());
    EXPECT_FALSE(kept->isDeleted());
    EXPECT_EQ(rows<Note>().size(), 2);
    EXPECT_FALSE(sealedKept->bodyBlocksData()) << "a locked note is never healed";
}

TEST_F(NoteStoreDuplicateTest, CopiesContentAndPicturesAndBecomesActive)
{
    Note* original = addNote(QStringLiteral("Groceries"), {}, 1000);
    original->setTint(Tint::green);
    original->setThemeID(QStringLiteral("green"));
    original->setTags({QStringLiteral("home")});
    original->setIsPinned(true);
    original->setReminderDate(now().addDays(1));
    original->setInkHexOverride(QStringLiteral("#112233"));
    original->setWallpaperID(QStringLiteral("stock.linen"));
    NoteImage* picture = addImage(original->uuid(), Qt::red);
    auto bytelessRow = std::make_unique<NoteImage>();
    bytelessRow->setNoteUUID(original->uuid());
    NoteImage* byteless = context().insert(std::move(bytelessRow));
    original->setBlocks(blocks({"T:milk", "I:0", "I:1"}, {picture, byteless}));
    store->saveNow();
    const qint64 revision = store->revision();
    clock.advance(60000);

    Note* copy = store->duplicate(*original);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->title(), QStringLiteral("Groceries copy"));
    EXPECT_NE(copy->uuid(), original->uuid());
    EXPECT_EQ(copy->tint(), Tint::green);
    EXPECT_EQ(copy->themeID(), QStringLiteral("green"));
    EXPECT_TRUE(copy->tags().isEmpty());
    EXPECT_FALSE(copy->isPinned());
    EXPECT_FALSE(copy->reminderDate());
    EXPECT_FALSE(copy->inkHexOverride());
    EXPECT_FALSE(copy->wallpaperID());
    EXPECT_EQ(store->activeNoteID(), copy->uuid());
    EXPECT_EQ(store->revision(), revision + 1);
    EXPECT_FALSE(context().hasChanges());

    const QVector<NoteBlock> from = original->blocks();
    const QVector<NoteBlock> to = copy->blocks();
    ASSERT_EQ(shape(to), (QStringList{"T:milk", "I", "I"}));
    for (int i = 0; i < to.size(); ++i) EXPECT_NE(to[i].id, from[i].id);
    const QList<NoteImage*> copied = store->images(copy->uuid());
    ASSERT_EQ(copied.size(), 1) << "a row without bytes is not copied";
    EXPECT_EQ(to[1].imagePlacement()->imageID, copied[0]->uuid());
    EXPECT_NE(copied[0]->uuid(), picture->uuid());
    EXPECT_EQ(copied[0]->data(), picture->data());
    EXPECT_EQ(copied[0]->contentHash(), picture->contentHash());
    EXPECT_EQ(copied[0]->createdAt(), now());
    EXPECT_EQ(to[2].imagePlacement()->imageID, byteless->uuid()) << "still names the original's row";
    EXPECT_EQ(copy->body(), original->body());

    Note* untitled = addNote(QString(), QStringLiteral("x"));
    EXPECT_EQ(store->duplicate(*untitled)->title(), QString());
    EXPECT_EQ(store->duplicate(*copy)->title(), QStringLiteral("Groceries copy copy"));
}

TEST_F(NoteStoreDuplicateTest, ALegacyBodyIsConvertedFirstAndSealedContentIsRefused)
{
    const QChar pic(0xFFFC);
    const QString body = QStringLiteral("Hello\n%1").arg(pic);
    KeyedArchiveWriter w;
    const auto plain = w.dictionary({});
    const auto picture = w.dictionary({{"NSAttachment", w.attachment(png(Qt::red))}});
    Note* legacy = addNote(QStringLiteral("legacy"), body);
    legacy->setBodyRichData(w.finish(w.attributedString(body, {{6, plain}, {1, picture}})));

    Note* copy = store->duplicate(*legacy);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(legacy->bodyBlocksData());
    EXPECT_EQ(shape(copy->blocks()), (QStringList{"T:Hello", "I"}));
    ASSERT_EQ(store->images(copy->uuid()).size(), 1);
    EXPECT_EQ(copy->blocks()[1].imagePlacement()->imageID, store->images(copy->uuid()).first()->uuid());

    // A sealed note has nothing to copy, and converting it would write an empty body over the seal.
    Note* secret = addNote(QStringLiteral("Diary"), QStringLiteral("dear diary"));
    addImage(secret->uuid());
    seal(*secret);
    store->saveNow();
    store->setActiveNoteID(legacy->uuid());
    const qint64 revision = store->revision();
    const int notes = rows<Note>().size();

    EXPECT_EQ(store->duplicate(*secret), nullptr);
    EXPECT_FALSE(secret->bodyBlocksData());
    EXPECT_TRUE(secret->body().isEmpty());
    EXPECT_EQ(rows<Note>().size(), notes);
    EXPECT_EQ(store->revision(), revision);
    EXPECT_EQ(store->activeNoteID(), legacy->uuid());
}

}  // namespace
