#pragma once

#include <QClipboard>
#include <QLineEdit>
#include <QTime>

// Outlines a field whose text reads as no value, through its style sheet's [unreadable="true"].
void markUnreadable(QWidget* field, bool unreadable);

// A time of day typed over "HH:MM". Digits write over the slots from the caret, ":" goes on to the
// minutes, and a whole time typed ("23:15", "9:05", "2315") is that time wherever the caret stood
// (Shift pressed for ":" included); a digit typed at the end, where no slot is left, begins a new
// time; a first hour digit above 2 is the hour itself, and "7:5" is 07:05. A key the slots cannot
// hold (AM or PM, a minute past 59, a second ":") turns the field into plain text showing what was
// typed, so "2:30 PM" typed reads as it does pasted. Up and Down (Page Up and Page Down by ten) step
// the hour or the minutes at the caret. A whole time pasted (Ctrl+V, the menu's Paste, a middle click)
// is that time too. What is typed counts when the field is finished (Return, the keyboard leaving it,
// or finish()); a text that is no time is then kept as typed and marked unreadable, never read as
// another time.
class TimeField : public QLineEdit {
    Q_OBJECT
public:
    explicit TimeField(const QTime& time, QWidget* parent = nullptr);
    QTime time() const { return m_time; }
    void setTime(const QTime& time);
    // Takes the text as the time held; false, with the text kept and marked, when it is no time.
    bool finish();
    // The text last finished was no time (until it is edited or a time is put in).
    bool unreadable() const { return m_unreadable; }

Q_SIGNALS:
    void timeChanged(const QTime& time);
    void unreadableChanged(bool unreadable);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool typeOver(QChar typed);
    void typeFreely(const QString& typed, bool fromRun);
    void setSlots(bool on, const QString& shown);
    void setUnreadable(bool unreadable);
    bool pasteTime(QClipboard::Mode mode);
    void step(int by);
    void showText(const QString& text, int caret);

    QTime m_time;
    // The characters typed since the caret was last put somewhere, and the text they were typed over
    // (a selection they replaced already blank): together they say whether a whole time was typed.
    QString m_run;
    QString m_runBase;
    QString m_runFrom;          // the text shown when the run began
    bool m_runAtStart = false;  // the run began at the start of the field (or over all of it)
    bool m_unreadable = false;
};
