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
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

namespace {

Settings& memorySettings()
{
    static Settings settings(std::make_unique<MemorySettingsBackend>());
    return settings;
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
            NoteStore store(container->mainContext(), Clock::system(), memorySettings(), NotificationCenter::shared());
            store.startBodyCheck();
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
    NoteStore store(container->mainContext(), Clock::system(), memorySettings(), NotificationCenter::shared());
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
    NoteStore store(container->mainContext(), Clock::system(), memorySettings(), NotificationCenter::shared());
    store.allActive();
    for (auto _ : state) benchmark::DoNotOptimize(store.allActive().size());
}
BENCHMARK(BM_NoteStoreAllActive)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
