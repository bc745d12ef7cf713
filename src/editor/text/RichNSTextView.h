#pragma once

#include <QTextEdit>
#include <functional>
#include <optional>
#include <vector>

#include "design/DoubleClickGuard.h"
#include "editor/BlockView.h"
#include "editor/text/TextViewModel.h"

class DocumentTextStorage;
class QMenu;
class QMimeData;
class TextBlockController;

// The widget of one text block: a QTextEdit over the block's document that offers every key to the
// controller first and sends every change of the text (typing, deletions, cut, paste, middle-click paste,
// drops, input-method commits, its context menu) through the TextViewModel. It decides nothing itself.
class RichNSTextView : public QTextEdit, public TextGeometry, public BlockView {
    Q_OBJECT

public:
    RichNSTextView(TextBlockController& controller, DocumentTextStorage& storage, QWidget* parent = nullptr);
    ~RichNSTextView() override;
    TextBlockController& controller() const { return m_controller; }

    // Drawn while the first line is empty (the title block's "Title").
    void setTitlePlaceholder(const QString& text) { m_placeholder = text; }
    // The note view adds its items at the end of the context menu.
    void setContextMenuHook(std::function<void(QMenu*)> hook) { m_contextMenuHook = std::move(hook); }

    // The paragraph start of a to-do item whose glyph (or indent) lies at a viewport point.
    std::optional<qsizetype> todoGlyphParagraph(const QPoint& point) const;

    struct Pictures {
        std::vector<QByteArray> images;
        QStringList skipped;  // "file: reason", for the user
    };
    // The pictures of a clipboard, in order of preference: local picture files named by text/uri-list
    // (read as a drop is, within its caps), then image/png, then any image the platform decodes.
    static Pictures imageData(const QMimeData* data);

    // TextGeometry
    QRectF caretRect(qsizetype position) const override;
    qsizetype characterIndexAt(const QPointF& point) const override;
    // Meant to hide QWidget's int overload for callers holding this view: they ask for the text's height
    // in fractions. Layouts still reach the widget's own through QWidget.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Woverloaded-virtual"
#endif
    qreal heightForWidth(qreal width) const override;
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    QPointF mapToGlobal(const QPointF& point) const override;
    QPointF mapFromGlobal(const QPointF& point) const override;
    QSizeF size() const override;

    // The context menu: spelling suggestions for a misspelt word at the point (viewport coordinates),
    // the edit items, then whatever the hook adds.
    void populateContextMenu(QMenu* menu, std::optional<QPoint> at = std::nullopt);
    // Highlights a range for a second (the find highlight), leaving the selection alone.
    void flash(TextRange range);
    // Whether the placeholder shows: the first line is empty, even with body lines below it.
    bool placeholderShown() const;

    // One funnel for a clipboard, a selection or a drop.
    void pasteMimeData(const QMimeData* data, bool plainOnly = false);
    // A drop that moves: the selection of the text block `source` (a view or its viewport) goes to `at`
    // as one undo step, when that block belongs to the same note. False when the drop is no move.
    bool moveDroppedText(QObject* source, qsizetype at);
    void cut();
    void copy();

    // An edit asked for by an assistive tool over the accessibility bus (a dictation or on-screen input
    // tool inserting, deleting or replacing text): [from, to) of the shown document is replaced through
    // the model, as typing there would. Nothing happens to a block that cannot be edited.
    void editFromAssistiveTool(int from, int to, const QString& text);
    bool takesEdits() const;

    // BlockView
    void detach() override;

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    bool handleEditingKey(QKeyEvent* event);
    void deleteTo(QTextCursor::MoveOperation operation);
    void showMenu(const std::vector<std::pair<QString, std::function<void()>>>& items, const QPoint& at);
    void syncFromModel();
    void syncToModel();
    // The caret at `at` (a position in the text, not the document), as a click there places it: what is
    // put in next takes the style of the character before it.
    void placeCaretForInsertion(qsizetype at);
    void takeTypingStyleBeforeCaret();
    // Spelling marks and the flash are drawn over the text, never written into it.
    void updateExtraSelections();
    // The spelling marks around `seen` (viewport pixels) and the flash as extra selections.
    void buildExtraSelections(const QRect& seen);
    void watchDocumentLayout();
    void acceptedElsewhere(const QString& word);

    TextBlockController& m_controller;
    DocumentTextStorage& m_storage;
    TextViewModel& m_model;
    QString m_placeholder;
    std::function<void(QMenu*)> m_contextMenuHook;
    bool m_syncing = false;
    std::optional<TextRange> m_flash;
    // The view's y range (document pixels) whose spelling marks are extra selections now.
    int m_marksTop = 0;
    int m_marksBottom = -1;
    int m_flashSerial = 0;
    // A to-do box toggles on a single press: the press that follows a double click on it is part of that
    // click, not a new one.
    DoubleClickGuard m_clicks;
};
