#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTextBoundaryFinder>

#include "keys/KeychainStore.h"
#include "model/NoteNotifications.h"
#include "note/NoteViewModel.h"
#include "note/OpacityPopoverModel.h"
#include "note/ReminderTime.h"
#include "platform/MemoryKeychainBackend.h"
#include "platform/NotificationCenter.h"
#include "privacy/UnlockSession.h"
#include "store/NoteThemes.h"
#include "support/FakeAuthenticator.h"
#include "support/NoteStoreFixture.h"
#include "support/TestKeychains.h"

using tarnwick::test::FakeAuthenticator;
using tarnwick::test::NoteStoreTestBase;
using Outcome = Authenticator::Outcome;
using C = NoteViewModel::MenuItem::Command;

namespace {

QString idOf(const Note& note)
{
    return note.uuid().toString(QUuid::WithoutBraces).toUpper();
}

// Every post of the names a note view sends, in order.
struct Posts {
    Posts()
    {
        for (const QString& name :
             {tarnwickDismissNote, tarnwickToggleRollUp, tarnwickToggleZoom, tarnwickDragNote, tarnwickResizeDrag,
              tarnwickFormatCommand, tarnwickOpacityChanged, tarnwickDidCreateNote, tarnwickDidDeleteNote})
            tokens.push_back(NotificationCenter::shared().observe(name, [this](const Notification& n) { seen << n; }));
    }
    QList<Notification> seen;
    std::vector<ObserverToken> tokens;
};

// A keychain that can be made to refuse every request, as a locked keyring does.
class RefusingKeychain : public MemoryKeychainBackend {
public:
    bool refusing = false;
    Result<QByteArray, Failure> read(const QString& s, const QString& a, bool sync) override
    {
        if (refusing) return Failure{statusInteractionNotAllowed, "locked"};
        return MemoryKeychainBackend::read(s, a, sync);
    }
    Status<Failure> add(const QString& s, const QString& a, const QByteArray& d) override
    {
        if (refusing) return Failure{statusInteractionNotAllowed, "locked"};
        return MemoryKeychainBackend::add(s, a, d);
    }
    Result<QStringList, Failure> accounts(const QString& s, bool sync) override
    {
        if (refusing) return Failure{statusInteractionNotAllowed, "locked"};
        return MemoryKeychainBackend::accounts(s, sync);
    }
};

}  // namespace

class NoteViewModelTest : public NoteStoreTestBase {
protected:
    void SetUp() override
    {
        keychain = refusingKeychain;
        KeychainStore::useBackend(refusingKeychain);
        unlock = std::make_unique<UnlockSession>(*store, authenticator, clock, settings);
        NoteViewModel::Reminders reminders{[this] { return notificationService; },
                                           [this](const Note& n) { scheduled << n.uuid(); },
                                           [this](const Note& n) { cancelled << n.uuid(); }, [this] { ++explained; }};
        model = std::make_unique<NoteViewModel>(
            *store, *unlock, reminders, [this] { return authenticator.available.available; }, clock);
        note = addNote("Groceries", "milk");
        store->saveNow();
        model->setNote(note);
        model->setActive(true);
    }
    void settle() { QCoreApplication::processEvents(); }
    bool sealed(const Note& n) const { return n.hasLockedCipher() && n.body().isEmpty(); }

    std::shared_ptr<RefusingKeychain> refusingKeychain = std::make_shared<RefusingKeychain>();
    FakeAuthenticator authenticator;
    std::unique_ptr<UnlockSession> unlock;
    std::unique_ptr<NoteViewModel> model;
    Note* note = nullptr;
    bool notificationService = true;
    QList<QUuid> scheduled, cancelled;
    int explained = 0;
};

// What each piece shows for every combination of active, redacted and rolled.
TEST_F(NoteViewModelTest, VisibilityTable)
{
    note->setIsLocked(true);  // redacted unless unlocked
    for (int bits = 0; bits < 8; ++bits) {
        const bool active = bits & 1, redacted = bits & 2, rolled = bits & 4;
        if (redacted)
            unlock->relock(note->uuid());
        else
            unlock->admit(note->uuid());
        model->setActive(active);
        model->setRolled(rolled);
        SCOPED_TRACE(QString("active %1 redacted %2 rolled %3").arg(active).arg(redacted).arg(rolled).toStdString());
        ASSERT_EQ(model->isRedacted(), redacted);
        EXPECT_EQ(model->formatRowShown(), active && !redacted && !rolled);
        EXPECT_EQ(model->countShown(), active && !redacted && !rolled);
        EXPECT_EQ(model->gripPresent(), !redacted && !rolled);
        EXPECT_EQ(model->gripOpacity(), active ? 1.0 : 0.0);
        EXPECT_EQ(model->bottomEdgePresent(), !rolled);
        EXPECT_EQ(model->opacityButtonPresent(), !redacted);
        EXPECT_EQ(model->buttonsTakeClicks(), active);
        EXPECT_EQ(model->titleRowShown(), redacted);
        EXPECT_EQ(model->contentShown(), !rolled);
        EXPECT_EQ(model->lockPanelShown(), redacted);
        EXPECT_EQ(model->columnOpacity(), active ? 1.0 : 0.85);
    }
}

TEST_F(NoteViewModelTest, LabelsAndValues)
{
    using D = NoteViewModel::Dot;
    EXPECT_EQ(NoteViewModel::dotLabel(D::rollUp, false), "Roll up to title");
    EXPECT_EQ(NoteViewModel::dotLabel(D::rollUp, true), "Unroll");
    EXPECT_EQ(NoteViewModel::dotLabel(D::close, false), "Close note");
    EXPECT_EQ(NoteViewModel::dotLabel(D::zoom, false), "Expand / restore");

    for (auto [opacity, text] : {std::pair{0.994, "99 percent"}, {0.995, "100 percent"}, {0.455, "46 percent"}}) {
        model->setWindowOpacity(opacity);
        EXPECT_EQ(model->opacityAccessibleValue(), text);
    }

    // Lock button and menu item per state.
    struct Row {
        QString symbol, button, menu;
    };
    auto row = [&] { return Row{model->lockButtonSymbol(), model->lockButtonLabel(), model->lockActionLabel()}; };
    auto check = [](const Row& r, const char* symbol, const char* button, const QString& menu) {
        EXPECT_EQ(r.symbol, symbol);
        EXPECT_EQ(r.button, button);
        EXPECT_EQ(r.menu, menu);
    };
    check(row(), "lock", "Lock this note", QString::fromUtf8("Lock \u00B7 Password"));
    note->setIsLocked(true);
    check(row(), "lock.fill", "Unlock this note", "Unlock (your password)");
    unlock->admit(note->uuid());
    check(row(), "lock.open.fill", "Lock again", "Lock again");

    EXPECT_EQ(model->menuItems().at(1).label, QString::fromUtf8("Remind me\u2026"));
    note->setReminderDate(now().addDays(1));
    EXPECT_EQ(model->menuItems().at(1).label, QString::fromUtf8("Reminder\u2026"));
}

TEST_F(NoteViewModelTest, ObserversActOnlyOnThisNoteAndWellFormedPayloads)
{
    NotificationCenter& center = NotificationCenter::shared();
    const QString id = idOf(*note);
    Note* other = addNote("Other");
    for (const QString& object : {idOf(*other), QString("not a uuid"), QString()}) {
        center.post(tarnwickFormatStateChanged, object, {{"active", QStringList{"bold"}}});
        center.post(tarnwickFlashNote, object);
        center.post(tarnwickNoteAction, object, {{"action", "remind"}});
    }
    EXPECT_TRUE(model->activeFormats().isEmpty());
    EXPECT_FALSE(model->isFlashing());
    EXPECT_FALSE(model->showingReminder());

    center.post(tarnwickFormatStateChanged, id, {{"active", QStringList{"bold", "italic"}}});
    EXPECT_TRUE(model->isLit(FormatCommand::bold));
    EXPECT_TRUE(model->isLit(FormatCommand::italic));
    // A bad "active" leaves the lit buttons; an empty list clears them.
    center.post(tarnwickFormatStateChanged, id, {{"active", "bold"}});
    center.post(tarnwickFormatStateChanged, id, {{"active", QVariantList{1, 2}}});
    center.post(tarnwickFormatStateChanged, id, {});
    EXPECT_EQ(model->activeFormats().size(), 2);
    center.post(tarnwickFormatStateChanged, id, {{"active", QStringList{}}});
    EXPECT_TRUE(model->activeFormats().isEmpty());

    // Unknown or mistyped actions do nothing; "remind" opens the popover an hour ahead.
    center.post(tarnwickNoteAction, id, {{"action", "explode"}});
    center.post(tarnwickNoteAction, id, {{"action", 3}});
    center.post(tarnwickNoteAction, id, {});
    EXPECT_FALSE(model->showingReminder());
    EXPECT_FALSE(note->isLocked());
    center.post(tarnwickNoteAction, id, {{"action", "remind"}});
    EXPECT_TRUE(model->showingReminder());
    EXPECT_EQ(model->reminderDraft(), now().addSecs(3600));

    center.post(tarnwickFlashNote, id);
    EXPECT_TRUE(model->isFlashing());
    clock.advance(900);
    EXPECT_FALSE(model->isFlashing());

    // A theme change redraws the note only when its own look changed.
    const quint32 revision = model->themeRevision();
    center.post(tarnwickThemeChanged, "anything");
    EXPECT_EQ(model->themeRevision(), revision);
    note->setPaperHexOverride(QStringLiteral("2B5C93"));
    center.post(tarnwickThemeChanged);
    EXPECT_EQ(model->themeRevision(), revision + 1);

    // "colour" opens the palette on the next turn, never on a redacted note.
    center.post(tarnwickNoteAction, id, {{"action", "colour"}});
    EXPECT_FALSE(model->showingPalette());
    QCoreApplication::processEvents();
    EXPECT_TRUE(model->showingPalette());
}

// Locking seals and relocks; unlocking asks once per note at a time; lock paths are refused while
// nobody can authenticate.
TEST_F(NoteViewModelTest, LockAndUnlock)
{
    Posts posts;
    // The "lock" action: sealed, flagged, saved, redacted at once.
    NotificationCenter::shared().post(tarnwickNoteAction, idOf(*note), {{"action", "lock"}});
    EXPECT_TRUE(note->isLocked());
    EXPECT_TRUE(sealed(*note));
    EXPECT_TRUE(model->isRedacted());
    EXPECT_FALSE(store->context().hasChanges());

    // Duplicate is disabled on a locked note and does nothing if asked.
    EXPECT_FALSE(model->menuItems().at(2).enabled);
    model->duplicate();
    EXPECT_TRUE(posts.seen.isEmpty());

    // Unlock: a second click while the prompt is open only brings it forward.
    int raised = 0;
    model->bringPromptForward = [&] { ++raised; };
    model->unlock();
    model->lockButtonClicked();
    model->toggleLock();
    EXPECT_EQ(authenticator.pendingCount(), 1);
    EXPECT_EQ(raised, 2);
    authenticator.complete(Outcome::success);
    settle();
    EXPECT_FALSE(model->isRedacted());
    EXPECT_EQ(note->body(), "milk");
    EXPECT_FALSE(model->unlockPending());

    // A failed prompt leaves the note redacted, and a new prompt can be asked.
    model->lockButtonClicked();  // "Lock again"
    EXPECT_TRUE(model->isRedacted());
    model->unlock();
    authenticator.complete(Outcome::failed);
    settle();
    EXPECT_TRUE(model->isRedacted());
    model->unlock();
    EXPECT_EQ(authenticator.pendingCount(), 1);
    authenticator.complete(Outcome::cancelled);
    settle();

    // No authentication: every lock path refuses a plain note, visibly; a locked note's item stays.
    Note* plain = addNote("Plain", "text");
    model->setNote(plain);
    authenticator.available = {false, "no PAM"};
    model->refreshAuthentication();
    EXPECT_FALSE(model->lockButtonEnabled());
    EXPECT_FALSE(model->menuItems().at(0).enabled);
    EXPECT_FALSE(model->menuItems().at(0).toolTip.isEmpty());
    model->lockButtonClicked();
    model->performMenu(C::lock);
    NotificationCenter::shared().post(tarnwickNoteAction, idOf(*plain), {{"action", "lock"}});
    EXPECT_FALSE(plain->isLocked());
    EXPECT_FALSE(model->notice().isEmpty());
    model->setNote(note);
    EXPECT_TRUE(model->menuItems().at(0).enabled);
    EXPECT_FALSE(model->unlockButtonEnabled());
    EXPECT_EQ(model->lockPanelAuthLine(), "Not available on this computer");
    // Once the session has been told why, the panel says it.
    EXPECT_FALSE(unlock->canAuthenticate());
    EXPECT_EQ(model->lockPanelAuthLine(), "Not available on this computer: no PAM");
    authenticator.available = {true, {}};
    EXPECT_TRUE(unlock->canAuthenticate());
    EXPECT_TRUE(unlock->unavailableReason().isEmpty());
}

// A seal that fails is shown on the lock panel until a seal succeeds.
TEST_F(NoteViewModelTest, FailedSealIsShownUntilASealSucceeds)
{
    refusingKeychain->refusing = true;
    model->lockButtonClicked();
    EXPECT_TRUE(note->isLocked());
    EXPECT_TRUE(model->isRedacted());
    ASSERT_TRUE(model->lockPanelFailure().has_value());
    EXPECT_EQ(*model->lockPanelFailure(), UnlockSession::sealFailureText());

    unlock->relock(note->uuid());  // still refused: still shown
    EXPECT_TRUE(model->lockPanelFailure().has_value());
    // The relock of every note (timer, hide-all) tries it again, and keeps the failure while it fails.
    unlock->relockAll();
    ASSERT_TRUE(tarnwick::test::finishBackgroundCalls());
    EXPECT_TRUE(model->isRedacted());
    EXPECT_EQ(model->lockPanelFailure(), UnlockSession::sealFailureText());
    refusingKeychain->refusing = false;
    unlock->relockAll();
    ASSERT_TRUE(tarnwick::test::finishBackgroundCalls());
    EXPECT_FALSE(model->lockPanelFailure().has_value());
    EXPECT_TRUE(sealed(*note));

    // Unlocked, it seals again under the key read when it was unlocked, whatever the keyring says now.
    ASSERT_TRUE(unlock->admit(note->uuid()));
    refusingKeychain->refusing = true;
    EXPECT_TRUE(unlock->relockAll());
    EXPECT_TRUE(model->isRedacted());
    EXPECT_TRUE(sealed(*note));
    EXPECT_FALSE(model->lockPanelFailure().has_value());
    ASSERT_TRUE(tarnwick::test::finishBackgroundCalls());
    refusingKeychain->refusing = false;
}

// The first lock of a run over a keyring that may prompt, its keys not read yet: the lock waits for the
// key, then seals, with no notice and nothing on the lock panel.
TEST_F(NoteViewModelTest, TheFirstLockWaitsForTheKeyringAndSaysNoFailure)
{
    auto keyring = std::make_shared<tarnwick::test::PromptingKeychain>();
    KeychainStore::useBackend(keyring);
    model->toggleLock();
    EXPECT_TRUE(model->notice().isEmpty());
    ASSERT_TRUE(tarnwick::test::finishBackgroundCalls());
    EXPECT_TRUE(sealed(*note));
    EXPECT_TRUE(model->isRedacted());
    EXPECT_TRUE(model->notice().isEmpty());
    EXPECT_FALSE(model->lockPanelFailure().has_value());
    EXPECT_EQ(keyring->onMainThread, 0);
}

TEST_F(NoteViewModelTest, SetAndClearReminders)
{
    // A past date is saved and scheduled (the scheduler leaves nothing pending for it).
    model->openReminder();
    EXPECT_FALSE(model->clearOffered());
    EXPECT_FALSE(model->remindersUnavailable());
    model->setReminderDraft(now().addSecs(-60));
    model->setReminder();
    EXPECT_EQ(note->reminderDate(), now().addSecs(-60));
    EXPECT_EQ(note->updatedAt(), now());
    EXPECT_FALSE(store->context().hasChanges());
    EXPECT_EQ(scheduled, QList<QUuid>{note->uuid()});
    EXPECT_FALSE(model->showingReminder());

    // No notification service: the popover says so, the date is still saved, nothing is scheduled.
    notificationService = false;
    model->openReminder();
    EXPECT_EQ(model->reminderDraft(), now().addSecs(-60));
    EXPECT_TRUE(model->remindersUnavailable());
    EXPECT_TRUE(model->clearOffered());
    model->setReminderDraft(now().addDays(2));
    model->setReminder();
    EXPECT_EQ(note->reminderDate(), now().addDays(2));
    EXPECT_EQ(scheduled.size(), 1);
    EXPECT_EQ(explained, 1) << "setting it asks for the explanation; opening the popover did not";

    model->openReminder();
    model->clearReminder();
    EXPECT_FALSE(note->reminderDate().has_value());
    EXPECT_EQ(cancelled, QList<QUuid>{note->uuid()});
    EXPECT_FALSE(model->showingReminder());
}

// A typed time is read whole or not at all: no hour out of range, no stray digit, no third field.
TEST(NoteViewModelTypedTimeTest, ReadsTheUsualFormsAndRefusesTheRest)
{
    const std::pair<const char*, QTime> times[] = {
        {"23:15", QTime(23, 15)}, {"9:05", QTime(9, 5)}, {" 7:5 ", QTime(7, 5)}, {"23:", QTime(23, 0)},
        {"2315", QTime(23, 15)},  {"0000", QTime(0, 0)}, {"7", QTime(7, 0)},     {"18", QTime(18, 0)},
    };
    for (const auto& [text, time] : times) EXPECT_EQ(ReminderTime::typed(QString::fromLatin1(text)), time) << text;
    for (const char* text :
         {"", " ", ":", ":30", "24:00", "12:60", "2460", "123", "12345", "ab:cd", "1:2:3", "12:345", "-1:00", "1 2:00"})
        EXPECT_FALSE(ReminderTime::typed(QString::fromLatin1(text))) << text;
    EXPECT_FALSE(ReminderTime::typed(QString::fromUtf8("\u0661\u0662:00"))) << "digits of another script";
}

TEST_F(NoteViewModelTest, OpacityPopoverPostsEachChangeOnce)
{
    Posts posts;
    OpacityPopoverModel popover(note->uuid(), NotificationCenter::shared());
    popover.show(1.0);
    EXPECT_TRUE(posts.seen.isEmpty());
    popover.show(0.7);
    ASSERT_EQ(posts.seen.size(), 1);
    EXPECT_EQ(posts.seen[0].object, idOf(*note));
    EXPECT_EQ(posts.seen[0].userInfo.value("value").typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(posts.seen[0].userInfo.value("value").toDouble(), 0.7);
    EXPECT_EQ(popover.headerText(), "70%");
    popover.setValue(0.7);  // the current preset
    popover.setSliderPosition(popover.sliderPosition());
    EXPECT_EQ(posts.seen.size(), 1);
    popover.setSliderPosition(455);
    EXPECT_EQ(popover.headerText(), "46%");
    EXPECT_EQ(popover.accessibleValue(), "46 percent");
    popover.setValue(0.01);
    EXPECT_DOUBLE_EQ(popover.value(), 0.1);
    popover.setValue(qQNaN());
    EXPECT_DOUBLE_EQ(popover.value(), 0.1);
    EXPECT_EQ(posts.seen.size(), 3);
}

TEST_F(NoteViewModelTest, CountsGraphemesAndPictures)
{
    for (auto [body, count] : {std::pair{QString(""), 0},
                               {QString("ab\nc"), 4},
                               {QString::fromUtf8("e\u0301 \U0001F1E9\U0001F1EA \U0001F469\u200D\U0001F4BB"), 5},
                               {QString("a\n") + QChar(0xFFFC) + "\nb", 5}}) {
        note->setBody(body);
        EXPECT_EQ(model->countText(), QString::number(count)) << body.toStdString();
        EXPECT_EQ(model->countShown(), count > 0);
    }
}

// Another note starts afresh: popovers closed, draft, lit formats, flash, grip drag, notice; the
// keyboard is asked into the new body.
TEST_F(NoteViewModelTest, ANoteChangeStartsAfresh)
{
    Posts posts;
    NotificationCenter::shared().post(tarnwickFormatStateChanged, idOf(*note), {{"active", QStringList{"bold"}}});
    NotificationCenter::shared().post(tarnwickFlashNote, idOf(*note));
    model->setShowingOpacity(true);
    model->openReminder();
    model->gripDrag(QPointF(12, 0));

    Note* next = addNote("Next", "text");
    QSignalSpy focus(model.get(), &NoteViewModel::focusBodyRequested);
    model->setNote(next);
    EXPECT_EQ(focus.count(), 1);
    EXPECT_FALSE(model->showingOpacity());
    EXPECT_FALSE(model->showingReminder());
    EXPECT_FALSE(model->reminderDraft().isValid());
    EXPECT_TRUE(model->activeFormats().isEmpty());
    EXPECT_FALSE(model->isFlashing());
    // The grip's next drag starts from zero: its first event carries the whole translation.
    model->gripDrag(QPointF(15, 0));
    EXPECT_DOUBLE_EQ(posts.seen.last().userInfo.value("dx").toDouble(), 15);
    // Observers follow the new note only.
    NotificationCenter::shared().post(tarnwickFormatStateChanged, idOf(*note), {{"active", QStringList{"bold"}}});
    EXPECT_TRUE(model->activeFormats().isEmpty());
}

// The screen-reader actions per state, and what each does; none reaches past what its button could.
TEST_F(NoteViewModelTest, AccessibilityActionsFollowTheButtons)
{
    const QString title = "Edit title", design = "Note design", opacity = "Window opacity", close = "Close note";
    note->setIsLocked(true);
    struct Row {
        bool active, redacted, rolled, designAvailable;
        QStringList expected;
    };
    const QList<Row> table{
        {true, false, false, true, {title, design, opacity, close}},
        {false, false, false, true, {title, design, opacity, close}},
        {true, false, true, true, {title, design, opacity, close}},
        {true, false, false, false, {title, opacity, close}},
        {true, true, false, true, {title, close}},
        {false, true, true, true, {title, close}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.expected.join(", ").toStdString());
        if (row.redacted)
            unlock->relock(note->uuid());
        else
            unlock->admit(note->uuid());
        model->setActive(row.active);
        model->setRolled(row.rolled);
        model->setDesignActionAvailable(row.designAvailable);
        EXPECT_EQ(model->accessibilityActions(), row.expected);
    }

    // On the redacted note the hidden actions are refused and change nothing.
    EXPECT_FALSE(model->performAccessibilityAction(opacity));
    EXPECT_FALSE(model->performAccessibilityAction(design));
    EXPECT_FALSE(model->showingOpacity());
    EXPECT_FALSE(model->showingPalette());

    unlock->admit(note->uuid());
    model->setDesignActionAvailable(true);
    Posts posts;
    QSignalSpy titles(model.get(), &NoteViewModel::focusTitleRequested);
    EXPECT_TRUE(model->performAccessibilityAction(title));
    EXPECT_EQ(titles.size(), 1);
    EXPECT_TRUE(model->performAccessibilityAction(opacity));
    EXPECT_TRUE(model->showingOpacity());
    EXPECT_TRUE(model->performAccessibilityAction(design));
    EXPECT_TRUE(model->showingPalette());
    EXPECT_TRUE(posts.seen.isEmpty());
    EXPECT_TRUE(model->performAccessibilityAction(close));
    ASSERT_EQ(posts.seen.size(), 1);
    EXPECT_EQ(posts.seen[0].name, tarnwickDismissNote);
    EXPECT_EQ(posts.seen[0].object, idOf(*note));
    EXPECT_FALSE(note->isTrashed());

    // Unknown names, and any action on a view without a note, do nothing.
    for (const QString& name : {QString(), QString("close note"), QString("Delete note"), QString("\u0000x")})
        EXPECT_FALSE(model->performAccessibilityAction(name));
    model->setNote(nullptr);
    EXPECT_TRUE(model->accessibilityActions().isEmpty());
    EXPECT_FALSE(model->performAccessibilityAction(close));
    EXPECT_EQ(posts.seen.size(), 1);
}

// A refusal stays 3 s from its latest showing: the same refusal again is not cut short by the first.
TEST_F(NoteViewModelTest, NoticeKeptThreeSecondsFromTheLatest)
{
    authenticator.available = {false, "no PAM"};
    model->refreshAuthentication();
    model->lockButtonClicked();
    const QString refusal = model->notice();
    ASSERT_FALSE(refusal.isEmpty());
    clock.advance(2000);
    model->lockButtonClicked();
    clock.advance(2000);
    EXPECT_EQ(model->notice(), refusal);
    clock.advance(1100);
    EXPECT_TRUE(model->notice().isEmpty());
}

// While saves fail, the window says so with the reason (a passing notice still goes first); once a
// save goes through, it no longer does.
TEST_F(NoteViewModelTest, AFailingSaveIsSaidUntilOneSucceeds)
{
    QSignalSpy changed(model.get(), &NoteViewModel::changed);
    Q_EMIT context().saveFinished(QStringLiteral("database or disk is full"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model->notice(), "Notes aren\u2019t being saved: database or disk is full. Tarnwick keeps trying.");
    Q_EMIT context().saveFinished(QString());
    EXPECT_TRUE(model->notice().isEmpty());
    EXPECT_EQ(changed.count(), 2);

    Q_EMIT context().saveFinished(QStringLiteral("database or disk is full"));
    authenticator.available = {false, "no PAM"};
    model->refreshAuthentication();
    model->lockButtonClicked();
    EXPECT_FALSE(model->notice().startsWith("Notes aren"));
}

TEST(NoteViewModelCountTest, LongPlainTextIsCountedAsTheFinderCountsIt)
{
    // ASCII is counted without the finder: long runs of it beside clusters that join a neighbour (an
    // accent after a letter, a prepended sign before one, CR LF, flags, ZWJ families) count as the
    // finder counts the whole text.
    const QStringList pieces = {QStringLiteral("plain words of a long line "),
                                QStringLiteral("abcdefghijklmnopqrstuvwxyz"),
                                QStringLiteral("\u0301"),
                                QStringLiteral("\u0600"),
                                QStringLiteral("\r"),
                                QStringLiteral("\n"),
                                QStringLiteral("\r\n"),
                                QStringLiteral("\U0001F1E9\U0001F1EA"),
                                QStringLiteral("\U0001F468\u200D\U0001F469"),
                                QStringLiteral("\u1100\u1161"),
                                QStringLiteral("x")};
    const auto finderCount = [](const QString& text) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        qsizetype count = 0;
        while (finder.toNextBoundary() != -1) ++count;
        return count;
    };
    std::srand(29);
    for (int i = 0; i < 200; ++i) {
        QString text;
        for (int k = std::rand() % 40; k > 0; --k) text += pieces[std::rand() % pieces.size()];
        ASSERT_EQ(NoteViewModel::graphemeCount(text), finderCount(text)) << i;
    }
    // A CR LF wherever the ASCII after another character reaches the length that ends its stretch.
    for (int k = 12; k < 20; ++k) {
        const QString text = QStringLiteral("\u00e9") + QString(k, u'a') + QStringLiteral("\r\nb");
        EXPECT_EQ(NoteViewModel::graphemeCount(text), finderCount(text)) << k;
    }
    const QString ascii = QString(4096, u'w') + QStringLiteral("\r\n") + QString(4096, u'v');
    EXPECT_EQ(NoteViewModel::graphemeCount(ascii), 8193);
    EXPECT_EQ(NoteViewModel::graphemeCount(ascii + QStringLiteral("\u0301")), 8193);
}

TEST(NoteViewModelCountTest, CountAfterAnEditMatchesCountingAfresh)
{
    // Edits of a long body made of clusters that reach across neighbours (flags, families joined by
    // ZWJ, combining accents, CR LF) and plain words: counting only the changed stretch gives what
    // counting the whole body gives, at the edges of the body and in the middle.
    const QStringList pieces = {QStringLiteral("word "),
                                QStringLiteral("\U0001F1E9\U0001F1EA"),
                                QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"),
                                QStringLiteral("e\u0301"),
                                QStringLiteral("\r\n"),
                                QStringLiteral("\U0001F1EB"),
                                QStringLiteral("\u0301"),
                                QStringLiteral("ab"),
                                QStringLiteral("\u200D"),
                                QStringLiteral("\n")};
    std::srand(17);
    QString body;
    while (body.size() < 6000) body += pieces[std::rand() % pieces.size()];
    qsizetype count = NoteViewModel::graphemeCount(body);
    for (int i = 0; i < 300; ++i) {
        QString next = body;
        const int where = std::rand() % 3;
        const qsizetype at = where == 0 ? 0 : where == 1 ? next.size() : std::rand() % (next.size() + 1);
        const qsizetype removed = std::min<qsizetype>(std::rand() % 4, next.size() - at);
        QString inserted;
        for (int k = std::rand() % 3; k > 0; --k) inserted += pieces[std::rand() % pieces.size()];
        next.replace(at, removed, inserted);
        count = NoteViewModel::graphemeCountAfterChange(body, count, next);
        ASSERT_EQ(count, NoteViewModel::graphemeCount(next)) << i;
        body = next;
    }
}
