#include "note/TimeField.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>

#include "note/ReminderTime.h"
#include "platform/KeyboardMap.h"

namespace {

constexpr int kMinutesAt = 3;  // "HH:" before the minutes
const QString kFormat = QStringLiteral("hh:mm");

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

}  // namespace

void markUnreadable(QWidget* field, bool unreadable)
{
    if (field->property("unreadable").toBool() == unreadable) return;
    field->setProperty("unreadable", unreadable);
    // A style sheet reads a dynamic property only when the widget is polished again.
    field->style()->unpolish(field);
    field->style()->polish(field);
}

TimeField::TimeField(const QTime& time, QWidget* parent) : QLineEdit(parent), m_time(time)
{
    setSlots(true, time.toString(kFormat));
    // A text being mended is no longer the one found unreadable.
    connect(this, &QLineEdit::textEdited, this, [this] { setUnreadable(false); });
}

void TimeField::setSlots(bool on, const QString& shown)
{
    // Every slot may be blank while typing: finishing decides what the text means.
    const QString mask = on ? QStringLiteral("00:00") : QString();
    if (inputMask() == mask) return;
    // A new mask forgets the text and its undo steps: the text shown before is put back, for Ctrl+Z
    // to return to.
    setInputMask(mask);
    setText(shown);
}

void TimeField::setUnreadable(bool unreadable)
{
    if (unreadable == m_unreadable) return;
    m_unreadable = unreadable;
    markUnreadable(this, unreadable);
    setAccessibleDescription(unreadable ? tr("Not a time") : QString());
    Q_EMIT unreadableChanged(unreadable);
}

void TimeField::setTime(const QTime& time)
{
    m_run.clear();
    const bool changed = time != m_time;
    setSlots(true, m_time.toString(kFormat));
    m_time = time;
    showText(time.toString(kFormat), cursorPosition());
    setUnreadable(false);
    if (changed) Q_EMIT timeChanged(m_time);
}

bool TimeField::finish()
{
    m_run.clear();
    const std::optional<QTime> typed = ReminderTime::typed(text());
    if (!typed) {
        setUnreadable(true);
        return false;
    }
    // The same hour and minute keep the seconds held.
    if (typed->hour() != m_time.hour() || typed->minute() != m_time.minute()) {
        setTime(*typed);
        return true;
    }
    setSlots(true, m_time.toString(kFormat));
    if (displayText() != m_time.toString(kFormat)) showText(m_time.toString(kFormat), cursorPosition());
    setUnreadable(false);
    return true;
}

void TimeField::showText(const QString& text, int caret)
{
    // Through the edit's own insert, so that Ctrl+Z can take it back.
    selectAll();
    insert(text);
    setCursorPosition(std::clamp(caret, 0, int(displayText().size())));
}

bool TimeField::typeOver(QChar typed)
{
    // A whole time: "7:5" is 07:05 as it stands, with no digit of the minutes it was typed over kept.
    static const QRegularExpression whole(QStringLiteral("^(\\d{1,2}:\\d{1,2}|\\d{4})$"));
    // A digit with no slot left after the caret, typed first, begins a new time over the whole field.
    if (typed != u':' && !hasSelectedText() && cursorPosition() >= displayText().size() && m_run.isEmpty()) selectAll();
    const int at = hasSelectedText() ? selectionStart() : cursorPosition();
    if (m_run.isEmpty()) {
        m_runAtStart = at == 0;
        m_runFrom = displayText();
        m_runBase = m_runFrom;
        if (hasSelectedText()) {
            for (int i = selectionStart(); i < selectionEnd() && i < m_runBase.size(); ++i)
                if (m_runBase[i] != u':') m_runBase[i] = u' ';
        }
    }
    m_run += typed;

    static const QRegularExpression hour(QStringLiteral("^\\d{1,2}:$"));
    if (whole.match(m_run).hasMatch()) {
        if (const auto time = ReminderTime::typed(m_run)) {
            showText(time->toString(kFormat), kMinutesAt + 2);
        } else {
            typeFreely(QString(), true);  // "23:60": shown as typed, not as 23:06
        }
        return true;
    }
    // An hour and ":", or a first hour digit that no second digit can follow: the hour, then the
    // minutes the run began with, to be typed over.
    const bool loneHour = m_run.size() == 1 && typed >= u'3' && typed <= u'9' && at == 0;
    if (hour.match(m_run).hasMatch() || loneHour) {
        const int value = QStringView(m_run).chopped(loneHour ? 0 : 1).toInt();
        if (value > 23) return false;
        showText(twoDigits(value) + u':' + m_runBase.mid(kMinutesAt), kMinutesAt);
        return true;
    }
    return false;
}

// Shows the time being typed as plain text, the slots given up: the run typed so far followed by
// `typed`, or the text shown with `typed` put in at the caret.
void TimeField::typeFreely(const QString& typed, bool fromRun)
{
    QString text = m_run + typed;
    int caret = int(text.size());
    if (!fromRun) {
        text = displayText();
        const int at = hasSelectedText() ? selectionStart() : cursorPosition();
        text.remove(at, hasSelectedText() ? selectedText().size() : 0);
        text.insert(at, typed);
        caret = at + int(typed.size());
    }
    setSlots(false, m_run.isEmpty() ? displayText() : m_runFrom);
    m_run += typed;
    // Through the edit's own insert, so that Ctrl+Z can take it back.
    selectAll();
    insert(text);
    setCursorPosition(caret);
}

// A whole time pasted is that time, wherever the caret stands. Words that are no time ("2:30 tomorrow")
// are refused whole: the field's own paste would keep their digits and drop the rest, which names
// another time. Digits alone go in as the field's own paste would put them.
bool TimeField::pasteTime(QClipboard::Mode mode)
{
    if (isReadOnly()) return false;
    const QString text = QApplication::clipboard()->text(mode);
    const auto time = ReminderTime::typed(text);
    if (!time) return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
    m_run.clear();
    setSlots(true, m_time.toString(kFormat));
    showText(time->toString(kFormat), kMinutesAt + 2);
    setUnreadable(false);
    return true;
}

void TimeField::step(int by)
{
    if (!finish()) return;
    const int caret = cursorPosition();
    const bool minutes = caret >= kMinutesAt;
    const int hour = minutes ? m_time.hour() : std::clamp(m_time.hour() + by, 0, 23);
    const int minute = minutes ? std::clamp(m_time.minute() + by, 0, 59) : m_time.minute();
    setTime(QTime(hour, minute));
    setCursorPosition(caret);
}

void TimeField::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers chord = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const QString text = event->text();
    if (chord == Qt::NoModifier && KeyboardMap::typesCharacter(text)) {
        if (inputMask().isEmpty()) {
            // Plain text already: every key goes in as typed.
            m_run += text;
            QLineEdit::keyPressEvent(event);
            return;
        }
        const bool slotted = text.size() == 1 && ((text[0] >= u'0' && text[0] <= u'9') || text[0] == u':');
        if (slotted && typeOver(text[0])) return;
        if (slotted) {
            const QString before = displayText();
            const int caret = cursorPosition();
            const bool replacing = hasSelectedText();
            QLineEdit::keyPressEvent(event);
            if (replacing || displayText() != before || cursorPosition() != caret) return;
            // The slots had no room for it: rather than vanish, the key shows, after the time being
            // typed ("23:15" then "9", "1:2" then ":").
            m_run.chop(1);
            typeFreely(text, !m_run.isEmpty());
            return;
        }
        // A key no slot takes (AM, PM, a space): after the time typed from the start ("7 PM"), or at
        // the caret.
        typeFreely(text, !m_run.isEmpty() && m_runAtStart);
        return;
    }
    if (KeyboardMap::isModifierKey(event->key())) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    m_run.clear();
    if (event == QKeySequence::Paste && pasteTime(QClipboard::Clipboard)) return;
    switch (event->key()) {
        case Qt::Key_Up:
            step(1);
            return;
        case Qt::Key_Down:
            step(-1);
            return;
        case Qt::Key_PageUp:
            step(10);
            return;
        case Qt::Key_PageDown:
            step(-10);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            finish();
            break;
        default:
            break;
    }
    QLineEdit::keyPressEvent(event);
}

void TimeField::mousePressEvent(QMouseEvent* event)
{
    m_run.clear();
    QLineEdit::mousePressEvent(event);
}

void TimeField::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection() &&
        pasteTime(QClipboard::Selection)) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TimeField::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The menu's Paste is the item wired to the field's paste, whatever its text in the user's language.
    for (QAction* paste : menu->actions()) {
        // (The toolkit wires it by name; a later one may wire it by member.)
        const bool wired = disconnect(paste, SIGNAL(triggered()), this, SLOT(paste())) ||
                           disconnect(paste, &QAction::triggered, this, &QLineEdit::paste);
        if (!wired) continue;
        connect(paste, &QAction::triggered, this, [this] {
            if (!pasteTime(QClipboard::Clipboard)) QLineEdit::paste();
        });
    }
    menu->popup(event->globalPos());
}

void TimeField::focusInEvent(QFocusEvent* event)
{
    m_run.clear();
    QLineEdit::focusInEvent(event);
}

void TimeField::focusOutEvent(QFocusEvent* event)
{
    // A context menu over the field leaves the typing where it is.
    if (event->reason() != Qt::PopupFocusReason) finish();
    QLineEdit::focusOutEvent(event);
}
