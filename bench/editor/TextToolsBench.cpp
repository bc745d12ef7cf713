// What the find bar and spelling add to a 50,000-character note: a keystroke with checking on against
// the same with it off, a find over the whole block against a case-insensitive QString::indexOf over the
// same text, and a keystroke with the find bar's matches kept current against one without.
#include <benchmark/benchmark.h>

#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/TextBlockController.h"
#include "editor/text/TextFinder.h"
#include "platform/SpellChecker.h"

namespace {

// Prose with a misspelt word in every sentence, so marks come and go as the text is checked.
QString longProse()
{
    QString text;
    while (text.size() < 50000) text += QStringLiteral("A sentence of prose that we recieve for a while. ");
    return text;
}

struct Editor {
    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller{
        QUuid::createUuid(), &host, false, ResolvedNoteTheme{}, TextBlockController::NoteStyle::floating, storage};
    explicit Editor(bool spelling)
    {
        controller.load(TextRuns{longProse(), {}}, std::nullopt, 25000);
        controller.spelling().setChecker(spelling ? &SpellChecker::desktop() : nullptr);
        while (controller.spelling().runSlice()) {
        }
        controller.textView().insertText(QStringLiteral("x"));
    }
};

void typedWithSpelling(benchmark::State& state)
{
    Editor editor(state.range(0) == 1);
    if (state.range(0) == 1 && !SpellChecker::desktop().isAvailable()) state.SkipWithError("no dictionary");
    TextViewModel& view = editor.controller.textView();
    for (auto _ : state) {
        view.setCaret(25000);
        view.insertText(QStringLiteral("x"));
    }
}

void findOverBlock(benchmark::State& state)
{
    MemoryTextStorage storage;
    storage.setAttributedText(AttributedText(longProse()));
    TextFinder finder(storage);
    for (auto _ : state) {
        finder.setQuery(QStringLiteral("Recieve"));
        benchmark::DoNotOptimize(finder.matches().size());
        finder.setQuery(QString());
    }
}

void caseInsensitiveIndexOf(benchmark::State& state)
{
    const QString text = longProse();
    const QString query = QStringLiteral("Recieve");
    for (auto _ : state) {
        int count = 0;
        for (qsizetype at = 0; (at = text.indexOf(query, at, Qt::CaseInsensitive)) >= 0; at += query.size()) ++count;
        benchmark::DoNotOptimize(count);
    }
}

void typedWithFindOpen(benchmark::State& state)
{
    Editor editor(false);
    std::unique_ptr<TextFinder> finder;
    if (state.range(0) == 1) {
        finder = std::make_unique<TextFinder>(editor.storage);
        finder->setQuery(QStringLiteral("prose"));
    }
    TextViewModel& view = editor.controller.textView();
    for (auto _ : state) {
        view.setCaret(25000);
        view.insertText(QStringLiteral("x"));
    }
}

}  // namespace

BENCHMARK(typedWithSpelling)->Arg(0)->Arg(1)->ArgName("spelling");
BENCHMARK(findOverBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(caseInsensitiveIndexOf)->Unit(benchmark::kMicrosecond);
BENCHMARK(typedWithFindOpen)->Arg(0)->Arg(1)->ArgName("findOpen");
