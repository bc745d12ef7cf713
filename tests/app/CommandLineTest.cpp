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
        {{"tarnwick", "-h", "--bogus"}, false, 2, "", "tarnwick: Unknown option 'bogus'."},
        {{"tarnwick", "--bogus"}, false, 2, "", "Try 'tarnwick --help'"},
        {{"tarnwick", "notes.txt"}, false, 2, "", "tarnwick: unexpected argument 'notes.txt'."},
    };
    for (const Case& c : cases) {
        const CommandLine::Outcome out = CommandLine::parse(c.arguments);
        const std::string label = c.arguments.join(' ').toStdString();
        EXPECT_EQ(out.run, c.run) << label;
        EXPECT_EQ(out.exitCode, c.exitCode) << label;
        // (An empty expectation matches anything, also a null text.)
        EXPECT_TRUE(!*c.output || out.standardOutput.startsWith(QString::fromUtf8(c.output))) << label;
        EXPECT_TRUE(!*c.error || out.standardError.contains(QString::fromUtf8(c.error))) << label;
        EXPECT_EQ(out.standardOutput.isEmpty(), !*c.output) << label;
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
