// Prepares a store and settings for the note-view test as an earlier session would have left them:
// "Groceries" (body "milk", a reminder a few seconds ahead, which opens its window) and "Secret" (body
// "saffron"). With the argument "secret": a reminder on "Secret" a few seconds ahead, for the next launch.
#include <QCoreApplication>
#include <cstdio>

#include "../support/SeederStore.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/Settings.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tarnwick");
    const auto container = tarnwick::test::openSeederStore();
    if (!container) return 1;
    ModelContext& context = container->mainContext();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (argc == 2 && QByteArray(argv[1]) == "secret") {
        auto notes = context.fetch<Note>();
        if (!notes) return 1;
        for (Note* note : *notes)
            if (note->title() == "Secret") note->setReminderDate(now.addSecs(3));
        return context.save() ? 0 : 1;
    }
    Note* groceries = context.insert(
        std::make_unique<Note>("Groceries", "milk", Tint::blue, Opacity::solid, std::nullopt, std::nullopt));
    groceries->setReminderDate(now.addSecs(3));
    groceries->setUpdatedAt(now);
    Note* secret = context.insert(
        std::make_unique<Note>("Secret", "saffron", Tint::rose, Opacity::solid, std::nullopt, std::nullopt));
    secret->setUpdatedAt(now.addSecs(-60));
    Settings settings(std::make_unique<FileSettingsBackend>(FileSettingsBackend::defaultPath()));
    settings.setValue("update.checkAutomatically", false);
    settings.setValue("onboarding.completed", true);
    if (const auto saved = context.save(); !saved) {
        std::fprintf(stderr, "save failed: %s\n", qUtf8Printable(saved.error().description()));
        return 1;
    }
    return 0;
}
