// Large text in a shown block editor (offscreen, 420 x 320). Pasting 100 KB and 1 MB of plain text
// (1,000 and 10,000 paragraphs of 100 characters) below the title of a note, until the paste returned
// and the editor painted: the 1 MB paste should cost at most 5x the 100 KB one, and 1 s at most; the whole
// work, later slices included, should grow linearly. A 12 MB paste: its return and the longest turn of the
// event loop, the paste's own turn included, until the rest has entered the editor. Opening a note of 1 MB in 10,000
// paragraphs, first paint included, at most 3x decoding its envelope into a bare QTextDocument with setPlainText.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <time.h>
#include <QTest>
#include <QTimer>

#include "FakeSelectionReader.h"
#include "capture/CaptureService.h"
#include "editor/blocks/BlockEditorView.h"
#include "editor/blocks/PreviewFiles.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/SpellingMarks.h"
#include "editor/text/TextBlockController.h"
#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "platform/SpellChecker.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

#include "BenchMain.h"

namespace {

QString paragraphs(int count, QChar fill)
{
    QString text;
    text.reserve(count * 100);
    for (int i = 0; i < count; ++i) {
        QString line = QStringLiteral("Paragraph %1 of a long pasted text, ").arg(i);
        while (line.size() < 99) line += QStringLiteral("word ");
        line.truncate(99);
        line[line.size() - 1] = fill;
        text += line;
        if (i + 1 < count) text += u'\n';
    }
    return text;
}

struct Fixture {
    Fixture()
    {
        container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), dir.filePath("default.store")).value());
        ModelContext& context = container->mainContext();
        store = std::make_unique<NoteStore>(context, Clock::system(), settings, NotificationCenter::shared());
        // The notes are listed before anything is captured, as the shelf does at launch: a first read
        // of a table would otherwise wait for a capture being written.
        (void)context.fetch<Note>();
        empty = context.insert(std::make_unique<Note>("Paste", QString(), Tint::blue, Opacity::solid, std::nullopt,
                                                      std::nullopt, QDateTime::currentDateTimeUtc()));
        for (QChar fill : {QLatin1Char('a'), QLatin1Char('b')})
            big.append(
                context.insert(std::make_unique<Note>("Big", paragraphs(10'000, fill), Tint::blue, Opacity::solid,
                                                      std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc())));
        store->saveNow();
        for (Note* note : big) store->ensureMigrated(*note);
        editor = std::make_unique<BlockEditorView>(
            EditorServices{*store, previews, Clock::system(), NotificationCenter::shared(), SpellChecker::desktop()});
        editor->resize(420, 320);
        editor->show();
        QCoreApplication::processEvents();
    }
    void paint()
    {
        QImage target(editor->size(), QImage::Format_ARGB32_Premultiplied);
        editor->render(&target);
    }
    RichNSTextView* lastTextView() const
    {
        const auto views = editor->findChildren<RichNSTextView*>();
        return views.isEmpty() ? nullptr : views.last();
    }

    QTemporaryDir dir;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    PreviewFiles previews{dir.filePath("previews")};
    Note* empty = nullptr;
    QList<Note*> big;
    std::unique_ptr<BlockEditorView> editor;
};

Fixture& fixture()
{
    // Left for the process's end: the editor must not outlive the application object.
    static Fixture* f = new Fixture;
    return *f;
}

// Until the editor holds the text in its document (a long text enters it a slice per turn), or all it
// can show of it (the document stops growing).
void waitUntilFilled(RichNSTextView* view, qsizetype length, double* longestTurn = nullptr)
{
    QElapsedTimer turn;
    int still = 0;
    for (int shown = -1; view->document()->characterCount() - 1 < length && still < 20;) {
        turn.start();
        QCoreApplication::processEvents();
        if (longestTurn) *longestTurn = std::max(*longestTurn, double(turn.nsecsElapsed()) / 1e6);
        const int now = view->document()->characterCount();
        still = now == shown ? still + 1 : 0;
        shown = now;
    }
}

// An empty note with its title, the caret below it (as after typing the title and Return).
RichNSTextView* freshNote(Fixture& f)
{
    f.empty->setBlocks({});
    f.editor->setNote(f.empty);
    RichNSTextView* view = f.lastTextView();
    QTextCursor end(view->document());
    end.movePosition(QTextCursor::End);
    view->setTextCursor(end);
    QCoreApplication::processEvents();
    return view;
}

// Until the paste returns and the editor has painted: what the user waits for.
void BM_PastePlainText(benchmark::State& state)
{
    Fixture& f = fixture();
    QMimeData data;
    data.setText(paragraphs(int(state.range(0)), QLatin1Char('p')));
    for (auto _ : state) {
        state.PauseTiming();
        RichNSTextView* view = freshNote(f);
        state.ResumeTiming();
        view->pasteMimeData(&data);
        QCoreApplication::processEvents();
        f.paint();
        state.PauseTiming();
        waitUntilFilled(view, data.text().size());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * data.text().size());
}
BENCHMARK(BM_PastePlainText)->Arg(1'000)->Arg(10'000)->ArgName("paragraphs")->Unit(benchmark::kMillisecond);

// The whole work of a paste, the later slices included: linear in the text's length.
void BM_PastePlainTextUntilFilled(benchmark::State& state)
{
    Fixture& f = fixture();
    QMimeData data;
    data.setText(paragraphs(int(state.range(0)), QLatin1Char('p')));
    for (auto _ : state) {
        state.PauseTiming();
        RichNSTextView* view = freshNote(f);
        state.ResumeTiming();
        view->pasteMimeData(&data);
        waitUntilFilled(view, data.text().size());
        f.paint();
    }
}
BENCHMARK(BM_PastePlainTextUntilFilled)->Arg(1'000)->Arg(10'000)->ArgName("paragraphs")->Unit(benchmark::kMillisecond);

// The main thread's turns, as a timer of 0 ms sees them: the longest wait between two of its firings
// is the longest any event (a key, a bus call, a paint) waited. The thread's own CPU time is beside
// it, since the figure on a loaded machine is mostly other processes.
class TurnProbe {
public:
    TurnProbe()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed(), cpu = threadCpu();
            m_longest = std::max(m_longest, double(now - m_last) / 1e6);
            if (qEnvironmentVariableIsSet("TURNS_DEBUG") && now - m_last > 40'000'000)
                fprintf(stderr, "turn %d: %.1f ms\n", m_turns, double(now - m_last) / 1e6);
            ++m_turns;
            m_longestCpu = std::max(m_longestCpu, double(cpu - m_lastCpu) / 1e6);
            m_last = now;
            m_lastCpu = cpu;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_lastCpu = threadCpu();
        m_timer.start();
    }
    // Runs the event loop until `done`, at most `seconds`.
    void runUntil(const std::function<bool()>& done, int seconds = 120)
    {
        QElapsedTimer limit;
        limit.start();
        while (!done() && limit.elapsed() < seconds * 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // The turn that ended it is counted too.
        QCoreApplication::processEvents();
        m_timer.stop();
    }
    double longest() const { return m_longest; }
    double longestCpu() const { return m_longestCpu; }

private:
    static qint64 threadCpu()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0, m_lastCpu = 0;
    double m_longest = 0, m_longestCpu = 0;
    int m_turns = 0;
};

// Until the editor holds the text, or all it can show of it: a document of 12 MB at this width is
// taller than a document may grow, and its last part stays out of it (the document stops growing).
struct DocumentHolds {
    qsizetype length = 0;
    int lastCount = -1;
    int still = 0;
    bool operator()(RichNSTextView* view)
    {
        if (!view) return false;
        const int count = view->document()->characterCount();
        still = count == lastCount ? still + 1 : 0;
        lastCount = count;
        return count - 1 >= length || still > 200;
    }
};
// 12 MB: the paste returns after its first slice; the longest turn of the event loop from the paste's own
// turn until the document holds it all is what hot keys, D-Bus and painting wait for at most.
void BM_PasteHugeText(benchmark::State& state)
{
    Fixture& f = fixture();
    QMimeData data;
    data.setText(paragraphs(120'000, QLatin1Char('h')));
    double longest = 0, longestCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RichNSTextView* view = freshNote(f);
        state.ResumeTiming();
        TurnProbe probe;
        probe.start();
        // The paste runs in a turn of its own, as a key press's does, so that turn is measured with the rest.
        bool pasted = false;
        QTimer::singleShot(0, [&] {
            view->pasteMimeData(&data);
            pasted = true;
        });
        DocumentHolds holds{f.empty->title().size() + 1 + data.text().size()};
        probe.runUntil([&] { return pasted && holds(view); });
        longest = std::max(longest, probe.longest());
        longestCpu = std::max(longestCpu, probe.longestCpu());
    }
    state.counters["longest_turn_ms"] = longest;
    state.counters["longest_turn_cpu_ms"] = longestCpu;
}
BENCHMARK(BM_PasteHugeText)->Unit(benchmark::kMillisecond)->Iterations(2);

// A capture of 12 MB appended to an open note of 4 MB, as the capture service does: the editor reloads
// the body on the next turn; the longest turn until it shows all of it.
void BM_AppendHugeCaptureToOpenNote(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString base = paragraphs(40'000, QLatin1Char('o'));
    const QString captured = paragraphs(120'000, QLatin1Char('c'));
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.empty->setBlocks({NoteBlock::text(TextRuns{base, {}})});
        f.editor->setNote(f.empty);
        waitUntilFilled(f.lastTextView(), f.empty->title().size() + 1 + base.size());
        state.ResumeTiming();
        TurnProbe probe;
        probe.start();
        // The capture service appends in a turn of its own; the editor shows the longer body on the next.
        QTimer::singleShot(0, [&] { (void)f.empty->appendPlain(captured); });
        const qsizetype length = f.empty->title().size() + 2 + base.size() + captured.size();
        DocumentHolds holds{length};
        probe.runUntil([&] { return holds(f.lastTextView()); });
        longest = std::max(longest, probe.longest());
    }
    state.counters["longest_turn_ms"] = longest;
}
BENCHMARK(BM_AppendHugeCaptureToOpenNote)->Unit(benchmark::kMillisecond)->Iterations(1);

// 12 MB selected in another program and captured into the open note of 4 MB, as the hot key does: the
// capture service appends it, stores the note with its capture row and has the editor take the longer
// body in. The longest turn, the capture's own included, until the editor shows all it can of it and
// the store has written it.
void BM_CaptureHugeIntoOpenNote(benchmark::State& state)
{
    Fixture& f = fixture();
    FakeSelectionReader reader;
    CaptureService capture(
        *f.store, [&f](const QUuid& id) { return f.editor->container()->noteID() == id; }, f.settings, Clock::system(),
        reader);
    const QString base = paragraphs(40'000, QLatin1Char('o'));
    const QString captured = paragraphs(120'000, QLatin1Char('k'));
    double longest = 0, longestCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.empty->setBlocks({NoteBlock::text(TextRuns{base, {}})});
        f.store->saveNow();
        f.editor->setNote(f.empty);
        f.store->setActiveNoteID(f.empty->uuid());
        waitUntilFilled(f.lastTextView(), f.empty->title().size() + 1 + base.size());
        state.ResumeTiming();
        TurnProbe probe;
        probe.start();
        bool ingested = false;
        QTimer::singleShot(0, [&] {
            (void)capture.ingest(CaptureContext{captured, "Probe", "probe", std::nullopt, "Probe"}, false);
            ingested = true;
        });
        DocumentHolds holds{f.empty->title().size() + 2 + base.size() + captured.size()};
        probe.runUntil([&] {
            return ingested && holds(f.lastTextView()) && !f.container->mainContext().isWriting() &&
                   !f.container->mainContext().hasChanges();
        });
        longest = std::max(longest, probe.longest());
        longestCpu = std::max(longestCpu, probe.longestCpu());
        state.PauseTiming();
        f.editor->setNote(f.empty);
        f.store->saveNow();
        state.ResumeTiming();
    }
    state.counters["longest_turn_ms"] = longest;
    state.counters["longest_turn_cpu_ms"] = longestCpu;
}
BENCHMARK(BM_CaptureHugeIntoOpenNote)->Unit(benchmark::kMillisecond)->Iterations(1);

// Until the note is painted: what the user waits for.
void BM_OpenLargeNote(benchmark::State& state)
{
    Fixture& f = fixture();
    int i = 0;
    for (auto _ : state) {
        Note* note = f.big[++i % 2];
        f.editor->setNote(note);
        QCoreApplication::processEvents();
        f.paint();
        state.PauseTiming();
        waitUntilFilled(f.lastTextView(), note->title().size() + 1 + note->body().size());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenLargeNote)->Unit(benchmark::kMillisecond);

void BM_OpenLargeNoteUntilFilled(benchmark::State& state)
{
    Fixture& f = fixture();
    int i = 0;
    for (auto _ : state) {
        Note* note = f.big[++i % 2];
        f.editor->setNote(note);
        waitUntilFilled(f.lastTextView(), note->title().size() + 1 + note->body().size());
        f.paint();
    }
}
BENCHMARK(BM_OpenLargeNoteUntilFilled)->Unit(benchmark::kMillisecond);

// The least an open can do: decode the stored envelope and set its text on a bare document.
void BM_OpenLargeNoteBareDocument(benchmark::State& state)
{
    Fixture& f = fixture();
    int i = 0;
    for (auto _ : state) {
        const QByteArray data = f.big[++i % 2]->bodyBlocksData().value_or(QByteArray());
        const auto blocks = NoteBlockEnvelope::decode(data);
        QTextDocument document;
        document.setUndoRedoEnabled(false);
        document.setPlainText(blocks.ok() ? blocks->first().textRuns()->text : QString());
        benchmark::DoNotOptimize(document.characterCount());
    }
}
BENCHMARK(BM_OpenLargeNoteBareDocument)->Unit(benchmark::kMillisecond);

// The same, laid out at the editor's width.
void BM_OpenLargeNoteBareDocumentLaidOut(benchmark::State& state)
{
    Fixture& f = fixture();
    const qreal width = f.lastTextView() ? f.lastTextView()->viewport()->width() : 400;
    int i = 0;
    for (auto _ : state) {
        const QByteArray data = f.big[++i % 2]->bodyBlocksData().value_or(QByteArray());
        const auto blocks = NoteBlockEnvelope::decode(data);
        QTextDocument document;
        document.setUndoRedoEnabled(false);
        document.setPlainText(blocks.ok() ? blocks->first().textRuns()->text : QString());
        document.setTextWidth(width);
        benchmark::DoNotOptimize(document.size());
    }
}
BENCHMARK(BM_OpenLargeNoteBareDocumentLaidOut)->Unit(benchmark::kMillisecond);

bool documentHolds(RichNSTextView* view, qsizetype length)
{
    return view && view->document()->characterCount() - 1 >= length;
}

// 12 MB selected in another program and captured as a note of its own, as the hot key does: the note
// and its capture row are made and saved, then its window opens on it and fills. The longest turn of
// the whole, the capture's own turn included.
void BM_CaptureHugeAsNewNote(benchmark::State& state)
{
    Fixture& f = fixture();
    FakeSelectionReader reader;
    CaptureService capture(
        *f.store, [](const QUuid&) { return false; }, f.settings, Clock::system(), reader);
    const QString text = paragraphs(120'000, QLatin1Char('n'));
    TurnProbe probe;
    for (auto _ : state) {
        Note* made = nullptr;
        probe.start();
        QTimer::singleShot(0, [&] {
            const auto result = capture.ingest(CaptureContext{text, "Probe", "probe", std::nullopt, "Probe"}, true);
            if (const auto* created = std::get_if<CaptureService::Created>(&result)) {
                made = f.store->note(created->noteID);
                f.editor->setNote(made);
            }
        });
        DocumentHolds holds{text.size() + 1};
        probe.runUntil([&] { return made && holds(f.lastTextView()); });
        state.PauseTiming();
        f.editor->setNote(f.empty);
        if (made) f.container->mainContext().remove(made);
        f.store->saveNow();
        state.ResumeTiming();
    }
    state.counters["longest_turn_ms"] = probe.longest();
    state.counters["longest_turn_cpu_ms"] = probe.longestCpu();
}
BENCHMARK(BM_CaptureHugeAsNewNote)->Unit(benchmark::kMillisecond)->Iterations(1);

// A stored note of 12 MB opened: until the editor shows all of it, with the longest turn.
void BM_OpenHugeNote(benchmark::State& state)
{
    Fixture& f = fixture();
    ModelContext& context = f.container->mainContext();
    Note* huge =
        context.insert(std::make_unique<Note>("Huge", paragraphs(120'000, QLatin1Char('u')), Tint::blue, Opacity::solid,
                                              std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
    f.store->ensureMigrated(*huge);
    f.store->saveNow();
    TurnProbe probe;
    for (auto _ : state) {
        probe.start();
        QTimer::singleShot(0, [&] { f.editor->setNote(huge); });
        DocumentHolds holds{huge->title().size() + 1 + huge->body().size()};
        probe.runUntil([&] { return holds(f.lastTextView()); });
        state.PauseTiming();
        f.editor->setNote(f.empty);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    f.container->mainContext().remove(huge);
    f.store->saveNow();
    state.counters["longest_turn_ms"] = probe.longest();
    state.counters["longest_turn_cpu_ms"] = probe.longestCpu();
}
BENCHMARK(BM_OpenHugeNote)->Unit(benchmark::kMillisecond)->Iterations(1);

// One key typed in the middle of a note of 50 KB or 4 MB: typing should cost the edit, not the note.
void BM_KeystrokeInNote(benchmark::State& state)
{
    Fixture& f = fixture();
    const int count = int(state.range(0));
    ModelContext& context = f.container->mainContext();
    Note* note =
        context.insert(std::make_unique<Note>("Typed", paragraphs(count, QLatin1Char('k')), Tint::blue, Opacity::solid,
                                              std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
    f.store->ensureMigrated(*note);
    f.store->saveNow();
    f.editor->setNote(note);
    RichNSTextView* view = f.lastTextView();
    const qsizetype length = note->title().size() + 1 + note->body().size();
    TurnProbe filled;
    filled.start();
    filled.runUntil([&] { return documentHolds(view, length); });
    // Spelling has looked at the whole note, as it has a few seconds after opening it: its marks (a
    // misspelt word on every line, up to the most a block shows) are on screen and beyond.
    SpellingMarks& spelling = view->controller().spelling();
    while (spelling.runSlice()) {
    }
    QCoreApplication::processEvents();
    state.counters["marks"] = double(spelling.marks().size());
    view->setFocus();
    QTextCursor middle(view->document());
    middle.setPosition(int(length / 2));
    view->setTextCursor(middle);
    QCoreApplication::processEvents();
    // The key's own turn and the events it posts; the idle work that follows (spelling checks the
    // long text in slices of a few milliseconds, a long body is written back after a pause) is not.
    for (auto _ : state) {
        QTest::keyClick(view, Qt::Key_X);
        QCoreApplication::sendPostedEvents();
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    f.editor->setNote(f.empty);
    f.container->mainContext().remove(note);
    f.store->saveNow();
}
BENCHMARK(BM_KeystrokeInNote)->Arg(500)->Arg(40'000)->ArgName("paragraphs")->Unit(benchmark::kMillisecond);

// The floor under a keystroke: one character inserted in the middle of a bare QTextDocument of the same
// text, laid out at the editor's width. Qt's layout moves every paragraph after the edit, so this grows
// with the text after the caret.
void BM_BareKeystrokeInDocument(benchmark::State& state)
{
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    document.setPlainText(paragraphs(int(state.range(0)), QLatin1Char('k')));
    document.setTextWidth(400);
    (void)document.size();
    QTextCursor cursor(&document);
    for (auto _ : state) {
        cursor.setPosition(document.characterCount() / 2);
        cursor.insertText(QStringLiteral("x"));
    }
}
BENCHMARK(BM_BareKeystrokeInDocument)->Arg(500)->Arg(40'000)->ArgName("paragraphs")->Unit(benchmark::kMillisecond);

// A window holding 4 MB made narrower and wider again: the longest turn while it lays the text out anew.
void BM_ResizeLargeNote(benchmark::State& state)
{
    Fixture& f = fixture();
    ModelContext& context = f.container->mainContext();
    Note* note = context.insert(std::make_unique<Note>("Resized", paragraphs(40'000, QLatin1Char('r')), Tint::blue,
                                                       Opacity::solid, std::nullopt, std::nullopt,
                                                       QDateTime::currentDateTimeUtc()));
    f.store->ensureMigrated(*note);
    f.store->saveNow();
    f.editor->setNote(note);
    const qsizetype length = note->title().size() + 1 + note->body().size();
    TurnProbe probe;
    probe.start();
    probe.runUntil([&] { return documentHolds(f.lastTextView(), length); });
    double longest = 0, longestCpu = 0;
    int width = 420;
    for (auto _ : state) {
        width = width == 420 ? 300 : 420;
        TurnProbe turns;
        turns.start();
        QTimer::singleShot(0, [&] { f.editor->resize(width, 320); });
        int settled = 0;
        qreal lastHeight = -1;
        // Until the text's height stops changing for a few turns.
        turns.runUntil([&] {
            const qreal height = f.lastTextView()->document()->size().height();
            settled = height == lastHeight ? settled + 1 : 0;
            lastHeight = height;
            return settled > 20;
        });
        longest = std::max(longest, turns.longest());
        longestCpu = std::max(longestCpu, turns.longestCpu());
    }
    f.editor->resize(420, 320);
    f.editor->setNote(f.empty);
    f.container->mainContext().remove(note);
    f.store->saveNow();
    state.counters["longest_turn_ms"] = longest;
    state.counters["longest_turn_cpu_ms"] = longestCpu;
}
BENCHMARK(BM_ResizeLargeNote)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
