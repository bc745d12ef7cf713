#include "shelf/ShelfDateGroup.h"

#include "design/DateText.h"

namespace {

QString formatDay(const QDate& day, const char16_t* skeleton)
{
    return DateText::day(day, skeleton);
}

QString formatTime(const QTime& time)
{
    return DateText::time(time);
}

}  // namespace

QString ShelfDateGroup::title(const QDateTime& date, const QDateTime& now, const QTimeZone& zone)
{
    if (!date.isValid() || !now.isValid()) return {};
    const QDate day = date.toTimeZone(zone).date();
    const QDate today = now.toTimeZone(zone).date();
    if (day == today) return QStringLiteral("Today");
    if (day == today.addDays(-1)) return QStringLiteral("Yesterday");
    if (day.year() != today.year()) return formatDay(day, u"EEEMMMdy");
    return formatDay(day, u"EEEMMMd");
}

QString ShelfDateGroup::compactTime(const QDateTime& date, const QDateTime& now, const QTimeZone& zone)
{
    if (!date.isValid() || !now.isValid()) return {};
    const QDateTime local = date.toTimeZone(zone);
    const QDate today = now.toTimeZone(zone).date();
    if (local.date() == today) return formatTime(local.time());
    if (local.date().year() != today.year()) return formatDay(local.date(), u"MMMdy");
    return formatDay(local.date(), u"MMMd");
}

QString ShelfDateGroup::compactTimeShortYear(const QDateTime& date, const QDateTime& now, const QTimeZone& zone)
{
    if (!date.isValid() || !now.isValid()) return {};
    const QDate day = date.toTimeZone(zone).date();
    if (day.year() == now.toTimeZone(zone).date().year()) return compactTime(date, now, zone);
    return formatDay(day, u"yyMd");
}

QStringList ShelfDateGroup::widestOtherYearForms(bool shortYear)
{
    QStringList forms;
    for (int month = 1; month <= 12; ++month) {
        const QDate day(2088, month, 28);
        forms << (shortYear ? formatDay(day, u"yyMd") : formatDay(day, u"MMMdy"));
    }
    return forms;
}
