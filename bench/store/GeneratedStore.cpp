#include "GeneratedStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include <QBuffer>
#include <QImage>

#include "model/Capture.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

QString benchPath(const QString& name)
{
    static QTemporaryDir temporary;
    const QString chosen = qEnvironmentVariable("TARNWICK_BENCH_DIR");
    return (chosen.isEmpty() ? temporary.path() : chosen) + QLatin1Char('/') + name;
}

QString generatedStore(const QString& name, const std::function<void(ModelContext&)>& fill)
{
    static std::map<QString, QString> made;
    if (auto it = made.find(name); it != made.end()) return it->second;
    const QString dir = benchPath(name);
    const QString path = dir + QStringLiteral("/default.store");
    made[name] = path;
    if (QFile::exists(path)) return path;
    QDir().mkpath(dir);
    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path)).value();
    ModelContext& context = container->mainContext();
    context.setAutosaveEnabled(false);
    fill(context);
    if (!context.save()) qFatal("generating the store failed");
    return path;
}

namespace {
Settings& generatorSettings()
{
    static Settings settings(std::make_unique<MemorySettingsBackend>());
    return settings;
}
}  // namespace

static QByteArray picture()
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A store as a long-used one looks: block bodies of about 1 KB with a few accented words, tags, one
// note in a hundred with a picture, one in twenty in the bin (a few of those past their 30 days); with
// `captures`, as many captures of about 1 KB. Made once per size.
QString generatedNoteStore(int count, bool captures)
{
    const QString name = QStringLiteral("notestore-1k-%1%2").arg(count).arg(captures ? "-captures" : "");
    return generatedStore(name, [count, captures](ModelContext& context) {
        NoteStore store(context, Clock::system(), generatorSettings(), NotificationCenter::shared());
        const QString paragraph = QStringLiteral(
            "Lorem ipsum dolor sit amet, consectetur adipiscing elit. Grüße aus Köln, café crème à la façade. "
            "Sed do eiusmod tempor incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis "
            "nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat. Duis aute irure dolor "
            "in reprehenderit in voluptate velit esse cillum dolore eu fugiat nulla pariatur, naïve über alles. "
            "Excepteur sint occaecat cupidatat non proident, sunt in culpa qui officia deserunt mollit anim. ");
        const QByteArray bytes = picture();
        const QDateTime start = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < count; ++i) {
            Note* note = context.insert(std::make_unique<Note>(QStringLiteral("Note number %1").arg(i), QString(),
                                                               Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                                               QDateTime::currentDateTimeUtc()));
            QVector<NoteBlock> blocks{NoteBlock::text(TextRuns{paragraph + QString::number(i), {}}),
                                      NoteBlock::text(TextRuns{paragraph, {}})};
            if (i % 100 == 0) {
                QHash<QString, NoteImage*> reuse;
                NoteImage* row = store.insertImageRow(bytes, note->uuid(), reuse);
                blocks.insert(1, NoteBlock::image(ImagePlacement{row->uuid(), ImageSizing()}));
            }
            note->setBlocks(NoteBlockMigration::mergingAdjacentText(blocks));
            note->setTags({QStringLiteral("work"), QStringLiteral("tag%1").arg(i % 50)});
            note->setUpdatedAt(start.addSecs(i * 37 % count));
            if (i % 20 == 0) {
                note->setIsTrashed(true);
                note->setDeletedAt(now.addDays(i % 1000 == 0 ? -40 : -3));
            }
            if (captures) {
                Capture* capture = context.insert(std::make_unique<Capture>(
                    paragraph + paragraph.left(500) + QString::number(i), QStringLiteral("Browser"),
                    QStringLiteral("firefox"), QUrl(QStringLiteral("https://example.org/%1").arg(i)),
                    QStringLiteral("Page %1").arg(i), std::nullopt, QDateTime::currentDateTimeUtc()));
                capture->setCreatedAt(start.addSecs(i * 41 % count));
            }
        }
    });
}
