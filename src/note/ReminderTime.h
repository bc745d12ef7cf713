#pragma once

#include <QDateTime>
#include <QLocale>
#include <QStringView>
#include <optional>

// The reminder's time as the user gives it: typed or pasted text, and a day and a clock reading.
namespace ReminderTime {

// A time of day as typed: "H:MM" or "HH:MM" (a lone minute digit is that minute), "H:" or "HH:" (on
// the hour), "HHMM", or the hour alone, optionally followed by AM or PM ("2:30 PM", "12am", "7 p.m.",
// or the locale's own words), which then needs an hour from 1 to 12. Spaces around it are ignored.
// Nothing when it is none.
std::optional<QTime> typed(QStringView text);

// A date as typed over the calendar, read in `locale`. Digits alone ("27") are that day of the month
// `shown` (any day of it). A day and a month, or a whole date, are read in the order of the locale's
// short date (month first, day first or year first), the month as digits or by its name ("28 Mar
// 2027", in the locale's language or in English), with any signs or spaces between the parts. A year
// of three or four digits is the year wherever it stands; written first ("2027-03-28") it is followed
// by the month and the day in every locale. A two-digit year is the one nearest the year shown.
// Digits may be of any script, and the words the locale's short date writes beside its fields (the
// Bulgarian "г.") may be typed or left out. Nothing when the text is no date.
std::optional<QDate> typedDate(QStringView text, const QLocale& locale, QDate shown);

// The moment that `time` on the local clock names on `date`. A reading the clocks skip (the hour lost
// when they go forward) is counted on the clock as it stood before the change, so 02:30 becomes
// 03:30 summer time; a reading the clocks show twice (the hour they go back) is the first of the two.
QDateTime moment(QDate date, QTime time);

}  // namespace ReminderTime
