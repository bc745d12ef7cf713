#include "model/Capture.h"
#include "model/NoteTheme.h"
#include "model/support/KeyedArchiveWriter.h"
#include "support/NoteStoreFixture.h"

namespace {

using NoteStoreReconcileTest = tarnwick::test::NoteStoreTestBase;

template <typename T>
T* addRow(ModelContext& context, const std::function<void(T&)>& fill)
{
    auto row = std::make_unique<T>();
    fill(*row);
    return context.insert(std::move(row));
}

TEST_F(NoteStoreReconcileTest, OneRowPerIdentityStaysAndTheBestRowWins)
{
    // Notes updated 5, 7 and 6 seconds past a moment, in fetch order: the second wins. On a tie the
    // row fetched first stays; so it does for themes of equal revision.
    Note* five = addNote("5", {}, 95);
    addDuplicate(*five, 93)->setTitle("7");
    addDuplicate(*five, 94)->setTitle("6");
    Note* tie = addNote("tie first", {}, 50);
    addDuplicate(*tie, 50)->setTitle("tie second");
    const QUuid capture = QUuid::createUuid(), picture = QUuid::createUuid();
    for (int age : {20, 10})
        addRow<Capture>(context(), [&](Capture& c) {
            c.setUuid(capture);
            c.setText(QString::number(age));
            c.setCreatedAt(now().addSecs(-age));
        });
    for (const auto& theme : {std::pair("first", 0), std::pair("second", 0), std::pair("raised", 3)})
        addRow<NoteTheme>(context(), [&](NoteTheme& t) {
            t.setId(theme.second ? "blue" : "mine");
            t.setName(QString::fromLatin1(theme.first));
            t.setRevision(theme.second);
        });
    addRow<NoteTheme>(context(), [](NoteTheme& t) { t.setId("blue"); });
    // A picture row without bytes loses to one holding only its sealed form.
    addRow<NoteImage>(context(), [&](NoteImage& i) { i.setUuid(picture); });
    addRow<NoteImage>(context(), [&](NoteImage& i) {
        i.setUuid(picture);
        i.setLockedCipher(QByteArray("cipher"));
    });
    store->saveNow();

    store->reconcileForSync();
    EXPECT_EQ(store->revision(), 2);
    QStringList notes;
    for (const Note* n : rows<Note>()) notes << n->title();
    notes.sort();
    EXPECT_EQ(notes, (QStringList{"7", "tie first"}));
    ASSERT_EQ(rows<Capture>().size(), 1);
    EXPECT_EQ(rows<Capture>().first()->text(), "10");
    QStringList themes;
    for (const NoteTheme* t : rows<NoteTheme>()) themes << t->name();
    EXPECT_EQ(themes, (QStringList{"first", "raised"}));
    ASSERT_EQ(rows<NoteImage>().size(), 1);
    EXPECT_TRUE(rows<NoteImage>().first()->lockedCipher());
    store->reconcileForSync();
    EXPECT_EQ(store->revision(), 2) << "nothing left to collapse: nothing saved";
}

TEST_F(NoteStoreReconcileTest, PicturesOfALosingRowGoOnlyWhenTheKeptNoteDoesNotNameThem)
{
    Note* kept = addNote("kept", {}, 10);
    NoteImage* a = addImage(kept->uuid(), Qt::red);
    NoteImage* b = addImage(kept->uuid(), Qt::green);
    NoteImage* c = addImage(kept->uuid(), Qt::blue);
    kept->setBlocks(blocks({"I:0", "T:and", "I:1"}, {a, b}));
    addDuplicate(*kept, 100)->setBlocks(blocks({"I:0"}, {c}));
    Note* locked = addNote("locked", {}, 10);
    NoteImage* s = addImage(locked->uuid(), Qt::red);
    addDuplicate(*locked, 100)->setBlocks(blocks({"I:0"}, {s}));
    seal(*locked);

    store->reconcileForSync();
    EXPECT_EQ(imageIDs(), (QSet<QUuid>{a->uuid(), b->uuid(), s->uuid()}));
    EXPECT_EQ(rows<Note>(), (QList<Note*>{kept, locked}));
    EXPECT_FALSE(locked->bodyBlocksData()) << "a locked note is never healed";
}

TEST_F(NoteStoreReconcileTest, DuplicatingCopiesContentAndPicturesAndBecomesActive)
{
    Note* original = addNote("Groceries", {}, 1000);
    original->setTint(Tint::green);
    original->setThemeID("green");
    original->setTags({"home"});
    original->setIsPinned(true);
    original->setInkHexOverride("#112233");
    NoteImage* picture = addImage(original->uuid(), Qt::red);
    NoteImage* byteless = addRow<NoteImage>(context(), [&](NoteImage& i) { i.setNoteUUID(original->uuid()); });
    original->setBlocks(blocks({"T:milk", "I:0", "I:1"}, {picture, byteless}));
    clock.advance(60000);

    Note* copy = store->duplicate(*original);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->title(), "Groceries copy");
    EXPECT_EQ(copy->tint(), Tint::green);
    EXPECT_EQ(copy->themeID(), "green");
    EXPECT_TRUE(copy->tags().isEmpty());
    EXPECT_FALSE(copy->isPinned());
    EXPECT_FALSE(copy->inkHexOverride());
    EXPECT_EQ(store->activeNoteID(), copy->uuid());
    EXPECT_FALSE(context().hasChanges());

    const QVector<NoteBlock> from = original->blocks(), to = copy->blocks();
    ASSERT_EQ(shape(to), (QStringList{"T:milk", "I", "I"}));
    for (int i = 0; i < to.size(); ++i) EXPECT_NE(to[i].id, from[i].id);
    const QList<NoteImage*> copied = store->images(copy->uuid());
    ASSERT_EQ(copied.size(), 1) << "a row without bytes is not copied";
    EXPECT_EQ(to[1].imagePlacement()->imageID, copied[0]->uuid());
    EXPECT_EQ(copied[0]->data(), picture->data());
    EXPECT_EQ(copied[0]->createdAt(), now());
    EXPECT_EQ(to[2].imagePlacement()->imageID, byteless->uuid()) << "still names the original's row";

    EXPECT_EQ(store->duplicate(*addNote(QString(), "x"))->title(), QString());
    EXPECT_EQ(store->duplicate(*copy)->title(), "Groceries copy copy");
}

TEST_F(NoteStoreReconcileTest, DuplicatingConvertsALegacyBodyFirstAndRefusesSealedContent)
{
    const QString body = QStringLiteral("Hello\n%1").arg(QChar(0xFFFC));
    KeyedArchiveWriter w;
    const auto plain = w.dictionary({});
    const auto picture = w.dictionary({{"NSAttachment", w.attachment(png(Qt::red))}});
    Note* legacy = addNote("legacy", body);
    legacy->setBodyRichData(w.finish(w.attributedString(body, {{6, plain}, {1, picture}})));
    Note* copy = store->duplicate(*legacy);
    ASSERT_TRUE(copy);
    EXPECT_EQ(shape(copy->blocks()), (QStringList{"T:Hello", "I"}));
    ASSERT_EQ(store->images(copy->uuid()).size(), 1);
    EXPECT_EQ(copy->blocks()[1].imagePlacement()->imageID, store->images(copy->uuid()).first()->uuid());

    // Nothing to copy, and converting it would write an empty body over the sealed one.
    Note* secret = addNote("Diary", "dear diary");
    seal(*secret);
    store->saveNow();
    const qint64 revision = store->revision();
    EXPECT_EQ(store->duplicate(*secret), nullptr);
    EXPECT_FALSE(secret->bodyBlocksData());
    EXPECT_EQ(rows<Note>().size(), 3);
    EXPECT_EQ(store->revision(), revision);
    EXPECT_EQ(store->activeNoteID(), copy->uuid());
}

}  // namespace

namespace {

// The repair skips looking for shared ids when the context's index knows of none: that knowledge must
// follow every way a row comes, goes or changes its id, and a stored duplicate is still collapsed.
TEST_F(NoteStoreReconcileTest, SharedIdsAreKnownAsRowsComeGoAndChangeTheirIds)
{
    Note* a = addNote("a", {}, 30);
    Note* b = addNote("b", {}, 20);
    store->saveNow();
    const EntityDescription& entity = Note::entityDescription();
    ASSERT_EQ(rows<Note>().size(), 2);
    EXPECT_FALSE(context().mayShareValues(entity, Note::Uuid));

    const QUuid own = b->uuid();
    b->setUuid(a->uuid());
    EXPECT_TRUE(context().mayShareValues(entity, Note::Uuid)) << "an id changed to another's";
    b->setUuid(own);
    EXPECT_FALSE(context().mayShareValues(entity, Note::Uuid));
    Note* copy = addDuplicate(*a, 10);
    EXPECT_TRUE(context().mayShareValues(entity, Note::Uuid)) << "a new row under an id in use";
    context().remove(copy);
    EXPECT_FALSE(context().mayShareValues(entity, Note::Uuid));
    EXPECT_TRUE(context().mayShareValues(entity, Note::Title)) << "no index, no knowledge";

    addDuplicate(*a, 5)->setTitle("a, newer");
    open();
    ASSERT_EQ(rows<Note>().size(), 3);
    EXPECT_TRUE(context().mayShareValues(entity, Note::Uuid)) << "loaded from the store";
    store->reconcileForSync();
    QStringList titles;
    for (const Note* n : rows<Note>()) titles << n->title();
    EXPECT_EQ(titles, (QStringList{"b", "a, newer"}));
    EXPECT_FALSE(context().mayShareValues(entity, Note::Uuid));
}

}  // namespace
