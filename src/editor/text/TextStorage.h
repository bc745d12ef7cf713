#pragma once

#include <QObject>
#include <QTextCharFormat>
#include <functional>
#include <memory>
#include <vector>

#include "model/text/AttributedText.h"

class QTextCursor;
class QTextDocument;
class QTimer;

// The characters and attributes of one text block. Every change goes through replace() or modify(); the
// view model decides which of them are undoable. Line breaks are always "\n".
class TextStorage : public QObject {
    Q_OBJECT

public:
    explicit TextStorage(QObject* parent = nullptr) : QObject(parent) {}

    const AttributedText& attributedText() const { return m_text; }
    const QString& text() const { return m_text.text(); }
    qsizetype length() const { return m_text.length(); }
    AttributedText attributedSubstring(qsizetype start, qsizetype length) const { return m_text.mid(start, length); }
    TextAttributes attributesAt(qsizetype position) const { return m_text.attributesAt(position); }

    // Replaces a range (clipped to the text) with characters and their attributes.
    void replace(qsizetype start, qsizetype length, const AttributedText& with);
    void setAttributedText(const AttributedText& text) { replace(0, length(), text); }
    // Takes in a text that begins with all of this one, characters and attributes alike (a body that grew
    // at its end): the rest is an insertion at the end, and the text is shared rather than copied.
    // Nothing happens when it does not begin so.
    void extend(const AttributedText& longer);
    // Changes the attributes of a range without touching its characters.
    void modify(qsizetype start, qsizetype length, const std::function<void(TextAttributes&)>& change);
    // Gives the range at start the attributes of a text holding the same characters: a change of
    // attributes only, whatever runs it takes. Nothing happens when the characters differ.
    void setAttributes(qsizetype start, const AttributedText& sameCharacters);
    // Sets the paragraph style of several ranges, in text order and not overlapping, as one change.
    struct StyledRange {
        qsizetype start = 0;
        qsizetype length = 0;
        std::optional<ParagraphStyle> style;
    };
    void setParagraphStyles(const std::vector<StyledRange>& ranges);

    // Carriage returns and paragraph separators become "\n" (CR LF one "\n"); runs move with their characters.
    static AttributedText normalizedLineBreaks(const AttributedText& text);

Q_SIGNALS:
    // After every change: the range now holding the new characters and how many were replaced.
    void changed(qsizetype start, qsizetype removed, qsizetype added);

protected:
    // The `added` characters at `start` are in the text already.
    virtual void didReplace(qsizetype /*start*/, qsizetype /*removed*/, qsizetype /*added*/) {}
    virtual void didModify(qsizetype, qsizetype) {}

    AttributedText m_text;
};

// A storage for tests and headless work: the attributed text alone.
class MemoryTextStorage : public TextStorage {
    Q_OBJECT

public:
    using TextStorage::TextStorage;
};

// A storage that also keeps a QTextDocument in step for a view to show. The document's own undo is off:
// the note's UndoManager holds the history. Changes made to the document behind the storage's back are
// counted, so tests can tell that every edit went through the storage.
class DocumentTextStorage : public TextStorage {
    Q_OBJECT

public:
    explicit DocumentTextStorage(QObject* parent = nullptr);
    ~DocumentTextStorage() override;

    QTextDocument* document() const { return m_document; }
    int foreignChanges() const { return m_foreignChanges; }
    // True while the storage itself writes into the document.
    bool isEditing() const { return m_ownEdits > 0; }

    // The document's characters and attributes as the document holds them (once it holds them all).
    AttributedText readDocument() const;

    // An insertion of more than 512 Ki UTF-16 units (fillAtOnce) enters the document in slices of about
    // fillSlice units, a few per turn of the event loop, each laid out as it enters; the storage holds all
    // of it at once. Until the document is filled, the characters [pendingFrom(), pendingFrom() +
    // pendingLength()) are not in it yet. Edits go on meanwhile: one beside the stretch lands in the
    // document at once, one that touches it joins the stretch.
    // A text of more than longText units is laid out by LongTextLayout, where a key costs its paragraph
    // rather than the text after it; the document keeps that layout from then on.
    static constexpr qsizetype longText = 262144;
    static constexpr qsizetype fillAtOnce = 524288;
    static constexpr qsizetype fillSlice = 32768;
    // A turn of the event loop takes slices until it has spent this long.
    static constexpr int fillTurnMilliseconds = 25;
    bool isFilling() const { return m_pendingLength > 0 && !m_heldBack; }
    qsizetype pendingFrom() const { return m_pendingFrom; }
    qsizetype pendingLength() const { return m_pendingLength; }
    void finishFilling();
    // A document never grows taller than maxShownHeight (pixels; Qt lays out nothing much taller than
    // 2^23) by filling: what would go beyond stays in the storage and out of the document, and edits of
    // what is shown keep it there. Tests lower it.
    static constexpr qreal maxShownHeight = 7000000;
    void setMaxShownHeight(qreal height) { m_maxShownHeight = height; }
    bool isHeldBack() const { return m_heldBack; }
    // The characters not in the document: [pendingFrom(), pendingFrom() + heldBackLength()).
    qsizetype heldBackLength() const { return m_heldBack ? m_pendingLength : 0; }
    // Positions between the storage and the document (the same until a long text fills or is held back).
    // The document position where the stretch is missing means the text after it while it fills (the
    // caret stays after a paste, and the end key means the end), and the text before it once it is
    // held back for good (typing at the end that is shown lands there).
    qsizetype toDocument(qsizetype position) const;
    // Whether a position is in the held-back text, and moving what is held back so that the document
    // shows the line holding it (a match found there, a caret put there).
    bool isHidden(qsizetype position) const;
    void show(qsizetype position);
    qsizetype toText(qsizetype position) const;

Q_SIGNALS:
    // A slice entered the document.
    void documentGrew();
    // The document holds the whole text again.
    void filled();

public:
    static QTextCharFormat charFormat(const TextAttributes& attributes);
    static TextAttributes attributes(const QTextCharFormat& format);

protected:
    void didReplace(qsizetype start, qsizetype removed, qsizetype added) override;
    void didModify(qsizetype start, qsizetype length) override;

private:
    void insertIntoDocument(QTextCursor& cursor, const AttributedText& text);
    qsizetype sliceEnd(qsizetype from, qsizetype end) const;
    bool insertNextSlice();
    void showLineAfterStretch(qsizetype position);
    void holdBack();
    void fillNextSlice();
    qreal shownHeight() const;
    // Sets the attributes of the storage's [start, end) on the document, `shift` positions earlier.
    void restyleDocument(qsizetype start, qsizetype end, qsizetype shift);
    // Document positions; paragraph styles are read from the storage.
    void applyBlockFormats(qsizetype from, qsizetype to);

    QTextDocument* m_document;
    QTimer* m_fillTimer;
    qsizetype m_pendingFrom = 0;
    qsizetype m_pendingLength = 0;
    bool m_heldBack = false;
    qreal m_maxShownHeight = maxShownHeight;
    int m_ownEdits = 0;
    int m_foreignChanges = 0;
};
