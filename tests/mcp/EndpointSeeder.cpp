// Prepares a store and settings for the black-box endpoint test, as a user's earlier sessions would
// have left them: a few notes (one pinned, one locked, one in the bin), the endpoint switched on with
// writing allowed, and the test's client already approved. Writes what it made as JSON to argv[1].
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "../support/SeederStore.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/Settings.h"

namespace {

QString idOf(const Note& note)
{
    return note.uuid().toString(QUuid::WithoutBraces).toUpper();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tarnwick");
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MANIFEST.json CLIENT-NAME\n", argv[0]);
        return 2;
    }
    const QString clientName = QString::fromUtf8(argv[2]);

    const auto container = tarnwick::test::openSeederStore();
    if (!container) return 1;
    ModelContext& context = container->mainContext();
    const QDateTime base = QDateTime::fromSecsSinceEpoch(1'750'000'000, Qt::UTC);
    auto make = [&](const QString& title, const QString& body, int minutes) {
        Note* note = context.insert(std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt,
                                                           std::nullopt, QDateTime::currentDateTimeUtc()));
        note->setCreatedAt(base);
        note->setUpdatedAt(base.addSecs(minutes * 60));
        return note;
    };

    Note* crossing = make("Zebra crossing", "The zebra crossing by the station\nneeds new paint.", 30);
    crossing->setTags({"town", "errands"});
    crossing->setIsPinned(true);
    Note* groceries = make("Groceries", "milk, eggs, rye bread", 20);
    // The worst case for a private note: its plain title and body are still in the row beside the
    // sealed copy, so only the lock flag keeps them in.
    Note* locked = make("Vault zebra combination", "zebra 4417 left twice", 40);
    locked->setIsLocked(true);
    locked->setIsPinned(true);
    locked->setLockedCipher(QByteArray("sealed-payload"));
    Note* binned = make("Zebra draft in the bin", "zebra binned words", 50);
    binned->setIsTrashed(true);
    binned->setDeletedAt(base.addSecs(3600));

    if (const auto saved = context.save(); !saved) {
        std::fprintf(stderr, "save failed: %s\n", qUtf8Printable(saved.error().description()));
        return 1;
    }

    Settings settings(std::make_unique<FileSettingsBackend>(FileSettingsBackend::defaultPath()));
    settings.setValue("mcp.enabled", true);
    // No update check: the test machine sends nothing off itself.
    settings.setValue("update.checkAutomatically", false);
    settings.setValue("mcp.readOnly", false);
    settings.setValue("mcp.approvedClients", QStringList{clientName});
    // No first-run tour in front of the test.
    settings.setValue("onboarding.completed", true);

    const QJsonObject manifest{
        {"visible", QJsonArray{QJsonObject{{"id", idOf(*crossing)}, {"title", crossing->title()}},
                               QJsonObject{{"id", idOf(*groceries)}, {"title", groceries->title()}}}},
        {"pinnedID", idOf(*crossing)},
        {"lockedID", idOf(*locked)},
        {"binnedID", idOf(*binned)},
        // Texts of the locked and binned notes that must never appear in any answer.
        {"hidden", QJsonArray{"Vault", "4417", "binned words", "draft in the bin", idOf(*locked), idOf(*binned)}},
    };
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(manifest).toJson()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
