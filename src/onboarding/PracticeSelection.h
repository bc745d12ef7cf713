#pragma once

#include <QObject>
#include <QString>

// The words selected in the tour's practice field, trimmed of white space and line breaks at both
// ends. The capture hot key takes them instead of another application's selection while the field is
// on the tour's page; the tour empties them as soon as the field goes.
class PracticeSelection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QString selectedText() const { return m_selectedText; }
    // Stores the text trimmed; signals only when the stored text changes.
    void setSelectedText(const QString& text);
    void clear() { setSelectedText(QString()); }

    // The trimmed part of `text` between two positions (in either order); empty for a caret alone or a
    // range outside the text.
    static QString trimmedRange(const QString& text, int anchor, int position);

Q_SIGNALS:
    void selectedTextChanged(const QString& text);

private:
    QString m_selectedText;
};
