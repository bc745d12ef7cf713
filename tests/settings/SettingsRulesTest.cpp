#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <cmath>
#include <limits>

#include "capture/HotkeyGlyphs.h"
#include "capture/KeyCodeName.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "mcp/MCPFakes.h"
#include "platform/KeyboardMap.h"
#include "platform/Settings.h"
#include "settings/AppSettingsTab.h"
#include "settings/ConnectionsRows.h"
#include "settings/HotkeyRecording.h"
#include "settings/LoginSwitch.h"
#include "settings/SettingsTexts.h"
#include "settings/UpdateChecker.h"

namespace {

using Action = HotkeyManager::Action;
using Kind = HotkeyRecording::Kind;

std::unique_ptr<Settings> memorySettings()
{
    return std::make_unique<Settings>(std::make_unique<MemorySettingsBackend>());
}

}  // namespace

// Only a string that names a tab exactly selects it; everything else selects nothing and stays stored.
TEST(SettingsRules, StoredTabIsAnExactStringMatch)
{
    auto settings = memorySettings();
    EXPECT_FALSE(AppSettingsTab::stored(*settings));
    settings->setValue("settings.selectedTab", "permissions");
    EXPECT_EQ(AppSettingsTab::stored(*settings), AppSettingsTab(AppSettingsTab::permissions));
    for (const QVariant& bad : {QVariant("Permissions"), QVariant("nowhere"), QVariant(qint64(3)), QVariant(true),
                                QVariant(QStringList{"note"})}) {
        settings->setValue("settings.selectedTab", bad);
        EXPECT_FALSE(AppSettingsTab::stored(*settings)) << qPrintable(bad.toString());
        EXPECT_EQ(settings->storedValue("settings.selectedTab"), bad);
    }
    QStringList raw;
    for (AppSettingsTab tab : AppSettingsTab::allCases()) raw << tab.rawValue();
    EXPECT_EQ(raw,
              (QStringList{"general", "note", "hotkeys", "permissions", "connections", "privacy", "sync", "about"}));
}

// One table of presses while recording "New note": what is stored, what is refused and why, and what
// only keeps the recording waiting.
TEST(SettingsRules, RecordingTurnsPressesIntoBindingsOrRefusals)
{
    auto settings = memorySettings();
    struct Row {
        const char* what;
        HotkeyRecording::Press press;
        Kind kind;
        quint32 keyCode = 0, mask = 0;
    };
    const std::optional<quint32> k = 'k', K = 'K', one = '1', none;
    const Row rows[] = {
        {"Shift+Super+K", {k, false, false, true, true}, Kind::store, 40, 0x300},
        {"upper-case keysym folds", {K, true, false, false, false}, Kind::store, 40, 0x1000},
        {"Shift+Alt+1 keeps the 1 key", {one, false, true, true, false}, Kind::store, 18, 0xA00},
        {"Shift only", {k, false, false, true, false}, Kind::refuse},
        {"no modifier", {k}, Kind::refuse},
        {"key without code", {none, true, false, false, false}, Kind::refuse},
        {"key off the table", {quint32(0x1008ff13), true, false, false, false}, Kind::refuse},
        {"capture's chord", {quint32(' '), false, true, true, false}, Kind::refuse},
        {"capture's chord with Super", {quint32(' '), false, true, true, true}, Kind::refuse},
        {"hide-all's chord", {quint32('h'), false, true, true, false}, Kind::refuse},
        {"own chord again", {quint32('n'), false, true, true, false}, Kind::store, 45, 0xA00},
        {"Escape", {quint32(0xff1b), true, false, false, false}, Kind::cancel},
        {"a modifier alone", {quint32(0xffe1), false, false, true, false, true}, Kind::keepWaiting},
        {"a repeat", {k, true, false, false, false, false, true}, Kind::keepWaiting},
    };
    for (const Row& row : rows) {
        const auto outcome = HotkeyRecording::evaluate(row.press, Action::newNote, *settings);
        EXPECT_EQ(int(outcome.kind), int(row.kind)) << row.what;
        if (row.kind == Kind::store) {
            EXPECT_EQ(outcome.shortcut, (HotkeyManager::Shortcut{row.keyCode, row.mask})) << row.what;
        }
        if (row.kind == Kind::refuse) {
            EXPECT_FALSE(outcome.message.isEmpty()) << row.what;
        }
    }
    EXPECT_EQ(HotkeyGlyphs::chord(40, 0x300), "Shift+Super+K");

    // Recording the capture key: a chord that, with Super added, is another action's is taken too.
    settings->setValue(HotkeyManager::keyCodeKey(Action::newNote), qint64(40));
    settings->setValue(HotkeyManager::modifiersKey(Action::newNote), qint64(0x900));  // Super+Alt
    const auto clash = HotkeyRecording::evaluate({k, false, true, false, false}, Action::capture, *settings);
    EXPECT_EQ(clash.kind, Kind::refuse);
    EXPECT_TRUE(clash.message.contains("New note"));
}

// Keys as the server lists them under French, Russian and Russian-beside-US layouts (groups and
// levels in the core order): the recorder names a key by its Latin letter or digit wherever it sits,
// and the grab finds the same key again by that name.
TEST(SettingsRules, RecordingNamesAKeyByItsLatinLetterOrDigitOnAnyLayout)
{
    const auto table = [](const QMap<quint32, QList<quint32>>& keys) {
        KeyboardMap::Table t;
        t.minKeycode = 8;
        t.perKeycode = 7;
        t.keysyms.fill(0, (keys.lastKey() - 8 + 1) * 7);
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            for (int i = 0; i < it->size(); ++i) t.keysyms[(it.key() - 8) * 7 + i] = it->at(i);
        return t;
    };
    const auto oneGroup = [](const KeyboardMap::Table& t) { return KeyboardMap::Groups::oneGroup(t); };
    constexpr quint32 Escape = 0xff1b, te = 0x6d4, TE = 0x6f4, shorti = 0x6ca, SHORTI = 0x6ea;
    const KeyboardMap::Table fr = table({{9, {Escape, 0, Escape}},
                                         {10, {'&', '1', '&', '1', 0xb9, 0xa1, 0xb9}},
                                         {13, {'\'', '4', '\'', '4', '{', '$', '{'}},
                                         {24, {'a', 'A', 'a', 'A', 0xe6, 0xc6, 0xe6}},
                                         {58, {',', '?', ',', '?', 0xfe51, 0xfe59, 0xfe51}}});
    const KeyboardMap::Table ruUs = table({{24, {shorti, SHORTI, 'q', 'Q'}}, {57, {te, TE, 'n', 'N'}}});
    const KeyboardMap::Table ru = table({{57, {te, TE, te, TE}}});
    struct Row {
        const char* what;
        const KeyboardMap::Table& layout;
        quint32 keycode;
        Kind kind;
        quint32 keyCode = 0;
    };
    const Row rows[] = {
        {"fr: the key of & and 1 is 1", fr, 10, Kind::store, 18},
        {"fr: a digit wins over a level-1 apostrophe", fr, 13, Kind::store, 21},
        {"fr: the key labelled A", fr, 24, Kind::store, 0},
        {"fr: no letter or digit, the level-1 comma", fr, 58, Kind::store, 43},
        {"fr: Escape still cancels", fr, 9, Kind::cancel},
        {"ru,us: the key of т is N", ruUs, 57, Kind::store, 45},
        {"ru,us: the key of й is Q", ruUs, 24, Kind::store, 12},
        {"ru alone: no Latin name", ru, 57, Kind::refuse},
        {"a key the map leaves empty", ru, 40, Kind::refuse},
    };
    auto settings = memorySettings();
    for (const Row& row : rows) {
        HotkeyRecording::Press press;
        press.keysym = KeyboardMap::hotkeyKeysym(oneGroup(row.layout), row.keycode, 0);
        press.ctrl = press.alt = true;
        const auto outcome = HotkeyRecording::evaluate(press, Action::newNote, *settings);
        EXPECT_EQ(int(outcome.kind), int(row.kind)) << row.what;
        if (row.kind != Kind::store) continue;
        EXPECT_EQ(outcome.shortcut, (HotkeyManager::Shortcut{row.keyCode, 0x1800})) << row.what;
        const auto name = KeyCodeName::keysym(outcome.shortcut.keyCode);
        ASSERT_TRUE(name) << row.what;
        EXPECT_EQ(KeyboardMap::keycodesOf(oneGroup(row.layout), *name, 0), QList<quint8>{quint8(row.keycode)})
            << row.what;
    }
    EXPECT_TRUE(KeyboardMap::keycodesOf(oneGroup(ru), 'n', 0).isEmpty());

    // After a layout change the same name is on another key: Z moves from 52 (us) to 29 (de).
    const KeyboardMap::Table us = table({{29, {'y', 'Y', 'y', 'Y'}}, {52, {'z', 'Z', 'z', 'Z'}}});
    const KeyboardMap::Table de = table({{29, {'z', 'Z', 'z', 'Z', 0x8fb}}, {52, {'y', 'Y', 'y', 'Y', 0xbb}}});
    EXPECT_EQ(KeyboardMap::keycodesOf(oneGroup(us), 'z', 0), QList<quint8>{52});
    EXPECT_EQ(KeyboardMap::keycodesOf(oneGroup(de), 'z', 0), QList<quint8>{29});
}

// Every symbol the settings pages name is one of our own pictures (a bare desktop has no icon theme).
TEST(SettingsRules, EverySymbolOfThePagesResolves)
{
    QStringList names{"checkmark",
                      "exclamationmark.triangle",
                      "xmark",
                      "minus",
                      "dot.radiowaves.left.and.right",
                      "hourglass",
                      "doc.on.doc",
                      "lock.fill",
                      "plus",
                      "BrandIcon"};
    for (AppSettingsTab tab : AppSettingsTab::allCases()) names << tab.symbolName();
    for (const QString& name : names) {
        EXPECT_TRUE(QFile::exists(":/icons/" + name + ".svg")) << qPrintable(name);
        EXPECT_FALSE(Symbols::tinted(name, Qt::black, 16, {1}).pixmap(16, 16).toImage().isNull()) << qPrintable(name);
    }
}

// The small texts: badges by state, the opacity percentage and its guard against stored junk, the
// update row's numeric comparison, the relock choices.
TEST(SettingsRules, RowTextsFollowTheirState)
{
    using State = PermissionAudit::State;
    EXPECT_EQ(SettingsTexts::permissionBadge(State::grantedState(), false).word, "Allowed");
    EXPECT_EQ(SettingsTexts::permissionBadge(State::grantedState(), true).word, "Available");
    EXPECT_EQ(SettingsTexts::permissionBadge({State::denied, {}}, false).color, TarnwickTheme::destructive());
    EXPECT_EQ(SettingsTexts::permissionBadge({State::notDetermined, {}}, false).word, "Not set");
    EXPECT_EQ(SettingsTexts::permissionBadge(State::unsupportedBecause("x"), true).word, "Unavailable");

    EXPECT_EQ(SettingsTexts::percent(0.555), "56%");
    EXPECT_EQ(SettingsTexts::percent(0.1), "10%");
    auto settings = memorySettings();
    for (const QVariant& junk : {QVariant("abc"), QVariant(std::numeric_limits<double>::quiet_NaN()), QVariant()}) {
        settings->setValue("general.defaultOpacityValue", junk);
        EXPECT_EQ(SettingsTexts::defaultOpacity(*settings), 1.0);
    }
    settings->setValue("general.defaultOpacityValue", 0.02);
    EXPECT_EQ(SettingsTexts::perMille(SettingsTexts::defaultOpacity(*settings)), 100);

    EXPECT_LT(UpdateChecker::compareVersions("1.9", "1.10"), 0);
    const auto newer = SettingsTexts::updateRow(true, QString("1.10"), "1.9");
    EXPECT_EQ(newer.downloadTitle, QString("Download Version 1.10"));
    EXPECT_EQ(SettingsTexts::updateRow(false, QString("1.9"), "1.9").status, "You're on the latest version (1.9).");
    EXPECT_EQ(SettingsTexts::updateRow(false, std::nullopt, "1.9").status, "Version 1.9") << "no check, no claim";

    settings->setValue("privacy.relockMinutes", qint64(0));
    EXPECT_FALSE(SettingsTexts::relockChoice(*settings));
    settings->setValue("privacy.relockMinutes", qint64(15));
    EXPECT_EQ(SettingsTexts::relockChoice(*settings), 15);
}

// Showing the page only reads the autostart entry; a user's toggle writes it, and a failed one puts
// the switch back to what the system holds and keeps the message.
TEST(SettingsRules, OnlyTheUsersToggleTouchesTheLoginItem)
{
    auto settings = memorySettings();
    bool entry = true;
    QList<bool> calls;
    std::optional<QString> failure;
    LoginSwitch login(*settings, {[&](bool on) {
                                      calls << on;
                                      if (!failure) entry = on;
                                      return failure;
                                  },
                                  [&] { return entry; }});
    login.sync();
    login.sync();
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_TRUE(login.isOn());

    login.userToggled(false);
    EXPECT_EQ(calls, QList<bool>{false});
    EXPECT_FALSE(login.error());
    failure = "Launching at login could not be turned on.";
    login.userToggled(true);
    EXPECT_EQ(login.error(), failure);
    EXPECT_FALSE(login.isOn());
    EXPECT_EQ(settings->storedValue("general.launchAtLogin"), QVariant(false));
    login.sync();
    EXPECT_EQ(calls.size(), 2);
}

// The Connections rows: off hides everything, a token not yet loaded shows no address, a failed bind
// says so instead of "Starting…" for ever, and a non-list client list reads as empty.
TEST(SettingsRules, ConnectionsRowsFollowTheService)
{
    ServiceFixture f;
    f.settings.setValue("mcp.approvedClients", QStringList{"A", "<b>B</b>"});
    EXPECT_EQ(ConnectionsRows::of(*f.service, f.settings).statusText, "Off");
    EXPECT_TRUE(ConnectionsRows::of(*f.service, f.settings).approved.isEmpty());

    // Every port of the run is taken. The runs tried lie below the kernel's ephemeral range, where a busy
    // machine's outgoing connections can hold every port for a minute.
    QList<QTcpServer*> taken;
    quint16 base = 0;
    for (quint16 candidate = 21100; candidate < 32000 && !base; candidate += 20) {
        qDeleteAll(taken);
        taken.clear();
        bool all = true;
        for (int i = 0; i <= MCPListener::kFallbackPorts && all; ++i) {
            auto* server = new QTcpServer;
            taken << server;
            all = server->listen(QHostAddress::LocalHost, quint16(candidate + i));
        }
        if (all) base = candidate;
    }
    ASSERT_TRUE(base);
    MCPService::Options options;
    options.preferredPort = base;
    f.make(options);
    f.service->setEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.service->startFailed(); }));
    auto rows = ConnectionsRows::of(*f.service, f.settings);
    EXPECT_EQ(rows.status, ConnectionsRows::Status::failed);
    EXPECT_EQ(rows.statusText, "Not running: no port from 48219 to 48231 could be opened");
    f.service->loadToken();
    EXPECT_TRUE(ConnectionsRows::of(*f.service, f.settings).address.isEmpty()) << "the address names a port not held";
    EXPECT_EQ(rows.approved, (QStringList{"A", "<b>B</b>"}));

    // Off and on again retries, and gets a port once one is free.
    qDeleteAll(taken);
    f.service->setEnabled(false);
    EXPECT_FALSE(f.service->startFailed());
    f.service->setEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.service->isRunning(); }));
    rows = ConnectionsRows::of(*f.service, f.settings);
    EXPECT_EQ(rows.statusText, "Running · 127.0.0.1:" + QString::number(base));
    EXPECT_EQ(rows.address, f.service->endpointURL());

    f.settings.setValue("mcp.approvedClients", "A");
    EXPECT_TRUE(ConnectionsRows::approvedClients(f.settings).isEmpty());
    f.settings.setValue("mcp.approvedClients", QVariantList{"A", 3});
    EXPECT_TRUE(ConnectionsRows::approvedClients(f.settings).isEmpty());
}

// A refused token is never published: the address keeps working and the service says why.
TEST(SettingsRules, RefusedTokenKeepsTheOldAddress)
{
    ServiceFixture f;
    const QString before = f.service->endpointURL();
    f.tokens.failWrites = true;
    f.service->regenerateToken();
    EXPECT_EQ(f.service->endpointURL(), before);
    EXPECT_FALSE(f.service->tokenError().isEmpty());
    f.tokens.failWrites = false;
    f.service->regenerateToken();
    EXPECT_NE(f.service->endpointURL(), before);
    EXPECT_TRUE(f.service->tokenError().isEmpty());
}
