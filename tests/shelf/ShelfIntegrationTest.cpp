// The shelf of the real application in the desktop session, driven from the tray icon and the
// keyboard as a user would, with the stored rows checked in the store file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

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
            Note* n = context.insert(
                std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt));
            n->setUpdatedAt(now.addSecs(-60 * minutesAgo));
            return n;
        };
        note("Zebra stripes", "every zebra differs", 30);
        note("Zebra title", "nothing else", 20);
        note("Plain list", "a zebra at the end", 10);
        Note* binned = note("Binned memo", "old", 60);
        binned->setIsTrashed(true);
        binned->setDeletedAt(now.addSecs(-3600));
        context.insert(std::make_unique<Capture>(QStringLiteral("The captured kangaroo sentence"),
                                                 QStringLiteral("Browser"), std::nullopt, std::nullopt,
                                                 QStringLiteral("Quokka facts"), std::nullopt));
        ASSERT_TRUE(context.save());
        Settings settings(std::make_unique<FileSettingsBackend>(settingsPath()));
        settings.setValue("onboarding.completed", true);
    }

    void launch()
    {
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        ASSERT_TRUE(app.waitForStarted());
        QTest::qWaitFor([&] { return !(icon = run("xdotool", {"search", "--class", "tarnwick"})).isEmpty(); }, 20000);
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

}  // namespace
