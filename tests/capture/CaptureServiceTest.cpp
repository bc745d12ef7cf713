#include <QCoreApplication>
#include <QSet>

#include "capture/CaptureService.h"
#include "model/Capture.h"
#include "note/NoteNotifications.h"
#include "platform/NotificationCenter.h"
#include "platform/SelectionReader.h"
#include "support/NoteStoreFixture.h"

namespace {

class CaptureServiceTest : public tarnwick::test::NoteStoreTestBase {
protected:
    CaptureServiceTest()
    {
        service = std::make_unique<CaptureService>(
            *store, [this](const QUuid& id) { return openNotes.contains(id); }, settings, clock);
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
        return {text, QStringLiteral("Text Editor"), QStringLiteral("org.gnome.TextEditor"),
                QUrl(QStringLiteral("https://example.org/a")), QStringLiteral("Draft")};
    }
    Capture* onlyCapture()
    {
        const auto all = rows<Capture>();
        return all.size() == 1 ? all.first() : nullptr;
    }

    QSet<QUuid> openNotes;
    std::unique_ptr<CaptureService> service;
};

TEST_F(CaptureServiceTest, AppendsToTheOpenActiveNoteKeepingBlanksAndExistingSource)
{
    Note* note = openActiveNote(QStringLiteral("first"));
    note->setSourceApp(QStringLiteral("Terminal"));
    const auto result = service->ingest(fromEditor(QStringLiteral("  second \n")), false);

    const auto* appended = std::get_if<CaptureService::Appended>(&result);
    ASSERT_TRUE(appended);
    EXPECT_EQ(appended->noteID, note->uuid());
    EXPECT_EQ(appended->appendedRange, (Note::TextRange{6, 10}));
    EXPECT_EQ(note->body(), QStringLiteral("first\n  second \n"));
    EXPECT_EQ(note->sourceApp(), QStringLiteral("Terminal")) << "an existing source is never replaced";
    EXPECT_EQ(note->sourceURL(), QUrl(QStringLiteral("https://example.org/a")));
    Capture* capture = onlyCapture();
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->uuid(), appended->captureID);
    EXPECT_EQ(capture->text(), QStringLiteral("  second \n"));
    EXPECT_EQ(capture->noteUUID(), note->uuid());
    EXPECT_EQ(capture->sourceTitle(), QStringLiteral("Draft"));
}

TEST_F(CaptureServiceTest, NewNoteWithTheModifierLeavesTheActiveNoteAndTakesItsPlace)
{
    Note* active = openActiveNote(QStringLiteral("untouched"));
    settings.setValue(QStringLiteral("notes.defaultThemeID"), QStringLiteral("green"));
    const auto result = service->ingest(fromEditor(QStringLiteral("\n\n  Word  \nmore lines\n")), true);

    const auto* created = std::get_if<CaptureService::Created>(&result);
    ASSERT_TRUE(created);
    EXPECT_EQ(store->activeNoteID(), created->noteID);
    EXPECT_EQ(active->body(), QStringLiteral("untouched"));
    Note* note = store->note(created->noteID);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->title(), QStringLiteral("Word"));
    EXPECT_EQ(note->body(), QStringLiteral("\n\n  Word  \nmore lines\n"));
    EXPECT_EQ(note->themeID(), QStringLiteral("green"));
    EXPECT_EQ(note->tint(), Tint::green);
    EXPECT_EQ(note->opacityRaw(), QStringLiteral("solid"));
    EXPECT_EQ(note->sourceApp(), QStringLiteral("Text Editor"));
    EXPECT_EQ(onlyCapture()->noteUUID(), created->noteID);
}

TEST_F(CaptureServiceTest, FirstLineTitles)
{
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    EXPECT_EQ(CaptureService::firstLine(QString(100, u'a')), QString(80, u'a'));
    EXPECT_EQ(CaptureService::firstLine(QStringLiteral("   \nwords here")), QString());
    EXPECT_EQ(CaptureService::firstLine(QStringLiteral("a\r\nb")), QStringLiteral("a\r"));
    EXPECT_EQ(CaptureService::firstLine(family.repeated(81)), family.repeated(80))
        << "80 user-perceived characters, never a split cluster";
}

TEST_F(CaptureServiceTest, StoredAloneWhenTheActiveNoteCannotTakeText)
{
    Note* closed = addSavedNote(QStringLiteral("closed window"));
    Note* binned = openActiveNote(QStringLiteral("binned"));
    store->softDelete(*binned);
    Note* locked = openActiveNote(QStringLiteral("locked"));
    locked->setIsLocked(true);
    Note* newer = openActiveNote(QStringLiteral("newer"));
    newer->setBodyBlocksData(QByteArray(R"({"version":99,"blocks":[]})"));
    const QByteArray newerBody = *newer->bodyBlocksData();
    store->saveNow();

    const std::optional<QUuid> cases[] = {std::nullopt,   closed->uuid(), binned->uuid(),
                                          locked->uuid(), newer->uuid(),  QUuid::createUuid()};
    for (const auto& active : cases) {
        store->setActiveNoteID(active);
        const auto result = service->ingest(fromEditor(QStringLiteral("text")), false);
        const auto* captured = std::get_if<CaptureService::Captured>(&result);
        ASSERT_TRUE(captured);
        Capture* row = store->capture(captured->captureID);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->noteUUID(), std::nullopt);
    }
    EXPECT_EQ(closed->body(), QStringLiteral("closed window"));
    EXPECT_EQ(locked->body(), QStringLiteral("locked"));
    EXPECT_EQ(newer->bodyBlocksData(), newerBody) << "a body of a newer version is never rewritten";
}

TEST_F(CaptureServiceTest, EmptySelectionStoresNothingAndKeepsTheUndoRecord)
{
    service->ingest(fromEditor(QStringLiteral("kept")), false);
    const auto before = service->lastCapture()->captureID;
    const auto result = service->ingest(fromEditor(QStringLiteral(" \n\t\u3000\n")), true);
    EXPECT_TRUE(std::holds_alternative<CaptureService::EmptySelection>(result));
    EXPECT_EQ(rows<Capture>().size(), 1);
    EXPECT_EQ(rows<Note>().size(), 0);
    EXPECT_EQ(service->lastCapture()->captureID, before);
}

TEST_F(CaptureServiceTest, AttachSourceOnlyAStoredFalseTurnsItOff)
{
    settings.setValue(QStringLiteral("capture.attachSource"), QStringLiteral("no"));
    EXPECT_TRUE(service->attachSource());
    settings.setValue(QStringLiteral("capture.attachSource"), false);
    Note* note = openActiveNote(QStringLiteral("body"));
    service->ingest(fromEditor(QStringLiteral("appended")), false);
    const auto created = std::get<CaptureService::Created>(service->ingest(fromEditor(QStringLiteral("new")), true));

    EXPECT_EQ(note->sourceApp(), std::nullopt);
    EXPECT_EQ(store->note(created.noteID)->sourceURL(), std::nullopt);
    for (Capture* row : rows<Capture>()) {
        EXPECT_EQ(row->sourceApp(), std::nullopt);
        EXPECT_EQ(row->sourceBundleID(), std::nullopt);
        EXPECT_EQ(row->sourceURL(), std::nullopt);
        EXPECT_EQ(row->sourceTitle(), std::nullopt);
    }
}

TEST_F(CaptureServiceTest, UndoRevertsEachOutcomeOnce)
{
    QStringList deleted;
    auto token = NotificationCenter::shared().observe(tarnwickDidDeleteNote,
                                                      [&](const Notification& n) { deleted << n.object; });

    // Stored alone: only the row goes.
    service->ingest(fromEditor(QStringLiteral("alone")), false);
    service->undoLast();
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // Appended: the body and blocks come back exactly; the filled-in source stays.
    Note* note = openActiveNote(QStringLiteral("before"));
    const QByteArray blocksBefore = *note->bodyBlocksData();
    service->ingest(fromEditor(QStringLiteral("after")), false);
    service->undoLast();
    EXPECT_EQ(note->body(), QStringLiteral("before"));
    EXPECT_EQ(note->bodyBlocksData(), blocksBefore);
    EXPECT_EQ(note->sourceApp(), QStringLiteral("Text Editor"));
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // Created: the note goes to the bin, restorable, and its window is told.
    const auto created = std::get<CaptureService::Created>(service->ingest(fromEditor(QStringLiteral("new")), true));
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

TEST_F(CaptureServiceTest, UndoNeverWritesOverLaterEditsOrSealedContent)
{
    Note* edited = openActiveNote(QStringLiteral("mine"));
    service->ingest(fromEditor(QStringLiteral("captured")), false);
    ASSERT_TRUE(edited->appendPlain(QStringLiteral("typed later")));
    service->undoLast();
    EXPECT_EQ(edited->body(), QStringLiteral("mine\ncaptured\ntyped later"));
    EXPECT_TRUE(rows<Capture>().isEmpty());

    Note* sealed = openActiveNote(QStringLiteral("secret"));
    service->ingest(fromEditor(QStringLiteral("captured")), false);
    seal(*sealed);
    service->undoLast();
    EXPECT_EQ(sealed->body(), QString());
    EXPECT_EQ(sealed->bodyBlocksData(), std::nullopt);
}

class FakeReader : public SelectionReader {
public:
    bool isAvailable() const override { return available; }
    std::optional<ActiveWindow> activeWindow() override { return window; }
    Result<QString, Failure> selectedText() override { return text; }

    bool available = true;
    std::optional<ActiveWindow> window = ActiveWindow{4242, QStringLiteral("gedit"), QStringLiteral("Gedit"), {}};
    Result<QString, Failure> text = QStringLiteral("selected");
};

TEST(CaptureReadSelection, ReasonsForUnreadableSelections)
{
    using Reason = CaptureService::UnreadableReason;
    FakeReader reader;
    const auto context = CaptureService::readSelection(reader);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->text, QStringLiteral("selected"));
    EXPECT_EQ(context->sourceApp, QStringLiteral("Gedit")) << "no desktop entry: the window class names it";

    const auto failsWith = [&](Reason reason) {
        return !CaptureService::readSelection(reader) && CaptureService::lastUnreadableReason() == reason;
    };
    reader.text = SelectionReader::Failure::timedOut;
    EXPECT_TRUE(failsWith(Reason::appExposesNoSelection));
    reader.window->pid = QCoreApplication::applicationPid();
    EXPECT_TRUE(failsWith(Reason::tarnwickIsFrontmost));
    reader.window.reset();
    EXPECT_TRUE(failsWith(Reason::tarnwickIsFrontmost));
    reader.available = false;
    EXPECT_TRUE(failsWith(Reason::noFocusedElement));
}

}  // namespace
