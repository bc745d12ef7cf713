#pragma once

#include <QFrame>
#include <QPointer>

#include "note/OpacityPopoverModel.h"
#include "platform/FocusReturn.h"

class NoteViewModel;
class QCalendarWidget;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class TimeField;

// A popover of the note view: a popup window under its anchor (above it when there is no room below),
// closed by Escape or a click outside; `closed` tells the owner. It owns Return, Enter and Escape: a
// popup is a child of the window it opens from, so a shortcut of that window (Return as Save) would
// otherwise run from inside it. Those keys go to the popover's own controls, and Escape closes it alone.
class NotePopover : public QFrame {
    Q_OBJECT
public:
    explicit NotePopover(QWidget* anchor);
    // Shows the popover against the anchor's rectangle on screen (by default the whole anchor).
    void popUp();
    // Takes the height its contents need at its width.
    void fitToContents();
    void setAnchorRect(const QRect& rect) { m_anchorRect = rect; }
    // The control that holds the keyboard as the popover opens, so that keys typed at once are read.
    void setFirstControl(QWidget* control) { m_firstControl = control; }

Q_SIGNALS:
    void closed();

protected:
    bool event(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QWidget> m_anchor;
    QRect m_anchorRect;
    QPointer<QWidget> m_firstControl;
    FocusReturn m_focusReturn;
};

// The window opacity: the percentage, four preset swatches and a slider.
class OpacityPopover : public NotePopover {
    Q_OBJECT
public:
    OpacityPopover(const QUuid& noteID, double windowOpacity, NotificationCenter& notifications, QWidget* anchor);
    OpacityPopoverModel& model() { return m_model; }
    QSlider* slider() const { return m_slider; }
    // The window's opacity changed while the popover is shown.
    void setWindowOpacity(double opacity);

private:
    void sync();

    OpacityPopoverModel m_model;
    QLabel* m_header;
    QSlider* m_slider;
};

// The reminder editor: a calendar and a time, "Clear" when the note has a reminder, and "Set", which
// Return presses from the days, the time and the buttons ("Clear" when it has the focus). The days
// hold the keyboard as it opens; keys typed over them open a date field over them: digits alone are a
// day of the month shown, or a whole date as the calendar's locale writes it short. The calendar's
// month menu and year field keep Return for themselves: it picks the month or the year. The chosen
// day follows the month shown, so the date stored is always the one shown as chosen. A date or a time
// typed that is no date or time is kept as typed with the reason below it, and "Set" stores nothing
// until it is mended.
class ReminderPopover : public NotePopover {
    Q_OBJECT
public:
    ReminderPopover(NoteViewModel& model, QWidget* anchor);
    QCalendarWidget* calendar() const { return m_calendar; }
    TimeField* time() const { return m_time; }
    QLineEdit* dateField() const { return m_dateField; }
    QLabel* problem() const { return m_problem; }
    QPushButton* clearButton() const { return m_clear; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void set();
    void updateDraft();
    void followPage(int year, int month);
    // A date typed over the days: opening the field with the first key, and taking what it holds
    // (false, with the reason shown, when it is no date). Escape or a click on the calendar drops it.
    void startTypedDate(QKeyEvent* first);
    bool takeTypedDate();
    void dropTypedDate();
    void showProblem();

    NoteViewModel& m_model;
    QCalendarWidget* m_calendar;
    QWidget* m_days = nullptr;
    QWidget* m_yearField = nullptr;
    QLineEdit* m_dateField;
    bool m_dateUnreadable = false;
    TimeField* m_time;
    QLabel* m_problem;
    QPushButton* m_clear = nullptr;
    QPushButton* m_set;
};
