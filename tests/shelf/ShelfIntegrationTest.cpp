// The shelf of the real application in the desktop session, driven from the tray icon and the
// keyboard as a user would, with the stored rows checked in the store file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "capture/HotkeyManager.h"
#include "model/Capture.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "shelf/ShelfPlacement.h"
#include "store/PersistenceController.h"
#include "store/StoreMigration.h"
#include "support/DesktopDriver.h"
#include "support/TestEnvironment.h"

namespace {

using namespace tarnwick::test;

void keys(const QStringList& names)
{
    run("xdotool", QStringList{"key", "--clearmodifiers", "--delay", "120"} + names);
    QTest::qWait(300);
}

void type(const QString& text)
{
    run("xdotool", {"type", "--delay", "80", text});
    QTest::qWait(300);
}

QString sql(const QString& query)
{
    const QString store = *StoreMigration::currentDirectory() + "/default.store";
    return run("sqlite3", {store, query});
}

QString noteField(const QString& title, const QString& field)
{
    return sql(QStringLiteral("SELECT %1 FROM Note WHERE title = '%2'").arg(field, title));
}

class ShelfSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
        QDir(*StoreMigration::currentDirectory()).removeRecursively();
        QFile::remove(settingsPath());
        TestEnvironment::writeOfflineSettings(TestEnvironment::configHome());
        seed();
    }
    void TearDown() override { quit(); }

    static QString settingsPath() { return TestEnvironment::configHome() + "/tarnwick/settings.json"; }

    // Three notes that rank 3, 2 and 1 for "zebra", a capture found only by its page title, a note in
    // the bin, and the first-run tour done.
    void seed()
    {
        auto opened = PersistenceController::open(StoreMigration::currentDirectory(), std::nullopt, Clock::system());
        ASSERT_FALSE(opened.failure);
        ModelContext& context = opened.container->mainContext();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        auto note = [&](const QString& title, const QString& body, int minutesAgo) {
            Note* n = context.insert(std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt,
                                                            std::nullopt, QDateTime::currentDateTimeUtc()));
            n->setUpdatedAt(now.addSecs(-60 * minutesAgo));
            return n;
        };
        note("Zebra stripes", "every zebra differs", 30);
        note("Zebra title", "nothing else", 20);
        note("Plain list", "a zebra at the end", 10);
        Note* binned = note("Binned memo", "old", 60);
        binned->setIsTrashed(true);
        binned->setDeletedAt(now.addSecs(-3600));
        context.insert(std::make_unique<Capture>(
            QStringLiteral("The captured kangaroo sentence"), QStringLiteral("Browser"), std::nullopt, std::nullopt,
            QStringLiteral("Quokka facts"), std::nullopt, QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(context.save());
        Settings settings(std::make_unique<FileSettingsBackend>(settingsPath()));
        settings.setValue("onboarding.completed", true);
    }

    void launch()
    {
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        ASSERT_TRUE(app.waitForStarted());
        (void)QTest::qWaitFor(
            [&] {
                return !(icon = run("xdotool", {"search", "--class", "tarnwick"})).isEmpty();
            },
            20000);
        icon = icon.section('\n', 0, 0);
        ASSERT_FALSE(icon.isEmpty()) << "no tray icon";
        QTest::qWait(500);
    }
    void quit()
    {
        if (app.state() == QProcess::NotRunning) return;
        app.terminate();
        app.waitForFinished(10000);
    }
    QString clickTray()
    {
        run("xdotool", {"mousemove", "--window", icon, "6", "6", "click", "1"});
        const QString panel = waitForWindow("^Tarnwick shelf$");
        QTest::qWait(600);  // past the grace after opening
        return panel;
    }

    QProcess app;
    QString icon;
};

TEST_F(ShelfSession, BrowsesSearchesAndActsFromTheKeyboard)
{
    launch();
    // 1. The panel maps under the tray icon.
    const QString panel = clickTray();
    ASSERT_FALSE(panel.isEmpty());
    const QRect tray = geometryOf(icon);
    const QStringList area = run("xprop", {"-root", "_NET_WORKAREA"}).section('=', 1).split(',');
    ShelfPlacement::Input in;
    in.anchor = tray;
    in.screen = QRect(0, 0, 1280, 800);
    in.available = area.size() >= 4 ? QRect(area[0].trimmed().toInt(), area[1].trimmed().toInt(),
                                            area[2].trimmed().toInt(), area[3].trimmed().toInt())
                                    : in.screen;
    EXPECT_EQ(geometryOf(panel).topLeft(), ShelfPlacement::topLeft(in));

    // 2. Tab remembers the lens.
    keys({"Tab"});
    QFile settings(settingsPath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(settings.readAll()).contains(QRegularExpression(R"("shelf\.lastLens"[^}]*"bin")")));
    keys({"Tab", "Tab"});

    // 3. Search, walk to the rank-1 note and pin it.
    type("zebra");
    keys({"Down", "Down", "Down", "ctrl+p"});
    EXPECT_TRUE(QTest::qWaitFor([] { return noteField("Plain list", "isPinned") == "1"; }, 5000));

    // 4. Open the rank-3 note: its window takes over and the shelf goes.
    keys({"Up", "Up", "Return"});
    EXPECT_FALSE(waitForWindow("^Zebra stripes$").isEmpty());
    EXPECT_TRUE(waitForNoWindow("^Tarnwick shelf$"));

    // 5. The hot key brings the search back; the menu bins the note, the bin restores it.
    keys({"alt+shift+s"});
    QString again = waitForWindow("^Tarnwick shelf$");
    ASSERT_FALSE(again.isEmpty());
    QTest::qWait(600);
    keys({"Down", "Menu", "Up", "Return"});
    EXPECT_TRUE(QTest::qWaitFor([] { return noteField("Zebra stripes", "isTrashed") == "1"; }, 5000));
    run("xdotool", {"mousemove", "--window", again, "355", "22", "click", "1"});
    QTest::qWait(300);
    keys({"Tab", "Down", "Return"});
    EXPECT_TRUE(QTest::qWaitFor([] { return noteField("Zebra stripes", "isTrashed") == "0"; }, 5000));

    // 6. A capture found by its page title, copied from its menu.
    type("quokka");
    keys({"Down", "Menu", "Up", "Up", "Return"});
    EXPECT_TRUE(QTest::qWaitFor(
        [] {
            return run("xclip", {"-o", "-selection", "clipboard"}) == "The captured kangaroo sentence";
        },
        5000));

    // 7. Escape closes; after a relaunch the shelf opens on the bin with everything kept.
    keys({"Escape"});
    EXPECT_TRUE(waitForNoWindow("^Tarnwick shelf$"));
    quit();
    launch();
    ASSERT_FALSE(clickTray().isEmpty());
    EXPECT_EQ(noteField("Plain list", "isPinned"), "1");
    EXPECT_EQ(noteField("Zebra stripes", "isTrashed"), "0");
    keys({"Down", "Return"});
    EXPECT_TRUE(QTest::qWaitFor([] { return noteField("Binned memo", "isTrashed") == "0"; }, 5000));
}

// Rows of a screenshot: the background, the hairline dividers running across it, and the bands of
// rows that hold ink (text or symbols) between them.
struct Shot {
    QImage image;
    QRgb background = 0;

    explicit Shot(const QString& file) : image(QImage(file).convertToFormat(QImage::Format_RGB32))
    {
        QHash<QRgb, int> counts;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3) ++counts[image.pixel(x, y)];
        int best = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.value() > best) best = it.value(), background = it.key();
    }
    int difference(int x, int y) const
    {
        const QRgb p = image.pixel(x, y);
        return std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
               std::abs(qBlue(p) - qBlue(background));
    }
    bool divider(int y) const
    {
        int faint = 0;
        for (int x = 0; x < image.width(); ++x) faint += difference(x, y) > 4 && difference(x, y) <= 90;
        return faint >= image.width() * 9 / 10;
    }
    bool ink(int y, int from, int to) const
    {
        for (int x = from; x < to; ++x)
            if (difference(x, y) > 90) return true;
        return false;
    }
    QList<int> dividers() const
    {
        QList<int> rows;
        for (int y = 0; y < image.height(); ++y)
            if (divider(y)) rows << y;
        return rows;
    }
    // [top, bottom] of each run of inked rows in [from, to).
    QList<QPair<int, int>> bands(int from, int to) const
    {
        QList<QPair<int, int>> out;
        for (int y = from; y < to; ++y) {
            if (!ink(y, 16, image.width() - 16)) continue;
            if (!out.isEmpty() && out.last().second == y - 1)
                out.last().second = y;
            else
                out.append({y, y});
        }
        return out;
    }
};

// A fresh store as a new user meets it: help over the pin icon of a note row; the bin's hint with
// every line inside its row; and, with no notification service on the bus, "Remind me…" then Set
// brings the notifications panel.
TEST_F(ShelfSession, HintsHelpAndTheNotificationsExplanation)
{
    QDir(*StoreMigration::currentDirectory()).removeRecursively();
    {
        auto opened = PersistenceController::open(StoreMigration::currentDirectory(), std::nullopt, Clock::system());
        ASSERT_FALSE(opened.failure);
        opened.container->mainContext().insert(
            std::make_unique<Note>(QStringLiteral("Tooltip note"), QStringLiteral("x"), Tint::blue, Opacity::solid,
                                   std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(opened.container->mainContext().save());
    }
    QTemporaryDir scratch;
    launch();
    const QString panel = clickTray();
    ASSERT_FALSE(panel.isEmpty());
    const QRect frame = geometryOf(panel);

    // 1. The note row's pin icon: its tooltip maps with "Pin".
    const QString listShot = scratch.filePath("notes.png");
    run("import", {"-window", panel, listShot});
    Shot notes(listShot);
    const QList<int> lines = notes.dividers();
    ASSERT_GE(lines.size(), 2) << "the two dividers around the list";
    const int listTop = lines.first() + 1, listBottom = lines.last();
    const auto rows = notes.bands(listTop, listBottom);
    ASSERT_GE(rows.size(), 2) << "a heading and the note's row";
    const int rowY = (rows[1].first + rows[1].second) / 2;
    run("xdotool", {"mousemove", "--window", panel, "150", QString::number(rowY)});
    QTest::qWait(300);
    run("xdotool", {"mousemove", "--window", panel, QString::number(frame.width() - 19 - 33), QString::number(rowY)});
    EXPECT_FALSE(waitForWindow("^Pin$", 8000).isEmpty()) << "no tooltip over the pin icon";
    run("xdotool", {"mousemove", "--window", panel, "150", "20"});

    // 2. Tab to the bin: every line of its hint lies inside the hint row, clear of its padding.
    keys({"Tab"});
    QTest::qWait(400);
    const QString binShot = scratch.filePath("bin.png");
    run("import", {"-window", panel, binShot});
    Shot bin(binShot);
    const auto hint = bin.bands(listTop, listBottom);
    ASSERT_FALSE(hint.isEmpty()) << "the bin's hint is drawn";
    EXPECT_GT(hint.first().first, listTop + 28) << "the first line starts inside the top padding's edge";
    for (const auto& band : hint) {
        EXPECT_GE(band.second - band.first + 1, 8) << "a line cut short";
        EXPECT_LE(band.second - band.first + 1, 20) << "lines drawn over each other";
    }
    EXPECT_LT(hint.last().second, listBottom - 28);
    quit();

    // 3. A bus of its own with no notification service, nor any to start on demand.
    QDir().mkpath(scratch.filePath("services"));
    QFile config(scratch.filePath("bus.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                                "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                "<servicedir>%2</servicedir><policy context=\"default\">"
                                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                "<allow own=\"*\"/></policy></busconfig>\n")
                     .arg(scratch.path(), scratch.filePath("services"))
                     .toUtf8());
    config.close();
    QProcess bus;
    bus.start("dbus-daemon", {"--nofork", "--print-address", "--config-file=" + config.fileName()});
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    app.setProcessEnvironment(env);
    launch();
    keys({"alt+shift+n"});
    const QString note = waitForWindow("^New Note$");
    ASSERT_FALSE(note.isEmpty());
    const QRect noteFrame = geometryOf(note);
    run("xdotool", {"mousemove", "--window", note, QString::number(noteFrame.width() / 2),
                    QString::number(noteFrame.height() / 2), "click", "3"});
    QTest::qWait(600);
    keys({"Down", "Down", "Return"});
    QTest::qWait(600);
    keys({"Return"});
    const QString explanation = waitForWindow("^Let Tarnwick remind you$", 8000);
    EXPECT_FALSE(explanation.isEmpty()) << "no notifications panel";
    if (const QString keep = qEnvironmentVariable("TARNWICK_KEEP_SHOTS"); !keep.isEmpty()) {
        QTest::qWait(500);
        run("import", {"-window", "root", keep + "/explanation.png"});
        QFile::copy(listShot, keep + "/notes.png");
        QFile::copy(binShot, keep + "/bin.png");
    }
    keys({"Escape"});
    quit();
    bus.terminate();
    bus.waitForFinished(5000);
}

// The empty lenses' hints as a screen reader reads them (pyatspi), one a line.
QString hintsHeard()
{
    const QString code = QStringLiteral(R"(import sys
sys.path.insert(0, sys.argv[1])
from tarnwick_atspi import nodes
for node, _ in nodes():
    try:
        if node.name.startswith(("No notes yet", "Nothing captured yet")):
            print(node.name)
    except Exception:
        pass
)");
    return run("/usr/bin/python3", {"-c", code, qEnvironmentVariable("TARNWICK_SOURCE_DIR") + "/tests/support"});
}

// The tray icon is lit while the shelf is open and back as it was however the shelf closes: Escape, a
// click on the icon, another application taking the keyboard. The empty lenses' hints name the hot
// keys as bound when the shelf opens again, after settings.json was edited while the application ran.
TEST_F(ShelfSession, TheTrayIconIsLitWhileOpenAndTheHintsNameTheKeysBoundNow)
{
    if (QProcess::execute("/usr/bin/python3", {"-c", "import pyatspi"}) != 0) GTEST_SKIP() << "no pyatspi";
    QDir(*StoreMigration::currentDirectory()).removeRecursively();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    app.setProcessEnvironment(env);
    launch();
    QTemporaryDir scratch;
    const QString shotFile = scratch.filePath("icon.png");
    auto iconShot = [&] {
        run("import", {"-window", icon, shotFile});
        return QImage(shotFile).convertToFormat(QImage::Format_RGB32);
    };
    const QImage atRest = iconShot();
    ASSERT_FALSE(atRest.isNull());
    auto isLit = [&] { return iconShot() != atRest; };
    auto isDark = [&] { return iconShot() == atRest; };

    // 1. Escape.
    ASSERT_FALSE(clickTray().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(isLit, 5000)) << "the icon is not lit while the shelf is open";
    keys({"Escape"});
    ASSERT_TRUE(waitForNoWindow("^Tarnwick shelf$"));
    EXPECT_TRUE(QTest::qWaitFor(isDark, 5000)) << "the icon stayed lit after Escape";

    // 2. A click on the icon.
    ASSERT_FALSE(clickTray().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(isLit, 5000));
    run("xdotool", {"mousemove", "--window", icon, "6", "6", "click", "1"});
    ASSERT_TRUE(waitForNoWindow("^Tarnwick shelf$"));
    EXPECT_TRUE(QTest::qWaitFor(isDark, 5000)) << "the icon stayed lit after the click that closed the shelf";
    QTest::qWait(500);
    EXPECT_TRUE(visibleWindow("^Tarnwick shelf$").isEmpty()) << "the closing click opened the shelf again";

    // 3. Another application takes the keyboard.
    ASSERT_FALSE(clickTray().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(isLit, 5000));
    QProcess other;
    other.start("xmessage", {"-geometry", "+300+300", "another application"});
    EXPECT_TRUE(waitForNoWindow("^Tarnwick shelf$")) << "the shelf stayed open behind another application";
    EXPECT_TRUE(QTest::qWaitFor(isDark, 5000)) << "the icon stayed lit after the focus went elsewhere";
    other.kill();
    other.waitForFinished();
    QTest::qWait(600);  // a tray click this soon after the focus left an open shelf counts as its closing click

    // 4. The hints: the notes lens with the new-note key, the captures lens with the capture key, each
    // rebound in the settings file while the shelf is closed and read when it opens again.
    auto rebind = [](HotkeyManager::Action action, int keyCode, int modifiers) {
        Settings settings(std::make_unique<FileSettingsBackend>(settingsPath()));
        settings.setValue(HotkeyManager::keyCodeKey(action), keyCode);
        settings.setValue(HotkeyManager::modifiersKey(action), modifiers);
    };
    auto heard = [](const QString& hint) { return QTest::qWaitFor([&] { return hintsHeard() == hint; }, 10000); };
    const QString notesHint = "No notes yet. Press %1 anywhere.";
    const QString capturesHint = "Nothing captured yet. Select text anywhere and press %1.";
    ASSERT_FALSE(clickTray().isEmpty());
    EXPECT_TRUE(heard(notesHint.arg("Alt+Shift+N"))) << hintsHeard().toStdString();
    keys({"Escape"});
    ASSERT_TRUE(waitForNoWindow("^Tarnwick shelf$"));
    rebind(HotkeyManager::Action::newNote, 45, 0x1200);  // Ctrl+Shift+N
    ASSERT_FALSE(clickTray().isEmpty());
    EXPECT_TRUE(heard(notesHint.arg("Ctrl+Shift+N"))) << hintsHeard().toStdString();

    keys({"Tab", "Tab"});
    EXPECT_TRUE(heard(capturesHint.arg("Alt+Shift+Space"))) << hintsHeard().toStdString();
    keys({"Escape"});
    ASSERT_TRUE(waitForNoWindow("^Tarnwick shelf$"));
    rebind(HotkeyManager::Action::capture, 8, 0x1800);  // Ctrl+Alt+C
    ASSERT_FALSE(clickTray().isEmpty());
    EXPECT_TRUE(heard(capturesHint.arg("Ctrl+Alt+C"))) << hintsHeard().toStdString();
    keys({"Escape"});
}

// Where a StatusNotifierItem host is on the bus the icon is an item, not an embedded window: the lit
// glyph must reach its pixmap too. A watcher of our own stands in for the desktop's.
TEST_F(ShelfSession, OnAStatusNotifierHostTheItemsPixmapIsLitWhileOpen)
{
    const QString watcherCode = QStringLiteral(R"(import sys
from gi.repository import Gio, GLib
XML = """<node><interface name="org.kde.StatusNotifierWatcher">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
</interface></node>"""
def call(conn, sender, path, iface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        name = params.unpack()[0]
        print(sender, name if name.startswith("/") else "/StatusNotifierItem", flush=True)
    invocation.return_value(None)
def prop(conn, sender, path, iface, name):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", []),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", True), "ProtocolVersion": GLib.Variant("i", 0)}[name]
def acquired(conn, name):
    conn.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], call, prop, None)
Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.StatusNotifierWatcher", 0, acquired,
                 lambda *a: print("ready", flush=True), lambda *a: sys.exit(1))
GLib.MainLoop().run()
)");
    QProcess watcher;
    watcher.start("/usr/bin/python3", {"-c", watcherCode});
    auto line = [&] {
        (void)QTest::qWaitFor([&] { return watcher.canReadLine() || watcher.state() == QProcess::NotRunning; }, 20000);
        return QString::fromUtf8(watcher.readLine()).trimmed();
    };
    ASSERT_EQ(line(), "ready");
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
    ASSERT_TRUE(app.waitForStarted());
    const QStringList item = line().split(' ');
    ASSERT_EQ(item.size(), 2) << "no item registered";
    auto pixmap = [&] {
        return run("gdbus", {"call", "--session", "--dest", item[0], "--object-path", item[1], "--method",
                             "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "IconPixmap"});
    };
    QString atRest;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(atRest = pixmap()).isEmpty(); }, 10000));
    keys({"alt+shift+s"});
    ASSERT_FALSE(waitForWindow("^Tarnwick shelf$").isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return pixmap() != atRest; }, 5000)) << "the item is not lit";
    keys({"Escape"});
    ASSERT_TRUE(waitForNoWindow("^Tarnwick shelf$"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pixmap() == atRest; }, 5000)) << "the item stayed lit";
    quit();
    watcher.kill();
    watcher.waitForFinished();
}

}  // namespace
