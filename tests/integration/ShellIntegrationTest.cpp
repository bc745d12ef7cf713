// The real application in the desktop session: its tray menu, the warning over an unreadable notes
// file, a folder in its place or a link to a drive not mounted, and reminders that fell due while it
// was off or that are timed before the daemon is asked.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

#include "app/ReminderScheduler.h"
#include "app/SingleInstance.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/EwmhWindowState.h"
#include "platform/Settings.h"
#include "platform/WindowStates.h"
#include "store/PersistenceController.h"
#include "support/DesktopDriver.h"
#include "support/TestEnvironment.h"

namespace {

using namespace tarnwick::test;

QString storeDirectory()
{
    return TestEnvironment::dataHome() + "/tarnwick";
}

// The first visible window whose name matches, once there is one.
QString waitForWindow(const QStringList& search, int ms = 20000)
{
    QString id;
    (void)QTest::qWaitFor(
        [&] {
            id = run("xdotool", QStringList{"search", "--onlyvisible"} + search).section('\n', 0, 0);
            return !id.isEmpty();
        },
        ms);
    return id;
}

// What a screen reader reads in the running application's labels (pyatspi), one a line, without the word
// joiners that keep a path on one line. Empty when the application is not on the accessibility bus.
QString labelsHeard()
{
    const QString code = QStringLiteral(R"(import sys
sys.path.insert(0, sys.argv[1])
from tarnwick_atspi import nodes
for node, _ in nodes():
    try:
        if node.getRoleName() == "label":
            print(node.name)
    except Exception:
        pass
)");
    const QString support = qEnvironmentVariable("TARNWICK_SOURCE_DIR") + "/tests/support";
    return run("/usr/bin/python3", {"-c", code, support}).remove(QChar(0x2060));
}

// The warning's second paragraph, once a screen reader can read it.
QString whereTheNotesAreHeard()
{
    QString heard;
    (void)QTest::qWaitFor(
        [&] {
            heard = labelsHeard();
            return heard.contains("quitting and opening Tarnwick", Qt::CaseInsensitive);
        },
        20000);
    return heard;
}

QDBusMessage captureText(const QString& text)
{
    QDBusMessage call = QDBusMessage::createMethodCall(ApplicationId::name(), ApplicationId::objectPath(),
                                                       ApplicationId::name(), "CaptureText");
    call << text;
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

class ShellSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
        QDir(storeDirectory()).removeRecursively();
        QFile::remove(TestEnvironment::configHome() + "/tarnwick/settings.json");
        TestEnvironment::writeOfflineSettings(TestEnvironment::configHome());
    }
    void TearDown() override
    {
        if (app.state() != QProcess::NotRunning) {
            app.terminate();
            app.waitForFinished(10000);
        }
    }
    // `heard`: on the accessibility bus, as with a screen reader running.
    void launch(bool heard = false)
    {
        if (heard) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
            app.setProcessEnvironment(env);
        }
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        ASSERT_TRUE(app.waitForStarted());
    }
    bool exitedCleanly()
    {
        return app.waitForFinished(20000) && app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
    }
    QByteArray stderrText() { return errors += app.readAllStandardError(); }

    QProcess app;
    QByteArray errors;
};

TEST_F(ShellSession, TheTrayMenuQuitsByKeys)
{
    launch();
    const QString icon = waitForWindow({"--class", "tarnwick"});
    ASSERT_FALSE(icon.isEmpty()) << stderrText().toStdString();
    run("xdotool", {"mousemove", "--window", icon, "6", "6", "click", "3"});
    ASSERT_FALSE(waitForWindow({"--name", "^Tarnwick menu$"}, 10000).isEmpty());
    run("xdotool", {"key", "--delay", "100", "Up", "Return"});
    EXPECT_TRUE(exitedCleanly()) << stderrText().toStdString();
}

TEST_F(ShellSession, ASecondLaunchBringsTheLastNoteWindowForwardOrElseTheShelf)
{
    launch();
    ASSERT_FALSE(waitForWindow({"--class", "tarnwick"}).isEmpty());
    auto secondLaunch = [] {
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESKTOP_STARTUP_ID", "tarnwick-second-launch");
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        return second.waitForFinished(20000) && second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0;
    };
    // Nothing shown: the shelf opens.
    EXPECT_TRUE(secondLaunch());
    const QString shelf = waitForWindow({"--name", "^Tarnwick shelf$"});
    EXPECT_FALSE(shelf.isEmpty()) << stderrText().toStdString();
    EXPECT_TRUE(pressKeysIn(shelf, {"Escape"}));
    EXPECT_TRUE(QTest::qWaitFor([] { return waitForWindow({"--name", "^Tarnwick shelf$"}, 100).isEmpty(); }, 10000));

    run("xdotool", {"key", "alt+shift+n"});  // the new-note key
    const QString note = waitForWindow({"--name", "^New Note$"});
    ASSERT_FALSE(note.isEmpty()) << stderrText().toStdString();

    QProcess other;
    other.start("xmessage", {"-geometry", "+300+300", "another application"});
    auto active = [] { return run("xdotool", {"getactivewindow"}); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !active().isEmpty() && active() != note; }, 10000));

    EXPECT_TRUE(secondLaunch());
    EXPECT_TRUE(QTest::qWaitFor([&] { return active() == note; }, 10000)) << active().toStdString();
    other.kill();
    other.waitForFinished();
}

TEST_F(ShellSession, AnUnreadableNotesFileIsAnnouncedAndLeftAlone)
{
    const QString path = storeDirectory() + "/default.store";
    tarnwick::test::writeFile(path, QByteArray(8192, 'G'));
    const QByteArray before = QCryptographicHash::hash(tarnwick::test::readFile(path), QCryptographicHash::Sha256);
    const QString dialog = "^Tarnwick$";

    // Return is "Quit Tarnwick"; the other programs' calls are turned away meanwhile.
    launch(true);
    QString box = waitForWindow({"--name", dialog});
    ASSERT_FALSE(box.isEmpty()) << stderrText().toStdString();
    // The notes file is there, so the notes are on disk.
    const QString heard = whereTheNotesAreHeard();
    EXPECT_TRUE(heard.contains("your notes are still on disk in " + storeDirectory() + ".")) << heard.toStdString();
    // The line may reach the pipe a little after the window shows.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return stderrText().contains("Running on a VOLATILE store this session"); }, 10000))
        << errors.toStdString();
    const QDBusMessage notReady = captureText("hello");
    EXPECT_EQ(notReady.errorName(), SingleInstance::errorName("NotReady")) << notReady.errorMessage().toStdString();
    ASSERT_TRUE(pressKeysIn(box, {"Return"}));
    EXPECT_TRUE(exitedCleanly()) << stderrText().toStdString();

    // Being told to end while it waits ends it too.
    launch();
    ASSERT_FALSE(waitForWindow({"--name", dialog}).isEmpty());
    app.terminate();
    EXPECT_TRUE(exitedCleanly());

    // "Continue Without Saving" keeps it running.
    launch();
    box = waitForWindow({"--name", dialog});
    ASSERT_FALSE(box.isEmpty()) << "state " << app.state() << ", exit code " << app.exitCode() << ": "
                                << stderrText().toStdString();
    ASSERT_TRUE(pressKeysIn(box, {"Tab", "space"}));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return run("xdotool", {"search", "--onlyvisible", "--name", dialog}).isEmpty();
        },
        10000));
    QTest::qWait(1000);
    EXPECT_EQ(app.state(), QProcess::Running) << "exit code " << app.exitCode() << ": " << stderrText().toStdString();
    app.terminate();
    EXPECT_TRUE(exitedCleanly());

    EXPECT_EQ(QCryptographicHash::hash(tarnwick::test::readFile(path), QCryptographicHash::Sha256), before);
}

// Mode bits of a file or folder, as the system resolves it; -1 when there is none.
int modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

TEST_F(ShellSession, AFolderInTheNotesFilesPlaceIsNotSaidToHoldTheNotes)
{
    // A folder where the notes file belongs: no notes are on disk, and the folder is not Tarnwick's to
    // change or to copy.
    const QString path = storeDirectory() + "/default.store";
    tarnwick::test::writeFile(path + "/someone-elses", "kept");
    ::chmod(QFile::encodeName(path).constData(), 0755);
    ::chmod(QFile::encodeName(path + "/someone-elses").constData(), 0644);

    launch(true);
    const QString box = waitForWindow({"--name", "^Tarnwick$"});
    ASSERT_FALSE(box.isEmpty()) << stderrText().toStdString();
    const QString heard = whereTheNotesAreHeard();
    EXPECT_FALSE(heard.contains("on disk")) << heard.toStdString();
    EXPECT_TRUE(heard.contains("Tarnwick could not make its notes file in the folder for your notes, " +
                               storeDirectory() +
                               ", so no notes file is kept there. Once that file can be made, quitting and opening "
                               "Tarnwick again is enough."))
        << heard.toStdString();
    ASSERT_TRUE(pressKeysIn(box, {"Return"}));
    EXPECT_TRUE(exitedCleanly()) << stderrText().toStdString();

    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"someone-elses"});
    EXPECT_EQ(tarnwick::test::readFile(path + "/someone-elses"), "kept");
    EXPECT_EQ(modeOf(path), 0755);
    EXPECT_EQ(modeOf(path + "/someone-elses"), 0644);
    QDirIterator copies(storeDirectory() + "/TarnwickSnapshots", {"someone-elses"}, QDir::AllEntries | QDir::Hidden,
                        QDirIterator::Subdirectories);
    EXPECT_FALSE(copies.hasNext()) << "copied to " << copies.next().toStdString();
}

// The notes file linked to a drive: while the drive is not mounted the warning shows and the link
// survives the Quit; with the drive back the notes behind the link open, and what is captured is
// written there.
TEST_F(ShellSession, ANotesFileLinkLeadsToTheNotesOnceItsDriveIsBack)
{
    const QString drive = TestEnvironment::dataHome() + "/drive";
    QDir(drive).removeRecursively();
    const QString link = storeDirectory() + "/default.store";
    const QString target = drive + "/default.store";
    QDir().mkpath(storeDirectory());
    ASSERT_TRUE(QFile::link(target, link));

    launch();
    const QString box = waitForWindow({"--name", "^Tarnwick$"});
    ASSERT_FALSE(box.isEmpty()) << stderrText().toStdString();
    ASSERT_TRUE(pressKeysIn(box, {"Return"}));
    EXPECT_TRUE(exitedCleanly()) << stderrText().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_FALSE(QFileInfo::exists(drive));

    {
        auto opened = PersistenceController::open(drive, std::nullopt, Clock::system());
        ASSERT_FALSE(opened.failure) << opened.failure->toStdString();
        ModelContext& context = opened.container->mainContext();
        context.insert(std::make_unique<Note>("On the drive", "Kept behind the link", Tint::blue, Opacity::solid,
                                              std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(context.save());
    }
    ::chmod(QFile::encodeName(target).constData(), 0644);
    launch();
    ASSERT_FALSE(waitForWindow({"--class", "tarnwick"}).isEmpty()) << stderrText().toStdString();
    QDBusMessage reply;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            reply = captureText("captured through the link");
            return reply.type() == QDBusMessage::ReplyMessage;
        },
        20000))
        << reply.errorMessage().toStdString();
    EXPECT_TRUE(waitForWindow({"--name", "^Tarnwick$"}, 500).isEmpty()) << "no warning";
    app.terminate();
    EXPECT_TRUE(exitedCleanly()) << stderrText().toStdString();

    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_EQ(modeOf(target), 0600);
    EXPECT_EQ(run("sqlite3", {target, "SELECT body FROM Note; SELECT text FROM Capture;"}),
              "Kept behind the link\ncaptured through the link");
}

TEST_F(ShellSession, RemindersDueSoonAndThoseMissedWhileOffAreShown)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    {
        auto opened = PersistenceController::open(storeDirectory(), std::nullopt, Clock::system());
        ASSERT_FALSE(opened.failure) << opened.failure->toStdString();
        ModelContext& context = opened.container->mainContext();
        auto make = [&](const QString& title, const QString& body, qint64 dueInSeconds) {
            Note* note = context.insert(std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt,
                                                               std::nullopt, QDateTime::currentDateTimeUtc()));
            note->setReminderDate(now.addSecs(dueInSeconds));
            return note;
        };
        make("Dentist", "Bring the forms", 5);
        Note* locked = make("Combination", QString(), 5);
        locked->setIsLocked(true);
        locked->setLockedCipher(QByteArray("sealed-payload"));
        make("Missed call", "Ring the plumber back", -60);
        make("Old news", "Long handled", -7200);
        ASSERT_TRUE(context.save());
    }
    Settings settings(std::make_unique<FileSettingsBackend>(TestEnvironment::configHome() + "/tarnwick/settings.json"));
    settings.setValue(ReminderScheduler::kHandledThroughKey, now.addSecs(-3600));

    QProcess monitor;
    monitor.start("dbus-monitor", {"--session", "interface='org.freedesktop.Notifications',member='Notify'"});
    ASSERT_TRUE(monitor.waitForStarted());
    QTest::qWait(500);
    launch();
    QByteArray seen;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            seen += monitor.readAllStandardOutput();
            return seen.count("member=Notify") >= 3;
        },
        30000))
        << seen.toStdString() << stderrText().toStdString();
    QTest::qWait(500);
    seen += monitor.readAllStandardOutput();
    monitor.terminate();
    monitor.waitForFinished(5000);

    EXPECT_EQ(seen.count("member=Notify"), 3) << seen.toStdString();
    for (const char* text : {"Missed call", "Ring the plumber back", "Dentist", "Bring the forms",
                             "You have a reminder on a locked note."})
        EXPECT_TRUE(seen.contains(text)) << text;
    EXPECT_FALSE(seen.contains("Old news") || seen.contains("Combination"));
    // Each asks for the desktop's message sound, the locked one too.
    const QRegularExpression sound(
        R"(dict entry\(\s*string "sound-name"\s*variant\s*string "message-new-instant"\s*\))");
    EXPECT_EQ(QString::fromUtf8(seen).count(sound), 3) << seen.toStdString();
    // The missed one comes first, as it would have.
    EXPECT_LT(seen.indexOf("Missed call"), seen.indexOf("Dentist"));

    // Clicking one opens its note's window.
    EXPECT_TRUE(waitForWindow({"--name", "^(Dentist|Missed call|Combination)$"}, 1000).isEmpty());
    run("dunstctl", {"action", "0"});
    EXPECT_FALSE(waitForWindow({"--name", "^(Dentist|Missed call|Combination)$"}).isEmpty())
        << stderrText().toStdString();
}

// A desktop's StatusNotifierItem watcher with a host, as KDE and the GNOME extensions provide.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return registered; }
    QStringList registered;
public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        // A bare path means the caller's own connection.
        registered << (service.startsWith('/') ? message.service() : service);
    }
    void RegisterStatusNotifierHost(const QString&) {}
};

TEST_F(ShellSession, ATrayItemRegistersWithTheDesktopsWatcherAndActivatingItTogglesTheShelf)
{
    FakeWatcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject("/StatusNotifierWatcher", &watcher,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(bus.registerService("org.kde.StatusNotifierWatcher"));
    launch();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watcher.registered.isEmpty(); }, 20000)) << stderrText().toStdString();
    if (!watcher.registered.isEmpty()) {
        auto activate = [&] {
            QDBusMessage call = QDBusMessage::createMethodCall(watcher.registered.first(), "/StatusNotifierItem",
                                                               "org.kde.StatusNotifierItem", "Activate");
            call << 0 << 0;
            return bus.call(call, QDBus::Block, 5000);
        };
        EXPECT_NE(activate().type(), QDBusMessage::ErrorMessage);
        EXPECT_FALSE(waitForWindow({"--name", "^Tarnwick shelf$"}).isEmpty());
    }
    app.terminate();
    EXPECT_TRUE(exitedCleanly());
    bus.unregisterService("org.kde.StatusNotifierWatcher");
    bus.unregisterObject("/StatusNotifierWatcher");
}

TEST(WindowStates, WorkWindowsJoinTheTaskbarOnlyWhenAsked)
{
    if (!TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
    Settings settings(std::make_unique<MemorySettingsBackend>());
    QWidget window;
    window.setWindowTitle("Taskbar probe");
    window.winId();  // makes the native window, so the state is there before it is mapped
    WindowStates::applyTaskbarPresence(window.windowHandle(), settings);
    window.show();
    const QString id = QString::number(window.winId());
    auto states = [&] { return run("xprop", {"-id", id, "_NET_WM_STATE"}); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return states().contains("_NET_WM_STATE_SKIP_TASKBAR"); }, 5000))
        << states().toStdString();
    EXPECT_TRUE(states().contains("_NET_WM_STATE_SKIP_PAGER"));
    settings.setValue("general.showDockIcon", true);
    WindowStates::reapplyTaskbarPresence(settings);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !states().contains("SKIP_TASKBAR"); }, 5000)) << states().toStdString();
}

// States written before mapping reach the window manager with the window; later changes are asked of
// it; and the full-screen question follows the active window.
TEST(EwmhWindowState, StatesBeforeAndAfterMappingAndTheFullScreenQuestion)
{
    if (!TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    window.setWindowTitle("EWMH probe");
    window.resize(120, 80);
    EwmhWindowState::apply(window.winId(), {true, true, true, true});
    window.show();
    const auto read = [&] { return EwmhWindowState::read(window.winId()); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return read().sticky && read().above && read().skipTaskbar; }, 5000));
    // The states read back above are the ones we wrote; a change asked of a window manager that has not
    // taken the window in yet is lost, so wait until it has (it sets WM_STATE on the windows it manages).
    const QString id = QString::number(window.winId());
    ASSERT_TRUE(QTest::qWaitFor([&] { return run("xprop", {"-id", id, "WM_STATE"}).contains("Normal"); }, 5000));
    EwmhWindowState::apply(window.winId(), {false, false, true, true});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !read().sticky && !read().above; }, 5000));
    EXPECT_TRUE(read().skipPager);

    QWidget full;
    full.setWindowTitle("Full-screen probe");
    full.showFullScreen();
    run("xdotool", {"windowactivate", "--sync", QString::number(full.winId())});
    EXPECT_TRUE(QTest::qWaitFor([] { return EwmhWindowState::activeWindowIsFullScreen(); }, 5000));
    full.showNormal();
    EXPECT_TRUE(QTest::qWaitFor([] { return !EwmhWindowState::activeWindowIsFullScreen(); }, 5000));
}

}  // namespace

#include "ShellIntegrationTest.moc"
