// Large text in a shown block editor (offscreen, 420 x 320): pasting 100 KB and 1 MB of plain text
// (1,000 and 10,000 paragraphs of 100 characters) into an empty note, until the editor has laid it out
// and painted; the 1 MB paste should cost at most 5x the 100 KB one (linear, not quadratic). And opening
// a note of 1 MB in 10,000 paragraphs, first paint included, beside decoding its envelope into a bare
// QTextDocument with setPlainText laid out at the same width; the editor should cost at most 3x that.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/blocks/BlockEditorView.h"
#include "editor/blocks/PreviewFiles.h"
#include "editor/text/RichNSTextView.h"
#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

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
        store = std::make_unique<NoteStore>(context, Clock::system(), settings);
        empty = context.insert(
            std::make_unique<Note>("Paste", QString(), Tint::blue, Opacity::solid, std::nullopt, std::nullopt));
        for (QChar fill : {QLatin1Char('a'), QLatin1Char('b')})
            big.append(context.insert(std::make_unique<Note>("Big", paragraphs(10'000, fill), Tint::blue,
                                                             Opacity::solid, std::nullopt, std::nullopt)));
        store->saveNow();
        for (Note* note : big) store->ensureMigrated(*note);
        editor = std::make_unique<BlockEditorView>(*store, previews);
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

void BM_PastePlainText(benchmark::State& state)
{
    Fixture& f = fixture();
    QMimeData data;
    data.setText(paragraphs(int(state.range(0)), QLatin1Char('p')));
    for (auto _ : state) {
        state.PauseTiming();
        f.empty->setBlocks({});
        f.editor->setNote(f.empty);
        RichNSTextView* view = f.lastTextView();
        // Below the title, as after typing it and Return.
        QTextCursor end(view->document());
        end.movePosition(QTextCursor::End);
        view->setTextCursor(end);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        view->pasteMimeData(&data);
        QCoreApplication::processEvents();
        f.paint();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * data.text().size());
}
BENCHMARK(BM_PastePlainText)->Arg(1'000)->Arg(10'000)->ArgName("paragraphs")->Unit(benchmark::kMillisecond);

void BM_OpenLargeNote(benchmark::State& state)
{
    Fixture& f = fixture();
    int i = 0;
    for (auto _ : state) {
        f.editor->setNote(f.big[++i % 2]);
        QCoreApplication::processEvents();
        f.paint();
    }
}
BENCHMARK(BM_OpenLargeNote)->Unit(benchmark::kMillisecond);

void BM_OpenLargeNoteBareDocument(benchmark::State& state)
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
BENCHMARK(BM_OpenLargeNoteBareDocument)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
