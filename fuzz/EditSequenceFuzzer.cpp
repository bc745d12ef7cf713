#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "editor/BlockHost.h"
#include "editor/text/TextBlockController.h"
#include "platform/UndoManager.h"

// Random edits of a text block: typing, deletions, list keys, commands, undo and redo. Nothing may fault,
// the document must mirror the text, undoing everything must give back the text it started from, and
// redoing everything then must give back the text as it was before the undoing.
namespace {

class Host : public QObject, public BlockHost {
public:
    UndoManager undo;
    QUuid noteID() const override { return {}; }
    Note* note() const override { return nullptr; }
    NoteStore* noteStore() const override { return nullptr; }
    BaseStyle codecBase() const override { return BaseStyle{TextFont{}, QColor(Qt::black), {}}; }
    UndoManager* blockUndoManager() const override { return const_cast<UndoManager*>(&undo); }
    qreal paperWidth() const override { return 400; }
    void blockNeedsLayout() override {}
    void focusDidChange(const std::optional<QUuid>&) override {}
    void blockDidChange(const QUuid&) override {}
    bool moveFocus(const QUuid&, BlockFocusDirection, std::optional<qreal>) override { return false; }
    std::optional<int> indexOfBlock(const QUuid&) const override { return 0; }
    bool isLastBlock(const QUuid&) const override { return true; }
    bool backspaceAtStart(const QUuid&) override { return false; }
    bool deleteForwardAtEnd(const QUuid&) override { return false; }
    void insertImages(const std::vector<QByteArray>&, const QUuid&, qsizetype) override {}
    void insertImages(const std::vector<QByteArray>&, int) override {}
    void deleteImageBlock(const QUuid&) override {}
    void previewImageSizing(const QUuid&, double) override {}
    void setImageSizing(const QUuid&, const ImageSizing&) override {}
    std::optional<QUuid> insertTextBlock(const QUuid&) override { return std::nullopt; }
    void focusTextBeside(const QUuid&) override {}
    void reportSkipped(const QString&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    static const QStringList pieces{"a",         " ",       "\n",         "-",
                                    "*",         "1",       ".",          ")",
                                    "[",         "]",       "#",          "\t",
                                    "\u2610 ",   "\u2022 ", "e\u0301",    "\U0001F1EB\U0001F1F7",
                                    "\r\n",      "    ",    "\U0001F600", "\U0001F469\u200D\U0001F4BB",
                                    "\U0001D400"};
    Host host;
    DocumentTextStorage storage;
    const bool title = data[0] & 1;
    TextBlockController controller(QUuid::createUuid(), &host, title, ResolvedNoteTheme{},
                                   TextBlockController::NoteStyle::floating, storage);
    TextViewModel& view = controller.textView();
    const QString initial = view.text();
    for (size_t i = 1; i + 1 < size; i += 2) {
        const uint8_t op = data[i];
        const qsizetype at = view.length() ? data[i + 1] % (view.length() + 1) : 0;
        switch (op % 10) {
            case 0:
            case 1:
            case 2:
                view.setCaret(at);
                view.insertText(pieces[op / 10 % pieces.size()]);
                break;
            case 3:
                view.setCaret(at);
                if (!controller.handleKeyDown(Qt::Key_Return, Qt::NoModifier, "\r")) view.insertText("\n");
                break;
            case 4:
                view.setSelection({at, op / 10 % 4});
                view.deleteBackward();
                break;
            case 5:
                view.setSelection({at, op / 10 % 6});
                controller.apply(static_cast<FormatCommand>(op / 10 % 10));
                break;
            case 6:
                view.setCaret(at);
                controller.handleKeyDown(op & 0x80 ? Qt::Key_Backtab : Qt::Key_Tab, Qt::NoModifier, "\t");
                break;
            case 7:
                host.undo.undo();
                break;
            case 8:
                host.undo.redo();
                break;
            case 9:
                view.setSelection({at, op / 10 % 5});
                view.moveSelection(data[i + 1] % (view.length() + 1));
                break;
        }
        if (storage.readDocument() != storage.attributedText()) abort();
    }
    // The top of the history: what redoing everything must come back to.
    while (host.undo.canRedo()) host.undo.redo();
    if (storage.readDocument() != storage.attributedText()) abort();
    const QString before = view.text();
    while (host.undo.canUndo()) host.undo.undo();
    if (view.text() != initial) abort();
    while (host.undo.canRedo()) host.undo.redo();
    if (view.text() != before) abort();
    return 0;
}
