#include "note/NotePopovers.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>

#include "design/Symbols.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "model/Note.h"
#include "note/NoteViewModel.h"
#include "note/ReminderTime.h"
#include "note/TimeField.h"
#include "platform/KeyboardMap.h"

NotePopover::NotePopover(QWidget* anchor) : QFrame(anchor, Qt::Popup), m_anchor(anchor)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TarnwickTheme::surface());
    palette.setColor(QPalette::WindowText, TarnwickTheme::textPrimary());
    setPalette(palette);
}

void NotePopover::fitToContents()
{
    adjustSize();
    // adjustSize() ignores height-for-width content (a wrapping grid) under a fixed width.
    if (layout() && layout()->hasHeightForWidth())
        resize(width(), std::max(height(), layout()->totalHeightForWidth(width())));
    // Grown while shown (a drawer opening): kept on the screen by moving up.
    if (isVisible() && screen()) {
        const QRect available = screen()->availableGeometry();
        if (geometry().bottom() > available.bottom())
            move(x(), std::max(available.top(), available.bottom() - height() + 1));
    }
}

void NotePopover::popUp()
{
    const bool opening = !isVisible();
    if (opening) m_focusReturn.capture(m_anchor);
    fitToContents();
    const QRect local = m_anchorRect.isNull() && m_anchor ? m_anchor->rect() : m_anchorRect;
    const QRect anchorRect = m_anchor ? QRect(m_anchor->mapToGlobal(local.topLeft()), local.size()) : QRect();
    const QScreen* screen = m_anchor ? m_anchor->screen() : nullptr;
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 4096, 4096);
    QPoint at(anchorRect.center().x() - width() / 2, anchorRect.bottom() + 1);
    // Above the anchor when it does not fit below.
    if (at.y() + height() > available.bottom() && anchorRect.top() - height() >= available.top())
        at.setY(anchorRect.top() - height());
    at.setX(std::clamp(at.x(), available.left(), std::max(available.left(), available.right() - width())));
    move(at);
    show();
    // A popup with no focused control takes the keys itself, and they would vanish.
    if (opening && m_firstControl) m_firstControl->setFocus(Qt::PopupFocusReason);
}

bool NotePopover::event(QEvent* event)
{
    // Asked, on the way up from the focused control, whether a key is ours before any shortcut runs.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape)) {
            key->accept();
            return true;
        }
    }
    return QFrame::event(event);
}

void NotePopover::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    m_focusReturn.restore(false);
    Q_EMIT closed();
}

// ---- Opacity ----

namespace {

// One preset: the fixed paper tone at the preset's opacity with three ink lines, and its percent below.
class PresetButton : public QToolButton {
public:
    PresetButton(double step, QWidget* parent) : QToolButton(parent), m_step(step)
    {
        setFixedSize(52, 38 + 5 + 14);
        setAutoRaise(true);
        setToolTip(OpacityPopoverModel::presetToolTip(step));
        setAccessibleName(OpacityPopoverModel::presetToolTip(step));
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF swatch(0.5, 0.5, width() - 1, 37);
        QColor paper = OpacityPopoverModel::stepPaper();
        paper.setAlphaF(float(m_step));
        QPainterPath path;
        path.addRoundedRect(swatch, 5, 5);
        p.fillPath(path, paper);
        const double fractions[3] = {0.68, 0.9, 0.54};
        const double inner = swatch.width() - 14;
        double y = swatch.center().y() - (3 * 2.5 + 2 * 3.5) / 2;
        for (double f : fractions) {
            QPainterPath line;
            line.addRoundedRect(QRectF(swatch.left() + 7, y, inner * f, 2.5), 1.25, 1.25);
            p.fillPath(line, TarnwickTheme::textPrimary());
            y += 2.5 + 3.5;
        }
        p.setPen(QPen(TarnwickTheme::hairline(), 1));
        p.drawPath(path);
        if (hasFocus()) TarnwickStyle::drawFocusRing(p, swatch.adjusted(1.5, 1.5, -1.5, -1.5), 4);
        p.setPen(TarnwickTheme::textTertiary());
        p.setFont(TarnwickType::system(10));
        p.drawText(QRectF(0, 43, width(), 14), Qt::AlignCenter, OpacityPopoverModel::presetLabel(m_step));
    }

private:
    double m_step;
};

}  // namespace

OpacityPopover::OpacityPopover(const QUuid& noteID, double windowOpacity, NotificationCenter& notifications,
                               QWidget* anchor)
    : NotePopover(anchor), m_model(noteID, notifications)
{
    setObjectName(QStringLiteral("opacityPopover"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);

    auto* header = new QHBoxLayout;
    auto* caption = new QLabel(tr("OPACITY"), this);
    QFont captionFont = TarnwickType::system(11, QFont::DemiBold);
    captionFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    caption->setFont(captionFont);
    caption->setStyleSheet(QStringLiteral("color: %1").arg(TarnwickTheme::textSecondary().name()));
    m_header = new QLabel(this);
    m_header->setObjectName(QStringLiteral("opacityHeader"));
    m_header->setFont(TarnwickType::system(12));
    m_header->setStyleSheet(QStringLiteral("color: %1").arg(TarnwickTheme::textTertiary().name()));
    header->addWidget(caption);
    header->addStretch(1);
    header->addWidget(m_header);
    column->addLayout(header);

    auto* presets = new QHBoxLayout;
    presets->setSpacing(7);
    for (double step : OpacityPopoverModel::presets) {
        auto* button = new PresetButton(step, this);
        button->setObjectName(QStringLiteral("preset%1").arg(NoteViewModel::percent(step)));
        connect(button, &QToolButton::clicked, this, [this, step] {
            m_model.setValue(step);
            sync();
        });
        presets->addWidget(button);
    }
    column->addLayout(presets);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(OpacityPopoverModel::sliderMinimum, OpacityPopoverModel::sliderMaximum);
    m_slider->setAccessibleName(tr("Window opacity"));
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        m_model.setSliderPosition(position);
        sync();
    });
    column->addWidget(m_slider);
    setFixedWidth(270);

    m_model.show(windowOpacity);
    sync();
}

void OpacityPopover::setWindowOpacity(double opacity)
{
    m_model.show(opacity);
    sync();
}

void OpacityPopover::sync()
{
    m_header->setText(m_model.headerText());
    if (m_slider->value() != m_model.sliderPosition()) {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(m_model.sliderPosition());
    }
    m_slider->setAccessibleDescription(m_model.accessibleValue());
}

// ---- Reminder ----

namespace {

// The calendar in the note's look: paper ground, ink day numbers (weekends too), the accent for the
// chosen day, and a quiet month header with the application's own chevrons.
void styleCalendar(QCalendarWidget* calendar)
{
    QTextCharFormat days;
    days.setForeground(TarnwickTheme::textPrimary());
    calendar->setWeekdayTextFormat(Qt::Saturday, days);
    calendar->setWeekdayTextFormat(Qt::Sunday, days);
    QTextCharFormat header;
    header.setForeground(TarnwickTheme::textSecondary());
    header.setFont(TarnwickType::caption());
    calendar->setHeaderTextFormat(header);
    if (auto* previous = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_prevmonth")))
        previous->setIcon(Symbols::tinted(QStringLiteral("chevron.left"), TarnwickTheme::textSecondary(), 14));
    if (auto* next = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_nextmonth")))
        next->setIcon(Symbols::tinted(QStringLiteral("chevron.right"), TarnwickTheme::textSecondary(), 14));
    calendar->setStyleSheet(
        QStringLiteral("#qt_calendar_navigationbar { background: %1; }"
                       " #qt_calendar_navigationbar QToolButton { color: %2; background: transparent; border: none;"
                       " border-radius: 6px; padding: 3px 6px; font-weight: 600; }"
                       " #qt_calendar_navigationbar QToolButton:pressed { background: %3; }"
                       " #qt_calendar_navigationbar QToolButton::menu-indicator { image: none; width: 0; }"
                       " QAbstractItemView { background: %1; color: %2; selection-background-color: %4;"
                       " selection-color: white; outline: 0; border: 2px solid transparent; border-radius: 6px; }"
                       " QAbstractItemView:focus { border-color: %4; }"
                       " #qt_calendar_navigationbar QToolButton:focus { border: 2px solid %4; padding: 1px 4px; }"
                       " QAbstractItemView:disabled { color: %5; }")
            .arg(TarnwickTheme::surface().name(), TarnwickTheme::textPrimary().name(), TarnwickTheme::fill().name(),
                 TarnwickTheme::accent().name(), TarnwickTheme::textTertiary().name()));
}

// The calendar of the reminder popover. The toolkit's calendar finishes a year being typed at a press
// anywhere else in its window, and swallows that press: one outside the calendar itself ("Set", the
// time) here finishes the year and goes on, so "Set" reads the year shown at the first click.
class ReminderCalendar : public QCalendarWidget {
public:
    explicit ReminderCalendar(QWidget* parent) : QCalendarWidget(parent)
    {
        m_yearField = findChild<QSpinBox*>(QStringLiteral("qt_calendar_yearedit"));
        m_days = findChild<QAbstractItemView*>();
        // Dates typed over the days are read by the popover, in every locale.
        setDateEditEnabled(false);
    }
    QWidget* yearField() const { return m_yearField; }
    QWidget* days() const { return m_days; }

    // The toolkit counts the month bar and the week rows but not the frame round the days (the focus
    // ring), which then cuts off the sixth week.
    QSize minimumSizeHint() const override
    {
        const int frame = m_days ? 2 * m_days->frameWidth() : 0;
        return QCalendarWidget::minimumSizeHint() + QSize(frame, frame);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress && m_yearField && m_yearField->hasFocus() &&
            watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget != this && !isAncestorOf(widget) && widget->window() == window()) {
                m_yearField->clearFocus();  // which finishes the year
                return false;
            }
        }
        return QCalendarWidget::eventFilter(watched, event);
    }

private:
    QSpinBox* m_yearField;
    QAbstractItemView* m_days;
};

bool isReturn(const QKeyEvent* key)
{
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// A typed text quoted in a message: one line, cut short.
QString quoted(const QString& typed)
{
    QString line = typed.simplified();
    if (line.size() > 40) line = line.left(39) + QChar(0x2026);
    return QChar(0x201C) + line + QChar(0x201D);
}

}  // namespace

ReminderPopover::ReminderPopover(NoteViewModel& model, QWidget* anchor) : NotePopover(anchor), m_model(model)
{
    setObjectName(QStringLiteral("reminderPopover"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);

    auto* heading = new QLabel(tr("Remind me"), this);
    heading->setObjectName(QStringLiteral("reminderHeading"));
    heading->setFont(TarnwickType::system(13, QFont::DemiBold));
    column->addWidget(heading);

    const QDateTime draft = model.reminderDraft().toLocalTime();
    auto* calendar = new ReminderCalendar(this);
    m_calendar = calendar;
    m_yearField = calendar->yearField();
    m_days = calendar->days();
    m_calendar->setAccessibleName(tr("Remind me"));
    m_calendar->setGridVisible(false);
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setSelectedDate(draft.date());
    styleCalendar(m_calendar);
    column->addWidget(m_calendar);

    const QString fieldStyle = QStringLiteral(
                                   "QLineEdit { background: %1; color: %2; border: 1px solid %3; border-radius: 6px;"
                                   " padding: 4px 8px; } QLineEdit:focus { border: 2px solid %4; padding: 3px 7px; }"
                                   " QLineEdit[unreadable=\"true\"] { border: 2px solid %5; padding: 3px 7px; }")
                                   .arg(TarnwickTheme::surfaceRaised().name(), TarnwickTheme::textPrimary().name(),
                                        TarnwickTheme::textTertiary().name(), TarnwickTheme::accent().name(),
                                        TarnwickTheme::destructive().name());
    // Over the foot of the days while a date is typed, as the calendar's own editor stood.
    m_dateField = new QLineEdit(this);
    m_dateField->setObjectName(QStringLiteral("reminderDate"));
    m_dateField->setAccessibleName(tr("Date"));
    m_dateField->setStyleSheet(fieldStyle);
    m_dateField->hide();
    m_dateField->installEventFilter(this);
    connect(m_dateField, &QLineEdit::textEdited, this, [this] {
        m_dateUnreadable = false;
        showProblem();
    });

    m_time = new TimeField(draft.time(), this);
    m_time->setObjectName(QStringLiteral("reminderTime"));
    m_time->setAccessibleName(tr("Time"));
    m_time->setStyleSheet(fieldStyle);
    column->addWidget(m_time);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("reminderProblem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setWordWrap(true);
    m_problem->setFont(TarnwickType::caption());
    m_problem->setStyleSheet(QStringLiteral("color: %1").arg(TarnwickTheme::destructive().name()));
    m_problem->hide();
    column->addWidget(m_problem);

    if (model.remindersUnavailable()) {
        auto* line = new QLabel(tr("Reminders can't appear: no notification service is running on this desktop. "
                                   "The date is kept on the note."),
                                this);
        line->setObjectName(QStringLiteral("remindersUnavailable"));
        line->setWordWrap(true);
        line->setFont(TarnwickType::caption());
        line->setStyleSheet(QStringLiteral("color: %1").arg(TarnwickTheme::textSecondary().name()));
        column->addWidget(line);
    }

    auto* buttons = new QHBoxLayout;
    if (model.clearOffered()) {
        m_clear = new QPushButton(tr("Clear"), this);
        m_clear->setFlat(true);
        connect(m_clear, &QPushButton::clicked, this, [this] { m_model.clearReminder(); });
        buttons->addWidget(m_clear);
    }
    buttons->addStretch(1);
    m_set = new QPushButton(tr("Set"), this);
    m_set->setDefault(true);
    connect(m_set, &QPushButton::clicked, this, &ReminderPopover::set);
    buttons->addWidget(m_set);
    column->addLayout(buttons);
    setFixedWidth(300);

    connect(m_calendar, &QCalendarWidget::selectionChanged, this, &ReminderPopover::updateDraft);
    connect(m_calendar, &QCalendarWidget::currentPageChanged, this, &ReminderPopover::followPage);
    connect(m_time, &TimeField::timeChanged, this, &ReminderPopover::updateDraft);
    connect(m_time, &TimeField::unreadableChanged, this, &ReminderPopover::showProblem);
    // The days take Return as their own (the toolkit's "activated"); here it presses "Set" instead.
    if (m_days) m_days->installEventFilter(this);
    setFirstControl(m_days ? m_days : m_calendar);
    if (m_yearField) m_yearField->installEventFilter(this);
}

void ReminderPopover::set()
{
    // The day and the time shown are the ones stored, typed or not; one that is neither stores nothing.
    if (!takeTypedDate()) {
        m_dateField->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!m_time->finish()) {
        m_time->setFocus(Qt::OtherFocusReason);
        return;
    }
    updateDraft();
    // A time the clocks skip is stored as the moment it names: shown so before the popover goes.
    const QDateTime draft = m_model.reminderDraft().toLocalTime();
    {
        const QSignalBlocker calendar(m_calendar), time(m_time);
        m_calendar->setSelectedDate(draft.date());
        m_time->setTime(draft.time());
    }
    m_model.setReminder();
}

void ReminderPopover::followPage(int year, int month)
{
    // A month or year picked, or a page turned: the same day there (or the month's last), so no
    // date is chosen out of sight.
    const QDate chosen = m_calendar->selectedDate();
    if (chosen.year() == year && chosen.month() == month) return;
    const QDate first(year, month, 1);
    if (first.isValid()) m_calendar->setSelectedDate(first.addDays(std::min(chosen.day(), first.daysInMonth()) - 1));
}

void ReminderPopover::updateDraft()
{
    m_model.setReminderDraft(ReminderTime::moment(m_calendar->selectedDate(), m_time->time()));
}

void ReminderPopover::startTypedDate(QKeyEvent* first)
{
    const QDate shown = m_calendar->selectedDate();
    m_dateField->setPlaceholderText(
        tr("A day, or a date as %1").arg(m_calendar->locale().toString(shown, QLocale::ShortFormat)));
    const QRect over = m_calendar->geometry();
    const int height = m_dateField->sizeHint().height();
    m_dateField->setGeometry(over.left() + 8, over.bottom() - height - 3, over.width() - 16, height);
    m_dateField->clear();
    m_dateField->show();
    m_dateField->raise();
    m_dateField->setFocus(Qt::OtherFocusReason);
    QCoreApplication::sendEvent(m_dateField, first);
}

bool ReminderPopover::takeTypedDate()
{
    if (m_dateField->isHidden()) return true;
    const QDate month(m_calendar->yearShown(), m_calendar->monthShown(), 1);
    const std::optional<QDate> date = ReminderTime::typedDate(m_dateField->text(), m_calendar->locale(), month);
    m_dateUnreadable = !date;
    if (date) {
        m_calendar->setSelectedDate(*date);
        dropTypedDate();
        return true;
    }
    showProblem();
    return false;
}

void ReminderPopover::dropTypedDate()
{
    if (m_dateField->isHidden()) return;
    const bool hadFocus = m_dateField->hasFocus();
    m_dateUnreadable = false;
    m_dateField->hide();
    showProblem();
    if (hadFocus && m_days) m_days->setFocus(Qt::OtherFocusReason);
}

void ReminderPopover::showProblem()
{
    QString problem;
    if (m_dateUnreadable) {
        problem = tr("%1 is not a date. Type a day of the month, or a date as %2; Escape keeps the date shown.")
                      .arg(quoted(m_dateField->text()),
                           m_calendar->locale().toString(m_calendar->selectedDate(), QLocale::ShortFormat));
    } else if (m_time->unreadable()) {
        const QString typed = m_time->text();
        problem = typed.count(u':') + typed.count(u' ') == typed.size()
                      ? tr("Type a time, as 14:30 or 2:30 PM.")
                      : tr("%1 is not a time. Type one as 14:30 or 2:30 PM.").arg(quoted(typed));
    }
    markUnreadable(m_dateField, m_dateUnreadable);
    m_dateField->setAccessibleDescription(m_dateUnreadable ? problem : QString());
    m_time->setAccessibleDescription(m_time->unreadable() ? problem : QString());
    if (problem == m_problem->text() && m_problem->isHidden() == problem.isEmpty()) return;
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (isVisible()) fitToContents();
}

bool ReminderPopover::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_dateField) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            dropTypedDate();
            return true;
        }
        if (event->type() == QEvent::FocusOut && !m_dateField->isHidden()) {
            // A click on the calendar chooses there instead; the keyboard leaving for the time or a
            // button takes the date typed.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            QWidget* to = QApplication::focusWidget();
            if (reason == Qt::MouseFocusReason && to && m_calendar->isAncestorOf(to))
                dropTypedDate();
            else if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                takeTypedDate();
        }
        return NotePopover::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress && watched == m_days) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool chord = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const QString text = key->text();
        if (!chord && KeyboardMap::typesCharacter(text)) {
            // A date being typed goes on in its field (keys sent to the days themselves included).
            if (!m_dateField->isHidden()) {
                QCoreApplication::sendEvent(m_dateField, key);
                return true;
            }
            if (!text[0].isSpace()) {
                startTypedDate(key);
                return true;
            }
        }
    }
    if (event->type() == QEvent::KeyPress && isReturn(static_cast<QKeyEvent*>(event))) {
        if (watched == m_days) {
            m_set->click();
            return true;
        }
        if (watched == m_yearField) {
            // The year typed is finished (the field closes as the keyboard leaves it) and shown; the
            // keyboard goes on to the days.
            if (m_days) m_days->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return NotePopover::eventFilter(watched, event);
}

void ReminderPopover::keyPressEvent(QKeyEvent* event)
{
    // Return that the focused control leaves (the time, the date typed, a button) is the popover's
    // default: "Set", or "Clear" while that has the focus.
    if (isReturn(event)) {
        (m_clear && m_clear->hasFocus() ? m_clear : m_set)->click();
        return;
    }
    NotePopover::keyPressEvent(event);
}
