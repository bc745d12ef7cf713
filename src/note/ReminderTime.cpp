#include "note/ReminderTime.h"

#include <QLocale>
#include <algorithm>

namespace ReminderTime {

namespace {

// Strips a twelve-hour marker from the end of `text`: true for PM, false for AM, nothing when none.
std::optional<bool> takeMeridiem(QStringView& text)
{
    const QLocale locale;
    const struct {
        QString word;
        bool pm;
    } words[] = {
        {QStringLiteral("a.m."), false}, {QStringLiteral("p.m."), true}, {QStringLiteral("am"), false},
        {QStringLiteral("pm"), true},    {QStringLiteral("a"), false},   {QStringLiteral("p"), true},
        {locale.amText(), false},        {locale.pmText(), true},
    };
    for (const auto& [word, pm] : words) {
        if (word.isEmpty() || !text.endsWith(word, Qt::CaseInsensitive)) continue;
        text = text.chopped(word.size()).trimmed();
        return pm;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QTime> typed(QStringView text)
{
    text = text.trimmed();
    const std::optional<bool> pm = takeMeridiem(text);
    QStringView hours = text, minutes;
    if (const qsizetype colon = text.indexOf(u':'); colon >= 0) {
        hours = text.first(colon);
        minutes = text.sliced(colon + 1);
    } else if (text.size() == 4) {
        hours = text.first(2);
        minutes = text.sliced(2);
    }
    const auto digits = [](QStringView part) {
        return std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (hours.isEmpty() || hours.size() > 2 || minutes.size() > 2 || !digits(hours) || !digits(minutes))
        return std::nullopt;
    int hour = hours.toInt();
    if (pm) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (*pm ? 12 : 0);
    }
    const QTime time(hour, minutes.isEmpty() ? 0 : minutes.toInt());
    if (!time.isValid()) return std::nullopt;
    return time;
}

QDateTime moment(QDate date, QTime time)
{
    // The reading counted as if it were UTC; the offsets in force a day either side of it tell
    // whether the clocks change around it.
    const qint64 reading = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    constexpr qint64 dayMs = 24 * 3600 * 1000;
    const qint64 before = QDateTime::fromMSecsSinceEpoch(reading - dayMs).offsetFromUtc() * qint64(1000);
    const qint64 after = QDateTime::fromMSecsSinceEpoch(reading + dayMs).offsetFromUtc() * qint64(1000);
    std::optional<qint64> first;
    for (const qint64 offset : {before, after}) {
        const qint64 at = reading - offset;
        const QDateTime shown = QDateTime::fromMSecsSinceEpoch(at);
        if (shown.date() == date && shown.time() == time && (!first || at < *first)) first = at;
    }
    if (first) return QDateTime::fromMSecsSinceEpoch(*first);
    const QDateTime local(date, time);
    if (local.isValid()) return local;
    return QDateTime::fromMSecsSinceEpoch(reading - before);
}

}  // namespace ReminderTime
