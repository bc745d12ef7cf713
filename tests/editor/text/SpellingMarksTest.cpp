#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/TextBlockController.h"
#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"
#include "platform/SpellChecker.h"

namespace {

// Knows a handful of words; counts what it was asked, and can be made slow.
class FakeSpellChecker : public SpellChecker {
public:
    QSet<QString> known{"see", "then", "receive", "again", "trip", "the", "don't", "a"};
    QStringList learnt;
    bool available = true;
    int checks = 0;
    int delayUs = 0;

    bool isAvailable() const override { return available; }
    bool isCorrect(QStringView word) override
    {
        ++checks;
        if (delayUs) {
            QElapsedTimer t;
            t.start();
            while (t.nsecsElapsed() < delayUs * 1000) {
            }
        }
        return known.contains(word.toString().toLower());
    }
    QStringList suggestions(QStringView word, int limit) override
    {
        if (word == u"recieve")
            return QStringList{"receive", "relieve", "recite", "reprieve", "recieved", "sixth"}.mid(0, limit);
        return {};
    }
    void ignore(const QString& word) override { known.insert(word.toLower()); }
    void learn(const QString& word) override
    {
        learnt << word;
        known.insert(word.toLower());
    }
};

class SpellingTest : public ::testing::Test {
protected:
    SpellingTest()
        : controller(QUuid::createUuid(), &host, false, ResolvedNoteTheme{}, TextBlockController::NoteStyle::floating,
                     storage)
    {
        controller.spelling().setChecker(&checker);
    }
    void type(const QString& keys)
    {
        for (QChar c : keys) controller.textView().insertText(QString(c));
    }
    QStringList marked() const
    {
        QStringList words;
        for (const TextRange& r : controller.spelling().marks()) words << storage.text().mid(r.location, r.length);
        return words;
    }
    void drain()
    {
        while (controller.spelling().runSlice()) {
        }
    }

    FakeSpellChecker checker;
    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller;
};

}  // namespace

TEST_F(SpellingTest, TypedWordsAreMarkedAtOnceAndMarksStayOutOfTheText)
{
    type("see recieve then recieve again, don't 4ever");
    EXPECT_EQ(marked(), (QStringList{"recieve", "recieve"}));
    // Marks are view state: the runs and the stored envelope are what they would be without them.
    const NoteBlock block = controller.snapshot();
    controller.spelling().setChecker(nullptr);
    EXPECT_TRUE(controller.spelling().marks().empty());
    EXPECT_EQ(controller.snapshot(), block);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
    controller.spelling().setChecker(&checker);
    drain();
    EXPECT_EQ(marked().size(), 2);

    // Mending a word takes its mark away; editing before a mark moves it.
    controller.textView().setSelection({4, 7});
    controller.textView().insertText("receive");
    EXPECT_EQ(marked(), QStringList{"recieve"});
    controller.textView().setCaret(0);
    type("a ");
    EXPECT_EQ(marked(), QStringList{"recieve"});
    EXPECT_EQ(controller.spelling().marks()[0].location, 19);
}

TEST_F(SpellingTest, SuggestionsIgnoreAndLearn)
{
    type("then recieve, zorp and zorp ");
    EXPECT_EQ(marked(), (QStringList{"recieve", "zorp", "and", "zorp"}));
    const TextRange word = *controller.spelling().markAt(8);
    EXPECT_EQ(word, (TextRange{5, 7}));
    const int steps = host.undo.undoCount();
    EXPECT_TRUE(controller.replaceWord(word, checker.suggestions(u"recieve", 5).first()));
    EXPECT_EQ(storage.text(), "then receive, zorp and zorp ");
    EXPECT_EQ(host.undo.undoCount(), steps + 1);
    host.undo.undo();
    EXPECT_EQ(storage.text(), "then recieve, zorp and zorp ");

    controller.spelling().ignore(*controller.spelling().markAt(20));  // "and": every occurrence goes
    EXPECT_EQ(marked(), (QStringList{"recieve", "zorp", "zorp"}));
    controller.spelling().learn(*controller.spelling().markAt(15));
    EXPECT_EQ(checker.learnt, QStringList{"zorp"});
    EXPECT_EQ(marked(), QStringList{"recieve"});
}

TEST_F(SpellingTest, NoDictionaryLongWordsAndSlices)
{
    checker.available = false;
    controller.spelling().setChecker(&checker);
    type("recieve ");
    EXPECT_TRUE(marked().isEmpty());
    EXPECT_EQ(checker.checks, 0);

    checker.available = true;
    controller.spelling().setChecker(&checker);
    drain();
    EXPECT_EQ(marked(), QStringList{"recieve"});

    // A word over 100 characters is never looked up; one of 100 is.
    checker.checks = 0;
    controller.pasteText(AttributedText(QString(101, u'q') + " " + QString(100, u'q')));
    drain();
    EXPECT_EQ(checker.checks, 1);

    // A slow checker over a long paste: the paste itself checks one slice's worth, the rest waits
    // for idle slices that each stop near their budget, and every word is checked in the end.
    checker.delayUs = 200;
    QString line = " ";  // apart from the word before it
    for (int i = 0; i < 400; ++i) line += "zorp ";
    QElapsedTimer clock;
    clock.start();
    controller.pasteText(AttributedText(line));
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_TRUE(controller.spelling().hasPendingWork());
    int slices = 0;
    for (bool more = true; more; ++slices) {
        clock.restart();
        more = controller.spelling().runSlice();
        EXPECT_LT(clock.elapsed(), 50);  // a slice is about 8 ms; the bound allows a loaded machine
    }
    EXPECT_GT(slices, 2);
    EXPECT_EQ(marked().count("zorp"), 400);
}

TEST_F(SpellingTest, TheMenuStartsWithSuggestionsAndPickingOneIsOneStep)
{
    RichNSTextView view(controller, storage);
    controller.spelling().setChecker(&checker);
    view.resize(400, 200);
    view.show();
    type("then recieve");
    QMenu menu;
    view.populateContextMenu(&menu, view.caretRect(7).center().toPoint());
    const QList<QAction*> actions = menu.actions();
    ASSERT_GE(actions.size(), 8);
    EXPECT_EQ(actions[0]->text(), "receive");
    EXPECT_EQ(actions[4]->text(), "recieved");  // five at most
    EXPECT_EQ(actions[5]->text(), "Ignore Spelling");
    EXPECT_EQ(actions[6]->text(), "Learn Spelling");
    const int steps = host.undo.undoCount();
    actions[0]->trigger();
    EXPECT_EQ(storage.text(), "then receive");
    EXPECT_EQ(host.undo.undoCount(), steps + 1);
    EXPECT_TRUE(controller.spelling().marks().empty());
    EXPECT_EQ(storage.foreignChanges(), 0);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
}

// A private note's words reach no word list: the personal one is a file in the clear.
TEST_F(SpellingTest, APrivateNoteOffersNeitherIgnoreNorLearn)
{
    RichNSTextView view(controller, storage);
    view.resize(400, 200);
    view.show();
    type("then recieve");
    Note note("t", "", Tint::blue, Opacity::solid, std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc());
    host.hostNote = &note;
    auto texts = [&] {
        QMenu menu;
        view.populateContextMenu(&menu, view.caretRect(7).center().toPoint());
        QStringList out;
        for (QAction* a : menu.actions()) out << a->text();
        return out;
    };
    EXPECT_TRUE(texts().contains("Learn Spelling"));
    note.setIsLocked(true);
    const QStringList locked = texts();
    EXPECT_EQ(locked.first(), "receive");  // suggestions stay: they write nothing
    EXPECT_FALSE(locked.contains("Learn Spelling"));
    EXPECT_FALSE(locked.contains("Ignore Spelling"));
    host.hostNote = nullptr;
}

// Enchant writes the personal word list with the umask's mode; it is made the user's alone.
TEST(SpellCheckerTest, ThePersonalWordListIsPrivate)
{
    const auto english = SpellChecker::enchant("en_US");
    if (!english->isAvailable()) GTEST_SKIP() << "no en_US dictionary";
    english->learn("qwzxtarnwick");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/enchant";
    const QFileInfoList lists = QDir(folder).entryInfoList({"*.dic"}, QDir::Files);
    ASSERT_FALSE(lists.isEmpty());
    for (const QFileInfo& list : lists)
        EXPECT_EQ(list.permissions() & 0x0077, QFileDevice::Permissions()) << qPrintable(list.filePath());
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x0077, QFileDevice::Permissions());
}

TEST(SpellCheckerTest, EnchantWithoutADictionaryMarksNothing)
{
    const auto none = SpellChecker::enchant("xx_NOWHERE");
    EXPECT_FALSE(none->isAvailable());
    EXPECT_TRUE(none->isCorrect(u"qwzx"));
    EXPECT_TRUE(none->suggestions(u"qwzx", 5).isEmpty());
    none->learn("qwzx");  // does nothing, and does not crash
}

TEST(SpellingBlocksTest, AWordLearntInOneBlockIsUnmarkedInTheOthers)
{
    FakeSpellChecker checker;
    FakeBlockHost host;
    DocumentTextStorage first, second;
    TextBlockController a(QUuid::createUuid(), &host, false, {}, TextBlockController::NoteStyle::floating, first);
    TextBlockController b(QUuid::createUuid(), &host, false, {}, TextBlockController::NoteStyle::floating, second);
    QWidget body;  // the views go before their controllers
    auto* viewA = new RichNSTextView(a, first, &body);
    auto* viewB = new RichNSTextView(b, second, &body);
    Q_UNUSED(viewB);
    for (TextBlockController* c : {&a, &b}) {
        c->spelling().setChecker(&checker);
        c->pasteText(AttributedText("the zorp"));
    }
    ASSERT_EQ(b.spelling().marks().size(), 1u);
    body.resize(400, 300);
    viewA->resize(400, 100);
    body.show();
    QMenu menu;
    viewA->populateContextMenu(&menu, viewA->caretRect(6).center().toPoint());
    QAction* learn = nullptr;
    for (QAction* action : menu.actions())
        if (action->text() == "Learn Spelling") learn = action;
    ASSERT_TRUE(learn);
    learn->trigger();
    EXPECT_EQ(checker.learnt, QStringList{"zorp"});
    EXPECT_TRUE(a.spelling().marks().empty());
    EXPECT_TRUE(b.spelling().marks().empty());
}
