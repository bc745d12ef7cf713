#pragma once

#include "editor/blocks/BlockEditorView.h"
#include "note/NoteBody.h"

class OverlayScrollBar;

// The note view's body: the block editor, reaching into the view's gutter.
class BlockNoteBody : public NoteBody {
    Q_OBJECT
public:
    BlockNoteBody(const EditorServices& services, int gutter, QWidget* parent = nullptr);
    ~BlockNoteBody() override;

    void setNote(Note* note) override;
    void setTheme(const ResolvedNoteTheme& theme) override;
    void focusBody() override;
    void showFindBar() override;
    void focusTitle() override;
    void catchUp() override;
    void setScrollBarBottomInset(int inset) override;
    QMenu* createEditMenu(const QPoint& pos) override;

    BlockEditorView* editor() const { return m_editor; }
    OverlayScrollBar* scrollBar() const { return m_scrollBar; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchForMenus(QWidget* widget);

    BlockEditorView* m_editor;
    OverlayScrollBar* m_scrollBar;
};
