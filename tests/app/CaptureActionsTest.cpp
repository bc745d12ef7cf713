// The capture presenter as one table, and the roads into it, over a real store and capture service.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "app/CaptureActions.h"
#include "capture/CaptureCapsuleController.h"
#include "model/Capture.h"
#include "model/NoteNotifications.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "platform/SelectionReader.h"
#include "support/FakeSelectionReader.h"
#include "support/NoteStoreFixture.h"

namespace {

using Result = CaptureService::Result;
using Reason = CaptureService::UnreadableReason;

// The window in front, and a browser's page that does not answer: read off the main thread, they are
// told only once released. On the main thread the window in front answers at once (a text's arrival
// reads those few X properties there); a page or a selection read there would hang the test rather
// than fail it, so it is only noted.
struct GatedReader : SelectionReader {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    int asked = 0;  // reads that waited for the release
    std::atomic<bool> waitedOnMainThread = false;
    ActiveWindow front{12345, "xmessage", "Xmessage", "Probe"};
    QString selected;  // what PRIMARY holds; nothing owns it while empty
    static bool onMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }
    bool isAvailable() const override { return true; }
    bool readsInBackground() const override { return true; }
    std::optional<ActiveWindow> activeWindow() override
    {
        std::unique_lock lock(mutex);
        if (!onMainThread()) waitForRelease(lock);
        return front;
    }
    ::Result<QString, Failure> selectedText() override
    {
        if (onMainThread()) waitedOnMainThread = true;
        if (selected.isEmpty()) return Failure::noOwner;
        return selected;
    }
    // The source of a window as its page read tells it, once released.
    SourceHarvester::Source source(const std::optional<ActiveWindow>& window)
    {
        std::unique_lock lock(mutex);
        if (onMainThread())
            waitedOnMainThread = true;
        else
            waitForRelease(lock);
        if (!window) return {};
        return {window->className, window->instanceName, {}, window->title};
    }
    void waitForRelease(std::unique_lock<std::mutex>& lock)
    {
        ++asked;
        changed.wait(lock, [this] { return released; });
    }
    void setFront(const ActiveWindow& window)
    {
        const std::lock_guard lock(mutex);
        front = window;
    }
    void release()
    {
        {
            const std::lock_guard lock(mutex);
            released = true;
        }
        changed.notify_all();
    }
    int timesAsked()
    {
        const std::lock_guard lock(mutex);
        return asked;
    }
};

// Spins the event loop until `done`; the bound is only against a hang.
bool waitFor(const std::function<bool()>& done)
{
    const QDeadlineTimer hang(20000);
    while (!done() && !hang.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

class CaptureActionsTest : public tarnwick::test::NoteStoreTestBase {
protected:
    CaptureActionsTest()
    {
        fired = NotificationCenter::shared().observe(tarnwickHotkeyFired,
                                                     [this](const Notification& n) { announced << n.object; });
        hooks.showNote = [this](const QUuid& id) { shown << id; };
        hooks.openPeek = [this](const QUuid& id) { peeked << id; };
        actions = std::make_unique<CaptureActions>(*store, service, capsule, settings, hooks);
    }
    CaptureContext selection(const QString& text) { return {text, "Probe Notes", "xmessage", {}, {}}; }

    FakeSelectionReader reader;
    CaptureService service{*store, [](const QUuid&) { return false; }, settings, clock, reader};
    CaptureCapsuleController capsule{clock, {}, [] { return false; }};
    CaptureActions::Hooks hooks;
    std::unique_ptr<CaptureActions> actions;
    QStringList announced;
    QList<QUuid> shown, peeked;
    ObserverToken fired;
};

TEST_F(CaptureActionsTest, EveryOutcomeGetsItsCapsule)
{
    const QUuid id = QUuid::createUuid();
    struct Row {
        Result result;
        QString message, detail;
        bool undo, open, announced;
    };
    const Row rows[] = {
        {CaptureService::Appended{id, id, {0, 1}}, "Text captured", "", true, true, true},
        {CaptureService::Captured{id}, "Text captured", "", true, true, true},
        {CaptureService::Created{id, id}, "Text captured", "", true, false, true},
        {CaptureService::Captured{id, false}, "Capture not saved", "Tarnwick couldn't write to your notes file.", false,
         false, true},
        {CaptureService::UnreadableSelection{Reason::tarnwickIsFrontmost}, "Nothing captured",
         "Select text in another app first.", false, false, false},
        {CaptureService::UnreadableSelection{Reason::noFocusedElement}, "Nothing captured",
         "Click into some text, then try again.", false, false, false},
        {CaptureService::UnreadableSelection{Reason::appExposesNoSelection}, "Nothing captured",
         "This app won't share its selection.", false, false, false},
        {CaptureService::UnreadableSelection{Reason::selectionTooLarge}, "Nothing captured",
         "The selection is too large to capture.", false, false, false},
        {CaptureService::EmptySelection{}, "Nothing selected", "Select some text, then press Alt+Shift+Space.", false,
         false, false},
    };
    for (const Row& row : rows) {
        announced.clear();
        actions->presentCaptureResult(row.result);
        const auto& m = capsule.model();
        EXPECT_EQ(m.message(), row.message);
        EXPECT_EQ(m.detail().value_or(QString()), row.detail);
        EXPECT_EQ(m.showsUndo(), row.undo) << qPrintable(row.message);
        EXPECT_EQ(m.showsOpenAffordance(), row.open) << qPrintable(row.message);
        EXPECT_EQ(announced, row.announced ? QStringList{"capture"} : QStringList()) << qPrintable(row.detail);
    }
    EXPECT_EQ(shown, QList<QUuid>{id}) << "a new note's window opens";

    actions->presentCaptureResult(CaptureService::Captured{id});
    capsule.openAction();
    EXPECT_EQ(peeked, QList<QUuid>{id});

    settings.setValue(HotkeyManager::keyCodeKey(HotkeyManager::Action::capture), 40);
    settings.setValue(HotkeyManager::modifiersKey(HotkeyManager::Action::capture), 0x1300);
    actions->presentCaptureResult(CaptureService::EmptySelection{});
    EXPECT_EQ(capsule.model().detail(), "Select some text, then press Ctrl+Shift+Super+K.");
}

// A capture of a megabyte or more as a new note is written in the background: its capsule comes at
// once all the same, and its window opens once the note is on disk. A write that fails, whatever ends
// it (its own end, or a save that waits for it), puts the warning in the capsule's place, opens no
// window and, as for a short capture, stores nothing later; later saves show nothing.
TEST_F(CaptureActionsTest, ALongCaptureAsANewNoteGetsItsCapsuleAtOnce)
{
    const QString longText = QStringLiteral("Long capture\n") + QString(1 << 20, u'c');
    for (const bool failing : {false, true}) {
        for (const bool endedBySave : {true, false}) {
            SCOPED_TRACE(std::string(failing ? "failing" : "written") + (endedBySave ? ", ended by a save" : ""));
            if (failing) {
                ASSERT_TRUE(ModelContainerTesting::exec(
                    *container, "CREATE TRIGGER block BEFORE INSERT ON Capture BEGIN SELECT RAISE(ABORT, 'no'); END"));
            }
            shown.clear();
            capsule.dismiss();
            const QString longCaptures = QStringLiteral("SELECT count(*) FROM Capture WHERE length(text) > 1000");
            const int stored = sql(longCaptures).toInt();
            const Result result = service.ingest(selection(longText), true);
            const auto created = std::get<CaptureService::Created>(result);
            ASSERT_TRUE(created.writing);
            actions->presentCaptureResult(result);
            EXPECT_TRUE(capsule.isShowing());
            EXPECT_EQ(capsule.model().message(), "Text captured");
            EXPECT_TRUE(shown.isEmpty()) << "no window before the note is on disk";
            if (endedBySave) {
                addNote("typed meanwhile");
                store->saveNow();
            } else {
                ASSERT_TRUE(waitFor([&] { return !context().isWriting(); }));
            }
            ASSERT_TRUE(
                waitFor([&] { return failing ? capsule.model().message() != "Text captured" : !shown.isEmpty(); }));
            EXPECT_EQ(capsule.model().message(), failing ? "Capture not saved" : "Text captured");
            EXPECT_EQ(capsule.model().showsUndo(), !failing);
            QCoreApplication::processEvents();
            EXPECT_EQ(shown, failing ? QList<QUuid>() : QList<QUuid>{created.noteID});
            capsule.dismiss();
            if (failing) {
                ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER block"));
                store->saveNow();
                clock.advance(NoteStore::longestRetryMs);
                EXPECT_EQ(sql(longCaptures).toInt(), stored) << "the capture answered not saved is never stored";
            }
            addNote("unrelated");
            store->saveNow();
            EXPECT_FALSE(capsule.isShowing()) << "one capsule for one capture";
        }
    }
}

// Text captured into a long open note, written in the background: the capsule comes at once, and says
// "Capture not saved" in its place when the write fails; a text handed over on the bus is answered once
// the write has ended, with what came of it.
TEST_F(CaptureActionsTest, ACaptureIntoALongOpenNoteIsAnsweredWhenItsWriteEnds)
{
    CaptureService openService{*store, [](const QUuid&) { return true; }, settings, clock, reader};
    CaptureActions openActions(*store, openService, capsule, settings, hooks);
    Note* note = addSavedNote(QString(1 << 20, u'n'));
    store->setActiveNoteID(note->uuid());
    for (const bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "failing" : "written");
        if (failing) {
            ASSERT_TRUE(ModelContainerTesting::exec(
                *container, "CREATE TRIGGER block BEFORE INSERT ON Capture BEGIN SELECT RAISE(ABORT, 'no'); END"));
        }
        capsule.dismiss();
        const Result result = openService.ingest(selection("by the hot key"), false);
        ASSERT_TRUE(std::get<CaptureService::Appended>(result).writing);
        openActions.presentCaptureResult(result);
        EXPECT_EQ(capsule.model().message(), "Text captured");
        ASSERT_TRUE(waitFor([&] { return !context().isWriting(); }));
        EXPECT_EQ(capsule.model().message(), failing ? "Capture not saved" : "Text captured");

        std::optional<CaptureService::Result> answer;
        openActions.handleServiceCapture("on the bus", [&](const std::optional<Result>& r) { answer = r; });
        EXPECT_FALSE(answer) << "not answered while written";
        ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
        const auto* appended = answer ? std::get_if<CaptureService::Appended>(&*answer) : nullptr;
        ASSERT_TRUE(appended);
        EXPECT_EQ(appended->saved, !failing);
        EXPECT_FALSE(appended->writing);
    }
    EXPECT_TRUE(note->body().endsWith("n\nby the hot key\non the bus")) << "the failed ones taken back";
}

// Undo takes back its own capture only; when the user has since edited the text it brought, the edit
// stays and the capsule says the capture was not undone.
TEST_F(CaptureActionsTest, AnUndoThatCannotBeDoneSaysSo)
{
    CaptureService openService{*store, [](const QUuid&) { return true; }, settings, clock, reader};
    CaptureActions openActions(*store, openService, capsule, settings, hooks);
    Note* note = addSavedNote("mine");
    store->setActiveNoteID(note->uuid());

    openActions.presentCaptureResult(openService.ingest(selection("captured"), false));
    auto blocks = note->blocks();
    blocks.last().textRuns()->text.replace("captured", "caPtured");
    ASSERT_TRUE(note->setBlocks(blocks));
    capsule.undoAction();
    EXPECT_EQ(note->body(), "mine\ncaPtured");
    ASSERT_TRUE(capsule.isShowing()) << "closed as if undone";
    EXPECT_EQ(capsule.model().message(), "Capture not undone");
    EXPECT_EQ(capsule.model().detail(), "The note has changed since; nothing was removed.");
    EXPECT_FALSE(capsule.model().showsUndo());

    // A capsule whose capture is no longer the last one undoes nothing.
    openActions.presentCaptureResult(openService.ingest(selection("older"), false));
    openService.ingest(selection("newer"), false);
    capsule.undoAction();
    EXPECT_EQ(note->body(), "mine\ncaPtured\nolder\nnewer");
    EXPECT_FALSE(capsule.isShowing());
}

TEST_F(CaptureActionsTest, TheCaptureRoadUndoAndTheBusRoad)
{
    service.setSelectionProvider([this] { return CaptureService::SelectionRead(selection("from the probe")); });
    actions->dispatch(HotkeyManager::Action::capture, HotkeyManager::kOption | HotkeyManager::kShift);
    ASSERT_EQ(rows<Capture>().size(), 1);
    EXPECT_EQ(rows<Capture>().first()->sourceApp(), "Probe Notes");
    EXPECT_TRUE(rows<Note>().isEmpty());
    capsule.undoAction();
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // Super held: a new note, opened.
    actions->dispatch(HotkeyManager::Action::capture, 0xB00);
    ASSERT_EQ(rows<Note>().size(), 1);
    EXPECT_EQ(shown, QList<QUuid>{rows<Note>().first()->uuid()});

    service.setSelectionProvider([] { return CaptureService::SelectionRead(Reason::appExposesNoSelection); });
    actions->dispatch(HotkeyManager::Action::capture, 0xA00);
    EXPECT_EQ(capsule.model().message(), "Nothing captured");

    const int before = int(rows<Capture>().size());
    capsule.dismiss();
    int answers = 0;
    std::optional<CaptureService::Result> answer;
    const auto reply = [&](const std::optional<CaptureService::Result>& result) { ++answers, answer = result; };
    for (const QString& blank : {QString(), QString(" \n\t")}) actions->handleServiceCapture(blank, reply);
    EXPECT_EQ(answers, 2);
    EXPECT_FALSE(answer);
    EXPECT_EQ(rows<Capture>().size(), before);
    EXPECT_FALSE(capsule.isShowing()) << "blank text does nothing at all";
    actions->handleServiceCapture("  handed over ", reply);
    EXPECT_EQ(answers, 3);
    EXPECT_TRUE(answer);
    EXPECT_EQ(rows<Capture>().size(), before + 1);
    QStringList texts;
    for (Capture* c : rows<Capture>()) texts << c->text();
    EXPECT_TRUE(texts.contains("  handed over ")) << "stored untrimmed";
}

// Where the reader allows, the source of a text handed over is read off the main thread: a window in
// front slow to tell it (a browser building its page's objects) holds neither the application nor other
// texts back. The sender is answered once its text is filed; texts handed over meanwhile share that read
// and follow in order.
TEST_F(CaptureActionsTest, HandedOverTextsWaitForTheirSourceOffTheMainThread)
{
    GatedReader slow;
    CaptureService slowService{*store, [](const QUuid&) { return false; }, settings, clock, slow};
    CaptureActions slowActions(*store, slowService, capsule, settings, hooks);
    slowActions.setSourceRead(
        [&slow](const std::optional<ActiveWindow>& window, QDeadlineTimer) { return slow.source(window); });
    QStringList answered;
    for (const QString text : {"first", "second"}) {
        slowActions.handleServiceCapture(text, [&answered, text](const std::optional<Result>& result) {
            EXPECT_TRUE(result && std::holds_alternative<CaptureService::Captured>(*result)) << qPrintable(text);
            answered << text;
        });
    }
    EXPECT_FALSE(slow.waitedOnMainThread);
    EXPECT_TRUE(answered.isEmpty()) << "answered before its source was read";
    EXPECT_TRUE(slowActions.isReadingSelection());
    slow.release();
    const QDeadlineTimer hang(20000);
    while (answered.size() < 2 && !hang.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(answered, (QStringList{"first", "second"}));
    EXPECT_EQ(slow.timesAsked(), 1) << "the second came while the window was read, and shares that read";
    QStringList stored;
    for (Capture* c : rows<Capture>()) stored << c->text() + " from " + c->sourceApp().value_or("nothing");
    stored.sort();
    EXPECT_EQ(stored, (QStringList{"first from Xmessage", "second from Xmessage"}));
}

// Over a window in front that does not answer: the texts and presses that come during a read wait for it.
class SlowWindowTest : public CaptureActionsTest {
protected:
    SlowWindowTest()
    {
        slowActions.setSourceRead(
            [this](const std::optional<ActiveWindow>& window, QDeadlineTimer) { return slow.source(window); });
    }
    ~SlowWindowTest() override { slow.release(); }  // (a read still held would hang the teardown)
    int storedCaptures() { return int(rows<Capture>().size()); }
    QStringList storedTexts()
    {
        QStringList texts;
        for (Capture* c : rows<Capture>()) texts << c->text() + " from " + c->sourceApp().value_or("nothing");
        texts.sort();
        return texts;
    }

    GatedReader slow;
    CaptureService slowService{*store, [](const QUuid&) { return false; }, settings, clock, slow};
    CaptureActions slowActions{*store, slowService, capsule, settings, hooks};
};

// Texts handed over while the window is read are all answered when that one read ends, each filed (one
// row each) before its caller hears, in the order they came; hot-key presses meanwhile are one capture,
// made right after them.
TEST_F(SlowWindowTest, TextsAndPressesDuringAReadAreServedWhenItEnds)
{
    slow.selected = "selected words";
    QStringList answered;
    QList<int> storedWhenAnswered;
    const QStringList texts{"one", "two", "three", "four", "five"};
    for (const QString& text : texts) {
        slowActions.handleServiceCapture(text, [&, text](const std::optional<Result>& result) {
            EXPECT_TRUE(result && std::holds_alternative<CaptureService::Captured>(*result)) << qPrintable(text);
            answered << text;
            storedWhenAnswered << storedCaptures();
        });
        if (text == "two") {
            for (int press = 0; press < 2; ++press)
                slowActions.dispatch(HotkeyManager::Action::capture, HotkeyManager::kOption | HotkeyManager::kShift);
        }
    }
    EXPECT_TRUE(answered.isEmpty());
    slow.release();
    ASSERT_TRUE(waitFor([&] { return storedCaptures() == 6; })) << storedCaptures() << " rows";
    EXPECT_EQ(answered, texts);
    EXPECT_EQ(storedWhenAnswered, (QList<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(slow.timesAsked(), 2) << "one read for the texts, one for the press";
    EXPECT_EQ(storedTexts(), (QStringList{"five from Xmessage", "four from Xmessage", "one from Xmessage",
                                          "selected words from Xmessage", "three from Xmessage", "two from Xmessage"}));
    EXPECT_EQ(capsule.model().message(), "Text captured");
    EXPECT_FALSE(slowActions.isReadingSelection());
    EXPECT_FALSE(slow.waitedOnMainThread);
}

// Each text keeps the window that was in front when it came, though another window's page is being
// read: only the texts that came with that window in front share its read. Rows and answers still
// follow the order the texts came in.
TEST_F(SlowWindowTest, EachTextKeepsTheWindowInFrontWhenItCame)
{
    const ActiveWindow browser{4242, "firefox-esr", "Firefox-esr", "Stalled page - Mozilla Firefox"};
    const ActiveWindow pad{777, "xmessage", "Xmessage", "Probe Pad"};
    QStringList answered;
    QList<int> storedWhenAnswered;
    for (const auto& [given, front] : {std::pair{QString("first"), browser}, {"second", pad}, {"third", browser}}) {
        slow.setFront(front);
        // A copy: clang 14 cannot capture a structured binding.
        const QString text = given;
        slowActions.handleServiceCapture(text, [&, text](const std::optional<Result>&) {
            answered << text;
            storedWhenAnswered << storedCaptures();
        });
    }
    EXPECT_TRUE(answered.isEmpty());
    slow.release();
    ASSERT_TRUE(waitFor([&] { return answered.size() == 3; })) << answered.size() << " answered";
    EXPECT_EQ(answered, (QStringList{"first", "second", "third"}));
    EXPECT_EQ(storedWhenAnswered, (QList<int>{1, 2, 3}));
    EXPECT_EQ(slow.timesAsked(), 2) << "the browser's page once, the pad once";
    QStringList stored;
    for (Capture* c : rows<Capture>())
        stored << c->text() + " from " + c->sourceApp().value_or("nothing") + ", " + c->sourceTitle().value_or("");
    stored.sort();
    EXPECT_EQ(stored,
              (QStringList{"first from Firefox-esr, Stalled page - Mozilla Firefox", "second from Xmessage, Probe Pad",
                           "third from Firefox-esr, Stalled page - Mozilla Firefox"}));
    EXPECT_FALSE(slow.waitedOnMainThread);
}

// A text that waited behind a hot key's read gets what is left of its time for its own, not a fresh
// budget; a press during the hot key's read is captured after it.
TEST_F(SlowWindowTest, ATextBehindAHotKeyReadKeepsTheTimeOfItsArrival)
{
    slow.selected = "selected words";
    std::mutex given;
    std::optional<QDeadlineTimer> deadline;
    slowActions.setSourceRead([&](const std::optional<ActiveWindow>&, QDeadlineTimer d) {
        const std::lock_guard lock(given);
        deadline = d;
        return SourceHarvester::Source{"Stalled Browser", "firefox-esr", {}, "Stalled page"};
    });
    slowActions.dispatch(HotkeyManager::Action::capture, HotkeyManager::kOption | HotkeyManager::kShift);
    ASSERT_TRUE(slowActions.isReadingSelection());
    int storedWhenAnswered = -1;
    slowActions.handleServiceCapture("behind the hot key",
                                     [&](const std::optional<Result>&) { storedWhenAnswered = storedCaptures(); });
    const QDeadlineTimer promised(SourceHarvester::kBudgetMs);
    slowActions.dispatch(HotkeyManager::Action::capture, HotkeyManager::kOption | HotkeyManager::kShift);
    QThread::msleep(20);  // time spent waiting, which a fresh budget would not count
    slow.release();
    ASSERT_TRUE(waitFor([&] { return storedCaptures() == 3; })) << storedCaptures() << " rows";
    EXPECT_EQ(storedWhenAnswered, 2) << "filed after the first press, before the second";
    {
        const std::lock_guard lock(given);
        ASSERT_TRUE(deadline);
        EXPECT_LE(deadline->deadlineNSecs(), promised.deadlineNSecs());
    }
    EXPECT_EQ(storedTexts(), (QStringList{"behind the hot key from Stalled Browser", "selected words from Xmessage",
                                          "selected words from Xmessage"}));
}

// While a question waits for an answer, every hot key only brings it forward, as the tray icon does: no
// note is made or shown, the notes stay as they are, the shelf stays shut, and nothing is announced. A
// capture press kept for after a read is a press at the time it runs: asked meanwhile, the question
// comes first; the capture already reading is filed.
TEST_F(SlowWindowTest, WhileAQuestionWaitsEveryHotKeyOnlyBringsItForward)
{
    using A = HotkeyManager::Action;
    bool waiting = true;
    int broughtForward = 0, toggled = 0;
    CaptureActions::Hooks& h = slowActions.hooks();
    h.bringQuestionForward = [&] { return waiting && ++broughtForward; };
    h.toggleHideAll = [&] { ++toggled; };
    h.toggleShelf = [&] { ++toggled; };
    slow.selected = "selected words";
    for (const A action : {A::newNote, A::capture, A::hideAll, A::shelf})
        slowActions.dispatch(action, HotkeyManager::kOption | HotkeyManager::kShift | HotkeyManager::kCommand);
    EXPECT_EQ(broughtForward, 4);
    EXPECT_FALSE(slowActions.isReadingSelection());
    EXPECT_TRUE(rows<Note>().isEmpty());
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(toggled, 0);
    EXPECT_TRUE(announced.isEmpty());

    waiting = false;
    slowActions.dispatch(A::capture, HotkeyManager::kOption | HotkeyManager::kShift);
    ASSERT_TRUE(slowActions.isReadingSelection());
    slowActions.dispatch(A::capture, HotkeyManager::kOption | HotkeyManager::kShift);
    waiting = true;  // the quit question, asked while the selection is read
    slow.release();
    ASSERT_TRUE(waitFor([&] { return !slowActions.isReadingSelection(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(storedTexts(), QStringList{"selected words from Xmessage"}) << "the kept press captured behind it";
    EXPECT_EQ(broughtForward, 5);

    waiting = false;
    slowActions.dispatch(A::newNote, 0);
    EXPECT_EQ(rows<Note>().size(), 1) << "answered, the keys work again";
}

// A session that cannot read selections at all explains why on its first failed capture, once, after
// the hot key's own event; other failures explain nothing.
TEST_F(CaptureActionsTest, NoSelectionServiceExplainsOncePerSession)
{
    struct Reader : SelectionReader {
        bool available = true;
        bool isAvailable() const override { return available; }
        std::optional<ActiveWindow> activeWindow() override { return ActiveWindow{12345, "x", "X", "t"}; }
        ::Result<QString, Failure> selectedText() override { return Failure::timedOut; }
    } reader;
    int explained = 0;
    actions->hooks().explainCapture = [&] { ++explained; };
    service.setSelectionProvider([&] { return CaptureService::readSelection(reader); });

    actions->dispatch(HotkeyManager::Action::capture, 0xA00);
    QCoreApplication::processEvents();
    EXPECT_EQ(explained, 0) << "an application that would not answer is no missing service";
    reader.available = false;
    actions->dispatch(HotkeyManager::Action::capture, 0xA00);
    EXPECT_EQ(explained, 0) << "not from inside the hot key's event";
    EXPECT_EQ(capsule.model().detail(), "Click into some text, then try again.");
    QCoreApplication::processEvents();
    actions->dispatch(HotkeyManager::Action::capture, 0xA00);
    QCoreApplication::processEvents();
    EXPECT_EQ(explained, 1);
}

TEST_F(CaptureActionsTest, OnlyActionsWithAHandlerAreGrabbed)
{
    using A = HotkeyManager::Action;
    EXPECT_EQ(actions->workingActions(), (QSet<A>{A::newNote, A::capture}));
    actions->hooks().toggleShelf = [] {};
    EXPECT_TRUE(actions->workingActions().contains(A::shelf));
}

}  // namespace
