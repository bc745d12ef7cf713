// The real application captures from another client: a probe window (xmessage, named by a desktop
// entry), an X client of the test's own owning PRIMARY, chords pressed with xdotool, rows read back with
// sqlite3.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <optional>

#include "support/DesktopDriver.h"
#include "support/SelectionOwner.h"
#include "support/TestEnvironment.h"

namespace {

using namespace tarnwick::test;

QString sql(const QString& query)
{
    return run("sqlite3", {TestEnvironment::dataHome() + "/tarnwick/default.store", query});
}

QString activeWindow()
{
    return QString::number(run("xdotool", {"getactivewindow"}).toULongLong());
}

void press(const QString& keys)
{
    run("xdotool", {"key", "--clearmodifiers", keys});
}

class CaptureSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
        QDir(TestEnvironment::dataHome() + "/tarnwick").removeRecursively();
        const QString apps = TestEnvironment::dataHome() + "/applications";
        QDir().mkpath(apps);
        QFile entry(apps + "/xmessage.desktop");
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Probe Notes\nExec=xmessage\n");
        entry.close();

        probe.start("xmessage", {"-name", "xmessage", "-title", "Probe", "probe window"});
        ASSERT_TRUE(probe.waitForStarted());
        probeID = waitForWindow("^Probe$");
        ASSERT_FALSE(probeID.isEmpty());
        run("xprop",
            {"-id", probeID, "-f", "_NET_WM_PID", "32c", "-set", "_NET_WM_PID", QString::number(probe.processId())});
    }
    void TearDown() override
    {
        if (standIn.state() != QProcess::NotRunning) ::kill(pid_t(standIn.processId()), SIGCONT);
        owner.reset();
        for (QProcess* p : {&app, &probe, &browser, &standIn}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished(5000);
        }
    }
    void launch()
    {
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        ASSERT_TRUE(app.waitForStarted());
        owner.reset();
        // Nothing owns PRIMARY yet: once the chord is grabbed it answers "Nothing selected".
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                focusProbe();
                press("alt+shift+space");
                return !waitForWindow("^Nothing selected: Select some text, then press Alt\\+Shift\\+Space\\.$", 1500)
                            .isEmpty();
            },
            30000));
        dismissCapsule();
    }
    // The text is selected once the server says PRIMARY is the new owner's.
    void select(const QByteArray& text)
    {
        owner.reset();
        owner.emplace(text);
        ASSERT_TRUE(owner->owns()) << qPrintable(owner->failure());
    }
    void focusProbe() { run("xdotool", {"windowactivate", "--sync", probeID}); }
    void dismissCapsule()
    {
        (void)QTest::qWaitFor([] { return visibleWindow("^(Text captured|Nothing|Capture not)").isEmpty(); }, 8000);
    }
    QString capture(const QString& keys = "alt+shift+space")
    {
        press(keys);
        return waitForWindow("^Text captured$");
    }

    QProcess app, probe, browser, standIn;
    std::optional<SelectionOwner> owner;
    QString probeID;
};

TEST_F(CaptureSession, ChordsCaptureIntoRowsNotesAndNewNotesWithUndo)
{
    launch();
    select("Grüße from the probe\n");
    focusProbe();
    // Timed from the press, which comes before the capsule shows: a busy machine only makes the time
    // longer, so the lower bound holds however late the capsule is seen; the wait bounds only a hang.
    QElapsedTimer sincePress;
    sincePress.start();
    const QString capsule = capture();
    ASSERT_FALSE(capsule.isEmpty());
    EXPECT_EQ(activeWindow(), probeID) << "the capsule never takes the focus";
    EXPECT_TRUE(QTest::qWaitFor([&] { return visibleWindow("^Text captured$").isEmpty(); }, 15000))
        << "gone after about two seconds";
    EXPECT_GE(sincePress.elapsed(), 1500) << "the capsule stays about two seconds";
    EXPECT_EQ(sql("SELECT text || '|' || sourceApp || '|' || sourceBundleID || '|' || ifnull(noteUUID, 'none') "
                  "FROM Capture"),
              "Grüße from the probe\n|Probe Notes|xmessage|none");

    // A note open and active: the next capture is appended to it.
    press("alt+shift+n");
    ASSERT_FALSE(waitForWindow("^New Note$").isEmpty());
    focusProbe();
    select("appended words");
    ASSERT_FALSE(capture().isEmpty());
    EXPECT_EQ(sql("SELECT count(*) FROM Capture WHERE text = 'appended words' AND noteUUID IS NOT NULL"), "1");
    EXPECT_EQ(sql("SELECT count(*) FROM Note WHERE body LIKE '%appended words%'"), "1");
    dismissCapsule();

    // Super held: a new note; Ctrl+Z while the capsule is up bins it and deletes its row.
    focusProbe();
    select("for a new note");
    ASSERT_FALSE(capture("super+alt+shift+space").isEmpty());
    EXPECT_EQ(sql("SELECT count(*) FROM Note WHERE title = 'for a new note'"), "1");
    press("ctrl+z");
    EXPECT_TRUE(
        QTest::qWaitFor([] { return sql("SELECT count(*) FROM Capture WHERE text = 'for a new note'") == "0"; }, 5000));
    // The capture's row and the note's bin flag can reach the disk in separate saves.
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return sql("SELECT count(*) FROM Note WHERE title = 'for a new note' AND isTrashed = 1") == "1"; }, 5000))
        << "the undone new note is in the bin";
    dismissCapsule();

    // The pointer on the pill keeps it past 4 s; a click on its right end undoes.
    focusProbe();
    select("undone by click");
    const QString pill = capture();
    ASSERT_FALSE(pill.isEmpty());
    const QString geometry = run("xdotool", {"getwindowgeometry", "--shell", pill});
    const auto value = [&](const QString& key) {
        return geometry.section(key + "=", 1, 1).section('\n', 0, 0).toInt();
    };
    const int x = value("X"), y = value("Y"), w = value("WIDTH"), h = value("HEIGHT");
    run("xdotool", {"mousemove", QString::number(x + w / 3), QString::number(y + h / 2)});
    QTest::qWait(4500);
    EXPECT_FALSE(visibleWindow("^Text captured$").isEmpty()) << "paused under the pointer";
    run("xdotool", {"mousemove", QString::number(x + w - 22), QString::number(y + h / 2), "click", "1"});
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return sql("SELECT count(*) FROM Capture WHERE text = 'undone by click'") == "0"; }, 5000));
    run("xdotool", {"mousemove", "5", "5"});
    dismissCapsule();
}

TEST_F(CaptureSession, WarningsThePeekTheBusAndARelaunch)
{
    launch();
    // Our own window in front: nothing to read from ourselves.
    press("alt+shift+n");
    const QString note = waitForWindow("^New Note$");
    ASSERT_FALSE(note.isEmpty());
    run("xdotool", {"windowactivate", "--sync", note});
    select("ignored");
    press("alt+shift+space");
    EXPECT_FALSE(waitForWindow("^Nothing captured: Select text in another app first\\.$").isEmpty());
    dismissCapsule();

    // A click on the pill opens the peek; Escape closes it.
    focusProbe();
    select("peeked at");
    const QString pill = capture();
    ASSERT_FALSE(pill.isEmpty());
    run("xdotool", {"mousemove", "--window", pill, "20", "10", "click", "1"});
    const QString peek = waitForWindow("^Capture preview$");
    ASSERT_FALSE(peek.isEmpty());

    // Its background drags it; a drag that starts on the text selects and leaves it where it is.
    const auto drag = [](QPoint from, QPoint by) {
        const QPoint to = from + by;
        run("xdotool", {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"});
        run("xdotool", {"mousemove", QString::number(from.x() + by.x() / 2), QString::number(from.y() + by.y() / 2)});
        run("xdotool", {"mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
    };
    const QRect placed = geometryOf(peek);
    // (Had the first moved it, it would end 240 by 120 away.)
    drag(placed.topLeft() + QPoint(40, 54), {120, 60});
    drag(QPoint(placed.center().x(), placed.bottom() - 12), {120, 60});
    QRect moved;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (moved = geometryOf(peek)).topLeft() == placed.topLeft() + QPoint(120, 60); }, 5000))
        << moved.x() << "," << moved.y() << " from " << placed.x() << "," << placed.y();
    EXPECT_FALSE(visibleWindow("^Capture preview$").isEmpty()) << "still open after the drag";
    press("Escape");
    EXPECT_TRUE(QTest::qWaitFor([] { return visibleWindow("^Capture preview$").isEmpty(); }, 5000));

    // Another program hands text over the bus.
    const QString id = QStringLiteral(TARNWICK_APP_ID);
    run("dbus-send", {"--session", "--print-reply", "--dest=" + id, "/" + QString(id).replace('.', '/'),
                      id + ".CaptureText", "string:from the bus"});
    EXPECT_TRUE(
        QTest::qWaitFor([] { return sql("SELECT count(*) FROM Capture WHERE text = 'from the bus'") == "1"; }, 5000));

    // After a relaunch the rows are there and the chords fire again.
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(10000));
    launch();
    EXPECT_EQ(sql("SELECT count(*) FROM Capture WHERE text IN ('peeked at', 'from the bus')"), "2");
    focusProbe();
    select("after the relaunch");
    ASSERT_FALSE(capture().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return sql("SELECT count(*) FROM Capture WHERE text = 'after the relaunch'") == "1"; }, 5000));
}

// Whether a program with that process id is on the accessibility bus (asked of the bus, not of it).
bool onAccessibilityBus(qint64 pid)
{
    QProcess query;
    query.start("/usr/bin/python3", {"-c",
                                     "import sys, pyatspi\n"
                                     "d = pyatspi.Registry.getDesktop(0)\n"
                                     "ids = [d.getChildAtIndex(i).get_process_id() for i in range(d.childCount)]\n"
                                     "sys.exit(0 if int(sys.argv[1]) in ids else 1)\n",
                                     QString::number(pid)});
    return query.waitForFinished(20000) && query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0;
}

// The browser in front does not answer: its window's class names a browser, and its process (a
// program on the accessibility bus, stopped) never tells its page. Texts handed over at once are all
// answered well within the caller's usual 25 s, each filed once, in the order they came, with that
// window's source; one handed over after another window came to the front has that window's; the hot
// key pressed meanwhile is captured once the read ends.
TEST_F(CaptureSession, TextsHandedOverWhileTheBrowserInFrontHangsAreAllAnswered)
{
    // (Every xmessage window is of class Xmessage: without the probe's entry, this one is known by its
    // instance name.)
    const QString apps = TestEnvironment::dataHome() + "/applications";
    ASSERT_TRUE(QFile::remove(apps + "/xmessage.desktop"));
    QFile entry(apps + "/firefox-esr.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Stalled Browser\nExec=firefox-esr\n");
    entry.close();
    standIn.start(QStringLiteral(TARNWICK_STANDIN_EXECUTABLE), {"Stand-in"});
    ASSERT_TRUE(standIn.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return onAccessibilityBus(standIn.processId()); }, 30000));
    browser.start("xmessage", {"-name", "firefox-esr", "-title", "Stalled page - Mozilla Firefox", "a page"});
    ASSERT_TRUE(browser.waitForStarted());
    const QString browserID = waitForWindow("^Stalled page");
    ASSERT_FALSE(browserID.isEmpty());
    run("xprop",
        {"-id", browserID, "-f", "_NET_WM_PID", "32c", "-set", "_NET_WM_PID", QString::number(standIn.processId())});
    launch();
    select("pressed during the read");
    run("xdotool", {"windowactivate", "--sync", browserID});
    ASSERT_EQ(::kill(pid_t(standIn.processId()), SIGSTOP), 0);

    // One connection sends the calls in this order, each with the bus's usual time limit.
    const QString id = QStringLiteral(TARNWICK_APP_ID);
    QList<QDBusPendingCall> calls;
    QStringList texts;
    for (int i = 1; i <= 10; ++i) {
        texts << QStringLiteral("handed over %1").arg(i);
        QDBusMessage call =
            QDBusMessage::createMethodCall(id, "/" + QString(id).replace('.', '/'), id, QStringLiteral("CaptureText"));
        call << texts.last();
        calls << QDBusConnection::sessionBus().asyncCall(call);
    }
    press("alt+shift+space");
    // Once those are in (a blank text is answered at once, in turn), another window comes to the front:
    // a text handed over now is that window's, though the browser's page is still being read.
    const QString path = "/" + QString(id).replace('.', '/');
    QDBusMessage blank = QDBusMessage::createMethodCall(id, path, id, QStringLiteral("CaptureText"));
    blank << QStringLiteral(" ");
    EXPECT_EQ(QDBusConnection::sessionBus().call(blank).arguments().value(0).toString(), "empty");
    focusProbe();
    QDBusMessage fromProbe = QDBusMessage::createMethodCall(id, path, id, QStringLiteral("CaptureText"));
    fromProbe << QStringLiteral("with the probe in front");
    calls << QDBusConnection::sessionBus().asyncCall(fromProbe);
    texts << fromProbe.arguments().value(0).toString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(calls.begin(), calls.end(), [](const QDBusPendingCall& c) { return c.isFinished(); });
        },
        60000));
    for (int i = 0; i < calls.size(); ++i) {
        const QDBusMessage reply = calls[i].reply();
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << qPrintable(texts[i]) << ": " << qPrintable(reply.errorMessage());
        EXPECT_EQ(reply.arguments().value(0).toString().toStdString(), "captured") << qPrintable(texts[i]);
    }
    EXPECT_EQ(sql("SELECT group_concat(text, '|') FROM (SELECT text FROM Capture WHERE text LIKE 'handed over %' "
                  "OR text = 'with the probe in front' ORDER BY rowid)")
                  .toStdString(),
              texts.join('|').toStdString());
    EXPECT_EQ(sql("SELECT ifnull(sourceApp, '') || '|' || ifnull(sourceBundleID, '') || '|' || "
                  "ifnull(sourceTitle, '') FROM Capture WHERE text = 'with the probe in front'")
                  .toStdString(),
              "Xmessage||");
    EXPECT_EQ(sql("SELECT DISTINCT ifnull(sourceApp, '') || '|' || ifnull(sourceBundleID, '') || '|' || "
                  "ifnull(sourceTitle, '') FROM Capture WHERE text LIKE 'handed over %'")
                  .toStdString(),
              "Stalled Browser|firefox-esr|Stalled page");
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return sql("SELECT count(*) FROM Capture WHERE text = 'pressed during the read'") == "1"; }, 20000))
        << "the hot key pressed during the read is captured after it";

    // A megabyte as a new note is written in the background: its capsule comes at once all the same,
    // with nothing else saved after it.
    dismissCapsule();
    focusProbe();
    select("Long capture\n" + QByteArray(1 << 20, 'c'));
    EXPECT_FALSE(capture("super+alt+shift+space").isEmpty()) << "no capsule for the long capture";
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return sql("SELECT count(*) FROM Note WHERE title = 'Long capture' AND length(body) > 1048576") == "1"; },
        10000));
}

}  // namespace
