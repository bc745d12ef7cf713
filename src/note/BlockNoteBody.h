#pragma once

#include "note/NoteBody.h"

class BlockEditorView;
class NoteStore;
class PreviewFiles;

// The note view's body: the block editor, reaching into the view's gutter.
class BlockNoteBody : public NoteBody {
    Q_OBJECT
public:
    BlockNoteBody(NoteStore& store, PreviewFiles& previews, int gutter, QWidget* parent = nullptr);
    ~BlockNoteBody() override;

    void setNote(Note* note) override;
    void setTheme(const ResolvedNoteTheme& theme) override;
    void focusBody() override;
    void showFindBar() override;
    QMenu* createEditMenu(const QPoint& pos) override;

    BlockEditorView* editor() const { return m_editor; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchForMenus(QWidget* widget);

    BlockEditorView* m_editor;
};
