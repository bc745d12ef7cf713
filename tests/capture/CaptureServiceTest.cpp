#include <QCoreApplication>
#include <QSet>

#include "capture/CaptureService.h"
#include "model/Capture.h"
#include "model/NoteNotifications.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "platform/SelectionReader.h"
#include "platform/StoreTestSupport.h"
#include "support/FakeSelectionReader.h"
#include "support/NoteStoreFixture.h"

namespace {

class CaptureServiceTest : public tarnwick::test::NoteStoreTestBase {
protected:
    CaptureServiceTest()
    {
        service = std::make_unique<CaptureService>(
            *store, [this](const QUuid& id) { return openNotes.contains(id); }, settings, clock, reader);
    }
    // A saved note that is active with its window open.
    Note* openActiveNote(const QString& body)
    {
        Note* note = addSavedNote(body);
        openNotes.insert(note->uuid());
        store->setActiveNoteID(note->uuid());
        return note;
    }
    static CaptureContext fromEditor(const QString& text)
    {
        return {text, "Text Editor", "org.gnome.TextEditor", QUrl("https://example.org/a"), "Draft"};
    }
    Capture* onlyCapture()
    {
        const auto all = rows<Capture>();
        return all.size() == 1 ? all.first() : nullptr;
    }

    QSet<QUuid> openNotes;
    FakeSelectionReader reader;
    std::unique_ptr<CaptureService> service;
};

TEST_F(CaptureServiceTest, AppendsToTheOpenActiveNoteKeepingBlanksAndExistingSource)
{
    Note* note = openActiveNote("first");
    note->setSourceApp("Terminal");
    const auto result = service->ingest(fromEditor("  second \n"), false);

    const auto* appended = std::get_if<CaptureService::Appended>(&result);
    ASSERT_TRUE(appended);
    EXPECT_EQ(appended->noteID, note->uuid());
    EXPECT_EQ(appended->appendedRange, (Note::TextRange{6, 10}));
    EXPECT_EQ(note->body(), "first\n  second \n");
    EXPECT_EQ(note->sourceApp(), "Terminal") << "an existing source is never replaced";
    EXPECT_EQ(note->sourceURL(), QUrl("https://example.org/a"));
    Capture* capture = onlyCapture();
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->uuid(), appended->captureID);
    EXPECT_EQ(capture->text(), "  second \n");
    EXPECT_EQ(capture->noteUUID(), note->uuid());
    EXPECT_EQ(capture->sourceTitle(), "Draft");
}

TEST_F(CaptureServiceTest, NewNoteWithTheModifierLeavesTheActiveNoteAndTakesItsPlace)
{
    Note* active = openActiveNote("untouched");
    settings.setValue("notes.defaultThemeID", "green");
    const auto result = service->ingest(fromEditor("\n\n  Word  \nmore lines\n"), true);

    const auto* created = std::get_if<CaptureService::Created>(&result);
    ASSERT_TRUE(created);
    EXPECT_EQ(store->activeNoteID(), created->noteID);
    EXPECT_EQ(active->body(), "untouched");
    Note* note = store->note(created->noteID);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->title(), "Word");
    EXPECT_EQ(note->body(), "\n\n  Word  \nmore lines\n");
    EXPECT_EQ(note->tint(), Tint::green);
    EXPECT_EQ(note->sourceApp(), "Text Editor");
    EXPECT_EQ(onlyCapture()->noteUUID(), created->noteID);
    // One moment, from the service's clock, for the note and its capture.
    EXPECT_EQ(note->createdAt(), clock.now());
    EXPECT_EQ(note->updatedAt(), clock.now());
    EXPECT_EQ(onlyCapture()->createdAt(), clock.now());
}

TEST_F(CaptureServiceTest, FirstLineTitles)
{
    const QString family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_EQ(CaptureService::firstLine(QString(100, u'a')), QString(80, u'a'));
    EXPECT_EQ(CaptureService::firstLine("   \nwords here"), QString());
    EXPECT_EQ(CaptureService::firstLine("\r\na\r\nb"), "a");
    EXPECT_EQ(CaptureService::firstLine(family.repeated(81)), family.repeated(80))
        << "80 user-perceived characters, never a split cluster";
}

// Hostile first lines: controls read as spaces, bidi embeddings, overrides and isolates vanish; the
// body keeps every character.
TEST_F(CaptureServiceTest, TitlesFromHostileTextDrawPlain)
{
    EXPECT_EQ(CaptureService::firstLine(QString::fromUtf16(u"\u202Egnp.exe\u202C report")), "gnp.exe report");
    EXPECT_EQ(CaptureService::firstLine(QString::fromUtf16(u"\u2067isolated\u2069\u202Aembedded\u202D")),
              "isolatedembedded");
    EXPECT_EQ(CaptureService::firstLine(QStringLiteral("\t\x1b"
                                                       "[31mred\x07"
                                                       "bell\r"
                                                       "tail\n2")),
              "[31mred bell tail");
    EXPECT_EQ(CaptureService::firstLine(QStringLiteral("\x01\x02\x03")), QString()) << "only controls: blank";
    EXPECT_EQ(CaptureService::firstLine(QString::fromUtf16(u"\u200Fmark kept")),
              QString::fromUtf16(u"\u200Fmark kept"));

    const QString hostile = QStringLiteral(
                                "\u202E\x1b"
                                "evil") +
                            QChar(0) + QStringLiteral("title\nbody");
    const auto result = service->ingest(fromEditor(hostile), true);
    const auto* created = std::get_if<CaptureService::Created>(&result);
    ASSERT_TRUE(created);
    Note* note = store->note(created->noteID);
    EXPECT_EQ(note->title(), "evil title");
    EXPECT_EQ(note->body(), hostile);
}

TEST_F(CaptureServiceTest, StoredAloneWhenTheActiveNoteCannotTakeText)
{
    Note* closed = addSavedNote("closed window");
    Note* binned = openActiveNote("binned");
    store->softDelete(*binned);
    Note* locked = openActiveNote("locked");
    locked->setIsLocked(true);
    Note* newer = openActiveNote("newer");
    newer->setBodyBlocksData(QByteArray(R"({"version":99,"blocks":[]})"));
    const QByteArray newerBody = *newer->bodyBlocksData();
    store->saveNow();

    const std::optional<QUuid> cases[] = {std::nullopt,   closed->uuid(), binned->uuid(),
                                          locked->uuid(), newer->uuid(),  QUuid::createUuid()};
    for (const auto& active : cases) {
        store->setActiveNoteID(active);
        const auto result = service->ingest(fromEditor("text"), false);
        const auto* captured = std::get_if<CaptureService::Captured>(&result);
        ASSERT_TRUE(captured);
        Capture* row = store->capture(captured->captureID);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->noteUUID(), std::nullopt);
    }
    EXPECT_EQ(closed->body(), "closed window");
    EXPECT_EQ(locked->body(), "locked");
    EXPECT_EQ(newer->bodyBlocksData(), newerBody) << "a body of a newer version is never rewritten";
}

TEST_F(CaptureServiceTest, EmptySelectionStoresNothingAndKeepsTheUndoRecord)
{
    service->ingest(fromEditor("kept"), false);
    const auto before = service->lastCapture()->captureID;
    const auto result = service->ingest(fromEditor(" \n\t\u3000\n"), true);
    EXPECT_TRUE(std::holds_alternative<CaptureService::EmptySelection>(result));
    EXPECT_EQ(rows<Capture>().size(), 1);
    EXPECT_EQ(rows<Note>().size(), 0);
    EXPECT_EQ(service->lastCapture()->captureID, before);
}

TEST_F(CaptureServiceTest, AttachSourceOnlyAStoredFalseTurnsItOff)
{
    settings.setValue("capture.attachSource", "no");
    EXPECT_TRUE(service->attachSource());
    settings.setValue("capture.attachSource", false);
    Note* note = openActiveNote("body");
    service->ingest(fromEditor("appended"), false);
    const auto created = std::get<CaptureService::Created>(service->ingest(fromEditor("new"), true));

    EXPECT_EQ(note->sourceApp(), std::nullopt);
    EXPECT_EQ(store->note(created.noteID)->sourceURL(), std::nullopt);
    for (Capture* row : rows<Capture>())
        EXPECT_FALSE(row->sourceApp() || row->sourceBundleID() || row->sourceURL() || row->sourceTitle());
}

TEST_F(CaptureServiceTest, UndoRevertsEachOutcomeOnce)
{
    QStringList deleted;
    auto token = NotificationCenter::shared().observe(tarnwickDidDeleteNote,
                                                      [&](const Notification& n) { deleted << n.object; });

    // Stored alone: only the row goes.
    service->ingest(fromEditor("alone"), false);
    service->undoLast();
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // Appended: the body and blocks come back exactly; the filled-in source stays.
    Note* note = openActiveNote("before");
    const QByteArray blocksBefore = *note->bodyBlocksData();
    service->ingest(fromEditor("after"), false);
    service->undoLast();
    EXPECT_EQ(note->body(), "before");
    EXPECT_EQ(note->bodyBlocksData(), blocksBefore);
    EXPECT_EQ(note->sourceApp(), "Text Editor");
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // Created: the note goes to the bin, restorable, and its window is told.
    const auto created = std::get<CaptureService::Created>(service->ingest(fromEditor("new"), true));
    service->undoLast();
    Note* made = store->note(created.noteID);
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->isTrashed());
    EXPECT_EQ(deleted, QStringList{created.noteID.toString(QUuid::WithoutBraces).toUpper()});
    EXPECT_EQ(store->activeNoteID(), created.noteID) << "undo leaves the active note alone";

    // A second undo does nothing.
    store->restore(*made);
    service->undoLast();
    EXPECT_FALSE(made->isTrashed());
}

TEST_F(CaptureServiceTest, UndoOfAnEditedNoteTakesOutOnlyTheAppendedText)
{
    // Edited after the capture: the appended text and its line feed go, the later edit stays.
    Note* edited = openActiveNote("mine");
    service->ingest(fromEditor("captured"), false);
    ASSERT_TRUE(edited->appendPlain("typed later"));
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(edited->body(), "mine\ntyped later");
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // Typed into its line before it, key by key, and after it in a line of its own: the text moved,
    // and still goes alone.
    Note* typed = openActiveNote("mine");
    service->ingest(fromEditor("captured"), false);
    for (const char* text : {"mine!\ncaptured", "mine!\n\ncaptured", "mine!\n\ncaptured\nafter"}) {
        auto blocks = typed->blocks();
        blocks.last().textRuns()->text = text;
        ASSERT_TRUE(typed->setBlocks(blocks));
    }
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(typed->body(), "mine!\n\nafter");

    // Text that filled an empty body, typed in front of on its line: it goes, the typing stays.
    Note* empty = openActiveNote("");
    service->ingest(fromEditor("captured"), false);
    ASSERT_TRUE(empty->setBlocks(blocks({"T:mine captured"})));
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(empty->body(), "mine ");

    // The appended text itself was changed: nothing is undone and the row stays with its text.
    Note* retyped = openActiveNote("mine");
    service->ingest(fromEditor("captured"), false);
    auto blocks = retyped->blocks();
    blocks.last().textRuns()->text.replace("captured", "caPtured");
    ASSERT_TRUE(retyped->setBlocks(blocks));
    EXPECT_FALSE(service->undoLast()) << "the caller is told it stayed";
    EXPECT_EQ(retyped->body(), "mine\ncaPtured");
    EXPECT_EQ(rows<Capture>().size(), 1);
    EXPECT_TRUE(log.contains("Capture undo left note"));

    // Sealed since: nothing is written into it, and the row stays.
    Note* sealed = openActiveNote("secret");
    service->ingest(fromEditor("captured"), false);
    seal(*sealed);
    EXPECT_FALSE(service->undoLast());
    EXPECT_EQ(sealed->body(), QString());
    EXPECT_EQ(sealed->bodyBlocksData(), std::nullopt);
    EXPECT_EQ(rows<Capture>().size(), 2);
}

TEST_F(CaptureServiceTest, AnEmptyBodyLineTheCaretStandsOnStaysTheUsers)
{
    // An editor of the note with its caret at the body's end, or elsewhere.
    QObject editor;
    bool caretAtEnd = true;
    QUuid editing;
    store->addPendingEdits(
        &editor, [] {}, [] {}, [&](const QUuid& id) { return id == editing && caretAtEnd; });
    const auto typeInFront = [](Note* note, const QString& typed, const QString& rest) {
        for (qsizetype n = 1; n <= typed.size(); ++n)
            ASSERT_TRUE(note->setBlocks(blocks({"T:" + typed.left(n) + rest})));
    };

    // The text goes on the line after the caret's; untouched, its undo gives the empty body back.
    Note* note = openActiveNote("");
    editing = note->uuid();
    auto result = service->ingest(fromEditor("ecap"), false);
    ASSERT_TRUE(std::holds_alternative<CaptureService::Appended>(result));
    EXPECT_EQ(std::get<CaptureService::Appended>(result).appendedRange, (Note::TextRange{1, 4}));
    EXPECT_EQ(note->body(), "\necap");
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(note->body(), QString());

    // Typed on the caret's line, a word ending in the text's first letter: undo leaves the typing alone.
    service->ingest(fromEditor("ecap"), false);
    typeInFront(note, "type", "\necap");
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(note->body(), "type");
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // The caret elsewhere: the text fills the empty body, and typing later put in front of it on its
    // line, whatever its letters, is still kept apart by the undo.
    caretAtEnd = false;
    Note* other = openActiveNote("");
    editing = other->uuid();
    result = service->ingest(fromEditor("ecap"), false);
    EXPECT_EQ(std::get<CaptureService::Appended>(result).appendedRange, (Note::TextRange{0, 4}));
    EXPECT_EQ(other->body(), "ecap");
    typeInFront(other, "type", "ecap");
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(other->body(), "type");
}

// Text typed or pasted next to the capture that repeats its letters could lie inside it as well;
// as long as the text and its line feed stand whole, undo takes out exactly them.
TEST_F(CaptureServiceTest, UndoTakesOutTheTextWhateverRepeatsItAround)
{
    const auto setText = [](Note* note, const QString& text) {
        auto blocks = note->blocks();
        blocks.last().textRuns()->text = text;
        ASSERT_TRUE(note->setBlocks(blocks));
    };
    // Types `typed` key by key at `at` (from the end when negative), or pastes it at once.
    const auto insert = [&](Note* note, qsizetype at, const QString& typed, bool paste = false) {
        const QString was = note->blocks().last().textRuns()->text;
        if (at < 0) at += was.size() + 1;
        for (qsizetype n = paste ? typed.size() : 1; n <= typed.size(); ++n)
            setText(note, was.left(at) + typed.left(n) + was.mid(at));
    };
    struct Case {
        const char* body;
        const char* captured;
        qsizetype at;
        const char* typed;
        bool paste;
        const char* undone;
    };
    const Case cases[] = {
        {"abc", "x", -1, "x", false, "abcx"},
        {"abc", "qqq", -1, "q", false, "abcq"},
        {"abc", "foo bar", -1, "foo bar", true, "abcfoo bar"},
        {"abc", "foo bar", -1, "\nfoo bar", true, "abc\nfoo bar"},
        {"abc", "x", 3, "x", false, "abcx"},
        {"abc", "x", 3, "\nx", false, "abc\nx"},
        {"abc", "foo bar", 3, "\nfoo bar", true, "abc\nfoo bar"},
        {"", "x", -1, "x", false, "x"},
        {"", "qqq", 0, "q", false, "q"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString("%1 + %2, then %3 at %4").arg(c.body, c.captured, c.typed).arg(c.at).toStdString());
        Note* note = openActiveNote(c.body);
        ASSERT_TRUE(std::holds_alternative<CaptureService::Appended>(service->ingest(fromEditor(c.captured), false)));
        insert(note, c.at, c.typed, c.paste);
        EXPECT_TRUE(service->undoLast());
        EXPECT_EQ(note->body(), c.undone);
        EXPECT_TRUE(rows<Capture>().isEmpty());
    }

    // The caret on an empty body line: the text went on the line after it, with its line feed.
    QObject editor;
    QUuid editing;
    store->addPendingEdits(
        &editor, [] {}, [] {}, [&](const QUuid& id) { return id == editing; });
    Note* blank = openActiveNote("");
    editing = blank->uuid();
    service->ingest(fromEditor("x"), false);
    ASSERT_EQ(blank->body(), "\nx");
    insert(blank, -1, "x");
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(blank->body(), "x");

    // The line feed joined back, or a letter typed inside: nothing whole to take out, the row stays.
    Note* joined = openActiveNote("abc");
    service->ingest(fromEditor("x"), false);
    setText(joined, "abcx");
    EXPECT_FALSE(service->undoLast());
    EXPECT_EQ(joined->body(), "abcx");
    Note* inside = openActiveNote("abc");
    service->ingest(fromEditor("foo bar"), false);
    insert(inside, 7, "o");
    EXPECT_FALSE(service->undoLast());
    EXPECT_EQ(inside->body(), "abc\nfooo bar");
    EXPECT_EQ(rows<Capture>().size(), 2);
}

// Keys an editor still holds back when undo comes are the user's: they are written first and stay.
TEST_F(CaptureServiceTest, UndoKeepsKeysTheEditorStillHoldsBack)
{
    Note* note = openActiveNote("abc");
    service->ingest(fromEditor("x"), false);
    QObject editor;
    QString held = "x!";
    // Like an editor, it drops what it holds once it takes in a body changed elsewhere.
    store->addPendingEdits(
        &editor,
        [&] {
            if (held.isEmpty()) return;
            auto blocks = note->blocks();
            blocks.last().textRuns()->text += std::exchange(held, QString());
            ASSERT_TRUE(note->setBlocks(blocks));
        },
        [&] { held.clear(); });
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(note->body(), "abcx!");
    EXPECT_TRUE(rows<Capture>().isEmpty());
}

TEST_F(CaptureServiceTest, ReadOnlyNotesTakeNoTextAndFailedSavesAreReported)
{
    Note* readOnly = openActiveNote("newer");
    store->setReadOnlyNoteIDs({readOnly->uuid()});
    EXPECT_TRUE(std::holds_alternative<CaptureService::Captured>(service->ingest(fromEditor("x"), false)));
    EXPECT_EQ(readOnly->body(), "newer");

    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE INSERT ON Capture BEGIN SELECT RAISE(ABORT, 'full'); END"));
    const auto result = service->ingest(fromEditor("kept in memory"), false);
    ASSERT_TRUE(std::holds_alternative<CaptureService::Captured>(result));
    EXPECT_FALSE(std::get<CaptureService::Captured>(result).saved);
}

// A capture reported not saved is taken back: once the store can write again, neither its row, nor
// the text in the note, nor a note made for it reaches the disk, so a caller that tries again does not
// get it twice. What the note held before stays, and so does every other unsaved change.
TEST_F(CaptureServiceTest, ACaptureReportedNotSavedIsNeverStoredLater)
{
    Note* open = openActiveNote("before");
    open->setSourceApp(std::nullopt);
    const QDateTime updated = open->updatedAt();
    ASSERT_TRUE(store->saveNow());
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER full BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'full'); END"));
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER full2 BEFORE INSERT ON Capture BEGIN SELECT RAISE(ABORT, 'full'); END"));
    open->setTitle("typed while full");

    const auto appended = service->ingest(fromEditor("appended"), false);
    ASSERT_TRUE(std::holds_alternative<CaptureService::Appended>(appended));
    EXPECT_FALSE(std::get<CaptureService::Appended>(appended).saved);
    EXPECT_EQ(open->body(), "before");
    EXPECT_EQ(open->sourceApp(), std::nullopt);
    EXPECT_EQ(open->updatedAt(), updated);

    openNotes.clear();
    const auto alone = service->ingest(fromEditor("alone"), false);
    ASSERT_TRUE(std::holds_alternative<CaptureService::Captured>(alone));
    EXPECT_FALSE(std::get<CaptureService::Captured>(alone).saved);
    const auto created = service->ingest(fromEditor("new note"), true);
    ASSERT_TRUE(std::holds_alternative<CaptureService::Created>(created));
    EXPECT_FALSE(std::get<CaptureService::Created>(created).saved);
    EXPECT_EQ(store->note(std::get<CaptureService::Created>(created).noteID), nullptr);
    EXPECT_TRUE(service->undoLast()) << "nothing to undo";

    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER full"));
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER full2"));
    ASSERT_TRUE(store->saveNow());
    EXPECT_EQ(sql("SELECT count(*) FROM Capture"), "0");
    EXPECT_EQ(sql("SELECT count(*) || ' ' || group_concat(title) FROM Note"), "1 typed while full");
    EXPECT_EQ(open->body(), "before");
}

TEST(CaptureReadSelection, ReasonsForUnreadableSelections)
{
    using Reason = CaptureService::UnreadableReason;
    FakeSelectionReader reader;
    const auto context = CaptureService::readSelection(reader);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->text, "selected");
    EXPECT_EQ(context->sourceApp, "Gedit") << "no desktop entry: the window class names it";

    const auto failsWith = [&](Reason reason) {
        const auto read = CaptureService::readSelection(reader);
        return !read && read.error() == reason;
    };
    reader.text = SelectionReader::Failure::noOwner;
    EXPECT_EQ(CaptureService::readSelection(reader)->text, QString()) << "nothing selected reads as empty";
    reader.text = SelectionReader::Failure::timedOut;
    EXPECT_TRUE(failsWith(Reason::appExposesNoSelection));
    reader.text = SelectionReader::Failure::ownSelection;
    EXPECT_TRUE(failsWith(Reason::tarnwickIsFrontmost));
    reader.window->pid = QCoreApplication::applicationPid();
    EXPECT_TRUE(failsWith(Reason::tarnwickIsFrontmost));
    reader.window.reset();
    EXPECT_TRUE(failsWith(Reason::tarnwickIsFrontmost));
    reader.available = false;
    EXPECT_TRUE(failsWith(Reason::noFocusedElement));
}

// A long capture as a new note is written in the background, the note with its capture row, and is
// said saved only once on disk; a failed write is taken back as a short capture's failed save is:
// neither the note nor its row is stored, then or once the store writes again.
TEST_F(CaptureServiceTest, ALongCaptureAsANewNoteIsWrittenInTheBackgroundWithItsRow)
{
    const QString text = QStringLiteral("Long capture\n") + QString(1 << 20, u'c');
    QStringList outcomes;
    QObject::connect(&context(), &ModelContext::saveFinished, [&](const QString& failure) { outcomes << failure; });
    QList<std::pair<QUuid, bool>> written;
    QObject::connect(service.get(), &CaptureService::newNoteWritten, [&](const QUuid& captureID, bool saved) {
        written.append({captureID, saved});
    });
    const auto created = std::get<CaptureService::Created>(service->ingest(fromEditor(text), true));
    EXPECT_TRUE(created.writing);
    EXPECT_FALSE(created.saved);
    EXPECT_EQ(store->activeNoteID(), created.noteID);
    EXPECT_TRUE(outcomes.isEmpty());
    context().waitForWrite();
    EXPECT_EQ(outcomes, QStringList{QString()});
    EXPECT_EQ(written, (QList<std::pair<QUuid, bool>>{{created.captureID, true}}));
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(sql("SELECT count(*) FROM Note") + ' ' + sql("SELECT length(text) FROM Capture"),
              QString("1 %1").arg(text.size()));

    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER block BEFORE INSERT ON Capture BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const auto failed = std::get<CaptureService::Created>(service->ingest(fromEditor(text + "2"), true));
    EXPECT_TRUE(failed.writing);
    // Ended by a save of something else, which then writes only that.
    addNote("typed meanwhile");
    store->saveNow();
    ASSERT_EQ(outcomes.size(), 3);
    EXPECT_TRUE(outcomes[1].contains("refused"));
    EXPECT_EQ(outcomes[2], QString());
    EXPECT_EQ(written.last(), std::make_pair(failed.captureID, false));
    EXPECT_FALSE(store->note(failed.noteID));
    EXPECT_FALSE(store->activeNoteID());
    EXPECT_FALSE(service->lastCapture()) << "undo has nothing of it to take back";

    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER block"));
    clock.advance(NoteStore::firstRetryMs);
    EXPECT_FALSE(store->saveFailure());
    EXPECT_EQ(sql("SELECT count(*) FROM Note") + ' ' + sql("SELECT count(*) FROM Capture"), "2 1");
    EXPECT_EQ(sql("SELECT count(*) FROM Note WHERE length(body) > 1000"), "1") << "the refused note never arrives";

    // A write that ends while the new note is announced (a view reads the store and waits for it) is
    // answered at once, taken back when it failed.
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER block BEFORE INSERT ON Capture BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    QObject reader;
    QObject::connect(store.get(), &NoteStore::revisionChanged, &reader, [&] { context().waitForWrite(); });
    const auto answered = std::get<CaptureService::Created>(service->ingest(fromEditor(text + "3"), true));
    EXPECT_FALSE(answered.writing);
    EXPECT_FALSE(answered.saved);
    EXPECT_FALSE(store->activeNoteID());
    EXPECT_FALSE(store->note(answered.noteID));
    EXPECT_EQ(written.size(), 2) << "no signal for an outcome already answered";
}

}  // namespace

// Text captured into a long open note is in the note at once, written in the background with its row,
// and said saved only once on disk. A write that fails takes it back as a short append's failed save
// does, but never the user's typing since; an undo while it is written takes the text out once.
TEST_F(CaptureServiceTest, AnAppendToALongNoteIsWrittenInTheBackgroundAndTakenBackWhenItFails)
{
    const QString body = QStringLiteral("Long note\n") + QString(1 << 20, u'b');
    Note* note = openActiveNote(body);
    note->setSourceApp(std::nullopt);
    ASSERT_TRUE(store->saveNow());
    const QDateTime updated = note->updatedAt();
    QList<std::pair<QUuid, bool>> written;
    QObject::connect(service.get(), &CaptureService::appendWritten, [&](const QUuid& captureID, bool saved) {
        written.append({captureID, saved});
    });
    clock.advance(1000);

    const auto stored = std::get<CaptureService::Appended>(service->ingest(fromEditor("first"), false));
    EXPECT_TRUE(stored.writing);
    EXPECT_FALSE(stored.saved);
    EXPECT_EQ(note->body(), body + "\nfirst") << "in the note at once";
    ASSERT_TRUE(context().isWriting());
    context().waitForWrite();
    EXPECT_EQ(written, (QList<std::pair<QUuid, bool>>{{stored.captureID, true}}));
    EXPECT_EQ(sql("SELECT substr(body, -6) FROM Note"), "\nfirst");
    EXPECT_EQ(sql("SELECT noteUUID FROM Capture"), note->uuid().toString(QUuid::WithoutBraces).toUpper());

    // Undone while written: the text goes once, and the write's end takes nothing more.
    const QString afterFirst = note->body();
    const auto undone = std::get<CaptureService::Appended>(service->ingest(fromEditor("second"), false));
    ASSERT_TRUE(undone.writing);
    EXPECT_TRUE(service->undoLast());
    EXPECT_EQ(note->body(), afterFirst);
    EXPECT_EQ(written.last(), std::make_pair(undone.captureID, true));
    EXPECT_EQ(sql("SELECT count(*) FROM Capture"), "1");

    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER block BEFORE INSERT ON Capture BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    // Failed with the note as the append left it: the note is as it was, its source and date too.
    note->setSourceApp(std::nullopt);
    ASSERT_TRUE(store->saveNow());
    const QDateTime beforeFailure = note->updatedAt();
    const auto failed = std::get<CaptureService::Appended>(service->ingest(fromEditor("third"), false));
    ASSERT_TRUE(failed.writing);
    context().waitForWrite();
    EXPECT_EQ(written.last(), std::make_pair(failed.captureID, false));
    EXPECT_EQ(note->body(), afterFirst);
    EXPECT_EQ(note->sourceApp(), std::nullopt);
    EXPECT_EQ(note->updatedAt(), beforeFailure);
    EXPECT_FALSE(service->lastCapture()) << "undo has nothing of it to take back";

    // Failed after the user typed below it: the text goes, the typing stays.
    const auto typedOver = std::get<CaptureService::Appended>(service->ingest(fromEditor("fourth"), false));
    ASSERT_TRUE(typedOver.writing);
    ASSERT_TRUE(note->appendPlain("typed meanwhile"));
    context().waitForWrite();
    EXPECT_EQ(written.last(), std::make_pair(typedOver.captureID, false));
    EXPECT_EQ(note->body(), afterFirst + "\ntyped meanwhile");

    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER block"));
    clock.advance(NoteStore::firstRetryMs);
    context().waitForWrite();
    EXPECT_FALSE(store->saveFailure());
    EXPECT_EQ(sql("SELECT count(*) FROM Capture"), "1") << "no refused row arrives later";
    EXPECT_EQ(sql("SELECT substr(body, -21) FROM Note"), "first\ntyped meanwhile");
    EXPECT_NE(updated, note->updatedAt());
}
