#pragma once

#include <QAccessibleWidget>

class RichNSTextView;

// What assistive tools see of a text block: its text as the window shows it, read as the toolkit's
// own text editor reads it, and edits (a dictation or on-screen input tool inserting, deleting or
// replacing text, a cut or paste over the accessibility bus) that go through the block's model like
// typing, so they are stored and undoable. The toolkit's stock interface writes into the shown
// document behind the model's back.
class RichNSTextAccessible : public QAccessibleWidget,
                             public QAccessibleTextInterface,
                             public QAccessibleEditableTextInterface {
public:
    explicit RichNSTextAccessible(RichNSTextView* view);

    // Puts this interface in the place of any the toolkit made for `view` before.
    static void attach(RichNSTextView* view);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString& text) override;

    // QAccessibleTextInterface, in the positions of the shown document.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                             int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                            int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    RichNSTextView* view() const;
    enum class Side { before, at, after };
    QString textNear(Side side, int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                     int* endOffset) const;
};
