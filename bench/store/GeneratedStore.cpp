#include "GeneratedStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include <QBuffer>
#include <QImage>

#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
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

// A store as a long-used one looks: block bodies of a few paragraphs, tags, one note in a hundred with
// a picture, one in twenty in the bin (a few of those past their 30 days). Made once per size.
QString generatedNoteStore(int count)
{
    return generatedStore(QStringLiteral("notestore-%1").arg(count), [count](ModelContext& context) {
        NoteStore store(context, Clock::system(), generatorSettings());
        const QString paragraph =
            QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ").repeated(4);
        const QByteArray bytes = picture();
        const QDateTime start = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < count; ++i) {
            Note* note = context.insert(std::make_unique<Note>(QStringLiteral("Note number %1").arg(i), QString(),
                                                               Tint::blue, Opacity::solid, std::nullopt, std::nullopt));
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
        }
    });
}
