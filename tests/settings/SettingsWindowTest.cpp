#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSlider>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "design/MiddleElidedLabel.h"
#include "design/PlainText.h"
#include "design/TarnRowDivider.h"
#include "design/TarnwickStyle.h"
#include "model/NoteNotifications.h"
#include "model/NoteTheme.h"
#include "settings/ConnectionsSettingsTab.h"
#include "settings/GeneralSettingsTab.h"
#include "settings/HotkeysSettingsTab.h"
#include "settings/NoteSettingsTab.h"
#include "settings/PermissionsSettingsTab.h"
#include "settings/SettingsWidgets.h"
#include "settings/SettingsWindowFixture.h"
#include "settings/SyncSettingsTab.h"
#include "settings/TarnSettingsSection.h"
#include "settings/TarnSwitchToggleStyle.h"
#include "settings/ThemeGrid.h"
#include "settings/UpdateChecker.h"
#include "store/SyncState.h"
#include "support/KeyboardAtHide.h"

namespace {
const QString kTab = QStringLiteral("settings.selectedTab");
}

// The stored tab: the first opening writes nothing; a pick is stored and reopened; "permissions"
// written before show() wins on a built window; a value naming no tab leaves the window where it is
// and stays stored.
TEST_F(SettingsWindowTest, TheStoredTabIsWrittenOnlyByTheUser)
{
    controller->show();
    QWidget* window = controller->window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "Tarnwick Settings");
    EXPECT_EQ(window->width(), SettingsWindowController::kWidth);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(tabs().currentTab(), AppSettingsTab(AppSettingsTab::general));
    EXPECT_FALSE(settings.contains(kTab));

    QTest::mouseClick(tabs().tabButton(AppSettingsTab::hotkeys), Qt::LeftButton);
    EXPECT_EQ(settings.storedValue(kTab), QVariant("hotkeys"));
    window->close();
    EXPECT_FALSE(window->isVisible());
    controller->show();
    EXPECT_EQ(tabs().currentTab(), AppSettingsTab(AppSettingsTab::hotkeys));

    settings.setValue(kTab, "permissions");
    controller->show();
    EXPECT_EQ(tabs().currentTab(), AppSettingsTab(AppSettingsTab::permissions));

    for (const QVariant& bad : {QVariant("Permissions"), QVariant(qint64(4))}) {
        settings.setValue(kTab, bad);
        controller->show();
        EXPECT_EQ(tabs().currentTab(), AppSettingsTab(AppSettingsTab::permissions));
        EXPECT_EQ(settings.storedValue(kTab), bad);
    }
    tabs().step(1);
    EXPECT_EQ(settings.storedValue(kTab), QVariant("connections"));
    tabs().step(-5);
    EXPECT_EQ(tabs().currentTab(), AppSettingsTab(AppSettingsTab::about));
}

// Opened over a note and closed by the window manager (Alt+F4), the window gives the note the keyboard
// back, in the field that had it, before it hides.
TEST_F(SettingsWindowTest, ClosedItGivesTheKeyboardBackBeforeItHides)
{
    QWidget note;
    new QLineEdit(&note);
    auto* field = new QLineEdit(&note);
    note.show();
    note.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&note));
    field->setFocus();
    controller->show();
    QWidget* window = controller->window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    tarnwick::test::KeyboardAtHide spy(window);
    EXPECT_FALSE(window->close());
    ASSERT_EQ(spy.hides(), 1);
    EXPECT_EQ(spy.activeAtHide(), &note);
    EXPECT_TRUE(field->hasFocus());
}

TEST_F(SettingsWindowTest, ANameInTheKeyBeforeTheFirstShowOpensThatTab)
{
    settings.setValue(kTab, "connections");
    controller->show();
    EXPECT_EQ(tabs().currentTab(), AppSettingsTab(AppSettingsTab::connections));
    EXPECT_EQ(settings.storedValue(kTab), QVariant("connections"));
}

// Connections: what shows while off and on, Copy and its "Copied" per press, a refused token, Revoke
// of the middle of three, and names shown as plain text.
TEST_F(SettingsWindowTest, ConnectionsFollowTheEndpoint)
{
    settings.setValue("mcp.approvedClients", QStringList{"Alpha", "<b>Bravo</b> & co", "Charlie"});
    settings.setValue(kTab, "connections");
    controller->show();
    auto& page = this->page<ConnectionsSettingsTab>(AppSettingsTab::connections);
    EXPECT_EQ(page.status()->text(), "Off");
    EXPECT_FALSE(page.copyButton()->isVisibleTo(&page));
    EXPECT_FALSE(page.approvedSection()->isVisibleTo(&page));
    EXPECT_TRUE(page.readOnlyButton()->isChecked());

    QTest::mouseClick(page.enableSwitch(), Qt::LeftButton);
    EXPECT_TRUE(settings.boolValue("mcp.enabled"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mcp->isRunning(); }));
    EXPECT_EQ(page.status()->text(), "Running · 127.0.0.1:" + QString::number(mcp->port()));
    EXPECT_EQ(page.address()->text(), mcp->endpointURL());
    ASSERT_TRUE(page.copyButton()->isVisibleTo(&page));

    QTest::mouseClick(page.readWriteButton(), Qt::LeftButton);
    EXPECT_EQ(settings.storedValue("mcp.readOnly"), QVariant(false));

    QTest::mouseClick(page.copyButton(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Clipboard), mcp->endpointURL());
    EXPECT_EQ(page.copyButton()->text(), "Copied");
    clock.advance(1000);
    QTest::mouseClick(page.copyButton(), Qt::LeftButton);
    clock.advance(1000);  // 2 s after the first press, 1 s after the second
    EXPECT_EQ(page.copyButton()->text(), "Copied");
    clock.advance(600);
    EXPECT_EQ(page.copyButton()->text(), "Copy");
    // The address holds the token: marked as a secret, and gone from the clipboard a minute after the
    // last press, unless something else was copied since.
    QClipboard* clipboard = QGuiApplication::clipboard();
    EXPECT_EQ(clipboard->mimeData(QClipboard::Clipboard)->data("x-kde-passwordManagerHint"), "secret");
    clock.advance(ConnectionsSettingsTab::kClearCopiedMs - 1601);
    EXPECT_EQ(clipboard->text(QClipboard::Clipboard), mcp->endpointURL());
    clock.advance(1);
    EXPECT_TRUE(clipboard->text(QClipboard::Clipboard).isEmpty());
    QTest::mouseClick(page.copyButton(), Qt::LeftButton);
    clipboard->setText(mcp->endpointURL() + " pasted by hand", QClipboard::Clipboard);
    clock.advance(ConnectionsSettingsTab::kClearCopiedMs);
    EXPECT_EQ(clipboard->text(QClipboard::Clipboard), mcp->endpointURL() + " pasted by hand");

    const QString before = mcp->endpointURL();
    tokens.failWrites = true;
    QTest::mouseClick(page.regenerateButton(), Qt::LeftButton);
    EXPECT_EQ(page.address()->text(), before);
    EXPECT_TRUE(page.tokenError()->isVisibleTo(&page));
    tokens.failWrites = false;
    QTest::mouseClick(page.regenerateButton(), Qt::LeftButton);
    EXPECT_NE(page.address()->text(), before);
    EXPECT_EQ(page.address()->text().section('/', 0, 3), before.section('/', 0, 3));  // same port
    EXPECT_FALSE(page.tokenError()->isVisibleTo(&page));

    ASSERT_EQ(page.revokeButtons().size(), 3);
    const auto names = page.approvedSection()->card()->findChildren<QLabel*>();
    bool shownVerbatim = false;
    for (QLabel* name : names)
        if (name->text() == "<b>Bravo</b> & co") shownVerbatim = name->textFormat() == Qt::PlainText;
    EXPECT_TRUE(shownVerbatim);
    QTest::mouseClick(page.revokeButtons()[1], Qt::LeftButton);
    EXPECT_EQ(settings.stringListValue("mcp.approvedClients"), (QStringList{"Alpha", "Charlie"}));
    EXPECT_EQ(page.revokeButtons().size(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(page.approvedSection()->card()->findChildren<TarnRowDivider*>().size(), 1);

    // The Tab walk.
    QCoreApplication::processEvents();  // rows added to a shown page show on the next turn
    QList<QWidget*> walk;
    QWidget* w = page.enableSwitch();
    for (int i = 0; i < 7; ++i) {
        walk << w;
        w = w->nextInFocusChain();
        while (w && (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&page))) w = w->nextInFocusChain();
    }
    EXPECT_EQ(walk,
              (QList<QWidget*>{page.enableSwitch(), page.readOnlyButton(), page.readWriteButton(), page.copyButton(),
                               page.regenerateButton(), page.setupButton(), page.revokeButtons()[0]}));

    // A double click on Revoke, as the platform sends it, revokes the one client: the second press
    // lands on the button of the next, which slid into its place.
    const QPoint at = page.revokeButtons()[0]->rect().center();
    QTest::mousePress(page.revokeButtons()[0], Qt::LeftButton, {}, at);
    QTest::mouseRelease(page.revokeButtons()[0], Qt::LeftButton, {}, at);
    ASSERT_EQ(page.revokeButtons().size(), 1);
    QTest::mouseDClick(page.revokeButtons()[0], Qt::LeftButton, {}, at);
    QTest::mouseRelease(page.revokeButtons()[0], Qt::LeftButton, {}, at);
    EXPECT_EQ(settings.stringListValue("mcp.approvedClients"), QStringList{"Charlie"});
}

// Recording ends on any key, a click, a change of tab, hiding, losing the focus or after 10 s, and the
// keyboard is released every time; only a usable chord is stored.
TEST_F(SettingsWindowTest, RecordingEndsOnEveryPathAndStoresOnlyUsableChords)
{
    settings.setValue(kTab, "hotkeys");
    controller->show();
    auto& page = this->page<HotkeysSettingsTab>(AppSettingsTab::hotkeys);
    const auto keyCodeKey = HotkeyManager::keyCodeKey(HotkeyManager::Action::newNote);
    const auto modifiersKey = HotkeyManager::modifiersKey(HotkeyManager::Action::newNote);
    QWidget* window = controller->window();
    const auto record = [&] {
        page.startRecording(HotkeyManager::Action::newNote);
        EXPECT_EQ(page.rows()[0].record->text(), "Press keys…");
        EXPECT_EQ(QWidget::keyboardGrabber(), page.rows()[0].record);
    };
    const auto ended = [&] { return !page.recording() && !QWidget::keyboardGrabber(); };

    record();
    QTest::keyClick(window, Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_TRUE(ended());
    EXPECT_EQ(settings.storedValue(keyCodeKey), QVariant(qint64(40)));
    EXPECT_EQ(settings.storedValue(modifiersKey), QVariant(qint64(0x300)));
    EXPECT_EQ(page.rows()[0].chord->text(), "Shift+Super+K");

    record();
    QTest::keyClick(window, Qt::Key_Shift, Qt::ShiftModifier);  // a modifier alone keeps waiting
    EXPECT_TRUE(page.recording());
    QTest::keyClick(window, Qt::Key_K, Qt::ShiftModifier);
    EXPECT_TRUE(ended());
    EXPECT_TRUE(page.rows()[0].message->isVisibleTo(&page));
    record();
    EXPECT_FALSE(page.rows()[0].message->isVisibleTo(&page));
    QTest::keyClick(window, Qt::Key_Space, Qt::AltModifier | Qt::ShiftModifier);  // the capture key
    EXPECT_TRUE(ended());
    record();
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(ended());
    EXPECT_EQ(settings.storedValue(keyCodeKey), QVariant(qint64(40)));

    record();
    QTest::mouseClick(page.rows()[1].chord, Qt::LeftButton);
    EXPECT_TRUE(ended());
    record();
    tabs().select(AppSettingsTab::general);
    EXPECT_TRUE(ended());
    tabs().select(AppSettingsTab::hotkeys);
    record();
    page.windowActivationChanged(false);
    EXPECT_TRUE(ended());
    record();
    window->hide();
    EXPECT_TRUE(ended());
    controller->show();
    record();
    clock.advance(HotkeysSettingsTab::kRecordingTimeoutMs);
    EXPECT_TRUE(ended());
    QTest::keyClick(window, Qt::Key_J, Qt::ControlModifier);  // after the end: nothing rebinds
    EXPECT_EQ(settings.storedValue(keyCodeKey), QVariant(qint64(40)));

    EXPECT_TRUE(page.restoreButton()->toolTip().endsWith("Alt+Shift+N · Alt+Shift+Space · Alt+Shift+H · Alt+Shift+S"));
    QTest::mouseClick(page.restoreButton(), Qt::LeftButton);
    EXPECT_FALSE(settings.contains(keyCodeKey));
    EXPECT_EQ(page.rows()[0].chord->text(), "Alt+Shift+N");
}

// The Note tab: junk in the opacity key shows 100% and is left alone until the user moves the
// slider; a key step stores; an unknown theme id selects nothing and reads "Blue"; a pick stores.
TEST_F(SettingsWindowTest, NoteTabShowsBadValuesSafelyAndStoresTheUsersChanges)
{
    settings.setValue("general.defaultOpacityValue", "abc");
    settings.setValue("notes.defaultThemeID", "");
    settings.setValue(kTab, "note");
    controller->show();
    auto& page = this->page<NoteSettingsTab>(AppSettingsTab::note);
    EXPECT_EQ(page.opacityText()->text(), "100%");
    EXPECT_EQ(settings.storedValue("general.defaultOpacityValue"), QVariant("abc"));
    EXPECT_EQ(page.defaultThemeName()->text(), "Blue");
    EXPECT_EQ(page.grid()->selectedID(), "");
    EXPECT_FALSE(page.newThemeButton()->isEnabled());  // no theme window yet

    page.opacitySlider()->setFocus();
    QTest::keyClick(page.opacitySlider(), Qt::Key_PageDown);
    EXPECT_DOUBLE_EQ(settings.doubleValue("general.defaultOpacityValue"), 0.9);
    EXPECT_EQ(page.opacityText()->text(), "90%");
    settings.setValue("general.defaultOpacityValue", 0.555);
    EXPECT_EQ(page.opacityText()->text(), "56%");

    ThemeGrid* grid = page.grid();
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(2).center());
    EXPECT_EQ(settings.stringValue("notes.defaultThemeID"), "green");
    EXPECT_EQ(grid->selectedID(), "green");
    EXPECT_EQ(page.defaultThemeName()->text(), "Green");

    // Once the theme window is there, the grid offers Custom and the button starts from the default.
    QList<QString> created;
    controller->setThemeActions({{}, [&](const ResolvedNoteTheme& base) { created << base.id; }});
    EXPECT_TRUE(grid->hasCustomTile());
    QTest::mouseClick(page.newThemeButton(), Qt::LeftButton);
    EXPECT_EQ(created, QList<QString>{"green"});
}

// A failed login change shows why and puts the switch back; a later success clears it.
TEST_F(SettingsWindowTest, LoginFailureShowsItsMessageAndTheSystemsState)
{
    SettingsServices services{settings, *store, *mcp, *unlock, authenticator, center, clock, {}, nullptr};
    std::optional<QString> failure = QString("Launching at login could not be turned on.");
    bool entry = false;
    GeneralSettingsTab page(services, {[&](bool on) {
                                           if (!failure) entry = on;
                                           return failure;
                                       },
                                       [&] { return entry; }});
    page.show();
    QTest::mouseClick(page.loginSwitch(), Qt::LeftButton);
    EXPECT_FALSE(page.loginSwitch()->isChecked());
    EXPECT_EQ(page.loginError()->text(), "Launching at login could not be turned on.");
    EXPECT_TRUE(page.loginError()->isVisible());
    failure.reset();
    QTest::mouseClick(page.loginSwitch(), Qt::LeftButton);
    EXPECT_TRUE(page.loginSwitch()->isChecked());
    EXPECT_FALSE(page.loginError()->isVisible());
    EXPECT_TRUE(entry);
}

namespace {
// Draws in the application's own style until the returned guard goes.
[[nodiscard]] auto inAppStyle(Clock& clock)
{
    const QString before = QApplication::style()->name();
    const QPalette beforePalette = QApplication::palette();
    TarnwickStyle::install(clock);
    return qScopeGuard([before, beforePalette] {
        QApplication::setStyle(QStyleFactory::create(before));
        QApplication::setPalette(beforePalette);
    });
}

class RefusingBackend : public MemorySettingsBackend {
public:
    bool store(const QVariantMap& values) override { return !refuse && MemorySettingsBackend::store(values); }
    bool refuse = true;
};
}  // namespace

// A settings file that cannot be written must not look saved; once a retry by itself has written the
// values, nothing says otherwise.
TEST_F(SettingsWindowTest, AnUnwritableSettingsFileIsSaidAtopThePageUntilARetryWrites)
{
    auto owned = std::make_unique<RefusingBackend>();
    RefusingBackend* backend = owned.get();
    Settings refusing(std::move(owned));
    SettingsServices services{refusing, *store, *mcp, *unlock, authenticator, center, clock, {}, nullptr};
    PreferenceTabsController tabs(services);
    tabs.load();
    tabs.selectStoredTab();
    tabs.show();
    EXPECT_FALSE(tabs.writeFailureLine()->isVisible());
    tabs.select(AppSettingsTab::sync);
    EXPECT_TRUE(tabs.writeFailureLine()->isVisible());

    backend->refuse = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tabs.writeFailureLine()->isVisible(); }, 3 * Settings::retryLastMs));
    EXPECT_EQ(backend->load().value(kTab), QVariant("sync")) << "written by the retry";
}

// Permissions: a badge and an action per row from the audit, refreshed every second only while the
// tab shows; Replay only posts the tour's notification. Sync shows the store's state.
TEST_F(SettingsWindowTest, PermissionRowsFollowTheAuditWhileShown)
{
    using State = PermissionAudit::State;
    QList<PermissionAudit::Item> audit{
        {"accessibility", "Selection and hot keys", "c", State::grantedState(), {"true"}, false, false},
        {"notifications", "Notifications", "c", {State::notDetermined, {}}, {"true"}, false, false},
        {"biometrics", "Password unlock", "c", State::unsupportedBecause("no PAM"), {"true"}, false, true},
    };
    settings.setValue(kTab, "permissions");
    controller->show();
    auto& page = this->page<PermissionsSettingsTab>(AppSettingsTab::permissions);
    page.setAudit([&](const PermissionAudit::Probes&) { return audit; });
    page.refresh();
    const auto action = [&](const QString& id) {
        const auto buttons = page.rowWidget(id)->findChildren<QPushButton*>();
        return buttons.isEmpty() ? QString() : buttons.first()->text();
    };
    const auto badge = [&](const QString& id) {
        return page.rowWidget(id)->findChild<SettingsWidgets::Badge*>()->text();
    };
    EXPECT_EQ(action("accessibility"), "Open…");
    EXPECT_EQ(badge("accessibility"), "ALLOWED");
    EXPECT_EQ(action("notifications"), "Allow…");
    EXPECT_EQ(action("biometrics"), "");
    EXPECT_EQ(badge("biometrics"), "UNAVAILABLE");
    const auto captions = [&](const QString& id) {
        QStringList texts;
        for (QLabel* l : page.rowWidget(id)->findChildren<QLabel*>()) texts << l->text();
        return texts;
    };
    EXPECT_TRUE(captions("biometrics").contains("no PAM")) << "an unavailable row says why";
    EXPECT_FALSE(captions("biometrics").contains("c")) << "not what it would give";
    EXPECT_TRUE(captions("accessibility").contains("c"));
    EXPECT_TRUE(page.poll()->isActive());

    audit[1].state = State::grantedState();
    QTest::qWait(page.poll()->interval() + 200);  // the next tick
    EXPECT_EQ(action("notifications"), "Open…");
    tabs().select(AppSettingsTab::sync);
    EXPECT_FALSE(page.poll()->isActive());

    int welcomes = 0;
    auto token = center.observe(tarnwickShowWelcome, [&](const Notification&) { ++welcomes; });
    tabs().select(AppSettingsTab::permissions);
    for (QPushButton* button : page.findChildren<QPushButton*>())
        if (button->text() == "Replay") QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(welcomes, 1);

    auto& sync = this->page<SyncSettingsTab>(AppSettingsTab::sync);
    EXPECT_EQ(sync.status()->text(), SyncStateLook::of(SyncState::offline).text);
    EXPECT_FALSE(sync.syncSwitch()->isEnabled());
}

// As a screen reader meets the window: the tabs are page tabs of one tab list, the shown one selected,
// and pressing one shows its page; a button's name follows the text it shows; after a chord is
// recorded the keyboard is back on the Record button it started from.
TEST_F(SettingsWindowTest, TabsNamesAndFocusReadAsTheyShow)
{
    settings.setValue("mcp.enabled", true);
    settings.setValue(kTab, "connections");
    controller->show();
    QWidget* window = controller->window();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));

    QList<QToolButton*> strip;
    for (QToolButton* b : window->findChildren<QToolButton*>())
        if (b->inherits("SettingsTabButton")) strip << b;
    ASSERT_EQ(strip.size(), 8);
    {
        // Neighbouring labels stand equally far apart, the longest ("Permissions", "Connections") too,
        // and the strip stays inside the window.
        std::sort(strip.begin(), strip.end(), [](QToolButton* a, QToolButton* b) { return a->x() < b->x(); });
        auto label = [](QToolButton* b) {
            const int w = QFontMetrics(b->font()).horizontalAdvance(b->text());
            const int left = b->mapTo(b->window(), QPoint((b->width() - w) / 2, 0)).x();
            return std::pair(left, left + w);
        };
        QList<int> gaps;
        for (int i = 1; i < strip.size(); ++i) gaps << label(strip[i]).first - label(strip[i - 1]).second;
        const auto [least, most] = std::minmax_element(gaps.cbegin(), gaps.cend());
        EXPECT_GE(*least, 8) << "labels nearly touch";
        EXPECT_LE(*most - *least, 1) << "uneven gaps between labels";
        EXPECT_GE(strip.first()->mapTo(window, QPoint(0, 0)).x(), 0);
        EXPECT_LE(strip.last()->mapTo(window, QPoint(strip.last()->width(), 0)).x(), window->width());
    }
    QAccessibleInterface* general = QAccessible::queryAccessibleInterface(strip[0]);
    QAccessibleInterface* connections = QAccessible::queryAccessibleInterface(strip[4]);
    EXPECT_EQ(connections->role(), QAccessible::PageTab);
    EXPECT_EQ(connections->parent()->role(), QAccessible::PageTabList);
    EXPECT_EQ(connections->text(QAccessible::Name), "Connections");
    EXPECT_TRUE(connections->state().selected);
    EXPECT_FALSE(connections->state().checkable) << "read as a check box";
    EXPECT_FALSE(general->state().selected);

    auto& page = this->page<ConnectionsSettingsTab>(AppSettingsTab::connections);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mcp->isRunning(); }));
    QCoreApplication::processEvents();
    QAccessibleInterface* copy = QAccessible::queryAccessibleInterface(page.copyButton());
    EXPECT_EQ(copy->text(QAccessible::Name), "Copy");
    QTest::mouseClick(page.copyButton(), Qt::LeftButton);
    EXPECT_EQ(copy->text(QAccessible::Name), "Copied");
    QAccessibleInterface* setup = QAccessible::queryAccessibleInterface(page.setupButton());
    QTest::mouseClick(page.setupButton(), Qt::LeftButton);
    EXPECT_EQ(setup->text(QAccessible::Name), "Hide setup instructions");

    general->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(general->state().selected);
    EXPECT_EQ(settings.stringValue(kTab), "general");

    // On this desktop a combo box's name is its value: what it is for comes from its label.
    tabs().select(AppSettingsTab::privacy);
    auto* relock = tabs().page(AppSettingsTab::privacy)->findChild<QComboBox*>();
    ASSERT_TRUE(relock);
    QStringList labelledBy;
    for (const auto& [label, relation] : QAccessible::queryAccessibleInterface(relock)->relations(QAccessible::Label))
        labelledBy << label->text(QAccessible::Name);
    EXPECT_EQ(labelledBy, QStringList{"Auto-relock after"});
    // The footnote names a control a note really has (it has no "⋯" menu).
    QStringList footnote;
    for (QLabel* label : tabs().page(AppSettingsTab::privacy)->findChildren<QLabel*>())
        if (label->text().startsWith("Lock any note")) footnote << label->text();
    ASSERT_EQ(footnote.size(), 1);
    EXPECT_TRUE(
        footnote[0].startsWith("Lock any note with the lock button at its top right or from its right-click "
                               "menu. Locked notes are hidden"))
        << footnote[0].toStdString();

    tabs().select(AppSettingsTab::hotkeys);
    auto& hotkeys = this->page<HotkeysSettingsTab>(AppSettingsTab::hotkeys);
    QPushButton* record = hotkeys.rows()[0].record;
    record->setFocus(Qt::TabFocusReason);
    QTest::keyClick(record, Qt::Key_Space);
    ASSERT_TRUE(hotkeys.recording());
    QTest::keyClick(window, Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_FALSE(hotkeys.recording());
    EXPECT_EQ(QApplication::focusWidget(), record) << "the focus went on to another row";
}

// Names of any length keep the window at its width: a long default theme's name and a long approved
// client's name are cut in the middle, both ends showing, the whole name in the tooltip and the
// accessible name.
TEST_F(SettingsWindowTest, LongNamesAreCutInTheMiddleAndTheWindowKeepsItsWidth)
{
    const QString themeName = QStringLiteral("Harbour") + QString(103, QChar('x')) + QStringLiteral("-ending");
    const QString client = QStringLiteral("Client") + QString(105, QChar('y')) + QStringLiteral("-ending");
    context().insert(std::make_unique<NoteTheme>("long", themeName, Qt::white, std::nullopt, std::nullopt, 1.0, 0));
    store->saveNow();
    settings.setValue("notes.defaultThemeID", "long");
    settings.setValue("mcp.enabled", true);
    settings.setValue("mcp.approvedClients", QStringList{client});
    settings.setValue(kTab, "note");
    controller->show();
    QCoreApplication::processEvents();
    QWidget* window = controller->window();
    EXPECT_EQ(window->width(), SettingsWindowController::kWidth);

    MiddleElidedLabel* name = this->page<NoteSettingsTab>(AppSettingsTab::note).defaultThemeName();
    ASSERT_EQ(name->fullText(), themeName);
    EXPECT_TRUE(name->isElided());
    EXPECT_TRUE(name->shownText().startsWith("Harbour") && name->shownText().endsWith("-ending"))
        << name->shownText().toStdString();
    EXPECT_LE(name->geometry().right(), window->width());
    EXPECT_EQ(name->toolTip(), PlainText::toolTip(themeName));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(name)->text(QAccessible::Name), themeName);

    tabs().select(AppSettingsTab::connections);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->width(), SettingsWindowController::kWidth);
    auto& page = this->page<ConnectionsSettingsTab>(AppSettingsTab::connections);
    MiddleElidedLabel* shown = nullptr;
    for (auto* label : page.findChildren<MiddleElidedLabel*>())
        if (label->fullText() == client) shown = label;
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->isElided());
    EXPECT_EQ(shown->toolTip(), PlainText::toolTip(client));
    EXPECT_LE(shown->mapTo(window, QPoint(shown->width(), 0)).x(), window->width());
}

// However a switch is worked (a click, Space, a screen reader's toggle action), the change is stored
// once; a value pushed from the settings moves the switch and writes nothing back.
TEST_F(SettingsWindowTest, EveryWayOfTogglingASwitchIsStored)
{
    controller->show();
    const auto readerToggles = [](QAbstractButton* b) {
        QAccessible::queryAccessibleInterface(b)->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
    };
    const QList<std::pair<const char*, std::function<void(QAbstractButton*)>>> ways{
        {"screen reader", readerToggles},
        {"Space",
         [](QAbstractButton* b) {
             b->setFocus();
             QTest::keyClick(b, Qt::Key_Space);
         }},
        {"click", [](QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }},
    };
    int toggled = 0;
    for (AppSettingsTab tab : {AppSettingsTab::general, AppSettingsTab::note, AppSettingsTab::connections}) {
        tabs().select(tab);
        for (TarnSwitch* toggle : tabs().page(tab)->findChildren<TarnSwitch*>()) {
            if (!toggle->isEnabled()) continue;
            for (const auto& [way, act] : ways) {
                SCOPED_TRACE(toggle->accessibleName().toStdString() + " by " + way);
                QStringList written;
                auto watch =
                    QObject::connect(&settings, &Settings::valueChanged, [&](const QString& key) { written << key; });
                const bool before = toggle->isChecked();
                act(toggle);
                EXPECT_NE(toggle->isChecked(), before);
                ASSERT_EQ(written.size(), 1) << written.join(", ").toStdString();
                EXPECT_EQ(settings.storedValue(written[0]), QVariant(!before));
                if (written[0] != "mcp.enabled") {  // that one follows the service, not the key
                    settings.setValue(written[0], before);
                    EXPECT_EQ(toggle->isChecked(), before);
                    EXPECT_EQ(written.size(), 2) << "a pushed value was written back";
                    act(toggle);  // leave it changed for the next way
                }
                QObject::disconnect(watch);
                ++toggled;
            }
        }
    }
    EXPECT_GE(toggled, 3 * 6);
    const QString autostart = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) + "/autostart";
    EXPECT_EQ(QDir(autostart).isEmpty(), !settings.boolValue("general.launchAtLogin"));

    // Read-only and Read & write act as one choice, whichever way they are worked.
    auto& connections = page<ConnectionsSettingsTab>(AppSettingsTab::connections);
    readerToggles(connections.readWriteButton());
    EXPECT_EQ(settings.storedValue("mcp.readOnly"), QVariant(false));
    readerToggles(connections.readWriteButton());  // unchecking the chosen one keeps it chosen
    EXPECT_EQ(settings.storedValue("mcp.readOnly"), QVariant(false));
    EXPECT_TRUE(connections.readWriteButton()->isChecked() && !connections.readOnlyButton()->isChecked());
    readerToggles(connections.readOnlyButton());
    EXPECT_EQ(settings.storedValue("mcp.readOnly"), QVariant(true));
    EXPECT_FALSE(connections.readWriteButton()->isChecked());
}

// The focus lands on a named control of the page on opening and on every Ctrl+Tab, never on the
// unnamed pane around the pages.
TEST_F(SettingsWindowTest, FocusLandsOnANamedControlOfThePage)
{
    controller->show();
    QWidget* window = controller->window();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    for (int i = 0; i <= AppSettingsTab::allCases().size(); ++i) {
        const AppSettingsTab tab = tabs().currentTab();
        SCOPED_TRACE(tab.rawValue().toStdString());
        QWidget* focused = QApplication::focusWidget();
        ASSERT_TRUE(focused);
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(focused);
        EXPECT_FALSE(read->text(QAccessible::Name).isEmpty()) << focused->metaObject()->className();
        EXPECT_TRUE(tabs().page(tab)->isAncestorOf(focused) || read->text(QAccessible::Name) == tab.title());
        QTest::keyClick(window, Qt::Key_Tab, Qt::ControlModifier);
    }
    EXPECT_EQ(tabs().currentTab(), AppSettingsTab(AppSettingsTab::note));
}

// The focus ring of a link ("Setup instructions…", "Terms of Use", "Privacy Policy") goes round its
// title: no pixel of the ring lands on a pixel of the letters.
TEST_F(SettingsWindowTest, LinkFocusRingsGoRoundTheirTitles)
{
    // In the application's own style, which draws the ring.
    const auto restore = inAppStyle(clock);
    settings.setValue("mcp.enabled", true);
    controller->show();
    QWidget* window = controller->window();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mcp->isRunning(); }));
    QList<std::pair<AppSettingsTab, QPushButton*>> links{
        {AppSettingsTab::connections, page<ConnectionsSettingsTab>(AppSettingsTab::connections).setupButton()}};
    for (QPushButton* b : tabs().page(AppSettingsTab::about)->findChildren<QPushButton*>())
        if (b->text() == "Terms of Use" || b->text() == "Privacy Policy") links.append({AppSettingsTab::about, b});
    ASSERT_EQ(links.size(), 3);
    for (const auto& [tab, link] : links) {
        SCOPED_TRACE(link->text().toStdString());
        tabs().select(tab);
        window->setFocus();
        QCoreApplication::processEvents();
        const QImage plain = link->grab().toImage();
        link->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(link->hasFocus());
        QCoreApplication::processEvents();
        const QImage ringed = link->grab().toImage();
        ASSERT_EQ(plain.size(), ringed.size());
        const QColor ground = plain.pixelColor(plain.width() / 2, 0);
        int ring = 0, letters = 0, crossed = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x) {
                const bool letter = plain.pixel(x, y) != ground.rgba();
                const bool ringPixel = ringed.pixel(x, y) != plain.pixel(x, y);
                letters += letter;
                ring += ringPixel;
                crossed += letter && ringPixel;
            }
        EXPECT_GT(letters, 20);
        EXPECT_GT(ring, 2 * (plain.width() + plain.height()));
        EXPECT_EQ(crossed, 0) << "of " << letters << " letter pixels";
    }
}

// "Check Now" greys while its check runs, but the keyboard stays by it: a second Space flips nothing
// further down the page (launch at login), and the button has the keyboard again when the check ends.
TEST_F(SettingsWindowTest, CheckNowKeepsTheKeyboardWhileItChecks)
{
    if (!UpdateChecker::builtWithUpdateCheck()) GTEST_SKIP() << "built without the update check";
    // A site on the loopback interface that never answers: the check stays under way until it times out.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    UpdateChecker checker(network, settings, clock,
                          QUrl(QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort())));
    checker.setTransferTimeout(400);
    settings.setValue("update.checkAutomatically", true);
    SettingsServices services{settings, *store, *mcp, *unlock, authenticator, center, clock, {}, &checker};
    bool entry = false;
    GeneralSettingsTab page(services, {[&](bool on) {
                                           entry = on;
                                           return std::optional<QString>();
                                       },
                                       [&] { return entry; }});
    page.show();
    QApplication::setActiveWindow(&page);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    QPushButton* checkNow = page.checkNowButton();
    checkNow->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(checkNow->hasFocus());

    QTest::keyClick(checkNow, Qt::Key_Space);
    ASSERT_TRUE(checker.isChecking());
    EXPECT_FALSE(checkNow->isEnabled());
    QWidget* holder = QApplication::focusWidget();
    ASSERT_TRUE(holder);
    EXPECT_TRUE(qobject_cast<QProgressBar*>(holder)) << holder->metaObject()->className();
    QTest::keyClick(holder, Qt::Key_Space);
    EXPECT_FALSE(page.loginSwitch()->isChecked());
    EXPECT_FALSE(entry);
    EXPECT_EQ(settings.storedValue("update.checkAutomatically"), QVariant(true));

    ASSERT_TRUE(QTest::qWaitFor([&] { return !checker.isChecking(); }, 10000));
    EXPECT_TRUE(checkNow->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), checkNow);
}

// Revoking by keyboard keeps the keyboard in the list: on the next row's Revoke, then the one above,
// and with no client left not on the endpoint's switch. "Revoke" is drawn in its red.
TEST_F(SettingsWindowTest, RevokeHandsTheKeyboardToItsNeighbourAndIsRed)
{
    const auto restore = inAppStyle(clock);
    settings.setValue("mcp.approvedClients", QStringList{"Alpha", "Bravo", "Charlie"});
    settings.setValue("mcp.enabled", true);
    settings.setValue(kTab, "connections");
    controller->show();
    QWidget* window = controller->window();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mcp->isRunning(); }));
    auto& page = this->page<ConnectionsSettingsTab>(AppSettingsTab::connections);
    QCoreApplication::processEvents();
    ASSERT_EQ(page.revokeButtons().size(), 3);

    // The title's pixels: red, not the quiet grey.
    QPushButton* first = page.revokeButtons()[0];
    const QImage drawn = first->grab().toImage();
    int red = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QColor c = drawn.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 110 && c.blue() < 110;
        }
    EXPECT_GT(red, 10) << "Revoke is not drawn red";

    page.revokeButtons()[1]->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // Bravo
    ASSERT_EQ(settings.stringListValue("mcp.approvedClients"), (QStringList{"Alpha", "Charlie"}));
    ASSERT_EQ(page.revokeButtons().size(), 2);
    EXPECT_EQ(QApplication::focusWidget(), page.revokeButtons()[1]);  // Charlie's, where Bravo's was
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);      // Charlie, the last row
    ASSERT_EQ(page.revokeButtons().size(), 1);
    EXPECT_EQ(QApplication::focusWidget(), page.revokeButtons()[0]);  // Alpha's, above it
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);      // Alpha, none left
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(settings.stringListValue("mcp.approvedClients").isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), page.setupButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(mcp->enabled());
}

// Only the page shown is read as on screen: behind another page, the Note page's theme tiles and the
// Privacy page's relock choices read as hidden, and the tiles read as on screen once their page is
// shown. The relock choices read as on screen only while their popup is open.
TEST_F(SettingsWindowTest, OnlyTheShownPageReadsAsOnScreen)
{
    controller->show();
    tabs().select(AppSettingsTab::note);
    auto* grid = tabs().page(AppSettingsTab::note)->findChild<ThemeGrid*>();
    auto* relock = tabs().page(AppSettingsTab::privacy)->findChild<QComboBox*>();
    ASSERT_TRUE(grid && relock);
    const auto onScreen = [](QAccessibleInterface* parent) {
        QStringList names;
        for (int i = 0; i < parent->childCount(); ++i) {
            const QAccessible::State s = parent->child(i)->state();
            if (!s.invisible && !s.offscreen) names << parent->child(i)->text(QAccessible::Name);
        }
        return names;
    };
    QAccessibleInterface* tiles = QAccessible::queryAccessibleInterface(grid);
    QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(relock);
    ASSERT_GE(combo->childCount(), 1);
    QAccessibleInterface* choices = combo->child(0);
    ASSERT_EQ(choices->childCount(), 3);
    EXPECT_EQ(choices->parent(), combo);
    ASSERT_GE(tiles->childCount(), 6);
    EXPECT_EQ(onScreen(tiles).size(), tiles->childCount());
    EXPECT_EQ(onScreen(choices), QStringList{});
    EXPECT_TRUE(choices->state().invisible);

    tabs().select(AppSettingsTab::privacy);
    EXPECT_EQ(onScreen(tiles), QStringList{});
    EXPECT_EQ(onScreen(choices), QStringList{}) << "the popup is closed";
    relock->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return relock->view()->isVisible(); }));
    EXPECT_EQ(onScreen(choices), (QStringList{"1 minute", "5 minutes", "15 minutes"}));
    EXPECT_FALSE(choices->state().invisible);
    EXPECT_TRUE(choices->child(1)->state().selected) << "the stored five minutes";
    relock->hidePopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !relock->view()->isVisible(); }));
    EXPECT_EQ(onScreen(choices), QStringList{});

    tabs().select(AppSettingsTab::note);
    EXPECT_EQ(onScreen(tiles).size(), tiles->childCount());
}

// A screen that changes under the open window (a smaller mode, a panel's strut) puts it back on the
// work area, moved the least, as showing it would.
TEST_F(SettingsWindowTest, AScreenChangeUnderTheOpenWindowPutsItBackOnTheWorkArea)
{
    controller->show();
    QCoreApplication::processEvents();
    QWidget* window = controller->window();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    window->move(area.left() + 40, area.bottom() - 100);
    ASSERT_FALSE(area.contains(window->frameGeometry()));
    Q_EMIT screen->geometryChanged(screen->geometry());
    Q_EMIT screen->availableGeometryChanged(area);
    QCoreApplication::processEvents();
    EXPECT_TRUE(area.contains(window->frameGeometry())) << window->frameGeometry().y();
    EXPECT_EQ(window->frameGeometry().left(), area.left() + 40);
}
