// Test entry: throw-away HOME/XDG directories, then a QApplication, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <cstdio>

#include "TestEnvironment.h"

namespace {

// In the desktop session, a key or button left down by one test would be typed into every test after it
// by the server's autorepeat: each test is looked at as it ends, so the one that left it is named. (The
// session itself fails the run for it too.)
class HeldKeysCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        QProcess query;
        query.start(QStringLiteral("/usr/bin/python3"),
                    {qEnvironmentVariable("TARNWICK_SOURCE_DIR") + QStringLiteral("/scripts/held-keys.py")});
        if (!query.waitForFinished(10000)) return;
        const QString held = QString::fromUtf8(query.readAllStandardOutput()).trimmed().replace(u'\n', u',');
        if (held.isEmpty()) return;
        std::fprintf(stderr, "FAIL: %s.%s left held down: %s\n", test.test_suite_name(), test.name(), qPrintable(held));
        failed = true;
    }
    bool failed = false;
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
        HeldKeysCheck* held = nullptr;
        if (TestEnvironment::integration() && !qEnvironmentVariableIsEmpty("TARNWICK_SOURCE_DIR"))
            ::testing::UnitTest::GetInstance()->listeners().Append(held = new HeldKeysCheck);
        result = RUN_ALL_TESTS();
        if (held && held->failed && result == 0) result = 1;
    }
    TestEnvironment::tearDown();
    return result;
}
