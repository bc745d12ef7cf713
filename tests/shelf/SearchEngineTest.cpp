#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/Capture.h"
#include "model/Note.h"
#include "shelf/SearchEngine.h"

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
        ownedNotes.push_back(
            std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt));
        notes.push_back(ownedNotes.back().get());
        return notes.back();
    }

    Capture* addCapture(const QString& text, std::optional<QString> app = {}, std::optional<QString> title = {},
                        qint64 ageSeconds = 0)
    {
        ownedCaptures.push_back(std::make_unique<Capture>(text, app, QStringLiteral("org.example.app"),
                                                          QUrl(QStringLiteral("https://example.org/page")), title,
                                                          std::nullopt));
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
    addNote(QStringLiteral("b"), {});
    addNote(QStringLiteral("a"), {})->setIsLocked(true);
    // A store that slipped a binned note into the active list still must not show it.
    addNote(QStringLiteral("binned"), {})->setIsTrashed(true);
    addCapture(QStringLiteral("older"), {}, {}, 60);
    addCapture(QStringLiteral("newer"));

    for (const QString& blank : {QString(), QStringLiteral(" \t\n\r ")}) {
        EXPECT_EQ(titlesFor(blank), QStringList({"b", "a"}));
        EXPECT_EQ(textsFor(blank), QStringList({"newer", "older"}));
    }
}

TEST_F(SearchEngineTest, RanksTitleAndBodyThenTitleThenBodyKeepingStoreOrderWithinARank)
{
    addNote(QStringLiteral("body only, newest"), QStringLiteral("a walrus"));
    addNote(QStringLiteral("walrus title"), QStringLiteral("nothing"));
    addNote(QStringLiteral("no match"), QStringLiteral("nothing"));
    addNote(QStringLiteral("Walrus in both"), QStringLiteral("WALRUS"));
    addNote(QStringLiteral("body only, older"), QStringLiteral("walruses"));
    addNote(QStringLiteral("another walrus title"), {});

    EXPECT_EQ(titlesFor(QStringLiteral("walrus")),
              QStringList(
                  {"Walrus in both", "walrus title", "another walrus title", "body only, newest", "body only, older"}));
}

TEST_F(SearchEngineTest, QueryIsTrimmedAndBothSidesLowerCasedWithoutLocale)
{
    addNote(QStringLiteral("shopping list"), {});
    addNote(QStringLiteral("Été indien"), {});
    addNote(QStringLiteral("ΟΔΟΣ"), {});   // lower-cases with a final sigma
    addNote(QStringLiteral("İzmir"), {});  // a dotted capital I lower-cases to i + combining dot

    EXPECT_EQ(titlesFor(QStringLiteral("  SHOPPING \n")), QStringList({"shopping list"}));
    EXPECT_EQ(titlesFor(QStringLiteral("ÉTÉ")), QStringList({"Été indien"}));
    EXPECT_EQ(titlesFor(QStringLiteral("οδος")), QStringList({"ΟΔΟΣ"}));
    EXPECT_EQ(titlesFor(QStringLiteral("İZMIR")), QStringList({"İzmir"}));
    // Without the dot the letter is a different character.
    EXPECT_TRUE(titlesFor(QStringLiteral("izmir")).isEmpty());
}

TEST_F(SearchEngineTest, MatchesWholeCharactersAccentsAndWidthsCountCanonicalFormsAreEqual)
{
    addNote(QStringLiteral("café composed"), {});
    addNote(QStringLiteral("cafe\u0301 decomposed"), {});
    addNote(QStringLiteral("q\u0301 accented"), {});
    addNote(QStringLiteral("\uFF41 full width"), {});
    addNote(QStringLiteral("thumb \U0001F44D\U0001F3FD toned"), {});
    addNote(QStringLiteral("smile \U0001F600 plain"), {});

    EXPECT_EQ(titlesFor(QStringLiteral("café")), QStringList({"café composed", "cafe\u0301 decomposed"}));
    EXPECT_EQ(titlesFor(QStringLiteral("cafe\u0301")), QStringList({"café composed", "cafe\u0301 decomposed"}));
    EXPECT_EQ(titlesFor(QStringLiteral("cafe")), QStringList());
    // No composed form exists for q with an acute: the bare q must still not match half a character.
    EXPECT_EQ(titlesFor(QStringLiteral("q")), QStringList());
    EXPECT_EQ(titlesFor(QStringLiteral("q\u0301")), QStringList({"q\u0301 accented"}));
    EXPECT_EQ(titlesFor(QStringLiteral("a full")), QStringList());
    EXPECT_EQ(titlesFor(QStringLiteral("\uFF21")), QStringList({"\uFF41 full width"}));
    EXPECT_EQ(titlesFor(QStringLiteral("\U0001F44D")), QStringList());
    EXPECT_EQ(titlesFor(QStringLiteral("\U0001F600")), QStringList({"smile \U0001F600 plain"}));
}

TEST_F(SearchEngineTest, SeveralWordsMatchOnlyAsOneRun)
{
    addNote(QStringLiteral("the red fox"), {});
    addNote(QStringLiteral("red  fox"), {});
    addNote(QStringLiteral("fox red"), {});
    addNote(QStringLiteral("x"), QStringLiteral("red\nfox"));

    EXPECT_EQ(titlesFor(QStringLiteral("red fox")), QStringList({"the red fox"}));
}

TEST_F(SearchEngineTest, LockedNotesMatchByTheirLockedTitleAloneAndBinnedNotesNever)
{
    Note* open = addNote(QStringLiteral("open"), QStringLiteral("secret plan"));
    Note* locked = addNote(QStringLiteral("Plans"), QStringLiteral("secret plan"));
    locked->setIsLocked(true);
    Note* blank = addNote(QStringLiteral("  "), QStringLiteral("private matters"));
    blank->setIsLocked(true);
    Note* bodyHit = addNote(QStringLiteral("diary"), QStringLiteral("nothing private here"));
    addNote(QStringLiteral("secret in the bin"), QStringLiteral("secret"))->setIsTrashed(true);

    // The body of a locked note is never consulted, even when it holds the query.
    EXPECT_EQ(engine.search(QStringLiteral("secret")), QList<Note*>({open}));
    EXPECT_EQ(engine.search(QStringLiteral("plan")), QList<Note*>({locked, open}));
    // A blank-titled locked note is called "Private note" and ranks as a title hit.
    EXPECT_EQ(engine.search(QStringLiteral("PRIVATE")), QList<Note*>({blank, bodyHit}));
    EXPECT_TRUE(engine.search(QStringLiteral("in the bin")).isEmpty());
}

TEST_F(SearchEngineTest, FollowsEveryChangeOfANote)
{
    Note* note = addNote(QStringLiteral("groceries"), QStringLiteral("apples"));
    EXPECT_EQ(titlesFor(QStringLiteral("apples")), QStringList({"groceries"}));

    note->setBody(QStringLiteral("pears"));
    EXPECT_TRUE(titlesFor(QStringLiteral("apples")).isEmpty());
    EXPECT_EQ(titlesFor(QStringLiteral("pears")), QStringList({"groceries"}));

    note->setIsLocked(true);
    EXPECT_TRUE(titlesFor(QStringLiteral("pears")).isEmpty());
    note->setIsLocked(false);
    EXPECT_EQ(titlesFor(QStringLiteral("pears")), QStringList({"groceries"}));

    note->setIsTrashed(true);
    EXPECT_TRUE(titlesFor(QStringLiteral("groceries")).isEmpty());
}

TEST_F(SearchEngineTest, ForgetsObjectsThatAreGoneAndNeverMistakesANewObjectForAnOldOne)
{
    addNote(QStringLiteral("keep"), {});
    addNote(QStringLiteral("apples"), {});
    addCapture(QStringLiteral("apples"));
    engine.search(QStringLiteral("apples"));
    engine.searchCaptures(QStringLiteral("apples"));
    EXPECT_EQ(engine.cachedObjectCount(), 3);

    // Destroy a note and make others of the same shape until one reuses its address; none may answer
    // with the destroyed note's text.
    const void* oldAddress = notes.takeLast();
    ownedNotes.pop_back();
    for (int i = 0; i < 64; ++i) {
        Note* fresh = addNote(QStringLiteral("pears"), {});
        if (fresh == oldAddress) break;
    }
    EXPECT_TRUE(engine.search(QStringLiteral("apples")).isEmpty());

    notes.clear();
    engine.search(QStringLiteral("apples"));
    EXPECT_EQ(engine.cachedObjectCount(), 1);  // the capture is only forgotten by a capture search
    captures.clear();
    engine.searchCaptures(QStringLiteral("apples"));
    EXPECT_EQ(engine.cachedObjectCount(), 0);
}

TEST_F(SearchEngineTest, CapturesMatchTextThenSourceNameThenPageTitleNewestFirst)
{
    addCapture(QStringLiteral("from the editor"), QStringLiteral("TextEdit"), {}, 10);
    addCapture(QStringLiteral("nothing"), {}, QStringLiteral("Release notes"), 30);
    addCapture(QStringLiteral("release date"), {}, {}, 20);
    addCapture(QStringLiteral("org.example.app example.org"), {}, {}, 40);
    // Out of order from the store: the engine sorts by date, keeping the store's order on ties.
    addCapture(QStringLiteral("release A"), {}, {}, 5);
    addCapture(QStringLiteral("release B"), {}, {}, 5);

    EXPECT_EQ(textsFor(QStringLiteral("RELEASE")), QStringList({"release A", "release B", "release date", "nothing"}));
    EXPECT_EQ(textsFor(QStringLiteral("textedit")), QStringList({"from the editor"}));
    // The bundle identifier and the address are never searched.
    EXPECT_EQ(textsFor(QStringLiteral("example")), QStringList({"org.example.app example.org"}));
    EXPECT_TRUE(textsFor(QStringLiteral("/page")).isEmpty());
}

TEST(SearchEngineSourceTest, AnEmptySourceGivesEmptyResults)
{
    SearchEngine engine{SearchEngine::Source{}};
    EXPECT_TRUE(engine.search(QString()).isEmpty());
    EXPECT_TRUE(engine.search(QStringLiteral("x")).isEmpty());
    EXPECT_TRUE(engine.searchCaptures(QString()).isEmpty());
}

}  // namespace
