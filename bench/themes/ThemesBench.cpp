// One step of a drag in a note's palette: the override written, the store saved, the change announced
// and every open note view reacting, with the changed note repainted.
// - A paper step with 10 open notes of 50,000 characters and 200 stored themes, beside the same with
//   one note of 100 characters and no themes: at most 1.3x.
// - The same paper step over a store of 100,000 notes, beside one of 10 notes: at most 1.2x.
// - An ink step (the text restyled once) beside a paper step plus one direct restyle of the same body
//   by its block editor: at most 1.5x.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <map>

#include "model/Note.h"
#include "model/NoteTheme.h"
#include "themes/NotePalette.h"

#include "BenchMain.h"
#include "NoteViewServices.h"

namespace {

struct Shape {
    int views;
    int characters;  // per open note
    int themes;
    int storedNotes;  // in all, the open ones included
    bool operator<(const Shape& o) const
    {
        return std::tie(views, characters, themes, storedNotes) <
               std::tie(o.views, o.characters, o.themes, o.storedNotes);
    }
};

const Shape kSmall{1, 100, 0, 1};
const Shape kLarge{10, 50'000, 200, 10};
const Shape kLargeStore{10, 50'000, 200, 100'000};

struct Fixture : NoteViewServices {
    explicit Fixture(const Shape& shape)
    {
        ModelContext& context = container->mainContext();
        for (int i = 0; i < shape.themes; ++i)
            context.insert(std::make_unique<NoteTheme>(QStringLiteral("T%1").arg(i), QStringLiteral("Theme %1").arg(i),
                                                       QColor::fromHsv(i % 360, 40, 250), std::nullopt, std::nullopt,
                                                       1.0, 0));
        for (int i = shape.views; i < shape.storedNotes; ++i)
            context.insert(std::make_unique<Note>(QStringLiteral("Stored %1").arg(i), QStringLiteral("a line"),
                                                  Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                                  QDateTime::currentDateTimeUtc()));
        const int blocks = std::max(1, shape.characters / 250);
        for (int v = 0; v < shape.views; ++v) {
            Note* note =
                context.insert(std::make_unique<Note>("Open", QString(), Tint::blue, Opacity::solid, std::nullopt,
                                                      std::nullopt, QDateTime::currentDateTimeUtc()));
            QVector<NoteBlock> list;
            for (int b = 0; b < blocks; ++b)
                list.append(NoteBlock::text(TextRuns{QString(shape.characters / blocks, QChar(u'a' + v % 26)), {}}));
            note->setBlocks(list);
            notes.append(note);
        }
        store->saveNow();
        for (Note* note : notes) {
            auto view = makeView();
            view->resize(420, 320);
            view->setNote(note);
            view->setActive(true);
            view->show();
            views.push_back(std::move(view));
        }
        bare = std::make_unique<BlockEditorView>(editorServices());
        bare->resize(420, 320);
        bare->setNote(notes.first());
        bare->show();
        QCoreApplication::processEvents();
        palette = std::make_unique<NotePalette>(*store, *notes.first(), NotePalette::Editors{});
    }
    void paintFirst()
    {
        QImage target(views.front()->size(), QImage::Format_ARGB32_Premultiplied);
        views.front()->render(&target);
    }

    QList<Note*> notes;
    std::vector<std::unique_ptr<NoteView>> views;
    std::unique_ptr<BlockEditorView> bare;
    std::unique_ptr<NotePalette> palette;
};

Fixture& fixture(const Shape& shape)
{
    // One at a time: the large stores are big.
    static std::unique_ptr<Fixture> current;
    static Shape currentShape{-1, 0, 0, 0};
    if (!current || currentShape < shape || shape < currentShape) {
        current.reset();
        current = std::make_unique<Fixture>(shape);
        currentShape = shape;
    }
    return *current;
}

const QColor kSteps[2] = {QColor(0x2B, 0x5C, 0x93), QColor(0x93, 0x5C, 0x2B)};

void paperSteps(benchmark::State& state, const Shape& shape)
{
    Fixture& f = fixture(shape);
    int i = 0;
    for (auto _ : state) {
        f.palette->setPaper(kSteps[++i % 2]);
        f.paintFirst();
    }
}

void BM_PaperStepOneSmallNote(benchmark::State& state)
{
    paperSteps(state, kSmall);
}
BENCHMARK(BM_PaperStepOneSmallNote)->Unit(benchmark::kMicrosecond);

void BM_PaperStepTenLargeNotes(benchmark::State& state)
{
    paperSteps(state, kLarge);
}
BENCHMARK(BM_PaperStepTenLargeNotes)->Unit(benchmark::kMicrosecond);

void BM_PaperStepHundredThousandNotes(benchmark::State& state)
{
    paperSteps(state, kLargeStore);
}
BENCHMARK(BM_PaperStepHundredThousandNotes)->Unit(benchmark::kMicrosecond);

void BM_InkStepTenLargeNotes(benchmark::State& state)
{
    Fixture& f = fixture(kLarge);
    int i = 0;
    for (auto _ : state) {
        f.palette->setInk(kSteps[++i % 2]);
        f.paintFirst();
    }
}
BENCHMARK(BM_InkStepTenLargeNotes)->Unit(benchmark::kMicrosecond);

// The least an ink change costs: the block editor restyling the same body directly.
void BM_DirectRestyleOfOneLargeNote(benchmark::State& state)
{
    Fixture& f = fixture(kLarge);
    ResolvedNoteTheme theme = f.store->look(*f.notes.first()).theme;
    int i = 0;
    for (auto _ : state) {
        theme.ink = kSteps[++i % 2];
        f.bare->setTheme(theme);
    }
}
BENCHMARK(BM_DirectRestyleOfOneLargeNote)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
