#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <type_traits>
#include <utility>

// Day-group headings and compact row times of the shelf. Days and years are Gregorian, in the given
// time zone (where days begin); callers pass the system zone. "Today", "Yesterday" and "Pinned" are
// fixed words; dates and times are written in the user's locale, in that same zone, so a heading
// always names the day it was chosen for.
struct ShelfDateGroup {
    // "Today", "Yesterday" (the previous calendar day, whatever a daylight-saving change did to its
    // length), else weekday, month and day, with the year when it is not the year of now.
    static QString title(const QDateTime& date, const QDateTime& now,
                         const QTimeZone& zone = QTimeZone::systemTimeZone());
    // The time of day for today; otherwise month and day, with the year when it is not the year of
    // now. There is no "Yesterday" here.
    static QString compactTime(const QDateTime& date, const QDateTime& now,
                               const QTimeZone& zone = QTimeZone::systemTimeZone());
    // The same in a narrower form for a date of another year: the locale's numeric day, month and
    // two-digit year ("11/2/25"), for a slot too narrow for the full one. Equal to compactTime()
    // for dates of the year of now.
    static QString compactTimeShortYear(const QDateTime& date, const QDateTime& now,
                                        const QTimeZone& zone = QTimeZone::systemTimeZone());
    // The widest text compactTime() gives for a date of another year, and the same for the short
    // form, as a measure of the slot that shows them: every month, a two-digit day, a four-digit year.
    static QStringList widestOtherYearForms(bool shortYear);

    static constexpr const char* pinnedIcon = "pin.fill";

    template <class T>
    struct Group {
        QString title;
        QList<T*> items;
        QString icon;  // a symbol name on the pinned group, empty on day groups
    };

    // The groups of a lens: every pinned item in one "Pinned" group first, then the others in runs of
    // one day each, titled as title() gives. Items come in display order (newest first) and keep it;
    // dateOf gives the date an item is filed under.
    template <class T, class DateOf>
    static QList<Group<T>> grouped(const QList<T*>& items, DateOf dateOf, const QDateTime& now,
                                   const QTimeZone& zone = QTimeZone::systemTimeZone())
    {
        return grouped(
            items, dateOf, [](const T& item) { return item.isPinned(); }, now, zone);
    }

    // The same, with the pin read through pinnedOf; dateOf may give the date as milliseconds since 1970
    // instead, which spares a long list a date object per item.
    template <class T, class DateOf, class PinnedOf>
    static QList<Group<T>> grouped(const QList<T*>& items, DateOf dateOf, PinnedOf pinnedOf, const QDateTime& now,
                                   const QTimeZone& zone = QTimeZone::systemTimeZone())
    {
        QList<Group<T>> groups;
        Group<T> pinned{QStringLiteral("Pinned"), {}, QString::fromLatin1(pinnedIcon)};
        QList<T*> others;
        others.reserve(items.size());
        for (T* item : items) (pinnedOf(*item) ? pinned.items : others).push_back(item);
        if (!pinned.items.isEmpty()) groups.push_back(std::move(pinned));
        // Runs are cut on the day itself rather than on its localised heading, which names each day
        // once anyway. A day's bounds are found once per run: a zone conversion per item would cost
        // more than the rest of the grouping together on a large list.
        QDate runDay;
        qint64 runStart = 0, runEnd = -1;
        for (T* item : std::as_const(others)) {
            const auto given = dateOf(*item);
            qint64 ms;
            if constexpr (std::is_integral_v<decltype(given)>)
                ms = given;
            else
                ms = given.toMSecsSinceEpoch();
            const bool inDayRun = !groups.isEmpty() && groups.last().icon.isEmpty();
            if (!inDayRun || ms < runStart || ms >= runEnd) {
                const QDateTime date = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
                const QDate day = date.toTimeZone(zone).date();
                runStart = day.startOfDay(zone).toMSecsSinceEpoch();
                runEnd = day.addDays(1).startOfDay(zone).toMSecsSinceEpoch();
                if (!inDayRun || day != runDay) groups.push_back({title(date, now, zone), {}, {}});
                runDay = day;
            }
            groups.last().items.push_back(item);
        }
        return groups;
    }
};
