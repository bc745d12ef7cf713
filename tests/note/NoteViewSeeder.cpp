// Prepares an empty store and the settings of a user past onboarding for the note-view test, which
// types its notes itself.
#include <QCoreApplication>

#include "../support/SeederStore.h"
#include "platform/Settings.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tarnwick");
    const auto container = tarnwick::test::openSeederStore();
    if (!container) return 1;
    Settings settings(std::make_unique<FileSettingsBackend>(FileSettingsBackend::defaultPath()));
    settings.setValue("update.checkAutomatically", false);
    settings.setValue("onboarding.completed", true);
    return 0;
}
