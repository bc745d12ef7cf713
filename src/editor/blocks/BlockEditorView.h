#pragma once

#include <QPointer>
#include <QScrollArea>
#include <memory>

#include "editor/blocks/BlockContainer.h"

class BlockContainerView;
class FindBar;
class NoteStore;
class PreviewFiles;
class QLabel;

// A note body in a scroll view: the block container and its widget, a line above the blocks when the
// body is read-only, and the short notices of skipped input. The note view embeds it.
class BlockEditorView : public QScrollArea {
    Q_OBJECT

public:
    BlockEditorView(NoteStore& store, PreviewFiles& previews, QWidget* parent = nullptr);
    ~BlockEditorView() override;

    void setNote(Note* note);
    void setTheme(const ResolvedNoteTheme& theme);
    void setGutterWidth(qreal gutter);
    // Puts the caret into the body: the last focused text block, else the start of the body.
    void focusBody();
    // Closes the editor of the note shown: pictures the body no longer names are collected and the
    // preview files of the note go.
    void closeNote();

    BlockContainer* container() const { return m_container.get(); }
    BlockContainerView* containerView() const { return m_view; }
    QString readOnlyLine() const;
    // Opens the find bar on the focused text block (the first one when no block has the focus).
    void showFindBar();
    FindBar* findBar() const { return m_findBar; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void syncViewport();
    void showReadOnly();
    void flash(TextBlockController* text, qsizetype start, qsizetype length);

    NoteStore& m_store;
    PreviewFiles& m_previews;
    ResolvedNoteTheme m_theme;
    qreal m_gutter = 0;
    std::unique_ptr<BlockContainer> m_container;
    BlockContainerView* m_view = nullptr;
    QLabel* m_readOnly;
    FindBar* m_findBar;
    QString m_themeStamp;
    std::optional<QColor> m_appliedInk;
};
