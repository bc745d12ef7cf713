#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>

#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/ReminderScheduler.h"
#include "app/TarnwickApp.h"
#include "design/TrayGlyph.h"
#include "model/NoteNotifications.h"
#include "onboarding/OnboardingController.h"
#include "platform/ModelContainer.h"
#include "platform/OwnWindows.h"
#include "privacy/UnlockSession.h"
#include "shelf/ShelfController.h"
#include "store/TarnwickSchemaV2.h"
#include "support/FakeAuthenticator.h"
#include "support/FakeDesktopNotifications.h"
#include "support/NoteStoreFixture.h"
#include "windows/FloatingNotesManager.h"

namespace {

using tarnwick::test::FakeAuthenticator;

// The tour's window, as the delegate's calls show it.
struct TourPanel : OnboardingPanel {
    QStringList* calls;
    explicit TourPanel(QStringList* calls) : calls(calls) {}
    void present() override { *calls << "tour"; }
    void bringToFront() override { *calls << "tour front"; }
    void discard() override
    {
        *calls << "tour closed";
        delete this;
    }
};

class AppDelegateTest : public tarnwick::test::NoteStoreTestBase {
protected:
    AppDelegate::Parts parts()
    {
        AppDelegate::Parts p{*store, reminders, unlockSession, settings, clock, center};
        p.windows = {[this](const QUuid& id) { calls << "show " + id.toString(QUuid::WithoutBraces); },
                     [this](const QUuid& id) { calls << "deleted " + id.toString(QUuid::WithoutBraces); },
                     [this](const QUuid& id) { calls << "close " + id.toString(QUuid::WithoutBraces); },
                     [this](const QUuid& id, double value) {
                         calls << QString("opacity %1 %2").arg(id.toString(QUuid::WithoutBraces)).arg(value);
                         return true;
                     }};
        p.shelf = {[this] { return shelfOpen; },
                   [this] {
                       shelfOpen = true;
                       calls << "present";
                   },
                   [this] {
                       shelfOpen = false;
                       calls << "dismiss";
                   },
                   {}};
        p.bus = &bus;
        p.onboardingPanel = [this](OnboardingController&) { return new TourPanel(&calls); };
        p.storeFailure = [this] { return failure; };
        p.explainNotifications = [this] { calls << "explain notifications"; };
        p.warn = [this](const QString& text) {
            warnings << text;
            return choice;
        };
        p.askUnsavedQuit = [this](const QString& failure, UnsavedQuit::Loss loss, FocusReturn giveBack) {
            unsavedAsks << failure;
            losses << loss;
            givenBackTo << giveBack.window();
            return unsavedAnswers.isEmpty() ? UnsavedQuit::Choice::keepRunning : unsavedAnswers.takeFirst();
        };
        p.endRun = [this] { calls << "end run"; };
        return p;
    }

    FakeDesktopNotifications notifications;
    ReminderScheduler reminders{*store, notifications, clock, settings};
    FakeAuthenticator authenticator;
    UnlockSession unlockSession{*store, authenticator, clock, settings};
    NotificationCenter center;
    SingleInstance bus;
    std::optional<QString> failure;
    StorageWarning::Choice choice = StorageWarning::Choice::quit;
    QStringList warnings;
    QStringList unsavedAsks;
    QList<UnsavedQuit::Choice> unsavedAnswers;
    QList<UnsavedQuit::Loss> losses;
    QList<QWidget*> givenBackTo;
    bool shelfOpen = false;
    QStringList calls;
    AppDelegate delegate{parts()};
};

TEST_F(AppDelegateTest, NoteNotificationsAndReminderClicksReachTheWindowsOnlyWithAUsableNote)
{
    settings.setValue("onboarding.completed", true);
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    const QString id = "0F0E0D0C-0B0A-4908-8706-050403020100";
    const QString lower = id.toLower();
    for (const QString& name : {tarnwickDidCreateNote, tarnwickDidDeleteNote, tarnwickDismissNote})
        for (const QString& object : {id, QString(), QString("not-a-uuid"), "{" + id + "}"}) center.post(name, object);
    center.post(tarnwickOpacityChanged, id, {{"value", 0.4}});
    for (const QVariant& junk : {QVariant(), QVariant("0.5"), QVariant(std::nan("")), QVariant(INFINITY)})
        center.post(tarnwickOpacityChanged, id, {{"value", junk}});
    center.post(tarnwickOpacityChanged, QString(), {{"value", 0.4}});
    EXPECT_EQ(calls, (QStringList{"show " + lower, "deleted " + lower, "close " + lower, "opacity " + lower + " 0.4"}));

    calls.clear();
    center.post(tarnwickToggleSearchPalette);
    center.post(tarnwickToggleSearchPalette);
    EXPECT_EQ(calls, (QStringList{"present", "dismiss"}));

    // A reminder of a note binned or purged since it was shown opens nothing.
    calls.clear();
    Note* kept = addNote("Kept");
    Note* binned = addNote("Binned");
    store->softDelete(*binned);
    for (const QUuid& note : {kept->uuid(), binned->uuid(), QUuid::createUuid()})
        Q_EMIT reminders.openNoteRequested(note);
    EXPECT_EQ(calls, QStringList{"show " + kept->uuid().toString(QUuid::WithoutBraces)});

    // A reminder set with no notification service: explained once a session, after the popover's turn.
    calls.clear();
    reminders.explainUnavailable();
    reminders.explainUnavailable();
    EXPECT_TRUE(calls.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, QStringList{"explain notifications"});
}

TEST_F(AppDelegateTest, TrayClicksToggleTheShelfButNotAfterTheirOwnFocusLoss)
{
    settings.setValue("onboarding.completed", true);
    delegate.statusItemClicked();  // before the launch: nothing acts
    EXPECT_TRUE(calls.isEmpty());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());

    // Past the tour, the tray toggles the shelf.
    delegate.statusItemClicked();
    delegate.statusItemClicked();
    EXPECT_EQ(calls, (QStringList{"present", "dismiss"}));

    // The click took the focus from the open shelf, which closed itself before the click arrived.
    calls.clear();
    delegate.statusItemClicked();
    delegate.applicationDeactivated();
    shelfOpen = false;
    clock.advance(100);
    delegate.statusItemClicked();
    EXPECT_EQ(calls, QStringList{"present"});
    // A later click, or one after a focus loss long ago, opens it again.
    delegate.statusItemClicked();
    delegate.applicationDeactivated();
    shelfOpen = false;
    clock.advance(AppDelegate::kClickFocusLossMs);
    delegate.statusItemClicked();
    EXPECT_EQ(calls, (QStringList{"present", "present", "present"}));
}

TEST_F(AppDelegateTest, UntilTheTourIsFinishedTheTrayAndOpenShelfBringItBack)
{
    // A first launch shows the tour; the key is read leniently, as the tray reads it.
    settings.setValue("onboarding.completed", "no");
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(calls, QStringList{"tour"});
    delegate.statusItemClicked();
    delegate.openShelf();
    EXPECT_EQ(calls, (QStringList{"tour", "tour front", "tour front"}));

    // "Replay" while it is open raises it; finishing it opens the shelf 200 ms later.
    center.post(tarnwickShowWelcome);
    EXPECT_EQ(calls.last(), "tour front");
    calls.clear();
    delegate.onboarding().finish();
    clock.advance(OnboardingController::kShelfDelayMs);
    EXPECT_EQ(calls, (QStringList{"tour closed", "present"}));
    EXPECT_TRUE(settings.boolValue("onboarding.completed"));

    calls.clear();
    delegate.statusItemClicked();
    delegate.openShelf();
    EXPECT_EQ(calls, (QStringList{"dismiss", "present"}));

    // Replayed after completion: a fresh tour, and the tray is the shelf's again.
    calls.clear();
    center.post(tarnwickShowWelcome);
    EXPECT_EQ(calls, QStringList{"tour"});
}

TEST_F(AppDelegateTest, ACompletedTourIsNotShownAtLaunch)
{
    settings.setValue("onboarding.completed", 1);
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_FALSE(delegate.onboarding().isOpen());
}

// The offscreen platform has no tray, as a desktop without one: the launch then shows the shelf once,
// unless the tour is showing instead; a launch with a tray (or none given) opens nothing.
TEST_F(AppDelegateTest, WithoutATrayTheLaunchOpensTheShelfOnce)
{
    TarnwickApp tray;
    ASSERT_TRUE(tray.trayMissingAtLaunch());
    settings.setValue("onboarding.completed", true);
    AppDelegate::Parts withTray = parts();
    withTray.tray = &tray;
    AppDelegate trayless(std::move(withTray));
    ASSERT_TRUE(trayless.applicationDidFinishLaunching());
    EXPECT_EQ(calls, QStringList{"present"});

    calls.clear();
    settings.setValue("onboarding.completed", false);
    AppDelegate::Parts firstRun = parts();
    firstRun.tray = &tray;
    AppDelegate tour(std::move(firstRun));
    ASSERT_TRUE(tour.applicationDidFinishLaunching());
    EXPECT_EQ(calls, QStringList{"tour"});
}

TEST_F(AppDelegateTest, QuittingAtTheStorageWarningLeavesEverythingUnconnected)
{
    failure = "file is not a database";
    EXPECT_FALSE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(warnings, QStringList{"file is not a database"});
    EXPECT_TRUE(log.contains("Running on a VOLATILE store this session; nothing written will survive quitting."));
    center.post(tarnwickDidCreateNote, "0F0E0D0C-0B0A-4908-8706-050403020100");
    EXPECT_TRUE(calls.isEmpty());
    QString notReady;
    SingleInstance::answerCapture({}, "text", [&](const auto& answer) { notReady = answer.errorName; });
    EXPECT_EQ(notReady, SingleInstance::errorName("NotReady"));

    choice = StorageWarning::Choice::continueWithoutSaving;
    EXPECT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_TRUE(delegate.hasFinishedLaunching());
    EXPECT_EQ(AppDelegate::sharedInstance(), &delegate);
}

TEST(AppServices, HousekeepingIsDoneBeforeTheLaunchAndOnlyThenAreRemindersTimed)
{
    auto container = std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value();
    ModelContext& context = container->mainContext();
    auto make = [&](const QString& title) {
        return context.insert(std::make_unique<Note>(title, QString(), Tint::blue, Opacity::solid, std::nullopt,
                                                     std::nullopt, QDateTime::currentDateTimeUtc()));
    };
    Note* expired = make("Binned long ago");
    expired->setIsTrashed(true);
    expired->setDeletedAt(QDateTime::currentDateTimeUtc().addDays(-31));
    make("Due")->setReminderDate(QDateTime::currentDateTimeUtc().addSecs(3600));
    ASSERT_TRUE(context.save());

    AppServices services(*container);
    QStringList titles;
    const auto notes = context.fetch<Note>();
    for (const Note* note : notes.value()) titles << note->title();
    EXPECT_EQ(titles, QStringList{"Due"});
    const QUuid due = services.noteStore().allActive().value(0)->uuid();
    EXPECT_FALSE(services.reminders().isPending(due));
    EXPECT_EQ(services.hotkeys(), nullptr);  // nothing grabbed without the actions
}

// The shell lights the tray icon with the shelf: the lit glyph from the turn after it opens, the glyph
// at rest again as soon as it closes.
TEST(AppServices, TheTrayIconShowsTheLitGlyphWhileTheShelfIsOpen)
{
    auto container = std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value();
    AppServices services(*container);
    SingleInstance bus;
    TarnwickApp tray;
    const AppDelegate::Parts parts = services.delegateParts(bus, tray);
    auto shown = [&] {
        return tray.trayIcon()->icon().pixmap(22).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    const QImage atRest = shown();
    ASSERT_EQ(atRest, TrayGlyph::image(22));
    services.shelf().present();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(), TrayGlyph::image(22, true));
    services.shelf().dismiss();
    EXPECT_EQ(shown(), atRest);
}

struct OpacityWindow : NoteWindow {
    QUuid id;
    QList<double>* opacities;
    QUuid noteID() const override { return id; }
    void setManager(FloatingNotesManager*) override {}
    void show() override {}
    void present(const QUuid&, int, bool) override {}
    void orderOut() override {}
    void applyOpacity(double value) override { opacities->append(value); }
    QRectF frame() const override { return {0, 0, 300, 200}; }
    QRectF restingFrame() const override { return frame(); }
    void moveForRescue(const QRectF&, std::function<void()>) override {}
    void retire() override { delete this; }
};

TEST_F(AppDelegateTest, TheWindowManagerIsAskedOnlyWhileItExists)
{
    QList<double> opacities;
    auto manager = std::make_unique<FloatingNotesManager>(*store, settings, [&](Note& note) {
        auto window = std::make_unique<OpacityWindow>();
        window->id = note.uuid();
        window->opacities = &opacities;
        return std::unique_ptr<NoteWindow>(std::move(window));
    });
    const auto isNoteOpen = AppServices::isNoteOpenAnswer(manager.get());
    const AppDelegate::NoteWindows windows = AppServices::noteWindows(manager.get());
    const QUuid shown = addNote("Shown")->uuid(), closed = addNote("Closed")->uuid();
    windows.show(shown);
    EXPECT_TRUE(isNoteOpen(shown));
    EXPECT_FALSE(isNoteOpen(closed));
    EXPECT_TRUE(windows.applyOpacity(shown, 0.5));
    EXPECT_FALSE(windows.applyOpacity(closed, 0.5));
    EXPECT_EQ(opacities, QList<double>{0.5});
    manager->hideAll();
    EXPECT_FALSE(isNoteOpen(shown));
    manager->restoreAll();
    EXPECT_TRUE(isNoteOpen(shown));
    manager.reset();
    EXPECT_FALSE(isNoteOpen(shown));
    windows.show(closed);
    EXPECT_FALSE(windows.applyOpacity(shown, 0.7));
}

TEST_F(AppDelegateTest, EndingTheRunSealsEveryUnlockedNote)
{
    Note* note = addSavedNote("Safe combination 4417");
    ASSERT_TRUE(store->lock(*note).ok());
    ASSERT_TRUE(unlockSession.admit(note->uuid()));
    ASSERT_TRUE(note->body().contains("4417"));
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    // However the loop ends (the menu, a signal), the application quits through here.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_FALSE(unlockSession.isUnlocked(note->uuid()));
    EXPECT_FALSE(note->body().contains("4417"));
    EXPECT_TRUE(note->isLocked());
}

// Quitting while the disk refuses the latest changes asks first: stay, save again, or quit anyway.
TEST_F(AppDelegateTest, QuittingWithChangesTheDiskRefusedAsksFirst)
{
    Note* note = addSavedNote("Draft");
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    note->setTitle("Draft, longer");

    EXPECT_FALSE(delegate.quit());  // Escape: the application stays
    EXPECT_EQ(unsavedAsks, QStringList{"disk full"});
    EXPECT_FALSE(calls.contains("end run"));

    unsavedAnswers = {UnsavedQuit::Choice::saveAgain, UnsavedQuit::Choice::quitAnyway};
    EXPECT_TRUE(delegate.quit());  // saved again, refused again, then quit as chosen
    EXPECT_EQ(unsavedAsks.size(), 3);
    EXPECT_EQ(losses.count(UnsavedQuit::Loss::latestChanges), 3) << "the notes file is where it was";
    EXPECT_EQ(calls.count("end run"), 1);

    // With room again, the last save goes through and nothing is asked.
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    EXPECT_TRUE(delegate.quit());
    EXPECT_EQ(unsavedAsks.size(), 3);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Draft, longer");
}

// With the notes file removed and no way to write it back, a quit loses every note, changed or not:
// the question is asked even with nothing typed since, and says so; Save Again and the quit itself try
// the file again.
TEST_F(AppDelegateTest, QuittingWithTheNotesFileGoneAsksForEveryNote)
{
    addSavedNote("Draft");
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    ASSERT_TRUE(QDir().mkdir(path() + "-wal")) << "something in the way";
    Note* refused = addNote("refused");
    EXPECT_FALSE(store->saveNow());
    store->discardUnsaved(*refused);
    ASSERT_FALSE(context().hasChanges());

    unsavedAnswers = {UnsavedQuit::Choice::saveAgain, UnsavedQuit::Choice::keepRunning};
    EXPECT_FALSE(delegate.quit());
    EXPECT_EQ(losses, (QList<UnsavedQuit::Loss>{UnsavedQuit::Loss::everyNote, UnsavedQuit::Loss::everyNote}));
    ASSERT_FALSE(unsavedAsks.isEmpty());
    EXPECT_TRUE(unsavedAsks.first().startsWith("the notes file was removed and could not be written again"));

    // The way clear again, the quit writes it back first, and asks nothing.
    ASSERT_TRUE(QDir().rmdir(path() + "-wal"));
    EXPECT_TRUE(delegate.quit());
    EXPECT_EQ(losses.size(), 2);
    EXPECT_EQ(calls.count("end run"), 1);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Private");
}

// A quit just after the notes file went, before the folder's watch has looked, looks at the file
// itself: it writes it back when it can, and asks when it cannot, with nothing typed since.
TEST_F(AppDelegateTest, QuittingJustAfterTheNotesFileWentLooksAtTheFileItself)
{
    addSavedNote("Draft");
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    const auto removeStore = [&] {
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    };
    removeStore();
    ASSERT_TRUE(QDir().mkdir(path() + "-wal")) << "something in the way";
    ASSERT_EQ(store->saveFailure(), std::nullopt) << "nothing has looked yet";
    EXPECT_FALSE(delegate.quit());  // Escape
    ASSERT_EQ(losses, QList<UnsavedQuit::Loss>{UnsavedQuit::Loss::everyNote});
    EXPECT_TRUE(unsavedAsks.first().startsWith("the notes file was removed and could not be written again"));
    EXPECT_FALSE(calls.contains("end run"));

    // With the way clear, the same quit writes it back and asks nothing.
    ASSERT_TRUE(QDir().rmdir(path() + "-wal"));
    ASSERT_TRUE(delegate.quit());
    removeStore();
    EXPECT_TRUE(delegate.quit());
    EXPECT_EQ(losses.size(), 1);
    EXPECT_EQ(calls.count("end run"), 2);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Private");
}

// The question's advice follows the cause: making room helps a full disk, not a notes file that could
// not be written again.
TEST(UnsavedQuitText, AdviceFollowsTheCause)
{
    for (const QString& full : {QStringLiteral("database or disk is full"),
                                QStringLiteral("the notes file was removed and could not be written again: a new file "
                                               "cannot be made there: No space left on device")})
        EXPECT_TRUE(UnsavedQuit::explanation(full).contains("Make room on the disk")) << qPrintable(full);
    const QString removed = QStringLiteral(
        "the notes file was removed and could not be written again: a new file cannot be made there: Not a directory");
    EXPECT_FALSE(UnsavedQuit::explanation(removed).contains("disk"));
    EXPECT_TRUE(UnsavedQuit::explanation(removed).contains(removed));

    // What a quit loses is said as it is: the latest changes, or every note when the file is gone.
    using Loss = UnsavedQuit::Loss;
    for (const QString& failure : {QStringLiteral("database or disk is full"), removed}) {
        EXPECT_TRUE(
            UnsavedQuit::explanation(failure, Loss::everyNote).endsWith("if you quit now, every note is lost."));
        EXPECT_TRUE(UnsavedQuit::explanation(failure).endsWith("if you quit now, they are lost."));
    }
    EXPECT_NE(UnsavedQuit::headline(Loss::everyNote), UnsavedQuit::headline(Loss::latestChanges));
    EXPECT_FALSE(UnsavedQuit::headline(Loss::everyNote).contains("latest"));
}

// A Cancel at the quit question gives the keyboard back where it was: to the window that had it when
// Quit was chosen (the tray menu), or to the note under the shelf whose Quit was pressed, as the shelf
// closes when the question takes the keyboard; so after a Save Again that failed again too.
TEST_F(AppDelegateTest, CancelAtTheQuitQuestionGivesTheKeyboardBack)
{
    Note* note = addSavedNote("Draft");
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    note->setTitle("Draft, longer");
    QWidget noteWindow, shelfWindow;
    auto* field = new QLineEdit(&noteWindow);
    new QLineEdit(&shelfWindow);
    noteWindow.show();
    noteWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&noteWindow));
    field->setFocus();

    unsavedAnswers = {UnsavedQuit::Choice::saveAgain, UnsavedQuit::Choice::keepRunning};
    EXPECT_FALSE(delegate.quit());
    EXPECT_EQ(givenBackTo, (QList<QWidget*>{&noteWindow, &noteWindow}));

    FocusReturn underShelf;
    underShelf.capture(&noteWindow);
    shelfWindow.show();
    shelfWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shelfWindow));
    givenBackTo.clear();
    EXPECT_FALSE(delegate.quit(underShelf));
    EXPECT_FALSE(delegate.quit());
    EXPECT_EQ(givenBackTo, (QList<QWidget*>{&noteWindow, &shelfWindow}));
}

// Quit from the tray menu hands the question the window that had the keyboard as the menu opened: by
// the time Quit is chosen, the menu (and the shelf closing under it) may have moved it elsewhere.
TEST_F(AppDelegateTest, QuitFromTheTrayMenuGivesTheKeyboardBackWhereItWasAsTheMenuOpened)
{
    Note* note = addSavedNote("Draft");
    TarnwickApp tray;
    AppDelegate::Parts withTray = parts();
    withTray.tray = &tray;
    AppDelegate shell(std::move(withTray));
    settings.setValue("onboarding.completed", true);
    ASSERT_TRUE(shell.applicationDidFinishLaunching());
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    note->setTitle("Draft, longer");
    QWidget noteWindow, elsewhere;
    for (QWidget* window : {&noteWindow, &elsewhere}) new QLineEdit(window);
    noteWindow.show();
    noteWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&noteWindow));

    Q_EMIT tray.menu()->aboutToShow();
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    const QList<QAction*> actions = tray.menu()->actions();
    actions.last()->trigger();  // "Quit Tarnwick"
    EXPECT_EQ(unsavedAsks, QStringList{"disk full"});
    EXPECT_EQ(givenBackTo, QList<QWidget*>{&noteWindow});
}

// Where the tray menu says the keyboard goes back: the window that had it, or, when that was the shelf,
// the note the shelf was opened over, also once the shelf has closed.
TEST(AppServices, TheTrayMenuTakesTheNoteUnderTheShelfAsWhereTheKeyboardGoesBack)
{
    auto container = std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value();
    AppServices services(*container);
    SingleInstance bus;
    TarnwickApp tray;
    const AppDelegate::Parts parts = services.delegateParts(bus, tray);
    QWidget noteWindow;
    new QLineEdit(&noteWindow);
    noteWindow.show();
    noteWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&noteWindow));
    Q_EMIT tray.menu()->aboutToShow();
    EXPECT_EQ(tray.menuOpenedFrom().window(), &noteWindow);

    services.shelf().present();
    ASSERT_TRUE(QTest::qWaitFor([] {
        const QWidget* active = QApplication::activeWindow();
        return active && active->windowTitle() == "Tarnwick shelf";
    }));
    Q_EMIT tray.menu()->aboutToShow();
    services.shelf().dismiss();
    EXPECT_EQ(tray.menuOpenedFrom().window(), &noteWindow);
}

// The question itself, cancelled with Escape: the window given gets the keyboard back, in the field
// that had it.
TEST_F(AppDelegateTest, TheQuitQuestionCancelledHandsTheKeyboardOn)
{
    QWidget noteWindow;
    auto* layout = new QVBoxLayout(&noteWindow);
    auto* title = new QLineEdit;
    auto* body = new QLineEdit;
    layout->addWidget(title);
    layout->addWidget(body);
    noteWindow.show();
    noteWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&noteWindow));
    body->setFocus();
    FocusReturn giveBack;
    giveBack.capture(&noteWindow);

    QTimer::singleShot(0, [] {
        QWidget* question = QApplication::activeModalWidget();
        ASSERT_TRUE(question && QTest::qWaitForWindowActive(question));
        QTest::keyClick(question, Qt::Key_Escape);
    });
    EXPECT_EQ(UnsavedQuit::ask("disk full", UnsavedQuit::Loss::latestChanges, giveBack),
              UnsavedQuit::Choice::keepRunning);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &noteWindow; }));
    EXPECT_TRUE(body->hasFocus());
}

// While a question is up, a click on the tray icon and every entry of its menu bring it to the front
// (restored when minimised) and start nothing behind it: no shelf, no settings, no second quit question.
// Once it is answered, they act again.
TEST(TarnwickAppTray, WhileAQuestionIsUpTheTrayBringsItForwardAndStartsNothing)
{
    TarnwickApp tray;
    QSignalSpy clicks(&tray, &TarnwickApp::statusItemClicked), shelf(&tray, &TarnwickApp::openShelfRequested),
        settingsAsked(&tray, &TarnwickApp::openSettingsRequested), quits(&tray, &TarnwickApp::quitRequested);
    const auto started = [&] { return clicks.count() + shelf.count() + settingsAsked.count() + quits.count(); };
    QDialog question;
    OwnWindows::adoptQuestion(&question);
    question.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&question));
    question.setWindowState(Qt::WindowMinimized);
    Q_EMIT tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(question.isMinimized());
    for (QAction* action : tray.menu()->actions()) action->trigger();
    EXPECT_EQ(started(), 0);

    question.hide();
    Q_EMIT tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    for (QAction* action : tray.menu()->actions()) action->trigger();
    EXPECT_EQ(started(), 4);
}

// A reminder clicked or a second launch while a question is up brings the question back and opens
// nothing behind it; once it is answered they open the note and the shelf again.
TEST_F(AppDelegateTest, WhileAQuestionIsUpAReminderOrASecondLaunchBringsItForward)
{
    settings.setValue("onboarding.completed", true);
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    Note* note = addNote("Due");
    calls.clear();
    QDialog question;
    OwnWindows::adoptQuestion(&question);
    question.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&question));
    question.setWindowState(Qt::WindowMinimized);
    Q_EMIT reminders.openNoteRequested(note->uuid());
    EXPECT_FALSE(question.isMinimized());
    question.setWindowState(Qt::WindowMinimized);
    Q_EMIT bus.activationRequested(QString());
    EXPECT_FALSE(question.isMinimized());
    EXPECT_TRUE(calls.isEmpty()) << calls.join(", ").toStdString();

    question.hide();
    Q_EMIT reminders.openNoteRequested(note->uuid());
    Q_EMIT bus.activationRequested(QString());
    EXPECT_EQ(calls, (QStringList{"show " + note->uuid().toString(QUuid::WithoutBraces), "present"}));
}

// Quit ends the run whatever windows are open. Ours refuse a close and hide instead; the toolkit's own
// quit asks every window to close first and gave up at the first refusal, with the others still shown.
TEST_F(AppDelegateTest, QuitEndsTheRunWhateverWindowIsOpen)
{
    AppDelegate::Parts p = parts();
    p.endRun = {};
    AppDelegate shell(std::move(p));
    QWidget settingsWindow, themeWindow;
    for (QWidget* window : {&settingsWindow, &themeWindow}) {
        OwnWindows::adopt(window, settings, {});
        window->show();
    }
    QTimer::singleShot(0, &shell, [&shell] { EXPECT_TRUE(shell.quit()); });
    // Bounds a hang only: a run Quit did not end is ended here with another code.
    QTimer hang;
    hang.setSingleShot(true);
    QObject::connect(&hang, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    hang.start(30000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST(ServiceCapture, RepliesAndErrors)
{
    using Reply = SingleInstance::CaptureReply;
    int handed = 0;
    auto answer = [&handed](Reply reply, const QString& text) {
        SingleInstance::CaptureAnswer a;
        SingleInstance::answerCapture(
            [&](const QString&, const auto& done) {
                ++handed;
                done(reply);
            },
            text, [&](const auto& given) { a = given; });
        return a.errorName.isEmpty() ? a.reply : a.errorName.section('.', -1);
    };
    const QString limit(SingleInstance::kMaxCaptureLength, u'x');
    EXPECT_EQ(QStringList({answer(Reply::appended, "a"), answer(Reply::captured, limit), answer(Reply::empty, " "),
                           answer(Reply::notSaved, "c"), answer(Reply::captured, limit + "x")}),
              QStringList({"appended", "captured", "empty", "NotSaved", "TooLarge"}));
    EXPECT_EQ(handed, 4);  // the oversized text never reached the handler
    EXPECT_TRUE(SingleInstance::errorName("NotSaved").startsWith(ApplicationId::name() + ".Error."));
}

}  // namespace
