#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <functional>
#include <optional>

#include "editor/BlockController.h"
#include "editor/BlockHost.h"
#include "editor/text/FormatCommand.h"
#include "editor/text/MarkdownAutoFormat.h"
#include "editor/text/SpellingMarks.h"
#include "editor/text/TextViewModel.h"

class NotificationCenter;

// Edits one text block of a note body: loads it from its runs, runs the edit cycle after every change
// (title and list restyling, ordered-list renumbering, Return continuation, markdown shortcuts, telling
// the host), applies the format commands and hands the block back as runs. It works on a TextViewModel;
// a RichNSTextView shows that model and routes the user's edits through it.
class TextBlockController : public QObject, public BlockController, private TextViewDelegate {
    Q_OBJECT

public:
    enum class NoteStyle { floating, reader, card };

    // One item of the slash menu; an empty title is a separator.
    struct MenuItem {
        QString title;
        std::function<void()> action;
    };

    TextBlockController(const QUuid& id, BlockHost* host, bool isTitleBlock, const ResolvedNoteTheme& theme,
                        NoteStyle noteStyle, TextStorage& storage, QObject* parent = nullptr);
    ~TextBlockController() override;

    // BlockController
    QUuid id() const override { return m_id; }
    QWidget* view() const override { return m_view; }
    bool isFocused() const override { return m_focused; }
    bool matches(const NoteBlock& block) const override { return block.isText(); }
    qreal heightForWidth(qreal width) override;
    void apply(const NoteBlock& block) override;
    // The same for an undo or redo of a structural edit: the block returns to what it held when that
    // edit was made, so the typing recorded before it still fits and is kept.
    void applyKeepingHistory(const NoteBlock& block);
    NoteBlock snapshot() const override;
    void applyTheme(const ResolvedNoteTheme& theme, const std::optional<QColor>& previousInk) override;
    void focus(const CaretPlacement& placement) override;

    void load(const TextRuns& runs, const std::optional<QString>& title, std::optional<qsizetype> caret);
    BlockBoundary dropBoundary(const QPointF& point) const;
    qreal minimumHeight() const;

    // Keys offered before the view handles them; true when consumed. `key` and `modifiers` as Qt gives
    // them (Shift+Return and keypad Enter arrive as Return, Shift+Tab as Backtab); `text` is the key's text.
    bool handleKeyDown(int key, Qt::KeyboardModifiers modifiers, const QString& text);
    void apply(FormatCommand command);
    bool handleReturnInTitle();
    void postFormatState();
    void toggleTodo(qsizetype paragraphStart);

    // The view reports these; each answers whether the host took the key over.
    void setFocused(bool focused);
    bool boundaryMove(BlockFocusDirection direction);
    bool backspaceAtStart();
    bool deleteForwardAtEnd();
    void pasteImages(const std::vector<QByteArray>& pictures);
    // Pasted text at the selection, as one step, with the addresses in it linked.
    bool pasteText(AttributedText text);
    // Replaces a word by a spelling suggestion, as one step, in the word's own style.
    bool replaceWord(TextRange word, const QString& with);
    // A private note's words are not handed to the spelling dictionary, which keeps them in the clear.
    bool inPrivateNote() const;
    SpellingMarks& spelling() { return m_spelling; }
    const SpellingMarks& spelling() const { return m_spelling; }
    void reportSkipped(const QString& message);
    void viewFrameChanged();
    // Asks the view to take the keyboard focus.
    void setFocusTaker(std::function<void()> taker) { m_takeFocus = std::move(taker); }
    void setView(QWidget* view) { m_view = view; }
    // Shows the slash menu (a view hook; tests call the items directly).
    void setMenuPresenter(std::function<void(const std::vector<MenuItem>&)> presenter)
    {
        m_menuPresenter = std::move(presenter);
    }
    std::vector<MenuItem> slashMenuItems();
    // Closes the find bar aimed at this block, if any (the bar sets the hook while it is).
    void hideFindBar()
    {
        if (m_findBarHider) m_findBarHider();
    }
    void setFindBarHider(std::function<void()> hider) { m_findBarHider = std::move(hider); }
    // Where the format state and the note actions are posted; without one, nowhere.
    void setNotificationCenter(NotificationCenter* center) { m_notifications = center; }

    TextViewModel& textView() { return m_model; }
    const TextViewModel& textView() const { return m_model; }
    bool isTitleBlock() const { return m_isTitleBlock; }
    // The controller is replacing the whole text itself (load, re-ink): the changes then are no edits.
    bool isLoading() const { return m_isLoading; }
    const ResolvedNoteTheme& theme() const { return m_theme; }
    TextAttributes titleAttributes() const;
    TextAttributes titlePlaceholderAttributes() const;
    // What an empty first line shows: "Title" in the title block, nothing elsewhere.
    QString titlePlaceholder() const { return m_isTitleBlock ? QStringLiteral("Title") : QString(); }
    TextFont bodyFont() const;

    // Cycles run and host commits made so far (tests check that one edit is one cycle).
    int cycleCount() const { return m_cycles; }

    // The list work of the cycle over the paragraphs from..to (the run around them for renumbering);
    // 0..length is the whole walk.
    void restyleListParagraphs(qsizetype from, qsizetype to);
    bool renumberOrderedLists(qsizetype from, qsizetype to);
    // Fonts flipped for Bold and Italic keep their family and size.
    static TextFont flipTrait(const TextFont& font, bool bold, bool on);

Q_SIGNALS:
    void placeholderChanged();

private:
    // TextViewDelegate
    bool textShouldChange(TextRange range, const std::optional<QString>& replacement) override;
    void textDidChange() override;
    void selectionDidChange() override;

    BlockHost* host() const;
    UndoManager* undoManager() const;
    BaseStyle codecBase() const;
    qsizetype bodyStart() const;
    TextRange paragraphRange(TextRange range) const;
    // One undoable edit of the controller's own, run through the edit cycle once more. The selection it
    // leaves is set before that cycle, so the cycle's own renumbering keeps it where it belongs.
    bool programmaticEdit(TextRange range, const AttributedText& with,
                          std::optional<TextRange> selectionAfter = std::nullopt);
    // With recorded, the attributes it replaces join the undo step of the edit being cycled, so that
    // Undo gives back exactly what was there.
    void restyleTitleParagraph(bool recorded = false);
    // Body text from..to (to the end of its line) that carries the title's face gets the body's.
    void restyleTitleFaceInBody(qsizetype from, qsizetype to);
    void setAttributesRecorded(qsizetype start, const AttributedText& restyled, bool recorded);
    bool handleReturn();
    bool applyMarkdown(qsizetype delta);
    void commit();
    void toggleTrait(bool bold);
    void toggleLine(bool underline);
    void clearFormatting();
    void pasteMatchStyle();
    bool paragraphCommand(const std::function<std::optional<MarkdownAutoFormat::Selection>(AttributedText&, qsizetype,
                                                                                           qsizetype)>& command,
                          bool alwaysSelectRange);
    bool shiftIndent(int direction);
    bool atSlashPosition() const;
    void showSlashMenu();
    void slashInsertMarker(const QString& marker);
    void postNoteAction(const QString& action);
    void takeDirtyRange(qsizetype& from, qsizetype& to);
    // Links the address that the separator just typed before the caret ended, joining that keystroke's
    // undo step.
    void linkTypedAddress();
    // Whether a range may become a link: outside the title line (which ends at titleEnd, -1 for none)
    // and any existing link.
    bool mayLink(qsizetype start, qsizetype length, const AttributedText& text, qsizetype titleEnd) const;

    QUuid m_id;
    BlockHost* m_host;
    QPointer<QObject> m_hostGuard;
    bool m_isTitleBlock;
    ResolvedNoteTheme m_theme;
    NoteStyle m_noteStyle;
    TextViewModel m_model;
    SpellingMarks m_spelling;
    QWidget* m_view = nullptr;
    NotificationCenter* m_notifications = nullptr;
    std::function<void(const std::vector<MenuItem>&)> m_menuPresenter;
    std::function<void()> m_takeFocus;
    std::function<void()> m_findBarHider;
    QHash<QString, ParagraphStyle> m_listStyles;  // by marker prefix and font

    bool m_focused = false;
    bool m_isCommitting = false;
    bool m_isLoading = false;
    bool m_breakAfterChange = false;
    bool m_suppressAutoFormat = false;
    qsizetype m_previousLength = 0;
    std::optional<QSet<QString>> m_lastPostedState;
    std::optional<QColor> m_appliedInk;

    // The range of the text changed since the last cycle looked, in current positions; -1 when none.
    qsizetype m_dirtyFrom = -1;
    qsizetype m_dirtyTo = -1;
    bool m_restyling = false;
    // The next cycle walks the whole text (after a load, an undo or a skipped fix).
    bool m_fullWalk = true;
    // The marker before the caret was written by Return handling, not typed: renumbering may fix it.
    bool m_renumberAtCaret = false;
    bool m_keepHistory = false;
    int m_cycles = 0;
};
