// Test entry: throw-away HOME/XDG directories, then a QApplication, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>

#include "TestEnvironment.h"

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
        result = RUN_ALL_TESTS();
    }
    TestEnvironment::tearDown();
    return result;
}
