// A launch over generated stores of 10,000 and 100,000 notes (one in a hundred with a reminder): the
// services made in their order with the store's housekeeping, then the launch sequence with the
// reminders' rescheduling. Compare with BM_LaunchWithHousekeeping, the housekeeping alone on the same
// stores in the same run; and the rescheduling (with reminders missed while off) with allActive().
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "../store/GeneratedStore.h"
#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/ReminderScheduler.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/DesktopNotifications.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

#include "BenchMain.h"

namespace {

const QDateTime kNow = QDateTime::currentDateTimeUtc();

// Notes with two paragraphs; one in a hundred has a reminder, half of those in the past hour (missed
// while off) and half within the next day; one in twenty is in the bin.
QString generatedReminderStore(int count)
{
    return generatedStore(QStringLiteral("reminders-%1").arg(count), [count](ModelContext& context) {
        const QString paragraph =
            QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ").repeated(4);
        for (int i = 0; i < count; ++i) {
            Note* note = context.insert(std::make_unique<Note>(
                QStringLiteral("Note number %1").arg(i), paragraph + QString::number(i), Tint::blue, Opacity::solid,
                std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
            note->setBlocks({NoteBlock::text(TextRuns{paragraph + QString::number(i), {}})});
            note->setUpdatedAt(kNow.addSecs(-(i * 37 % count)));
            if (i % 100 == 0) note->setReminderDate(kNow.addSecs(i % 200 == 0 ? -(i % 3000) - 1 : 60 + i % 86400));
            if (i % 20 == 5) {
                note->setIsTrashed(true);
                note->setDeletedAt(kNow.addDays(-3));
            }
        }
    });
}

// Counts what would be shown.
class CountingNotifications : public DesktopNotifications {
public:
    bool isAvailable() override { return true; }
    void show(const QString&, const QString&, Shown shown) override
    {
        shown(Result<quint32, QString>::success(++count));
    }
    quint32 count = 0;
};

// A fresh copy of the store per iteration, so each does the same work.
std::unique_ptr<ModelContainer> freshCopy(const QString& source, const QString& name, benchmark::State& state)
{
    state.PauseTiming();
    const QString work = benchPath(name);
    QFile::remove(work);
    QFile::copy(source, work);
    Settings::shared().remove(ReminderScheduler::kHandledThroughKey);
    Settings::shared().setValue(ReminderScheduler::kHandledThroughKey, kNow.addSecs(-7200));
    state.ResumeTiming();
    return std::move(ModelContainer::open(TarnwickSchemaV2::schema(), work)).value();
}

void BM_LaunchWithHousekeeping(benchmark::State& state)
{
    const QString source = generatedReminderStore(int(state.range(0)));
    for (auto _ : state) {
        auto container = freshCopy(source, QStringLiteral("housekeeping.store"), state);
        {
            NoteStore store(container->mainContext(), Clock::system(), Settings::shared(),
                            NotificationCenter::shared());
            AppServices::runStartupHousekeeping(store, Clock::system());
            benchmark::DoNotOptimize(store.revision());
        }
        state.PauseTiming();
        container.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LaunchWithHousekeeping)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AppServicesAndLaunchSequence(benchmark::State& state)
{
    const QString source = generatedReminderStore(int(state.range(0)));
    for (auto _ : state) {
        auto container = freshCopy(source, QStringLiteral("launch.store"), state);
        {
            AppServices services(*container);
            AppDelegate::Parts parts{services.noteStore(), services.reminders(), services.unlockSession(),
                                     Settings::shared(),   Clock::system(),      NotificationCenter::shared()};
            AppDelegate delegate(std::move(parts));
            if (!delegate.applicationDidFinishLaunching()) state.SkipWithError("the launch stopped");
            // The rescheduling runs on the next turn of the event loop.
            QCoreApplication::sendPostedEvents();
            state.PauseTiming();
        }
        container.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AppServicesAndLaunchSequence)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AllActive(benchmark::State& state)
{
    auto container =
        std::move(ModelContainer::open(TarnwickSchemaV2::schema(), generatedReminderStore(int(state.range(0)))))
            .value();
    NoteStore store(container->mainContext(), Clock::system(), Settings::shared(), NotificationCenter::shared());
    store.allActive();
    for (auto _ : state) benchmark::DoNotOptimize(store.allActive().size());
}
BENCHMARK(BM_AllActive)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RescheduleAllWithCatchUp(benchmark::State& state)
{
    auto container =
        std::move(ModelContainer::open(TarnwickSchemaV2::schema(), generatedReminderStore(int(state.range(0)))))
            .value();
    NoteStore store(container->mainContext(), Clock::system(), Settings::shared(), NotificationCenter::shared());
    store.allActive();
    CountingNotifications center;
    ReminderScheduler scheduler(store, center, Clock::system(), Settings::shared());
    for (auto _ : state) {
        state.PauseTiming();
        Settings::shared().setValue(ReminderScheduler::kHandledThroughKey, kNow.addSecs(-7200));
        state.ResumeTiming();
        scheduler.rescheduleAll();
    }
    if (center.count == 0) state.SkipWithError("nothing was caught up");
}
BENCHMARK(BM_RescheduleAllWithCatchUp)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    // Nothing of the user's: settings in memory, the store folder and keyring file in a throw-away
    // folder, no display.
    QTemporaryDir scratch;
    qputenv("XDG_DATA_HOME", scratch.filePath("data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session bus every bus lookup would start dbus-launch; a desktop session has a bus, so
    // leave that cost out rather than measure process starts.
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tarnwick-bench-bus");
    QApplication app(argc, argv);
    Settings::setShared(std::make_unique<Settings>(std::make_unique<MemorySettingsBackend>()));
    Settings::shared().setValue(QStringLiteral("update.checkAutomatically"), false);
    return runSpecifiedBenchmarks(argc, argv);
}
