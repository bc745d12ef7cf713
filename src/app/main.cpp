#include <QApplication>
#include <cstdio>

#include "app/AppServices.h"
#include "app/Defaults.h"
#include "app/SingleInstance.h"
#include "app/TarnwickApp.h"
#include "design/TarnwickType.h"
#include "platform/DisplayProbe.h"
#include "platform/ProcessHardening.h"
#include "platform/QuitOnSignal.h"

int main(int argc, char** argv)
{
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
    QuitOnSignal::install();

    SingleInstance instance;
    if (instance.claim() == SingleInstance::Claim::AlreadyRunning) {
        if (const auto error = SingleInstance::activateRunning()) {
            std::fprintf(stderr, "Tarnwick is already running but did not answer: %s\n", qUtf8Printable(*error));
            return 1;
        }
        std::printf("Tarnwick is already running; it was asked to come forward.\n");
        return 0;
    }

    // Settings first, so every service made after this sees the registered defaults.
    Defaults::migrateRenamedKeys();
    Defaults::registerTable();
    TarnwickType::registerBundledFonts();

    // The store opens (or falls back to memory) and is tidied before any window can show a note.
    AppServices services;

    TarnwickApp shell(instance, services);
    return app.exec();
}
