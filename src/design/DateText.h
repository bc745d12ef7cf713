#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// Dates and times as every window writes them: one formatter (ICU, Gregorian, the user's locale), so
// the shelf and the peek write the same day the same way. A skeleton names the fields wanted ("MMMd",
// "yMMMd"); the locale decides their order and punctuation.
struct DateText {
    // The day in the fields of `skeleton`, e.g. "Dec 5" for "MMMd" in English.
    static QString day(const QDate& day, const char16_t* skeleton);
    // The locale's short time of day, to the minute ("1:43 PM").
    static QString time(const QTime& time);
    // The abbreviated date and the short time, together ("Dec 7, 2026, 1:43 PM").
    static QString dateAndTime(const QDateTime& local);
};
