#include <gtest/gtest.h>

#include <QProcess>

#include "app/CommandLine.h"

TEST(CommandLine, AnswersHelpAndVersionAndRefusesWhatItDoesNotKnow)
{
    struct Case {
        QStringList arguments;
        bool run;
        int exitCode;
        const char* output;
        const char* error;
    };
    const Case cases[] = {
        {{"tarnwick"}, true, 0, "", ""},
        {{"tarnwick", "-platform", "xcb"}, true, 0, "", ""},  // the toolkit's own options pass
        {{"tarnwick", "--version"}, false, 0, "tarnwick " TARNWICK_VERSION "\n", ""},
        {{"tarnwick", "-v"}, false, 0, "tarnwick " TARNWICK_VERSION "\n", ""},
        {{"tarnwick", "--help"}, false, 0, "Usage: tarnwick [options]", ""},
        {{"tarnwick", "-h", "--bogus"}, false, 2, "", "tarnwick: unknown option '--bogus'\nTry 'tarnwick --help'.\n"},
        {{"tarnwick", "--frobnicate=3"},
         false,
         2,
         "",
         "tarnwick: unknown option '--frobnicate'\nTry 'tarnwick --help'.\n"},
        {{"tarnwick", "-x"}, false, 2, "", "tarnwick: unknown option '-x'\nTry 'tarnwick --help'.\n"},
        {{"tarnwick", "extra"}, false, 2, "", "tarnwick: unexpected argument 'extra'\nTry 'tarnwick --help'.\n"},
        {{"tarnwick", "-platform"},
         false,
         2,
         "",
         "tarnwick: missing value after '-platform'\nTry 'tarnwick --help'.\n"},
        {{"tarnwick", "--verbose"}, true, 0, "", ""},
    };
    for (const Case& c : cases) {
        const CommandLine::Outcome out = CommandLine::parse(c.arguments);
        const std::string label = c.arguments.join(' ').toStdString();
        EXPECT_EQ(out.run, c.run) << label;
        EXPECT_EQ(out.exitCode, c.exitCode) << label;
        // (An empty expectation matches anything, also a null text.)
        EXPECT_TRUE(!*c.output || out.standardOutput.startsWith(QString::fromUtf8(c.output))) << label;
        // Every refusal has the same two lines.
        EXPECT_TRUE(!*c.error || out.standardError == QString::fromUtf8(c.error)) << label;
        EXPECT_EQ(out.standardOutput.isEmpty(), !*c.output) << label;
        EXPECT_EQ(out.verbose, c.arguments.contains("--verbose")) << label;
    }
}

// The real program answers before it looks for a display or a running instance.
TEST(CommandLine, ProgramAnswersWithoutADisplay)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    for (const auto& [argument, status] : {std::pair{"--version", 0}, {"--help", 0}, {"--nonsense", 2}}) {
        program.start(QStringLiteral(TARNWICK_EXECUTABLE), {QString::fromLatin1(argument)});
        ASSERT_TRUE(program.waitForFinished(10000)) << argument;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << argument;
        EXPECT_EQ(program.exitCode(), status) << argument << program.readAllStandardError().toStdString();
    }
}

// A TARNWICK_LOG value the program does not know is ignored, with one warning; a known one is quiet.
TEST(CommandLine, UnknownLogLevelIsIgnoredWithOneWarning)
{
    for (const auto& [level, warned] : {std::pair{"loud", true}, {"Info", false}, {"", false}}) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES"})
            env.remove(QString::fromLatin1(name));
        env.insert("TARNWICK_LOG", level);
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        ASSERT_TRUE(program.waitForFinished(10000)) << level;
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(errors.count(QStringLiteral("is not a level Tarnwick knows")), warned ? 1 : 0)
            << level << errors.toStdString();
    }
}
