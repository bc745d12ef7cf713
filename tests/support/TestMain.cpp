// Test entry: throw-away HOME/XDG directories, then a QApplication, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QProcess>

#include "TestEnvironment.h"

namespace {

// In the desktop session, a key or button left down by one test would be typed into every test after it
// by the server's autorepeat: each test is looked at as it ends, and the one that left it fails. Listeners
// hear a test's end in the reverse order of their adding, so this one hears it before the result printer
// and the failure added here is the test's own: it is reported FAILED, not OK. A check that cannot run
// fails the test as well, since a key held then would go unseen. (The session fails the run for it too.)
class HeldKeysCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        const QString script = qEnvironmentVariable("TARNWICK_SOURCE_DIR") + QStringLiteral("/scripts/held-keys.py");
        if (!QFileInfo(script).isFile()) {
            ADD_FAILURE() << "The held-key check cannot run: " << qPrintable(script)
                          << " is missing (TARNWICK_SOURCE_DIR is the source tree)";
            return;
        }
        QProcess query;
        query.start(QStringLiteral("/usr/bin/python3"), {script});
        const bool finished = query.waitForFinished(20000);
        if (!finished || query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) {
            const QString why = !finished ? query.error() == QProcess::FailedToStart
                                                ? QStringLiteral("it did not start: ") + query.errorString()
                                                : QStringLiteral("it did not answer in 20 s")
                                          : QStringLiteral("exit status %1: ").arg(query.exitCode()) +
                                                QString::fromUtf8(query.readAllStandardError()).trimmed();
            if (query.state() != QProcess::NotRunning) {
                query.kill();
                query.waitForFinished(5000);
            }
            ADD_FAILURE() << "The held-key check could not run: " << qPrintable(why);
            return;
        }
        const QString held = QString::fromUtf8(query.readAllStandardOutput()).trimmed().replace(u'\n', u',');
        if (!held.isEmpty()) ADD_FAILURE() << "Left held down when the test ended: " << qPrintable(held);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    using tarnwick::test::TestEnvironment;
    TestEnvironment::setUp();
    if (!TestEnvironment::integration() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setOrganizationName(QStringLiteral("tarnwick-tests"));
        QApplication::setApplicationName(QStringLiteral("tarnwick"));
        if (TestEnvironment::integration()) ::testing::UnitTest::GetInstance()->listeners().Append(new HeldKeysCheck);
        result = RUN_ALL_TESTS();
    }
    TestEnvironment::tearDown();
    return result;
}
