#include "note/ReminderTime.h"

#include <QLocale>
#include <algorithm>
#include <vector>

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

// A run of digits or of letters in a typed date; everything else only parts them. Characters are
// taken whole: some scripts' digits and letters lie beyond 16 bits (Chakma, Adlam).
struct Part {
    QString text;
    bool number;
    int digits = 0;  // a number's length; its value is kept for four at most
    int value = 0;
};

std::vector<Part> partsOf(QStringView text)
{
    std::vector<Part> parts;
    std::optional<bool> inNumber;
    for (const uint code : text.toUcs4()) {
        const auto c = char32_t(code);
        const bool digit = QChar::isDigit(c), letter = QChar::isLetter(c) || QChar::isMark(c);
        if (!digit && !letter) {
            inNumber.reset();
            continue;
        }
        if (inNumber != digit) parts.push_back({QString(), digit});
        Part& part = parts.back();
        part.text += QString::fromUcs4(&c, 1);
        // A number longer than a year is no date: its value is not needed (nor let overflow).
        if (digit && ++part.digits <= 4) part.value = part.value * 10 + QChar::digitValue(c);
        inNumber = digit;
    }
    return parts;
}

// The letters of a month's name, without the dot some languages abbreviate with.
QString lettersOf(const QString& name)
{
    QString letters;
    for (const Part& part : partsOf(name))
        if (!part.number) letters += part.text;
    return letters;
}

// The month a word names, in the locale's language or in English: a whole name, long or short, or the
// start of one long name (three letters at least).
std::optional<int> monthNamed(const QString& word, const QLocale& locale)
{
    std::optional<int> begun;
    bool ambiguous = false;
    for (const QLocale& language : {locale, QLocale::c()}) {
        for (int month = 1; month <= 12; ++month) {
            const QString names[] = {
                language.monthName(month, QLocale::LongFormat),
                language.monthName(month, QLocale::ShortFormat),
                language.standaloneMonthName(month, QLocale::LongFormat),
                language.standaloneMonthName(month, QLocale::ShortFormat),
            };
            for (const QString& name : names) {
                const QString letters = lettersOf(name);
                if (letters.compare(word, Qt::CaseInsensitive) == 0) return month;
                if (word.toUcs4().size() >= 3 && letters.startsWith(word, Qt::CaseInsensitive)) {
                    ambiguous = ambiguous || (begun && *begun != month);
                    begun = month;
                }
            }
        }
    }
    if (ambiguous) return std::nullopt;
    return begun;
}

// The locale's short date: the order of its day ('d'), month ('M') and year ('y'), and the words it
// writes beside them (Bulgarian's "г." after the year): quoted text, and letters that are no field.
struct ShortDateForm {
    QString order;
    QStringList words;
};

ShortDateForm shortDateForm(const QLocale& locale)
{
    ShortDateForm form;
    QString literal;
    bool quoted = false;
    for (const QChar c : locale.dateFormat(QLocale::ShortFormat)) {
        const bool field = !quoted && (c == u'd' || c == u'M' || c == u'y');
        if (c == u'\'') quoted = !quoted;
        if (field && !form.order.contains(c)) form.order += c;
        literal += field || c == u'\'' ? QChar(u' ') : c;
    }
    for (const QChar c : {u'd', u'M', u'y'})
        if (!form.order.contains(c)) form.order += c;
    for (const Part& part : partsOf(literal))
        if (!part.number) form.words << part.text;
    return form;
}

}  // namespace

std::optional<QDate> typedDate(QStringView text, const QLocale& locale, QDate shown)
{
    std::vector<Part> parts = partsOf(text);
    // The format's own words may be typed or left out.
    const ShortDateForm form = shortDateForm(locale);
    std::erase_if(
        parts, [&](const Part& part) { return !part.number && form.words.contains(part.text, Qt::CaseInsensitive); });
    if (parts.empty() || parts.size() > 3 || !shown.isValid()) return std::nullopt;
    if (parts.size() == 1) {
        if (!parts[0].number || parts[0].digits > 2) return std::nullopt;
        const QDate day(shown.year(), shown.month(), parts[0].value);
        return day.isValid() ? std::optional(day) : std::nullopt;
    }
    // Each part's field: a month's name is the month, a long number the year (a whole date only);
    // the rest follow the locale's order, or the month and the day after a year written first.
    QString fields(int(parts.size()), u' ');
    for (size_t i = 0; i < parts.size(); ++i) {
        const Part& part = parts[i];
        if (part.number && part.digits > 4) return std::nullopt;
        const QChar field = !part.number ? u'M' : part.digits > 2 ? u'y' : u' ';
        if (field == u' ') continue;
        if (fields.contains(field) || (field == u'y' && parts.size() < 3)) return std::nullopt;
        fields[i] = field;
    }
    QString order = fields[0] == u'y' ? QStringLiteral("yMd") : form.order;
    if (parts.size() == 2) order.remove(u'y');
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i] != u' ') continue;
        const auto free = std::find_if(order.begin(), order.end(), [&](QChar f) { return !fields.contains(f); });
        fields[i] = *free;
    }
    int day = 0, month = 0, year = shown.year();
    for (size_t i = 0; i < parts.size(); ++i) {
        const Part& part = parts[i];
        if (fields[i] == u'd') {
            if (!part.number) return std::nullopt;
            day = part.value;
        } else if (fields[i] == u'M') {
            const std::optional<int> named = part.number ? std::optional(part.value) : monthNamed(part.text, locale);
            if (!named) return std::nullopt;
            month = *named;
        } else {
            year = part.value;
            // Two digits: the year of that ending nearest the year shown.
            if (part.digits <= 2) {
                const int first = shown.year() - 50;
                year = first + ((year - first) % 100 + 100) % 100;
            }
        }
    }
    const QDate date(year, month, day);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

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
