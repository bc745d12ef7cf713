#pragma once

#include <QDateTime>
#include <QStringView>
#include <optional>

// The reminder's time as the user gives it: typed or pasted text, and a day and a clock reading.
namespace ReminderTime {

// A time of day as typed: "H:MM" or "HH:MM" (a lone minute digit is that minute), "H:" or "HH:" (on
// the hour), "HHMM", or the hour alone, optionally followed by AM or PM ("2:30 PM", "12am", "7 p.m.",
// or the locale's own words), which then needs an hour from 1 to 12. Spaces around it are ignored.
// Nothing when it is none.
std::optional<QTime> typed(QStringView text);

// The moment that `time` on the local clock names on `date`. A reading the clocks skip (the hour lost
// when they go forward) is counted on the clock as it stood before the change, so 02:30 becomes
// 03:30 summer time; a reading the clocks show twice (the hour they go back) is the first of the two.
QDateTime moment(QDate date, QTime time);

}  // namespace ReminderTime
