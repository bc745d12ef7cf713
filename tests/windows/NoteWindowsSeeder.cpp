// Prepares a store and settings for the note-window test as earlier sessions would have left them.
//   seeder deck      three notes, "Alpha" (its saved frame far off every screen), "Beta" and "Gamma",
//                    with reminders 5, 10 and 15 seconds ahead
//   seeder separate  one window per note from now on, and new reminders on "Alpha" and "Beta"
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
    const QString mode = argc == 2 ? QString::fromUtf8(argv[1]) : QString();
    if (mode != "deck" && mode != "separate") {
        std::fprintf(stderr, "usage: %s deck|separate\n", argv[0]);
        return 2;
    }

    const auto container = tarnwick::test::openSeederStore();
    if (!container) return 1;
    ModelContext& context = container->mainContext();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Settings settings(std::make_unique<FileSettingsBackend>(FileSettingsBackend::defaultPath()));

    if (mode == "deck") {
        int step = 0;
        for (const char* title : {"Alpha", "Beta", "Gamma"}) {
            Note* note = context.insert(std::make_unique<Note>(QString::fromUtf8(title), QStringLiteral("words"),
                                                               Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                                               QDateTime::currentDateTimeUtc()));
            note->setReminderDate(now.addSecs(5 * ++step));
            if (step == 1) note->setFrameOnDesktop(QRectF(-4000, 5000, 500, 400));
        }
        settings.setValue("update.checkAutomatically", false);
        settings.setValue("onboarding.completed", true);
    } else {
        auto notes = context.fetch<Note>();
        if (!notes) return 1;
        for (Note* note : *notes) {
            if (note->title() == "Alpha") note->setReminderDate(now.addSecs(5));
            if (note->title() == "Beta") note->setReminderDate(now.addSecs(10));
        }
        settings.setValue("notes.oneAtATime", false);
    }
    if (const auto saved = context.save(); !saved) {
        std::fprintf(stderr, "save failed: %s\n", qUtf8Printable(saved.error().description()));
        return 1;
    }
    return 0;
}
