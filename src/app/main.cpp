#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/CommandLine.h"
#include "app/Defaults.h"
#include "app/SingleInstance.h"
#include "app/TarnwickApp.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickType.h"
#include "platform/ApplicationId.h"
#include "platform/BackgroundCall.h"
#include "platform/Clock.h"
#include "platform/DisplayProbe.h"
#include "platform/Log.h"
#include "platform/ProcessHardening.h"
#include "platform/QuitOnSignal.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"

int main(int argc, char** argv)
{
    // Answered before anything else: no display, bus or running instance is involved.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine::Outcome options = CommandLine::parse(arguments);
    if (!options.run) {
        std::fputs(qUtf8Printable(options.standardOutput), stdout);
        std::fputs(qUtf8Printable(options.standardError), stderr);
        return options.exitCode;
    }

    // One filter for our log categories, before anything logs: quiet unless asked for more.
    const QString asked = qEnvironmentVariable("TARNWICK_LOG");
    const std::optional<Log::Verbosity> verbosity = Log::parseVerbosity(asked);
    Log::setVerbosity(options.verbose ? std::max(verbosity.value_or(Log::Verbosity::Quiet), Log::Verbosity::Info)
                                      : verbosity.value_or(Log::Verbosity::Quiet));
    if (!verbosity)
        qCWarning(Log::app, "TARNWICK_LOG=%s is not a level Tarnwick knows (info or debug); it is ignored.",
                  qUtf8Printable(asked));

    // Before anything holds a note or a password.
    ProcessHardening::apply();
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick"));
    QCoreApplication::setOrganizationName(QStringLiteral("tarnwick"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));

    // Before QApplication: a platform plugin that cannot connect would abort the process.
    const Result<QByteArray, QString> platform = DisplayProbe::choosePlatform();
    if (!platform) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(platform.error()));
        return 1;
    }
    if (!platform->isEmpty()) qputenv("QT_QPA_PLATFORM", *platform);

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Before any window: every widget is drawn in the application's own look.
    TarnwickStyle::install(Clock::system());
    QGuiApplication::setDesktopFileName(ApplicationId::name());
    QuitOnSignal::install();

    SingleInstance instance;
    if (instance.claim() == SingleInstance::Claim::AlreadyRunning) {
        if (const auto error = SingleInstance::activateRunning(qEnvironmentVariable("DESKTOP_STARTUP_ID"))) {
            std::fprintf(stderr, "Tarnwick is already running but did not answer: %s\n", qUtf8Printable(*error));
            return 1;
        }
        std::printf("Tarnwick is already running; it was asked to come forward.\n");
        return 0;
    }

    // Settings first, so every service made after this sees the registered defaults.
    Defaults::migrateRenamedKeys(Settings::shared());
    Defaults::registerTable(Settings::shared());
    TarnwickType::registerBundledFonts();

    int status = 0;
    {
        // The store opens (or falls back to memory) and is tidied before any window can show a note.
        AppServices services;

        TarnwickApp tray;
        AppDelegate delegate(services.delegateParts(instance, tray));
        if (delegate.applicationDidFinishLaunching()) status = app.exec();
        // A quit (also by SIGTERM or SIGINT) may come before the autosave's turn. Tried once, while
        // everything lives: what the disk still refuses is lost with the process.
        if (!services.noteStore().saveNow())
            qCWarning(Log::store, "Quit with changes not saved: %s",
                      qUtf8Printable(services.noteStore().saveFailure().value_or(QString())));
    }
    PersistenceController::close();
    // Everything is saved by now. A keyring call still waiting on its own thread (a prompt nobody
    // answered) must not hold up the end of the process.
    if (BackgroundCall::pending() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
