#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/Capture.h"
#include "model/Note.h"
#include "shelf/SearchEngine.h"
#include "shelf/SearchSupport.h"

#include "BenchMain.h"

// Search over generated notes and captures held in memory, beside a plain memmem scan of the same
// UTF-8 bytes: the floor any substring search over unindexed text has to pay.

namespace {

const char* const kWords[] = {
    "the",    "of",      "meeting", "notes",  "project", "review", "tomorrow", "call",   "draft",    "budget",
    "idea",   "list",    "garden",  "travel", "recipe",  "book",   "café",     "über",   "naïve",    "plan",
    "report", "weekend", "follow",  "up",     "with",    "team",   "design",   "launch", "deadline", "friday",
    "coffee", "market",  "summary", "quote",  "article", "link",   "résumé",   "ticket", "invoice",  "phone",
};

QString sentence(std::mt19937& rng, int approxBytes)
{
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    QString s;
    int bytes = 0;
    while (bytes < approxBytes) {
        const char* w = kWords[pick(rng)];
        if (!s.isEmpty()) {
            s += (rng() % 12 == 0) ? QLatin1Char('\n') : QLatin1Char(' ');
            ++bytes;
        }
        s += QString::fromUtf8(w);
        bytes += int(std::strlen(w));
    }
    return s;
}

struct Corpus {
    std::vector<std::unique_ptr<Note>> notes;
    std::vector<std::unique_ptr<Capture>> captures;
    QList<Note*> noteList;
    QList<Capture*> captureList;
    std::vector<std::string> noteBytes;     // title + "\n" + body, UTF-8
    std::vector<std::string> captureBytes;  // text + app + title, UTF-8

    explicit Corpus(int count)
    {
        std::mt19937 rng(42);
        const QDateTime base = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
        for (int i = 0; i < count; ++i) {
            auto note = std::make_unique<Note>(sentence(rng, 24), sentence(rng, 1024), Tint::blue, Opacity::solid,
                                               std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc());
            note->setUpdatedAt(base.addSecs(-i));
            if (i % 50 == 0) note->setIsLocked(true);
            noteBytes.push_back((note->title() + QLatin1Char('\n') + note->body()).toStdString());
            noteList.push_back(note.get());
            notes.push_back(std::move(note));

            auto capture = std::make_unique<Capture>(sentence(rng, 1024), QStringLiteral("Browser"),
                                                     QStringLiteral("org.example.browser"), std::nullopt,
                                                     sentence(rng, 24), std::nullopt, QDateTime::currentDateTimeUtc());
            capture->setCreatedAt(base.addSecs(-i));
            captureBytes.push_back((capture->text() + *capture->sourceApp() + *capture->sourceTitle()).toStdString());
            captureList.push_back(capture.get());
            captures.push_back(std::move(capture));
        }
    }

    SearchEngine::Source source()
    {
        return {[this] { return noteList; }, [this] { return captureList; }};
    }
};

Corpus& corpus(int count)
{
    static std::map<int, std::unique_ptr<Corpus>> corpora;
    auto& c = corpora[count];
    if (!c) c = std::make_unique<Corpus>(count);
    return *c;
}

// A query that is in no note (the scan must read every byte) and one that is in many.
const char* queryFor(int which)
{
    return which == 0 ? "zebra crossing" : "budget review";
}

void BM_MemmemNotes(benchmark::State& state)
{
    Corpus& c = corpus(int(state.range(0)));
    const std::string needle = queryFor(int(state.range(1)));
    for (auto _ : state) {
        size_t hits = 0;
        for (const std::string& bytes : c.noteBytes)
            hits += memmem(bytes.data(), bytes.size(), needle.data(), needle.size()) != nullptr;
        benchmark::DoNotOptimize(hits);
    }
}

void BM_SearchNotes(benchmark::State& state)
{
    Corpus& c = corpus(int(state.range(0)));
    SearchEngine engine(c.source());
    const QString query = QString::fromUtf8(queryFor(int(state.range(1))));
    engine.search(query);  // fill the kept lowered texts: the first keystroke pays that once
    for (auto _ : state) benchmark::DoNotOptimize(engine.search(query));
    state.counters["results"] = double(engine.search(query).size());
}

// The first search of a session, or after every note changed: lowering every text once.
void BM_SearchNotesCold(benchmark::State& state)
{
    Corpus& c = corpus(int(state.range(0)));
    const QString query = QString::fromUtf8(queryFor(0));
    for (auto _ : state) {
        SearchEngine engine(c.source());
        benchmark::DoNotOptimize(engine.search(query));
    }
}

// One note in a hundred changed since the last keystroke.
void BM_SearchNotesAfterEdits(benchmark::State& state)
{
    Corpus& c = corpus(int(state.range(0)));
    SearchEngine engine(c.source());
    const QString query = QString::fromUtf8(queryFor(0));
    engine.search(query);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        for (qsizetype i = round % 100; i < c.noteList.size(); i += 100)
            c.noteList[i]->setOpacityValue(0.5 + 0.01 * (round % 2));
        state.ResumeTiming();
        benchmark::DoNotOptimize(engine.search(query));
    }
}

// The note edited last moves to the front of the list, as a store sorted by update date hands it out.
void BM_SearchNotesAfterReorder(benchmark::State& state)
{
    Corpus& c = corpus(int(state.range(0)));
    SearchEngine engine(c.source());
    const QString query = QString::fromUtf8(queryFor(0));
    engine.search(query);
    for (auto _ : state) {
        state.PauseTiming();
        Note* edited = c.noteList.takeAt(c.noteList.size() / 2);
        edited->setOpacityValue(edited->opacityValue() == 1.0 ? 0.5 : 1.0);
        c.noteList.prepend(edited);
        state.ResumeTiming();
        benchmark::DoNotOptimize(engine.search(query));
    }
}

void BM_MemmemCaptures(benchmark::State& state)
{
    Corpus& c = corpus(int(state.range(0)));
    const std::string needle = queryFor(int(state.range(1)));
    for (auto _ : state) {
        size_t hits = 0;
        for (const std::string& bytes : c.captureBytes)
            hits += memmem(bytes.data(), bytes.size(), needle.data(), needle.size()) != nullptr;
        benchmark::DoNotOptimize(hits);
    }
}

void BM_SearchCaptures(benchmark::State& state)
{
    Corpus& c = corpus(int(state.range(0)));
    SearchEngine engine(c.source());
    const QString query = QString::fromUtf8(queryFor(int(state.range(1))));
    engine.searchCaptures(query);
    for (auto _ : state) benchmark::DoNotOptimize(engine.searchCaptures(query));
    state.counters["results"] = double(engine.searchCaptures(query).size());
}

// A search row's excerpt of one long body, as the row is drawn after each key typed: range(0) its length
// in UTF-16 units; range(1) 0 = ASCII, 1 = Greek; range(2) 0 = the query at the end, 1 = found nowhere.
// "first_16k_us" is the same excerpt cut from the body's first 16,384 units, all a row once looked at.
// Target: past those, each further unit costs a few nanoseconds in any script (about 2 ns here: a
// plain case-insensitive scan), so a body of 2,000,000 units stays within a few milliseconds.
void BM_SnippetOfLongBody(benchmark::State& state)
{
    const QString word = state.range(1) ? QStringLiteral("λόρεμ ιψουμ ") : QStringLiteral("lorem ipsum ");
    QString body;
    while (body.size() < state.range(0)) body += word;
    body += QStringLiteral(" WORD20000 tail");
    const QString query = state.range(2) ? QStringLiteral("zebra crossing") : QStringLiteral("word20000");
    const QString head = body.left(16'384);
    double headUs = 0;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(SearchSupport::snippet(head, query, 96));
        headUs += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    }
    for (auto _ : state) benchmark::DoNotOptimize(SearchSupport::snippet(body, query, 96));
    state.counters["first_16k_us"] = headUs / 20;
}
BENCHMARK(BM_SnippetOfLongBody)
    ->ArgsProduct({{20'000, 200'000, 2'000'000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// range(0): notes (and captures); range(1): 0 = a query found nowhere, 1 = a query found often.
#define SIZES ->ArgsProduct({{10'000, 100'000}, {0, 1}})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_MemmemNotes) SIZES;
BENCHMARK(BM_SearchNotes) SIZES;
BENCHMARK(BM_MemmemCaptures) SIZES;
BENCHMARK(BM_SearchCaptures) SIZES;
BENCHMARK(BM_SearchNotesCold)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchNotesAfterEdits)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchNotesAfterReorder)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
