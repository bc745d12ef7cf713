#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace {

// Options QApplication takes for itself; they pass through untouched.
const char* const kToolkitOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin",          "display",      "name",
    "style",    "stylesheet",         "session",       "qwindowgeometry", "qwindowtitle", "qwindowicon"};
const char* const kToolkitFlags[] = {"reverse", "nograb", "dograb", "sync", "widgetcount"};

QString tryHelp()
{
    return QStringLiteral("Try 'tarnwick --help' for more information.\n");
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
        "  -v, --version  Show the version and exit.\n");
}

CommandLine::Outcome CommandLine::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    // "-platform xcb" is one option, as QApplication reads it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
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

    if (!parser.parse(arguments))
        return {false, 2, {}, QStringLiteral("tarnwick: ") + parser.errorText() + u'\n' + tryHelp()};
    if (parser.isSet(help)) return {false, 0, helpText(), {}};
    if (parser.isSet(version)) return {false, 0, QStringLiteral("tarnwick " TARNWICK_VERSION "\n"), {}};
    if (!parser.positionalArguments().isEmpty())
        return {false,
                2,
                {},
                QStringLiteral("tarnwick: unexpected argument '%1'.\n").arg(parser.positionalArguments().first()) +
                    tryHelp()};
    return {};
}
