#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "model/Capture.h"
#include "model/Note.h"
#include "shelf/SearchEngine.h"
#include "support/NoteStoreFixture.h"

#include <QFile>
#include <QTest>

namespace {

const QDateTime kBase = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

// The engine over plain lists, in the order a store would hand them out.
class SearchEngineTest : public ::testing::Test {
protected:
    SearchEngine engine{{[this] { return notes; }, [this] { return captures; }}};
    std::vector<std::unique_ptr<Note>> ownedNotes;
    std::vector<std::unique_ptr<Capture>> ownedCaptures;
    QList<Note*> notes;
    QList<Capture*> captures;

    Note* addNote(const QString& title, const QString& body)
    {
        ownedNotes.push_back(std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                                    QDateTime::currentDateTimeUtc()));
        notes.push_back(ownedNotes.back().get());
        return notes.back();
    }

    Capture* addCapture(const QString& text, std::optional<QString> app = {}, std::optional<QString> title = {},
                        qint64 ageSeconds = 0)
    {
        ownedCaptures.push_back(std::make_unique<Capture>(text, app, "org.example.app",
                                                          QUrl("https://example.org/page"), title, std::nullopt,
                                                          QDateTime::currentDateTimeUtc()));
        ownedCaptures.back()->setCreatedAt(kBase.addSecs(-ageSeconds));
        captures.push_back(ownedCaptures.back().get());
        return captures.back();
    }

    QStringList titlesFor(const QString& query)
    {
        QStringList titles;
        for (const Note* note : engine.search(query)) titles << note->title();
        return titles;
    }

    QStringList textsFor(const QString& query)
    {
        QStringList texts;
        for (const Capture* capture : engine.searchCaptures(query)) texts << capture->text();
        return texts;
    }
};

TEST_F(SearchEngineTest, BlankQueryGivesEverythingOutsideTheBinInStoreOrder)
{
    addNote("b", {});
    addNote("a", {})->setIsLocked(true);
    // A store that slipped a binned note into the active list still must not show it.
    addNote("binned", {})->setIsTrashed(true);
    addCapture("older", {}, {}, 60);
    addCapture("newer");

    for (const QString& blank : {QString(), QString(" \t\n\r ")}) {
        EXPECT_EQ(titlesFor(blank), QStringList({"b", "a"}));
        EXPECT_EQ(textsFor(blank), QStringList({"newer", "older"}));
    }
}

TEST_F(SearchEngineTest, RanksTitleAndBodyThenTitleThenBodyKeepingStoreOrderWithinARank)
{
    addNote("body only, newest", "a walrus");
    addNote("walrus title", "nothing");
    addNote("no match", "nothing");
    addNote("Walrus in both", "WALRUS");
    addNote("body only, older", "walruses");
    addNote("another walrus title", {});

    EXPECT_EQ(titlesFor("walrus"), QStringList({"Walrus in both", "walrus title", "another walrus title",
                                                "body only, newest", "body only, older"}));

    // Several words match only as one run.
    addNote("the red fox", {});
    addNote("red  fox", {});
    addNote("fox red", {});
    addNote("x", "red\nfox");
    EXPECT_EQ(titlesFor("red fox"), QStringList({"the red fox"}));
}

TEST_F(SearchEngineTest, QueryIsTrimmedAndBothSidesLowerCasedWithoutLocale)
{
    addNote("shopping list", {});
    addNote("Été indien", {});
    addNote("ΟΔΟΣ", {});   // lower-cases with a final sigma
    addNote("İzmir", {});  // a dotted capital I lower-cases to i + combining dot

    EXPECT_EQ(titlesFor("  SHOPPING \n"), QStringList({"shopping list"}));
    EXPECT_EQ(titlesFor("ÉTÉ"), QStringList({"Été indien"}));
    EXPECT_EQ(titlesFor("οδος"), QStringList({"ΟΔΟΣ"}));
    EXPECT_EQ(titlesFor("İZMIR"), QStringList({"İzmir"}));
    // Without the dot the letter is a different character.
    EXPECT_TRUE(titlesFor("izmir").isEmpty());

    // Long runs of plain letters around words that are not: the pieces must join up exactly, also where
    // lower-casing makes a word longer.
    addNote("long", QStringLiteral("A LONG RUN OF PLAIN CAPITALS BEFORE ÉTÉ AND ANOTHER LONG RUN\n"
                                   "İİİİİİİİİİİİİİİİİİİİ THEN A LONG TAIL OF PLAIN TEXT ΟΔΟΣ."));
    for (const char* query :
         {"capitals before été and another", "run\ni̇i̇", "i̇ then a long tail of plain", "plain text οδος.", "οδος."})
        EXPECT_EQ(titlesFor(QString::fromUtf8(query)), QStringList({"long"})) << query;
}

// Lower-casing writes a capital sigma at a word's end as "ς" and inside a word as "σ": a query in
// capitals must still find the word it begins, whatever form either side was written in.
TEST_F(SearchEngineTest, EitherFormOfSigmaFindsTheOther)
{
    addNote("ΟΔΟΣΤΡΩΜΑ", {});
    addNote("lower", "οδοσ");
    addNote("final", "ΟΔΟΣ road");
    addNote("written final", "η οδος");
    addCapture("ΟΔΟΣΤΡΩΜΑ captured");

    const QStringList all{"ΟΔΟΣΤΡΩΜΑ", "lower", "final", "written final"};
    for (const char* query : {"ΟΔΟΣ", "οδοσ", "οδος", "  Οδος "}) {
        EXPECT_EQ(titlesFor(QString::fromUtf8(query)), all) << query;
        EXPECT_EQ(textsFor(QString::fromUtf8(query)), QStringList{"ΟΔΟΣΤΡΩΜΑ captured"}) << query;
    }
    EXPECT_EQ(titlesFor("ΟΔΟΣ ROAD"), QStringList{"final"});
    EXPECT_EQ(titlesFor("οδοστ"), QStringList{"ΟΔΟΣΤΡΩΜΑ"});
}

TEST_F(SearchEngineTest, MatchesWholeCharactersAccentsAndWidthsCountCanonicalFormsAreEqual)
{
    addNote("café composed", {});
    addNote("cafe\u0301 decomposed", {});
    addNote("q\u0301 accented", {});
    addNote("\uFF41 full width", {});
    addNote("thumb \U0001F44D\U0001F3FD toned", {});
    addNote("smile \U0001F600 plain", {});

    EXPECT_EQ(titlesFor("café"), QStringList({"café composed", "cafe\u0301 decomposed"}));
    EXPECT_EQ(titlesFor("cafe\u0301"), QStringList({"café composed", "cafe\u0301 decomposed"}));
    EXPECT_EQ(titlesFor("cafe"), QStringList());
    // No composed form exists for q with an acute: the bare q must still not match half a character.
    EXPECT_EQ(titlesFor("q"), QStringList());
    EXPECT_EQ(titlesFor("q\u0301"), QStringList({"q\u0301 accented"}));
    EXPECT_EQ(titlesFor("a full"), QStringList());
    EXPECT_EQ(titlesFor("\uFF21"), QStringList({"\uFF41 full width"}));
    EXPECT_EQ(titlesFor("\U0001F44D"), QStringList());
    EXPECT_EQ(titlesFor("\U0001F600"), QStringList({"smile \U0001F600 plain"}));
}

TEST_F(SearchEngineTest, LockedNotesMatchByTheirLockedTitleAloneAndBinnedNotesNever)
{
    Note* open = addNote("open", "secret plan");
    Note* locked = addNote("Plans", "secret plan");
    locked->setIsLocked(true);
    Note* blank = addNote("  ", "private matters");
    blank->setIsLocked(true);
    Note* bodyHit = addNote("diary", "nothing private here");
    addNote("secret in the bin", "secret")->setIsTrashed(true);

    // The body of a locked note is never consulted, even when it holds the query.
    EXPECT_EQ(engine.search("secret"), QList<Note*>({open}));
    EXPECT_EQ(engine.search("plan"), QList<Note*>({locked, open}));
    // A blank-titled locked note is called "Private note" and ranks as a title hit.
    EXPECT_EQ(engine.search("PRIVATE"), QList<Note*>({blank, bodyHit}));
    EXPECT_TRUE(engine.search("in the bin").isEmpty());
}

TEST_F(SearchEngineTest, FollowsEveryChangeOfANote)
{
    Note* note = addNote("groceries", "apples");
    EXPECT_EQ(titlesFor("apples"), QStringList({"groceries"}));

    note->setBody("pears");
    EXPECT_TRUE(titlesFor("apples").isEmpty());
    EXPECT_EQ(titlesFor("pears"), QStringList({"groceries"}));

    note->setIsLocked(true);
    EXPECT_TRUE(titlesFor("pears").isEmpty());
    note->setIsLocked(false);
    EXPECT_EQ(titlesFor("pears"), QStringList({"groceries"}));

    note->setIsTrashed(true);
    EXPECT_TRUE(titlesFor("groceries").isEmpty());
}

TEST_F(SearchEngineTest, ForgetsObjectsThatAreGoneAndNeverMistakesANewObjectForAnOldOne)
{
    addNote("keep", {});
    addNote("apples", {});
    addCapture("apples");
    engine.search("apples");
    engine.searchCaptures("apples");
    EXPECT_EQ(engine.cachedObjectCount(), 3);

    // Destroy a note and make others of the same shape until one reuses its address; none may answer
    // with the destroyed note's text.
    const void* oldAddress = notes.takeLast();
    ownedNotes.pop_back();
    for (int i = 0; i < 64; ++i) {
        Note* fresh = addNote("pears", {});
        if (fresh == oldAddress) break;
    }
    EXPECT_TRUE(engine.search("apples").isEmpty());

    notes.clear();
    engine.search("apples");
    EXPECT_EQ(engine.cachedObjectCount(), 1);  // the capture is only forgotten by a capture search
    captures.clear();
    engine.searchCaptures("apples");
    EXPECT_EQ(engine.cachedObjectCount(), 0);
}

TEST_F(SearchEngineTest, KeepsUpWithListsInNewOrders)
{
    for (int i = 0; i < 100; ++i) addNote(QStringLiteral("note %1").arg(i), i % 2 ? "odd" : "even");
    const auto expectOdd = [this] {
        QList<Note*> odd;
        for (Note* note : notes)
            if (note->body() == "odd") odd << note;
        EXPECT_EQ(engine.search("odd"), odd);
        EXPECT_EQ(engine.cachedObjectCount(), notes.size());
    };
    expectOdd();

    // An edited note moves to the front; then a reversed list; then a shuffled one with changes.
    Note* edited = notes.takeAt(50);
    edited->setBody("odd");
    notes.prepend(edited);
    expectOdd();
    std::reverse(notes.begin(), notes.end());
    expectOdd();
    std::mt19937 rng(7);
    std::shuffle(notes.begin(), notes.end(), rng);
    notes[3]->setBody("even");
    notes[97]->setBody("odd");
    notes.removeAt(10);
    expectOdd();
}

// The texts lowered ahead of time answer like those a search lowers itself, and a note changed while
// they were being lowered is not answered from its old text.
TEST_F(SearchEngineTest, PrewarmedTextsAnswerLikeFreshOnesAndFollowChangesMadeMeanwhile)
{
    for (int i = 0; i < 20000; ++i) addNote(QStringLiteral("Note %1").arg(i), i % 2 ? "Grüße aus Köln" : "plain");
    Note* locked = addNote("Vault", "köln secret");
    locked->setIsLocked(true);
    engine.prewarm();
    ASSERT_TRUE(engine.prewarming());
    Note* changed = notes.first();
    changed->setBody("now from KÖLN");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.prewarming(); }, 20000));
    EXPECT_EQ(engine.cachedObjectCount(), notes.size());
    const QList<Note*> found = engine.search("köln");
    EXPECT_EQ(found.size(), 10001);
    EXPECT_EQ(found.first(), changed);
    EXPECT_FALSE(found.contains(locked));
}

TEST_F(SearchEngineTest, CapturesMatchTextThenSourceNameThenPageTitleNewestFirst)
{
    addCapture("from the editor", "TextEdit", {}, 10);
    addCapture("nothing", {}, "Release notes", 30);
    addCapture("release date", {}, {}, 20);
    addCapture("org.example.app example.org", {}, {}, 40);
    // Out of order from the store: the engine sorts by date, keeping the store's order on ties.
    addCapture("release A", {}, {}, 5);
    addCapture("release B", {}, {}, 5);

    EXPECT_EQ(textsFor("RELEASE"), QStringList({"release A", "release B", "release date", "nothing"}));
    EXPECT_EQ(textsFor("textedit"), QStringList({"from the editor"}));
    // The bundle identifier and the address are never searched.
    EXPECT_EQ(textsFor("example"), QStringList({"org.example.app example.org"}));
    EXPECT_TRUE(textsFor("/page").isEmpty());
}

// The engine over a store file, as the application runs it: the stored texts are lowered on a worker
// from the file, and a search sent before they are taken in waits for them rather than lowering
// everything itself.
class StoredSearchTest : public ::testing::Test, public tarnwick::test::NoteStoreFixture {
protected:
    std::unique_ptr<SearchEngine> engineOver(const QString& file)
    {
        return std::make_unique<SearchEngine>(
            SearchEngine::Source{[this] { return store->allActive(); }, [this] { return store->captures(); },
                                 [file] { return file; }, [this] { return context().changeCount(); }});
    }
    void fill()
    {
        for (int i = 0; i < 3000; ++i)
            addNote(QStringLiteral("Note %1").arg(i), i % 3 ? QStringLiteral("Grüße aus Köln %1").arg(i) : "plain", i);
        addNote("Vault", "köln secret")->setIsLocked(true);
        addNote("Binned", "köln")->setIsTrashed(true);
        for (int i = 0; i < 500; ++i) {
            auto capture = std::make_unique<Capture>(i % 2 ? "aus KÖLN" : "elsewhere", QStringLiteral("Köln app"),
                                                     "org.example.app", QUrl(), std::nullopt, std::nullopt,
                                                     QDateTime::currentDateTimeUtc());
            capture->setCreatedAt(kBase.addSecs(i));
            context().insert(std::move(capture));
        }
        open();
    }
    void searchBeforeTheTextsAreTakenIn();
    // What a search with no texts kept gives.
    std::pair<QList<Note*>, QList<Capture*>> fresh(const QString& query)
    {
        SearchEngine plain{{[this] { return store->allActive(); }, [this] { return store->captures(); }}};
        return {plain.search(query), plain.searchCaptures(query)};
    }
};

TEST_F(StoredSearchTest, ASearchBeforeTheTextsAreTakenInGivesTheWarmResults)
{
    fill();
    searchBeforeTheTextsAreTakenIn();
}

// Row ids far apart (many rows deleted in between) are found another way; the results are the same.
TEST_F(StoredSearchTest, ASearchBeforeTheTextsAreTakenInGivesTheWarmResultsOverScatteredRows)
{
    fill();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path()).constData(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db, "UPDATE Note SET _rowid = _rowid * 10 + 1000000", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK);
    open();
    searchBeforeTheTextsAreTakenIn();
}

void StoredSearchTest::searchBeforeTheTextsAreTakenIn()
{
    auto engine = engineOver(path());
    engine->prewarm();
    ASSERT_TRUE(engine->prewarming());
    // Changed after the worker read its row: answered from the new text.
    Note* changed = nullptr;
    for (Note* note : store->allActive())
        if (note->title() == "Note 2997") changed = note;
    ASSERT_EQ(changed->body(), "plain");
    changed->setBody("now from KÖLN");
    const auto expected = fresh("köln");
    ASSERT_EQ(expected.first.size(), 2000 + 1);
    EXPECT_EQ(engine->search("köln"), expected.first);
    EXPECT_FALSE(engine->prewarming());
    EXPECT_EQ(engine->cachedObjectCount(), store->allActive().size() + store->captures().size());
    EXPECT_EQ(engine->searchCaptures("köln"), expected.second) << "captures match by their source name too";
    EXPECT_EQ(engine->searchCaptures("aus köln").size(), 250);
    EXPECT_TRUE(engine->search("secret").isEmpty()) << "nothing of a locked body is kept";

    // The ids handed back with the results are those of the result objects, also after an id changed.
    changed->setUuid(QUuid::createUuid());
    QList<QUuid> noteIDs, captureIDs;
    const QList<Note*> notes = engine->search("köln", &noteIDs);
    const QList<Capture*> captures = engine->searchCaptures("aus köln", &captureIDs);
    ASSERT_EQ(noteIDs.size(), notes.size());
    ASSERT_EQ(captureIDs.size(), captures.size());
    for (qsizetype i = 0; i < notes.size(); ++i) ASSERT_EQ(noteIDs[i], notes[i]->uuid()) << i;
    for (qsizetype i = 0; i < captures.size(); ++i) ASSERT_EQ(captureIDs[i], captures[i]->uuid()) << i;
    EXPECT_EQ(engine->search("vault").size(), 1);

    // Nothing changed: the same answer again. Then a change, a new note and a deleted one are followed.
    EXPECT_EQ(engine->search("köln"), notes);
    changed->setBody("plain again");
    Note* added = addNote("New", "KÖLN");
    Note* removed = store->allActive().last();
    ASSERT_TRUE(notes.contains(removed));
    context().remove(removed);
    const auto after = fresh("köln");
    EXPECT_EQ(engine->search("köln"), after.first);
    EXPECT_TRUE(after.first.contains(added));
    EXPECT_FALSE(after.first.contains(removed) || after.first.contains(changed));
    EXPECT_EQ(engine->searchCaptures("köln"), after.second);
}

TEST_F(StoredSearchTest, AStoreThatCannotBeReadIsLoweredFromTheObjects)
{
    fill();
    auto engine = engineOver(path() + ".missing");
    engine->prewarm();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->prewarming(); }, 20000));
    EXPECT_EQ(engine->cachedObjectCount(), store->allActive().size());
    EXPECT_EQ(engine->search("köln"), fresh("köln").first);
}

}  // namespace
