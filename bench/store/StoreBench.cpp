// Opening and fetching generated stores of 10,000 and 100,000 notes, and the cost of saving one
// edited note next to a bare one-row SQLite commit on the same disk.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>

#include "GeneratedStore.h"
#include "model/Note.h"
#include "platform/ModelContainer.h"
#include "store/TarnwickSchemaV2.h"

#include "BenchMain.h"

namespace {

const EntityDescription& noteEntity()
{
    return *TarnwickSchemaV2::schema().entity(QStringLiteral("Note"));
}
int attr(const char* name)
{
    return noteEntity().indexOf(QString::fromLatin1(name));
}

// A store of `count` notes with bodies, block data and tags of a plausible size, made once.
QString generatedRowStore(int count)
{
    return generatedStore(QStringLiteral("notes-%1").arg(count), [count](ModelContext& context) {
        const QString body = QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ").repeated(8);
        const QByteArray blocks =
            QByteArray("{\"blocks\":[{\"kind\":\"text\",\"runs\":[]}],\"version\":1}").repeated(20);
        const QDateTime start = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        for (int i = 0; i < count; ++i) {
            ManagedObject* note = noteEntity().make();
            context.insert(note);
            note->setValue(attr("title"), QStringLiteral("Note number %1").arg(i));
            note->setValue(attr("body"), body);
            note->setValue(attr("bodyBlocksData"), blocks);
            note->setValue(attr("tags"), QStringList{QStringLiteral("work"), QStringLiteral("tag%1").arg(i % 50)});
            note->setValue(attr("updatedAt"), start.addSecs(i * 37 % count));
            note->setValue(attr("isTrashed"), i % 20 == 0);
        }
    });
}

void BM_OpenAndFetchAllActive(benchmark::State& state)
{
    const QString path = generatedRowStore(int(state.range(0)));
    const int trashed = attr("isTrashed");
    const int updated = attr("updatedAt");
    for (auto _ : state) {
        auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path)).value();
        auto notes = container->mainContext().fetch(
            noteEntity(), {[trashed](const ManagedObject& n) { return !n.value(trashed).toBool(); },
                           {{updated, false}},
                           std::nullopt});
        benchmark::DoNotOptimize(notes->size());
        state.PauseTiming();
        container.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenAndFetchAllActive)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FetchAllActiveFromMemory(benchmark::State& state)
{
    auto container =
        std::move(ModelContainer::open(TarnwickSchemaV2::schema(), generatedRowStore(int(state.range(0))))).value();
    const int trashed = attr("isTrashed");
    const int updated = attr("updatedAt");
    ModelContext& context = container->mainContext();
    FetchRequest request{
        [trashed](const ManagedObject& n) { return !n.value(trashed).toBool(); }, {{updated, false}}, std::nullopt};
    context.fetch(noteEntity(), request);
    for (auto _ : state) benchmark::DoNotOptimize(context.fetch(noteEntity(), request)->size());
}
BENCHMARK(BM_FetchAllActiveFromMemory)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SaveOneEditedNote(benchmark::State& state)
{
    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), generatedRowStore(10000))).value();
    ModelContext& context = container->mainContext();
    context.setAutosaveEnabled(false);
    auto notes = std::move(context.fetch(noteEntity())).value();
    const int title = attr("title");
    const int updated = attr("updatedAt");
    qint64 n = 0;
    for (auto _ : state) {
        ManagedObject* note = notes[int(n % notes.size())];
        note->setValue(title, QStringLiteral("Edited %1").arg(++n));
        note->setValue(updated, QDateTime::fromMSecsSinceEpoch(1700000000000 + n, Qt::UTC));
        if (!context.save()) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveOneEditedNote)->Unit(benchmark::kMicrosecond);

// The floor: one UPDATE of one row in its own transaction, WAL, synchronous=FULL, same disk.
void BM_BareSqliteOneRowCommit(benchmark::State& state)
{
    const QString path = benchPath(QStringLiteral("bare.db"));
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                 "CREATE TABLE IF NOT EXISTS t (id INTEGER PRIMARY KEY, title TEXT, updatedAt REAL);"
                 "INSERT INTO t (title, updatedAt) SELECT 'x', 0 FROM (SELECT 1) WHERE NOT EXISTS (SELECT 1 FROM t);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db, "UPDATE t SET title = ?, updatedAt = ? WHERE id = 1", -1, &update, nullptr);
    qint64 n = 0;
    for (auto _ : state) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        const QByteArray title = QByteArray("Edited ") + QByteArray::number(++n);
        sqlite3_bind_text(update, 1, title.constData(), int(title.size()), SQLITE_TRANSIENT);
        sqlite3_bind_double(update, 2, double(n));
        sqlite3_step(update);
        sqlite3_reset(update);
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) state.SkipWithError("commit failed");
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
}
BENCHMARK(BM_BareSqliteOneRowCommit)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
