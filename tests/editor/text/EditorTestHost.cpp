// A small window that edits one note of the real store with the text editor, for the black-box test
// until the note window carries the editor. Opens the newest note, or a new one on an empty store; every
// edit is written into the note and saved at once.
#include <QApplication>
#include <QDateTime>
#include <QVBoxLayout>
#include <QWidget>

#include "design/TarnwickType.h"
#include "editor/BlockHost.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/TextBlockController.h"
#include "model/Note.h"
#include "model/NoteDocument.h"
#include "model/text/RichTextBridge.h"
#include "platform/Clock.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "platform/QuitOnSignal.h"
#include "platform/Settings.h"
#include "platform/SpellChecker.h"
#include "platform/UndoManager.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"
#include "store/ResolvedNoteLook.h"

namespace {

class EditorWindow : public QWidget, public BlockHost {
public:
    EditorWindow(NoteStore& store, Note& note) : m_store(store), m_note(note)
    {
        m_store.ensureMigrated(m_note);
        const ResolvedNoteTheme theme = m_store.look(m_note).theme;
        const QVector<NoteBlock> blocks = m_note.blocks();
        const NoteBlock first = blocks.isEmpty() || !blocks.front().isText() ? NoteBlock() : blocks.front();
        m_controller = std::make_unique<TextBlockController>(first.id, this, true, theme,
                                                             TextBlockController::NoteStyle::floating, m_storage);
        m_view = new RichNSTextView(*m_controller, m_storage, this);
        m_controller->spelling().setChecker(&SpellChecker::desktop());
        m_view->setTitlePlaceholder(QStringLiteral("Title"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(8, 8, 8, 8);
        layout->addWidget(m_view);
        m_loading = true;
        m_controller->load(*first.textRuns(), m_note.title(), std::nullopt);
        m_loading = false;
        m_controller->focus(CaretPlacement::documentStart());
        resize(420, 480);
        setWindowTitle(m_note.displayTitle());
    }

    // The view shows the storage's document, so it goes before the storage does.
    ~EditorWindow() override { delete m_view; }

    QUuid noteID() const override { return m_note.uuid(); }
    Note* note() const override { return &m_note; }
    NoteStore* noteStore() const override { return &m_store; }
    BaseStyle codecBase() const override
    {
        const ResolvedNoteTheme theme = m_store.look(m_note).theme;
        return BaseStyle{RichTextBridge::baseFont(theme), theme.ink, {}};
    }
    UndoManager* blockUndoManager() const override { return const_cast<UndoManager*>(&m_undo); }
    qreal paperWidth() const override { return width(); }
    void blockNeedsLayout() override {}
    void focusDidChange(const std::optional<QUuid>&) override {}
    void blockDidChange(const QUuid&) override
    {
        if (m_loading) return;
        const NoteBlock block = m_controller->snapshot();
        const QString title = NoteDocument::split(m_storage.attributedText()).title;
        QVector<NoteBlock> blocks = m_note.blocks();
        if (blocks.isEmpty() || !blocks.front().isText())
            blocks.prepend(block);
        else
            blocks.front() = block;
        if (title == m_note.title() && blocks == m_note.blocks()) return;
        m_note.setBlocks(blocks);
        m_note.setTitle(title);
        m_note.setUpdatedAt(QDateTime::currentDateTimeUtc());
        m_store.saveNow();
        setWindowTitle(m_note.displayTitle());
    }
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
    void reportSkipped(const QString& message) override { qWarning("skipped %s", qPrintable(message)); }

private:
    NoteStore& m_store;
    Note& m_note;
    UndoManager m_undo;
    DocumentTextStorage m_storage;
    std::unique_ptr<TextBlockController> m_controller;
    RichNSTextView* m_view = nullptr;
    bool m_loading = false;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnwick"));
    QuitOnSignal::install();
    TarnwickType::registerBundledFonts();
    NoteStore store(PersistenceController::shared(Clock::system()).mainContext(), Clock::system(), Settings::shared(),
                    NotificationCenter::shared());
    const QList<Note*> notes = store.allActive();
    Note* note = notes.isEmpty() ? nullptr : notes.front();
    if (!note) {
        note =
            store.context().insert(std::make_unique<Note>(QString(), QString(), Tint::blue, Opacity::solid,
                                                          std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        store.saveNow();
    }
    EditorWindow window(store, *note);
    window.show();
    const int rc = app.exec();
    store.saveNow();
    return rc;
}
