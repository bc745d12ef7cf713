// The cost of one keystroke in a 50,000-character note, against a bare QTextCursor::insertText in a
// QTextDocument of the same text: in prose, inside a 1,000-item numbered list and in the title; and
// Return after item 500 of 1,000 against its ~500 marker replacements made directly.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/TextBlockController.h"

#include "BenchMain.h"

namespace {

constexpr int kItems = 1000;

QString prose()
{
    QString text;
    while (text.size() < 50000) text += QStringLiteral("A sentence of prose that runs on for a while. ");
    return text;
}

// 1,000 items of about 50 characters: 50,000 characters in all.
QString list()
{
    QString text;
    for (int i = 1; i <= kItems; ++i)
        text += QString::number(i) + QStringLiteral(". an item of a numbered list, some words long\n");
    text.chop(1);
    return text;
}

qsizetype itemEnd(const QString& text, int item)
{
    qsizetype at = -1;
    for (int i = 0; i < item; ++i) at = text.indexOf(u'\n', at + 1);
    return at;
}

struct Case {
    QString body;
    bool title = false;
    qsizetype caret = 0;
};

Case textCase(int which)
{
    switch (which) {
        case 0:
            return {prose(), false, 25000};
        case 1: {
            const QString body = list();
            return {body, false, itemEnd(body, 500) - 3};
        }
        default:
            return {prose(), true, 5};
    }
}

void bareInsert(benchmark::State& state)
{
    const Case c = textCase(int(state.range(0)));
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    document.setPlainText(c.title ? QStringLiteral("A title\n") + c.body : c.body);
    QTextCursor cursor(&document);
    for (auto _ : state) {
        cursor.setPosition(int(c.caret));
        cursor.insertText(QStringLiteral("x"));
    }
}

void typedInEditor(benchmark::State& state)
{
    const Case c = textCase(int(state.range(0)));
    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller(QUuid::createUuid(), &host, c.title, ResolvedNoteTheme{},
                                   TextBlockController::NoteStyle::floating, storage);
    controller.load(TextRuns{c.body, {}}, c.title ? std::optional<QString>("A title") : std::nullopt, c.caret);
    TextViewModel& view = controller.textView();
    // The first edit after a load walks the whole text once; that is not what a keystroke costs.
    view.insertText(QStringLiteral("x"));
    for (auto _ : state) {
        view.setCaret(c.caret);
        view.insertText(QStringLiteral("x"));
    }
}

void returnInList(benchmark::State& state)
{
    const QString body = list();
    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller(QUuid::createUuid(), &host, false, ResolvedNoteTheme{},
                                   TextBlockController::NoteStyle::floating, storage);
    controller.load(TextRuns{body, {}}, std::nullopt, 0);
    TextViewModel& view = controller.textView();
    const qsizetype at = itemEnd(body, 500);
    view.setCaret(at);
    view.insertText(QStringLiteral("\n"));
    host.undo.undo();
    host.undo.undo();
    for (auto _ : state) {
        view.setCaret(at);
        view.insertText(QStringLiteral("\n"));
        state.PauseTiming();
        while (host.undo.canUndo()) host.undo.undo();
        state.ResumeTiming();
    }
}

void directMarkerReplacements(benchmark::State& state)
{
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    document.setPlainText(list());
    for (auto _ : state) {
        // Items 501 to 1,000 get their next number, as the renumbering after Return does.
        QTextCursor cursor(&document);
        for (int i = kItems; i > 500; --i) {
            const QTextBlock block = document.findBlockByNumber(i - 1);
            const QString marker = QString::number(i) + u'.';
            cursor.setPosition(block.position());
            cursor.setPosition(block.position() + int(block.text().indexOf(u'.')) + 1, QTextCursor::KeepAnchor);
            cursor.insertText(marker);
        }
    }
}

}  // namespace

BENCHMARK(bareInsert)->Arg(0)->Arg(1)->Arg(2)->ArgName("prose0_list1_title2");
BENCHMARK(typedInEditor)->Arg(0)->Arg(1)->Arg(2)->ArgName("prose0_list1_title2");
BENCHMARK(returnInList)->Unit(benchmark::kMicrosecond);
BENCHMARK(directMarkerReplacements)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
