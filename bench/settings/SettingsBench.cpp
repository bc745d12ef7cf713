// The settings window over stores of 100 and 100,000 notes:
// - building it at the first show() and drawing each of its eight tabs ("ratio_to_100": the 100,000
//   case against the 100 case, measured in the same round; at most 1.2);
// - with 500 stored themes, a theme change until the Note tab has drawn its grid again, against
//   drawing the grid's 506 tiles with QPainter alone ("ratio": at most 2).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "mcp/MCPApprover.h"
#include "mcp/MCPService.h"
#include "mcp/MCPTokenStore.h"
#include "mcp/MCPToolHost.h"
#include "model/Note.h"
#include "model/NoteTheme.h"
#include "platform/Authenticator.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "privacy/UnlockSession.h"
#include "settings/NoteSettingsTab.h"
#include "settings/PreferenceTabsController.h"
#include "settings/SettingsWindowController.h"
#include "settings/ThemeGrid.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"
#include "store/TarnwickSchemaV2.h"

#include "BenchMain.h"

namespace {

struct NoTools : MCPToolHost {
    QList<MCPNoteRecord> search(const QString&, int) override { return {}; }
    QList<MCPNoteRecord> allActive(int) override { return {}; }
    QList<MCPNoteRecord> pinned(int) override { return {}; }
    std::optional<MCPNoteRecord> note(const QUuid&) override { return std::nullopt; }
    Result<QString, WriteFailure> create(const QString&, const QString&) override { return QString(); }
};
struct NoApprover : MCPApprover {
    void request(const QString&, const QString&, std::function<void(Answer)> done) override { done(Answer::denied); }
};
struct MemoryTokens : MCPTokenStore {
    std::optional<QByteArray> stored;
    ReadResult read() override { return stored; }
    Status<QString> write(const QByteArray& token) override
    {
        stored = token;
        return {};
    }
};
struct NoAuthentication : Authenticator {
    Availability availability() override { return {false, QStringLiteral("benchmark")}; }
    void evaluate(const QString&, Completion done) override { done(Outcome::unavailable, {}); }
};

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<ModelContainer> container;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    NotificationCenter center;
    NoTools tools;
    NoApprover approver;
    MemoryTokens tokens;
    NoAuthentication authentication;
    std::unique_ptr<NoteStore> store;
    std::unique_ptr<UnlockSession> unlock;
    std::unique_ptr<MCPService> mcp;

    Fixture(int notes, int themes)
    {
        container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), dir.filePath("default.store"))).value();
        store = std::make_unique<NoteStore>(container->mainContext(), Clock::system(), settings,
                                            NotificationCenter::shared());
        ModelContext& context = container->mainContext();
        for (int i = 0; i < notes; ++i)
            context.insert(std::make_unique<Note>(QStringLiteral("Note %1").arg(i), QStringLiteral("a body of words"),
                                                  Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                                  QDateTime::currentDateTimeUtc()));
        for (int i = 0; i < themes; ++i)
            context.insert(std::make_unique<NoteTheme>(
                QStringLiteral("theme-%1").arg(i), QStringLiteral("Theme %1").arg(i),
                QColor::fromHsv((i * 37) % 360, 60, 240), std::nullopt, std::nullopt, 1.0, 1.45));
        store->saveNow();
        unlock = std::make_unique<UnlockSession>(*store, authentication, Clock::system(), Settings::shared());
        mcp = std::make_unique<MCPService>(tools, approver, tokens, settings);
    }
    std::unique_ptr<SettingsWindowController> window()
    {
        return std::make_unique<SettingsWindowController>([this] {
            return SettingsServices{
                settings, *store, *mcp, *unlock, authentication, center, Clock::system(), [] { return nullptr; },
                nullptr};
        });
    }
};

std::map<std::pair<int, int>, std::unique_ptr<Fixture>> fixtures;
Fixture& fixture(int notes, int themes = 0)
{
    auto& f = fixtures[{notes, themes}];
    if (!f) f = std::make_unique<Fixture>(notes, themes);
    return *f;
}

// First show() and a drawing of every tab; the window is closed and deleted afterwards.
double showAndPaint(Fixture& f)
{
    QElapsedTimer t;
    t.start();
    auto controller = f.window();
    controller->show();
    for (AppSettingsTab tab : AppSettingsTab::allCases()) {
        controller->tabs()->select(tab);
        benchmark::DoNotOptimize(controller->window()->grab());
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    controller.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ms;
}

void BM_FirstShowAndEveryTab(benchmark::State& state)
{
    Fixture& large = fixture(int(state.range(0)));
    Fixture& small = fixture(100);
    double largeMs = 0, smallMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        smallMs += showAndPaint(small);
        state.ResumeTiming();
        largeMs += showAndPaint(large);
    }
    state.counters["ratio_to_100"] = largeMs / smallMs;
}

// The grid as a bare QPainter loop draws it: swatch, "Aa", border, name.
void drawTiles(QImage& image, const QVector<ResolvedNoteTheme>& themes, int width)
{
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int columns = ThemeGrid::columnsFor(width);
    const int columnWidth = (width - ThemeGrid::kSpacing * (columns - 1)) / columns;
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    for (int i = 0; i < themes.size() + 1; ++i) {
        const QRectF swatch((i % columns) * (columnWidth + ThemeGrid::kSpacing), (i / columns) * 62, columnWidth,
                            ThemeGrid::kSwatchHeight);
        const ResolvedNoteTheme& theme = themes[std::min<qsizetype>(i, themes.size() - 1)];
        QPainterPath path;
        path.addRoundedRect(swatch, 7, 7);
        p.fillPath(path, theme.paper);
        p.setFont(font);
        p.setPen(theme.ink);
        p.drawText(swatch, Qt::AlignCenter, QStringLiteral("Aa"));
        p.setPen(QPen(Qt::gray, 1));
        p.drawRoundedRect(swatch.adjusted(0.5, 0.5, -0.5, -0.5), 6.5, 6.5);
        p.drawText(QRectF(swatch.left(), swatch.bottom() + 4, columnWidth, 14), Qt::AlignHCenter,
                   metrics.elidedText(theme.name, Qt::ElideRight, columnWidth));
    }
}

void BM_ThemeChangeRepaintsTheNoteTab(benchmark::State& state)
{
    Fixture& f = fixture(100, int(state.range(0)));
    f.settings.setValue(QStringLiteral("settings.selectedTab"), QStringLiteral("note"));
    f.settings.setValue(QStringLiteral("onboarding.completed"), true);
    auto controller = f.window();
    controller->show();
    auto* note = qobject_cast<NoteSettingsTab*>(controller->tabs()->page(AppSettingsTab::note));
    note->grab();
    const QVector<ResolvedNoteTheme> library = NoteThemes::library(f.store->storedThemes());
    QImage reference(note->grid()->size(), QImage::Format_ARGB32_Premultiplied);
    double referenceMs = 0, tabMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QElapsedTimer t;
        t.start();
        drawTiles(reference, library, note->grid()->width());
        referenceMs += double(t.nsecsElapsed()) / 1e6;
        state.ResumeTiming();
        t.restart();
        // A theme saved elsewhere: the tab reads the library again and draws the grid.
        f.center.post(tarnwickThemeChanged);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(note->grid()->grab());
        tabMs += double(t.nsecsElapsed()) / 1e6;
    }
    state.counters["tiles"] = double(note->grid()->cellCount());
    state.counters["ratio"] = tabMs / referenceMs;
    controller.reset();
}

BENCHMARK(BM_FirstShowAndEveryTab)->Arg(100)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThemeChangeRepaintsTheNoteTab)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int result = runSpecifiedBenchmarks(argc, argv);
    fixtures.clear();  // while the application still exists
    return result;
}
