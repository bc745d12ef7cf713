// The deck of the note windows over stores of 10,000 and 100,000 notes with open stacks of 50 and 500:
// deck() after a save, beside one plain pass over all notes (what any walk of the notes costs); and one
// swipe scroll event at 100 and at 100,000 notes.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <map>
#include <memory>

#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"
#include "windows/DeckModel.h"
#include "windows/FloatingNotesManager.h"
#include "windows/SwipeTracker.h"

#include "BenchMain.h"

namespace {

// A clock that moves 10 ms per scroll event; nothing is ever scheduled to run.
class StepClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(m_ms, Qt::UTC); }
    qint64 elapsedMs() const override { return m_ms; }
    TimerHandle after(qint64, QObject*, std::function<void()>) override { return {}; }
    void step() { m_ms += 10; }

private:
    qint64 m_ms = 1'000'000;
};

// A window without a screen: the deck's and the swipe's work without any drawing.
class BenchWindow : public NoteWindow, public SwipeHost {
public:
    BenchWindow(Note& note, NoteStore& store) : m_id(note.uuid()), m_store(store) {}
    QUuid noteID() const override { return m_id; }
    void setManager(FloatingNotesManager* manager) override { m_manager = manager; }
    void show() override {}
    void present(const QUuid& id, int, bool) override { m_id = id; }
    void orderOut() override {}
    void applyOpacity(double) override {}
    QRectF frame() const override { return {100, 100, 360, 280}; }
    QRectF restingFrame() const override { return frame(); }
    void moveForRescue(const QRectF&, std::function<void()>) override {}
    void retire() override { delete this; }

    bool swipesEnabled() const override { return true; }
    QUuid currentNoteID() const override { return m_id; }
    double windowWidth() const override { return 360; }
    QList<QUuid> deck() override { return m_manager->deck(); }
    Note* note(const QUuid& id) override { return m_store.note(id); }
    qint64 storeRevision() const override { return m_store.revision(); }
    QColor newNotePaper() override { return Qt::white; }
    void animateDragOffset(double, double, std::function<void()>) override {}
    void moveToNote(const QUuid&, int) override {}
    void commitNewNote() override {}

private:
    QUuid m_id;
    NoteStore& m_store;
    FloatingNotesManager* m_manager = nullptr;
};

Settings& memorySettings()
{
    static Settings settings(std::make_unique<MemorySettingsBackend>());
    return settings;
}

// A store in memory with `count` notes, one in twenty in the bin, and a manager that has shown the
// `stacked` most recent ones (one window, in the one-note-at-a-time mode).
struct Fixture {
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    std::unique_ptr<FloatingNotesManager> manager;
    BenchWindow* window = nullptr;
    QList<Note*> notes;

    Fixture(int count, int stacked)
    {
        container = std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value();
        ModelContext& context = container->mainContext();
        for (int i = 0; i < count; ++i) {
            Note* note = context.insert(
                std::make_unique<Note>(QStringLiteral("Note %1").arg(i), QStringLiteral("a few words"), Tint::blue,
                                       Opacity::solid, std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
            if (i % 20 == 19) note->setIsTrashed(true);
            notes.append(note);
        }
        store = std::make_unique<NoteStore>(context, Clock::system(), memorySettings(), NotificationCenter::shared());
        store->saveNow();
        manager = std::make_unique<FloatingNotesManager>(*store, memorySettings(), [this](Note& note) {
            auto made = std::make_unique<BenchWindow>(note, *store);
            window = made.get();
            return std::unique_ptr<NoteWindow>(std::move(made));
        });
        for (int i = 0; i < stacked; ++i) manager->show(notes.at(i * 2)->uuid());
    }

    static Fixture& shared(int count, int stacked)
    {
        static std::map<std::pair<int, int>, std::unique_ptr<Fixture>> made;
        auto& slot = made[{count, stacked}];
        if (!slot) slot = std::make_unique<Fixture>(count, stacked);
        return *slot;
    }
};

void BM_DeckAfterSave(benchmark::State& state)
{
    Fixture& f = Fixture::shared(int(state.range(0)), int(state.range(1)));
    int edit = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.notes.at(1)->setTitle(QStringLiteral("Edited %1").arg(++edit));
        f.store->saveNow();
        state.ResumeTiming();
        benchmark::DoNotOptimize(f.manager->deck());
    }
}
BENCHMARK(BM_DeckAfterSave)
    ->Args({10'000, 50})
    ->Args({10'000, 500})
    ->Args({100'000, 50})
    ->Args({100'000, 500})
    ->Unit(benchmark::kMicrosecond);

// The floor: one walk over every note, reading what the deck reads of each.
void BM_PlainPassOverAllNotes(benchmark::State& state)
{
    Fixture& f = Fixture::shared(int(state.range(0)), 50);
    for (auto _ : state) {
        qsizetype live = 0;
        const auto all = f.store->context().fetch<Note>();
        for (const Note* note : *all) live += note->uuid().isNull() || note->isTrashed() ? 0 : 1;
        benchmark::DoNotOptimize(live);
    }
}
BENCHMARK(BM_PlainPassOverAllNotes)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_SwipeScrollEvent(benchmark::State& state)
{
    Fixture& f = Fixture::shared(int(state.range(0)), 50);
    f.manager->show(f.notes.at(20)->uuid());
    StepClock clock;
    DeckModel model(f.notes.at(20));
    SwipeTracker tracker(*f.window, model, clock);
    int n = 0;
    for (auto _ : state) {
        clock.step();
        // Back and forth, so the card stays near its neighbour.
        const double dx = (++n / 20) % 2 ? 2.0 : -2.0;
        benchmark::DoNotOptimize(
            tracker.handleScroll(true, dx, 0, SwipeTracker::EventPhase::changed, SwipeTracker::EventPhase::none, true));
    }
}
BENCHMARK(BM_SwipeScrollEvent)->Arg(100)->Arg(100'000)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
