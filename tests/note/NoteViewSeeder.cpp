// Prepares an empty store and the settings of a user past onboarding for the note-view test, which
// types its notes itself.
#include <QCoreApplication>
#include <cstdio>

#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "store/PersistenceController.h"
#include "store/StoreMigration.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tarnwick");
    auto opened = PersistenceController::open(StoreMigration::currentDirectory(), std::nullopt, Clock::system());
    if (opened.failure) {
        std::fprintf(stderr, "store did not open: %s\n", qUtf8Printable(*opened.failure));
        return 1;
    }
    Settings settings(std::make_unique<FileSettingsBackend>(FileSettingsBackend::defaultPath()));
    settings.setValue("update.checkAutomatically", false);
    settings.setValue("onboarding.completed", true);
    return 0;
}
