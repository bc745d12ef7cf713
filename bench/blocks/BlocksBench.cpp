// A body of 200 pictures of 1600 x 1200 between 200 text blocks: opening, laying out and scrolling to the
// end against decoding the 200 pictures once; ten width changes; one keystroke's write against one
// encoding of the body's envelope.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <memory>

#include "editor/blocks/BlockContainer.h"
#include "editor/blocks/ImageBlockController.h"
#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"
#include "model/NoteImage.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

#include "BenchMain.h"

namespace {

constexpr int kPictures = 200;

Settings& memorySettings()
{
    static Settings settings(std::make_unique<MemorySettingsBackend>());
    return settings;
}

QByteArray photo(int i)
{
    QImage image(1600, 1200, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((i * 37) % 360, 160, 200));
    for (int y = 0; y < 1200; y += 40) image.setPixelColor(i % 1600, y, Qt::black);  // distinct bytes
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes;
}

struct Body {
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    Note* note = nullptr;
    std::vector<QByteArray> bytes;

    Body()
    {
        container = std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value();
        ModelContext& context = container->mainContext();
        note = context.insert(std::make_unique<Note>(QStringLiteral("Album"), QString(), Tint::blue, Opacity::solid,
                                                     std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        store = std::make_unique<NoteStore>(context, Clock::system(), memorySettings(), NotificationCenter::shared());
        QHash<QString, NoteImage*> reuse;
        QVector<NoteBlock> blocks;
        for (int i = 0; i < kPictures; ++i) {
            bytes.push_back(photo(i));
            NoteImage* row = store->insertImageRow(bytes.back(), note->uuid(), reuse);
            blocks.append(
                NoteBlock::text(TextRuns{QStringLiteral("A caption for picture %1, a line of words.").arg(i), {}}));
            blocks.append(NoteBlock::image(ImagePlacement{row->uuid(), ImageSizing::makeFit()}));
        }
        blocks.append(NoteBlock::text(TextRuns{}));
        note->setBlocks(blocks);
        store->saveNow();
    }
    static Body& shared()
    {
        static Body body;
        return body;
    }
};

std::unique_ptr<BlockContainer> openEditor(Body& body)
{
    auto editor = std::make_unique<BlockContainer>(body.note, body.store.get(), Clock::system(), ResolvedNoteTheme{},
                                                   BlockContainer::NoteStyle::floating);
    editor->setWidth(420);
    editor->setViewport(0, 600);
    editor->load(true);
    return editor;
}

void decodeEveryPictureOnce(benchmark::State& state)
{
    Body& body = Body::shared();
    for (auto _ : state) {
        for (const QByteArray& bytes : body.bytes) {
            QByteArray data = bytes;
            QBuffer buffer(&data);
            buffer.open(QIODevice::ReadOnly);
            QImage image = QImageReader(&buffer).read();
            benchmark::DoNotOptimize(image);
        }
    }
}
BENCHMARK(decodeEveryPictureOnce)->Unit(benchmark::kMillisecond);

void openLayOutAndScrollToTheEnd(benchmark::State& state)
{
    Body& body = Body::shared();
    int decodes = 0;
    int held = 0;
    for (auto _ : state) {
        auto editor = openEditor(body);
        for (qreal top = 0; top < editor->contentHeight(); top += 600) editor->setViewport(top, 600);
        decodes = editor->pictures().decodeCount();
        held = editor->pictures().heldCount();
    }
    state.counters["decodes"] = decodes;
    state.counters["held at the end"] = held;
}
BENCHMARK(openLayOutAndScrollToTheEnd)->Unit(benchmark::kMillisecond);

void tenWidthChanges(benchmark::State& state)
{
    Body& body = Body::shared();
    auto editor = openEditor(body);
    int before = editor->pictures().decodeCount();
    for (auto _ : state)
        for (int i = 0; i < 10; ++i) editor->setWidth(300 + 20 * i);
    state.counters["decodes"] = editor->pictures().decodeCount() - before;
}
BENCHMARK(tenWidthChanges)->Unit(benchmark::kMillisecond);

void encodeTheBody(benchmark::State& state)
{
    Body& body = Body::shared();
    const QVector<NoteBlock> blocks = body.note->blocks();
    for (auto _ : state) benchmark::DoNotOptimize(NoteBlockEnvelope::encode(blocks));
}
BENCHMARK(encodeTheBody)->Unit(benchmark::kMicrosecond);

void oneKeystrokeWrite(benchmark::State& state)
{
    Body& body = Body::shared();
    auto editor = openEditor(body);
    TextBlockController* text = editor->textController(2);
    text->textView().setCaret(0);
    bool insert = true;
    for (auto _ : state) {
        // Typing and deleting a character: each is one write of the body.
        if (insert)
            text->textView().insertText(QStringLiteral("x"));
        else
            text->textView().deleteBackward();
        insert = !insert;
    }
}
BENCHMARK(oneKeystrokeWrite)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
