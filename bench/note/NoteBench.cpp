// The note view on a note of 50,000 characters with 200 pictures (offscreen): switching the card
// between two such notes, first paint included; and the view's work per keystroke (a body change and
// its count and refresh) beside one grapheme count of that body, the least any count must do; and the
// repaint a keystroke asks for.
// The body slot is empty there. With the block editor as the body: switching the card between two notes
// of 50,000 characters in 200 text blocks and 200 pictures, first paint included, beside loading the same
// notes into a bare block editor of the same size and painting it; the card should cost at most 1.3x.
// And a window turning inactive and back over a note of 50,000 characters in the block editor: every
// frame of the animated change (the drawn value stepped on a clock of our own, each step painted) beside
// the frames of the same change drawn at once. Targets: an animated frame costs at most 1.2x a frame of
// the change without animation, and no frame takes longer than 16 ms (the counters max_frame_ms and
// frame_ms).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include <QApplication>
#include <QBuffer>
#include <QPainter>

#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"
#include "model/NoteImage.h"

#include "BenchMain.h"
#include "NoteViewServices.h"

namespace {

QString bigBody(QChar fill)
{
    QString body;
    body.reserve(50'000);
    for (int picture = 0; picture < 200; ++picture) {
        body += QString(249, fill) + QLatin1Char('\n');
        body += QChar(0xFFFC);
    }
    return body;
}

struct Fixture : NoteViewServices {
    Fixture()
    {
        for (QChar fill : {QLatin1Char('a'), QLatin1Char('b')})
            notes.append(container->mainContext().insert(
                std::make_unique<Note>("Big", bigBody(fill), Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                       QDateTime::currentDateTimeUtc())));
        store->saveNow();
        view = makeView(false);
        view->resize(420, 320);
        view->setActive(true);
    }
    void paint()
    {
        QImage target(view->size(), QImage::Format_ARGB32_Premultiplied);
        view->render(&target);
    }

    QList<Note*> notes;
    std::unique_ptr<NoteView> view;
};

std::unique_ptr<Fixture> g_fixture;
Fixture& fixture()
{
    if (!g_fixture) g_fixture = std::make_unique<Fixture>();
    return *g_fixture;
}

void BM_SwitchCard(benchmark::State& state)
{
    Fixture& f = fixture();
    int i = 0;
    for (auto _ : state) {
        f.view->setNote(f.notes[++i % 2]);
        f.paint();
    }
}
BENCHMARK(BM_SwitchCard)->Unit(benchmark::kMicrosecond);

void BM_ViewPerKeystroke(benchmark::State& state)
{
    Fixture& f = fixture();
    Note* note = f.notes[0];
    f.view->setNote(note);
    const QString base = note->body();
    int i = 0;
    for (auto _ : state) note->setBody(base + QChar(u'a' + (++i % 2)));
}
BENCHMARK(BM_ViewPerKeystroke)->Unit(benchmark::kMicrosecond);

// The repaint a keystroke asks for, rendered offscreen with the card's child widgets.
void BM_PaintCard(benchmark::State& state)
{
    Fixture& f = fixture();
    f.view->setNote(f.notes[0]);
    for (auto _ : state) f.paint();
}
BENCHMARK(BM_PaintCard)->Unit(benchmark::kMicrosecond);

void BM_GraphemeCountOfTheBody(benchmark::State& state)
{
    const QString body = bigBody(QLatin1Char('a'));
    for (auto _ : state) benchmark::DoNotOptimize(NoteViewModel::graphemeCount(body));
}
BENCHMARK(BM_GraphemeCountOfTheBody)->Unit(benchmark::kMicrosecond);

QByteArray photo(int i)
{
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((i * 37) % 360, 160, 200));
    for (int y = 0; y < 600; y += 40) image.setPixelColor(i % 800, y, Qt::black);  // distinct bytes
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes;
}

// Two notes of 200 text blocks of 250 characters, each followed by a picture, shown by a note view with
// the block editor as its body and by a bare block editor.
struct PictureFixture : NoteViewServices {
    PictureFixture()
    {
        ModelContext& context = container->mainContext();
        for (QChar fill : {QLatin1Char('a'), QLatin1Char('b')}) {
            Note* note =
                context.insert(std::make_unique<Note>("Album", QString(), Tint::blue, Opacity::solid, std::nullopt,
                                                      std::nullopt, QDateTime::currentDateTimeUtc()));
            QHash<QString, NoteImage*> reuse;
            QVector<NoteBlock> blocks;
            for (int i = 0; i < 200; ++i) {
                blocks.append(NoteBlock::text(TextRuns{QString(250, fill), {}}));
                NoteImage* row = store->insertImageRow(photo(i + (fill == u'b' ? 200 : 0)), note->uuid(), reuse);
                blocks.append(NoteBlock::image(ImagePlacement{row->uuid(), ImageSizing::makeFit()}));
            }
            note->setBlocks(blocks);
            notes.append(note);
        }
        store->saveNow();
        view = makeView();
        view->resize(420, 320);
        view->setActive(true);
        view->show();
        bare = std::make_unique<BlockEditorView>(editorServices());
        bare->resize(420, 320);
        bare->show();
        QCoreApplication::processEvents();
    }
    static void paint(QWidget& widget)
    {
        QImage target(widget.size(), QImage::Format_ARGB32_Premultiplied);
        widget.render(&target);
    }

    QList<Note*> notes;
    std::unique_ptr<NoteView> view;
    std::unique_ptr<BlockEditorView> bare;
};

std::unique_ptr<PictureFixture> g_pictureFixture;
PictureFixture& pictureFixture()
{
    if (!g_pictureFixture) g_pictureFixture = std::make_unique<PictureFixture>();
    return *g_pictureFixture;
}

void BM_SwitchCardWithPictures(benchmark::State& state)
{
    PictureFixture& f = pictureFixture();
    int i = 0;
    for (auto _ : state) {
        f.view->setNote(f.notes[++i % 2]);
        PictureFixture::paint(*f.view);
    }
}
BENCHMARK(BM_SwitchCardWithPictures)->Unit(benchmark::kMillisecond);

void BM_LoadBareEditorWithPictures(benchmark::State& state)
{
    PictureFixture& f = pictureFixture();
    int i = 0;
    for (auto _ : state) {
        f.bare->setNote(f.notes[++i % 2]);
        PictureFixture::paint(*f.bare);
    }
}
BENCHMARK(BM_LoadBareEditorWithPictures)->Unit(benchmark::kMillisecond);

// A clock the benchmark steps by hand: the animation's frames run when it is advanced.
class SteppedClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(m_elapsed); }
    qint64 elapsedMs() const override { return m_elapsed; }
    TimerHandle after(qint64 delayMs, QObject* context, std::function<void()> fn) override
    {
        auto cancelled = std::make_shared<bool>(false);
        m_pending.push_back(
            {m_elapsed + std::max<qint64>(0, delayMs), cancelled, QPointer<QObject>(context), std::move(fn)});
        return TimerHandle(cancelled);
    }
    // Moves to the next pending call and runs it; false when nothing is pending.
    bool step()
    {
        auto due = std::min_element(m_pending.begin(), m_pending.end(),
                                    [](const Pending& a, const Pending& b) { return a.deadline < b.deadline; });
        if (due == m_pending.end()) return false;
        Pending call = std::move(*due);
        m_pending.erase(due);
        m_elapsed = std::max(m_elapsed, call.deadline);
        if (!*call.cancelled && call.context) call.fn();
        return true;
    }

private:
    struct Pending {
        qint64 deadline;
        std::shared_ptr<bool> cancelled;
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    qint64 m_elapsed = 0;
    std::vector<Pending> m_pending;
};

struct ActivityFixture {
    ActivityFixture()
    {
        KeychainStore::useBackend(std::make_shared<MemoryKeychainBackend>());
        container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), dir.filePath("default.store")).value());
        ModelContext& context = container->mainContext();
        store = std::make_unique<NoteStore>(context, Clock::system(), settings, NotificationCenter::shared());
        unlock = std::make_unique<UnlockSession>(*store, authenticator, Clock::system(), settings);
        QVector<NoteBlock> blocks;
        for (int i = 0; i < 200; ++i) blocks.append(NoteBlock::text(TextRuns{QString(249, QLatin1Char('a')), {}}));
        note = context.insert(std::make_unique<Note>("Long", QString(), Tint::blue, Opacity::solid, std::nullopt,
                                                     std::nullopt, Clock::system().now()));
        note->setBlocks(blocks);
        store->saveNow();
        NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
        view = std::make_unique<NoteView>(
            *store, *unlock, reminders, [] { return true; }, clock,
            [this](QWidget* parent) {
                return new BlockNoteBody(
                    {*store, previews, Clock::system(), NotificationCenter::shared(), SpellChecker::desktop()},
                    NoteView::gutter, parent);
            },
            true);
        view->resize(420, 320);
        view->setNote(note);
        view->setActive(true);
        view->show();
        QCoreApplication::processEvents();
    }
    // Paints the view as it stands; the time it took, in milliseconds.
    double frame()
    {
        const auto start = std::chrono::steady_clock::now();
        QImage target(view->size(), QImage::Format_ARGB32_Premultiplied);
        view->render(&target);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }

    QTemporaryDir dir;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    NoAuthenticator authenticator;
    SteppedClock clock;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    std::unique_ptr<UnlockSession> unlock;
    PreviewFiles previews{dir.filePath("previews")};
    Note* note = nullptr;
    std::unique_ptr<NoteView> view;
};

std::unique_ptr<ActivityFixture> g_activityFixture;
ActivityFixture& activityFixture()
{
    if (!g_activityFixture) g_activityFixture = std::make_unique<ActivityFixture>();
    return *g_activityFixture;
}

// One turn inactive and back; `animated` false draws each change at once (as a hidden view or Reduce
// Motion does). The frame times (the change itself included in the first frame) go to the counters.
void activityRound(benchmark::State& state, bool animated)
{
    ActivityFixture& f = activityFixture();
    double total = 0, longest = 0;
    qint64 frames = 0;
    auto time = [&](auto&& change) {
        const auto start = std::chrono::steady_clock::now();
        change();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() + f.frame();
        total += ms;
        longest = std::max(longest, ms);
        ++frames;
    };
    for (auto _ : state) {
        for (bool active : {false, true}) {
            if (!animated) f.view->hide();
            time([&] { f.view->setActive(active); });
            if (!animated) f.view->show();
            while (f.view->activeness().isRunning()) time([&] { f.clock.step(); });
        }
    }
    state.counters["frames"] = benchmark::Counter(double(frames), benchmark::Counter::kAvgIterations);
    state.counters["frame_ms"] = frames ? total / double(frames) : 0.0;
    state.counters["max_frame_ms"] = longest;
}

void BM_ActivityChangeAnimated(benchmark::State& state)
{
    activityRound(state, true);
}
BENCHMARK(BM_ActivityChangeAnimated)->Unit(benchmark::kMillisecond);

void BM_ActivityChangeImmediate(benchmark::State& state)
{
    activityRound(state, false);
}
BENCHMARK(BM_ActivityChangeImmediate)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int status = runSpecifiedBenchmarks(argc, argv);
    // The fixtures' widgets go while the application still exists.
    g_activityFixture.reset();
    g_pictureFixture.reset();
    g_fixture.reset();
    return status;
}
