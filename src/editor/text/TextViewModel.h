#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <optional>

#include "editor/text/TextStorage.h"

#include "platform/UndoManager.h"

struct TextRange {
    qsizetype location = 0;
    qsizetype length = 0;
    qsizetype end() const { return location + length; }
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// What only a laid-out view knows. Positions are UTF-16 offsets; points are in view coordinates.
class TextGeometry {
public:
    virtual ~TextGeometry() = default;
    // The caret's rectangle at a position (one line tall).
    virtual QRectF caretRect(qsizetype position) const = 0;
    // The insertion position nearest to a point.
    virtual qsizetype characterIndexAt(const QPointF& point) const = 0;
    // The height the text needs at a width.
    virtual qreal heightForWidth(qreal width) const = 0;
    virtual QPointF mapToGlobal(const QPointF& point) const = 0;
    virtual QPointF mapFromGlobal(const QPointF& point) const = 0;
    virtual QSizeF size() const = 0;
};

// Told of every change before and after it is made.
class TextViewDelegate {
public:
    virtual ~TextViewDelegate() = default;
    // Asked before a change; no replacement means a change of attributes only.
    virtual bool textShouldChange(TextRange range, const std::optional<QString>& replacement) = 0;
    virtual void textDidChange() = 0;
    virtual void selectionDidChange() = 0;
};

// A text view without a widget: the selection, the typing attributes, the editable flag, composing
// (marked) text and undo over one TextStorage. Every change of the text, the user's and the program's,
// goes through it: shouldChangeText(), replaceCharacters(), didChangeText().
class TextViewModel : public QObject {
    Q_OBJECT

public:
    explicit TextViewModel(TextStorage& storage, QObject* parent = nullptr);

    TextStorage& storage() const { return m_storage; }
    const QString& text() const { return m_storage.text(); }
    qsizetype length() const { return m_storage.length(); }

    void setDelegate(TextViewDelegate* delegate) { m_delegate = delegate; }
    void setUndoManager(UndoManager* undoManager);
    UndoManager* undoManager() const { return m_undoManager; }
    void setGeometry(TextGeometry* geometry) { m_geometry = geometry; }
    TextGeometry* geometry() const { return m_geometry; }

    TextRange selection() const { return m_selection; }
    // Clamped into the text.
    void setSelection(TextRange range);
    void setCaret(qsizetype position) { setSelection({position, 0}); }

    const TextAttributes& typingAttributes() const { return m_typingAttributes; }
    void setTypingAttributes(const TextAttributes& attributes) { m_typingAttributes = attributes; }

    bool isEditable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }

    // An input method is composing: its text is shown but not yet in the storage.
    bool hasMarkedText() const { return m_hasMarkedText; }
    void setHasMarkedText(bool marked) { m_hasMarkedText = marked; }

    // The three steps of every change.
    bool shouldChangeText(TextRange range, const std::optional<QString>& replacement);
    // Replaces the characters (line breaks normalised) and records the reverse for undo; with coalesce,
    // the reverse joins the typing step still open.
    void replaceCharacters(TextRange range, const AttributedText& with, bool coalesce = false);
    void didChangeText();

    void breakUndoCoalescing();

    // The user's edits. Each asks, replaces, tells, and places the caret; false when refused.
    bool insertText(const QString& text);
    bool insertAttributedText(const AttributedText& text);
    bool deleteRange(TextRange range);
    bool deleteBackward();
    bool deleteForward();
    // Moves the selected text to a position outside it, as one undo step.
    bool moveSelection(qsizetype to);

    AttributedText selectedText() const;
    void undo();
    void redo();

Q_SIGNALS:
    void selectionChanged();

private:
    void followChange(qsizetype start, qsizetype removed, qsizetype added);
    void revert(qsizetype location, qsizetype length, const AttributedText& old);

    TextStorage& m_storage;
    TextViewDelegate* m_delegate = nullptr;
    QPointer<UndoManager> m_undoManager;
    TextGeometry* m_geometry = nullptr;
    TextRange m_selection;
    TextAttributes m_typingAttributes;
    bool m_editable = true;
    bool m_hasMarkedText = false;
    bool m_typing = false;
};
