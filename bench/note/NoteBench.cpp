// The note view on a note of 50,000 characters with 200 pictures (offscreen): switching the card
// between two such notes, first paint included; and the view's work per keystroke (a body change and
// its count and refresh) beside one grapheme count of that body, the least any count must do; and the
// repaint a keystroke asks for.
// The body slot is empty there. With the block editor as the body: switching the card between two notes
// of 50,000 characters in 200 text blocks and 200 pictures, first paint included, beside loading the same
// notes into a bare block editor of the same size and painting it; the card should cost at most 1.3x.
#include <benchmark/benchmark.h>

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

Fixture& fixture()
{
    static Fixture f;
    return f;
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

PictureFixture& pictureFixture()
{
    static PictureFixture f;
    return f;
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

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
