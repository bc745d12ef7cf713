// Prepares an empty store and the settings of a user past onboarding for the note-view test, which
// types its notes itself. Pairs of arguments add rows to the store: "note TITLE", "binned TITLE" (in
// the bin, the first binned most recently), "capture TEXT", or "reminder YYYY-MM-DDTHH:MM" (local time,
// on the note added last).
#include <QCoreApplication>
#include <QDateTime>

#include "../support/SeederStore.h"
#include "model/Capture.h"
#include "model/Note.h"
#include "platform/Settings.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tarnwick");
    const auto container = tarnwick::test::openSeederStore();
    if (!container) return 1;
    ModelContext& context = container->mainContext();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Note* last = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray kind(argv[i]);
        const QString text = QString::fromUtf8(argv[i + 1]);
        const QDateTime at = now.addSecs(-i);
        if (kind == "reminder") {
            const QDateTime date = QDateTime::fromString(text, Qt::ISODate);
            if (!last || !date.isValid()) return 1;
            last->setReminderDate(date);
            continue;
        }
        if (kind == "capture") {
            context.insert(std::make_unique<Capture>(text, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                                     std::nullopt, at));
            continue;
        }
        auto note = std::make_unique<Note>(text, QString(), Tint::blue, Opacity::solid, std::nullopt, std::nullopt, at);
        if (kind == "binned") {
            note->setIsTrashed(true);
            note->setDeletedAt(at);
        }
        last = note.get();
        context.insert(std::move(note));
    }
    if (!context.save()) return 1;
    Settings settings(std::make_unique<FileSettingsBackend>(FileSettingsBackend::defaultPath()));
    settings.setValue("update.checkAutomatically", false);
    settings.setValue("onboarding.completed", true);
    return 0;
}
