#pragma once

#include <QPointer>
#include <QScrollArea>
#include <memory>

#include "editor/blocks/BlockContainer.h"

class BlockContainerView;
class Clock;
class FindBar;
class NoteStore;
class NotificationCenter;
class PreviewFiles;
class QLabel;
class SpellChecker;

// What a note's editor works with, shared by every editor of the application.
struct EditorServices {
    NoteStore& store;
    PreviewFiles& previews;  // the files the picture preview shows
    Clock& clock;            // stamps the edits, times the scroll bar
    NotificationCenter& notifications;
    SpellChecker& spelling;
};

// A note body in a scroll view: the block container and its widget and a line above the blocks when the
// body is read-only. The note view embeds it and shows its notices of skipped input.
class BlockEditorView : public QScrollArea {
    Q_OBJECT

public:
    explicit BlockEditorView(const EditorServices& services, QWidget* parent = nullptr);
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

Q_SIGNALS:
    // Input that was left out, or a note too long to show whole: a short text for the note's notice.
    void notice(const QString& message);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void syncViewport();
    void showReadOnly();
    void flash(TextBlockController* text, qsizetype start, qsizetype length);

    NoteStore& m_store;
    PreviewFiles& m_previews;
    const Clock& m_clock;
    NotificationCenter& m_notifications;
    SpellChecker& m_spelling;
    ResolvedNoteTheme m_theme;
    qreal m_gutter = 0;
    std::unique_ptr<BlockContainer> m_container;
    BlockContainerView* m_view = nullptr;
    QLabel* m_readOnly;
    FindBar* m_findBar;
    QString m_themeStamp;
    std::optional<QColor> m_appliedInk;
};
