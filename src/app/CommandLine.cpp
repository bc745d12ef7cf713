#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace {

// Options QApplication takes for itself; they pass through untouched.
const char* const kToolkitOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin",          "display",      "name",
    "style",    "stylesheet",         "session",       "qwindowgeometry", "qwindowtitle", "qwindowicon"};
const char* const kToolkitFlags[] = {"reverse", "nograb", "dograb", "sync", "widgetcount"};

// Every refusal reads the same way: what was wrong, then where to look.
QString refusal(const QString& problem)
{
    return QStringLiteral("tarnwick: ") + problem + QStringLiteral("\nTry 'tarnwick --help'.\n");
}

// An unknown option as it was typed ("--frobnicate", "-x"), without any "=value".
QString typedOption(const QStringList& arguments, const QString& name)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--")) break;
        if (!argument.startsWith(QLatin1Char('-'))) continue;
        const QString typed = argument.section(QLatin1Char('='), 0, 0);
        qsizetype dashes = 0;
        while (dashes < typed.size() && typed[dashes] == QLatin1Char('-')) ++dashes;
        if (typed.mid(dashes) == name) return typed;
    }
    return QStringLiteral("--") + name;
}

}  // namespace

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Usage: tarnwick [options]\n"
        "Short private notes that float above your windows, and capture of selected text.\n"
        "Tarnwick lives in the system tray; starting it again brings the running one forward.\n"
        "\n"
        "Options:\n"
        "  -h, --help     Show this help and exit.\n"
        "  -v, --version  Show the version and exit.\n"
        "  --verbose      Also print informational lines (as TARNWICK_LOG=info does).\n");
}

CommandLine::Outcome CommandLine::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    // "-platform xcb" is one option, as QApplication reads it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption verbose(QStringLiteral("verbose"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(verbose);
    for (const char* name : kToolkitOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), {}, QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kToolkitFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return {false,
                    2,
                    {},
                    refusal(QStringLiteral("unknown option '%1'").arg(typedOption(arguments, unknown.first())))};
        // Other mistakes (a value missing after an option) in the same form as ours.
        QString problem = parser.errorText();
        if (problem.endsWith(QLatin1Char('.'))) problem.chop(1);
        if (!problem.isEmpty()) problem[0] = problem[0].toLower();
        return {false, 2, {}, refusal(problem)};
    }
    if (parser.isSet(help)) return {false, 0, helpText(), {}};
    if (parser.isSet(version)) return {false, 0, QStringLiteral("tarnwick " TARNWICK_VERSION "\n"), {}};
    if (!parser.positionalArguments().isEmpty())
        return {false,
                2,
                {},
                refusal(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()))};
    Outcome run;
    run.verbose = parser.isSet(verbose);
    return run;
}
