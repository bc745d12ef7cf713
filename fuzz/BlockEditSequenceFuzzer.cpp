#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "editor/blocks/BlockContainer.h"
#include "editor/blocks/ImageBlockController.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

// Random edits of a whole note body: typing, Returns, deletions and picture pastes in any text block,
// pictures deleted, undo and redo. Nothing may fault, and after undoing everything, redoing everything
// must give back the body as it was before the undoing began.
namespace {

QByteArray picture(int w)
{
    QImage image(w, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QStringList shape(const BlockContainer& c)
{
    QStringList out;
    for (int i = 0; i < c.blockCount(); ++i) {
        if (auto* t = c.textController(i))
            out << QStringLiteral("T:") + t->textView().text();
        else
            out << QStringLiteral("I:") + c.imageController(i)->placement().imageID.toString();
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 400) return 0;
    static const QStringList pieces{"a",          " ",
                                    "\n",         "- ",
                                    "1. ",        "word ",
                                    "e\u0301",    "\U0001F1EB\U0001F1F7",
                                    "\U0001F600", "\U0001F469\u200D\U0001F4BB"};
    auto container = std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value();
    Settings settings(std::make_unique<MemorySettingsBackend>());
    NoteStore store(container->mainContext(), Clock::system(), settings, NotificationCenter::shared());
    Note* note = container->mainContext().insert(std::make_unique<Note>(QStringLiteral("T"), QStringLiteral("x"),
                                                                        Tint::blue, Opacity::solid, std::nullopt,
                                                                        std::nullopt, QDateTime::currentDateTimeUtc()));
    BlockContainer c(note, &store, Clock::system(), ResolvedNoteTheme{}, BlockContainer::NoteStyle::floating);
    c.setWidth(400);
    c.load(true);
    UndoManager& undo = *c.blockUndoManager();
    bool joined = false;  // joining two text blocks drops their typing history by design
    const QStringList initial = shape(c);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const uint8_t op = data[i];
        std::vector<int> texts;
        for (int k = 0; k < c.blockCount(); ++k)
            if (c.textController(k)) texts.push_back(k);
        TextBlockController* t = c.textController(texts[data[i + 1] % texts.size()]);
        TextViewModel& view = t->textView();
        view.setCaret(view.length() ? data[i + 1] % (view.length() + 1) : 0);
        switch (op % 7) {
            case 0:
            case 1:
                view.insertText(pieces[op / 7 % pieces.size()]);
                break;
            case 2:
                view.deleteBackward();
                break;
            case 3:
                c.insertImages({picture(8 + op % 16)}, t->id(), view.selection().location);
                break;
            case 4:
                for (int k = 0; k < c.blockCount(); ++k)
                    if (c.imageController(k)) {
                        joined = joined || (k > 0 && c.textController(k - 1));
                        c.deleteImageBlock(c.controllerAt(k)->id());
                        break;
                    }
                break;
            case 5:
                undo.undo();
                break;
            case 6:
                undo.redo();
                break;
        }
    }
    // The top of the history: what redoing everything must come back to.
    while (undo.canRedo()) undo.redo();
    const QStringList before = shape(c);
    while (undo.canUndo()) undo.undo();
    if (!joined && shape(c) != initial) abort();
    while (undo.canRedo()) undo.redo();
    if (shape(c) != before) abort();
    return 0;
}
