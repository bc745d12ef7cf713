// The note store over generated stores of 10,000 and 100,000 notes: a launch (opening plus the start-up
// housekeeping), saveNow() of one edited note, and allActive().
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QFile>
#include <QImage>

#include "GeneratedStore.h"
#include "app/AppServices.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

namespace {

Settings& memorySettings()
{
    static Settings settings(std::make_unique<MemorySettingsBackend>());
    return settings;
}

QByteArray picture()
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
        NoteStore store(context, Clock::system(), memorySettings());
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

// Every iteration launches on a fresh copy of the generated store, so each does the same work.
void BM_LaunchWithHousekeeping(benchmark::State& state)
{
    const QString source = generatedNoteStore(int(state.range(0)));
    const QString work = benchPath(QStringLiteral("launch-%1.store").arg(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(work);
        QFile::copy(source, work);
        state.ResumeTiming();
        auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), work)).value();
        {
            NoteStore store(container->mainContext(), Clock::system(), memorySettings());
            AppServices::runStartupHousekeeping(store, Clock::system());
            benchmark::DoNotOptimize(store.revision());
        }
        state.PauseTiming();
        container.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LaunchWithHousekeeping)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

// Compare with BM_BareSqliteOneRowCommit: the same disk, one row in one transaction.
void BM_NoteStoreSaveNowOneEditedNote(benchmark::State& state)
{
    const QString work = benchPath(QStringLiteral("save.store"));
    QFile::remove(work);
    QFile::copy(generatedNoteStore(10000), work);
    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), work)).value();
    NoteStore store(container->mainContext(), Clock::system(), memorySettings());
    const QList<Note*> notes = store.allActive();
    qint64 n = 0;
    for (auto _ : state) {
        Note* note = notes[int(n % notes.size())];
        note->setTitle(QStringLiteral("Edited %1").arg(++n));
        note->setUpdatedAt(QDateTime::fromMSecsSinceEpoch(1700000000000 + n, Qt::UTC));
        store.saveNow();
    }
    if (container->mainContext().hasChanges()) state.SkipWithError("a save failed");
}
BENCHMARK(BM_NoteStoreSaveNowOneEditedNote)->Unit(benchmark::kMicrosecond);

void BM_NoteStoreAllActive(benchmark::State& state)
{
    auto container =
        std::move(ModelContainer::open(TarnwickSchemaV2::schema(), generatedNoteStore(int(state.range(0))))).value();
    NoteStore store(container->mainContext(), Clock::system(), memorySettings());
    store.allActive();
    for (auto _ : state) benchmark::DoNotOptimize(store.allActive().size());
}
BENCHMARK(BM_NoteStoreAllActive)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
